#pragma once

#include "platform/shell/DateTimeFormat.h"

#include <QLocale>
#include <QString>
#include <QStringList>

namespace talvence {

// A locale as Qt describes it: its date and time patterns in Qt's pattern syntax and its names.
struct QtLocaleFacts {
    QString shortDatePattern;
    QString longDatePattern;
    QString shortTimePattern;
    QString longTimePattern;
    QStringList shortMonthNames; // 12, January first
    QStringList longMonthNames;
    QStringList shortDayNames; // 7, Sunday first
    QStringList longDayNames;
    QString amText;
    QString pmText;
};

QtLocaleFacts QtLocaleFactsOf(const QLocale& locale);

// Rewrites Qt's patterns in the date-time format language. The separators are the literal
// text between the first two numeric fields of the short date and short time patterns ("/"
// and ":" when there is none, or when it holds letters or digits). What the format language
// cannot say is left out: the time zone ("t") is dropped, and the am/pm text is the locale's,
// in the letter case the time patterns ask for ("AP" upper, "ap" lower). Qt's "z" (a decimal
// fraction) becomes "zzz", which reads the same after a decimal point. A pattern that comes
// out empty, or a name list of the wrong size, is replaced by its English counterpart.
LocaleFormats LocaleFormatsFromQtPatterns(const QtLocaleFacts& facts);

LocaleFormats LocaleFormatsFromQLocale(const QLocale& locale);

// The user's regional settings (QLocale::system()).
LocaleFormats SystemLocaleFormats();

} // namespace talvence
