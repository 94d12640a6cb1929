#pragma once
// The program's dialogs: Qt message boxes, the font and colour dialogs, and a
// tabbed property frame. Application thread only; needs a QApplication.

#include "platform/shell/Dialogs.h"

namespace talvence {

class QtDialogs : public IDialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    MsgAnswer MessageBox(MsgType type, const std::string& text, MsgButtons buttons) override;
    bool ChooseFont(TFontSpec& font) override;
    bool ShowPropertyFrame(const std::string& caption,
                           const std::vector<IPropertyPage*>& pages) override;

private:
    QWidget* parent_; // not owned
};

} // namespace talvence
