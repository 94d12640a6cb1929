#include "app/window/panels/HelpFrame.h"

#include "resources/PanelStrings.h"

#include <QHeaderView>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace talvence {

namespace {

QTreeWidget* TwoColumnList(QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(2);
    list->setRootIsDecorated(false);
    list->setFont(ArialFont(8));
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(0, 150);
    return list;
}

void FillList(QTreeWidget* list, const std::vector<ShortcutRow>& rows) {
    list->clear();
    for (const auto& row : rows)
        list->addTopLevelItem(new QTreeWidgetItem(
            {QString::fromStdString(row.function), QString::fromStdString(row.keys)}));
    // Captions are longer than keys: never cut a caption short.
    list->resizeColumnToContents(0);
}

void SetColumnTitles(QTreeWidget* list) {
    list->setHeaderLabels({strings::kFunctionColumn, strings::kKeysColumn});
}

QColor ColourOf(ReportLine::Colour colour) {
    switch (colour) {
    case ReportLine::Colour::Blue:
        return Qt::blue;
    case ReportLine::Colour::Red:
        return Qt::red;
    case ReportLine::Colour::Black:
        break;
    }
    return Qt::black;
}

} // namespace

THelpFrame::THelpFrame(QWidget* parent) : TPanelFrame(parent) {
    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(0, 0, kWidth, kHeight);

    tsShortcuts = new QWidget;
    auto* shortcuts = new QVBoxLayout(tsShortcuts);
    shortcuts->setContentsMargins(4, 4, 4, 4);
    lvShortcuts = TwoColumnList(tsShortcuts);
    LabelCamera = new QLabel(tsShortcuts);
    lvCamera = TwoColumnList(tsShortcuts);
    shortcuts->addWidget(lvShortcuts, 3);
    shortcuts->addWidget(LabelCamera);
    shortcuts->addWidget(lvCamera, 1);
    PageControl1->addTab(tsShortcuts, QString());

    tsCamcorder = new QWidget;
    auto* camcorder = new QVBoxLayout(tsCamcorder);
    camcorder->setContentsMargins(4, 4, 4, 4);
    LabelCamcorder = new QLabel(tsCamcorder);
    LabelCamcorder->setFont(ArialFont(8, true));
    lvCamcorder = TwoColumnList(tsCamcorder);
    meNote = new QLabel(tsCamcorder);
    meNote->setAlignment(Qt::AlignCenter);
    meNote->setFixedHeight(80);
    camcorder->addWidget(LabelCamcorder);
    camcorder->addWidget(lvCamcorder, 1);
    camcorder->addWidget(meNote);
    PageControl1->addTab(tsCamcorder, QString());

    tsSystem = new QWidget;
    auto* system = new QVBoxLayout(tsSystem);
    system->setContentsMargins(4, 4, 4, 4);
    reSystem = new QTextEdit(tsSystem);
    reSystem->setReadOnly(true);
    reSystem->setFont(ArialFont(8));
    system->addWidget(reSystem);
    PageControl1->addTab(tsSystem, QString());
}

void THelpFrame::SetPanelTexts() {
    using namespace strings;
    PageControl1->setTabText(PageControl1->indexOf(tsShortcuts), kShortcutsTab);
    PageControl1->setTabText(PageControl1->indexOf(tsCamcorder), kCamcorderTab);
    PageControl1->setTabText(PageControl1->indexOf(tsSystem), kSystemTab);
    SetColumnTitles(lvShortcuts);
    SetColumnTitles(lvCamera);
    SetColumnTitles(lvCamcorder);
    LabelCamera->setText(kCamcorderTab);
    LabelCamcorder->setText(kCamcorderHeading);
    std::vector<ShortcutRow> rows;
    for (const char* row : kCamcorderRows) {
        const QString text(row);
        const auto cut = text.indexOf('=');
        rows.push_back({text.left(cut).toStdString(), text.mid(cut + 1).toStdString()});
    }
    FillList(lvCamcorder, rows);
}

void THelpFrame::ShowPanel(int left) {
    meNote->setText(strings::kCamcorderNote);
    TPanelFrame::ShowPanel(left);
}

void THelpFrame::FillLists(const std::vector<ShortcutRow>& actions,
                           const std::vector<ShortcutRow>& camera) {
    FillList(lvShortcuts, actions);
    FillList(lvCamera, camera);
}

void WriteSystemReport(THelpFrame& frame, const std::vector<ReportLine>& lines) {
    QTextEdit* box = frame.reSystem;
    box->clear();
    QTextCursor cursor(box->document());
    bool first = true;
    for (const auto& line : lines) {
        QTextCharFormat format;
        format.setFont(ArialFont(8));
        format.setFontWeight(line.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(line.italic);
        format.setFontUnderline(line.underline);
        format.setForeground(ColourOf(line.colour));
        if (!first) cursor.insertBlock();
        first = false;
        cursor.setBlockCharFormat(format);
        cursor.insertText(QString::fromStdString(line.text), format);
    }
}

} // namespace talvence
