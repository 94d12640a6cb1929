#include "app/window/ScheduleController.h"

#include "app/capture/TCaptureControl.h"
#include "app/window/panels/ProgrammerFrame.h"
#include "platform/log/Log.h"
#include "platform/shell/Clock.h"
#include "platform/shell/Dialogs.h"
#include "prefs/Preferences.h"
#include "resources/PanelStrings.h"
#include "resources/Strings.h"

#include <QAction>
#include <QDateEdit>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <filesystem>

namespace talvence {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Farther ahead than this a date is taken for a typing slip, not for a plan.
constexpr double kMaxDaysAhead = 366.0;

TDateTime At(const QDate& date, int seconds) {
    return EncodeDate(date.year(), date.month(), date.day()) + seconds / kSecondsPerDay;
}

bool Later(TDateTime a, TDateTime b) {
    return MillisecondsBetween(b, a) > 0;
}

} // namespace

TScheduleController::TScheduleController(TProgrammerFrame& frame, QAction& toggle,
                                         TCaptureControl& control, TPreferences& prefs,
                                         IDialogs& dialogs, const IClock& clock,
                                         std::function<void()> refreshStatus, QObject* parent)
    : QObject(parent), frame_(frame), toggle_(toggle), control_(control), prefs_(prefs),
      dialogs_(dialogs), clock_(clock), refreshStatus_(std::move(refreshStatus)),
      tick_(new QTimer(this)) {
    frame_.ProgBtn->setDefaultAction(&toggle_);
    connect(&toggle_, &QAction::triggered, this, [this] { ToggleExecute(); });
    connect(&frame_, &TProgrammerFrame::aboutToShow, this, [this] { PresetTimes(); });
    connect(frame_.NowBtn, &QToolButton::clicked, this, [this] { NowBtnClick(); });
    for (QSpinBox* spin : {frame_.RxSpinEdit1, frame_.RxSpinEdit2, frame_.RxSpinEdit3})
        connect(spin, &QSpinBox::valueChanged, this, [this] { StartEdited(); });
    for (QSpinBox* spin : {frame_.RxSpinEdit4, frame_.RxSpinEdit5, frame_.RxSpinEdit6})
        connect(spin, &QSpinBox::valueChanged, this, [this] { EndEdited(); });
    tick_->setInterval(1000);
    connect(tick_, &QTimer::timeout, this, [this] { Tick(); });
    tick_->start();
    Tick();
}

void TScheduleController::ToggleExecute() {
    switch (control_.State()) {
    case CaptureState::NoSource:
        break;
    case CaptureState::Preview:
        if (ArmSchedule()) control_.EnterScheduleArmedState();
        break;
    case CaptureState::Capturing:
        if (ArmScheduleEnd()) control_.EnterScheduledCaptureState();
        break;
    case CaptureState::ScheduleArmed:
        DisarmAlarm();
        control_.EnterPreviewState();
        break;
    case CaptureState::ScheduledCapture:
        // The capture goes on without an end.
        DisarmAlarm();
        control_.EnterCaptureState();
        break;
    }
    // A refused arming leaves the toggle as the state says.
    const CaptureState state = control_.State();
    toggle_.setChecked(state == CaptureState::ScheduleArmed ||
                       state == CaptureState::ScheduledCapture);
}

bool TScheduleController::PrepareCaptureFile() {
    namespace fs = std::filesystem;
    const std::string next = control_.NextVideoFile();
    std::error_code ec;
    const bool confirm = prefs_.confirmerVideo->value;
    if (confirm && fs::exists(next, ec) &&
        dialogs_.MessageBox(MsgType::Warning,
                            std::string(strings::kFileExists1) + next + strings::kFileExists2,
                            MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    const std::string folder = fs::path(next).parent_path().string();
    if (!folder.empty()) {
        if (confirm && !fs::is_directory(folder, ec) &&
            dialogs_.MessageBox(MsgType::Error,
                                std::string(strings::kFolderMissing1) + folder +
                                    strings::kFolderMissing2 + "\n" + strings::kFolderMissing3,
                                MsgButtons::YesNo) != MsgAnswer::Yes)
            return false;
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            // An unattended start would only fail later, in the writer.
            dialogs_.MessageBox(MsgType::Error,
                                std::string(strings::kFolderMissing1) + folder +
                                    strings::kFolderNotCreated,
                                MsgButtons::Ok);
            return false;
        }
    }
    control_.SetCaptureFile(next);
    return true;
}

bool TScheduleController::ArmSchedule() {
    try {
        if (!PrepareCaptureFile()) return false;
        const TDateTime start = StartTime();
        const TDateTime end = EndTime();
        const TDateTime now = clock_.Now();
        auto refuse = [this](const char* text) {
            dialogs_.MessageBox(MsgType::Error, text, MsgButtons::Ok);
            return false;
        };
        if (Later(now, end)) return refuse(strings::kPastEnd);
        // An end before the start would only come a day later.
        if (!Later(end, start)) return refuse(strings::kEndBeforeStart);
        if (end - now > kMaxDaysAhead) return refuse(strings::kTooFarAhead);
        if (Later(now, start)) {
            const MsgAnswer answer = dialogs_.MessageBox(MsgType::Error,
                                                         std::string(strings::kPastStart) + "\n" +
                                                             strings::kStartNowQuestion,
                                                         MsgButtons::YesNo);
            if (answer == MsgAnswer::Yes) {
                control_.EnterScheduleArmedState();
                lancerEnregistrement();
            }
            return false;
        }
        Arm(start, AlarmHandler::Start);
        return true;
    } catch (const std::exception& e) {
        TLOG(Capture) << "arming the schedule failed: " << e.what();
        return false;
    }
}

bool TScheduleController::ArmScheduleEnd() {
    try {
        // An end already past would stop the capture at once: it runs without one instead.
        const TDateTime end = EndTime();
        if (!Later(end, clock_.Now())) return false;
        Arm(end, AlarmHandler::End);
        return true;
    } catch (const std::exception& e) {
        TLOG(Capture) << "arming the end of the capture failed: " << e.what();
        return false;
    }
}

void TScheduleController::DisarmAlarm() {
    alarmEnabled_ = false;
    handler_ = AlarmHandler::None;
}

void TScheduleController::Arm(TDateTime at, AlarmHandler handler) {
    alarmAt_ = at;
    armedDate_ = std::floor(at);
    handler_ = handler;
    alarmEnabled_ = true;
}

void TScheduleController::lancerEnregistrement() {
    if (control_.State() != CaptureState::ScheduleArmed) return;
    // No question here: arming asked them.
    if (control_.StartCapture()) {
        ArmScheduleEnd();
        control_.EnterScheduledCaptureState();
        return;
    }
    TLOG(Capture) << "the scheduled capture did not start: " << control_.LastFailure();
    DisarmAlarm();
    // The failed start has already brought the preview back (or fallen back to no source).
    if (control_.State() != CaptureState::NoSource) control_.EnterPreviewState();
}

void TScheduleController::stopperEnregistrement() {
    if (control_.State() != CaptureState::ScheduledCapture) return;
    DisarmAlarm();
    control_.ResumePreview();
}

void TScheduleController::Tick() {
    const TDateTime now = clock_.Now();
    DateTimeFields f;
    if (DecodeDateTime(now, f))
        frame_.RxClock2->setText(QString::asprintf("%.2d:%.2d:%.2d", f.hour, f.minute, f.second));
    if (!alarmEnabled_ || Later(alarmAt_, now)) return;
    alarmEnabled_ = false; // once per arming
    if (handler_ == AlarmHandler::Start)
        lancerEnregistrement();
    else if (handler_ == AlarmHandler::End)
        stopperEnregistrement();
}

void TScheduleController::StateEntered(const CaptureStateView& view) {
    frame_.gbDebut->setVisible(view.scheduleStartGroupVisible);
    frame_.NowBtn->setVisible(view.scheduleStartGroupVisible);
    toggle_.setChecked(view.state == CaptureState::ScheduleArmed ||
                       view.state == CaptureState::ScheduledCapture);
    toggle_.setIcon(frame_.style()->standardIcon(
        view.scheduleImage == 30 ? QStyle::SP_MediaStop : QStyle::SP_FileDialogInfoView));
    if (view.actionsChanged) toggle_.setEnabled(view.actionsEnabled);
    if (view.state == CaptureState::Preview || view.state == CaptureState::NoSource) DisarmAlarm();
}

void TScheduleController::AlarmFields(int& hour, int& minute, int& second) const {
    int ms = 0;
    if (!DecodeTime(alarmAt_, hour, minute, second, ms)) hour = minute = second = 0;
}

void TScheduleController::PresetTimes() {
    const CaptureState state = control_.State();
    if (state == CaptureState::ScheduleArmed || state == CaptureState::ScheduledCapture) return;
    const TDateTime now = clock_.Now();
    DateTimeFields s, e;
    if (!DecodeDateTime(now + 60 / kSecondsPerDay, s) ||
        !DecodeDateTime(now + 31 * 60 / kSecondsPerDay, e))
        return;
    frame_.SetStart(QDate(s.year, s.month, s.day), s.hour, s.minute, 0);
    frame_.SetEnd(QDate(e.year, e.month, e.day), e.hour, e.minute, 0);
}

void TScheduleController::RetimeAlarm(int seconds) {
    TDateTime at = armedDate_ + seconds / kSecondsPerDay;
    if (!Later(at, clock_.Now())) at += 1;
    alarmAt_ = at;
    if (refreshStatus_) refreshStatus_();
}

void TScheduleController::StartEdited() {
    if (control_.State() == CaptureState::ScheduleArmed) RetimeAlarm(frame_.StartSeconds());
}

void TScheduleController::EndEdited() {
    if (control_.State() == CaptureState::ScheduledCapture) RetimeAlarm(frame_.EndSeconds());
}

void TScheduleController::NowBtnClick() {
    const int start = frame_.StartSeconds();
    frame_.SetEnd(frame_.StartDate(), start / 3600, start / 60 % 60, start % 60);
    EndEdited();
}

TDateTime TScheduleController::StartTime() const {
    return At(frame_.StartDate(), frame_.StartSeconds());
}

TDateTime TScheduleController::EndTime() const {
    return At(frame_.EndDate(), frame_.EndSeconds());
}

} // namespace talvence
