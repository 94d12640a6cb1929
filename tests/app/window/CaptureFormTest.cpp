// The main window offscreen, driven through its actions and shortcuts on the virtual DV
// camcorder: start-up, a capture read back by ffprobe, the preferences kept across runs, the
// layout toggles, volume and mute, the clip browser, and a camcorder unplugged while capturing.

#include "app/window/CamForm.h"
#include "app/window/CaptureForm.h"
#include "app/window/PreviewWidget.h"
#include "app/window/panels/HelpFrame.h"
#include "app/window/panels/OptionsFrame.h"
#include "app/window/panels/SourcesFrame.h"
#include "tests/app/window/FormTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace talvence {
namespace {

using namespace dmcamtest;

using CaptureFormTest = windowtest::FormTest;
using windowtest::Pump;

TEST_F(CaptureFormTest, SpaceCapturesTheStoredFormatAndTheFileIsComplete) {
    auto form = MakeForm("dv");
    TCaptureForm& f = *form;
    f.Core().Prefs().videoDate->value = false;
    f.Core().Control().VideoNamingChanged();
    ASSERT_EQ(State(f), CaptureState::Preview);
    EXPECT_EQ(f.windowTitle(), "Talvence by Brannock - Virtual DV Camcorder");
    EXPECT_EQ(f.size(), QSize(700, 459));
    EXPECT_TRUE(screenSaver.held);
    ASSERT_TRUE(Pump([&] { return f.vwEcran->FramesPainted() > 3; }));
    EXPECT_TRUE(f.StatusText(1).startsWith("Preview DV"));
    EXPECT_TRUE(f.StatusText(3).contains("MB free on"));
    f.grab().save(TALVENCE_SHOT_DIR "/window_preview.png");

    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Capturing);
    ASSERT_TRUE(Pump([&] { return f.StatusText(2).startsWith("2") && f.StatusText(2).size() > 17; }));
    f.grab().save(TALVENCE_SHOT_DIR "/window_capture.png");
    EXPECT_TRUE(f.StatusText(3).endsWith("lost frames"));
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Preview);

    const auto& files = f.Core().Control().CapturedFiles();
    ASSERT_EQ(files.size(), 1u);
    const auto streams = ProbeStreams(files[0]);
    ASSERT_FALSE(streams.empty());
    const long frames = std::stol(streams[0].substr(streams[0].rfind(' ') + 1));
    EXPECT_GE(frames, 20);
    EXPECT_EQ(streams[0], "video dvvideo " + std::to_string(frames));
}

TEST_F(CaptureFormTest, PreferencesComeBackOnlyWhenSavedAtExit) {
    {
        auto form = MakeForm("dv:pace=fast");
        TCaptureForm& f = *form;
        f.Optionsframe->cbPrefsQuittant->setChecked(true);
        QTest::keyClick(&f, Qt::Key_W, Qt::AltModifier);       // mirror
        QTest::keyClick(&f, Qt::Key_M, Qt::ControlModifier);   // mute
        f.Core().Prefs().volume->value = 5000;
        QTest::keyClick(&f, Qt::Key_Minus, Qt::KeypadModifier); // volume down
        QTest::keyClick(&f, Qt::Key_F10);                      // settings panel
        f.SourcesFrame->cbFormatCapture->setCurrentIndex(
            f.SourcesFrame->cbFormatCapture->findText("DV type 2 (no inlay)"));
        emit f.SourcesFrame->cbFormatCapture->activated(f.SourcesFrame->cbFormatCapture->currentIndex());
        EXPECT_TRUE(f.Muted());
        EXPECT_EQ(f.Panel1->x(), 276);
        f.close();
    }
    {
        auto form = MakeForm("dv:pace=fast");
        TCaptureForm& f = *form;
        EXPECT_FALSE(f.Core().Prefs().ecranGauche->value);
        EXPECT_EQ(f.Panel1->x(), 276);
        EXPECT_TRUE(f.Muted());
        EXPECT_EQ(f.Core().Cam().Graph().GraphVolume(), 0);
        EXPECT_EQ(f.Core().Prefs().volume->value, 4000);
        EXPECT_EQ(f.ActivePanel(), 5);
        EXPECT_EQ(f.SourcesFrame->cbFormatCapture->currentText(), "DV type 2 (no inlay)");
        // Without the box nothing is written at exit: the mirror stays as saved before.
        f.Optionsframe->cbPrefsQuittant->setChecked(false);
        QTest::keyClick(&f, Qt::Key_W, Qt::AltModifier);
        f.close();
    }
    auto form = MakeForm("dv:pace=fast");
    EXPECT_FALSE(form->Core().Prefs().ecranGauche->value);
}

TEST_F(CaptureFormTest, ReduceMirrorVolumeAndShortcutList) {
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    QTest::keyClick(&f, Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(f.size(), f.Panel1->size());
    EXPECT_EQ(f.windowTitle(), "Virtual DV Camcorder");
    QTest::keyClick(&f, Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(f.size(), QSize(700, 459));
    EXPECT_EQ(f.Panel1->pos(), QPoint(10, 40));
    EXPECT_EQ(f.windowTitle(), "Talvence by Brannock - Virtual DV Camcorder");

    f.Core().Prefs().volume->value = 9500;
    QTest::keyClick(&f, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(f.tb->value(), 10000);
    QTest::keyClick(&f, Qt::Key_M, Qt::ControlModifier);
    QTest::keyClick(&f, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(f.tb->value(), 9000);
    EXPECT_EQ(f.Core().Cam().Graph().GraphVolume(), 0); // muted: the slider moves, the sound not

    QTest::keyClick(&f, Qt::Key_F6); // next panel after the sources panel
    EXPECT_EQ(f.ActivePanel(), 1);
    QTreeWidget* list = f.HelpFrame1->lvShortcuts;
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + "=" + list->topLevelItem(i)->text(1);
    EXPECT_TRUE(rows.contains("Grab!=F5 (CTRL+G)")) << rows.join(" | ").toStdString();
    EXPECT_TRUE(rows.contains("Cut=F7 (CTRL+X)"));
    EXPECT_EQ(f.HelpFrame1->lvCamera->topLevelItemCount(), 7);
    EXPECT_TRUE(f.Action("acDesentrelacer")->isVisible()); // the deinterlacer is registered
}

TEST_F(CaptureFormTest, ClipBrowserMissingIsToldAndFoundIsStartedWithoutAShell) {
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    QTest::keyClick(&f, Qt::Key_F8);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("has not been found"), std::string::npos);
    EXPECT_EQ(desktop.started, 0);

    const std::string program = dir.File("clip browser");
    std::ofstream(program) << "#!/bin/sh\n";
    f.Core().Prefs().ternadex->value = program;
    QTest::keyClick(&f, Qt::Key_F8);
    EXPECT_EQ(desktop.started, 1);
    EXPECT_EQ(desktop.program, program);
}

TEST_F(CaptureFormTest, CamcorderUnpluggedWhileCapturingLeavesACompleteFile) {
    auto form = MakeForm("dv:unplug=60");
    TCaptureForm& f = *form;
    const std::string firstName = f.Core().Control().NextVideoFile();
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Capturing);
    // The cable comes out after 60 frames; the window rebuilds its list without the camcorder.
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::NoSource; }, 30));
    EXPECT_EQ(f.SourcesFrame->cboxvideo->count(), 0);
    EXPECT_EQ(f.StatusText(1), "No video source");
    EXPECT_EQ(f.windowTitle(), "Talvence by Brannock - No video");
    EXPECT_TRUE(f.vwEcran->LatestFrame().isNull());
    EXPECT_NE(f.Core().Control().NextVideoFile(), firstName);
    const auto streams = ProbeStreams(firstName);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].rfind("video dvvideo ", 0), 0u);
    EXPECT_GT(std::stol(streams[0].substr(14)), 10);
}

TEST_F(CaptureFormTest, TheCamcorderWindowDrivesATapeInVcrMode) {
    auto form = MakeForm("dv:mode=vcr:tape=20240101T100000/500");
    TCaptureForm& f = *form;
    TcamForm& cam = *f.CamForm();
    ASSERT_TRUE(f.Core().Cam().Camcorder().vcrMode);
    EXPECT_TRUE(cam.isVisible());
    EXPECT_EQ(cam.windowTitle().toStdString().rfind("Drive the camcorder: ", 0), 0u);
    EXPECT_TRUE(f.StatusText(1).endsWith(" VCR"));
    long mode = 0;
    QTest::keyClick(&f, Qt::Key_Space, Qt::ControlModifier); // play from the main window
    f.Core().Cam().Camcorder().transport->get_Mode(&mode);
    EXPECT_EQ(mode, ED_MODE_PLAY);
    ASSERT_TRUE(Pump([&] { return cam.TimecodePanel->text() != "0:00:00:00"; }));
    EXPECT_FALSE(cam.Label1->text().isEmpty()); // the recording date of the frames received
    cam.nav_captureframe1->AvanceRapideAction->trigger(); // while playing: the fastest play
    f.Core().Cam().Camcorder().transport->get_Mode(&mode);
    EXPECT_EQ(mode, ED_MODE_PLAY_FASTEST_FWD);
    // "Stop when quit": the tape stops when the window goes.
    cam.cbStopQuittant->setChecked(true);
    auto transport = f.Core().Cam().Camcorder().transport;
    form.reset();
    transport->get_Mode(&mode);
    EXPECT_EQ(mode, ED_MODE_STOP);
}

TEST_F(CaptureFormTest, AFavouriteProfileTheVersionDoesNotListFallsBackToTheDefaultProfiles) {
    testing::TempStore::Write(store.UserHive(),
                              "Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                              "\"Capture Format\"=dword:00000004\n"
                              "\"Version wmv\"=dword:00000000\n"
                              "\"Profil wmv favori\"=\"WMV8 broadband 400 Kbps\"\n");
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    EXPECT_EQ(f.Optionsframe->cboxMedia->currentIndex(), 0);
    EXPECT_EQ(f.Optionsframe->cboxMedia->currentText(), "Use the default profiles");
    EXPECT_FALSE(f.SourcesFrame->rgProfiles->isHidden()); // the format is WMV
    EXPECT_TRUE(f.SourcesFrame->Label1->isHidden());
    // A system profile of the version: the label stands in for the default profiles.
    f.Optionsframe->cboxMedia->setCurrentIndex(1);
    emit f.Optionsframe->cboxMedia->activated(1);
    EXPECT_TRUE(f.SourcesFrame->rgProfiles->isHidden());
    EXPECT_FALSE(f.SourcesFrame->Label1->isHidden());
    EXPECT_EQ(f.Core().Prefs().profilWmvFavori->value,
              f.Optionsframe->cboxMedia->currentText().toStdString());
    // Another format: no profile choice at all.
    QComboBox* formats = f.SourcesFrame->cbFormatCapture;
    formats->setCurrentIndex(formats->findText("DV type 2 (no inlay)"));
    emit formats->activated(formats->currentIndex());
    EXPECT_TRUE(f.SourcesFrame->rgProfiles->isHidden());
    EXPECT_TRUE(f.SourcesFrame->Label1->isHidden());
}

TEST_F(CaptureFormTest, ACamcorderPluggedInOnTheBusIsListedAndGoesWhenUnplugged) {
    auto form = MakeForm(nullptr);
    TCaptureForm& f = *form;
    ASSERT_EQ(State(f), CaptureState::NoSource);
    const Ieee1394Unit camcorder{0x0080458800ABCDEFull, "Brannock", "DV-1", true, true};
    ieee1394->Replug({camcorder});
    ASSERT_TRUE(Pump([&] { return f.SourcesFrame->cboxvideo->count() == 1; }));
    EXPECT_EQ(f.SourcesFrame->cboxvideo->currentText(), "Brannock DV-1");
    EXPECT_EQ(f.Core().Control().Kind(), SourceKind::skDv);
    ieee1394->Replug({});
    ASSERT_TRUE(Pump([&] { return f.SourcesFrame->cboxvideo->count() == 0; }));
    EXPECT_EQ(State(f), CaptureState::NoSource);
}

TEST_F(CaptureFormTest, WithoutADeviceTheWindowIsInTheNoSourceState) {
    auto form = MakeForm(nullptr);
    TCaptureForm& f = *form;
    EXPECT_EQ(State(f), CaptureState::NoSource);
    EXPECT_FALSE(f.SourcesFrame->cbFormatCapture->isVisible());
    EXPECT_EQ(f.StatusText(1), "No video source");
    EXPECT_FALSE(f.CaptureBtn->isEnabled());
}

} // namespace
} // namespace talvence
