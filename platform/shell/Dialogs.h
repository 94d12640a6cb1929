#pragma once
// Every modal question the application asks goes through `IDialogs`, so the
// logic that asks can be driven by a script in tests (FakeDialogs.h) and by
// Qt widgets in the program (QtDialogs.h).

#include "platform/shell/Font.h"

#include <string>
#include <vector>

class QWidget;

namespace talvence {

enum class MsgType { Warning, Error, Information, Confirmation };
enum class MsgButtons { Ok, YesNo, YesNoAll };
enum class MsgAnswer { Ok, Yes, No, All, Cancel };

// One page of a property frame. Pages are supplied by filters and devices;
// the frame shows them side by side and applies them on OK.
class IPropertyPage {
public:
    virtual ~IPropertyPage() = default;
    virtual std::string Title() const = 0;
    // Creates the page's widget, owned by `parent`.
    virtual QWidget* CreateWidget(QWidget* parent) = 0;
    // Puts the edited settings into effect.
    virtual void Apply() = 0;
    // The frame was closed without confirming: undoes what the page changed live.
    virtual void Cancel() {}
};

// Application thread only.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A message box; closing it without a button answers Cancel.
    virtual MsgAnswer MessageBox(MsgType type, const std::string& text, MsgButtons buttons) = 0;
    // Lets the user edit `font`; true and the new font when confirmed.
    virtual bool ChooseFont(TFontSpec& font) = 0;
    // Shows the pages in one modal frame; true when the user confirmed (the
    // pages have then been applied; otherwise they have been cancelled).
    virtual bool ShowPropertyFrame(const std::string& caption,
                                   const std::vector<IPropertyPage*>& pages) = 0;
    // The same frame owned by `owner` and opened at (x, y) of it, so that it shows up inside
    // the owner's window; a face without windows shows it as above.
    virtual bool ShowPlacedPropertyFrame(const std::string& caption,
                                         const std::vector<IPropertyPage*>& pages, QWidget* owner,
                                         int x, int y) {
        (void)owner, (void)x, (void)y;
        return ShowPropertyFrame(caption, pages);
    }
};

} // namespace talvence
