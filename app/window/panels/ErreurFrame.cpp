#include "app/window/panels/ErreurFrame.h"

#include "resources/PanelStrings.h"
#include "resources/Strings.h"
#include "system/DiagnosticsReport.h"

#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace talvence {

namespace {

// Mail programs expect CR LF between the body's lines.
QByteArray MailEncoded(QString text) {
    text.replace("\r\n", "\n").replace('\n', "\r\n");
    return QUrl::toPercentEncoding(text);
}

} // namespace

TErreurFrame::TErreurFrame(QWidget* window, QWidget* parent, UrlOpener openUrl)
    : QWidget(parent ? parent : window), window_(window), openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    setFont(ArialFont(8));

    Image1 = new QLabel(this);
    Image1->setGeometry(12, 14, 32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    Label1 = new QLabel(this);
    Label1->setGeometry(52, 10, 260, 40);
    Label1->setFont(ArialFont(16, true));
    Label1->setStyleSheet("color: maroon");
    auto* shadow = new QGraphicsDropShadowEffect(Label1);
    shadow->setOffset(2, 2);
    shadow->setBlurRadius(2);
    Label1->setGraphicsEffect(shadow);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(12, 60, 296, 300);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    QFont italic = ArialFont(9);
    italic.setItalic(true);
    Memo1->setFont(italic);
    LabelMail = new TClickLabel(this);
    LabelMail->setGeometry(12, 370, 296, 22);
    LabelMail->setAlignment(Qt::AlignCenter);
    LabelMail->setCursor(Qt::PointingHandCursor);
    QFont link(QStringLiteral("Verdana"), 8);
    link.setUnderline(true);
    LabelMail->setFont(link);
    LabelMail->setStyleSheet("color: blue");
    FermerErreurBtn = new QPushButton(this);
    FermerErreurBtn->setGeometry(122, 404, 76, 28);

    connect(LabelMail, &TClickLabel::clicked, this, &TErreurFrame::SendReport);
    connect(FermerErreurBtn, &QPushButton::clicked, this, &TErreurFrame::FermerErreurBtnClick);
    hide();
}

void TErreurFrame::SetPanelTexts() {
    Label1->setText(QString(strings::kMakerName) + strings::kSorry);
    LabelMail->setText(strings::kSendReportLink);
    FermerErreurBtn->setText(strings::kClose);
}

void TErreurFrame::ShowErrorReport(const std::string& text, bool fatal) {
    fatal_ = fatal;
    move(0, 0);
    raise();
    subject_ = QString("%1%2 %3").arg(strings::kErrorReportSubject, strings::kProductName,
                                      strings::kProductVersion);
    body_ = QString::fromStdString(text);
    savedSize_ = window_->size();
    savedMinimum_ = window_->minimumSize();
    savedMaximum_ = window_->maximumSize();
    SetPanelTexts();
    Memo1->setPlainText(QString::fromStdString(ErrorReportBody(text, fatal)));
    // The client area becomes the panel; whatever frames it (menu, status
    // bar) keeps its size.
    const QWidget* area = parentWidget();
    const QSize around = area == window_ ? QSize(0, 0) : window_->size() - area->size();
    window_->setFixedSize(size() + around);
    show();
}

void TErreurFrame::FermerErreurBtnClick() {
    hide();
    if (fatal_) window_->close();
    window_->setMinimumSize(savedMinimum_);
    window_->setMaximumSize(savedMaximum_);
    window_->resize(savedSize_);
}

QUrl TErreurFrame::MailUrl() const {
    return QUrl::fromEncoded("mailto:" + QByteArray(strings::kSupportAddress) +
                             "?subject=" + MailEncoded(subject_) + "&body=" + MailEncoded(body_));
}

void TErreurFrame::SendReport() {
    openUrl_(MailUrl());
}

} // namespace talvence
