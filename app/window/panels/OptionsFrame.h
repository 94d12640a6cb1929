#pragma once
// The settings panel: saving and deleting the preferences, the Windows Media
// profile, confirmations, the snapshot type and JPEG quality, scene files.
// The main window owns the reactions and connects the controls' signals; the
// panel itself only keeps labQuality on TrackBar1's value. User-interface
// thread only; no locks.

#include "app/window/panels/Controls.h"

class QCheckBox;
class QComboBox;
class QSlider;
class QToolButton;

namespace talvence {

class TOptionsFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TOptionsFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;

    QGroupBox* gbOptions;
    QGroupBox* gbPrefs;
    QToolButton* SpeedButton1; // the main window binds acSauverPrefs
    QLabel* LabelSauverNow;
    QToolButton* SpeedButton2;
    QLabel* LabelEffacerPrefs;
    QCheckBox* cbPrefsQuittant;
    QGroupBox* gbProfiles;
    QLabel* Label1;
    TRadioGroup* rgversion;
    QComboBox* cboxMedia;
    QCheckBox* cbConfirmerImage;
    TRadioGroup* rgExtension;
    QGroupBox* gbQuality;
    QSlider* TrackBar1; // 1 to 100
    QLabel* labQuality; // follows TrackBar1
    QCheckBox* cbScn;
    QCheckBox* cbConfirmerVideo;
};

} // namespace talvence
