#include "platform/shell/DateTime.h"

#include <cmath>
#include <ctime>
#include <stdexcept>

namespace talvence {
namespace {

// Day numbers relative to 1970-01-01 from a proleptic Gregorian date and back (H. Hinnant's
// civil calendar algorithms); both work for any year, before 1970 included.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// 30 December 1899 counted from 1970-01-01.
constexpr std::int64_t kEpochOffsetDays = -25569;
// Serial days of 1 January 0001 and 31 December 9999.
constexpr std::int64_t kMinSerialDay = -693593;
constexpr std::int64_t kMaxSerialDay = 2958465;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Splits a value into its serial day and the milliseconds into that day, rounding to the
// millisecond and carrying a rounded-up midnight into the next day.
bool SplitValue(TDateTime value, std::int64_t& serialDay, std::int64_t& msOfDay) {
    if (!std::isfinite(value)) return false;
    // Reject far-out values before converting them to integers.
    if (value < static_cast<double>(kMinSerialDay - 1) ||
        value > static_cast<double>(kMaxSerialDay + 1))
        return false;
    const double whole = std::trunc(value);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t ms = std::llround(std::fabs(value - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day; // the next calendar day has the next serial number on both sides of day 0
    }
    if (day < kMinSerialDay || day > kMaxSerialDay) return false;
    serialDay = day;
    msOfDay = ms;
    return true;
}

TDateTime JoinValue(std::int64_t serialDay, std::int64_t msOfDay) {
    return CombineDateTime(static_cast<double>(serialDay),
                           static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay));
}

} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    result = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffsetDays);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999)
        return false;
    const std::int64_t ms =
        ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    result = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& result) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date) ||
        !TryEncodeTime(hour, minute, second, millisecond, time))
        return false;
    result = CombineDateTime(date, time);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result)) throw std::invalid_argument("invalid date");
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, result))
        throw std::invalid_argument("invalid time");
    return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    TDateTime result = 0;
    if (!TryEncodeDateTime(year, month, day, hour, minute, second, millisecond, result))
        throw std::invalid_argument("invalid date or time");
    return result;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

bool DecodeDateTime(TDateTime value, DateTimeFields& fields) {
    fields = DateTimeFields{};
    std::int64_t serialDay = 0;
    std::int64_t ms = 0;
    if (!SplitValue(value, serialDay, ms)) return false;
    CivilFromDays(serialDay + kEpochOffsetDays, fields.year, fields.month, fields.day);
    fields.hour = static_cast<int>(ms / 3600000);
    fields.minute = static_cast<int>(ms / 60000 % 60);
    fields.second = static_cast<int>(ms / 1000 % 60);
    fields.millisecond = static_cast<int>(ms % 1000);
    // Day 0 was a Saturday.
    fields.dayOfWeek = static_cast<int>((serialDay + 6) - FloorDiv(serialDay + 6, 7) * 7) + 1;
    return true;
}

bool DecodeDate(TDateTime value, int& year, int& month, int& day) {
    DateTimeFields f;
    const bool ok = DecodeDateTime(value, f);
    year = f.year;
    month = f.month;
    day = f.day;
    return ok;
}

bool DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    DateTimeFields f;
    const bool ok = DecodeDateTime(value, f);
    hour = f.hour;
    minute = f.minute;
    second = f.second;
    millisecond = f.millisecond;
    return ok;
}

int DayOfWeek(TDateTime value) {
    DateTimeFields f;
    DecodeDateTime(value, f);
    return f.dayOfWeek;
}

TDateTime IncHour(TDateTime value, std::int64_t hours) {
    std::int64_t serialDay = 0;
    std::int64_t ms = 0;
    if (!SplitValue(value, serialDay, ms)) return value + static_cast<double>(hours) / 24.0;
    const std::int64_t linear = serialDay * kMsPerDay + ms + hours * 3600000;
    const std::int64_t day = FloorDiv(linear, kMsPerDay);
    return JoinValue(day, linear - day * kMsPerDay);
}

TDateTime FromSystemClock(std::chrono::system_clock::time_point instant) {
    using namespace std::chrono;
    // floor, not duration_cast: instants before 1970 must not round toward the epoch.
    const auto wholeSeconds = floor<seconds>(instant);
    const auto ms = duration_cast<milliseconds>(instant - wholeSeconds).count();
    const std::time_t t = system_clock::to_time_t(wholeSeconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        throw std::runtime_error("local time conversion failed");
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date))
        throw std::out_of_range("date outside the years 1 to 9999");
    TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                  static_cast<int>(ms), time);
    return CombineDateTime(date, time);
}

TDateTime NowLocal() {
    return FromSystemClock(std::chrono::system_clock::now());
}

} // namespace talvence
