#pragma once
// The directories panel: folders and name roots of the captured videos and
// grabbed images, and the clip browser's executable. The main window owns the
// reactions and connects the controls' signals. User-interface thread only;
// no locks.

#include "app/window/panels/Controls.h"

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace talvence {

class TDossiersFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TDossiersFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;

    QGroupBox* gbDossiers;
    QGroupBox* gbFichier;
    TClickLabel* LabelVideo;
    QToolButton* sbVideo;
    TDirectoryEdit* VideoDirEdit;
    QLineEdit* VideoRacineEdit;
    QCheckBox* cbVideoDate;
    QGroupBox* gbFichierImages;
    TClickLabel* LabelImage;
    QToolButton* sbImage;
    TDirectoryEdit* ImageDirEdit;
    QLineEdit* ImageRacineEdit;
    QCheckBox* cbImageDate;
    QGroupBox* GroupBox2;
    TFileNameEdit* feTernadex;
};

} // namespace talvence
