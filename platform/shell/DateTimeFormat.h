#pragma once

#include "platform/shell/DateTime.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace talvence {

// The user's regional settings as the format language needs them. The four formats are
// written in the format language itself; all texts are UTF-8.
struct LocaleFormats {
    std::string shortDateFormat;
    std::string longDateFormat;
    std::string shortTimeFormat;
    std::string longTimeFormat;
    std::string dateSeparator;
    std::string timeSeparator;
    std::array<std::string, 12> shortMonthNames; // January first
    std::array<std::string, 12> longMonthNames;
    std::array<std::string, 7> shortDayNames; // Sunday first
    std::array<std::string, 7> longDayNames;
    std::string amText;
    std::string pmText;
};

// Fixed English settings ("dd/mm/yyyy", "dddd d mmmm yyyy", "hh:nn", "hh:nn:ss", "/", ":",
// "AM"/"PM"), for defaults and tests.
LocaleFormats EnglishLocaleFormats();

// Longest text FormatDateTime produces; output that would go beyond it is cut at the end of
// the last whole piece (field, name or literal character) that fits.
constexpr std::size_t kMaxFormattedLength = 8192;

// Formats a date-time value. Specifiers (letters in either case):
//   d dd        day of the month without / with a leading zero
//   ddd dddd    short / long weekday name
//   ddddd       the locale's short date format; dddddd (or more d) its long date format
//   m mm        month without / with a leading zero; minutes instead when the last letter
//               before them (quoted text and other non-letters skipped) belongs to h or hh
//   mmm mmmm    short / long month name (mmmm or more m)
//   yy yyyy     two-digit / four-digit year (one or two y / three or more y)
//   h hh        hour without / with a leading zero; 12-hour clock, with 0 shown as 12, when
//               the same format text holds am/pm, a/p or ampm anywhere outside quotes
//   n nn  s ss  minutes, seconds without / with a leading zero
//   z zzz       milliseconds without leading zeros / as three digits (zz or more)
//   t tt        the locale's short / long time format
//   am/pm a/p   "am"/"pm" or "a"/"p", letter case as written in the specifier
//   ampm        the locale's am / pm text
//   c           short date format, then, unless the time is midnight, a space and the long
//               time format
//   /  :        the locale's date / time separator
//   "…" '…'     text copied unchanged (to the end when the quote is not closed)
// Any other character is copied. An empty format means "c". The locale formats are expanded
// by the same rules, each with its own 12-hour setting; specifiers inside them that would
// expand a locale format again give nothing, so a locale format naming itself cannot loop.
// Throws std::out_of_range for a value that does not decode (not finite, or outside the
// years 1 to 9999).
std::string FormatDateTime(std::string_view format, TDateTime value, const LocaleFormats& locale);

} // namespace talvence
