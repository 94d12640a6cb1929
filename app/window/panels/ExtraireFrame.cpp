#include "app/window/panels/ExtraireFrame.h"

#include "resources/PanelStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>

namespace talvence {

TExtraireFrame::TExtraireFrame(QWidget* parent) : TPanelFrame(parent) {
    gbExtraire = new QGroupBox(this);
    gbExtraire->setGeometry(0, 0, kWidth, kHeight);
    Bevel3 = new QFrame(gbExtraire);
    Bevel3->setFrameShape(QFrame::Box);
    Bevel3->setFrameShadow(QFrame::Sunken);
    Bevel3->setGeometry(30, 17, 196, 148);
    Image = new QLabel(gbExtraire);
    Image->setGeometry(32, 19, 192, 144);
    Image->setScaledContents(true);

    gbIntervallo = new QGroupBox(gbExtraire);
    gbIntervallo->setGeometry(6, 174, 263, 110);
    RxSpinEdit7 = new QSpinBox(gbIntervallo);
    RxSpinEdit7->setGeometry(8, 24, 84, 24);
    RxSpinEdit7->setRange(0, 999999);
    cbUnites = new QComboBox(gbIntervallo);
    cbUnites->setGeometry(98, 24, 92, 24);
    RxSwitch1 = new QPushButton(gbIntervallo);
    RxSwitch1->setGeometry(198, 20, 56, 32);
    RxSwitch1->setCheckable(true);
    chronoLab = new QLabel(gbIntervallo);
    chronoLab->setGeometry(8, 56, 120, 44);
    chronoLab->setFont(ArialFont(24, true));
    chronoLab->hide();
    cbBeeps = new QCheckBox(gbIntervallo);
    cbBeeps->setGeometry(150, 68, 100, 22);

    gbNext = new QGroupBox(gbExtraire);
    gbNext->setGeometry(6, 292, 263, 56);
    destlabel = new TClickLabel(gbNext);
    destlabel->setGeometry(8, 22, 247, 22);
    destlabel->setCursor(Qt::PointingHandCursor);
}

void TExtraireFrame::SetPanelTexts() {
    using namespace strings;
    gbExtraire->setTitle(kGrabTitle);
    Bevel3->setToolTip(kGrabBevelHint);
    Image->setToolTip(kGrabThumbnailHint);
    gbIntervallo->setTitle(kIntervalometerGroup);
    gbIntervallo->setToolTip(kIntervalometerHint);
    chronoLab->setToolTip(kCountdownHint);
    chronoLab->setFont(ArialFont(24, true));
    RxSpinEdit7->setToolTip(kIntervalValueHint);
    cbUnites->setToolTip(kIntervalUnitHint);
    {
        const QSignalBlocker block(cbUnites);
        const int kept = cbUnites->currentIndex();
        cbUnites->clear();
        for (const char* unit : kIntervalUnits)
            cbUnites->addItem(unit);
        cbUnites->setCurrentIndex(kept < 0 ? 0 : kept);
    }
    RxSwitch1->setToolTip(kIntervalSwitchHint);
    SetSwitch(RxSwitch1->isChecked());
    cbBeeps->setText(kBeeps);
    cbBeeps->setToolTip(kBeepsHint);
    gbNext->setTitle(kNextImageGroup);
    destlabel->setToolTip(kDestinationHint);
}

void TExtraireFrame::ShowThumbnail(const QImage& image, const QRect& bounds) {
    if (image.isNull() || bounds.isEmpty()) return;
    Image->setGeometry(bounds);
    Image->setPixmap(QPixmap::fromImage(
        image.scaled(bounds.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    Bevel3->setGeometry(bounds.adjusted(-2, -2, 2, 2));
}

void TExtraireFrame::SetSwitch(bool on) {
    const QSignalBlocker block(RxSwitch1);
    RxSwitch1->setChecked(on);
    RxSwitch1->setText(on ? strings::kSwitchOn : strings::kSwitchOff);
}

void TExtraireFrame::LockInterval(bool locked) {
    RxSpinEdit7->setEnabled(!locked);
    cbUnites->setEnabled(!locked);
}

} // namespace talvence
