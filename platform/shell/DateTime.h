#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>

namespace talvence {

// A local date and time as days since 30 December 1899 00:00, the time of day being the
// fraction. Dates before that day are negative and their fraction still counts forward from
// midnight: -1.25 is 29 December 1899 06:00 (the OLE automation date). Plain arithmetic on
// such values is therefore only right for dates from 30 December 1899 on; IncHour is not.
using TDateTime = double;

// Valid ranges: years 1 to 9999.
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr std::int64_t kMsPerDay = 86400000;

// Whole milliseconds from `from` to `to`, negative when `to` is earlier. Date-time values compared
// in milliseconds rather than in fractions of a day keep a step of exactly 2 s from reading as
// more than 2 s through rounding.
inline std::int64_t MillisecondsBetween(TDateTime from, TDateTime to) {
    return std::llround((to - from) * static_cast<double>(kMsPerDay));
}

struct DateTimeFields {
    int year = 0;
    int month = 0;       // 1..12
    int day = 0;         // 1..31
    int hour = 0;        // 0..23
    int minute = 0;      // 0..59
    int second = 0;      // 0..59
    int millisecond = 0; // 0..999
    int dayOfWeek = 0;   // 1 = Sunday .. 7 = Saturday
};

bool IsLeapYear(int year);
// 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// The Try forms return false, leaving result untouched, for fields outside their ranges.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& result);
// These throw std::invalid_argument for fields outside their ranges.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);

// Joins a whole-day value and a time-of-day value (0 <= time < 1) the way the encoding
// requires: added for dates from 30 December 1899 on, subtracted before.
TDateTime CombineDateTime(TDateTime date, TDateTime time);

// Decoding rounds to the nearest millisecond (0.5 is 12:00:00.000, not 11:59:59.999); a time
// that rounds up to midnight belongs to the next day. They return false, with zeroed fields,
// for values that are not finite or lie outside the years 1 to 9999.
bool DecodeDateTime(TDateTime value, DateTimeFields& fields);
bool DecodeDate(TDateTime value, int& year, int& month, int& day);
bool DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// 1 = Sunday .. 7 = Saturday; 0 for a value that does not decode.
int DayOfWeek(TDateTime value);

// Moves a value by whole hours on the real time line, so that crossing 30 December 1899
// gives the right day. A value that does not decode comes back moved by hours / 24.
TDateTime IncHour(TDateTime value, std::int64_t hours);

// The local date and time of a system-clock instant (leap seconds fold into second 59).
TDateTime FromSystemClock(std::chrono::system_clock::time_point instant);
TDateTime NowLocal();

} // namespace talvence
