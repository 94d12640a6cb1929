#pragma once
// The camcorder window `TcamForm`: drives a DV camcorder in VCR mode (its transport bar
// `Tnav_captureframe`), shows the tape's timecode and the recording date of the frames being
// received, and holds "Stop when quit". The main window's camera actions run this window's
// actions, so their keys work whether it is shown or not.
//
// Threads: the user-interface thread only.

#include "graph/graph.h"

#include <QAction>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QToolButton;

namespace talvence {

// "H:MM:SS:FF" (hours with one digit below 10) of a packed-BCD timecode; nibbles above 9 show
// as their hexadecimal digits.
std::string CamcorderTimecodeText(std::uint32_t packed);
// What fast forward (rewind) sends in the transport's current mode: winding when stopped, the
// fastest play speed otherwise.
long WindMode(long currentMode, bool forward);

// The seven transport buttons and their actions.
class Tnav_captureframe : public QWidget {
    Q_OBJECT
public:
    // `link` is the graph module's camcorder link, read at each command.
    Tnav_captureframe(const TCamcorderLink& link, QWidget* parent = nullptr);

    QAction *PlayAction, *PauseAction, *StopAction, *AvanceLentAction, *AvanceRapideAction,
        *ReculeLentAction, *ReculeRapideAction;
    QToolButton *FastRewBtn, *RecullentBtn, *PlayBtn, *PauseBtn, *StopBtn, *AvanceLentBtn,
        *FastForwardBtn;

private:
    void Send(long mode);
    void Wind(bool forward);

    const TCamcorderLink& link_;
};

class TcamForm : public QWidget {
    Q_OBJECT
public:
    // `recDateTime` reads the recording date of the latest DV frame (0: none); `dateText` formats
    // it with the user's "dddd ddddd tt".
    TcamForm(const TCamcorderLink& link, std::function<double()> recDateTime,
             std::function<std::string(double)> dateText);

    void SetTexts();
    // Caption "Drive the camcorder: " and the device's description; visible exactly in VCR mode
    // with "Show Pilot DV" on.
    void UpdateCamcorderWindow(bool showPilot);
    void SetVisibleFor(bool showPilot);
    // One step of the status timer: the timecode and the recording date, in VCR mode with a
    // timecode reader.
    void RefreshCamcorderDisplay();
    // At the end of the run: Stop when the box is checked.
    void StopIfAsked();

    QLabel* Label1 = nullptr;
    QLabel* TimecodePanel = nullptr;
    QCheckBox* cbStopQuittant = nullptr;
    Tnav_captureframe* nav_captureframe1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    const TCamcorderLink& link_;
    std::function<double()> recDateTime_;
    std::function<std::string(double)> dateText_;
};

} // namespace talvence
