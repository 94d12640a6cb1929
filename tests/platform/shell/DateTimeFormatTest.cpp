#include "platform/shell/DateTimeFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvence {
namespace {

struct Case {
    const char* format;
    const char* expected;
};

// Thursday 7 March 2024, 15:04:05.060.
const TDateTime kAfternoon = EncodeDateTime(2024, 3, 7, 15, 4, 5, 60);

void ExpectAll(const std::vector<Case>& cases, TDateTime value, const LocaleFormats& locale) {
    for (const Case& c : cases) {
        // Exercise
        const std::string text = FormatDateTime(c.format, value, locale);
        // Verification
        EXPECT_EQ(text, c.expected) << "format: " << c.format;
    }
}

TEST(FormatDateTime, DateSpecifiers) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();

    // Exercise / Verification
    ExpectAll({{"d", "7"},
               {"dd", "07"},
               {"ddd", "Thu"},
               {"dddd", "Thursday"},
               {"ddddd", "07/03/2024"},
               {"dddddd", "Thursday 7 March 2024"},
               {"ddddddd", "Thursday 7 March 2024"},
               {"m", "3"},
               {"mm", "03"},
               {"mmm", "Mar"},
               {"mmmm", "March"},
               {"mmmmm", "March"},
               {"y", "24"},
               {"yy", "24"},
               {"yyy", "2024"},
               {"yyyy", "2024"},
               {"DD/MM/YYYY", "07/03/2024"},
               {"DDDD dDdD", "Thursday Thursday"}},
              kAfternoon, english);
}

TEST(FormatDateTime, TimeSpecifiers) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();
    const TDateTime morning = EncodeDateTime(2024, 3, 7, 9, 8, 7, 5);

    // Exercise / Verification
    ExpectAll({{"h", "15"},
               {"hh", "15"},
               {"n", "4"},
               {"nn", "04"},
               {"s", "5"},
               {"ss", "05"},
               {"z", "60"},
               {"zz", "060"},
               {"zzz", "060"},
               {"t", "15:04"},
               {"tt", "15:04:05"},
               {"HH:NN:SS.ZZZ", "15:04:05.060"},
               {"T", "15:04"}},
              kAfternoon, english);
    ExpectAll({{"h", "9"}, {"hh", "09"}, {"n:s.z", "8:7.5"}}, morning, english);
}

TEST(FormatDateTime, TwelveHourClockForms) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();
    const auto at = [](int hour) { return EncodeDateTime(2024, 3, 7, hour, 4, 0, 0); };

    // Exercise / Verification
    ExpectAll({{"h am/pm", "12 am"},
               {"hh AM/PM", "12 AM"},
               {"h a/p", "12 a"},
               {"h A/P", "12 A"},
               {"h ampm", "12 AM"},
               {"Am/pM", "Am"}},
              at(0), english);
    ExpectAll({{"h am/pm", "11 am"}, {"h:nn ampm", "11:04 AM"}}, at(11), english);
    ExpectAll({{"h am/pm", "12 pm"}, {"hh a/p", "12 p"}, {"h ampm", "12 PM"}}, at(12), english);
    ExpectAll({{"h am/pm", "3 pm"},
               {"hh AM/PM", "03 PM"},
               {"Am/pM", "pM"},
               {"h A/p", "3 p"},
               {"h AMPM", "3 PM"},
               {"am/pm hh", "pm 03"},        // the marker may come first
               {"hh \"am/pm\"", "15 am/pm"}, // quoted text is no marker
               {"h a", "15 a"},              // a lone a is text
               {"h 'x' a/px", "3 x px"}},
              at(15), english);
}

TEST(FormatDateTime, MonthAfterAnHourMeansMinutes) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();

    // Exercise / Verification
    ExpectAll({{"h:m", "15:4"},
               {"hh:mm", "15:04"},
               {"hh mm", "15 04"},
               {"hh'h'mm", "15h04"},
               {"HH\" - \"MM", "15 - 04"},
               {"hh:mm:mm", "15:04:03"}, // only the first one follows the hour
               {"hh x mm", "15 x 03"},   // another letter comes between
               {"hh:nn mm", "15:04 03"},
               {"hh:mmm", "15:Mar"},
               {"mm hh", "03 15"}},
              kAfternoon, english);
}

TEST(FormatDateTime, SaveStampUsesMonthThenMinutesAndTheLocaleSeparators) {
    // Setup
    const char* stamp = "yyyy/mm/dd hh:mm:ss am/pm";
    const LocaleFormats english = EnglishLocaleFormats();
    LocaleFormats dotted = english;
    dotted.dateSeparator = "-";
    dotted.timeSeparator = ".";

    // Exercise / Verification
    EXPECT_EQ(FormatDateTime(stamp, kAfternoon, english), "2024/03/07 03:04:05 pm");
    EXPECT_EQ(FormatDateTime(stamp, kAfternoon, dotted), "2024-03-07 03.04.05 pm");
    EXPECT_EQ(FormatDateTime(stamp, EncodeDateTime(2024, 1, 2, 0, 0, 9, 0), english),
              "2024/01/02 12:00:09 am");
}

TEST(FormatDateTime, QuotedAndOtherTextIsCopied) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();

    // Exercise / Verification
    ExpectAll({{"'dd' \"mm\"", "dd mm"},
               {"\"it's\" d", "it's 7"},
               {"'say \"hi\"'", "say \"hi\""},
               {"dd 'hh:nn", "07 hh:nn"},
               {"dd \"", "07 "},
               {"#1 (x) - \xE2\x82\xAC [dd]", "#1 (x) - \xE2\x82\xAC [07]"},
               {"''", ""}},
              kAfternoon, english);
}

TEST(FormatDateTime, NestedLocaleFormatsFollowTheirOwnRules) {
    // Setup
    LocaleFormats locale = EnglishLocaleFormats();
    locale.shortDateFormat = "d/m/yy";
    locale.longDateFormat = "mm/dd";
    locale.dateSeparator = ".";
    locale.shortTimeFormat = "h:mm am/pm";
    locale.longTimeFormat = "hh:nn:ss";

    // Exercise / Verification
    ExpectAll({{"ddddd", "7.3.24"},
               {"t", "3:04 pm"},
               {"hh t", "15 3:04 pm"},            // the marker inside t is t's own
               {"hh am/pm tt", "03 pm 15:04:05"}, // and the outer one stays outside
               {"h dddddd", "15 03.07"},          // a fresh format starts with months
               {"dddd ddddd tt", "Thursday 7.3.24 15:04:05"}},
              kAfternoon, locale);
}

TEST(FormatDateTime, DateAndTimeShortcut) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();
    const TDateTime midnight = EncodeDate(2024, 3, 7);
    const TDateTime halfSecond = EncodeDateTime(2024, 3, 7, 0, 0, 0, 500);

    // Exercise / Verification
    EXPECT_EQ(FormatDateTime("c", kAfternoon, english), "07/03/2024 15:04:05");
    EXPECT_EQ(FormatDateTime("C", midnight, english), "07/03/2024");
    EXPECT_EQ(FormatDateTime("", kAfternoon, english), "07/03/2024 15:04:05");
    EXPECT_EQ(FormatDateTime("", midnight, english), "07/03/2024");
    EXPECT_EQ(FormatDateTime("cc", halfSecond, english), "07/03/2024 00:00:00");
}

TEST(FormatDateTime, SelfReferringLocaleFormatsStop) {
    // Setup
    LocaleFormats looping = EnglishLocaleFormats();
    looping.shortDateFormat = "dd ddddd";
    looping.longDateFormat = "dddddd";
    looping.shortTimeFormat = "c";
    looping.longTimeFormat = "tt";

    // Exercise / Verification
    ExpectAll({{"ddddd", "07 "}, {"dddddd", ""}, {"t", ""}, {"[tt]", "[]"}, {"c", "07  "}},
              kAfternoon, looping);
}

TEST(FormatDateTime, DatesBeforeEighteenNinetyNineAndRangeEnds) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();

    // Exercise / Verification
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn dddd", -1.25, english), "1899-12-29 06:00 Friday");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.75, english), "1899-12-29 18:00");
    EXPECT_EQ(FormatDateTime("yyyy yy ddd", EncodeDate(1, 1, 1), english), "0001 01 Mon");
    EXPECT_EQ(FormatDateTime("c", EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), english),
              "31/12/9999 23:59:59");
    EXPECT_THROW(FormatDateTime("c", std::nan(""), english), std::out_of_range);
    EXPECT_THROW(FormatDateTime("c", 1e9, english), std::out_of_range);
}

TEST(FormatDateTime, LongOutputIsCutAtAWholePiece) {
    // Setup
    const LocaleFormats english = EnglishLocaleFormats();
    std::string longDates;
    std::string euros;
    for (int i = 0; i < 1000; ++i)
        longDates += "dddddd|";
    for (int i = 0; i < 3000; ++i)
        euros += "\xE2\x82\xAC";

    // Exercise
    const std::string dates = FormatDateTime(longDates, kAfternoon, english);
    const std::string cutEuros = FormatDateTime(euros, kAfternoon, english);

    // Verification
    EXPECT_LE(dates.size(), kMaxFormattedLength);
    EXPECT_GT(dates.size(), kMaxFormattedLength - 32);
    const std::string oneDate = "Thursday 7 March 2024|";
    std::string expectedPrefix;
    while (expectedPrefix.size() < dates.size())
        expectedPrefix += oneDate;
    EXPECT_EQ(dates, expectedPrefix.substr(0, dates.size()));
    EXPECT_EQ(cutEuros.size(), kMaxFormattedLength / 3 * 3);
    EXPECT_EQ(cutEuros, euros.substr(0, cutEuros.size()));
}

} // namespace
} // namespace talvence
