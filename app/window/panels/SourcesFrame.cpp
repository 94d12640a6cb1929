#include "app/window/panels/SourcesFrame.h"

#include "prefs/Preferences.h"
#include "resources/PanelStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

namespace talvence {

TSourcesFrame::TSourcesFrame(QWidget* parent) : TPanelFrame(parent) {
    gbSources = new QGroupBox(this);
    gbSources->setGeometry(0, 0, kWidth, kHeight);

    gbVideo = new QGroupBox(gbSources);
    gbVideo->setGeometry(6, 18, 263, 72);
    cboxvideo = new QComboBox(gbVideo);
    cboxvideo->setGeometry(8, 18, 175, 22);
    ActualiserVideoSpeedBtn = IconButton(gbVideo, QStyle::SP_BrowserReload, 186, 18);
    PilotSpeedBtn = IconButton(gbVideo, QStyle::SP_MediaPlay, 210, 18);
    PilotSpeedBtn->setCheckable(true);
    SettingsSpeedBtn = IconButton(gbVideo, QStyle::SP_FileDialogDetailedView, 234, 18);
    LabelVideo = new TClickLabel(gbVideo);
    LabelVideo->setGeometry(8, 44, 200, 22);
    sbVideo = IconButton(gbVideo, QStyle::SP_DirOpenIcon, 210, 44);
    sbTernadex = IconButton(gbVideo, QStyle::SP_FileDialogContentsView, 234, 44);

    gbAudio = new QGroupBox(gbSources);
    cboxAudioType = new QComboBox(gbAudio);
    cboxAudioType->setGeometry(8, 18, 223, 22);
    sbDone = IconButton(gbAudio, QStyle::SP_TitleBarShadeButton, 234, 18);
    cbEcouterAudio = new QCheckBox(gbAudio);
    cbEcouterAudio->setGeometry(8, 42, 140, 20);
    cbEnregistrerAudio = new QCheckBox(gbAudio);
    cbEnregistrerAudio->setGeometry(150, 42, 108, 20);
    // Everything from here down is cut when the group is collapsed.
    cboxAudio = new QComboBox(gbAudio);
    cboxAudio->setGeometry(8, 66, 223, 22);
    ReglerAudioBtn = IconButton(gbAudio, QStyle::SP_FileDialogDetailedView, 234, 66);
    LabelSync = new QLabel(gbAudio);
    LabelSync->setGeometry(8, 92, 60, 22);
    RXspinCorrEdit = new QSpinBox(gbAudio);
    RXspinCorrEdit->setGeometry(70, 92, 56, 22);
    RXspinCorrEdit->setRange(-50, 50);

    gbFormatCapture = new QGroupBox(gbSources);
    cbFormatCapture = new QComboBox(gbFormatCapture);
    cbFormatCapture->setGeometry(8, 18, 247, 22);
    rgProfiles = new TRadioGroup(gbFormatCapture);
    rgProfiles->setGeometry(8, 42, 120, 82);
    Label1 = new TClickLabel(gbFormatCapture);
    Label1->setGeometry(8, 42, 120, 82);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->hide(); // the Windows Media choice decides which of the two shows
    rgStandard = new TRadioGroup(gbFormatCapture);
    rgStandard->setGeometry(134, 42, 121, 40);
    rgStandard->SetColumns(2);
    rgFrequenceDV = new TRadioGroup(gbFormatCapture);
    rgFrequenceDV->setGeometry(134, 84, 121, 76);
    leFramerateLabel = new QLabel(gbFormatCapture);
    leFramerateLabel->setGeometry(8, 130, 80, 22);
    leFramerate = new QLineEdit(gbFormatCapture);
    leFramerate->setGeometry(90, 130, 38, 22);
    leFramerateLabel->setBuddy(leFramerate);

    connect(rgFrequenceDV, &TRadioGroup::clicked, this, [this] { rgFrequenceDVClick(); });
    SetAudioGroupExpanded(true);
}

void TSourcesFrame::SetPanelTexts() {
    using namespace strings;
    gbSources->setTitle(kSourcesTitle);
    gbVideo->setTitle(kVideoSourceGroup);
    cboxvideo->setToolTip(kVideoListHint);
    ActualiserVideoSpeedBtn->setToolTip(kRefreshVideoHint);
    PilotSpeedBtn->setToolTip(kPilotHint);
    SettingsSpeedBtn->setToolTip(kVideoSettingsHint);
    LabelVideo->setToolTip(kSourcesNextVideoHint);
    gbAudio->setTitle(kAudioSourcesGroup);
    gbAudio->setToolTip(kAudioSourcesHint);
    cboxAudioType->setToolTip(kAudioTypeHint);
    cboxAudioType->clear();
    cboxAudioType->addItem(kAudioTypeNone);
    cboxAudio->setToolTip(kAudioListHint);
    ReglerAudioBtn->setToolTip(kAudioSettingsHint);
    sbDone->setToolTip(kAudioDoneHint);
    cbEcouterAudio->setText(kListenIncludedAudio);
    cbEnregistrerAudio->setText(kAddAudioAux);
    LabelSync->setText(kSyncLabel);
    RXspinCorrEdit->setToolTip(kSyncHint);
    gbFormatCapture->setTitle(kCaptureFormatGroup);
    cbFormatCapture->setToolTip(kCaptureFormatHint);
    rgProfiles->setToolTip(kWmvProfilesHint);
    rgProfiles->SetItems({kWmvProfileHigh, kWmvProfileMedium, kWmvProfileLow, kWmvProfileInternet});
    rgStandard->setToolTip(kStandardHint);
    rgStandard->SetItems({kStandardPal, kStandardNtsc});
    rgFrequenceDV->setTitle(kFrequencyGroup);
    rgFrequenceDV->setToolTip(kFrequencyHint);
    rgFrequenceDV->SetItems({kFrequency32000, kFrequency44100, kFrequency48000});
    leFramerateLabel->setText(kFramerateLabel);
    leFramerate->setToolTip(kFramerateHint);
    leFramerate->setText(kFramerateDefault);
    Label1->setText(kWmvProfileNote);
}

void TSourcesFrame::SetAudioGroupExpanded(bool expanded) {
    audioExpanded_ = expanded;
    const int height = expanded ? kAudioExpandedHeight : cboxAudio->y();
    gbAudio->setGeometry(6, gbVideo->geometry().bottom() + 3, 263, height);
    PlaceFormatGroup();
}

void TSourcesFrame::PlaceFormatGroup() {
    gbFormatCapture->setGeometry(6, gbAudio->geometry().bottom() + 3, 263, 164);
}

void TSourcesFrame::rgFrequenceDVClick() {
    if (prefs_ == nullptr || prefs_->frequenceDv == nullptr) return;
    const int index = rgFrequenceDV->ItemIndex();
    prefs_->frequenceDv->value =
        static_cast<std::uint8_t>(DvAudioRateIndex(rgFrequenceDV->ItemText(index).toStdString()));
}

} // namespace talvence
