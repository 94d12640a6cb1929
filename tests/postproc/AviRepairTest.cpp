// Repair of AVI files left by a crash: the scan over bytes cut at chosen places or with a header
// that lies, and the rewrite of a real file checked by ffmpeg and an index-trusting reader.

#include "postproc/AviRepair.h"
#include "platform/media/filters/avi/AviFileWriter.h"
#include "tests/support/AviWriterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace talvence {
namespace {

using namespace talvence::testing;

// 30 DV type 2 frames over segments of about eight frames, as a capture writes them.
Bytes CaptureFile(const std::filesystem::path& path) {
    AviWriterOptions options;
    options.checkpointSeconds = 1;
    options.segmentLimit = 1200 * 1000;
    AviFileWriter writer;
    EXPECT_TRUE(
        writer
            .open(path,
                  {AviDvVideoStream(DVINFO{}, 400000, 720, 576),
                   AviAudioStream(WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0})},
                  options)
            .ok());
    for (std::size_t i = 0; i < 30; ++i) {
        writer.writeSample(0, PalDvFrames()[i]);
        writer.writeSample(1, PcmForFrame(i));
    }
    EXPECT_TRUE(writer.close().ok());
    return ReadBytes(path);
}

AviChunkScan Scan(const Bytes& bytes) {
    MemoryAviSource source(bytes);
    return ScanAviChunks(source);
}

TEST(AviRepairTest, TheScanKeepsEveryWholeChunkWhateverTheHeaderSays) {
    // Setup
    TempDir dir;
    const Bytes whole = CaptureFile(dir / "whole.avi");
    const auto top = ReadRiff(whole);
    ASSERT_GE(top.size(), 3u);
    const auto movi = top[1].find("movi")->children;
    // Cut 1000 bytes into the second segment's third chunk.
    const std::uint64_t cutAt = movi[2].offset + 1000;
    Bytes lying = whole; // sizes and index counts zeroed, as an unfinished writer leaves them
    for (const Chunk& riff : top)
        AviSetLe32(&lying[riff.offset + 4], 0);
    for (const Chunk* indx : top[0].findAll("indx"))
        AviSetLe32(&lying[indx->dataOffset() + 4], 0);
    Bytes zeroTail = whole;
    zeroTail.resize(whole.size() + 4096, 0);

    // Exercise
    const AviChunkScan all = Scan(whole);
    const AviChunkScan cut = Scan(Bytes(whole.begin(), whole.begin() + cutAt));
    const AviChunkScan lies = Scan(lying);
    const AviChunkScan zeros = Scan(zeroTail);
    const AviChunkScan notAvi = Scan(Bytes(whole.begin() + 12, whole.end()));

    // Verification
    ASSERT_TRUE(all.problem.empty()) << all.problem;
    EXPECT_EQ(all.chunksPerStream(), (std::vector<std::uint64_t>{30, 30}));
    EXPECT_EQ(all.droppedBytes, 0u);
    EXPECT_EQ(all.streams.at(0).rate, 25u);
    EXPECT_EQ(all.streams.at(1).role, AviStreamRole::Audio);
    EXPECT_EQ(all.chunks[2].offset, top[0].find("movi")->children[2].offset);
    const auto before =
        std::count_if(all.chunks.begin(), all.chunks.end(),
                      [&](const AviFoundChunk& c) { return c.offset < movi[2].offset; });
    EXPECT_EQ(cut.chunks.size(), std::size_t(before));
    EXPECT_EQ(cut.droppedBytes, 1000u);
    EXPECT_NE(cut.dropped.find("cut short"), std::string::npos) << cut.dropped;
    EXPECT_EQ(lies.chunksPerStream(), all.chunksPerStream());
    EXPECT_EQ(zeros.chunksPerStream(), all.chunksPerStream());
    EXPECT_EQ(zeros.droppedBytes, 4096u);
    EXPECT_FALSE(notAvi.problem.empty());
}

TEST(AviRepairTest, ARepairedFileHoldsEveryWholeFrameForAReaderThatTrustsItsIndex) {
    // Setup: the file of a capture killed inside the 21st frame, header as the last checkpoint left
    // it.
    TempDir dir;
    const auto path = dir / "killed.avi";
    const Bytes whole = CaptureFile(path);
    std::uint64_t cutAt = 0;
    std::size_t frames = 0;
    for (const Chunk& riff : ReadRiff(whole))
        for (const Chunk& c : riff.find("movi")->children)
            if (c.id == "00dc" && ++frames == 21) cutAt = c.offset + 5000;
    WriteBytes(path, Bytes(whole.begin(), whole.begin() + cutAt));

    // Exercise
    const AviRepairResult repaired = RepairAviFile(path);
    const AviRepairResult again = RepairAviFile(path);
    const AviRepairResult missing = RepairAviFile(dir / "none.avi");

    // Verification
    ASSERT_TRUE(repaired.ok) << repaired.error;
    EXPECT_EQ(repaired.scan.chunksPerStream(), (std::vector<std::uint64_t>{20, 20}));
    EXPECT_EQ(AviRepairSummary(repaired),
              "kept 20 frames of stream 0, 20 sound chunks of stream 1; dropped a '00dc' chunk cut "
              "short (4992 of 144000 bytes)");
    EXPECT_EQ(IndexedChunkCounts(ReadBytes(path)), (std::vector<std::size_t>{20, 20}));
    EXPECT_EQ(Probe(path).at(0).at("nb_read_frames"), "20");
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 20));
    EXPECT_FALSE(std::filesystem::exists(dir / "killed.avi.repairing"));
    ASSERT_TRUE(again.ok); // a finished file is left as it is, frame for frame
    EXPECT_EQ(again.scan.chunksPerStream(), (std::vector<std::uint64_t>{20, 20}));
    EXPECT_EQ(again.scan.droppedBytes, 0u);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.avi"));
}

TEST(AviRepairTest, OnlyCapturesThatNoWriterHoldsAreRepairedAtStartUp) {
    // Setup: a capture being written, one a crash left (marker without its lock, file cut), one
    // whose file is gone.
    TempDir dir;
    const Bytes whole = CaptureFile(dir / "crashed.avi");
    WriteBytes(dir / "crashed.avi", Bytes(whole.begin(), whole.end() - 1000));
    WriteBytes(AviUnfinishedMarker(dir / "crashed.avi"), {});
    WriteBytes(AviUnfinishedMarker(dir / "gone.avi"), {});
    AviWriterOptions options;
    options.unfinishedMarker = true;
    AviFileWriter running;
    ASSERT_TRUE(
        running.open(dir / "running.avi", {AviDvVideoStream(DVINFO{}, 400000, 720, 576)}, options)
            .ok());
    ASSERT_TRUE(running.writeSample(0, PalDvFrames()[0]).ok());

    // Exercise
    auto found = RepairUnfinishedCaptures(dir.path());
    const bool markedWhileOpen = std::filesystem::exists(AviUnfinishedMarker(dir / "running.avi"));
    ASSERT_TRUE(running.close().ok());

    // Verification
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.file < b.file; });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].file, dir / "crashed.avi");
    EXPECT_TRUE(found[0].repair.ok);
    EXPECT_EQ(IndexedChunkCounts(ReadBytes(dir / "crashed.avi")),
              (std::vector<std::size_t>{30, 29}));
    EXPECT_EQ(found[1].file, dir / "gone.avi");
    EXPECT_TRUE(markedWhileOpen);
    for (const char* name : {"crashed.avi", "gone.avi", "running.avi"})
        EXPECT_FALSE(std::filesystem::exists(AviUnfinishedMarker(dir / name))) << name;
}

} // namespace
} // namespace talvence
