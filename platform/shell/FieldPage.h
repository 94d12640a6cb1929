#pragma once
// A settings page model (platform/media/PropertyPages.h) as a page of the property frame: one
// row per field, a slider with its value, a check box, a list or a button. Every edit goes to the
// model at once, and the rows are read again from it, since one choice may change what another
// offers.
//
// Application thread only; needs a QApplication for CreateWidget.

#include "platform/media/PropertyPages.h"
#include "platform/shell/Dialogs.h"

namespace talvence {

class TFieldPropertyPage : public IPropertyPage {
public:
    explicit TFieldPropertyPage(std::shared_ptr<IPageModel> model) : model_(std::move(model)) {}

    std::string Title() const override { return model_->Title(); }
    QWidget* CreateWidget(QWidget* parent) override;
    void Apply() override { model_->Apply(); }
    void Cancel() override { model_->Cancel(); }
    IPageModel& Model() { return *model_; }

private:
    std::shared_ptr<IPageModel> model_;
};

// The models as pages of a frame, owning them.
std::vector<std::unique_ptr<IPropertyPage>> FieldPages(const TPageList& models);
std::vector<IPropertyPage*> PagePointers(const std::vector<std::unique_ptr<IPropertyPage>>& pages);

} // namespace talvence
