#include "app/window/panels/OptionsFrame.h"

#include "resources/PanelStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace talvence {

namespace {

QCheckBox* CheckBox(QWidget* parent, int y) {
    auto* box = new QCheckBox(parent);
    box->setGeometry(14, y, 250, 20);
    return box;
}

} // namespace

TOptionsFrame::TOptionsFrame(QWidget* parent) : TPanelFrame(parent) {
    gbOptions = new QGroupBox(this);
    gbOptions->setGeometry(0, 0, kWidth, kHeight);

    gbPrefs = new QGroupBox(gbOptions);
    gbPrefs->setGeometry(6, 18, 263, 88);
    SpeedButton1 = IconButton(gbPrefs, QStyle::SP_DialogSaveButton, 8, 16);
    LabelSauverNow = new QLabel(gbPrefs);
    LabelSauverNow->setGeometry(34, 16, 220, 22);
    SpeedButton2 = IconButton(gbPrefs, QStyle::SP_TrashIcon, 8, 40);
    LabelEffacerPrefs = new QLabel(gbPrefs);
    LabelEffacerPrefs->setGeometry(34, 40, 220, 22);
    LabelEffacerPrefs->setBuddy(SpeedButton2);
    cbPrefsQuittant = new QCheckBox(gbPrefs);
    cbPrefsQuittant->setGeometry(8, 64, 247, 20);

    gbProfiles = new QGroupBox(gbOptions);
    gbProfiles->setGeometry(6, 110, 263, 80);
    Label1 = new QLabel(gbProfiles);
    Label1->setGeometry(8, 18, 100, 28);
    rgversion = new TRadioGroup(gbProfiles);
    rgversion->setGeometry(110, 18, 145, 28);
    rgversion->SetColumns(3);
    cboxMedia = new QComboBox(gbProfiles);
    cboxMedia->setGeometry(8, 52, 247, 22);

    cbConfirmerImage = CheckBox(gbOptions, 196);
    rgExtension = new TRadioGroup(gbOptions);
    rgExtension->setGeometry(6, 220, 118, 52);
    gbQuality = new QGroupBox(gbOptions);
    gbQuality->setGeometry(130, 218, 139, 54);
    TrackBar1 = new QSlider(Qt::Horizontal, gbQuality);
    TrackBar1->setGeometry(8, 22, 96, 22);
    TrackBar1->setRange(1, 100);
    labQuality = new QLabel(gbQuality);
    labQuality->setGeometry(108, 22, 26, 22);
    cbScn = CheckBox(gbOptions, 278);
    cbConfirmerVideo = CheckBox(gbOptions, 300);

    connect(TrackBar1, &QSlider::valueChanged, labQuality,
            [this](int value) { labQuality->setNum(value); });
    TrackBar1->setValue(50);
}

void TOptionsFrame::SetPanelTexts() {
    using namespace strings;
    gbOptions->setTitle(kSettingsTitle);
    gbPrefs->setTitle(kPreferencesGroup);
    LabelSauverNow->setText(kSaveNow);
    LabelSauverNow->setToolTip(kSaveNowHint);
    SpeedButton2->setToolTip(kDeletePrefsHint);
    LabelEffacerPrefs->setText(kDeletePrefs);
    LabelEffacerPrefs->setToolTip(kDeletePrefsHint);
    cbPrefsQuittant->setText(kSaveOnQuit);
    cbPrefsQuittant->setToolTip(kSaveOnQuitHint);
    gbProfiles->setTitle(kWmvGroup);
    gbProfiles->setToolTip(kWmvGroupHint);
    Label1->setText(kWmvVersionLabel);
    rgversion->SetItems({kWmvVersion4, kWmvVersion7, kWmvVersion8});
    if (cboxMedia->count() == 0) cboxMedia->setPlaceholderText(kWmvListPlaceholder);
    cbConfirmerImage->setText(kConfirmImage);
    cbConfirmerImage->setToolTip(kConfirmImageHint);
    rgExtension->setToolTip(kSnapshotTypeHint);
    rgExtension->SetItems({kSnapshotBmp, kSnapshotJpeg});
    gbQuality->setTitle(kJpegQualityGroup);
    gbQuality->setToolTip(kJpegQualityHint);
    labQuality->setNum(TrackBar1->value());
    cbScn->setText(kSceneFile);
    cbScn->setToolTip(kSceneFileHint);
    cbConfirmerVideo->setText(kConfirmVideo);
    cbConfirmerVideo->setToolTip(kConfirmVideoHint);
}

} // namespace talvence
