// The schedule and inlay panels in the main window offscreen, on the virtual DV camcorder, with
// a clock the test sets: a capture started and ended by the schedule, the checks made when
// arming, the schedule toggle in each state, and the inlay panel feeding the superposer.

#include "app/window/InlayController.h"
#include "app/window/PreviewWidget.h"
#include "app/window/ScheduleController.h"
#include "app/window/panels/IncrusterFrame.h"
#include "app/window/panels/ProgrammerFrame.h"
#include "app/window/panels/SourcesFrame.h"
#include "platform/shell/FakeClock.h"
#include "tests/app/window/FormTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

namespace talvence {
namespace {

using namespace dmcamtest;
using namespace windowtest;
using Handler = TScheduleController::AlarmHandler;

TDateTime Day(int day, int hour, int minute, int second = 0) {
    return EncodeDateTime(2026, 3, day, hour, minute, second, 0);
}

class ScheduleTest : public FormTest {
protected:
    std::unique_ptr<TCaptureForm> MakeScheduleForm(const char* devices, TDateTime now) {
        clock.Set(now);
        auto form = MakeForm(devices, &clock);
        form->Core().Prefs().videoDate->value = false;
        form->Core().Control().VideoNamingChanged();
        return form;
    }
    // The panel as the user leaves it: start and end on 14 March (+ days) at the given times.
    static void SetTimes(TCaptureForm& f, TDateTime start, TDateTime end) {
        DateTimeFields s, e;
        DecodeDateTime(start, s);
        DecodeDateTime(end, e);
        f.ProgrammerFrame1->SetStart(QDate(s.year, s.month, s.day), s.hour, s.minute, s.second);
        f.ProgrammerFrame1->SetEnd(QDate(e.year, e.month, e.day), e.hour, e.minute, e.second);
    }
    void At(TCaptureForm& f, TDateTime now) {
        clock.Set(now);
        f.Schedule().Tick();
    }

    FakeClock clock;
};

TEST_F(ScheduleTest, ArmedFiveSecondsAheadCapturesTenSecondsByItself) {
    const TDateTime t0 = Day(14, 10, 0, 0);
    auto form = MakeScheduleForm("dv", t0);
    TCaptureForm& f = *form;
    ASSERT_EQ(State(f), CaptureState::Preview);
    SetTimes(f, t0 + 5 / 86400.0, t0 + 15 / 86400.0);
    QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(State(f), CaptureState::ScheduleArmed);
    EXPECT_EQ(f.StatusText(3), "Start at 10:00:05");
    EXPECT_TRUE(f.Action("acProgrammerBascule")->isChecked());

    clock.Set(t0 + 4 / 86400.0, true); // the clock runs from here at its own pace
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::ScheduledCapture; }, 10));
    EXPECT_EQ(f.StatusText(1), "Capture until 10:00:15");
    EXPECT_FALSE(f.ProgrammerFrame1->gbDebut->isVisibleTo(f.ProgrammerFrame1));
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::Preview; }, 20));
    EXPECT_FALSE(f.Schedule().AlarmEnabled());

    const auto& files = f.Core().Control().CapturedFiles();
    ASSERT_EQ(files.size(), 1u);
    const auto streams = ProbeStreams(files[0]);
    ASSERT_FALSE(streams.empty());
    const long frames = std::stol(streams[0].substr(streams[0].rfind(' ') + 1));
    // 10 s at 25 frames a second, within the one-second grain of the alarm's tick.
    EXPECT_GE(frames, 200);
    EXPECT_LE(frames, 300);
    // The end does not advance the name: the next capture proposes the same file.
    EXPECT_EQ(f.Core().Control().NextVideoFile(), files[0]);
}

TEST_F(ScheduleTest, PresetsTomorrowAndTheToggleInEachState) {
    auto form = MakeScheduleForm("dv:pace=fast", Day(14, 10, 15, 30));
    TCaptureForm& f = *form;
    TProgrammerFrame& p = *f.ProgrammerFrame1;
    QTest::keyClick(&f, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(p.StartDate(), QDate(2026, 3, 14));
    EXPECT_EQ(p.StartSeconds(), 10 * 3600 + 16 * 60);
    EXPECT_EQ(p.EndSeconds(), 10 * 3600 + 46 * 60);
    f.grab().save(TALVENCE_SHOT_DIR "/window_schedule_panel.png");
    clock.Set(Day(14, 23, 50, 30));
    QTest::keyClick(&f, Qt::Key_F2);
    QTest::keyClick(&f, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(p.StartSeconds(), 23 * 3600 + 51 * 60);
    EXPECT_EQ(p.EndDate(), QDate(2026, 3, 15));
    EXPECT_EQ(p.EndSeconds(), 21 * 60);

    // Armed at 08:00 for tomorrow 09:00: today's 09:00 does not start it.
    clock.Set(Day(14, 8, 0));
    SetTimes(f, Day(15, 9, 0), Day(15, 9, 30));
    QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(State(f), CaptureState::ScheduleArmed);
    // A live edit of the start hour moves the alarm and its status text.
    p.RxSpinEdit1->setValue(10);
    EXPECT_EQ(f.StatusText(3), "Start at 10:00:00");
    p.RxSpinEdit1->setValue(9);
    At(f, Day(14, 9, 0));
    EXPECT_EQ(State(f), CaptureState::ScheduleArmed);
    At(f, Day(15, 9, 0, 1));
    ASSERT_EQ(State(f), CaptureState::ScheduledCapture);
    EXPECT_EQ(f.Schedule().Handler(), Handler::End);
    // In a scheduled capture the end edits move the end; the toggle removes it.
    p.RxSpinEdit5->setValue(45);
    EXPECT_EQ(f.StatusText(1), "Capture until 09:45:00");
    QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(State(f), CaptureState::Capturing);
    EXPECT_FALSE(f.Schedule().AlarmEnabled());
    At(f, Day(15, 9, 46));
    EXPECT_EQ(State(f), CaptureState::Capturing);
    // The toggle gives a hand-started capture an end again.
    SetTimes(f, Day(15, 9, 0), Day(15, 10, 0));
    QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(State(f), CaptureState::ScheduledCapture);
    At(f, Day(15, 10, 0));
    EXPECT_EQ(State(f), CaptureState::Preview);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ScheduleTest, ArmingRefusesPastAndImpossibleTimes) {
    auto form = MakeScheduleForm("dv:pace=fast", Day(14, 12, 0));
    TCaptureForm& f = *form;
    auto arm = [&](TDateTime start, TDateTime end) {
        dialogs.messages.clear();
        SetTimes(f, start, end);
        QTest::keyClick(&f, Qt::Key_P, Qt::ControlModifier);
        return dialogs.messages.empty() ? std::string() : dialogs.messages.back().text;
    };
    EXPECT_EQ(arm(Day(14, 11, 0), Day(14, 11, 30)),
              "It's not possible to schedule the end of a capture to a past date and time");
    EXPECT_NE(arm(EncodeDateTime(2100, 1, 1, 9, 0, 0, 0), Day(14, 12, 30)).find("after its start"),
              std::string::npos);
    EXPECT_NE(arm(EncodeDateTime(2100, 1, 1, 9, 0, 0, 0), EncodeDateTime(2100, 1, 1, 10, 0, 0, 0))
                  .find("more than a year ahead"),
              std::string::npos);
    dialogs.answers = {MsgAnswer::No};
    EXPECT_NE(arm(Day(14, 11, 59), Day(14, 12, 30)).find("start immediately"), std::string::npos);
    EXPECT_EQ(State(f), CaptureState::Preview);
    EXPECT_FALSE(f.Schedule().AlarmEnabled());
    EXPECT_FALSE(f.Action("acProgrammerBascule")->isChecked());

    // Yes starts at once, with the end armed.
    dialogs.answers = {MsgAnswer::Yes};
    arm(Day(14, 11, 59), Day(14, 12, 30));
    ASSERT_EQ(State(f), CaptureState::ScheduledCapture);
    EXPECT_EQ(f.Schedule().Handler(), Handler::End);
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Preview);

    // The next file exists now: arming asks before it is replaced.
    dialogs.answers = {MsgAnswer::No};
    EXPECT_NE(arm(Day(14, 13, 0), Day(14, 13, 30)).find("exists already"), std::string::npos);
    EXPECT_EQ(State(f), CaptureState::Preview);
    // The space bar in the armed state starts at once and arms no end.
    dialogs.answers = {MsgAnswer::Yes};
    arm(Day(14, 13, 0), Day(14, 13, 30));
    ASSERT_EQ(State(f), CaptureState::ScheduleArmed);
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::ScheduledCapture);
    EXPECT_EQ(f.Schedule().Handler(), Handler::Start);
    At(f, Day(14, 13, 31));
    EXPECT_EQ(State(f), CaptureState::ScheduledCapture);
}

// --- The inlay panel -------------------------------------------------------------------------

class InlayTest : public FormTest {
protected:
    static const SuperposerSettings& Settings(TCaptureForm& f) {
        settings = f.Core().Cam().Superposer().Core().Settings();
        return *settings;
    }
    static inline std::shared_ptr<const SuperposerSettings> settings;
};

TEST_F(InlayTest, ItemsFollowTheSourceAndEachControlFeedsTheSuperposer) {
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    TIncrusterFrame& p = *f.IncrusterFrame1;
    TPreferences& prefs = f.Core().Prefs();
    EXPECT_EQ(p.rgChoix->Count(), 3);
    EXPECT_EQ(p.rgWhen->ItemText(2), "Scene");
    emit p.rgChoix->clicked(1);
    EXPECT_TRUE(p.gbDecalage->isVisibleTo(&p));
    EXPECT_EQ(Settings(f).source, 1);
    emit p.rgChoix->clicked(0);
    EXPECT_FALSE(p.gbDecalage->isVisibleTo(&p));

    emit p.rgMode->clicked(1);
    EXPECT_TRUE(p.gbDuree->isVisibleTo(&p));
    EXPECT_TRUE(Settings(f).autoMode);
    p.RxSpinEdit1->setValue(4);
    const int fourSeconds = Settings(f).durationFrames;
    p.RxSpinEdit1->setValue(8);
    EXPECT_EQ(Settings(f).durationFrames, 2 * fourSeconds);
    p.edFormat2->setText("hh:nn");
    EXPECT_EQ(Settings(f).timeFormat, "hh:nn");

    // A source without DV packs offers the computer's time only: stored choices it lacks fall back
    // to 0.
    prefs.whatIncrust->value = 2;
    prefs.whenIncrust->value = 2;
    f.Inlay().AdaptToSource(false);
    EXPECT_EQ(p.rgChoix->Count(), 1);
    EXPECT_EQ(p.rgWhen->Count(), 2);
    EXPECT_EQ(prefs.whatIncrust->value, 0);
    EXPECT_EQ(prefs.whenIncrust->value, 0);
    EXPECT_EQ(p.rgWhen->ItemIndex(), 0);

    // Showing the sliders starts the inlay; the top of the vertical one is the top of the picture.
    ASSERT_FALSE(f.Action("acIncruster")->isChecked());
    QTest::keyClick(&f, Qt::Key_Y, Qt::AltModifier);
    EXPECT_TRUE(f.Inlay().Yslider->isVisible());
    QTest::keyClick(&f, Qt::Key_I, Qt::AltModifier);
    f.grab().save(TALVENCE_SHOT_DIR "/window_inlay_panel.png");
    EXPECT_TRUE(f.Action("acIncruster")->isChecked());
    EXPECT_EQ(f.Action("acIncruster")->text(), "Stop inlay");
    EXPECT_TRUE(Settings(f).active);
    f.Inlay().Yslider->setValue(930);
    EXPECT_EQ(Settings(f).posY, 0);
    f.Inlay().Yslider->setValue(0);
    EXPECT_EQ(Settings(f).posY, 930);
    f.Inlay().Xslider->setValue(123);
    // A rebuilt preview keeps what the panel shows.
    f.Core().Control().ResumePreview();
    EXPECT_EQ(Settings(f).posX, 123);
    EXPECT_EQ(Settings(f).timeFormat, "hh:nn");
    QTest::mouseClick(f.Inlay().Shape1, Qt::LeftButton);
    EXPECT_FALSE(f.Inlay().Xslider->isVisible());

    // A cancelled font dialog still sends the stored font; a confirmed one stores its choice.
    f.Core().Cam().Superposer().SetInlayFontSize(99);
    dialogs.fonts = {std::nullopt};
    QTest::mouseClick(p.SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(Settings(f).fontSize, prefs.incrustFont->value.size);
    TFontSpec chosen{"DejaVu Serif", 30, 0x0000FF, false, true};
    dialogs.fonts = {chosen};
    QTest::mouseClick(p.SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(prefs.incrustFont->value, chosen);
    EXPECT_EQ(Settings(f).fontName, "DejaVu Serif");

    QTest::keyClick(&f, Qt::Key_F12);
    EXPECT_FALSE(Settings(f).active);
    EXPECT_FALSE(prefs.incrustationOn->value);
    EXPECT_EQ(f.Action("acIncruster")->text(), "Inlay");
}

TEST_F(InlayTest, PreviewShowsTheInlayAtTheCornersTheSlidersChoose) {
    auto form = MakeForm("dv");
    TCaptureForm& f = *form;
    QComboBox* formats = f.SourcesFrame->cbFormatCapture;
    formats->setCurrentIndex(formats->findText("DV type 2 (with inlay)"));
    emit formats->activated(formats->currentIndex());
    TIncrusterFrame& p = *f.IncrusterFrame1;
    QTest::keyClick(&f, Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(Settings(f).active);

    // White text pixels in a quarter of the preview (the test picture has no white of its own).
    auto whiteIn = [](const QImage& image, bool top, bool left) {
        int count = 0;
        for (int y = top ? 0 : image.height() / 2; y < (top ? image.height() / 2 : image.height());
             ++y)
            for (int x = left ? 0 : image.width() / 2;
                 x < (left ? image.width() / 2 : image.width()); ++x)
                count += qGray(image.pixel(x, y)) > 240;
        return count;
    };
    auto shoot = [&](int align, int x, int y, const char* name) {
        emit p.rgAlign->clicked(align);
        f.Inlay().Xslider->setValue(x);
        f.Inlay().Yslider->setValue(y);
        const long painted = f.vwEcran->FramesPainted();
        EXPECT_TRUE(Pump([&] { return f.vwEcran->FramesPainted() > painted + 10; }));
        const QImage image = f.vwEcran->grab().toImage();
        image.save(QString(TALVENCE_SHOT_DIR) + "/" + name);
        return image;
    };
    // Line 2's top is the anchor, so the top of the picture is a line height down.
    const QImage topLeft = shoot(0, 20, 830, "inlay_top_left.png");
    EXPECT_EQ(Settings(f).posY, 100);
    EXPECT_GT(whiteIn(topLeft, true, true), 50);
    EXPECT_EQ(whiteIn(topLeft, false, false), 0);
    const QImage bottomRight = shoot(2, 970, 0, "inlay_bottom_right.png");
    EXPECT_EQ(Settings(f).posY, 930);
    EXPECT_GT(whiteIn(bottomRight, false, false), 50);
    EXPECT_EQ(whiteIn(bottomRight, true, true), 0);
}

} // namespace
} // namespace talvence
