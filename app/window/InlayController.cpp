#include "app/window/InlayController.h"

#include "app/core/InlayPreferences.h"
#include "app/window/panels/IncrusterFrame.h"
#include "platform/log/Log.h"
#include "platform/shell/Dialogs.h"
#include "prefs/Preferences.h"
#include "resources/PanelStrings.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include <functional>

namespace talvence {

namespace {

// The corner square: a press shows or hides the sliders.
class TCornerSquare : public QFrame {
public:
    TCornerSquare(QWidget* parent, std::function<void()> pressed)
        : QFrame(parent), pressed_(std::move(pressed)) {
        setFrameShape(QFrame::Box);
        setAutoFillBackground(true);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        pressed_();
    }

private:
    std::function<void()> pressed_;
};

// Items of a radio group, keeping `index` when it fits and taking 0 when not.
int FillItems(TRadioGroup* group, const QStringList& items, int index) {
    group->SetItems(items);
    if (index < 0 || index >= group->Count()) index = 0;
    group->SetItemIndex(index);
    return index;
}

// The superposer's setters do not fail today; where the design swallows a failure, so do we.
template <class F> void Quietly(const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        TLOG(Capture) << what << ": " << e.what();
    }
}

} // namespace

TInlayController::TInlayController(TIncrusterFrame& frame, QWidget& previewPanel, Actions actions,
                                   TPreferences& prefs, Tvq_Superposer& superposer,
                                   IDialogs& dialogs, QObject* parent)
    : QObject(parent), frame_(frame), actions_(actions), prefs_(prefs), superposer_(superposer),
      dialogs_(dialogs) {
    // Below and at the right of the 384 × 288 preview at (16, 16); hidden until asked for.
    Xslider = new QSlider(Qt::Horizontal, &previewPanel);
    Xslider->setObjectName("Xslider");
    Xslider->setGeometry(16, 304, 384, 16);
    Xslider->setRange(0, kInlaySliderMaxX);
    Yslider = new QSlider(Qt::Vertical, &previewPanel); // its maximum is at the top
    Yslider->setObjectName("Yslider");
    Yslider->setGeometry(400, 16, 15, 288);
    Yslider->setRange(0, kInlaySliderMaxY);
    for (QSlider* s : {Xslider, Yslider}) {
        s->setAutoFillBackground(true);
        s->hide();
        connect(s, &QSlider::valueChanged, this, [this] { SliderChanged(); });
    }
    Shape1 = new TCornerSquare(&previewPanel, [this] { actions_.sliders->trigger(); });
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(400, 304, 15, 16);

    startIcon_ = actions_.incruster->icon();
    frame_.IncrusterBtn->setDefaultAction(actions_.incruster);
    // Qt has already flipped the toggle: unchecked now means it was drawing.
    connect(actions_.incruster, &QAction::triggered, this,
            [this](bool checked) { (checked ? actions_.start : actions_.stop)->trigger(); });
    connect(actions_.start, &QAction::triggered, this, [this] { StartInlay(); });
    connect(actions_.stop, &QAction::triggered, this, [this] { StopInlay(); });
    connect(actions_.sliders, &QAction::triggered, this,
            [this](bool checked) { SlidersExecute(checked); });

    connect(frame_.rgMode, &TRadioGroup::clicked, this, [this](int i) { ModeClick(i); });
    connect(frame_.RxSpinEdit1, &QSpinBox::valueChanged, this, [this](int seconds) {
        prefs_.dureeIncruster->value = seconds;
        superposer_.SetInlayDuration(seconds);
    });
    connect(frame_.rgChoix, &TRadioGroup::clicked, this, [this](int i) { ChoiceClick(i); });
    connect(frame_.RxSpinEdit2, &QSpinBox::valueChanged, this, [this](int hours) {
        prefs_.decalageHoraire->value = hours;
        superposer_.SetInlayHourOffset(hours);
    });
    connect(frame_.rgAlign, &TRadioGroup::clicked, this, [this](int i) {
        prefs_.alignement->value = i;
        superposer_.SetInlayAlignment(static_cast<std::uint8_t>(i));
    });
    connect(frame_.rgWhen, &TRadioGroup::clicked, this, [this](int i) {
        prefs_.whenIncrust->value = i;
        superposer_.SetInlayWhen(static_cast<std::uint8_t>(i));
    });
    for (QLineEdit* edit : {frame_.edFormat1, frame_.edFormat2})
        connect(edit, &QLineEdit::textChanged, this, [this] { FormatChange(); });
    connect(frame_.cbAutoFontSize, &QCheckBox::clicked, this, [this](bool checked) {
        prefs_.tailleAutomatique->value = checked;
        Quietly("automatic inlay size", [&] { superposer_.SetInlayAutoFontSize(checked); });
    });
    connect(frame_.SpeedButton4, &QToolButton::clicked, this, [this] { FontClick(); });
}

void TInlayController::SetTexts() {
    Shape1->setToolTip(strings::kCornerHint);
    Yslider->setToolTip(strings::kYSliderHint);
    Xslider->setToolTip(strings::kXSliderHint);
    actions_.sliders->setText(Xslider->isVisible() ? strings::kHideSliders : strings::kShowSliders);
}

void TInlayController::AdaptToSource(bool dv) {
    using namespace strings;
    frame_.rgMode->show();
    frame_.gbDuree->setVisible(prefs_.modeIncruster->value == 1);
    QStringList choices{kInlayRealTime};
    QStringList when{kInlayUnique, kInlayDaily};
    if (dv) {
        choices << kInlayDvDatecode << kInlayTimecode;
        when << kInlayScene;
    }
    prefs_.whenIncrust->value = FillItems(frame_.rgWhen, when, prefs_.whenIncrust->value);
    prefs_.whatIncrust->value = FillItems(frame_.rgChoix, choices, prefs_.whatIncrust->value);
    frame_.gbDecalage->setVisible(dv && prefs_.whatIncrust->value == 1);
}

void TInlayController::ApplyPreferences() {
    {
        const QSignalBlocker b1(frame_.edFormat1), b2(frame_.edFormat2), b3(frame_.RxSpinEdit1),
            b4(frame_.RxSpinEdit2), b5(Xslider), b6(Yslider);
        frame_.edFormat1->setText(QString::fromStdString(prefs_.formatDatecode1->value));
        frame_.edFormat2->setText(QString::fromStdString(prefs_.formatDatecode2->value));
        frame_.RxSpinEdit1->setValue(prefs_.dureeIncruster->value);
        frame_.RxSpinEdit2->setValue(prefs_.decalageHoraire->value);
        Xslider->setValue(prefs_.positionX->value);
        Yslider->setValue(prefs_.positionY->value);
    }
    frame_.rgMode->SetItemIndex(prefs_.modeIncruster->value);
    ModeClick(prefs_.modeIncruster->value);
    frame_.rgChoix->SetItemIndex(prefs_.whatIncrust->value);
    ChoiceClick(prefs_.whatIncrust->value);
    frame_.rgAlign->SetItemIndex(prefs_.alignement->value);
    frame_.rgWhen->SetItemIndex(prefs_.whenIncrust->value);
    frame_.cbAutoFontSize->setChecked(prefs_.tailleAutomatique->value);
    // The toggle's look follows "Incrustation On" even before a preview is built.
    ShowToggle(prefs_.incrustationOn->value);
}

void TInlayController::CollectPreferences() {
    prefs_.formatDatecode1->value = frame_.edFormat1->text().toStdString();
    prefs_.formatDatecode2->value = frame_.edFormat2->text().toStdString();
    if (frame_.rgMode->ItemIndex() >= 0) prefs_.modeIncruster->value = frame_.rgMode->ItemIndex();
    prefs_.dureeIncruster->value = frame_.RxSpinEdit1->value();
    if (frame_.rgChoix->ItemIndex() >= 0) prefs_.whatIncrust->value = frame_.rgChoix->ItemIndex();
    prefs_.decalageHoraire->value = frame_.RxSpinEdit2->value();
    if (frame_.rgAlign->ItemIndex() >= 0) prefs_.alignement->value = frame_.rgAlign->ItemIndex();
    if (frame_.rgWhen->ItemIndex() >= 0) prefs_.whenIncrust->value = frame_.rgWhen->ItemIndex();
    prefs_.tailleAutomatique->value = frame_.cbAutoFontSize->isChecked();
    prefs_.positionX->value = Xslider->value();
    prefs_.positionY->value = Yslider->value();
}

void TInlayController::StartInlay() {
    StartInlayFromPreferences(superposer_, prefs_);
    prefs_.incrustationOn->value = true;
    ShowToggle(true);
}

void TInlayController::StopInlay() {
    Quietly("stopping the inlay", [this] { superposer_.SetInlayActive(false); });
    prefs_.incrustationOn->value = false;
    ShowToggle(false);
}

void TInlayController::ShowToggle(bool on) {
    QAction* toggle = actions_.incruster;
    const QSignalBlocker block(toggle);
    toggle->setChecked(on);
    toggle->setText(on ? strings::kInlayStop : strings::kInlayButton);
    toggle->setToolTip(on ? strings::kInlayStopHint : strings::kInlayStartHint);
    // Image 25 while drawing, 26 while not.
    toggle->setIcon(on ? frame_.style()->standardIcon(QStyle::SP_BrowserStop) : startIcon_);
}

void TInlayController::SetSliderColour(const QColor& colour) {
    for (QWidget* w : {static_cast<QWidget*>(Xslider), static_cast<QWidget*>(Yslider), Shape1}) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, colour);
        w->setPalette(palette);
    }
}

void TInlayController::SlidersExecute(bool visible) {
    Xslider->setVisible(visible);
    Yslider->setVisible(visible);
    actions_.sliders->setText(visible ? strings::kHideSliders : strings::kShowSliders);
    if (visible && !actions_.incruster->isChecked()) actions_.incruster->trigger();
}

void TInlayController::ModeClick(int index) {
    prefs_.modeIncruster->value = index;
    superposer_.SetInlayAutoMode(index);
    frame_.gbDuree->setVisible(index == 1);
}

void TInlayController::ChoiceClick(int index) {
    prefs_.whatIncrust->value = index;
    superposer_.SetInlaySource(static_cast<std::uint8_t>(index));
    frame_.gbDecalage->setVisible(index == 1);
}

void TInlayController::FormatChange() {
    // Kept in the preferences at once, so that a graph rebuilt before a save draws them too.
    prefs_.formatDatecode1->value = frame_.edFormat1->text().toStdString();
    prefs_.formatDatecode2->value = frame_.edFormat2->text().toStdString();
    superposer_.SetInlayFormats(prefs_.formatDatecode1->value, prefs_.formatDatecode2->value);
}

void TInlayController::SliderChanged() {
    // As the formats: a rebuilt graph keeps the position the sliders show.
    prefs_.positionX->value = Xslider->value();
    prefs_.positionY->value = Yslider->value();
    SendInlayPosition(superposer_, prefs_);
}

void TInlayController::FontClick() {
    TFontSpec font = prefs_.incrustFont->value;
    if (dialogs_.ChooseFont(font)) prefs_.incrustFont->value = font;
    // Confirmed or not, the superposer gets the font of the preference.
    Quietly("the inlay font", [this] { SendInlayFont(superposer_, prefs_); });
}

} // namespace talvence
