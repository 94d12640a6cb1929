#pragma once
// Still images and the intervalometer of the main window: the grab action (F5, Ctrl+G, the grab
// button, the pop-up menu, a click on the preview), the copy of the preview's last frame into the
// grab bitmap, the aspect-corrected image and its thumbnail, the BMP or JPEG file with its
// overwrite and folder questions, and the intervalometer's timer, countdown, beeps and status
// panel 0. While image-by-image mode is on, a grab lets one frame into the video file instead.
//
// Threads: the user-interface thread only; `timer1` delivers its ticks there. The frame copy
// takes the sample grabber's own copy of its last sample, so the streaming thread never waits
// for a grab. No locks.

#include "app/window/GrabRules.h"
#include "graph/FrameGrabber.h"
#include "platform/shell/Dialogs.h"
#include "platform/shell/WavePlayer.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace talvence {

class TCaptureForm;
class TExtraireFrame;

class TGrabController : public QObject {
    Q_OBJECT
public:
    // `form` and `dialogs` outlive the controller; `frame` is the form's grab panel; status0
    // writes status-bar panel 0.
    TGrabController(TCaptureForm& form, TExtraireFrame& frame, IDialogs& dialogs,
                    std::function<void(const QString&)> status0);

    // acGrabExecute: the grab panel comes to the front, then GrabFrame and SaveGrabbedImage.
    void GrabExecute();
    // The current frame into the grab bitmap and the thumbnail; in image-by-image mode also one
    // frame into the video file.
    void GrabFrame();
    // The image to the next image file; true when a file was written (the name then moves on).
    bool SaveGrabbedImage();

    // OptionsframergExtensionClick, and the JPEG (1) and BMP (0) actions: the image format
    // choice, the quality group shown for JPEG only, the next image name with the same number.
    void ImageFormatClick(int index);

    // ExtraireFrame1RxSwitch1Click with the switch's new state.
    void SwitchClick(bool on);
    // Timer1Timer.
    void Timer1Timer();

    // "Valeur Intervallomètre", "Unités Intervallomètre", "Beeps" into the panel; a stored JPEG
    // quality outside 1..100 is brought into it.
    void ApplyPreferences();
    // The panel back into those preferences.
    void CollectPreferences();
    // Where the beeps play (tests give a counting player); the default is the sound card.
    void SetWavePlayer(IWavePlayer* player) { player_ = player; }

    bool Running() const;
    // The running period in milliseconds; 0 when the intervalometer is off.
    std::int32_t Period() const { return running_ ? countdown_.Period() : 0; }
    // What the last grab produced: the aspect-corrected image a still is written from.
    const QImage& GrabbedImage() const { return image_; }
    // Stills written in this run.
    int ImagesWritten() const { return imagesWritten_; }

    QTimer* timer1 = nullptr;

private:
    void StopIntervalometer();
    void ApplyStep(const TIntervalCountdown::Step& step);
    void SetStatusColour(const QColor& colour);
    void ShowFileError(const std::string& path, const std::string& error);
    // The overwrite and folder questions; false when the user refused.
    bool ConfirmImageFile(const std::string& path);

    TCaptureForm& form_;
    TExtraireFrame& frame_;
    IDialogs& dialogs_;
    std::function<void(const QString&)> status0_;
    IWavePlayer* player_;
    TDibBitmap grab_;
    QImage image_;
    bool fresh_ = false; // the last GrabFrame got a new frame
    TIntervalCountdown countdown_;
    bool running_ = false;
    QColor idleColour_;
    int imagesWritten_ = 0;
};

} // namespace talvence
