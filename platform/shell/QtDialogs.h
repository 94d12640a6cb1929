#pragma once
// The program's dialogs: Qt message boxes, the font and colour dialogs, and a
// tabbed property frame. Application thread only; needs a QApplication.

#include "platform/shell/Dialogs.h"

#include <QPoint>

#include <optional>

namespace talvence {

class QtDialogs : public IDialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    MsgAnswer MessageBox(MsgType type, const std::string& text, MsgButtons buttons) override;
    bool ChooseFont(TFontSpec& font) override;
    bool ShowPropertyFrame(const std::string& caption,
                           const std::vector<IPropertyPage*>& pages) override;
    bool ShowPlacedPropertyFrame(const std::string& caption,
                                 const std::vector<IPropertyPage*>& pages, QWidget* owner, int x,
                                 int y) override;

private:
    // The modal frame, owned by `owner`, at the global point `at` when given.
    static bool RunPropertyFrame(const std::string& caption,
                                 const std::vector<IPropertyPage*>& pages, QWidget* owner,
                                 std::optional<QPoint> at);

    QWidget* parent_; // not owned
};

} // namespace talvence
