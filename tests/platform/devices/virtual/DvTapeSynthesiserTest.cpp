// The virtual camcorder's tape: the packs of every frame, determinism, and
// FFmpeg reading the frames as real DV (picture and sound).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filters/dvcodes/dvcodes.h"
#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/shell/DateTime.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

using testing::ReadBytes;
using testing::RunTool;
using testing::TempDir;
using testing::WriteBytes;

DvRecording Recording(TDateTime start, std::uint32_t frames, DvTapeSystem system, bool wide,
                      DvTapeAudio audio) {
    DvRecording r;
    r.start = start;
    r.frames = frames;
    r.system = system;
    r.wideScreen = wide;
    r.audio = audio;
    return r;
}

bool WriteTape(DvTapeSynthesiser& synth, const std::string& path) {
    std::vector<std::uint8_t> all, frame;
    for (std::uint64_t i = 0; i < synth.frameCount(); ++i) {
        if (!synth.frame(i, frame)) return false;
        all.insert(all.end(), frame.begin(), frame.end());
    }
    WriteBytes(path, all);
    return true;
}

TEST(DvTapeSynthesiser, EveryFrameCarriesItsRecordingsPacks) {
    // Setup: a recording across midnight of a leap day, one in 525/60 16:9
    // with 32 kHz 12-bit sound and no timecode, one without date or sound.
    DvTapeScript script;
    script.recordings.push_back(Recording(EncodeDateTime(2024, 2, 29, 23, 59, 58, 0), 60,
                                          DvTapeSystem::Pal625, false, DvTapeAudio::Pcm48k16));
    script.recordings.push_back(Recording(EncodeDateTime(1999, 12, 31, 23, 59, 59, 0), 40,
                                          DvTapeSystem::Ntsc525, true, DvTapeAudio::Pcm32k12));
    script.recordings.back().timecode = false;
    script.recordings.push_back(Recording(0, 10, DvTapeSystem::Pal625, true, DvTapeAudio::None));
    script.recordings.back().recDate = false;
    DvTapeSynthesiser synth(script);
    std::vector<std::uint8_t> frame;

    // Exercise / Verification
    ASSERT_EQ(synth.frameCount(), 110u);
    for (std::uint64_t i = 0; i < synth.frameCount(); ++i) {
        ASSERT_TRUE(synth.frame(i, frame)) << synth.error();
        const auto at = synth.locate(i);
        ASSERT_TRUE(at.has_value());
        const DvRecording& r = script.recordings[at->recording];
        const bool pal = r.system == DvTapeSystem::Pal625;
        ASSERT_EQ(frame.size(), pal ? kDvFrameBytes625 : kDvFrameBytes525);

        const DvTimecode tc = DvReadTimecode(frame.data(), 0);
        const DvTimecode expectedTc = DvTapeSynthesiser::TapeTimecode(i, r.system);
        if (r.timecode) {
            EXPECT_EQ(tc.seconds, expectedTc.seconds) << i;
            EXPECT_EQ(tc.frames, expectedTc.frames) << i;
        } else {
            EXPECT_EQ(tc.hours, 0xFF) << i;
        }
        DvRecDateTime rec;
        DvReadRecDateTime(frame.data(), at->frameInRecording % (pal ? 12 : 10), rec);
        const DvRecDateTime expected = synth.recDateTime(i);
        EXPECT_EQ(rec.year, expected.year) << i;
        EXPECT_EQ(rec.day, expected.day) << i;
        EXPECT_EQ(rec.second, expected.second) << i;
        EXPECT_EQ(DvVideoSystem(frame.data()), pal ? 0 : 1);
        EXPECT_EQ(DvIsWideScreen(frame.data()), r.wideScreen);
        EXPECT_TRUE(DvHasSourceControl(frame.data()));
        const int rate = r.audio == DvTapeAudio::None       ? -1
                         : r.audio == DvTapeAudio::Pcm32k12 ? 32000
                                                            : 48000;
        EXPECT_EQ(DvAudioSampleRate(frame.data()), rate);
        EXPECT_EQ(DvAudioQuantization(frame.data()),
                  rate < 0 ? -1 : (r.audio == DvTapeAudio::Pcm32k12 ? 12 : 16));
    }
    // The date advances with whole seconds of recording: frame 50 of the
    // first recording is 2 s in, on 1 March; 30 frames of 525/60 are 1.001 s.
    EXPECT_EQ(synth.recDateTime(49).day, 29);
    EXPECT_EQ(synth.recDateTime(49).second, 59);
    EXPECT_EQ(synth.recDateTime(50).day, 1);
    EXPECT_EQ(synth.recDateTime(50).month, 3);
    EXPECT_EQ(synth.recDateTime(50).second, 0);
    EXPECT_EQ(synth.recDateTime(60 + 29).year, 1999);
    EXPECT_EQ(synth.recDateTime(60 + 30).year, 2000);
}

TEST(DvTapeSynthesiser, SameScriptAndPositionGiveTheSameBytes) {
    // Setup
    DvTapeScript script;
    script.recordings.push_back(Recording(EncodeDateTime(2020, 1, 1, 0, 0, 0, 0), 30,
                                          DvTapeSystem::Pal625, false, DvTapeAudio::Pcm48k16));
    script.recordings.push_back(Recording(EncodeDateTime(2020, 1, 1, 1, 0, 0, 0), 30,
                                          DvTapeSystem::Pal625, false, DvTapeAudio::Pcm48k16));
    DvTapeSynthesiser first(script), second(script);
    std::vector<std::uint8_t> a, b, c, other;

    // Exercise: one synthesiser visits other positions first, the other
    // encodes its pictures up front.
    ASSERT_TRUE(first.frame(45, other));
    ASSERT_TRUE(second.prepare());
    ASSERT_TRUE(first.frame(7, a));
    ASSERT_TRUE(second.frame(7, b));
    ASSERT_TRUE(second.frame(8, c));

    // Verification
    EXPECT_EQ(a, b);
    EXPECT_NE(b, c); // timecode and sound move on
    EXPECT_FALSE(first.frame(60, other));
    EXPECT_FALSE(DvTapeSynthesiser(DvTapeScript{}).frame(0, other));
}

TEST(DvTapeSynthesiser, EmptyRecordingsTakeNoTape) {
    // Setup
    DvTapeScript script;
    script.recordings.push_back(Recording(0, 2, DvTapeSystem::Pal625, false, DvTapeAudio::None));
    script.recordings.push_back(Recording(0, 0, DvTapeSystem::Pal625, false, DvTapeAudio::None));
    script.recordings.push_back(Recording(0, 3, DvTapeSystem::Ntsc525, false, DvTapeAudio::None));
    DvTapeSynthesiser synth(script);

    // Exercise
    const auto at = synth.locate(2);

    // Verification
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(at->recording, 2u);
    EXPECT_EQ(at->frameInRecording, 0u);
    EXPECT_FALSE(synth.locate(5).has_value());
}

TEST(DvTapeSynthesiser, TimecodeCountsDropFrameIn525) {
    // Exercise / Verification: the minute skips frames 0 and 1, every tenth does not.
    const auto at = [](std::uint64_t n, DvTapeSystem system) {
        const DvTimecode tc = DvTapeSynthesiser::TapeTimecode(n, system);
        char text[16];
        std::snprintf(text, sizeof text, "%d:%02d:%02d:%02d", tc.hours, tc.minutes, tc.seconds,
                      tc.frames);
        return std::string(text);
    };
    EXPECT_EQ(at(1799, DvTapeSystem::Ntsc525), "0:00:59:29");
    EXPECT_EQ(at(1800, DvTapeSystem::Ntsc525), "0:01:00:02");
    EXPECT_EQ(at(17981, DvTapeSystem::Ntsc525), "0:09:59:29");
    EXPECT_EQ(at(17982, DvTapeSystem::Ntsc525), "0:10:00:00");
    EXPECT_EQ(at(90000 + 24, DvTapeSystem::Pal625), "1:00:00:24");
}

TEST(DvAudio16To12, FollowsTheNonlinearSegments) {
    using dvcodec::DvAudio16To12;

    // Exercise / Verification: linear below 512, then each 256 codes at half
    // the resolution of the ones below; negatives mirror.
    EXPECT_EQ(DvAudio16To12(0), 0x000);
    EXPECT_EQ(DvAudio16To12(511), 0x1FF);
    EXPECT_EQ(DvAudio16To12(512), 0x200);
    EXPECT_EQ(DvAudio16To12(1023), 0x2FF);
    EXPECT_EQ(DvAudio16To12(1024), 0x300);
    EXPECT_EQ(DvAudio16To12(32767), 0x7FF);
    EXPECT_EQ(DvAudio16To12(-1), 0xFFF);
    EXPECT_EQ(DvAudio16To12(-512), 0xE00);
    EXPECT_EQ(DvAudio16To12(-513), 0xDFF);
    // 0x800 would mark a lost sample.
    EXPECT_EQ(DvAudio16To12(-32768), 0x801);
}

struct OracleCase {
    const char* name;
    DvTapeSystem system;
    bool wide;
    DvTapeAudio audio;
    const char* videoStream; // ffprobe: codec,width,height,sar
    const char* audioStream; // ffprobe: codec,rate
    int tolerance;           // 12-bit sound comes back within its step
};

class DvTapeOracleTest : public ::testing::TestWithParam<OracleCase> {};

TEST_P(DvTapeOracleTest, FfmpegReadsPictureAndSound) {
    // Setup
    const OracleCase c = GetParam();
    DvTapeScript script;
    script.recordings.push_back(
        Recording(EncodeDateTime(2021, 6, 7, 8, 9, 10, 0), 20, c.system, c.wide, c.audio));
    script.recordings.push_back(
        Recording(EncodeDateTime(2021, 6, 7, 9, 0, 0, 0), 12, c.system, c.wide, c.audio));
    DvTapeSynthesiser synth(script);
    TempDir dir;
    const std::string dv = (dir / "tape.dv").string();
    const std::string pcm = (dir / "tape.pcm").string();
    ASSERT_TRUE(WriteTape(synth, dv)) << synth.error();

    // Exercise
    const std::string streams =
        RunTool("ffprobe -v error -show_entries stream=codec_name,width,height,"
                "sample_aspect_ratio,sample_rate -of csv=p=0 " +
                dv + " 2>&1")
            .out;
    const std::string videoErrors =
        RunTool("ffmpeg -nostdin -v error -i " + dv + " -map 0:v -f null - 2>&1").out;
    ASSERT_EQ(
        RunTool("ffmpeg -nostdin -v error -y -i " + dv + " -map 0:a:0 -f s16le " + pcm + " 2>&1")
            .status,
        0);
    const std::vector<std::uint8_t> decoded = ReadBytes(pcm);

    // Verification
    EXPECT_NE(streams.find(c.videoStream), std::string::npos) << streams;
    EXPECT_NE(streams.find(c.audioStream), std::string::npos) << streams;
    EXPECT_EQ(videoErrors, "");
    std::vector<std::int16_t> expected, frameSamples;
    for (std::uint64_t i = 0; i < synth.frameCount(); ++i) {
        synth.audioSamples(i, frameSamples);
        expected.insert(expected.end(), frameSamples.begin(), frameSamples.end());
    }
    ASSERT_EQ(decoded.size(), expected.size() * 2);
    int worst = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto got = static_cast<std::int16_t>(decoded[2 * k] | (decoded[2 * k + 1] << 8));
        worst = std::max(worst, std::abs(got - expected[k]));
    }
    EXPECT_LE(worst, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DvTapeOracleTest,
    ::testing::Values(OracleCase{"Pal48k16Wide", DvTapeSystem::Pal625, true, DvTapeAudio::Pcm48k16,
                                 "dvvideo,720,576,64:45", "pcm_s16le,48000", 0},
                      OracleCase{"Ntsc48k16", DvTapeSystem::Ntsc525, false, DvTapeAudio::Pcm48k16,
                                 "dvvideo,720,480,8:9", "pcm_s16le,48000", 0},
                      OracleCase{"Pal32k12", DvTapeSystem::Pal625, false, DvTapeAudio::Pcm32k12,
                                 "dvvideo,720,576,16:15", "pcm_s16le,32000", 63},
                      OracleCase{"Ntsc32k12Wide", DvTapeSystem::Ntsc525, true,
                                 DvTapeAudio::Pcm32k12, "dvvideo,720,480,32:27", "pcm_s16le,32000",
                                 63}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace talvence
