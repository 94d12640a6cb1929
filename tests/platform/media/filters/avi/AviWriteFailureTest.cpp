// The writer when things go wrong: files that cannot be created, misuse, a
// disk that fills up at a chosen byte, failing header writes, a file that
// runs out of segments. Whatever was written before must stay readable.

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/media/filters/avi/AviFileWriter.h"
#include "postproc/fpsunit.h"
#include "tests/support/AviWriterTestSupport.h"

namespace talvence {
namespace {

using namespace talvence::testing;

std::vector<AviStreamFormat> TypeTwoStreams() {
    return {AviDvVideoStream(DVINFO{}, 400000, 720, 576),
            AviAudioStream(WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0})};
}

struct Outcome {
    std::size_t videoAccepted = 0;
    AviWriterStatus firstRefusal;
    AviWriterStatus afterRefusal;
    AviWriterStatus closed;
};

// Writes up to 50 frames with sound, stopping at the first refusal.
Outcome WriteUntilRefused(AviFileWriter& writer) {
    Outcome outcome;
    for (std::size_t i = 0; i < 50 && outcome.firstRefusal.ok(); ++i) {
        AviWriterStatus s = writer.writeSample(0, PalDvFrames()[i]);
        if (s.ok()) {
            ++outcome.videoAccepted;
            s = writer.writeSample(1, PcmForFrame(i));
        }
        outcome.firstRefusal = s;
    }
    outcome.afterRefusal = writer.writeSample(0, PalDvFrames()[0]);
    outcome.closed = writer.close();
    return outcome;
}

class AviWriteFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg not found on PATH";
        ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe not found on PATH";
    }

    // What ffmpeg and the walker make of a file cut short after `frames`.
    static void expectReadableWith(const std::filesystem::path& path, std::size_t frames) {
        const auto streams = Probe(path);
        ASSERT_EQ(streams.size(), 2u) << path;
        EXPECT_EQ(streams[0].at("codec_name"), "dvvideo");
        EXPECT_EQ(streams[0].at("nb_frames"), std::to_string(frames));
        EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(frames));
        EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
        EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), frames));
        bool malformed = true;
        ReadRiff(ReadBytes(path), &malformed);
        EXPECT_FALSE(malformed);
        AviWalker walker;
        EXPECT_TRUE(walker.scanFile(path).scalePos.has_value());
    }

    TempDir dir_;
};

TEST_F(AviWriteFailureTest, AFileThatCannotBeCreatedLeavesNothingBehind) {
    // Setup
    const auto missingFolder = dir_ / "no-such-folder" / "v.avi";
    const auto refused = dir_ / "refused.avi";
    const auto tiny = dir_ / "tiny.avi";
    CappedAviOutputFiles denying;
    denying.setCreateError(EACCES);
    CappedAviOutputFiles full(100);
    AviFileWriter local, noRoom(full);
    AviFileWriter deniedWriter(denying);

    // Exercise
    const AviWriterStatus a = local.open(missingFolder, TypeTwoStreams());
    const AviWriterStatus b = deniedWriter.open(refused, TypeTwoStreams());
    const AviWriterStatus c = noRoom.open(tiny, TypeTwoStreams());

    // Verification
    for (const AviWriterStatus* s : {&a, &b, &c}) {
        EXPECT_EQ(s->error, AviWriterError::CannotCreate);
        EXPECT_NE(s->systemError, 0);
    }
    EXPECT_NE(a.message.find(missingFolder.string()), std::string::npos) << a.message;
    EXPECT_NE(b.message.find("Permission denied"), std::string::npos) << b.message;
    EXPECT_FALSE(std::filesystem::exists(refused));
    EXPECT_FALSE(std::filesystem::exists(tiny));
    EXPECT_FALSE(noRoom.isOpen());
    EXPECT_EQ(noRoom.writeSample(0, PalDvFrames()[0]).error, AviWriterError::WrongState);
}

TEST_F(AviWriteFailureTest, MisuseIsRefusedWithoutHarmingTheFile) {
    // Setup
    const auto path = dir_ / "misuse.avi";
    AviFileWriter writer;
    AviWriterOptions tooSmall;
    tooSmall.segmentLimit = 1000;
    AviStreamFormat noRate = TypeTwoStreams()[0];
    noRate.rate = 0;

    // Exercise / Verification: nothing is created for a bad description.
    EXPECT_EQ(writer.writeSample(0, PalDvFrames()[0]).error, AviWriterError::WrongState);
    EXPECT_EQ(writer.open(path, {}).error, AviWriterError::InvalidArgument);
    EXPECT_EQ(writer.open(path, {noRate}).error, AviWriterError::InvalidArgument);
    EXPECT_EQ(writer.open(path, TypeTwoStreams(), tooSmall).error, AviWriterError::InvalidArgument);
    EXPECT_FALSE(std::filesystem::exists(path));

    // Exercise / Verification: a bad sample leaves the open file intact.
    ASSERT_TRUE(writer.open(path, TypeTwoStreams()).ok());
    EXPECT_EQ(writer.open(path, TypeTwoStreams()).error, AviWriterError::WrongState);
    ASSERT_TRUE(writer.writeSample(0, PalDvFrames()[0]).ok());
    ASSERT_TRUE(writer.writeSample(1, PcmForFrame(0)).ok());
    EXPECT_EQ(writer.writeSample(2, PalDvFrames()[1]).error, AviWriterError::InvalidArgument);
    ASSERT_TRUE(writer.writeSample(0, PalDvFrames()[1]).ok());
    ASSERT_TRUE(writer.writeSample(1, PcmForFrame(1)).ok());
    EXPECT_TRUE(writer.close().ok());
    EXPECT_TRUE(writer.close().ok()); // nothing open: nothing to do
    expectReadableWith(path, 2);
}

// Where the disk fills up, for the same 50 frames with sound.
struct FullDiskCase {
    const char* name;
    std::uint64_t segmentLimit;
    // The capacity from a complete reference file: offset of the n-th chunk
    // of the given id in segment `segment`, plus `plus` bytes.
    std::size_t segment;
    const char* id;
    std::size_t nth;
    std::uint64_t plus;
    // The last segment still gets its standard indexes.
    bool indexed;
};

void PrintTo(const FullDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class AviFullDiskTest : public AviWriteFailureTest,
                        public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(AviFullDiskTest, EveryFrameWrittenBeforeStaysReadable) {
    // Setup
    const FullDiskCase& c = GetParam();
    AviWriterOptions options;
    options.oldIndex = true;
    options.segmentLimit = c.segmentLimit;
    const auto reference = dir_ / "reference.avi";
    {
        AviFileWriter writer;
        ASSERT_TRUE(writer.open(reference, TypeTwoStreams(), options).ok());
        ASSERT_TRUE(WriteUntilRefused(writer).closed.ok());
    }
    const Bytes whole = ReadBytes(reference);
    const auto top = ReadRiff(whole);
    ASSERT_GT(top.size(), c.segment);
    std::uint64_t capacity = top[c.segment].offset + c.plus;
    if (std::string(c.id) != "RIFF") {
        const auto found = top[c.segment].find("movi")->children;
        std::size_t seen = 0;
        for (const Chunk& chunk : found)
            if (chunk.id == c.id && seen++ == c.nth) capacity = chunk.offset + c.plus;
    }
    const auto path = dir_ / "full.avi";
    CappedAviOutputFiles disk(capacity);
    AviFileWriter writer(disk);
    ASSERT_TRUE(writer.open(path, TypeTwoStreams(), options).ok());

    // Exercise
    const Outcome outcome = WriteUntilRefused(writer);

    // Verification
    ASSERT_LT(outcome.videoAccepted, 50u);
    EXPECT_EQ(outcome.firstRefusal.error, AviWriterError::DiskFull);
    EXPECT_EQ(outcome.firstRefusal.systemError, ENOSPC);
    EXPECT_EQ(outcome.afterRefusal.error, AviWriterError::DiskFull);
    EXPECT_EQ(outcome.closed.error, AviWriterError::DiskFull);
    EXPECT_NE(outcome.closed.message.find(path.string()), std::string::npos);
    EXPECT_LE(std::filesystem::file_size(path), capacity);
    // Video goes out as it comes, so every frame accepted is in the file.
    expectReadableWith(path, outcome.videoAccepted);
    const Bytes file = ReadBytes(path);
    const auto segments = ReadRiff(file);
    ASSERT_FALSE(segments.empty());
    bool lastIndexed = false;
    for (const Chunk& chunk : segments.back().find("movi")->children)
        lastIndexed |= chunk.id == "ix00";
    EXPECT_EQ(lastIndexed, c.indexed);
    const Chunk* indx = segments.front().find("indx");
    EXPECT_EQ(Le32At(file, indx->dataOffset() + 4), segments.size() - (c.indexed ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(
    AtChosenBytes, AviFullDiskTest,
    ::testing::Values(
        // Inside the 11th frame of a one-segment file: its indexes still fit.
        FullDiskCase{"MidFrame", kAviDefaultSegmentLimit, 0, "00dc", 10, 70000, true},
        // Four bytes into a frame's chunk header: no room for any index.
        FullDiskCase{"NoRoomForIndexes", kAviDefaultSegmentLimit, 0, "00dc", 20, 4, false},
        // Inside the headers of the second RIFF segment.
        FullDiskCase{"InSegmentHeader", 1200 * 1000, 1, "RIFF", 0, 10, true},
        // Inside a sound chunk of the third segment.
        FullDiskCase{"MidThirdSegment", 1200 * 1000, 2, "01wb", 2, 5000, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AviWriteFailureTest, FailuresWhileFinishingAreReportedNotHidden) {
    struct Case {
        void (*arm)(CappedAviOutputFiles&);
        AviWriterError expected;
        int systemError;
    };
    for (const Case& c : {Case{[](CappedAviOutputFiles& d) { d.setWriteAtError(EIO); },
                               AviWriterError::WriteFailed, EIO},
                          Case{[](CappedAviOutputFiles& d) { d.setCloseError(ENOSPC); },
                               AviWriterError::DiskFull, ENOSPC}}) {
        // Setup
        CappedAviOutputFiles disk;
        AviFileWriter writer(disk);
        ASSERT_TRUE(writer.open(dir_ / "finish.avi", TypeTwoStreams()).ok());
        ASSERT_TRUE(writer.writeSample(0, PalDvFrames()[0]).ok());
        c.arm(disk);

        // Exercise
        const AviWriterStatus closed = writer.close();

        // Verification
        EXPECT_EQ(closed.error, c.expected);
        EXPECT_EQ(closed.systemError, c.systemError);
    }
}

TEST_F(AviWriteFailureTest, AFileOutOfSegmentsStopsComplete) {
    // Setup: room for two segments of about eight frames.
    const auto path = dir_ / "segments.avi";
    AviWriterOptions options;
    options.segmentLimit = 1200 * 1000;
    options.superIndexEntries = 2;
    AviFileWriter writer;
    ASSERT_TRUE(writer.open(path, TypeTwoStreams(), options).ok());

    // Exercise
    const Outcome outcome = WriteUntilRefused(writer);

    // Verification
    EXPECT_EQ(outcome.firstRefusal.error, AviWriterError::FileFull);
    EXPECT_EQ(outcome.closed.error, AviWriterError::FileFull);
    EXPECT_EQ(ReadRiff(ReadBytes(path)).size(), 2u);
    expectReadableWith(path, outcome.videoAccepted);
}

} // namespace
} // namespace talvence
