#include "platform/shell/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

namespace talvence {
namespace {

DateTimeFields Decoded(TDateTime value) {
    DateTimeFields fields;
    EXPECT_TRUE(DecodeDateTime(value, fields)) << value;
    return fields;
}

TEST(DateTime, EncodesKnownDaysIncludingTheEndsOfTheRange) {
    // Setup / Exercise / Verification
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2024, 3, 7), 45358.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
}

TEST(DateTime, RefusesInvalidDatesAndTimes) {
    // Setup
    TDateTime untouched = 42.0;

    // Exercise / Verification
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, untouched));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, untouched));
    untouched = 42.0;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, untouched));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, untouched));
    EXPECT_FALSE(TryEncodeDate(2024, 4, 31, untouched));
    EXPECT_FALSE(TryEncodeDate(2024, 0, 1, untouched));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, untouched));
    EXPECT_FALSE(TryEncodeDate(2024, 1, 0, untouched));
    EXPECT_FALSE(TryEncodeDate(2024, 1, 32, untouched));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, untouched));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, untouched));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, untouched));
    EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, untouched));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, untouched));
    EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, untouched));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, untouched));
    EXPECT_FALSE(TryEncodeDateTime(2024, 2, 30, 12, 0, 0, 0, untouched));
    EXPECT_EQ(untouched, 42.0);
    EXPECT_THROW(EncodeDate(2023, 2, 29), std::invalid_argument);
    EXPECT_THROW(EncodeTime(23, 59, 59, 1000), std::invalid_argument);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 24, 0, 0, 0), std::invalid_argument);
}

TEST(DateTime, ConsecutiveDayNumbersAreConsecutiveCalendarDays) {
    // Setup: walk four centuries across 1899, through 1900 and 2000.
    const TDateTime first = EncodeDate(1700, 1, 1);
    const TDateTime last = EncodeDate(2100, 12, 31);
    int year = 1699, month = 12, day = 31, weekday = 0;

    for (TDateTime serial = first; serial <= last; serial += 1.0) {
        // Exercise
        const DateTimeFields f = Decoded(serial);

        // Verification: the day after the previous one, re-encoding to the same number.
        ++day;
        if (day > DaysInMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
        ASSERT_EQ(f.year, year) << serial;
        ASSERT_EQ(f.month, month) << serial;
        ASSERT_EQ(f.day, day) << serial;
        ASSERT_EQ(EncodeDate(f.year, f.month, f.day), serial);
        if (weekday != 0) {
            ASSERT_EQ(f.dayOfWeek, weekday % 7 + 1) << serial;
        }
        weekday = f.dayOfWeek;
    }
}

TEST(DateTime, DaysOfTheWeekStartOnSunday) {
    // Setup / Exercise / Verification
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7); // Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 31)), 1); // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 7)), 5);   // Thursday
    EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);      // Monday
    EXPECT_EQ(DayOfWeek(-1.25), 6);                    // Friday 29 December 1899
    EXPECT_EQ(DayOfWeek(std::nan("")), 0);
}

TEST(DateTime, TimeBeforeEighteenNinetyNineCountsForwardFromMidnight) {
    // Setup
    const TDateTime value = -1.25;

    // Exercise
    const DateTimeFields f = Decoded(value);

    // Verification
    EXPECT_EQ(f.year, 1899);
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 29);
    EXPECT_EQ(f.hour, 6);
    EXPECT_EQ(f.minute, 0);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 18, 0, 0, 0), -1.75);
    EXPECT_EQ(EncodeDateTime(1899, 12, 30, 6, 0, 0, 0), 0.25);
}

TEST(DateTime, DecodingRoundsToTheMillisecondAndCarriesMidnight) {
    // Setup / Exercise / Verification
    DateTimeFields noon = Decoded(0.5);
    EXPECT_EQ(noon.hour, 12);
    EXPECT_EQ(noon.minute, 0);
    EXPECT_EQ(noon.second, 0);
    EXPECT_EQ(noon.millisecond, 0);

    int h = 0, n = 0, s = 0, ms = 0;
    EXPECT_TRUE(DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms));
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
    EXPECT_TRUE(DecodeTime(EncodeDateTime(2024, 3, 7, 15, 4, 5, 60), h, n, s, ms));
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 150405060);

    const DateTimeFields carried = Decoded(EncodeDate(2024, 2, 29) + 0.99999999999);
    EXPECT_EQ(carried.month, 3);
    EXPECT_EQ(carried.day, 1);
    EXPECT_EQ(carried.hour, 0);
    EXPECT_EQ(carried.millisecond, 0);

    const DateTimeFields carriedBefore = Decoded(-1.99999999999);
    EXPECT_EQ(carriedBefore.day, 30);
    EXPECT_EQ(carriedBefore.hour, 0);
}

TEST(DateTime, ValuesOutsideTheCalendarDoNotDecode) {
    // Setup
    int y = 1, m = 1, d = 1;

    // Exercise / Verification
    EXPECT_FALSE(DecodeDate(std::nan(""), y, m, d));
    EXPECT_EQ(y, 0);
    EXPECT_FALSE(DecodeDate(std::numeric_limits<double>::infinity(), y, m, d));
    EXPECT_FALSE(DecodeDate(1e300, y, m, d));
    EXPECT_FALSE(DecodeDate(EncodeDate(9999, 12, 31) + 1.0, y, m, d));
    EXPECT_FALSE(DecodeDate(EncodeDate(1, 1, 1) - 1.0, y, m, d));
    EXPECT_TRUE(DecodeDate(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), y, m, d));
}

TEST(DateTime, IncHourCrossesEighteenNinetyNine) {
    // Setup
    const TDateTime twoAm = EncodeDateTime(1899, 12, 30, 2, 0, 0, 0);

    // Exercise
    const TDateTime back = IncHour(twoAm, -3);
    const TDateTime forward = IncHour(-1.25, 24);
    const TDateTime offsetDay = IncHour(EncodeDateTime(2024, 5, 2, 0, 30, 0, 0), -1);

    // Verification
    EXPECT_DOUBLE_EQ(back, EncodeDateTime(1899, 12, 29, 23, 0, 0, 0));
    EXPECT_DOUBLE_EQ(forward, 0.25);
    EXPECT_DOUBLE_EQ(offsetDay, EncodeDateTime(2024, 5, 1, 23, 30, 0, 0));
}

// Local time comes from the TZ variable; POSIX zone strings need no zone database.
class SystemClockTest : public ::testing::Test {
protected:
    void SetZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
    }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(SystemClockTest, ConvertsInstantsToLocalDateAndTime) {
    // Setup
    using namespace std::chrono;
    const system_clock::time_point epoch{};
    const auto later = epoch + days(1) + hours(1) + minutes(1) + milliseconds(1500);
    const auto beforeEpoch = epoch - milliseconds(500);

    // Exercise
    SetZone("UTC0");
    const TDateTime utcEpoch = FromSystemClock(epoch);
    const TDateTime utcLater = FromSystemClock(later);
    const TDateTime utcBefore = FromSystemClock(beforeEpoch);
    SetZone("XST-2");
    const TDateTime aheadEpoch = FromSystemClock(epoch);

    // Verification
    EXPECT_EQ(utcEpoch, 25569.0);
    EXPECT_DOUBLE_EQ(utcLater, EncodeDateTime(1970, 1, 2, 1, 1, 1, 500));
    EXPECT_DOUBLE_EQ(utcBefore, EncodeDateTime(1969, 12, 31, 23, 59, 59, 500));
    EXPECT_DOUBLE_EQ(aheadEpoch, EncodeDateTime(1970, 1, 1, 2, 0, 0, 0));
}

} // namespace
} // namespace talvence
