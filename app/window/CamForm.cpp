#include "app/window/CamForm.h"

#include "platform/media/CaptureInterfaces.h"
#include "resources/WindowStrings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <cstdio>

namespace talvence {

std::string CamcorderTimecodeText(std::uint32_t packed) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010X", packed);
    const std::string text = digits;
    std::string hours = text.substr(2, 2);
    if (hours[0] == '0') hours = hours.substr(1);
    return hours + ":" + text.substr(4, 2) + ":" + text.substr(6, 2) + ":" + text.substr(8, 2);
}

long WindMode(long currentMode, bool forward) {
    if (currentMode == ED_MODE_STOP) return forward ? ED_MODE_FF : ED_MODE_REW;
    return forward ? ED_MODE_PLAY_FASTEST_FWD : ED_MODE_PLAY_FASTEST_REV;
}

Tnav_captureframe::Tnav_captureframe(const TCamcorderLink& link, QWidget* parent)
    : QWidget(parent), link_(link) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    auto make = [&](QAction*& action, QToolButton*& button, const char* text, const char* hint,
                    QStyle::StandardPixmap glyph, QList<QKeySequence> keys, bool captioned,
                    std::function<void()> run) {
        action = new QAction(style()->standardIcon(glyph), text, this);
        action->setToolTip(hint);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, run);
        addAction(action);
        button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setToolButtonStyle(captioned ? Qt::ToolButtonTextBesideIcon
                                             : Qt::ToolButtonIconOnly);
        button->setMinimumHeight(30);
        row->addWidget(button);
    };
    using K = QKeySequence;
    make(ReculeRapideAction, FastRewBtn, "", strings::kCamFastRewind, QStyle::SP_MediaSeekBackward,
         {K(Qt::Key_Down)}, false, [this] { Wind(false); });
    make(ReculeLentAction, RecullentBtn, "", strings::kCamSlowRewind, QStyle::SP_MediaSkipBackward,
         {K(Qt::Key_Left)}, false, [this] { Send(ED_MODE_PLAY_SLOWEST_REV); });
    make(PlayAction, PlayBtn, strings::kCamPlay, strings::kCamPlay, QStyle::SP_MediaPlay,
         {K(Qt::Key_Insert), K(Qt::SHIFT | Qt::Key_Space)}, true, [this] { Send(ED_MODE_PLAY); });
    make(PauseAction, PauseBtn, strings::kCamPause, strings::kCamPause, QStyle::SP_MediaPause,
         {K(Qt::Key_Delete)}, true, [this] { Send(ED_MODE_FREEZE); });
    make(StopAction, StopBtn, strings::kCamStop, strings::kCamStop, QStyle::SP_MediaStop,
         {K(Qt::Key_End)}, true, [this] { Send(ED_MODE_STOP); });
    make(AvanceLentAction, AvanceLentBtn, "", strings::kCamSlowForward, QStyle::SP_MediaSkipForward,
         {K(Qt::Key_Right)}, false, [this] { Send(ED_MODE_PLAY_SLOWEST_FWD); });
    make(AvanceRapideAction, FastForwardBtn, "", strings::kCamFastForward,
         QStyle::SP_MediaSeekForward, {K(Qt::Key_Up)}, false, [this] { Wind(true); });
}

void Tnav_captureframe::Send(long mode) {
    // Without a transport every command is dropped; the device's answer is not examined.
    if (!link_.transportAvailable || !link_.transport) return;
    link_.transport->put_Mode(mode);
}

void Tnav_captureframe::Wind(bool forward) {
    if (!link_.transportAvailable || !link_.transport) return;
    long current = ED_MODE_STOP; // a mode that cannot be read is taken as stopped: wind
    link_.transport->get_Mode(&current);
    link_.transport->put_Mode(WindMode(current, forward));
}

TcamForm::TcamForm(const TCamcorderLink& link, std::function<double()> recDateTime,
                   std::function<std::string(double)> dateText)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      link_(link), recDateTime_(std::move(recDateTime)), dateText_(std::move(dateText)) {
    setFixedSize(481, 74);
    setWindowTitle("camForm");
    setFont(QFont("Arial", 9));
    Label1 = new QLabel(this);
    Label1->setGeometry(250, 4, 224, 18);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont dateFont("Arial", 9, QFont::Bold);
    dateFont.setItalic(true);
    Label1->setFont(dateFont);
    Label1->setStyleSheet("color: maroon;");
    TimecodePanel = new QLabel("0:00:00:00", this);
    TimecodePanel->setGeometry(6, 2, 160, 24);
    TimecodePanel->setFont(QFont("Arial", 14, QFont::Bold));
    cbStopQuittant = new QCheckBox(this);
    cbStopQuittant->setGeometry(360, 48, 118, 22);
    nav_captureframe1 = new Tnav_captureframe(link, this);
    nav_captureframe1->setGeometry(6, 38, 348, 32);
    hide();
}

void TcamForm::SetTexts() {
    TimecodePanel->setToolTip(strings::kCamTimecodeHint);
    cbStopQuittant->setText(strings::kCamStopWhenQuit);
    cbStopQuittant->setToolTip(strings::kCamStopWhenQuitHint);
}

void TcamForm::UpdateCamcorderWindow(bool showPilot) {
    setWindowTitle(QString::fromStdString(strings::kCamCaption + link_.deviceDescription));
    SetVisibleFor(showPilot);
}

void TcamForm::SetVisibleFor(bool showPilot) {
    setVisible(link_.vcrMode && showPilot);
}

void TcamForm::RefreshCamcorderDisplay() {
    if (!link_.vcrMode || !link_.timecodeAvailable || !link_.timecodeReader) return;
    TIMECODE_SAMPLE sample;
    sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
    sample.timecode.dwFrames = 0;
    link_.timecodeReader->GetTimecode(&sample); // a failed read shows 0:00:00:00
    TimecodePanel->setText(QString::fromStdString(CamcorderTimecodeText(sample.timecode.dwFrames)));
    const double rec = recDateTime_ ? recDateTime_() : 0;
    Label1->setText(rec > 0 && dateText_ ? QString::fromStdString(dateText_(rec)) : QString());
}

void TcamForm::StopIfAsked() {
    if (cbStopQuittant->isChecked()) nav_captureframe1->StopAction->trigger();
}

void TcamForm::closeEvent(QCloseEvent* event) {
    // The system-menu button only hides it; "Show Pilot DV" keeps its value.
    hide();
    event->ignore();
}

} // namespace talvence
