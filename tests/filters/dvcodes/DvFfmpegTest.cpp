// DV written by the ffmpeg command-line tool with a timecode and a creation
// time: the pack readers and `talvence-cli dvinfo` must give back, frame by
// frame, the timecode and recording date and time that were asked for.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filters/dvcodes/dvcodes.h"
#include "platform/shell/DateTime.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/AviTestFiles.h"
#include "tools/talvence-cli/DvCommands.h"

namespace talvence {
namespace {

using testing::ReadBytes;
using testing::RunTool;
using testing::TempDir;

struct Expected {
    DvTimecode tc;
    DateTimeFields rec;
};

struct FfmpegCase {
    bool pal;
    const char* timecode; // as given to ffmpeg
    DvTimecode start;
    int startYear, startMonth, startDay, startHour, startMinute, startSecond;
};

// Frame number of a timecode and back; 525/60 counts drop-frame (frames 0
// and 1 of each minute but every tenth do not exist).
long ToFrames(const DvTimecode& tc, bool pal) {
    const int fps = pal ? 25 : 30;
    const long minutes = tc.hours * 60L + tc.minutes;
    long n = (minutes * 60 + tc.seconds) * fps + tc.frames;
    if (!pal) n -= 2 * (minutes - minutes / 10);
    return n;
}

DvTimecode FromFrames(long n, bool pal) {
    const int fps = pal ? 25 : 30;
    if (!pal) {
        const long tens = n / 17982, rest = n % 17982;
        n += 18 * tens + (rest < 2 ? 0 : 2 * ((rest - 2) / 1798));
    }
    return DvTimecode{static_cast<std::uint8_t>(n / fps / 3600 % 24),
                      static_cast<std::uint8_t>(n / fps / 60 % 60),
                      static_cast<std::uint8_t>(n / fps % 60), static_cast<std::uint8_t>(n % fps)};
}

Expected ExpectedFor(const FfmpegCase& c, int i) {
    Expected e;
    e.tc = FromFrames(ToFrames(c.start, c.pal) + i, c.pal);
    const long seconds = c.pal ? i / 25 : i * 1001L / 30000;
    const TDateTime start = EncodeDateTime(c.startYear, c.startMonth, c.startDay, c.startHour,
                                           c.startMinute, c.startSecond, 0);
    DecodeDateTime(start + seconds / 86400.0, e.rec);
    return e;
}

std::string MakeWithFfmpeg(const TempDir& dir, const FfmpegCase& c) {
    const std::string path = (dir / (c.pal ? "pal.dv" : "ntsc.dv")).string();
    char creation[64];
    std::snprintf(creation, sizeof creation, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.startYear,
                  c.startMonth, c.startDay, c.startHour, c.startMinute, c.startSecond);
    const std::string video = c.pal ? "testsrc=size=720x576:rate=25 -pix_fmt yuv420p"
                                    : "testsrc=size=720x480:rate=30000/1001 -pix_fmt yuv411p";
    const std::string command =
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i ") + video.substr(0, video.find(' ')) +
        " -f lavfi -i sine=r=48000:d=3 -frames:v 45" + video.substr(video.find(' ')) +
        " -ac 2 -c:a pcm_s16le -timecode '" + c.timecode + "' -metadata creation_time=" + creation +
        " -f dv " + path;
    EXPECT_EQ(RunTool(command + " 2>&1").status, 0) << command;
    return path;
}

class DvFfmpegTest : public ::testing::TestWithParam<FfmpegCase> {};

TEST_P(DvFfmpegTest, TimecodeAndRecordingDateComeBackFrameByFrame) {
    // Setup
    const FfmpegCase c = GetParam();
    TempDir dir;
    const std::string path = MakeWithFfmpeg(dir, c);
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    const std::size_t frameBytes = c.pal ? kDvFrameBytes625 : kDvFrameBytes525;
    ASSERT_GE(bytes.size(), 40 * frameBytes);
    ASSERT_EQ(bytes.size() % frameBytes, 0u);
    const int frames = static_cast<int>(bytes.size() / frameBytes);

    // Exercise: the command, in process and as the program.
    std::ostringstream out, err;
    const std::vector<std::string> args = {path};
    const int status = cli::RunDvInfo(args, out, err);
    const testing::ToolRun program = RunTool(std::string(TALVENCE_CLI_PATH) + " dvinfo " + path);

    // Verification: the readers, frame by frame.
    std::ostringstream expectedListing;
    for (int i = 0; i < frames; ++i) {
        const std::uint8_t* frame = bytes.data() + i * frameBytes;
        const Expected e = ExpectedFor(c, i);
        const DvTimecode tc = DvReadTimecode(frame, 0);
        DvRecDateTime rec;
        DvReadRecDateTime(frame, 0, rec);
        ASSERT_EQ(tc.hours, e.tc.hours) << "frame " << i;
        ASSERT_EQ(tc.minutes, e.tc.minutes) << "frame " << i;
        ASSERT_EQ(tc.seconds, e.tc.seconds) << "frame " << i;
        ASSERT_EQ(tc.frames, e.tc.frames) << "frame " << i;
        ASSERT_EQ(rec.year, e.rec.year) << "frame " << i;
        ASSERT_EQ(rec.month, e.rec.month) << "frame " << i;
        ASSERT_EQ(rec.day, e.rec.day) << "frame " << i;
        ASSERT_EQ(rec.hour, e.rec.hour) << "frame " << i;
        ASSERT_EQ(rec.minute, e.rec.minute) << "frame " << i;
        ASSERT_EQ(rec.second, e.rec.second) << "frame " << i;
        EXPECT_EQ(DvVideoSystem(frame), c.pal ? 0 : 1);
        EXPECT_EQ(DvAudioSampleRate(frame), 48000);

        char line[160];
        std::snprintf(line, sizeof line,
                      "frame %d tc=%d:%02d:%02d:%02d rec=%04d-%02d-%02d %02d:%02d:%02d sys=%s "
                      "aspect=4:3 audio=48000/16\n",
                      i, e.tc.hours, e.tc.minutes, e.tc.seconds, e.tc.frames, e.rec.year,
                      e.rec.month, e.rec.day, e.rec.hour, e.rec.minute, e.rec.second,
                      c.pal ? "625/50" : "525/60");
        expectedListing << line;
    }
    // One recording: a single scene, reported when the file ends.
    expectedListing << "scene 1 start=0 frames=" << frames << " reason=end\n";
    EXPECT_EQ(status, cli::kExitOk) << err.str();
    EXPECT_EQ(out.str(), expectedListing.str());
    EXPECT_EQ(program.status, 0);
    EXPECT_EQ(program.out, expectedListing.str());
}

// PAL crosses a second and a minute of both timecode and date; NTSC crosses a
// drop-frame minute and the end of a year.
INSTANTIATE_TEST_SUITE_P(
    PalAndNtsc, DvFfmpegTest,
    ::testing::Values(FfmpegCase{true, "10:20:59:20", {10, 20, 59, 20}, 2023, 4, 5, 6, 7, 59},
                      FfmpegCase{false, "01:02:59;28", {1, 2, 59, 28}, 2023, 12, 31, 23, 59, 59}),
    [](const auto& info) { return info.param.pal ? "Pal" : "Ntsc"; });

} // namespace
} // namespace talvence
