// Files written by the AVI writer, read back by ffprobe/ffmpeg (the streams,
// codecs, rates and frame counts players see, and the DV frames byte for
// byte), by the frame-rate walker, and by a RIFF reader for the indexes.

#include <fstream>

#include <gtest/gtest.h>

#include "platform/media/filters/avi/AviFileWriter.h"
#include "postproc/fpsunit.h"
#include "tests/support/AviWriterTestSupport.h"

namespace talvence {
namespace {

using namespace talvence::testing;

constexpr WAVEFORMATEX kDvAudio{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};

std::vector<AviStreamFormat> TypeTwoStreams() {
    return {AviDvVideoStream(DVINFO{}, 400000, 720, 576), AviAudioStream(kDvAudio)};
}

class AviFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The tools are the oracle; without them the test is broken, not passed.
        ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg not found on PATH";
        ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe not found on PATH";
    }

    // DV type 2: each frame's video, then its sound.
    static void writeTypeTwo(AviFileWriter& writer, std::size_t frames) {
        const auto& dv = PalDvFrames();
        for (std::size_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(writer.writeSample(0, dv[i % dv.size()]).ok());
            ASSERT_TRUE(writer.writeSample(1, PcmForFrame(i)).ok());
        }
    }

    // The walker finds the video stream header and its rate fields.
    static void expectWalkerFindsVideoHeader(const std::filesystem::path& path, FourCc type,
                                             std::uint32_t scale, std::uint32_t rate) {
        AviWalker walker;
        const AviScanResult scan = walker.scanFile(path);
        EXPECT_EQ(scan.end, AviScanEnd::Complete);
        ASSERT_TRUE(scan.scalePos.has_value());
        const Bytes file = ReadBytes(path);
        EXPECT_EQ(Le32At(file, *scan.scalePos - 20), type);
        EXPECT_EQ(Le32At(file, *scan.scalePos), scale);
        EXPECT_EQ(Le32At(file, *scan.scalePos + 4), rate);
    }

    TempDir dir_;
};

TEST_F(AviFileWriterTest, DvTypeTwoHasDvVideoAndPcmSoundAtTheirRates) {
    // Setup
    const auto path = dir_ / "type2.avi";
    AviFileWriter writer;
    ASSERT_TRUE(writer.open(path, TypeTwoStreams()).ok());

    // Exercise
    writeTypeTwo(writer, 50);
    const AviWriterStatus closed = writer.close();

    // Verification
    ASSERT_TRUE(closed.ok()) << closed.message;
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), "dvvideo");
    EXPECT_EQ(streams[0].at("r_frame_rate"), "25/1");
    EXPECT_EQ(streams[0].at("nb_frames"), "50");
    EXPECT_EQ(streams[0].at("nb_read_frames"), "50");
    EXPECT_EQ(streams[0].at("width"), "720");
    EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
    EXPECT_EQ(streams[1].at("sample_rate"), "48000");
    EXPECT_EQ(streams[1].at("channels"), "2");
    EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(50 * 1920));
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 50));
    expectWalkerFindsVideoHeader(path, kFccVids, 1, 25);
}

TEST_F(AviFileWriterTest, DvTypeOneGivesBackTheFramesByteForByte) {
    for (const bool pal : {true, false}) {
        // Setup
        const auto& frames = pal ? PalDvFrames() : NtscDvFrames();
        const auto path = dir_ / (pal ? "type1-pal.avi" : "type1-ntsc.avi");
        AviFileWriter writer;
        ASSERT_TRUE(writer
                        .open(path, {AviDvInterleavedStream(DVINFO{}, pal ? 400000 : 333667, 720,
                                                            pal ? 576 : 480)})
                        .ok());

        // Exercise
        for (const Bytes& frame : frames)
            ASSERT_TRUE(writer.writeSample(0, frame).ok());
        ASSERT_TRUE(writer.close().ok());

        // Verification
        const auto streams = Probe(path);
        ASSERT_GE(streams.size(), 1u);
        EXPECT_EQ(streams[0].at("codec_name"), "dvvideo");
        EXPECT_EQ(streams[0].at("r_frame_rate"), pal ? "25/1" : "30000/1001");
        EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(frames.size()));
        // The sound travels inside the DV frames and is found there.
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[1].at("codec_type"), "audio");
        EXPECT_EQ(ExtractRawVideo(path), Concat(frames, frames.size()));
        const Bytes file = ReadBytes(path);
        const auto top = ReadRiff(file);
        ASSERT_EQ(top.size(), 1u);
        EXPECT_EQ(top[0].findAll("strl").size(), 1u);
        const Chunk* movi = top[0].find("movi");
        ASSERT_TRUE(movi != nullptr);
        EXPECT_EQ(movi->children.front().id, "00dc");
        expectWalkerFindsVideoHeader(path, kFccIavs, pal ? 1 : 1001, pal ? 25 : 30000);
    }
}

TEST_F(AviFileWriterTest, OpenDmlSegmentsPastTheLimitWithTheirIndexes) {
    // Setup: about eight frames with sound per 1.2 MB segment.
    const auto path = dir_ / "odml.avi";
    AviWriterOptions options;
    options.oldIndex = true;
    options.segmentLimit = 1200 * 1000;
    AviFileWriter writer;
    ASSERT_TRUE(writer.open(path, TypeTwoStreams(), options).ok());

    // Exercise
    writeTypeTwo(writer, 50);
    ASSERT_TRUE(writer.close().ok());

    // Verification: what players see.
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("nb_frames"), "50");
    EXPECT_EQ(streams[0].at("nb_read_frames"), "50");
    EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(50 * 1920));
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 50));
    expectWalkerFindsVideoHeader(path, kFccVids, 1, 25);

    // Verification: the segments and their indexes.
    const Bytes file = ReadBytes(path);
    bool malformed = true;
    const auto top = ReadRiff(file, &malformed);
    EXPECT_FALSE(malformed);
    ASSERT_GE(top.size(), 3u);
    EXPECT_EQ(top.size(), writer.segmentCount());
    EXPECT_EQ(top[0].listType, "AVI ");
    std::size_t framesInSegments = 0, firstSegmentFrames = 0;
    for (std::size_t s = 0; s < top.size(); ++s) {
        EXPECT_LE(top[s].size + 8u, options.segmentLimit);
        if (s > 0) {
            EXPECT_EQ(top[s].listType, "AVIX");
        }
        const Chunk* movi = top[s].find("movi");
        ASSERT_TRUE(movi != nullptr);
        std::size_t frames = 0;
        for (const Chunk& c : movi->children)
            frames += c.id == "00dc";
        framesInSegments += frames;
        if (s == 0) firstSegmentFrames = frames;
        // One standard index per stream, after the data, covering this segment's frames.
        const Chunk& ix00 = movi->children[movi->children.size() - 2];
        EXPECT_EQ(ix00.id, "ix00");
        EXPECT_EQ(Le32At(file, ix00.dataOffset() + 4), frames);
        EXPECT_EQ(movi->children.back().id, "ix01");
        EXPECT_EQ(top[s].find("idx1") != nullptr, s == 0);
    }
    EXPECT_EQ(framesInSegments, 50u);
    const Chunk* avih = top[0].find("avih");
    EXPECT_EQ(Le32At(file, avih->dataOffset() + 16), firstSegmentFrames);
    EXPECT_EQ(Le32At(file, top[0].find("dmlh")->dataOffset()), 50u);
    // The legacy index lists the first segment's chunks, offsets from 'movi'.
    const Chunk* idx1 = top[0].find("idx1");
    const Chunk* movi0 = top[0].find("movi");
    EXPECT_EQ(idx1->size, 16u * (movi0->children.size() - 2));
    EXPECT_EQ(movi0->offset + 8 + Le32At(file, idx1->dataOffset() + 8), movi0->children[0].offset);
    for (const Chunk* indx : top[0].findAll("indx")) {
        const std::uint32_t used = Le32At(file, indx->dataOffset() + 4);
        EXPECT_EQ(used, top.size());
        for (std::uint32_t k = 0; k < used; ++k) {
            const std::uint64_t at = indx->dataOffset() + 24 + 16 * k;
            const std::uint64_t ixOffset = Le32At(file, at) | std::uint64_t(Le32At(file, at + 4))
                                                                  << 32;
            EXPECT_EQ(std::string(file.begin() + ixOffset, file.begin() + ixOffset + 2), "ix");
        }
    }
}

TEST_F(AviFileWriterTest, UncompressedVideoTakesItsRateFromTheAverageFrameTime) {
    // Setup: 32x24 RGB at 15 frames a second, frames shot one by one.
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = 666667;
    vih.bmiHeader.biSize = 40;
    vih.bmiHeader.biWidth = 32;
    vih.bmiHeader.biHeight = 24;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = BI_RGB;
    vih.bmiHeader.biSizeImage = DibImageSize(vih.bmiHeader);
    const auto path = dir_ / "rgb.avi";
    AviFileWriter writer;
    ASSERT_TRUE(writer.open(path, {AviVideoStream(vih)}).ok());

    // Exercise
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(
            writer.writeSample(0, Bytes(vih.bmiHeader.biSizeImage, std::uint8_t(i * 20))).ok());
    ASSERT_TRUE(writer.close().ok());

    // Verification
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), "rawvideo");
    EXPECT_EQ(streams[0].at("r_frame_rate"), "15/1");
    EXPECT_EQ(streams[0].at("nb_read_frames"), "12");
    EXPECT_EQ(ReadRiff(ReadBytes(path))[0].find("movi")->children[0].id, "00db");
    expectWalkerFindsVideoHeader(path, kFccVids, 1, 15);
}

TEST_F(AviFileWriterTest, DataReachesTheFileAsItComes) {
    // Setup
    const auto path = dir_ / "bounded.avi";
    AviFileWriter writer;
    ASSERT_TRUE(writer.open(path, TypeTwoStreams()).ok());

    for (std::size_t i = 0; i < 40; ++i) {
        // Exercise
        ASSERT_TRUE(writer.writeSample(0, PalDvFrames()[i]).ok());
        ASSERT_TRUE(writer.writeSample(1, PcmForFrame(i)).ok());

        // Verification: at most a few frames' worth waits in memory.
        EXPECT_LE(writer.fileSize() - std::filesystem::file_size(path), 4 * 144000u);
    }
    EXPECT_TRUE(writer.close().ok());
}

TEST_F(AviFileWriterTest, CheckpointsKeepTheGrowingFileReadableUpToTheLastSecond) {
    struct Case {
        std::uint64_t segmentLimit;
        std::uint32_t superIndexEntries;
        std::size_t frames;
        std::size_t indexedWhileOpen; // frames a crash keeps: all but at most 1 s
    };
    // One segment; segments of about eight frames (each end is a checkpoint); a room of six
    // entries, which the growing interval spreads over 1, 2, 3, 4 and 6 s, keeping the last for
    // the end.
    for (const Case& c :
         {Case{kAviDefaultSegmentLimit, 256, 60, 36}, Case{1200 * 1000, 256, 60, 36},
          Case{kAviDefaultSegmentLimit, 6, 250, 145}}) {
        // Setup
        const auto path = dir_ / "growing.avi";
        const auto copy = dir_ / "crashed.avi";
        AviWriterOptions options;
        options.oldIndex = true;
        options.checkpointSeconds = 1;
        options.segmentLimit = c.segmentLimit;
        options.superIndexEntries = c.superIndexEntries;
        AviFileWriter writer;
        ASSERT_TRUE(writer.open(path, TypeTwoStreams(), options).ok());

        // Exercise: what a crash now would leave.
        writeTypeTwo(writer, c.frames);
        writer.waitForCheckpoints();
        std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
        ASSERT_TRUE(writer.close().ok());

        // Verification
        const Bytes crashed = ReadBytes(copy);
        const auto indexed = IndexedChunkCounts(crashed);
        ASSERT_TRUE(indexed.has_value()) << c.frames;
        EXPECT_GE(indexed->at(0), c.indexedWhileOpen);
        // The sound of the same frames, but for the one whose video began the checkpoint.
        EXPECT_GE(indexed->at(1) + 1, indexed->at(0));
        const auto probed = Probe(copy);
        ASSERT_EQ(probed.size(), 2u);
        EXPECT_EQ(probed[0].at("nb_frames"), std::to_string(indexed->at(0)));
        EXPECT_GE(std::stoul(probed[0].at("nb_read_frames")), indexed->at(0));
        EXPECT_EQ(IndexedChunkCounts(ReadBytes(path)),
                  (std::vector<std::size_t>{c.frames, c.frames}));
        EXPECT_EQ(Probe(path).at(0).at("nb_read_frames"), std::to_string(c.frames));
    }
}

TEST_F(AviFileWriterTest, ReplacesAnExistingFileAndCanWriteTheNextOne) {
    // Setup: a cut closes one file and opens the next with the same writer.
    const auto first = dir_ / "a.avi";
    const auto second = dir_ / "b.avi";
    { std::ofstream(first) << std::string(5000000, 'x'); }
    AviFileWriter writer;

    // Exercise
    ASSERT_TRUE(writer.open(first, TypeTwoStreams()).ok());
    writeTypeTwo(writer, 5);
    ASSERT_TRUE(writer.close().ok());
    ASSERT_TRUE(writer.open(second, TypeTwoStreams()).ok());
    writeTypeTwo(writer, 3);
    ASSERT_TRUE(writer.close().ok());

    // Verification
    EXPECT_LT(std::filesystem::file_size(first), 1000000u);
    EXPECT_EQ(Probe(first).at(0).at("nb_read_frames"), "5");
    EXPECT_EQ(Probe(second).at(0).at("nb_read_frames"), "3");
}

} // namespace
} // namespace talvence
