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

// A start or end group: hour, minute and second over the date.
QGroupBox* TimeGroup(QWidget* parent, int y, QSpinBox*& hour, QSpinBox*& minute, QSpinBox*& second,
                     QDateEdit*& date) {
    auto* group = new QGroupBox(parent);
    group->setGeometry(6, y, 263, 86);
    group->setFont(ArialFont(9, true));
    hour = SpinEdit(group, 8, 23);
    minute = SpinEdit(group, 60, 59);
    second = SpinEdit(group, 112, 59);
    date = new QDateEdit(group);
    date->setGeometry(8, 52, 140, 24);
    date->setCalendarPopup(true);
    date->setDisplayFormat("dd/MM/yyyy");
    date->setFont(ArialFont(10));
    return group;
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

    gbDebut = TimeGroup(gbProgrammer, 76, RxSpinEdit1, RxSpinEdit2, RxSpinEdit3, DateEdit1);

    NowBtn = new QToolButton(gbProgrammer);
    NowBtn->setGeometry(200, 168, 69, 24);
    NowBtn->setArrowType(Qt::DownArrow);
    NowBtn->setToolButtonStyle(Qt::ToolButtonIconOnly);

    gbFin = TimeGroup(gbProgrammer, 196, RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, DateEdit2);

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
