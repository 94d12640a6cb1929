#include "graph/VideoWindow.h"

#include "graph/DeviceCategories.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

namespace talvence {

TVideoWindow::TVideoWindow(std::string name) : TFilter(std::move(name)) {
    options_.backgroundColor = 0x000000;
    options_.fullScreenTopMost = true;
}

TVideoWindow::~TVideoWindow() {
    // Here, while FilterLeaving is still ours: the renderer must forget the sink.
    SetFilterGraph(nullptr);
}

bool TVideoWindow::UseDefaultRenderer(ICreateDevEnum* devEnum) {
    return FindFilterByClsid(devEnum, CLSID_LegacyAmFilterCategory, CLSID_VideoMixingRenderer,
                             *this);
}

void TVideoWindow::SetOptions(const TVideoWindowOptions& options) {
    options_ = options;
    ApplyOptions();
}

void TVideoWindow::SetKeepAspectRatio(bool keep) {
    options_.keepAspectRatio = keep;
    ApplyOptions();
}

void TVideoWindow::SetFullScreen(bool fullScreen) {
    options_.fullScreen = fullScreen;
    ApplyOptions();
}

void TVideoWindow::SetFrameSink(IVideoFrameSink* sink) {
    sink_ = sink;
    if (auto control = TryQuery<IVideoRendererControl>())
        control->SetFrameSink(sink_); // the renderer tells the new sink the options
    else if (sink_)
        sink_->ApplyWindowOptions(options_);
}

void TVideoWindow::ApplyOptions() {
    if (auto control = TryQuery<IVideoRendererControl>())
        control->SetWindowOptions(options_);
    else if (sink_)
        sink_->ApplyWindowOptions(options_);
}

void TVideoWindow::FilterJoined(IBaseFilter* filter) {
    ComPtr<IVideoRendererControl> control;
    if (FAILED(filter->QueryInterface(IVideoRendererControl::iid, control.putVoid()))) return;
    control->SetWindowOptions(options_);
    control->SetFrameSink(sink_);
}

void TVideoWindow::FilterLeaving(IBaseFilter* filter) {
    ComPtr<IVideoRendererControl> control;
    if (SUCCEEDED(filter->QueryInterface(IVideoRendererControl::iid, control.putVoid())))
        control->SetFrameSink(nullptr);
}

} // namespace talvence
