// The side panels' texts and own reactions, the error panel, and the
// start-up diagnostics that feed them.

#include "app/window/panels/AproposFrame.h"
#include "app/window/panels/DossiersFrame.h"
#include "app/window/panels/ErreurFrame.h"
#include "app/window/panels/HelpFrame.h"
#include "app/window/panels/OptionsFrame.h"
#include "app/window/panels/SourcesFrame.h"
#include "prefs/Preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace talvence {
namespace {

class Panels : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_panels";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) new QApplication(argc, argv); // process-long
    }
};

// Every box and radio button has its caption, every plain group its title or
// hint (a radio group's captions are its items).
void ExpectNoEmptyCaption(const QWidget& frame) {
    for (auto* box : frame.findChildren<QAbstractButton*>())
        if (qobject_cast<QCheckBox*>(box) || qobject_cast<QRadioButton*>(box))
            EXPECT_FALSE(box->text().isEmpty()) << box->objectName().toStdString();
    for (auto* group : frame.findChildren<QGroupBox*>())
        if (!qobject_cast<TRadioGroup*>(group))
            EXPECT_FALSE(group->title().isEmpty() && group->toolTip().isEmpty());
}

TEST_F(Panels, SetPanelTextsGivesEveryControlItsEnglishText) {
    TSourcesFrame sources;
    TDossiersFrame dossiers;
    TOptionsFrame options;
    THelpFrame help;
    TAproposFrame about;
    for (TPanelFrame* frame :
         std::initializer_list<TPanelFrame*>{&sources, &dossiers, &options, &help, &about}) {
        frame->SetPanelTexts();
        ExpectNoEmptyCaption(*frame);
    }
    EXPECT_EQ(sources.gbSources->title(), "Sources (F2)");
    EXPECT_EQ(sources.ActualiserVideoSpeedBtn->toolTip(),
              "Update the list of video capture sources.\n"
              "Useful if, meanwhile,  a new video source has been enabled.");
    EXPECT_EQ(sources.rgProfiles->ItemText(3), "Internet");
    EXPECT_EQ(sources.leFramerate->text(), "18");
    EXPECT_EQ(sources.cboxAudioType->itemText(0), "No audio");
    EXPECT_EQ(sources.Label1->text(),
              "Windows Media\nprofile set in\nthe Settings\npanel\n (F10).");
    EXPECT_EQ(dossiers.gbDossiers->title(), "Directories (Alt+D)");
    EXPECT_EQ(dossiers.VideoRacineEdit->text(), "Video");
    EXPECT_EQ(dossiers.ImageRacineEdit->text(), "Image");
    EXPECT_EQ(dossiers.feTernadex->toolTip().count('\n'), 2);
    EXPECT_EQ(options.cbPrefsQuittant->text(), "Save the preferences when quit");
    EXPECT_EQ(options.rgversion->ItemText(1), "7");
    EXPECT_EQ(options.LabelEffacerPrefs->toolTip().count('\n'), 2);
    EXPECT_EQ(help.PageControl1->tabText(2), "System");
    EXPECT_EQ(help.lvCamcorder->topLevelItem(3)->text(0), "Advance Slow");
    EXPECT_EQ(help.lvShortcuts->headerItem()->text(1), "Keyboards");
}

TEST_F(Panels, RadioGroupReportsUserClicksOnly) {
    TRadioGroup group;
    group.SetItems({"a", "b", "c"});
    std::vector<int> clicks;
    QObject::connect(&group, &TRadioGroup::clicked, [&](int i) { clicks.push_back(i); });
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    group.findChildren<QRadioButton*>()[2]->click();
    EXPECT_EQ(clicks, std::vector<int>{2});
    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItems({"x"});
    EXPECT_EQ(group.Count(), 1);
    EXPECT_EQ(group.ItemText(0), "x");
}

TEST_F(Panels, ChoosingAFrequencyStoresItAtOnce) {
    TparameterList list(PreferencesKeyPath(), PreferencesSignature());
    TPreferences prefs;
    prefs.frequenceDv = &list.Declare<TFrequenceDVParameter>("FrequenceDV", std::uint8_t{1});
    TSourcesFrame sources;
    sources.SetPanelTexts();
    sources.SetPreferences(&prefs);
    sources.rgFrequenceDV->SetItemIndex(1); // loading the control stores nothing
    EXPECT_EQ(prefs.frequenceDv->value, 1);
    sources.rgFrequenceDV->findChildren<QRadioButton*>()[2]->click(); // "48000 Hz"
    EXPECT_EQ(prefs.frequenceDv->value, 3);
}

TEST_F(Panels, AudioGroupCollapsesAtTheAudioListAndTheFormatGroupFollows) {
    TSourcesFrame sources;
    sources.SetAudioGroupExpanded(true);
    EXPECT_EQ(sources.gbAudio->height(), 120);
    const int formatTop = sources.gbFormatCapture->y();
    sources.SetAudioGroupExpanded(false);
    EXPECT_EQ(sources.gbAudio->height(), sources.cboxAudio->y());
    EXPECT_GT(sources.gbAudio->height(), sources.cbEcouterAudio->geometry().bottom());
    EXPECT_EQ(sources.gbFormatCapture->y(), formatTop - (120 - sources.cboxAudio->y()));
}

TEST_F(Panels, ShowPlacesInThePanelColumnAndRefreshesShownTexts) {
    QWidget window;
    THelpFrame help(&window);
    TAproposFrame about(&window);
    help.ShowPanel(425);
    EXPECT_EQ(help.pos(), QPoint(425, 40));
    EXPECT_FALSE(help.isHidden());
    EXPECT_TRUE(help.meNote->text().startsWith("These commands are only active\nif a digital"));
    help.HidePanel();
    EXPECT_TRUE(help.isHidden());
    about.ShowPanel(0);
    EXPECT_EQ(about.Label1->text(), "Talvence 4.1.3 En");
    EXPECT_FALSE(about.RichEdit1->toPlainText().isEmpty());

    help.FillLists({{"Grab!", "F5 (CTRL+G)"}, {"Cut", "F7 (CTRL+X)"}}, {{"Play", "Ctrl+Space"}});
    help.FillLists({{"Grab!", "F5 (CTRL+G)"}}, {{"Play", "Ctrl+Space"}}); // replaces
    ASSERT_EQ(help.lvShortcuts->topLevelItemCount(), 1);
    EXPECT_EQ(help.lvShortcuts->topLevelItem(0)->text(1), "F5 (CTRL+G)");
    EXPECT_EQ(help.lvCamera->topLevelItem(0)->text(0), "Play");
}

TEST_F(Panels, OptionsQualityLabelFollowsTheSlider) {
    TOptionsFrame options;
    options.SetPanelTexts();
    EXPECT_EQ(options.labQuality->text(), "50");
    options.TrackBar1->setValue(100);
    EXPECT_EQ(options.labQuality->text(), "100");
    options.TrackBar1->setValue(0); // below the range
    EXPECT_EQ(options.labQuality->text(), "1");
}

TEST(Diagnostics, SystemReportHasTheMovieBoxBlockOnlyWithTheDevice) {
    FilterPresence filters;
    filters.deinterlacer = true;
    auto lines = SystemReportLines("Debian 12", "9.0c", filters);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1].text, "Debian 12. ");
    EXPECT_EQ(lines[3].text, "DirectX version 9.0c.");
    EXPECT_EQ(lines[6].text, "The filter Pinnacle Video Deinterlacer is present.");
    EXPECT_EQ(lines[6].colour, ReportLine::Colour::Black);

    filters = {false, true, true, false, false, false};
    lines = SystemReportLines("Debian 12", "9.0c", filters);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[6].colour, ReportLine::Colour::Red);
    EXPECT_TRUE(lines[8].bold && lines[8].italic && lines[8].underline);
    EXPECT_EQ(lines[8].text, "MovieBox:");
    EXPECT_EQ(lines[9].colour, ReportLine::Colour::Black); // Dump found
    EXPECT_EQ(lines[12].text, "The filter Pinnacle MPEG2 Demux II (MovieBox USB version) is "
                              "not found.");
    EXPECT_EQ(lines[12].colour, ReportLine::Colour::Red);
    filters.ownMpeg2Decoder = true; // the platform's decoder stands in: the report says so
    lines = SystemReportLines("Debian 12", "9.0c", filters);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_NE(lines[13].text.find("MPEG-2 Video Decoder"), std::string::npos);
}

TEST(Diagnostics, StartupErrorTextNamesBothFailuresThenTheSystem) {
    EXPECT_EQ(StartupErrorText(false, false, "9.0c", "Debian 12"), "");
    EXPECT_EQ(StartupErrorText(true, true, "9.0c", "Debian 12"),
              "Impossible to load the Video sources\nImpossible to load the Audio sources\n \n"
              "DirectX 9.0c is installed. The operating system is Debian 12.\n");
    const std::string body = ErrorReportBody("Impossible", true);
    EXPECT_EQ(body.rfind("Talvence has encountered a fatal error on your system:\n\nImpossible\n"
                         "You should send me",
                         0),
              0u);
    EXPECT_NE(body.find("help about Talvence, informations"), std::string::npos);
    EXPECT_EQ(ErrorReportBody("x", false).rfind("Talvence has found potential problems", 0), 0u);
}

TEST_F(Panels, SystemReportIsWrittenWithStylesAndColours) {
    THelpFrame help;
    FilterPresence filters;
    filters.movieBoxDevice = true;
    WriteSystemReport(help, SystemReportLines("Debian 12", "9.0c", filters));
    const QTextDocument* doc = help.reSystem->document();
    ASSERT_EQ(doc->blockCount(), 13);
    const QTextBlock heading = doc->findBlockByNumber(5);
    EXPECT_EQ(heading.text(), "Filters:");
    const QTextCharFormat headingFormat = heading.begin().fragment().charFormat();
    EXPECT_TRUE(headingFormat.fontUnderline() && headingFormat.fontItalic());
    EXPECT_EQ(headingFormat.foreground().color(), QColor(Qt::blue));
    const QTextBlock missing = doc->findBlockByNumber(10);
    EXPECT_EQ(missing.begin().fragment().charFormat().foreground().color(), QColor(Qt::red));
    EXPECT_EQ(missing.begin().fragment().charFormat().fontWeight(), QFont::Normal);
}

TEST_F(Panels, ErrorPanelMailsAnEncodedReportAndAFatalCloseEndsTheWindow) {
    QWidget window;
    window.resize(700, 459);
    window.show();
    std::vector<QUrl> opened;
    TErreurFrame erreur(&window, nullptr, [&](const QUrl& url) { opened.push_back(url); });
    erreur.ShowErrorReport("Video & audio\nfailed", true);
    EXPECT_EQ(window.size(), QSize(320, 446));
    EXPECT_TRUE(erreur.Memo1->toPlainText().startsWith("Talvence has encountered a fatal error"));
    emit erreur.LabelMail->clicked();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toEncoded(),
              "mailto:support@brannock.example?subject=Error%20report%20of%20Talvence%204.1.3"
              "&body=Video%20%26%20audio%0D%0Afailed");
    erreur.FermerErreurBtn->click();
    EXPECT_TRUE(erreur.isHidden());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(700, 459));

    window.show();
    erreur.ShowErrorReport("minor", false);
    erreur.FermerErreurBtn->click();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(Panels, ErrorPanelFitsTheClientAreaNotTheWholeWindow) {
    QWidget window;
    window.resize(700, 480);
    QWidget client(&window); // the rest is the status bar
    client.setGeometry(0, 0, 700, 459);
    TErreurFrame erreur(&window, &client, [](const QUrl&) {});
    erreur.ShowErrorReport("x", false);
    EXPECT_EQ(window.size(), QSize(320, 446 + 21));
    erreur.FermerErreurBtn->click();
    EXPECT_EQ(window.size(), QSize(700, 480));
}

TEST_F(Panels, BrowseEditReportsEveryChange) {
    TDirectoryEdit edit;
    QStringList seen;
    QObject::connect(&edit, &TBrowseEdit::changed, [&](const QString& t) { seen << t; });
    edit.SetText("/a");
    edit.Edit()->insert("b");
    EXPECT_EQ(seen, QStringList({"/a", "/ab"}));
    EXPECT_EQ(edit.Text(), "/ab");
}

// Pictures of every panel with sample content, to be looked at by a person.
TEST_F(Panels, ScreenshotsOfEveryPanel) {
    TSourcesFrame sources;
    TDossiersFrame dossiers;
    TOptionsFrame options;
    THelpFrame help;
    TAproposFrame about;
    QWidget window;
    window.resize(700, 459);
    TErreurFrame erreur(&window);
    sources.cboxvideo->addItem("Virtual DV camcorder");
    sources.cbFormatCapture->addItem("DV type 2 (with inlay)");
    sources.LabelVideo->setText("Video_2026-12-10_001.avi");
    dossiers.LabelVideo->setText("Video_2026-12-10_001.avi");
    dossiers.LabelImage->setText("Image_2026-12-10_001.jpg");
    dossiers.VideoDirEdit->SetText("/home/user/Videos");
    dossiers.ImageDirEdit->SetText("/home/user/Pictures");
    help.FillLists({{"Grab!", "F5 (CTRL+G)"}, {"Cut", "F7 (CTRL+X)"}}, {{"Play", "Ctrl+Space"}});
    WriteSystemReport(help, SystemReportLines("Debian GNU/Linux 12", "9.0c", {}));
    erreur.ShowErrorReport(StartupErrorText(true, true, "9.0c", "Debian GNU/Linux 12"), true);
    const std::pair<QWidget*, const char*> shots[] = {
        {&sources, "sources"}, {&dossiers, "dossiers"}, {&options, "options"},
        {&help, "help"},       {&about, "apropos"},     {&erreur, "erreur"}};
    for (TPanelFrame* frame :
         std::initializer_list<TPanelFrame*>{&sources, &dossiers, &options, &help, &about}) {
        frame->SetPanelTexts();
        frame->ShowPanel(0);
    }
    sources.SetAudioGroupExpanded(true);
    for (const auto& [widget, name] : shots)
        EXPECT_TRUE(widget->grab().save(QString(TALVENCE_SHOT_DIR) + "/panel_" + name + ".png"));
    sources.SetAudioGroupExpanded(false);
    EXPECT_TRUE(sources.grab().save(QString(TALVENCE_SHOT_DIR) + "/panel_sources_collapsed.png"));
    help.PageControl1->setCurrentIndex(2);
    EXPECT_TRUE(help.grab().save(QString(TALVENCE_SHOT_DIR) + "/panel_help_system.png"));
    help.PageControl1->setCurrentIndex(1);
    EXPECT_TRUE(help.grab().save(QString(TALVENCE_SHOT_DIR) + "/panel_help_camcorder.png"));
}

} // namespace
} // namespace talvence
