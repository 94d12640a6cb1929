// `talvence-cli dvinfo` over tapes from the virtual camcorder (raw DV and
// type-2 AVI), and over damaged files.

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/shell/DateTime.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/AviTestFiles.h"
#include "tools/talvence-cli/DvCommands.h"

namespace talvence {
namespace {

using testing::RunTool;
using testing::TempDir;
using testing::WriteBytes;

struct Output {
    int status = -1;
    std::vector<std::string> lines;
    std::string err;
};

Output DvInfo(const std::string& path) {
    std::ostringstream out, err;
    const std::vector<std::string> args = {path};
    Output result;
    result.status = cli::RunDvInfo(args, out, err);
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);)
        result.lines.push_back(line);
    result.err = err.str();
    return result;
}

std::vector<std::string> SceneLines(const Output& output) {
    std::vector<std::string> scenes;
    for (const std::string& line : output.lines)
        if (line.rfind("scene ", 0) == 0) scenes.push_back(line);
    return scenes;
}

DvRecording Pal(TDateTime start, std::uint32_t frames, bool wide = false) {
    DvRecording r;
    r.start = start;
    r.frames = frames;
    r.wideScreen = wide;
    return r;
}

std::vector<std::uint8_t> Tape(const DvTapeScript& script) {
    DvTapeSynthesiser synth(script);
    std::vector<std::uint8_t> all, frame;
    for (std::uint64_t i = 0; i < synth.frameCount(); ++i) {
        EXPECT_TRUE(synth.frame(i, frame)) << synth.error();
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

TEST(DvInfoCommand, CutsAScriptedTapeAtEveryRecording) {
    // Setup: a date jump, a change to 16:9 with a date that runs on, the date
    // lost, the date back 20 frames into the scene.
    const TDateTime noon = EncodeDateTime(2024, 1, 1, 12, 0, 0, 0);
    DvTapeScript script;
    script.recordings.push_back(Pal(EncodeDateTime(2024, 1, 1, 10, 0, 0, 0), 30));
    script.recordings.push_back(Pal(noon, 20));
    script.recordings.push_back(Pal(noon + 1.0 / 86400, 20, true));
    script.recordings.push_back(Pal(0, 20, true));
    script.recordings.back().recDate = false;
    script.recordings.push_back(Pal(noon, 20, true));
    TempDir dir;
    const std::string path = (dir / "tape.dv").string();
    WriteBytes(path, Tape(script));

    // Exercise
    const Output output = DvInfo(path);

    // Verification
    EXPECT_EQ(output.status, cli::kExitOk) << output.err;
    ASSERT_EQ(output.lines.size(), 110u + 5u);
    EXPECT_EQ(output.lines[0], "frame 0 tc=0:00:00:00 rec=2024-01-01 10:00:00 sys=625/50 "
                               "aspect=4:3 audio=48000/16");
    EXPECT_EQ(output.lines[55], "frame 55 tc=0:00:02:05 rec=2024-01-01 12:00:01 sys=625/50 "
                                "aspect=16:9 audio=48000/16");
    EXPECT_EQ(output.lines[70], "frame 70 tc=0:00:02:20 rec=- sys=625/50 "
                                "aspect=16:9 audio=48000/16");
    const std::vector<std::string> expected = {
        "scene 1 start=0 frames=30 reason=date",  "scene 2 start=30 frames=20 reason=format",
        "scene 3 start=50 frames=20 reason=date", "scene 4 start=70 frames=20 reason=date",
        "scene 5 start=90 frames=20 reason=end",
    };
    EXPECT_EQ(SceneLines(output), expected);
}

TEST(DvInfoCommand, ReadsType2AviLikeRawDv) {
    // Setup: ffmpeg copies the DV frames into an AVI with a 'dvsd' video stream.
    DvTapeScript script;
    script.recordings.push_back(Pal(EncodeDateTime(2022, 3, 4, 5, 6, 7, 0), 12, true));
    script.recordings.push_back(Pal(EncodeDateTime(2022, 3, 4, 8, 0, 0, 0), 13, true));
    TempDir dir;
    const std::string raw = (dir / "tape.dv").string();
    const std::string avi = (dir / "tape.avi").string();
    WriteBytes(raw, Tape(script));
    ASSERT_EQ(RunTool("ffmpeg -nostdin -v error -y -i " + raw + " -c copy -f avi " + avi + " 2>&1")
                  .status,
              0);

    // Exercise
    const Output fromRaw = DvInfo(raw);
    const Output fromAvi = DvInfo(avi);

    // Verification
    EXPECT_EQ(fromAvi.status, cli::kExitOk) << fromAvi.err;
    ASSERT_EQ(fromRaw.lines.size(), 25u + 2u);
    EXPECT_EQ(fromAvi.lines, fromRaw.lines);
}

// The tape cut into its frames.
std::vector<std::vector<std::uint8_t>> FramesOf(const std::vector<std::uint8_t>& tape,
                                                std::size_t frameBytes) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 0; at + frameBytes <= tape.size(); at += frameBytes)
        frames.emplace_back(tape.begin() + at, tape.begin() + at + frameBytes);
    return frames;
}

// A type-1 AVI: one interleaved 'iavs' stream, one chunk per frame.
std::vector<std::uint8_t> Type1Avi(const std::vector<std::vector<std::uint8_t>>& chunks) {
    using namespace talvence::testing;
    const auto frames = static_cast<std::uint32_t>(chunks.size());
    const auto frameBytes = static_cast<std::uint32_t>(kDvFrameBytes625);
    Bytes avih = Cat({Le32(40000), Le32(0), Le32(0), Le32(0x10), Le32(frames), Le32(0), Le32(1),
                      Le32(frameBytes), Le32(720), Le32(576)});
    avih.resize(56, 0);
    Bytes strh = Strh("iavs", "dvsd", 1, 25);
    // dwLength at offset 8 + 32 of the chunk.
    const Bytes length = Le32(frames);
    std::copy(length.begin(), length.end(), strh.begin() + 8 + 32);
    Bytes movi = Cat({Fcc("LIST"), Le32(0), Fcc("movi")});
    for (const Bytes& frame : chunks) {
        const Bytes chunk = Leaf("00__", frame);
        movi.insert(movi.end(), chunk.begin(), chunk.end());
    }
    const Bytes size = Le32(static_cast<std::uint32_t>(movi.size() - 8));
    std::copy(size.begin(), size.end(), movi.begin() + 4);
    return List(
        "RIFF", "AVI ",
        {List("LIST", "hdrl",
              {Leaf("avih", avih), List("LIST", "strl", {strh, Leaf("strf", Bytes(32, 0))})}),
         movi});
}

TEST(DvInfoCommand, ReadsType1AviLikeRawDv) {
    // Setup
    DvTapeScript script;
    script.recordings.push_back(Pal(EncodeDateTime(2022, 3, 4, 5, 6, 7, 0), 8));
    script.recordings.push_back(Pal(0, 7));
    script.recordings.back().recDate = false;
    TempDir dir;
    const std::string raw = (dir / "tape.dv").string();
    const std::string avi = (dir / "type1.avi").string();
    const std::vector<std::uint8_t> tape = Tape(script);
    WriteBytes(raw, tape);
    WriteBytes(avi, Type1Avi(FramesOf(tape, kDvFrameBytes625)));

    // Exercise
    const Output fromRaw = DvInfo(raw);
    const Output fromAvi = DvInfo(avi);

    // Verification
    EXPECT_EQ(fromAvi.status, cli::kExitOk) << fromAvi.err;
    ASSERT_EQ(fromRaw.lines.size(), 15u + 2u);
    EXPECT_EQ(fromAvi.lines, fromRaw.lines);
}

TEST(DvInfoCommand, AShortFrameKeepsItsPositionInTheScenes) {
    // Setup: a type-1 AVI whose fourth frame lost most of its bytes, before
    // a scene change at frame 8.
    DvTapeScript script;
    script.recordings.push_back(Pal(EncodeDateTime(2022, 3, 4, 5, 6, 7, 0), 8));
    script.recordings.push_back(Pal(0, 7));
    script.recordings.back().recDate = false;
    std::vector<std::vector<std::uint8_t>> frames = FramesOf(Tape(script), kDvFrameBytes625);
    frames[3].resize(1000);
    TempDir dir;
    const std::string avi = (dir / "short.avi").string();
    WriteBytes(avi, Type1Avi(frames));

    // Exercise
    const Output output = DvInfo(avi);

    // Verification
    EXPECT_EQ(output.status, cli::kExitOk) << output.err;
    ASSERT_EQ(output.lines.size(), 15u + 2u);
    EXPECT_EQ(output.lines[3].rfind("frame 3 skipped bytes=", 0), 0u) << output.lines[3];
    EXPECT_EQ(output.lines[8].rfind("frame 8 tc=0:00:00:08 rec=- ", 0), 0u) << output.lines[8];
    const std::vector<std::string> expected = {"scene 1 start=0 frames=8 reason=date",
                                               "scene 2 start=8 frames=7 reason=end"};
    EXPECT_EQ(SceneLines(output), expected);
}

TEST(DvInfoCommand, DamagedFilesGiveLinesNotCrashes) {
    // Setup: random bytes; one and a half frames; nothing at all; a RIFF
    // header over garbage; no file.
    TempDir dir;
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(500000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    WriteBytes(dir / "noise.dv", noise);
    DvTapeScript script;
    script.recordings.push_back(Pal(EncodeDateTime(2022, 3, 4, 5, 6, 7, 0), 2));
    std::vector<std::uint8_t> cut = Tape(script);
    cut.resize(kDvFrameBytes625 + kDvFrameBytes625 / 2);
    WriteBytes(dir / "cut.dv", cut);
    WriteBytes(dir / "empty.dv", {});
    std::vector<std::uint8_t> riff = {'R', 'I', 'F', 'F'};
    riff.insert(riff.end(), noise.begin(), noise.begin() + 1000);
    WriteBytes(dir / "bad.avi", riff);

    // Exercise
    const Output fromNoise = DvInfo((dir / "noise.dv").string());
    const Output fromCut = DvInfo((dir / "cut.dv").string());
    const Output fromEmpty = DvInfo((dir / "empty.dv").string());
    const Output fromBadAvi = DvInfo((dir / "bad.avi").string());
    const Output fromNothing = DvInfo((dir / "missing.dv").string());

    // Verification
    EXPECT_EQ(fromNoise.status, cli::kExitOk);
    ASSERT_FALSE(fromNoise.lines.empty());
    EXPECT_EQ(fromNoise.lines[0].rfind("frame 0 tc=", 0), 0u) << fromNoise.lines[0];
    EXPECT_EQ(fromCut.status, cli::kExitOk);
    ASSERT_EQ(fromCut.lines.size(), 3u);
    EXPECT_EQ(fromCut.lines[1], "frame 1 skipped bytes=72000");
    EXPECT_EQ(fromCut.lines[2], "scene 1 start=0 frames=1 reason=end");
    const std::vector<std::string> emptyRun = {"scene 1 start=0 frames=0 reason=end"};
    EXPECT_EQ(fromEmpty.lines, emptyRun);
    EXPECT_EQ(fromBadAvi.status, cli::kExitFailed);
    EXPECT_NE(fromBadAvi.err, "");
    EXPECT_EQ(fromNothing.status, cli::kExitFailed);
    EXPECT_EQ(DvInfo("").status, cli::kExitFailed);
}

} // namespace
} // namespace talvence
