#pragma once
// The help panel: the keyboard shortcuts (filled by the main window), the
// camcorder keys with their note, and the system report. User-interface
// thread only; no locks.

#include "app/window/panels/Controls.h"
#include "app/window/panels/ShortcutRow.h"
#include "system/DiagnosticsReport.h"

#include <vector>

class QTabWidget;
class QTextEdit;
class QTreeWidget;

namespace talvence {

class THelpFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit THelpFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;
    // Also sets the camcorder tab's note.
    void ShowPanel(int left) override;

    // Replaces the rows of lvShortcuts (the actions, then the panels) and of
    // lvCamera (the camcorder's actions); row i of each list is item i.
    void FillLists(const std::vector<ShortcutRow>& actions, const std::vector<ShortcutRow>& camera);

    QTabWidget* PageControl1;
    QWidget* tsShortcuts;
    QTreeWidget* lvShortcuts;
    QLabel* LabelCamera;
    QTreeWidget* lvCamera;
    QWidget* tsCamcorder;
    QLabel* LabelCamcorder;
    QTreeWidget* lvCamcorder;
    QLabel* meNote; // centred, read-only
    QWidget* tsSystem;
    QTextEdit* reSystem; // read-only rich text, Arial 8
};

// Writes the report lines into reSystem, each with its style and colour.
void WriteSystemReport(THelpFrame& frame, const std::vector<ReportLine>& lines);

} // namespace talvence
