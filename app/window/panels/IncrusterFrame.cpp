#include "app/window/panels/IncrusterFrame.h"

#include "resources/PanelStrings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

namespace talvence {

TIncrusterFrame::TIncrusterFrame(QWidget* parent) : TPanelFrame(parent) {
    gbIncruster = new QGroupBox(this);
    gbIncruster->setGeometry(0, 0, kWidth, kHeight);

    rgMode = new TRadioGroup(gbIncruster);
    rgMode->setGeometry(6, 18, 128, 40);
    rgMode->SetColumns(2);
    gbDuree = new QGroupBox(gbIncruster);
    gbDuree->setGeometry(140, 18, 129, 40);
    LabelDuree = new QLabel(gbDuree);
    LabelDuree->setGeometry(6, 12, 72, 24);
    LabelDuree->setWordWrap(true);
    RxSpinEdit1 = new QSpinBox(gbDuree);
    RxSpinEdit1->setGeometry(80, 12, 44, 22);
    RxSpinEdit1->setRange(0, 99);
    LabelDuree->setBuddy(RxSpinEdit1);

    rgChoix = new TRadioGroup(gbIncruster);
    rgChoix->setGeometry(6, 62, 150, 70);
    gbDecalage = new QGroupBox(gbIncruster);
    gbDecalage->setGeometry(160, 62, 109, 70);
    RxSpinEdit2 = new QSpinBox(gbDecalage);
    RxSpinEdit2->setGeometry(10, 30, 60, 22);
    RxSpinEdit2->setRange(-23, 23);

    rgWhen = new TRadioGroup(gbIncruster);
    rgWhen->setGeometry(6, 136, 150, 70);
    rgAlign = new TRadioGroup(gbIncruster);
    rgAlign->setGeometry(160, 136, 109, 70);

    LabelFormat1 = new QLabel(gbIncruster);
    LabelFormat1->setGeometry(8, 212, 90, 22);
    edFormat1 = new QLineEdit(gbIncruster);
    edFormat1->setGeometry(100, 212, 167, 22);
    LabelFormat1->setBuddy(edFormat1);
    LabelFormat2 = new QLabel(gbIncruster);
    LabelFormat2->setGeometry(8, 238, 90, 22);
    edFormat2 = new QLineEdit(gbIncruster);
    edFormat2->setGeometry(100, 238, 167, 22);
    LabelFormat2->setBuddy(edFormat2);

    gbPolice = new QGroupBox(gbIncruster);
    gbPolice->setGeometry(6, 266, 263, 50);
    SpeedButton4 = IconButton(gbPolice, QStyle::SP_FileDialogDetailedView, 8, 20);
    LabelPolice = new QLabel(gbPolice);
    LabelPolice->setGeometry(34, 20, 80, 22);
    LabelPolice->setBuddy(SpeedButton4);
    cbAutoFontSize = new QCheckBox(gbPolice);
    cbAutoFontSize->setGeometry(120, 20, 137, 22);

    IncrusterBtn = new QToolButton(gbIncruster);
    IncrusterBtn->setGeometry(60, 326, 155, 40);
    IncrusterBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    IncrusterBtn->setFont(ArialFont(10, true));
}

void TIncrusterFrame::SetPanelTexts() {
    using namespace strings;
    gbIncruster->setTitle(kInlayTitle);
    rgMode->SetItems({kInlayModeManual, kInlayModeAuto});
    rgMode->setToolTip(kInlayModeHint);
    LabelDuree->setText(kInlayDuration);
    RxSpinEdit1->setToolTip(kInlayDurationHint);
    gbDecalage->setTitle(kInlayTimeDifference);
    gbDecalage->setToolTip(kInlayOffsetGroupHint);
    RxSpinEdit2->setToolTip(kInlayOffsetHint);
    rgChoix->setToolTip(kInlayChoiceHint);
    rgWhen->setToolTip(kInlayWhenHint);
    LabelFormat1->setText(kInlayFormat1);
    edFormat1->setToolTip(kInlayFormat1Hint);
    LabelFormat2->setText(kInlayFormat2);
    edFormat2->setToolTip(kInlayFormat2Hint);
    LabelPolice->setText(kInlayFont);
    LabelPolice->setToolTip(kInlayFontHint);
    SpeedButton4->setToolTip(kInlayFontHint);
    cbAutoFontSize->setText(kInlayStandardSize);
    cbAutoFontSize->setToolTip(kInlayAutoSizeHint);
    rgAlign->setTitle(kInlayAlignment);
    rgAlign->SetItems({kInlayLeft, kInlayCentered, kInlayRight});
    rgAlign->setToolTip(kInlayAlignmentHint);
}

} // namespace talvence
