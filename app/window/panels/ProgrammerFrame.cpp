#include "app/window/panels/ProgrammerFrame.h"

#include "resources/PanelStrings.h"

#include <QDateEdit>
#include <QSpinBox>
#include <QToolButton>

namespace talvence {

namespace {

QSpinBox* SpinEdit(QWidget* parent, int x, int maximum) {
    auto* spin = new QSpinBox(parent);
    spin->setGeometry(x, 22, 48, 24);
    spin->setRange(0, maximum);
    spin->setWrapping(true);
    spin->setFont(ArialFont(10));
    return spin;
}

QDateEdit* DateEdit(QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setGeometry(8, 52, 140, 24);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat("dd/MM/yyyy");
    edit->setFont(ArialFont(10));
    return edit;
}

void SetTime(QSpinBox* h, QSpinBox* m, QSpinBox* s, int hour, int minute, int second) {
    const QSignalBlocker bh(h), bm(m), bs(s);
    h->setValue(hour);
    m->setValue(minute);
    s->setValue(second);
}

} // namespace

TProgrammerFrame::TProgrammerFrame(QWidget* parent) : TPanelFrame(parent) {
    gbProgrammer = new QGroupBox(this);
    gbProgrammer->setGeometry(0, 0, kWidth, kHeight);

    RxClock2 = new QLabel(gbProgrammer);
    RxClock2->setGeometry(8, 22, 259, 44);
    RxClock2->setAlignment(Qt::AlignCenter);
    RxClock2->setFont(QFont("Rockwell", 20, QFont::Bold));
    RxClock2->setFrameShape(QFrame::Panel);
    RxClock2->setFrameShadow(QFrame::Sunken);

    gbDebut = new QGroupBox(gbProgrammer);
    gbDebut->setGeometry(6, 76, 263, 86);
    gbDebut->setFont(ArialFont(9, true));
    RxSpinEdit1 = SpinEdit(gbDebut, 8, 23);
    RxSpinEdit2 = SpinEdit(gbDebut, 60, 59);
    RxSpinEdit3 = SpinEdit(gbDebut, 112, 59);
    DateEdit1 = DateEdit(gbDebut);

    NowBtn = new QToolButton(gbProgrammer);
    NowBtn->setGeometry(200, 168, 69, 24);
    NowBtn->setArrowType(Qt::DownArrow);
    NowBtn->setToolButtonStyle(Qt::ToolButtonIconOnly);

    gbFin = new QGroupBox(gbProgrammer);
    gbFin->setGeometry(6, 196, 263, 86);
    gbFin->setFont(ArialFont(9, true));
    RxSpinEdit4 = SpinEdit(gbFin, 8, 23);
    RxSpinEdit5 = SpinEdit(gbFin, 60, 59);
    RxSpinEdit6 = SpinEdit(gbFin, 112, 59);
    DateEdit2 = DateEdit(gbFin);

    ProgBtn = new QToolButton(gbProgrammer);
    ProgBtn->setGeometry(60, 296, 155, 40);
    ProgBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ProgBtn->setFont(ArialFont(10, true));
}

void TProgrammerFrame::SetPanelTexts() {
    using namespace strings;
    gbProgrammer->setTitle(kScheduleTitle);
    NowBtn->setToolTip(kNowHint);
    RxClock2->setToolTip(kClockHint);
    ProgBtn->setToolTip(kScheduleButtonHint);
    gbDebut->setTitle(kStartGroup);
    gbDebut->setToolTip(kStartGroupHint);
    gbFin->setTitle(kEndGroup);
    gbFin->setToolTip(kEndGroupHint);
    RxSpinEdit1->setToolTip(kStartHourHint);
    RxSpinEdit2->setToolTip(kStartMinuteHint);
    RxSpinEdit3->setToolTip(kStartSecondHint);
    DateEdit1->setToolTip(kStartDateHint);
    RxSpinEdit4->setToolTip(kEndHourHint);
    RxSpinEdit5->setToolTip(kEndMinuteHint);
    RxSpinEdit6->setToolTip(kEndSecondHint);
    DateEdit2->setToolTip(kEndDateHint);
}

void TProgrammerFrame::ShowPanel(int left) {
    emit aboutToShow();
    TPanelFrame::ShowPanel(left);
}

QDate TProgrammerFrame::StartDate() const {
    return DateEdit1->date();
}
QDate TProgrammerFrame::EndDate() const {
    return DateEdit2->date();
}
int TProgrammerFrame::StartSeconds() const {
    return RxSpinEdit1->value() * 3600 + RxSpinEdit2->value() * 60 + RxSpinEdit3->value();
}
int TProgrammerFrame::EndSeconds() const {
    return RxSpinEdit4->value() * 3600 + RxSpinEdit5->value() * 60 + RxSpinEdit6->value();
}

void TProgrammerFrame::SetStart(const QDate& date, int hour, int minute, int second) {
    const QSignalBlocker block(DateEdit1);
    DateEdit1->setDate(date);
    SetTime(RxSpinEdit1, RxSpinEdit2, RxSpinEdit3, hour, minute, second);
}

void TProgrammerFrame::SetEnd(const QDate& date, int hour, int minute, int second) {
    const QSignalBlocker block(DateEdit2);
    DateEdit2->setDate(date);
    SetTime(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, hour, minute, second);
}

} // namespace talvence
