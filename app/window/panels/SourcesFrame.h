#pragma once
// The sources panel: video and audio sources, the capture format and its
// settings. The main window owns the reactions of the controls and connects
// their signals; the panel itself only stores "FrequenceDV" when a frequency
// is chosen. User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace talvence {

struct TPreferences;

class TSourcesFrame : public TPanelFrame {
    Q_OBJECT
public:
    static constexpr int kAudioExpandedHeight = 120;

    explicit TSourcesFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;
    // Expanded shows the whole audio group; collapsed cuts it at the top of
    // cboxAudio, so only the audio type and the two toggles remain. The
    // groups below follow.
    void SetAudioGroupExpanded(bool expanded);
    bool AudioGroupExpanded() const { return audioExpanded_; }
    // The preferences rgFrequenceDVClick writes to; may be null (no write).
    void SetPreferences(TPreferences* prefs) { prefs_ = prefs; }

    // Stores the chosen frequency in "FrequenceDV" at once.
    void rgFrequenceDVClick();

    QGroupBox* gbSources;
    QGroupBox* gbVideo;
    QComboBox* cboxvideo;
    QToolButton* ActualiserVideoSpeedBtn;
    QToolButton* PilotSpeedBtn;
    QToolButton* SettingsSpeedBtn;
    TClickLabel* LabelVideo;
    QToolButton* sbVideo;    // the main window binds acOuvrirDossierVideos
    QToolButton* sbTernadex; // the main window binds acTernadex
    QGroupBox* gbAudio;
    QComboBox* cboxAudioType;
    QToolButton* sbDone;
    QCheckBox* cbEcouterAudio;     // the main window binds acEcouterAudioInclus
    QCheckBox* cbEnregistrerAudio; // the main window binds acEnregistrerAudioSource
    QComboBox* cboxAudio;
    QToolButton* ReglerAudioBtn;
    QLabel* LabelSync;
    QSpinBox* RXspinCorrEdit;
    QGroupBox* gbFormatCapture;
    QComboBox* cbFormatCapture;
    TRadioGroup* rgProfiles;
    TClickLabel* Label1; // the Windows Media note, in place of rgProfiles
    TRadioGroup* rgStandard;
    TRadioGroup* rgFrequenceDV;
    QLabel* leFramerateLabel;
    QLineEdit* leFramerate;

private:
    void PlaceFormatGroup();

    TPreferences* prefs_ = nullptr;
    bool audioExpanded_ = true;
};

} // namespace talvence
