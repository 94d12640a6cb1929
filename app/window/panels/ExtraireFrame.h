#pragma once
// The grab panel: the thumbnail of the last grabbed image, the intervalometer (value, unit,
// switch, countdown, beeps) and the name of the next image. The main window's grab controller
// owns the reactions and connects the controls' signals. User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QImage;
class QRect;
class QPushButton;
class QSpinBox;

namespace talvence {

class TExtraireFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TExtraireFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;
    // Shows `image` scaled into `bounds` (ThumbnailBounds) with the bevel around it; a null
    // image leaves the thumbnail as it was.
    void ShowThumbnail(const QImage& image, const QRect& bounds);
    // The switch's state and caption, without emitting its click.
    void SetSwitch(bool on);
    // Value and unit are locked while the intervalometer runs.
    void LockInterval(bool locked);

    QGroupBox* gbExtraire;
    QLabel* Image;  // the thumbnail
    QFrame* Bevel3; // its frame
    QGroupBox* gbIntervallo;
    QSpinBox* RxSpinEdit7; // 0..999999
    QComboBox* cbUnites;   // seconds, frames, minutes, hours
    QPushButton* RxSwitch1;
    QLabel* chronoLab;
    QCheckBox* cbBeeps;
    QGroupBox* gbNext;
    TClickLabel* destlabel;
};

} // namespace talvence
