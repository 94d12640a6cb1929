#pragma once
// The about panel: the program's title, a short description and the clip
// browser button. User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

class QTextEdit;
class QToolButton;

namespace talvence {

class TAproposFrame : public TPanelFrame {
    Q_OBJECT
public:
    explicit TAproposFrame(QWidget* parent = nullptr);

    void SetPanelTexts() override;
    // Also rewrites the title and the description.
    void ShowPanel(int left) override;

    TClickLabel* Label1; // the title
    QTextEdit* RichEdit1;
    QToolButton* sbTernadex; // the main window binds acTernadex
};

} // namespace talvence
