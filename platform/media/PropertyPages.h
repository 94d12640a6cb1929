#pragma once

// Device settings pages as models: a page is a list of fields (sliders, check boxes, lists,
// buttons) that a filter or a pin builds from what its device really has. The model does the
// work (live changes, apply, cancel); the shell draws any page with one generic widget
// (platform/shell/FieldPage.h), so pages are tested without a display. Objects that have pages
// answer ISpecifyPropertyPages.
//
// Threads: the application thread.

#include "platform/media/Interfaces.h"

#include <memory>
#include <string>
#include <vector>

namespace talvence {

struct TPageField {
    enum class Kind { Slider, Check, List, Button };
    Kind kind = Kind::Slider;
    std::string label;
    int minimum = 0, maximum = 0, step = 1; // Slider
    int value = 0;                          // Slider: the value; Check: 0/1; List: the index
    std::vector<std::string> items;         // List
};

class IPageModel {
public:
    virtual ~IPageModel() = default;
    virtual std::string Title() const = 0;
    // The fields as they are now; a change of one may change the others (the sizes of a new
    // pixel format), so a view reads them again after every change.
    virtual std::vector<TPageField> Fields() const = 0;
    // The user moved field `index` to `value` (a button: pressed, value ignored). Pages whose
    // device takes changes at once apply them here.
    virtual void Change(std::size_t index, int value) = 0;
    // OK: the edited settings take effect and are kept.
    virtual void Apply() = 0;
    // Cancel: what Change did live is undone.
    virtual void Cancel() = 0;
};

using TPageList = std::vector<std::shared_ptr<IPageModel>>;

// The pages of a filter or a pin; S_OK with at least one page, S_FALSE with none.
struct ISpecifyPropertyPages : IUnknown {
    static constexpr GUID iid = MakeGuid("B196B28B-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT GetPages(TPageList* pages) = 0;
};

// The pages `object` specifies; empty when it specifies none.
inline TPageList PagesOf(IUnknown* object) {
    TPageList pages;
    ComPtr<ISpecifyPropertyPages> specify;
    if (object &&
        SUCCEEDED(object->QueryInterface(ISpecifyPropertyPages::iid, specify.putVoid())))
        specify->GetPages(&pages);
    return pages;
}

} // namespace talvence
