#include "platform/shell/LocaleProvider.h"

#include <optional>
#include <vector>

namespace talvence {
namespace {

enum class PieceKind { Literal, DateNumber, DateName, TimeNumber, AmPm, Zone };
enum class LetterCase { AsIs, Upper, Lower };

struct Piece {
    PieceKind kind = PieceKind::Literal;
    QString text; // literal text as printed, or the specifier in the format language
    LetterCase amPmCase = LetterCase::AsIs;
};

int RunLength(const QString& pattern, qsizetype pos) {
    qsizetype end = pos + 1;
    while (end < pattern.size() && pattern[end] == pattern[pos])
        ++end;
    return static_cast<int>(end - pos);
}

void AddLiteral(std::vector<Piece>& pieces, const QString& text) {
    if (text.isEmpty()) return;
    if (!pieces.empty() && pieces.back().kind == PieceKind::Literal)
        pieces.back().text += text;
    else
        pieces.push_back({PieceKind::Literal, text});
}

// The time zone has no place in the format language: it goes, with one space beside it.
std::vector<Piece> DropZones(std::vector<Piece> pieces) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].kind != PieceKind::Zone) continue;
        if (i > 0 && pieces[i - 1].kind == PieceKind::Literal && pieces[i - 1].text.endsWith(u' '))
            pieces[i - 1].text.chop(1);
        else if (i + 1 < pieces.size() && pieces[i + 1].kind == PieceKind::Literal &&
                 pieces[i + 1].text.startsWith(u' '))
            pieces[i + 1].text.remove(0, 1);
    }
    std::vector<Piece> kept;
    for (Piece& piece : pieces) {
        if (piece.kind == PieceKind::Zone) continue;
        if (piece.kind == PieceKind::Literal)
            AddLiteral(kept, piece.text);
        else
            kept.push_back(std::move(piece));
    }
    return kept;
}

// Splits a Qt pattern into fields (already in the format language) and literal text, as Qt
// reads it: letters repeat up to their longest form, '' is a quote, '…' is copied.
std::vector<Piece> ParseQtPattern(const QString& pattern) {
    std::vector<Piece> pieces;
    qsizetype pos = 0;
    while (pos < pattern.size()) {
        const QChar c = pattern[pos];
        if (c == u'\'') {
            if (pos + 1 < pattern.size() && pattern[pos + 1] == u'\'') {
                AddLiteral(pieces, QStringLiteral("'"));
                pos += 2;
                continue;
            }
            QString text;
            ++pos;
            while (pos < pattern.size()) {
                if (pattern[pos] == u'\'') {
                    if (pos + 1 < pattern.size() && pattern[pos + 1] == u'\'') {
                        text += u'\'';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                text += pattern[pos++];
            }
            AddLiteral(pieces, text);
            continue;
        }

        const int run = RunLength(pattern, pos);
        int used = 1;
        std::optional<Piece> field;
        switch (c.unicode()) {
        case u'd':
            used = qMin(run, 4);
            field =
                Piece{used <= 2 ? PieceKind::DateNumber : PieceKind::DateName, QString(used, u'd')};
            break;
        case u'M':
            used = qMin(run, 4);
            field =
                Piece{used <= 2 ? PieceKind::DateNumber : PieceKind::DateName, QString(used, u'm')};
            break;
        case u'y':
            // Qt knows only yy and yyyy; a lone y is text.
            used = run >= 4 ? 4 : run >= 2 ? 2 : 1;
            if (used > 1) field = Piece{PieceKind::DateNumber, QString(used, u'y')};
            break;
        case u'h':
        case u'H':
            used = qMin(run, 2);
            field = Piece{PieceKind::TimeNumber, QString(used, u'h')};
            break;
        case u'm':
            used = qMin(run, 2);
            field = Piece{PieceKind::TimeNumber, QString(used, u'n')};
            break;
        case u's':
            used = qMin(run, 2);
            field = Piece{PieceKind::TimeNumber, QString(used, u's')};
            break;
        case u'z':
            used = run >= 3 ? 3 : 1;
            field = Piece{PieceKind::TimeNumber, QStringLiteral("zzz")};
            break;
        case u'A':
        case u'a': {
            const bool twoLetters =
                pos + 1 < pattern.size() && (pattern[pos + 1] == u'P' || pattern[pos + 1] == u'p');
            used = twoLetters ? 2 : 1;
            LetterCase letterCase = c == u'A' ? LetterCase::Upper : LetterCase::Lower;
            if (twoLetters && (pattern[pos + 1] == u'P') != (c == u'A'))
                letterCase = LetterCase::AsIs;
            field = Piece{PieceKind::AmPm, QStringLiteral("ampm"), letterCase};
            break;
        }
        case u't':
            used = run;
            field = Piece{PieceKind::Zone, QString()};
            break;
        default:
            break;
        }
        if (field)
            pieces.push_back(*field);
        else
            AddLiteral(pieces, QString(c));
        pos += used;
    }
    return DropZones(std::move(pieces));
}

bool IsNumberField(const Piece& piece, bool date) {
    return piece.kind == (date ? PieceKind::DateNumber : PieceKind::TimeNumber);
}

// The literal text between the first two numeric fields, when it can serve as a separator.
QString SeparatorOf(const std::vector<Piece>& pieces, bool date, const QString& fallback) {
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        if (pieces[i].kind != PieceKind::Literal || !IsNumberField(pieces[i - 1], date) ||
            !IsNumberField(pieces[i + 1], date))
            continue;
        const QString& text = pieces[i].text;
        for (const QChar ch : text)
            if (ch.isLetterOrNumber()) return fallback;
        return text;
    }
    return fallback;
}

// Literal text in the format language: copied as it is unless it holds characters the
// language would read as specifiers or separators, then quoted.
QString QuoteLiteral(const QString& text) {
    bool needsQuotes = false;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'"' || u == u'\'' ||
            u == u'/' || u == u':')
            needsQuotes = true;
    }
    if (!needsQuotes) return text;
    QString quoted;
    QString segment;
    const auto flush = [&] {
        if (!segment.isEmpty()) quoted += u'"' + segment + u'"';
        segment.clear();
    };
    for (const QChar ch : text) {
        if (ch == u'"') {
            flush();
            quoted += QStringLiteral("'\"'");
        } else {
            segment += ch;
        }
    }
    flush();
    return quoted;
}

std::string Render(const std::vector<Piece>& pieces, const QString& dateSeparator,
                   const QString& timeSeparator, bool timePattern) {
    QString out;
    for (const Piece& piece : pieces) {
        if (piece.kind != PieceKind::Literal) {
            out += piece.text;
            continue;
        }
        // Either separator prints the same text, so the choice only follows the pattern kind.
        const bool isDate = piece.text == dateSeparator;
        const bool isTime = piece.text == timeSeparator;
        if (isTime && (timePattern || !isDate))
            out += u':';
        else if (isDate)
            out += u'/';
        else
            out += QuoteLiteral(piece.text);
    }
    return out.toStdString();
}

std::optional<LetterCase> AmPmCaseOf(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces)
        if (piece.kind == PieceKind::AmPm) return piece.amPmCase;
    return std::nullopt;
}

QString WithCase(const QString& text, LetterCase letterCase) {
    switch (letterCase) {
    case LetterCase::Upper:
        return text.toUpper();
    case LetterCase::Lower:
        return text.toLower();
    case LetterCase::AsIs:
        break;
    }
    return text;
}

template <std::size_t N>
void CopyNames(const QStringList& names, std::array<std::string, N>& target) {
    if (static_cast<std::size_t>(names.size()) != N) return;
    for (std::size_t i = 0; i < N; ++i)
        target[i] = names[static_cast<qsizetype>(i)].toStdString();
}

void SetFormat(std::string& target, std::string converted) {
    if (!converted.empty()) target = std::move(converted);
}

} // namespace

QtLocaleFacts QtLocaleFactsOf(const QLocale& locale) {
    QtLocaleFacts facts;
    facts.shortDatePattern = locale.dateFormat(QLocale::ShortFormat);
    facts.longDatePattern = locale.dateFormat(QLocale::LongFormat);
    facts.shortTimePattern = locale.timeFormat(QLocale::ShortFormat);
    facts.longTimePattern = locale.timeFormat(QLocale::LongFormat);
    for (int month = 1; month <= 12; ++month) {
        facts.shortMonthNames << locale.monthName(month, QLocale::ShortFormat);
        facts.longMonthNames << locale.monthName(month, QLocale::LongFormat);
    }
    // Qt numbers the days from Monday (1) to Sunday (7).
    for (int day : {7, 1, 2, 3, 4, 5, 6}) {
        facts.shortDayNames << locale.dayName(day, QLocale::ShortFormat);
        facts.longDayNames << locale.dayName(day, QLocale::LongFormat);
    }
    facts.amText = locale.amText();
    facts.pmText = locale.pmText();
    return facts;
}

LocaleFormats LocaleFormatsFromQtPatterns(const QtLocaleFacts& facts) {
    LocaleFormats result = EnglishLocaleFormats();

    const auto shortDate = ParseQtPattern(facts.shortDatePattern);
    const auto longDate = ParseQtPattern(facts.longDatePattern);
    const auto shortTime = ParseQtPattern(facts.shortTimePattern);
    const auto longTime = ParseQtPattern(facts.longTimePattern);

    const QString dateSeparator = SeparatorOf(shortDate, true, QStringLiteral("/"));
    const QString timeSeparator = SeparatorOf(shortTime, false, QStringLiteral(":"));
    result.dateSeparator = dateSeparator.toStdString();
    result.timeSeparator = timeSeparator.toStdString();

    SetFormat(result.shortDateFormat, Render(shortDate, dateSeparator, timeSeparator, false));
    SetFormat(result.longDateFormat, Render(longDate, dateSeparator, timeSeparator, false));
    SetFormat(result.shortTimeFormat, Render(shortTime, dateSeparator, timeSeparator, true));
    SetFormat(result.longTimeFormat, Render(longTime, dateSeparator, timeSeparator, true));

    CopyNames(facts.shortMonthNames, result.shortMonthNames);
    CopyNames(facts.longMonthNames, result.longMonthNames);
    CopyNames(facts.shortDayNames, result.shortDayNames);
    CopyNames(facts.longDayNames, result.longDayNames);

    const LetterCase amPmCase =
        AmPmCaseOf(shortTime).value_or(AmPmCaseOf(longTime).value_or(LetterCase::AsIs));
    if (!facts.amText.isEmpty() || !facts.pmText.isEmpty()) {
        result.amText = WithCase(facts.amText, amPmCase).toStdString();
        result.pmText = WithCase(facts.pmText, amPmCase).toStdString();
    }
    return result;
}

LocaleFormats LocaleFormatsFromQLocale(const QLocale& locale) {
    return LocaleFormatsFromQtPatterns(QtLocaleFactsOf(locale));
}

LocaleFormats SystemLocaleFormats() {
    return LocaleFormatsFromQLocale(QLocale::system());
}

} // namespace talvence
