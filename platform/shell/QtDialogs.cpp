#include "platform/shell/QtDialogs.h"

#include "resources/Strings.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace talvence {

MsgAnswer QtDialogs::MessageBox(MsgType type, const std::string& text, MsgButtons buttons) {
    QMessageBox box(parent_);
    box.setWindowTitle(QString::fromUtf8(strings::kProductName));
    box.setText(QString::fromStdString(text));
    switch (type) {
    case MsgType::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgType::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgType::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgType::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoAll:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::YesToAll:
        return MsgAnswer::All;
    default:
        return MsgAnswer::Cancel;
    }
}

bool QtDialogs::ChooseFont(TFontSpec& font) {
    QFont initial(QString::fromStdString(font.name), font.size);
    initial.setBold(font.bold);
    initial.setItalic(font.italic);
    initial.setUnderline(font.underline);
    initial.setStrikeOut(font.strikeOut);
    bool ok = false;
    QFont chosen = QFontDialog::getFont(&ok, initial, parent_);
    if (!ok) return false;
    // The colour is part of the font the inlay uses; Qt's font dialog has no
    // colour, so it is asked right after.
    QColor initialColor(font.color & 0xFF, (font.color >> 8) & 0xFF, (font.color >> 16) & 0xFF);
    QColor color = QColorDialog::getColor(initialColor, parent_);
    if (!color.isValid()) return false;
    font.name = chosen.family().toStdString();
    font.size = chosen.pointSize() > 0 ? chosen.pointSize() : font.size;
    font.bold = chosen.bold();
    font.italic = chosen.italic();
    font.underline = chosen.underline();
    font.strikeOut = chosen.strikeOut();
    font.color = static_cast<std::uint32_t>(color.red()) |
                 (static_cast<std::uint32_t>(color.green()) << 8) |
                 (static_cast<std::uint32_t>(color.blue()) << 16);
    return true;
}

bool QtDialogs::ShowPropertyFrame(const std::string& caption,
                                  const std::vector<IPropertyPage*>& pages) {
    return RunPropertyFrame(caption, pages, parent_, std::nullopt);
}

bool QtDialogs::ShowPlacedPropertyFrame(const std::string& caption,
                                        const std::vector<IPropertyPage*>& pages, QWidget* owner,
                                        int x, int y) {
    if (!owner) return ShowPropertyFrame(caption, pages);
    return RunPropertyFrame(caption, pages, owner, owner->mapToGlobal(QPoint(x, y)));
}

bool QtDialogs::RunPropertyFrame(const std::string& caption,
                                 const std::vector<IPropertyPage*>& pages, QWidget* owner,
                                 std::optional<QPoint> at) {
    QDialog frame(owner);
    frame.setWindowTitle(QString::fromStdString(caption));
    if (at) frame.move(*at);
    auto* layout = new QVBoxLayout(&frame);
    auto* tabs = new QTabWidget(&frame);
    for (IPropertyPage* page : pages)
        tabs->addTab(page->CreateWidget(tabs), QString::fromStdString(page->Title()));
    layout->addWidget(tabs);
    // A frame without pages is its buttons alone, so the user can still close it.
    if (pages.empty()) {
        tabs->hide();
        frame.setMinimumWidth(240);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &frame);
    QObject::connect(box, &QDialogButtonBox::accepted, &frame, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &frame, &QDialog::reject);
    layout->addWidget(box);
    if (frame.exec() != QDialog::Accepted) {
        for (IPropertyPage* page : pages)
            page->Cancel();
        return false;
    }
    for (IPropertyPage* page : pages)
        page->Apply();
    return true;
}

} // namespace talvence
