#include "platform/shell/DateTimeFormat.h"

#include <charconv>
#include <stdexcept>

namespace talvence {
namespace {

enum class TokenKind {
    Literal,
    Quoted,
    Day,
    Month,
    Year,
    Hour,
    Minute,
    Second,
    Millisecond,
    Time,
    DateAndTime,
    AmPmText,   // am/pm
    AmPmLetter, // a/p
    AmPmLocale, // ampm
    DateSeparator,
    TimeSeparator,
};

struct Token {
    TokenKind kind = TokenKind::Literal;
    std::size_t length = 1; // bytes of the format consumed
    int count = 0;          // letters in a specifier run
    bool isLetter = false;  // takes part in the minutes-after-hour rule
    std::string_view text;  // literal text, or the am/pm specifier as written
};

char ToLowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAsciiLetter(char c) {
    const char lc = ToLowerAscii(c);
    return lc >= 'a' && lc <= 'z';
}

bool MatchesAt(std::string_view format, std::size_t pos, std::string_view word) {
    if (format.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (ToLowerAscii(format[pos + i]) != word[i]) return false;
    return true;
}

Token NextToken(std::string_view format, std::size_t pos) {
    const char c = format[pos];
    const char lc = ToLowerAscii(c);
    Token token;

    if (c == '"' || c == '\'') {
        token.kind = TokenKind::Quoted;
        const std::size_t close = format.find(c, pos + 1);
        if (close == std::string_view::npos) {
            token.length = format.size() - pos;
            token.text = format.substr(pos + 1);
        } else {
            token.length = close - pos + 1;
            token.text = format.substr(pos + 1, close - pos - 1);
        }
        return token;
    }
    if (c == '/') {
        token.kind = TokenKind::DateSeparator;
        return token;
    }
    if (c == ':') {
        token.kind = TokenKind::TimeSeparator;
        return token;
    }
    if (lc == 'a') {
        token.isLetter = true;
        if (MatchesAt(format, pos, "am/pm")) {
            token.kind = TokenKind::AmPmText;
            token.length = 5;
        } else if (MatchesAt(format, pos, "a/p")) {
            token.kind = TokenKind::AmPmLetter;
            token.length = 3;
        } else if (MatchesAt(format, pos, "ampm")) {
            token.kind = TokenKind::AmPmLocale;
            token.length = 4;
        }
        token.text = format.substr(pos, token.length);
        return token;
    }

    TokenKind kind = TokenKind::Literal;
    switch (lc) {
    case 'd':
        kind = TokenKind::Day;
        break;
    case 'm':
        kind = TokenKind::Month;
        break;
    case 'y':
        kind = TokenKind::Year;
        break;
    case 'h':
        kind = TokenKind::Hour;
        break;
    case 'n':
        kind = TokenKind::Minute;
        break;
    case 's':
        kind = TokenKind::Second;
        break;
    case 'z':
        kind = TokenKind::Millisecond;
        break;
    case 't':
        kind = TokenKind::Time;
        break;
    case 'c':
        kind = TokenKind::DateAndTime;
        break;
    default:
        break;
    }
    if (kind != TokenKind::Literal) {
        std::size_t end = pos + 1;
        while (end < format.size() && ToLowerAscii(format[end]) == lc)
            ++end;
        token.kind = kind;
        token.length = end - pos;
        token.count = static_cast<int>(token.length);
        token.isLetter = true;
        return token;
    }

    // A multi-byte UTF-8 character is copied whole, so cutting long output never splits it.
    std::size_t length = 1;
    if (static_cast<unsigned char>(c) >= 0x80) {
        while (length < 4 && pos + length < format.size() &&
               (static_cast<unsigned char>(format[pos + length]) & 0xC0) == 0x80)
            ++length;
    }
    token.length = length;
    token.isLetter = IsAsciiLetter(c);
    token.text = format.substr(pos, length);
    return token;
}

bool UsesTwelveHourClock(std::string_view format) {
    for (std::size_t pos = 0; pos < format.size();) {
        const Token token = NextToken(format, pos);
        if (token.kind == TokenKind::AmPmText || token.kind == TokenKind::AmPmLetter ||
            token.kind == TokenKind::AmPmLocale)
            return true;
        pos += token.length;
    }
    return false;
}

// The top-level format may expand the locale's formats; what those name in turn gives nothing.
constexpr int kMaxNesting = 1;

class Formatter {
public:
    Formatter(const DateTimeFields& fields, const LocaleFormats& locale)
        : fields_(fields), locale_(locale) {}

    void Append(std::string_view format, int depth);
    std::string Take() { return std::move(out_); }

private:
    void Put(std::string_view piece);
    void PutNumber(int value, int minDigits);
    void AppendNested(std::string_view format, int depth) {
        if (depth < kMaxNesting) Append(format, depth + 1);
    }

    const DateTimeFields& fields_;
    const LocaleFormats& locale_;
    std::string out_;
    bool full_ = false;
};

void Formatter::Put(std::string_view piece) {
    if (full_) return;
    if (out_.size() + piece.size() > kMaxFormattedLength) {
        full_ = true;
        return;
    }
    out_.append(piece);
}

void Formatter::PutNumber(int value, int minDigits) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<int>(result.ptr - digits);
    if (length < minDigits) Put(std::string(static_cast<std::size_t>(minDigits - length), '0'));
    Put(std::string_view(digits, static_cast<std::size_t>(length)));
}

void Formatter::Append(std::string_view format, int depth) {
    const bool twelveHour = UsesTwelveHourClock(format);
    bool afterHour = false;
    for (std::size_t pos = 0; pos < format.size() && !full_;) {
        const Token token = NextToken(format, pos);
        pos += token.length;
        const bool follows = afterHour;
        if (token.isLetter) afterHour = token.kind == TokenKind::Hour;

        switch (token.kind) {
        case TokenKind::Literal:
        case TokenKind::Quoted:
            Put(token.text);
            break;
        case TokenKind::Day:
            switch (token.count) {
            case 1:
                PutNumber(fields_.day, 1);
                break;
            case 2:
                PutNumber(fields_.day, 2);
                break;
            case 3:
                Put(locale_.shortDayNames[fields_.dayOfWeek - 1]);
                break;
            case 4:
                Put(locale_.longDayNames[fields_.dayOfWeek - 1]);
                break;
            case 5:
                AppendNested(locale_.shortDateFormat, depth);
                break;
            default:
                AppendNested(locale_.longDateFormat, depth);
                break;
            }
            break;
        case TokenKind::Month:
            if (token.count <= 2 && follows) {
                PutNumber(fields_.minute, token.count);
            } else if (token.count <= 2) {
                PutNumber(fields_.month, token.count);
            } else if (token.count == 3) {
                Put(locale_.shortMonthNames[fields_.month - 1]);
            } else {
                Put(locale_.longMonthNames[fields_.month - 1]);
            }
            break;
        case TokenKind::Year:
            if (token.count <= 2)
                PutNumber(fields_.year % 100, 2);
            else
                PutNumber(fields_.year, 4);
            break;
        case TokenKind::Hour: {
            int hour = fields_.hour;
            if (twelveHour) {
                hour %= 12;
                if (hour == 0) hour = 12;
            }
            PutNumber(hour, token.count == 1 ? 1 : 2);
            break;
        }
        case TokenKind::Minute:
            PutNumber(fields_.minute, token.count == 1 ? 1 : 2);
            break;
        case TokenKind::Second:
            PutNumber(fields_.second, token.count == 1 ? 1 : 2);
            break;
        case TokenKind::Millisecond:
            PutNumber(fields_.millisecond, token.count == 1 ? 1 : 3);
            break;
        case TokenKind::Time:
            AppendNested(token.count == 1 ? locale_.shortTimeFormat : locale_.longTimeFormat,
                         depth);
            break;
        case TokenKind::DateAndTime:
            if (depth >= kMaxNesting) break;
            AppendNested(locale_.shortDateFormat, depth);
            if (fields_.hour != 0 || fields_.minute != 0 || fields_.second != 0 ||
                fields_.millisecond != 0) {
                Put(" ");
                AppendNested(locale_.longTimeFormat, depth);
            }
            break;
        case TokenKind::AmPmText:
            Put(fields_.hour >= 12 ? token.text.substr(3, 2) : token.text.substr(0, 2));
            break;
        case TokenKind::AmPmLetter:
            Put(fields_.hour >= 12 ? token.text.substr(2, 1) : token.text.substr(0, 1));
            break;
        case TokenKind::AmPmLocale:
            Put(fields_.hour >= 12 ? locale_.pmText : locale_.amText);
            break;
        case TokenKind::DateSeparator:
            Put(locale_.dateSeparator);
            break;
        case TokenKind::TimeSeparator:
            Put(locale_.timeSeparator);
            break;
        }
    }
}

} // namespace

LocaleFormats EnglishLocaleFormats() {
    LocaleFormats l;
    l.shortDateFormat = "dd/mm/yyyy";
    l.longDateFormat = "dddd d mmmm yyyy";
    l.shortTimeFormat = "hh:nn";
    l.longTimeFormat = "hh:nn:ss";
    l.dateSeparator = "/";
    l.timeSeparator = ":";
    l.shortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    l.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
    l.shortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    l.longDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    l.amText = "AM";
    l.pmText = "PM";
    return l;
}

std::string FormatDateTime(std::string_view format, TDateTime value, const LocaleFormats& locale) {
    DateTimeFields fields;
    if (!DecodeDateTime(value, fields))
        throw std::out_of_range("date-time value outside the years 1 to 9999");
    Formatter formatter(fields, locale);
    formatter.Append(format.empty() ? std::string_view("c") : format, 0);
    return formatter.Take();
}

} // namespace talvence
