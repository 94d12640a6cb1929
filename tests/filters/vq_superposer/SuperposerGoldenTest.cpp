// Composed frames against stored checksums (tests/golden/superposer/frames.txt).
//
// The pictures come from Picture::Pattern and the clock, records and settings below, so they
// are the same on every run; the glyphs come from the Liberation fonts (fonts-liberation2) that
// "Arial" and "Liberation Serif" resolve to. After an intended change of the drawing, or with
// other font files, regenerate and review the diff:
//   TALVENCE_REGENERATE_GOLDEN=1 QT_QPA_PLATFORM=offscreen
//       build/tests/filters/vq_superposer/test_superposer --gtest_filter='SuperposerGolden.*'
// (one command line).
#include "tests/support/InlayTestSupport.h"

#include <QFontInfo>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace talvence {
namespace {

using inlaytest::FrameOf;
using inlaytest::Picture;

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

struct GoldenCase {
    const char* name;
    int width, height;
    std::function<void(SuperposerCore&)> configure;
    // The record of frame i.
    std::function<DvFrameInfo(int)> record;
};

const TDateTime kClock = EncodeDateTime(2026, 5, 2, 23, 59, 58, 0);
constexpr int kFrames = 3;

std::vector<GoldenCase> Cases() {
    const auto undated = [](int) { return DvFrameInfo{}; };
    return {
        {"default_720x576", 720, 576, [](SuperposerCore&) {}, undated},
        {"flip_red_centred_italic_underline_720x576", 720, 576,
         [](SuperposerCore& c) {
             c.SetInlayFlip(true);
             c.SetInlayFontColor(0x0000FF);
             c.SetInlayPosition(500, 100, 1);
             c.SetInlayItalic(true);
             c.SetInlayUnderline(true);
         },
         undated},
        {"timecode_strikeout_352x288", 352, 288,
         [](SuperposerCore& c) {
             c.SetInlaySource(2);
             c.SetInlayStrikeOut(true);
             c.SetInlayFontColor(0x00FFFF);
         },
         [](int i) {
             DvFrameInfo rec;
             rec.timecode = DvTimecode{1, 2, 3, static_cast<std::uint8_t>(4 + i)};
             return rec;
         }},
        {"recdate_offset_serif_14pt_720x480", 720, 480,
         [](SuperposerCore& c) {
             c.SetInlaySource(1);
             c.SetInlayHourOffset(-1);
             c.SetInlayAutoFontSize(false);
             c.SetInlayFontSize(14);
             c.SetInlayFontName("Liberation Serif");
             c.SetInlayBold(false);
             c.SetInlayPosition(20, 950, 0);
             c.SetInlayFormats("dddd d mmmm yyyy", "hh:nn:ss");
         },
         [](int i) { return inlaytest::DatedRecord(EncodeDateTime(2026, 5, 2, 0, 30, i, 0)); }},
    };
}

std::map<std::string, std::string> ReadGolden(const std::string& path) {
    std::map<std::string, std::string> sums;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string key, sum;
        if (fields >> key >> sum) sums[key] = sum;
    }
    return sums;
}

class SuperposerGolden : public ::testing::Test {
protected:
    void SetUp() override { inlaytest::EnsureGuiApp(); }
};

TEST_F(SuperposerGolden, FontsResolveToLiberation) {
    // Setup
    SuperposerSettings arial;
    SuperposerSettings serif;
    serif.fontName = "Liberation Serif";
    // Exercise
    const QString arialFamily = QFontInfo(InlayFont(arial, 28)).family();
    const QString serifFamily = QFontInfo(InlayFont(serif, 28)).family();
    // Verification
    EXPECT_EQ(arialFamily.toStdString(), "Liberation Sans")
        << "\"Arial\" must resolve to Liberation Sans (fonts-liberation2); the golden checksums "
           "were made with it";
    EXPECT_EQ(serifFamily.toStdString(), "Liberation Serif");
}

TEST_F(SuperposerGolden, ComposedFramesMatchStoredChecksums) {
    // Setup
    if (QFontInfo(InlayFont(SuperposerSettings{}, 28)).family() != "Liberation Sans")
        FAIL() << "\"Arial\" does not resolve to Liberation Sans; install fonts-liberation2. "
                  "Checksums not compared.";
    const std::string path = TALVENCE_SUPERPOSER_GOLDEN;
    const bool regenerate = !qEnvironmentVariableIsEmpty("TALVENCE_REGENERATE_GOLDEN");
    std::map<std::string, std::string> computed;

    // Exercise
    for (const GoldenCase& gc : Cases()) {
        SuperposerCore core([] { return std::int64_t{400000}; }, EnglishLocaleFormats());
        gc.configure(core);
        const Picture in = Picture::Pattern(gc.width, gc.height, gc.width % 7);
        for (int i = 0; i < kFrames; ++i) {
            Picture out(gc.width, gc.height);
            ASSERT_EQ(core.Compose(FrameOf(in, out), gc.record(i), kClock + i / 86400.0), S_OK);
            char sum[17];
            std::snprintf(sum, sizeof sum, "%016llx",
                          static_cast<unsigned long long>(Fnv1a64(out.bytes)));
            computed[std::string(gc.name) + "/" + std::to_string(i)] = sum;
        }
    }

    // Verification
    if (regenerate) {
        std::ofstream out(path, std::ios::trunc);
        out << "# FNV-1a 64 of each composed bottom-up RGB24 frame; made by "
               "SuperposerGoldenTest.cpp\n"
               "# (see there how to regenerate). Font: Liberation Sans / Serif.\n";
        for (const auto& [key, sum] : computed)
            out << key << ' ' << sum << '\n';
        ASSERT_TRUE(out.good()) << path;
        GTEST_SKIP() << "golden checksums written to " << path;
    }
    const auto stored = ReadGolden(path);
    ASSERT_FALSE(stored.empty()) << "no checksums in " << path;
    EXPECT_EQ(stored.size(), computed.size());
    for (const auto& [key, sum] : computed) {
        const auto it = stored.find(key);
        ASSERT_NE(it, stored.end()) << key << " missing from " << path;
        EXPECT_EQ(it->second, sum) << key;
    }
}

} // namespace
} // namespace talvence
