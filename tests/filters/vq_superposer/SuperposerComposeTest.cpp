// Whole frames through SuperposerCore::Compose: the counter over a run of frames, results,
// flip, placement of the drawn pixels, styles and settings changed while frames are drawn.
#include "tests/support/InlayTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace talvence {
namespace {

using inlaytest::Box;
using inlaytest::ChangedBox;
using inlaytest::DatedRecord;
using inlaytest::FrameOf;
using inlaytest::Picture;

const TDateTime kNow = EncodeDateTime(2026, 5, 2, 10, 0, 0, 0);

class ComposeTest : public ::testing::Test {
protected:
    void SetUp() override { inlaytest::EnsureGuiApp(); }

    SuperposerCore core{[] { return std::int64_t{400000}; }, EnglishLocaleFormats()};

    // Composes one frame and tells whether text was drawn into it.
    bool ComposeHasText(const Picture& in, const DvFrameInfo& rec, TDateTime now = kNow) {
        Picture out(in.width, in.height);
        EXPECT_EQ(core.Compose(FrameOf(in, out), rec, now), S_OK);
        return !ChangedBox(in, out).empty;
    }

    void AutomaticFor(std::int32_t frames, std::uint8_t when) {
        SuperposerSettings s;
        s.autoMode = true;
        s.when = when;
        s.durationFrames = frames;
        core.ReplaceSettings(s);
    }
};

TEST_F(ComposeTest, ManualModeDrawsOnEveryFrameAndInactiveOnNone) {
    // Setup
    const Picture in = Picture::Pattern(160, 120);
    int withText = 0;
    // Exercise
    for (int i = 0; i < 5; ++i)
        withText += ComposeHasText(in, DvFrameInfo{}) ? 1 : 0;
    core.SetInlayActive(false);
    const bool inactiveText = ComposeHasText(in, DvFrameInfo{});
    // Verification
    EXPECT_EQ(withText, 5);
    EXPECT_FALSE(inactiveText);
}

TEST_F(ComposeTest, AutomaticDisplayLengthsAfterStartAndAfterRestart) {
    // Setup: 10-frame displays; undated frames first, then dated ones one frame apart.
    AutomaticFor(10, 2);
    const Picture in = Picture::Pattern(160, 120);
    core.StartStreaming();
    std::string pattern;
    // Exercise
    for (int i = 0; i < 12; ++i)
        pattern += ComposeHasText(in, DvFrameInfo{}) ? 'T' : '.';
    pattern += '|';
    for (int i = 0; i < 12; ++i)
        pattern += ComposeHasText(in, DatedRecord(kNow + i / 25.0 / 86400.0)) ? 'T' : '.';
    pattern += '|';
    // A date that reappears after undated frames restarts the display again.
    ComposeHasText(in, DvFrameInfo{});
    pattern += ComposeHasText(in, DatedRecord(kNow + 1.0 / 86400.0)) ? 'T' : '.';
    // Verification: durationFrames − 2 after the start, durationFrames − 1 after a restart.
    EXPECT_EQ(pattern, "TTTTTTTT....|TTTTTTTTT...|T");
    EXPECT_EQ(core.LastDate(), kNow + 1.0 / 86400.0);
}

TEST_F(ComposeTest, JumpRuleRestartsOnlyOnAJumpOrAStepBack) {
    // Setup: a 3-frame display that has run out at 10:00:00.
    AutomaticFor(3, 2);
    const Picture in = Picture::Pattern(64, 48);
    const auto sec = [](int s) { return kNow + s / 86400.0; };
    ComposeHasText(in, DatedRecord(sec(0))); // restart: lastDate was 0
    ComposeHasText(in, DatedRecord(sec(0)));
    ComposeHasText(in, DatedRecord(sec(0)));
    // Exercise / Verification
    EXPECT_FALSE(ComposeHasText(in, DatedRecord(sec(1))));
    EXPECT_TRUE(ComposeHasText(in, DatedRecord(sec(4))));
    EXPECT_TRUE(ComposeHasText(in, DatedRecord(sec(4))));
    EXPECT_FALSE(ComposeHasText(in, DatedRecord(sec(4))));
    EXPECT_TRUE(ComposeHasText(in, DatedRecord(sec(3)))); // back in time
}

TEST_F(ComposeTest, NoFormatBlockSkipsTheFrameButKeepsCounting) {
    // Setup
    AutomaticFor(10, 2);
    core.StartStreaming();
    const Picture in = Picture::Pattern(64, 48);
    Picture out(64, 48);
    InlayFrame frame = FrameOf(in, out);
    frame.hasFormat = false;
    const TDateTime date = EncodeDateTime(2026, 5, 2, 8, 0, 0, 0);
    // Exercise
    const HRESULT hr = core.Compose(frame, DatedRecord(date), kNow);
    // Verification
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(out.bytes, std::vector<std::uint8_t>(out.bytes.size(), 0));
    EXPECT_EQ(core.Remaining(), 8);
    EXPECT_EQ(core.LastDate(), date);
}

TEST_F(ComposeTest, PicturesThatDoNotFitTheBuffersFail) {
    // Setup
    const Picture in = Picture::Pattern(64, 48);
    Picture out(64, 48);
    InlayFrame shortOutput = FrameOf(in, out);
    shortOutput.outputSize -= 1;
    InlayFrame narrowStride = FrameOf(in, out);
    narrowStride.stride = 64 * 3 - 1;
    InlayFrame noInput = FrameOf(in, out);
    noInput.input = nullptr;
    const TDateTime date = EncodeDateTime(2026, 5, 2, 8, 0, 0, 0);
    // Exercise / Verification
    EXPECT_EQ(core.Compose(shortOutput, DatedRecord(date), kNow), E_FAIL);
    EXPECT_EQ(core.Compose(narrowStride, DvFrameInfo{}, kNow), E_FAIL);
    EXPECT_EQ(core.Compose(noInput, DvFrameInfo{}, kNow), E_FAIL);
    EXPECT_EQ(out.bytes, std::vector<std::uint8_t>(out.bytes.size(), 0));
    EXPECT_EQ(core.LastDate(), 0.0); // the undated frames came last
}

TEST_F(ComposeTest, TextThatCannotBeFormattedLeavesTheBarePictureAndSucceeds) {
    // Setup
    core.SetInlaySource(1);
    const Picture in = Picture::Pattern(64, 48);
    Picture out(64, 48);
    // Exercise
    const HRESULT hr = core.Compose(FrameOf(in, out), DatedRecord(1e9), kNow);
    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(out.bytes, in.bytes);
    EXPECT_FALSE(core.LastFrameHadText());
}

TEST_F(ComposeTest, FlipMirrorsThePictureAndKeepsTheTextUpright) {
    // Setup
    const Picture in = Picture::Pattern(320, 240, 3);
    const Picture mirrored = in.Mirrored();
    Picture flipped(320, 240), reference(320, 240);
    SuperposerCore plain([] { return std::int64_t{0}; }, EnglishLocaleFormats());
    core.SetInlayFlip(true);
    // Exercise
    ASSERT_EQ(core.Compose(FrameOf(in, flipped), DvFrameInfo{}, kNow), S_OK);
    ASSERT_EQ(plain.Compose(FrameOf(mirrored, reference), DvFrameInfo{}, kNow), S_OK);
    Picture inPlace = in;
    ASSERT_EQ(core.Compose(FrameOf(inPlace, inPlace), DvFrameInfo{}, kNow), S_OK);
    // Verification: the same as drawing upright text on the mirrored picture.
    EXPECT_EQ(flipped.bytes, reference.bytes);
    EXPECT_EQ(inPlace.bytes, reference.bytes);
    EXPECT_FALSE(ChangedBox(mirrored, flipped).empty);
}

TEST_F(ComposeTest, RightAlignedLinesEndAtTheRightEdgeAroundTheAnchor) {
    // Setup: black picture, white text, anchor at the right edge half-way down.
    const Picture in(720, 576);
    Picture out(720, 576);
    core.SetInlayPosition(1000, 500, 2);
    // Exercise
    ASSERT_EQ(core.Compose(FrameOf(in, out), DvFrameInfo{}, kNow), S_OK);
    // Verification: ink ends within the glyphs' side bearing of the edge, and both lines sit
    // in the two 28-pixel cells above and below y = 288.
    const Box box = ChangedBox(in, out);
    ASSERT_FALSE(box.empty);
    EXPECT_GE(box.right, 720 - 4);
    EXPECT_GE(box.top, 288 - 28);
    EXPECT_LT(box.bottom, 288 + 28);
    EXPECT_LT(box.top, 288 - 14);    // line 1 is there
    EXPECT_GE(box.bottom, 288 + 14); // and line 2
    // The reported text area holds every changed pixel.
    const colorconv::Rect area = core.LastTextArea();
    EXPECT_TRUE(core.LastFrameHadText());
    EXPECT_LE(area.x, box.left);
    EXPECT_LE(area.y, box.top);
    EXPECT_GT(area.x + area.width, box.right);
    EXPECT_GT(area.y + area.height, box.bottom);
}

TEST_F(ComposeTest, TimecodeDrawsOnlyTheSecondLineAtTheAutomaticHeight) {
    for (const auto& [width, height, lineHeight] : {std::tuple{720, 576, 28}, {352, 288, 16}}) {
        // Setup
        SuperposerCore tc([] { return std::int64_t{0}; }, EnglishLocaleFormats());
        tc.SetInlaySource(2);
        tc.SetInlayPosition(500, 500, 1);
        DvFrameInfo rec;
        rec.timecode = DvTimecode{1, 2, 3, 4};
        const Picture in(width, height);
        Picture out(width, height);
        // Exercise
        ASSERT_EQ(tc.Compose(FrameOf(in, out), rec, kNow), S_OK);
        // Verification
        const Box box = ChangedBox(in, out);
        ASSERT_FALSE(box.empty);
        EXPECT_EQ(tc.LastLines(), (InlayLines{"", "1:02:03:04"}));
        EXPECT_GE(box.top, height / 2) << width; // nothing on line 1
        EXPECT_LT(box.bottom, height / 2 + lineHeight) << width;
        EXPECT_GT(box.bottom - box.top + 1, lineHeight / 2) << width;
        EXPECT_LT(box.left, width / 2);
        EXPECT_GT(box.right, width / 2);
    }
}

TEST_F(ComposeTest, ColourAndStylesShowInTheDrawnPixels) {
    // Setup
    const Picture in(360, 288);
    const auto draw = [&](auto change) {
        SuperposerCore c([] { return std::int64_t{0}; }, EnglishLocaleFormats());
        c.SetInlayBold(false);
        change(c);
        Picture out(360, 288);
        EXPECT_EQ(c.Compose(FrameOf(in, out), DvFrameInfo{}, kNow), S_OK);
        return out;
    };
    // Exercise
    const Picture plain = draw([](SuperposerCore&) {});
    const Picture red = draw([](SuperposerCore& c) { c.SetInlayFontColor(0x0000FF); });
    const Picture bold = draw([](SuperposerCore& c) { c.SetInlayBold(true); });
    const Picture italic = draw([](SuperposerCore& c) { c.SetInlayItalic(true); });
    const Picture underline = draw([](SuperposerCore& c) { c.SetInlayUnderline(true); });
    const Picture strike = draw([](SuperposerCore& c) { c.SetInlayStrikeOut(true); });
    // Verification
    int fullRed = 0, blueOrGreen = 0;
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 360; ++x) {
            const std::uint8_t* p = red.At(x, y);
            fullRed += p[2] == 255 ? 1 : 0;
            blueOrGreen += (p[0] | p[1]) != 0 ? 1 : 0;
        }
    EXPECT_GT(fullRed, 20);
    EXPECT_EQ(blueOrGreen, 0);
    const int plainInk = ChangedBox(in, plain).pixels;
    EXPECT_GT(ChangedBox(in, bold).pixels, plainInk);
    EXPECT_GT(ChangedBox(in, underline).pixels, plainInk);
    EXPECT_GT(ChangedBox(in, strike).pixels, plainInk);
    EXPECT_NE(italic.bytes, plain.bytes);
    EXPECT_GT(ChangedBox(in, underline).bottom, ChangedBox(in, plain).bottom);
}

TEST_F(ComposeTest, SettingsSwappedDuringComposeGiveWholeOldOrWholeNewFrames) {
    // Setup: two settings that differ in the format strings, the font and the flip.
    SuperposerSettings a;
    a.dateFormat = "'first setting, date'";
    a.timeFormat = "hh:nn";
    SuperposerSettings b;
    b.dateFormat = "dddd d mmmm yyyy";
    b.timeFormat = "'second'";
    b.fontName = "Liberation Serif";
    b.italic = true;
    b.flip = true;
    b.posX = 100;
    b.alignment = 0;
    const Picture in = Picture::Pattern(320, 240, 1);
    const auto reference = [&](const SuperposerSettings& s) {
        SuperposerCore c([] { return std::int64_t{0}; }, EnglishLocaleFormats());
        c.ReplaceSettings(s);
        Picture out(320, 240);
        EXPECT_EQ(c.Compose(FrameOf(in, out), DvFrameInfo{}, kNow), S_OK);
        return out.bytes;
    };
    const auto refA = reference(a);
    const auto refB = reference(b);
    ASSERT_NE(refA, refB);
    core.ReplaceSettings(a);
    std::atomic<bool> stop{false};
    std::atomic<int> swaps{0};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            core.ReplaceSettings(i % 2 == 0 ? b : a);
            swaps.fetch_add(1);
        }
    });
    while (swaps.load() < 10)
        std::this_thread::yield();
    int asA = 0, asB = 0, torn = 0;
    // Exercise
    for (int i = 0; i < 200; ++i) {
        Picture out(320, 240);
        core.Compose(FrameOf(in, out), DvFrameInfo{}, kNow);
        if (out.bytes == refA)
            ++asA;
        else if (out.bytes == refB)
            ++asB;
        else
            ++torn;
    }
    stop = true;
    writer.join();
    // Verification
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(asA + asB, 200);
}

} // namespace
} // namespace talvence
