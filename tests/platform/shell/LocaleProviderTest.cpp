#include "platform/shell/LocaleProvider.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

namespace talvence {
namespace {

QtLocaleFacts FactsWithPatterns(const char* shortDate, const char* longDate, const char* shortTime,
                                const char* longTime) {
    QtLocaleFacts facts = QtLocaleFactsOf(QLocale(QLocale::English, QLocale::UnitedStates));
    facts.shortDatePattern = QString::fromUtf8(shortDate);
    facts.longDatePattern = QString::fromUtf8(longDate);
    facts.shortTimePattern = QString::fromUtf8(shortTime);
    facts.longTimePattern = QString::fromUtf8(longTime);
    return facts;
}

TEST(LocaleFormatsFromQtPatterns, RewritesFieldsAndDropsTheTimeZone) {
    // Setup
    const QtLocaleFacts us =
        FactsWithPatterns("M/d/yy", "dddd, MMMM d, yyyy", "h:mm AP", "h:mm:ss AP t");
    const QtLocaleFacts zoneFirst =
        FactsWithPatterns("yyyy/M/d", "yyyy-MM-dd", "HH:mm", "t HH:mm:ss.zzz");

    // Exercise
    const LocaleFormats usFormats = LocaleFormatsFromQtPatterns(us);
    const LocaleFormats zoneFirstFormats = LocaleFormatsFromQtPatterns(zoneFirst);

    // Verification
    EXPECT_EQ(usFormats.shortDateFormat, "m/d/yy");
    EXPECT_EQ(usFormats.longDateFormat, "dddd, mmmm d, yyyy");
    EXPECT_EQ(usFormats.shortTimeFormat, "h:nn ampm");
    EXPECT_EQ(usFormats.longTimeFormat, "h:nn:ss ampm");
    EXPECT_EQ(usFormats.dateSeparator, "/");
    EXPECT_EQ(usFormats.timeSeparator, ":");
    EXPECT_EQ(zoneFirstFormats.longTimeFormat, "hh:nn:ss.zzz");
    EXPECT_EQ(zoneFirstFormats.longDateFormat, "yyyy-mm-dd");
}

TEST(LocaleFormatsFromQtPatterns, TakesSeparatorsFromTheShortPatterns) {
    // Setup
    const QtLocaleFacts german =
        FactsWithPatterns("dd.MM.yy", "dddd, d. MMMM yyyy", "HH.mm", "HH.mm.ss t");
    const QtLocaleFacts spaced = FactsWithPatterns("yyyy. MM. dd.", "d MMMM", "H:mm", "H:mm:ss");
    const QtLocaleFacts wordy =
        FactsWithPatterns("yyyyMMdd", "d MMMM", "HH 'h' mm", "HH 'h' mm 'min' ss 's'");

    // Exercise
    const LocaleFormats g = LocaleFormatsFromQtPatterns(german);
    const LocaleFormats s = LocaleFormatsFromQtPatterns(spaced);
    const LocaleFormats w = LocaleFormatsFromQtPatterns(wordy);

    // Verification
    EXPECT_EQ(g.dateSeparator, ".");
    EXPECT_EQ(g.timeSeparator, ".");
    EXPECT_EQ(g.shortDateFormat, "dd/mm/yy");
    EXPECT_EQ(g.longDateFormat, "dddd, d. mmmm yyyy");
    EXPECT_EQ(g.longTimeFormat, "hh:nn:ss");
    EXPECT_EQ(s.dateSeparator, ". ");
    EXPECT_EQ(s.shortDateFormat, "yyyy/mm/dd.");
    EXPECT_EQ(w.dateSeparator, "/");
    EXPECT_EQ(w.timeSeparator, ":");
    EXPECT_EQ(w.shortTimeFormat, "hh\" h \"nn");
    EXPECT_EQ(w.longTimeFormat, "hh\" h \"nn\" min \"ss\" s\"");
}

TEST(LocaleFormatsFromQtPatterns, QuotesTextTheLanguageWouldRead) {
    // Setup
    const QtLocaleFacts facts = FactsWithPatterns("d/M/yyyy", "dddd, d 'de' MMMM 'de' yyyy",
                                                  "h 'o''clock' ap", "H:mm 'say \"x\"' y");

    // Exercise
    const LocaleFormats formats = LocaleFormatsFromQtPatterns(facts);

    // Verification
    EXPECT_EQ(formats.longDateFormat, "dddd, d\" de \"mmmm\" de \"yyyy");
    EXPECT_EQ(formats.shortTimeFormat, "h\" o'clock \"ampm");
    EXPECT_EQ(formats.longTimeFormat, "h:nn\" say \"'\"'\"x\"'\"'\" y\"");
    EXPECT_EQ(FormatDateTime(formats.longTimeFormat, EncodeTime(15, 4, 0, 0), formats),
              "15:04 say \"x\" y");
}

TEST(LocaleFormatsFromQtPatterns, AmPmTextFollowsTheCaseThePatternAsksFor) {
    // Setup
    QtLocaleFacts lower = FactsWithPatterns("d/M/yyyy", "d MMMM", "h:mm ap", "h:mm:ss ap");
    lower.amText = QStringLiteral("Am");
    lower.pmText = QStringLiteral("Pm");
    QtLocaleFacts upper = lower;
    upper.shortTimePattern = QStringLiteral("h:mm A");
    QtLocaleFacts asIs = lower;
    asIs.shortTimePattern = QStringLiteral("h:mm Ap");

    // Exercise
    const LocaleFormats l = LocaleFormatsFromQtPatterns(lower);
    const LocaleFormats u = LocaleFormatsFromQtPatterns(upper);
    const LocaleFormats a = LocaleFormatsFromQtPatterns(asIs);

    // Verification
    EXPECT_EQ(l.amText + l.pmText, "ampm");
    EXPECT_EQ(u.amText + u.pmText, "AMPM");
    EXPECT_EQ(a.amText + a.pmText, "AmPm");
}

TEST(LocaleFormatsFromQtPatterns, FallsBackToEnglishForMissingFacts) {
    // Setup
    QtLocaleFacts facts = FactsWithPatterns("", "t", "HH:mm", "");
    facts.longMonthNames = QStringList{QStringLiteral("only one")};
    facts.shortDayNames.clear();
    const LocaleFormats english = EnglishLocaleFormats();

    // Exercise
    const LocaleFormats formats = LocaleFormatsFromQtPatterns(facts);

    // Verification
    EXPECT_EQ(formats.shortDateFormat, english.shortDateFormat);
    EXPECT_EQ(formats.longDateFormat, english.longDateFormat);
    EXPECT_EQ(formats.longTimeFormat, english.longTimeFormat);
    EXPECT_EQ(formats.shortTimeFormat, "hh:nn");
    EXPECT_EQ(formats.longMonthNames, english.longMonthNames);
    EXPECT_EQ(formats.shortDayNames, english.shortDayNames);
}

// What the converted settings print must be what Qt prints with the same locale.
TEST(LocaleFormatsFromQLocale, PrintsWhatQtPrints) {
    // Setup
    const std::vector<QLocale> locales = {
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::English, QLocale::UnitedKingdom),
        QLocale(QLocale::French, QLocale::France),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::Canada),
        QLocale(QLocale::Czech, QLocale::CzechRepublic),
        QLocale(QLocale::Hungarian, QLocale::Hungary),
        QLocale(QLocale::Korean, QLocale::SouthKorea),
        QLocale(QLocale::Japanese, QLocale::Japan),
        QLocale(QLocale::Chinese, QLocale::China),
        QLocale(QLocale::Finnish, QLocale::Finland),
        QLocale(QLocale::Portuguese, QLocale::Brazil),
        QLocale(QLocale::Bulgarian, QLocale::Bulgaria),
        QLocale(QLocale::Russian, QLocale::Russia),
        QLocale(QLocale::Danish, QLocale::Denmark),
    };
    const std::vector<std::pair<QDate, QTime>> moments = {
        {QDate(2024, 3, 7), QTime(15, 4, 5)},
        {QDate(2024, 3, 10), QTime(0, 9, 0)}, // a Sunday, just after midnight
        {QDate(1899, 12, 29), QTime(12, 30, 59)},
    };

    for (const QLocale& locale : locales) {
        // Exercise
        const LocaleFormats formats = LocaleFormatsFromQLocale(locale);

        for (const auto& [date, time] : moments) {
            const TDateTime value = EncodeDateTime(date.year(), date.month(), date.day(),
                                                   time.hour(), time.minute(), time.second(), 0);
            // Verification
            const QString name = locale.name();
            EXPECT_EQ(FormatDateTime("ddddd", value, formats),
                      locale.toString(date, QLocale::ShortFormat).toStdString())
                << name.toStdString();
            EXPECT_EQ(FormatDateTime("dddddd", value, formats),
                      locale.toString(date, QLocale::LongFormat).toStdString())
                << name.toStdString();
            EXPECT_EQ(FormatDateTime("t", value, formats),
                      locale.toString(time, QLocale::ShortFormat).toStdString())
                << name.toStdString();
        }
    }
}

TEST(LocaleFormatsFromQLocale, LongTimeLeavesOutTheZone) {
    // Setup
    const TDateTime value = EncodeDateTime(2024, 3, 7, 15, 4, 5, 0);

    // Exercise
    const LocaleFormats us =
        LocaleFormatsFromQLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    const LocaleFormats french =
        LocaleFormatsFromQLocale(QLocale(QLocale::French, QLocale::France));
    const LocaleFormats german =
        LocaleFormatsFromQLocale(QLocale(QLocale::German, QLocale::Germany));

    // Verification
    EXPECT_EQ(FormatDateTime("tt", value, us), "3:04:05 PM");
    EXPECT_EQ(FormatDateTime("tt", value, french), "15:04:05");
    EXPECT_EQ(FormatDateTime("dddd ddddd tt", value, german), "Donnerstag 07.03.24 15:04:05");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:mm:ss am/pm", value, german), "2024.03.07 03:04:05 pm");
}

} // namespace
} // namespace talvence
