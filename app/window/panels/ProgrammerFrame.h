#pragma once
// The schedule panel: the computer's clock, the start and end of a scheduled capture (hour,
// minute, second and date each), the "now" button and the schedule button. The panel only holds
// the controls; the schedule controller reads them, arms the alarm and reacts to their changes.
// User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

#include <QDate>

class QDateEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace talvence {

class TProgrammerFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TProgrammerFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;
    // Emits aboutToShow (the presets) before it moves to the front.
    void ShowPanel(int left) override;

    // The start's (end's) date and time of day, as the controls hold them.
    QDate StartDate() const;
    QDate EndDate() const;
    int StartSeconds() const; // seconds since midnight
    int EndSeconds() const;
    // Sets the controls without emitting their change signals.
    void SetStart(const QDate& date, int hour, int minute, int second);
    void SetEnd(const QDate& date, int hour, int minute, int second);

    QGroupBox* gbProgrammer;
    QLabel* RxClock2;
    QGroupBox* gbDebut;
    QSpinBox* RxSpinEdit1; // start hour
    QSpinBox* RxSpinEdit2; // start minute
    QSpinBox* RxSpinEdit3; // start second
    QDateEdit* DateEdit1;
    QGroupBox* gbFin;
    QSpinBox* RxSpinEdit4; // end hour
    QSpinBox* RxSpinEdit5; // end minute
    QSpinBox* RxSpinEdit6; // end second
    QDateEdit* DateEdit2;
    QToolButton* NowBtn;
    QToolButton* ProgBtn; // the main window binds acProgrammerBascule

signals:
    void aboutToShow();
};

} // namespace talvence
