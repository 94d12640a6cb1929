#pragma once
// Scheduled captures: the schedule panel's presets, arming the start and the end of a capture,
// the alarm and its two handlers, the live edits of an armed alarm and the schedule toggle in
// every capture state. The alarm is checked against the wall clock (IClock) once a second.
//
// The alarm holds a full date and time and fires at the first tick at or after it, once per
// arming: a capture armed for tomorrow starts tomorrow, not at the same time today. A live edit of
// the armed time keeps the date of the arming and, when that puts it in the past, moves it to the
// next day, so that stepping a spin edit through the current time never fires it by surprise.
//
// Threads: the user-interface thread only (the tick is a QTimer of that thread); no locks.

#include "app/capture/CaptureRules.h"
#include "platform/shell/DateTime.h"

#include <QObject>

#include <functional>

class QAction;
class QTimer;

namespace talvence {

class IClock;
class IDialogs;
class TCaptureControl;
class TProgrammerFrame;
struct TPreferences;

class TScheduleController : public QObject {
    Q_OBJECT
public:
    enum class AlarmHandler { None, Start, End };

    // `toggle` is acProgrammerBascule; `refreshStatus` rewrites the status panels of the state.
    TScheduleController(TProgrammerFrame& frame, QAction& toggle, TCaptureControl& control,
                        TPreferences& prefs, IDialogs& dialogs, const IClock& clock,
                        std::function<void()> refreshStatus, QObject* parent = nullptr);

    // acProgrammerBasculeExecute.
    void ToggleExecute();
    bool ArmSchedule();
    bool ArmScheduleEnd();
    void DisarmAlarm();
    // The alarm's handlers: start the armed capture, end the scheduled one.
    void lancerEnregistrement();
    void stopperEnregistrement();
    // The clock's one-second tick: shows the time and fires an alarm that is due.
    void Tick();
    // After every state entry: the start group and "now" button, the toggle's check and image;
    // a return to preview or to no source disarms.
    void StateEntered(const CaptureStateView& view);

    bool AlarmEnabled() const { return alarmEnabled_; }
    AlarmHandler Handler() const { return handler_; }
    TDateTime AlarmTime() const { return alarmAt_; }
    void AlarmFields(int& hour, int& minute, int& second) const;

private:
    // Panel show: start one minute from now, end 31 minutes from now, seconds 0.
    void PresetTimes();
    void Arm(TDateTime at, AlarmHandler handler);
    // A live edit of the armed time (seconds since midnight).
    void RetimeAlarm(int seconds);
    void StartEdited();
    void EndEdited();
    void NowBtnClick();
    TDateTime StartTime() const;
    TDateTime EndTime() const;
    bool PrepareCaptureFile();

    TProgrammerFrame& frame_;
    QAction& toggle_;
    TCaptureControl& control_;
    TPreferences& prefs_;
    IDialogs& dialogs_;
    const IClock& clock_;
    std::function<void()> refreshStatus_;
    QTimer* tick_;

    bool alarmEnabled_ = false;
    AlarmHandler handler_ = AlarmHandler::None;
    TDateTime alarmAt_ = 0;
    TDateTime armedDate_ = 0; // the whole day the alarm was armed for
};

} // namespace talvence
