// talvence-cli capture in "DV type 2 (with inlay)" from the virtual DV camcorder reading a clip:
// the text's segments are coded again, every other video DIF block is the camcorder's own, and
// the file reads back whole (ffprobe, dvinfo).

#include "platform/media/filters/dv/DvSegmentCodec.h"
#include "tests/support/TempStore.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using dvcodec::kDifBlockBytes;
using dvcodec::kMacroblocksPerSegment;
using testing::Bytes;
using testing::Quote;
using testing::RunTool;

constexpr std::size_t kFrame = dvcodec::kPalFrameBytes;

std::vector<Bytes> Frames(const Bytes& raw) {
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at + kFrame <= raw.size(); at += kFrame)
        frames.emplace_back(raw.begin() + std::ptrdiff_t(at),
                            raw.begin() + std::ptrdiff_t(at + kFrame));
    return frames;
}

// The segments of `a` whose video DIF blocks differ from those of `b`.
std::vector<int> DifferingSegments(const Bytes& a, const Bytes& b) {
    std::vector<int> segments;
    for (int s = 0; s < dvcodec::VideoSegmentCount(DvSystem::Pal625); ++s)
        for (int m = 0; m < kMacroblocksPerSegment; ++m) {
            const std::size_t at = dvcodec::MacroblockBlockOffset(DvSystem::Pal625, s, m);
            if (std::memcmp(&a[at], &b[at], kDifBlockBytes) != 0) {
                segments.push_back(s);
                break;
            }
        }
    return segments;
}

class InlayDvCaptureCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        clips_ = new testing::TempDir;
        RunTool("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                "sine=frequency=440:sample_rate=48000 -t 1 -target pal-dv " +
                Quote(*clips_ / "clip.dv"));
    }
    static void TearDownTestSuite() { delete clips_; }

    // Captures the clip with these preference lines; the frames of the file written, after
    // checking that ffprobe and dvinfo read every one of them.
    std::vector<Bytes> Capture(const std::string& lines) {
        testing::TempStore store;
        testing::TempStore::Write(store.UserHive(),
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                  "\"Video Date\"=dword:00000000\n"
                                  "\"Video Racine\"=\"Inlay\"\n"
                                  "\"Ecouter Audio inclus\"=dword:00000000\n" +
                                      lines);
        const auto run = RunTool(
            "TALVENCE_VIRTUAL_DEVICES='dv:pace=fast:file=" + (*clips_ / "clip.dv").string() +
            "' QT_QPA_PLATFORM=offscreen timeout 120 " TALVENCE_CLI_PATH
            " capture --format 'DV type 2 (with inlay)' --inlay --yes --folder " +
            Quote(store.Dir() / "v") + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        std::smatch m;
        if (!std::regex_search(run.out, m, std::regex("wrote (.*\\.avi)"))) {
            ADD_FAILURE() << run.out;
            return {};
        }
        const std::string file = m[1];
        const std::string raw = (store.Dir() / "video.dv").string();
        RunTool("ffmpeg -v error -y -i " + Quote(file) + " -map 0:v -c copy -f rawvideo " +
                Quote(raw));
        std::vector<Bytes> frames = Frames(testing::ReadBytes(raw));

        const auto probe = RunTool("ffprobe -v error -select_streams v -count_frames "
                                   "-show_entries stream=nb_read_frames -of csv=p=0 " +
                                   Quote(file));
        EXPECT_EQ(probe.out, std::to_string(frames.size()) + "\n");
        const auto info = RunTool(TALVENCE_CLI_PATH " dvinfo " + Quote(file));
        std::istringstream text(info.out);
        std::size_t read = 0;
        for (std::string line; std::getline(text, line);)
            if (line.rfind("frame ", 0) == 0) {
                ++read;
                EXPECT_NE(line.find("sys=625/50"), std::string::npos) << line;
                EXPECT_NE(line.find("audio=48000/16"), std::string::npos) << line;
            }
        EXPECT_EQ(read, frames.size()) << info.out;
        return frames;
    }

    static testing::TempDir* clips_;
};
testing::TempDir* InlayDvCaptureCliTest::clips_ = nullptr;

// The clip's frame whose video matches the captured frame's most closely.
std::size_t SourceOf(const Bytes& captured, const std::vector<Bytes>& source) {
    std::size_t best = 0, fewest = SIZE_MAX;
    for (std::size_t j = 0; j < source.size(); ++j) {
        const std::size_t differing = DifferingSegments(captured, source[j]).size();
        if (differing < fewest) fewest = differing, best = j;
    }
    return best;
}

TEST_F(InlayDvCaptureCliTest, TheTextInEachCornerRecodesOnlyItsSegments) {
    const std::vector<Bytes> source = Frames(testing::ReadBytes(*clips_ / "clip.dv"));
    ASSERT_EQ(source.size(), 25u);
    struct Corner {
        int x, y, alignment;
        bool left, top;
    };
    for (const Corner c : {Corner{30, 120, 0, true, true}, Corner{970, 120, 2, false, true},
                           Corner{30, 960, 0, true, false}, Corner{970, 960, 2, false, false}}) {
        char lines[160];
        std::snprintf(lines, sizeof lines,
                      "\"Position X\"=dword:%08x\n\"position Y\"=dword:%08x\n"
                      "\"Alignement\"=dword:%08x\n",
                      c.x, c.y, c.alignment);
        const std::vector<Bytes> captured = Capture(lines);
        ASSERT_GE(captured.size(), 20u) << lines;
        const std::size_t first = SourceOf(captured[0], source);
        for (std::size_t k = 0; k < captured.size() && first + k < source.size(); ++k) {
            const std::vector<int> coded = DifferingSegments(captured[k], source[first + k]);
            // Some segments carry the text, far from all, and each has a macroblock near the
            // text's corner (in its half of the picture, off the far third of the width): the
            // rest of the picture is the camcorder's, bit for bit.
            EXPECT_GT(coded.size(), 0u) << lines << " frame " << k;
            EXPECT_LT(coded.size(), 60u) << lines << " frame " << k;
            for (const int s : coded) {
                bool inCorner = false;
                for (int m = 0; m < kMacroblocksPerSegment; ++m) {
                    const auto a = dvcodec::MacroblockAreaOf(DvSystem::Pal625, s, m);
                    const bool side = c.left ? a.x < 480 : a.x + a.width > 240;
                    inCorner |= side && (a.y < 288) == c.top;
                }
                EXPECT_TRUE(inCorner) << lines << " segment " << s << " frame " << k;
            }
        }
    }
}

TEST_F(InlayDvCaptureCliTest, AFlippedPictureIsCodedWhole) {
    const std::vector<Bytes> source = Frames(testing::ReadBytes(*clips_ / "clip.dv"));
    const std::vector<Bytes> captured = Capture("\"Flip On\"=dword:00000001\n");
    ASSERT_GE(captured.size(), 20u);
    for (std::size_t k = 0; k < captured.size(); ++k) {
        // Compared with every frame of the clip: no frame keeps the camcorder's video. Far more
        // segments differ than the text alone touches (under 60); a flat area coded again from
        // the same YUV values may come out bit for bit, so not all 324.
        const std::size_t j = SourceOf(captured[k], source);
        EXPECT_GT(DifferingSegments(captured[k], source[j]).size(), 200u) << "frame " << k;
    }
}

} // namespace
} // namespace talvence
