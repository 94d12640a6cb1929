#pragma once
// The inlay panel: mode, duration, text source, hour offset, when, alignment, the two line
// formats, the font and the inlay button. The panel only holds the controls; the inlay
// controller fills their items for the source and feeds the superposer from their changes.
// User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace talvence {

class TIncrusterFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TIncrusterFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;

    QGroupBox* gbIncruster;
    TRadioGroup* rgMode;
    QGroupBox* gbDuree;
    QLabel* LabelDuree;
    QSpinBox* RxSpinEdit1; // duration, 0..99 s
    TRadioGroup* rgChoix;
    QGroupBox* gbDecalage;
    QSpinBox* RxSpinEdit2; // hour offset, -23..23
    TRadioGroup* rgWhen;
    TRadioGroup* rgAlign;
    QLabel* LabelFormat1;
    QLineEdit* edFormat1;
    QLabel* LabelFormat2;
    QLineEdit* edFormat2;
    QGroupBox* gbPolice;
    QToolButton* SpeedButton4; // the font dialog
    QLabel* LabelPolice;
    QCheckBox* cbAutoFontSize;
    QToolButton* IncrusterBtn; // the main window binds acIncruster
};

} // namespace talvence
