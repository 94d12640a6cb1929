#include "app/window/panels/AproposFrame.h"

#include "resources/PanelStrings.h"
#include "resources/Strings.h"

#include <QStyle>
#include <QTextEdit>
#include <QToolButton>

namespace talvence {

TAproposFrame::TAproposFrame(QWidget* parent) : TPanelFrame(parent) {
    Label1 = new TClickLabel(this);
    Label1->setGeometry(8, 8, 259, 32);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(ArialFont(16, true));
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setGeometry(8, 48, 259, 280);
    RichEdit1->setReadOnly(true);
    sbTernadex = new QToolButton(this);
    sbTernadex->setGeometry(114, 340, 48, 48);
    sbTernadex->setIconSize(QSize(40, 40));
    sbTernadex->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    sbTernadex->setAutoRaise(true);
}

void TAproposFrame::SetPanelTexts() {
    sbTernadex->setToolTip(strings::kAboutClipBrowserHint);
}

void TAproposFrame::ShowPanel(int left) {
    using namespace strings;
    Label1->setText(QString("%1 %2 %3").arg(kProductName, kProductVersion, kLanguageTag));
    RichEdit1->setPlainText(kAboutDescription);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    TPanelFrame::ShowPanel(left);
}

} // namespace talvence
