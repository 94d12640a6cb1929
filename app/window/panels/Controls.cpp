#include "app/window/panels/Controls.h"

#include "resources/PanelStrings.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QToolButton>

namespace talvence {

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent), buttons_(new QButtonGroup(this)), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(6, 2, 6, 2);
    grid_->setSpacing(2);
    connect(buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
}

void TRadioGroup::SetItems(const QStringList& items) {
    for (auto* b : buttons_->buttons()) {
        buttons_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < items.size(); ++i)
        buttons_->addButton(new QRadioButton(items[i], this), i);
    Arrange();
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = std::max(1, columns);
    Arrange();
}

void TRadioGroup::Arrange() {
    const int n = Count();
    const int rows = std::max(1, (n + columns_ - 1) / columns_);
    for (auto* b : buttons_->buttons())
        grid_->removeWidget(b);
    // Column by column, as the design's radio groups fill them.
    for (int i = 0; i < n; ++i)
        grid_->addWidget(buttons_->button(i), i % rows, i / rows);
}

int TRadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (auto* b = buttons_->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last checked button.
    buttons_->setExclusive(false);
    for (auto* b : buttons_->buttons())
        b->setChecked(false);
    buttons_->setExclusive(true);
}

QString TRadioGroup::ItemText(int index) const {
    auto* b = buttons_->button(index);
    return b ? b->text() : QString();
}

int TRadioGroup::Count() const {
    return static_cast<int>(buttons_->buttons().size());
}

TBrowseEdit::TBrowseEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(edit_, 1);
    row->addWidget(button_);
    button_->setText("...");
    connect(edit_, &QLineEdit::textChanged, this, &TBrowseEdit::changed);
    connect(button_, &QToolButton::clicked, this, [this] {
        const QString chosen = Browse();
        if (!chosen.isEmpty()) SetText(chosen);
    });
}

QString TBrowseEdit::Text() const {
    return edit_->text();
}
void TBrowseEdit::SetText(const QString& text) {
    edit_->setText(text);
}

QString TDirectoryEdit::Browse() {
    return QFileDialog::getExistingDirectory(this, strings::kChooseFolder, Text());
}

QString TFileNameEdit::Browse() {
    return QFileDialog::getOpenFileName(this, strings::kChooseFile, Text());
}

TPanelFrame::TPanelFrame(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setFont(ArialFont(8));
    hide();
}

void TPanelFrame::ShowPanel(int left) {
    move(left, kTop);
    raise();
    show();
}

void TPanelFrame::HidePanel() {
    hide();
}

QToolButton* IconButton(QWidget* parent, QStyle::StandardPixmap icon, int x, int y) {
    auto* b = new QToolButton(parent);
    b->setGeometry(x, y, 22, 22);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoRaise(true);
    return b;
}

QFont ArialFont(int points, bool bold) {
    QFont font(QStringLiteral("Arial"), points);
    font.setBold(bold);
    return font;
}

} // namespace talvence
