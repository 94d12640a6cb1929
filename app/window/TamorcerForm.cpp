#include "app/window/TamorcerForm.h"

#include "app/window/panels/Controls.h"
#include "resources/Resources.h"
#include "resources/Strings.h"
#include "resources/WindowStrings.h"

#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include <iterator>

namespace talvence {

std::vector<PrimingPiece> PrimingInstructions() {
    using S = PrimingStyle;
    static constexpr S kStyles[] = {
        S::Plain, S::Key,   S::Plain, S::Key,   S::Plain, S::Plain, S::Key,
        S::Plain, S::Key,   S::Plain, S::Key,   S::Plain, S::Name,  S::Plain,
        S::Name,  S::Plain, S::Name,  S::Plain, S::Name,  S::Plain, S::Key,
        S::Plain, S::Name,  S::Plain, S::Name,  S::Plain, S::Name,  S::Plain,
    };
    static_assert(std::size(kStyles) == std::size(strings::kPrimingPieces));
    std::vector<PrimingPiece> pieces{{S::Title, strings::kPrimingTitle}};
    for (std::size_t i = 0; i < std::size(kStyles); ++i)
        pieces.push_back(
            {kStyles[i], strings::Fmt(strings::kPrimingPieces[i],
                                      {strings::kProductName, strings::kProductVersion})});
    return pieces;
}

TamorcerForm::TamorcerForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TamorcerForm");
    setWindowTitle(QString::fromStdString(strings::Fmt(
        strings::kPrimingCaptionAtCreation, {strings::kProductName, strings::kProductVersion})));
    setFixedSize(kWidth, kHeight);
    setFont(ArialFont(8));

    re = new QTextEdit(this);
    re->setObjectName("re");
    re->setGeometry(8, 8, 276, 296);
    re->setReadOnly(true);
    re->setFrameShape(QFrame::NoFrame);
    re->setContextMenuPolicy(Qt::NoContextMenu);
    // In the window's colour, as if written on it.
    QPalette palette = re->palette();
    palette.setColor(QPalette::Base, this->palette().color(QPalette::Window));
    re->setPalette(palette);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(38, 318, 216, 62);
    const auto picture = resources::FindResource("moviebox");
    QPixmap pixmap;
    if (pixmap.loadFromData(picture.data(), static_cast<uint>(picture.size()), "PNG"))
        Image1->setPixmap(pixmap);

    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName("Memo2");
    Memo2->setGeometry(302, 9, 185, 89);
    Memo2->setVisible(false);

    WriteInstructions();
    hide();
}

void TamorcerForm::SetShownCaption() {
    setWindowTitle(strings::kPrimingCaption);
}

void TamorcerForm::WriteInstructions() {
    QFont base(QStringLiteral("Times New Roman"), 10);
    re->document()->setDefaultFont(base);
    re->clear();
    QTextCursor cursor(re->document());
    for (const PrimingPiece& piece : PrimingInstructions()) {
        QTextCharFormat format;
        format.setFontFamilies({base.family()});
        format.setFontPointSize(piece.style == PrimingStyle::Title ? 14 : 10);
        format.setFontWeight(piece.style == PrimingStyle::Title || piece.style == PrimingStyle::Key
                                 ? QFont::Bold
                                 : QFont::Normal);
        format.setFontItalic(piece.style == PrimingStyle::Key || piece.style == PrimingStyle::Name);
        format.setForeground(piece.style == PrimingStyle::Title || piece.style == PrimingStyle::Key
                                 ? QColor(0, 0, 255)
                                 : QColor(0, 0, 0));
        // The document breaks lines on "\n"; a "\r" left in would show as a glyph.
        QString text = QString::fromStdString(piece.text);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        cursor.insertText(text, format);
    }
    re->moveCursor(QTextCursor::Start);
}

} // namespace talvence
