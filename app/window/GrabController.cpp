#include "app/window/GrabController.h"

#include "app/window/CaptureForm.h"
#include "app/window/panels/ExtraireFrame.h"
#include "app/window/panels/OptionsFrame.h"
#include "platform/log/Log.h"
#include "resources/PanelStrings.h"
#include "resources/Strings.h"
#include "resources/WindowStrings.h"
#include "system/PSFunctions.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>

namespace talvence {

namespace {

constexpr int kGrabPanel = 3;
constexpr int kFoldersPanel = 1;
// The status bar while the intervalometer runs.
const QColor kRunningColour(0xff, 0xe0, 0x80);

} // namespace

TGrabController::TGrabController(TCaptureForm& form, TExtraireFrame& frame, IDialogs& dialogs,
                                 std::function<void(const QString&)> status0)
    : QObject(&form), form_(form), frame_(frame), dialogs_(dialogs), status0_(std::move(status0)),
      player_(&DefaultWavePlayer()) {
    idleColour_ = form_.StatusBar1->palette().color(QPalette::Window);
    timer1 = new QTimer(this);
    // Each tick sets the next interval: a tick that waits on a question delays the next one
    // instead of piling more ticks behind it.
    timer1->setSingleShot(true);
    connect(timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(frame_.RxSwitch1, &QPushButton::clicked, this, [this](bool on) { SwitchClick(on); });
    connect(frame_.destlabel, &TClickLabel::clicked, this,
            [this] { form_.ShowPanel(kFoldersPanel); });
    // The switch is enabled exactly when the grab is (preview yes, no source no).
    QAction* grab = form_.Action("acGrab");
    connect(grab, &QAction::enabledChanged, frame_.RxSwitch1, &QWidget::setEnabled);
    frame_.RxSwitch1->setEnabled(grab->isEnabled());
}

// --- Stills -------------------------------------------------------------------------------------

void TGrabController::GrabExecute() {
    if (form_.ActivePanel() != kGrabPanel) form_.ShowPanel(kGrabPanel);
    GrabFrame();
    if (fresh_ || form_.Core().Control().ImageByImageMode())
        SaveGrabbedImage();
    else
        dialogs_.MessageBox(MsgType::Information, strings::kNoFrameToGrab, MsgButtons::Ok);
    frame_.Bevel3->hide();
}

void TGrabController::GrabFrame() {
    form_.Core().Control().ImageByImageGrab();
    // No frame: the grab bitmap and the thumbnail keep their previous picture.
    fresh_ = form_.Core().Cam().GrabFrameBitmap(grab_);
    if (!fresh_) TLOG(Capture) << "no frame to grab";
    const QImage image = StillImage(grab_, form_.Action("acVMRKeepratio")->isChecked());
    if (image.isNull()) return;
    image_ = image;
    frame_.ShowThumbnail(image_, ThumbnailBounds(image_.width(), image_.height()));
}

bool TGrabController::SaveGrabbedImage() {
    TCaptureControl& control = form_.Core().Control();
    if (control.ImageByImageMode()) return false;
    // An old picture under a new name would pass for one taken now (a time-lapse running
    // while the source is gone): without a fresh frame nothing is written.
    if (!fresh_ || image_.isNull()) {
        TLOG(Capture) << "no fresh frame: no image is written";
        return false;
    }
    const std::string path = control.NextImageFile();
    if (!ConfirmImageFile(path)) return false;

    const TPreferences& prefs = form_.Core().Prefs();
    const std::vector<std::uint8_t> bytes =
        prefs.extensionDesImages->value == 1
            ? EncodeJpeg(image_, JpegQuality(prefs.qualiteJpeg->value))
            : EncodeBmp(image_);
    const std::string error =
        bytes.empty() ? std::string(strings::kJpegEncoderFailed) : WriteImageFile(path, bytes);
    if (!error.empty()) {
        ShowFileError(path, error);
        return false;
    }
    ++imagesWritten_;
    control.ImageSaved();
    return true;
}

bool TGrabController::ConfirmImageFile(const std::string& path) {
    TPreferences& prefs = form_.Core().Prefs();
    namespace fs = std::filesystem;
    std::error_code ec;
    if (prefs.confirmerImage->value && fs::exists(path, ec)) {
        const MsgAnswer answer = dialogs_.MessageBox(
            MsgType::Warning,
            std::string(strings::kImageExists1) + fs::path(path).filename().string() +
                strings::kImageExists2 + "\n" + strings::kImageExists3,
            MsgButtons::YesNoAll);
        if (answer == MsgAnswer::All) {
            prefs.confirmerImage->value = false;
            form_.Optionsframe->cbConfirmerImage->setChecked(false);
        } else if (answer != MsgAnswer::Yes) {
            return false;
        }
    }
    // The image folder is made, or asked for, as the video folder is.
    const fs::path folder = fs::path(path).parent_path();
    if (folder.empty() || fs::is_directory(folder, ec)) return true;
    if (prefs.confirmerImage->value) {
        const MsgAnswer answer =
            dialogs_.MessageBox(MsgType::Warning,
                                std::string(strings::kFolderMissing1) + folder.string() +
                                    strings::kFolderMissing2 + "\n" + strings::kFolderMissing3,
                                MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes) return false;
    }
    if (!fs::create_directories(folder, ec) && ec) {
        ShowFileError(path, ec.message());
        return false;
    }
    return true;
}

void TGrabController::ShowFileError(const std::string& path, const std::string& error) {
    TLOG(Capture) << path << " cannot be written: " << error;
    // A failing folder would ask again at every tick: the intervalometer stops first.
    if (Running()) SwitchClick(false);
    dialogs_.MessageBox(MsgType::Error, strings::Fmt(strings::kImageWriteFailed, {path, error}),
                        MsgButtons::Ok);
}

void TGrabController::ImageFormatClick(int index) {
    const int format = index == 1 ? 1 : 0;
    form_.Optionsframe->rgExtension->SetItemIndex(format);
    form_.Optionsframe->gbQuality->setVisible(format == 1);
    form_.Core().Prefs().extensionDesImages->value = format;
    form_.Core().Control().ImageNamingChanged();
}

// --- Intervalometer -----------------------------------------------------------------------------

bool TGrabController::Running() const {
    return running_;
}

void TGrabController::SwitchClick(bool on) {
    frame_.SetSwitch(on);
    frame_.chronoLab->hide();
    if (!on) {
        StopIntervalometer();
        return;
    }
    const int value = frame_.RxSpinEdit7->value();
    const auto unit = static_cast<IntervalUnit>(std::clamp(frame_.cbUnites->currentIndex(), 0, 3));
    const std::int64_t period = IntervalPeriod(value, unit, form_.Core().Control().FrameDuration());
    // A period of 0 or less: the switch shows on, but no timer runs.
    if (period <= 0) return;
    if (period > kMaxIntervalPeriod) {
        frame_.SetSwitch(false);
        dialogs_.MessageBox(
            MsgType::Warning,
            strings::Fmt(strings::kIntervalTooLong,
                         {std::to_string(value), frame_.cbUnites->currentText().toStdString()}),
            MsgButtons::Ok);
        return;
    }
    frame_.chronoLab->clear();
    ApplyStep(countdown_.Start(static_cast<std::int32_t>(period)));
    frame_.chronoLab->show();
    status0_(QString::fromStdString(
        IntervalometerStatusText(value, frame_.cbUnites->currentText().toStdString())));
    SetStatusColour(kRunningColour);
    running_ = true;
    frame_.LockInterval(true);
}

void TGrabController::StopIntervalometer() {
    timer1->stop();
    running_ = false;
    status0_(strings::kStatusIntervalometerOff);
    SetStatusColour(idleColour_);
    frame_.LockInterval(false);
}

void TGrabController::Timer1Timer() {
    if (!running_) return;
    const TIntervalCountdown::Step step = countdown_.Tick();
    const bool beeps = frame_.cbBeeps->isChecked();
    if (step.shoot) {
        if (beeps) PlayShotSound(*player_);
        GrabFrame();
        SaveGrabbedImage();
        if (!running_) return; // a failed write switched it off
    } else if (step.warn && beeps) {
        PlayTickSound(*player_);
    }
    ApplyStep(step);
}

void TGrabController::ApplyStep(const TIntervalCountdown::Step& step) {
    if (step.label) frame_.chronoLab->setNum(*step.label);
    timer1->start(step.interval);
}

void TGrabController::SetStatusColour(const QColor& colour) {
    QPalette palette = form_.StatusBar1->palette();
    palette.setColor(QPalette::Window, colour);
    form_.StatusBar1->setPalette(palette);
}

// --- Preferences --------------------------------------------------------------------------------

void TGrabController::ApplyPreferences() {
    TPreferences& prefs = form_.Core().Prefs();
    frame_.RxSpinEdit7->setValue(prefs.valeurIntervallometre->value);
    frame_.cbUnites->setCurrentIndex(std::clamp(prefs.unitesIntervallometre->value, 0, 3));
    frame_.cbBeeps->setChecked(prefs.beeps->value);
    prefs.qualiteJpeg->value = JpegQuality(prefs.qualiteJpeg->value);
    form_.Optionsframe->TrackBar1->setValue(prefs.qualiteJpeg->value);
    form_.Optionsframe->gbQuality->setVisible(prefs.extensionDesImages->value == 1);
}

void TGrabController::CollectPreferences() {
    TPreferences& prefs = form_.Core().Prefs();
    prefs.valeurIntervallometre->value = frame_.RxSpinEdit7->value();
    prefs.unitesIntervallometre->value = frame_.cbUnites->currentIndex();
    prefs.beeps->value = frame_.cbBeeps->isChecked();
}

} // namespace talvence
