// The inlay's rules without pictures: line height, placement, restart rules, duration, texts
// and the setters.
#include "filters/vq_superposer/SuperposerCore.h"

#include "tests/support/InlayTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>

namespace talvence {
namespace {

TEST(InlayLayout, LineHeightFromPictureWidthOrPoints) {
    // Setup
    SuperposerSettings manual;
    manual.autoFontSize = false;
    manual.fontSize = 21;
    SuperposerSettings negative = manual;
    negative.fontSize = -4;

    // Exercise / Verification
    EXPECT_EQ(AutoLineHeight(720), 28);
    EXPECT_EQ(AutoLineHeight(352), 16); // 13, raised to 16
    EXPECT_EQ(AutoLineHeight(1440), 56);
    EXPECT_EQ(InlayLineHeight(SuperposerSettings{}, 720, 96), 28);
    EXPECT_EQ(InlayLineHeight(manual, 352, 96), 28);
    EXPECT_EQ(InlayLineHeight(manual, 352, 120), 35);
    EXPECT_EQ(PointsToPixels(10, 96), 13); // 13.33
    EXPECT_EQ(PointsToPixels(11, 96), 15); // 14.67
    EXPECT_EQ(InlayLineHeight(negative, 720, 96), 0);
}

TEST(InlayLayout, AnchorAndAlignmentTable) {
    // Setup: 720 x 576, anchor at (648, 518), line height 28, widths 100 and 61.
    struct Case {
        std::uint8_t alignment;
        int x1, x2;
    };
    const Case cases[] = {{0, 648, 648}, {1, 598, 618}, {2, 548, 587}};
    for (const Case& c : cases) {
        // Exercise
        const LinePlacement p = PlaceLines(720, 576, 900, 900, c.alignment, 28, 100, 61);
        // Verification
        EXPECT_TRUE(p.draw);
        EXPECT_EQ(p.x1, c.x1) << int(c.alignment);
        EXPECT_EQ(p.x2, c.x2) << int(c.alignment);
        EXPECT_EQ(p.y1, 518 - 28);
        EXPECT_EQ(p.y2, 518);
    }
    // Exercise / Verification: the right edge, and an alignment the table does not know.
    EXPECT_EQ(PlaceLines(720, 576, 1000, 0, 2, 28, 100, 61).x2, 720 - 61);
    EXPECT_FALSE(PlaceLines(720, 576, 500, 500, 3, 28, 100, 61).draw);
}

TEST(InlayRestart, JumpRule) {
    // Setup
    const TDateTime ten = EncodeDateTime(2026, 5, 2, 10, 0, 0, 0);
    const auto at = [](int h, int m, int s) { return EncodeDateTime(2026, 5, 2, h, m, s, 0); };

    // Exercise / Verification
    EXPECT_TRUE(InlayRestartDue(2, at(10, 0, 3), ten));
    EXPECT_FALSE(InlayRestartDue(2, at(10, 0, 1), ten));
    EXPECT_FALSE(InlayRestartDue(2, ten, ten));
    EXPECT_TRUE(InlayRestartDue(2, at(9, 59, 59), ten));
    EXPECT_TRUE(InlayRestartDue(2, ten, 0.0)); // a date after an undated frame
    // Steps of exactly 2 s through a whole day are never a jump, whatever the day fractions.
    int restarts = 0;
    for (int step = 1; step < 43200; ++step)
        restarts += InlayRestartDue(2, EncodeDateTime(2026, 5, 2, 0, 0, 0, 0) + step * 2.0 / 86400,
                                    EncodeDateTime(2026, 5, 2, 0, 0, 0, 0) + (step - 1) * 2.0 / 86400);
    EXPECT_EQ(restarts, 0);
}

TEST(InlayRestart, DayRuleAndNever) {
    // Setup
    const TDateTime lateMay1 = EncodeDateTime(2026, 5, 1, 23, 59, 59, 0);
    const TDateTime earlyMay2 = EncodeDateTime(2026, 5, 2, 0, 0, 1, 0);
    const TDateTime june1 = EncodeDateTime(2026, 6, 1, 23, 59, 59, 0);
    const TDateTime noonMay1 = EncodeDateTime(2026, 5, 1, 12, 0, 0, 0);

    // Exercise / Verification
    EXPECT_TRUE(InlayRestartDue(1, earlyMay2, lateMay1)); // day of month differs
    EXPECT_TRUE(InlayRestartDue(1, june1, lateMay1));     // same day, more than a day apart
    EXPECT_FALSE(InlayRestartDue(1, lateMay1, noonMay1));
    EXPECT_TRUE(InlayRestartDue(1, noonMay1, 0.0));
    EXPECT_FALSE(InlayRestartDue(0, june1, lateMay1));
    EXPECT_FALSE(InlayRestartDue(7, june1, lateMay1));
}

TEST(InlayDuration, FramesFromSecondsAndFrameDuration) {
    // Exercise / Verification
    EXPECT_EQ(InlayDurationFrames(5, 0), 125);
    EXPECT_EQ(InlayDurationFrames(5, 400000), 125);
    EXPECT_EQ(InlayDurationFrames(5, 333667), 145); // 29 frames a second
    EXPECT_EQ(InlayDurationFrames(-2, 0), -50);
    EXPECT_EQ(InlayDurationFrames(5, -400000), 125);
    EXPECT_EQ(InlayDurationFrames(INT32_MAX, 0), INT32_MAX);
    EXPECT_EQ(InlayDurationFrames(INT32_MIN, 1), INT32_MIN);
}

class InlayLinesTest : public ::testing::Test {
protected:
    SuperposerSettings settings;
    const LocaleFormats english = EnglishLocaleFormats();
    const InlayLines previous{"old 1", "old 2"};
};

TEST_F(InlayLinesTest, ClockUsesTheLocalTime) {
    // Setup
    settings.source = 0;
    const TDateTime now = EncodeDateTime(2026, 12, 9, 6, 25, 7, 0);
    // Exercise
    const InlayLines lines = BuildInlayLines(
        settings, inlaytest::DatedRecord(EncodeDate(2001, 1, 1)), now, english, previous);
    // Verification
    EXPECT_EQ(lines, (InlayLines{"09/12/2026", "06:25:07"}));
}

TEST_F(InlayLinesTest, RecordingDatePlusHourOffsetCrossesMidnight) {
    // Setup
    settings.source = 1;
    settings.hourOffset = -1;
    const DvFrameInfo rec = inlaytest::DatedRecord(EncodeDateTime(2026, 5, 2, 0, 30, 0, 0));
    // Exercise
    const InlayLines lines = BuildInlayLines(settings, rec, 0.0, english, previous);
    // Verification
    EXPECT_EQ(lines, (InlayLines{"01/05/2026", "23:30:00"}));
}

TEST_F(InlayLinesTest, UndatedFrameWithNegativeOffsetGoesBackFromTheZeroDay) {
    // Setup
    settings.source = 1;
    settings.hourOffset = -1;
    // Exercise
    const InlayLines lines = BuildInlayLines(settings, DvFrameInfo{}, 0.0, english, previous);
    // Verification: 29 December 1899 23:00, not 30 December 23:00.
    EXPECT_EQ(lines, (InlayLines{"29/12/1899", "23:00:00"}));
}

TEST_F(InlayLinesTest, TimecodeOnTheSecondLineOnly) {
    // Setup
    settings.source = 2;
    DvFrameInfo rec;
    rec.timecode = DvTimecode{1, 2, 3, 4};
    DvFrameInfo never;
    never.timecode = DvTimecode{0xFF, 0xFF, 0xFF, 0xFF};
    // Exercise
    const InlayLines lines = BuildInlayLines(settings, rec, 0.0, english, previous);
    const InlayLines missing = BuildInlayLines(settings, never, 0.0, english, previous);
    // Verification
    EXPECT_EQ(lines, (InlayLines{"", "1:02:03:04"}));
    EXPECT_EQ(missing, InlayLines{});
}

TEST_F(InlayLinesTest, UnknownSourceKeepsThePreviousTextAndBadDatesThrow) {
    // Setup
    SuperposerSettings unknown = settings;
    unknown.source = 3;
    SuperposerSettings recorded = settings;
    recorded.source = 1;
    // Exercise / Verification
    EXPECT_EQ(BuildInlayLines(unknown, DvFrameInfo{}, 0.0, english, previous), previous);
    EXPECT_THROW(BuildInlayLines(recorded, inlaytest::DatedRecord(1e9), 0.0, english, previous),
                 std::out_of_range);
}

TEST(SuperposerSetters, ClampingAndStoredValues) {
    // Setup
    SuperposerCore core([] { return std::int64_t{0}; }, EnglishLocaleFormats());
    const auto before = core.Settings();
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += "\xC3\xA9"; // é, two bytes each

    // Exercise
    core.SetInlayPosition(-5, 1200, 1);
    core.SetInlayAutoMode(2);
    core.SetInlayFontName(longName);
    core.SetInlayFontColor(0xFF0000FFu);
    core.SetInlayItalic(true);
    core.SetInlayBold(false);
    core.SetInlayFormats("yyyy", "nn");

    // Verification
    const auto s = core.Settings();
    EXPECT_EQ(s->posX, 0);
    EXPECT_EQ(s->posY, 1000);
    EXPECT_EQ(s->alignment, 1);
    EXPECT_FALSE(s->autoMode); // only 1 means automatic
    EXPECT_EQ(s->fontName.size(), 255u * 2);
    EXPECT_EQ(s->fontColor, 0x0000FFu);
    EXPECT_TRUE(s->italic);
    EXPECT_FALSE(s->bold);
    EXPECT_FALSE(s->underline);
    EXPECT_EQ(s->dateFormat, "yyyy");
    EXPECT_EQ(s->timeFormat, "nn");
    // A snapshot taken before is never changed under its reader.
    EXPECT_EQ(*before, SuperposerSettings{});
}

TEST(SuperposerSetters, DurationUsesTheSourceFrameDurationAndRearms) {
    // Setup
    std::int64_t frameDuration = 0;
    SuperposerCore core([&] { return frameDuration; }, EnglishLocaleFormats());

    // Exercise / Verification
    core.SetInlayDuration(4);
    EXPECT_EQ(core.Settings()->durationFrames, 100);
    EXPECT_EQ(core.Remaining(), 99);
    frameDuration = 333667;
    core.SetInlayDuration(2);
    EXPECT_EQ(core.Settings()->durationFrames, 58);
    EXPECT_EQ(core.Remaining(), 57);
    core.SetInlayDuration(INT32_MIN);
    EXPECT_EQ(core.Remaining(), INT32_MIN); // saturated, not wrapped
}

} // namespace
} // namespace talvence
