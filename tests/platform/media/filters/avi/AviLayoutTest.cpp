// The byte layout pieces on their own: frame rates from average frame
// times, the header's nesting and the fields readers take, the indexes.

#include <gtest/gtest.h>

#include "platform/media/filters/avi/AviLayout.h"
#include "postproc/fpsunit.h"
#include "tests/support/AviWriterTestSupport.h"

namespace talvence {
namespace {

using namespace talvence::testing;

TEST(AviLayoutTest, RatesFromAverageFrameTimes) {
    // Setup
    const std::vector<std::pair<REFERENCE_TIME, std::optional<AviRate>>> cases{
        {400000, AviRate{1, 25}},
        {200000, AviRate{1, 50}},
        {333667, AviRate{1001, 30000}},
        {333666, AviRate{1001, 30000}},
        {417083, AviRate{1001, 24000}},
        {166833, AviRate{1001, 60000}},
        {333333, AviRate{1, 30}},
        {666666, AviRate{1, 15}},
        {333300, AviRate{3333, 100000}},
        {20000000, AviRate{2, 1}},
        {0, std::nullopt},
        {-400000, std::nullopt},
    };
    for (const auto& [avg, expected] : cases) {
        // Exercise
        const auto rate = AviRateFromAvgTimePerFrame(avg);

        // Verification
        EXPECT_EQ(rate, expected) << avg;
    }
}

TEST(AviLayoutTest, HeaderNestsAndCarriesTheValuesReadersTake) {
    // Setup
    DVINFO dv;
    dv.dwDVVAuxSrc = 0x11223344;
    WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    const std::vector<AviStreamFormat> streams{AviDvVideoStream(dv, 400000, 720, 576),
                                               AviAudioStream(wave)};
    AviHeaderValues values;
    values.firstSegmentFrames = 7;
    values.totalFrames = 9;
    values.hasOldIndex = true;
    values.streams = {{9, 144000, {{5000, 104, 9}}}, {17280, 7680, {{6000, 32, 17280}}}};

    // Exercise
    Bytes header = BuildAviHeader(streams, values, 4);
    values.riffSize = static_cast<std::uint32_t>(header.size() - 8);
    header = BuildAviHeader(streams, values, 4);

    // Verification
    ASSERT_EQ(header.size(), AviHeaderSize(streams, 4));
    bool malformed = true;
    const auto top = ReadRiff(header, &malformed);
    ASSERT_FALSE(malformed);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].listType, "AVI ");
    const Chunk* avih = top[0].find("avih");
    ASSERT_TRUE(avih);
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 0), 40000u);  // microseconds per frame
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 12), 0x910u); // flags
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 16), 7u);     // frames in RIFF 'AVI '
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 24), 2u);     // streams
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 32), 720u);
    EXPECT_EQ(Le32At(header, avih->dataOffset() + 36), 576u);
    const auto strh = top[0].findAll("strh");
    const auto strf = top[0].findAll("strf");
    const auto indx = top[0].findAll("indx");
    ASSERT_EQ(strh.size(), 2u);
    ASSERT_EQ(indx.size(), 2u);
    // Video: 'vids' 'dvsd' at 1/25 with 9 frames; bitmap header then the DV block.
    EXPECT_EQ(Le32At(header, strh[0]->dataOffset()), kFccVids);
    EXPECT_EQ(Le32At(header, strh[0]->dataOffset() + 4), kFccDvsd);
    EXPECT_EQ(Le32At(header, strh[0]->dataOffset() + 20), 1u);
    EXPECT_EQ(Le32At(header, strh[0]->dataOffset() + 24), 25u);
    EXPECT_EQ(Le32At(header, strh[0]->dataOffset() + 32), 9u);
    EXPECT_EQ(strf[0]->size, 72u);
    EXPECT_EQ(Le32At(header, strf[0]->dataOffset() + 16), kFccDvsd);
    EXPECT_EQ(Le32At(header, strf[0]->dataOffset() + 40 + 16), 0x11223344u);
    // Audio: blocks of 4 bytes, 192000 bytes a second, length in blocks.
    EXPECT_EQ(Le32At(header, strh[1]->dataOffset()), kFccAuds);
    EXPECT_EQ(Le32At(header, strh[1]->dataOffset() + 20), 4u);
    EXPECT_EQ(Le32At(header, strh[1]->dataOffset() + 24), 192000u);
    EXPECT_EQ(Le32At(header, strh[1]->dataOffset() + 32), 17280u);
    EXPECT_EQ(Le32At(header, strh[1]->dataOffset() + 44), 4u);
    EXPECT_EQ(strf[1]->size, 18u);
    // Super-index: room for 4 entries, 1 in use, of '00dc' and '01wb'.
    EXPECT_EQ(indx[0]->size, 24u + 4 * 16);
    EXPECT_EQ(Le32At(header, indx[0]->dataOffset() + 4), 1u);
    EXPECT_EQ(Le32At(header, indx[0]->dataOffset() + 8), MakeFourCc("00dc"));
    EXPECT_EQ(Le32At(header, indx[1]->dataOffset() + 8), MakeFourCc("01wb"));
    EXPECT_EQ(Le32At(header, indx[0]->dataOffset() + 24), 5000u);
    EXPECT_EQ(Le32At(header, indx[0]->dataOffset() + 32), 104u);
    EXPECT_EQ(Le32At(header, indx[0]->dataOffset() + 36), 9u);
    const Chunk* dmlh = top[0].find("dmlh");
    ASSERT_TRUE(dmlh);
    EXPECT_EQ(Le32At(header, dmlh->dataOffset()), 9u);

    // The fields a checkpoint patches are where the chunks put them.
    const AviHeaderOffsets at = AviHeaderFieldOffsets(streams, 4);
    EXPECT_EQ(at.mainFlags, avih->dataOffset() + 12);
    EXPECT_EQ(at.mainTotalFrames, avih->dataOffset() + 16);
    ASSERT_EQ(at.streams.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(at.streams[i].length, strh[i]->dataOffset() + 32);
        EXPECT_EQ(at.streams[i].suggestedBufferSize, strh[i]->dataOffset() + 36);
        EXPECT_EQ(at.streams[i].indexInUse, indx[i]->dataOffset() + 4);
        EXPECT_EQ(at.streams[i].indexEntries, indx[i]->dataOffset() + 24);
    }
    EXPECT_EQ(at.extendedTotalFrames, dmlh->dataOffset());

    // The frame-rate walker finds the video header's rate fields.
    MemoryAviSource source(header);
    AviWalker walker;
    EXPECT_EQ(walker.scan(source).scalePos, strh[0]->dataOffset() + 20);
}

TEST(AviLayoutTest, StandardIndexOffsetsPointAtTheDataFromTheBase) {
    // Setup
    const std::vector<AviIndexEntry> entries{{1000, 144000, true}, {145008, 7, false}};

    // Exercise
    const Bytes ix = BuildAviStdIndex(AviStdIndexChunkId(3), MakeFourCc("03dc"), 900, entries);

    // Verification
    ASSERT_EQ(ix.size(), 8u + 24 + 2 * 8);
    EXPECT_EQ(std::string(ix.begin(), ix.begin() + 4), "ix03");
    EXPECT_EQ(Le32At(ix, 4), 24u + 16);
    EXPECT_EQ(Le32At(ix, 12), 2u);                 // entries in use
    EXPECT_EQ(Le32At(ix, 16), MakeFourCc("03dc")); // chunk id
    EXPECT_EQ(Le32At(ix, 20), 900u);               // base offset, low half
    EXPECT_EQ(Le32At(ix, 32), 108u);               // 1000 + 8 - 900
    EXPECT_EQ(Le32At(ix, 36), 144000u);
    EXPECT_EQ(Le32At(ix, 40), 145016u - 900);
    EXPECT_EQ(Le32At(ix, 44), 7u | 0x80000000u); // not a key frame
}

} // namespace
} // namespace talvence
