#pragma once

// The preview window's side in the graph (the main window's `vwEcran`): a slot holding the
// preview renderer, the window options it is configured with, and the frame sink (the widget
// that shows the picture) the renderer hands each frame to. The graph module fetches the renderer
// from here as the preview renderer.
//
// Threads: application thread. The renderer calls the frame sink on its streaming thread.

#include "graph/FilterGraphComponents.h"
#include "platform/media/filters/basic/VideoRenderer.h"

namespace talvence {

class TVideoWindow : public TFilter {
public:
    explicit TVideoWindow(std::string name = "vwEcran");
    // Detaches the sink from the renderer and leaves the graph.
    ~TVideoWindow() override;

    // Gives the slot the platform's preview renderer (the filter category's Video Mixing
    // Renderer class); false when it is not registered. Takes the slot out of its graph first.
    bool UseDefaultRenderer(ICreateDevEnum* devEnum);

    // The renderer as the graph module keeps it; EGraphError while the window is not in a graph.
    ComPtr<IBaseFilter> PreviewRenderer() const { return Filter(); }

    // Options: kept here, handed to the renderer at each join and at each change; without a
    // renderer a change goes to the frame sink directly, so the window still follows it.
    const TVideoWindowOptions& Options() const { return options_; }
    void SetOptions(const TVideoWindowOptions& options);
    // True: letterbox to the source's aspect ratio; false: stretch to the window.
    bool KeepAspectRatio() const { return options_.keepAspectRatio; }
    void SetKeepAspectRatio(bool keep);
    // True: the picture fills the screen above all windows; false: back in the main window.
    bool FullScreen() const { return options_.fullScreen; }
    void SetFullScreen(bool fullScreen);

    // The widget that shows the frames (not owned; it calls SetFrameSink(nullptr) before it
    // goes). Null detaches.
    IVideoFrameSink* FrameSink() const { return sink_; }
    void SetFrameSink(IVideoFrameSink* sink);

protected:
    void FilterJoined(IBaseFilter* filter) override;
    void FilterLeaving(IBaseFilter* filter) override;

private:
    void ApplyOptions();

    TVideoWindowOptions options_;     // black background, top-most full screen, letterboxed
    IVideoFrameSink* sink_ = nullptr; // not owned
};

} // namespace talvence
