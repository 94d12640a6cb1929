#pragma once

// The preview renderer: takes uncompressed RGB video and hands each frame, with its format, to a
// frame sink that the preview window implements; it keeps the window options the preview window
// is configured with (aspect ratio, full screen, owner, visibility) and hands them to the sink.
// A frame with a presentation time waits for it on the graph's clock (held while the filter is
// paused, until it runs); a frame without one (the preview's timestamper clears them) is handed
// over at once, and so is every frame when the graph has no clock. Late frames are still shown: a
// preview would rather lag than go blank.
//
// Without a clock a source that is not live sends frames as fast as the graph takes them, far
// more than a window shows. The renderer then measures the rate frames arrive at and asks
// upstream, with quality messages (IQualityControl on the pin it is connected to), for the share
// of them that keeps about kFreeRunFramesPerSecond; a decoder that honours them saves the work.
//
// Threads and locks: those of TBasicRenderer. The sink is called on the streaming thread with the
// receive lock held, so once SetFrameSink returns the previous sink is never called again.

#include "platform/media/SyncObjects.h"
#include "platform/media/filters/basic/RendererBase.h"

#include <chrono>
#include <cstdint>

namespace talvence {

struct TVideoWindowOptions {
    bool keepAspectRatio = true; // true: letterbox to the source's aspect ratio; false: stretch
    bool fullScreen = false;     // true: the picture fills the screen
    bool fullScreenTopMost = true;
    bool visible = true;
    std::uintptr_t owner = 0;          // the native window holding the picture; 0: none
    std::uint32_t backgroundColor = 0; // 0xRRGGBB around a letterboxed picture

    bool operator==(const TVideoWindowOptions&) const = default;
};

// One frame as the renderer hands it over; data and type are valid only during the call.
struct TVideoFrame {
    const CMediaType* type = nullptr; // video, RGB24 or RGB32, VIDEOINFOHEADER(2) block
    const BYTE* data = nullptr;       // at least the image size of the type's bitmap header
    long length = 0;
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
};

// Implemented by the preview window. Not reference counted: the window detaches itself with
// SetFrameSink(nullptr) before it goes.
class IVideoFrameSink {
public:
    // Streaming thread: copy what is needed before returning.
    virtual void RenderFrame(const TVideoFrame& frame) = 0;
    // Application thread: when the sink is attached and whenever an option changes.
    virtual void ApplyWindowOptions(const TVideoWindowOptions& options) = 0;

protected:
    ~IVideoFrameSink() = default;
};

// The frames per second a window shows of a stream that runs without a clock.
inline constexpr double kFreeRunFramesPerSecond = 60.0;

// The share of upstream's frames (thousandths, 1..1000) to ask for next, given the share asked
// for now and the frames per second that arrive with it.
long FreeRunShare(long share, double framesPerSecond);

// Our own control interface of the preview renderer (application thread).
struct IVideoRendererControl : IUnknown {
    static constexpr GUID iid = MakeGuid("B3627F23-4493-4D4F-AE88-5A1FB2409E34");
    // Null detaches the current sink; returns once no frame is being handed to it.
    virtual HRESULT SetFrameSink(IVideoFrameSink* sink) = 0;
    virtual HRESULT GetWindowOptions(TVideoWindowOptions* options) = 0;
    virtual HRESULT SetWindowOptions(const TVideoWindowOptions& options) = 0;
    virtual HRESULT put_KeepAspectRatio(BOOL keep) = 0;
    virtual HRESULT put_FullScreen(BOOL fullScreen) = 0;
};

class TVideoRenderer : public TBasicRenderer, public IVideoRendererControl {
public:
    TVideoRenderer();

    FORWARD_IUNKNOWN(TBasicRenderer)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetFrameSink(IVideoFrameSink* sink) override;
    HRESULT GetWindowOptions(TVideoWindowOptions* options) override;
    HRESULT SetWindowOptions(const TVideoWindowOptions& options) override;
    HRESULT put_KeepAspectRatio(BOOL keep) override;
    HRESULT put_FullScreen(BOOL fullScreen) override;

    // Application thread: also wakes a frame held while paused.
    HRESULT Run(REFERENCE_TIME tStart) override;

    // Any thread: frames refused since the last start because they were shorter than their
    // image.
    long FramesRefused() const { return refused_; }

protected:
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT RenderSample(IMediaSample* sample, const CMediaType& type) override;
    HRESULT StartStreaming() override;
    void CancelWait() override;
    void AllowWait() override;

private:
    // Streaming thread, receive lock: false when the wait was cancelled (stop or flush).
    bool WaitForPresentationTime(IMediaSample* sample);
    // Streaming thread, receive lock: counts a frame of a stream without a clock and, every
    // measuring period, sends upstream the share of frames to send.
    void ThinFreeRunningStream();

    CAMEvent due_{true}; // set by the clock's advise, or by CancelWait
    std::atomic<bool> waitCancelled_{false};
    IVideoFrameSink* sink_ = nullptr; // not owned; written under both locks, read under either
    TVideoWindowOptions options_;     // filter lock
    std::atomic<long> refused_{0};

    // Receive lock: the measuring period of a stream without a clock.
    std::chrono::steady_clock::time_point periodStart_;
    long periodFrames_ = 0;
    long share_ = 1000; // thousandths of upstream's frames last asked for
};

} // namespace talvence
