#include "platform/media/filters/basic/VideoRenderer.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

#include <algorithm>
#include <cmath>

namespace talvence {

namespace {
// How long the arrival rate is measured before the share is revised.
constexpr double kMeasuringPeriodSeconds = 0.25;
// Frames enough for the first verdict of a run: a file read as fast as it goes is thinned after
// these rather than after a whole period's, each of which would be decoded and converted.
constexpr double kFirstVerdictFrames = 4;
} // namespace

long FreeRunShare(long share, double framesPerSecond) {
    if (framesPerSecond <= 0) return 1000;
    // The frames arriving are the asked share of what upstream makes: scale the share by how
    // far the arrivals are from the wanted rate.
    const double wanted = static_cast<double>(share) * kFreeRunFramesPerSecond / framesPerSecond;
    return std::clamp(std::lround(wanted), 1L, 1000L);
}

TVideoRenderer::TVideoRenderer() : TBasicRenderer("Video Renderer", CLSID_VideoMixingRenderer) {}

HRESULT TVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IVideoRendererControl::iid)
        return GetInterface(static_cast<IVideoRendererControl*>(this), ppv);
    return TBasicRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TVideoRenderer::SetFrameSink(IVideoFrameSink* sink) {
    TVideoWindowOptions options;
    {
        TBCAutoLock lock(filterLock_);
        TBCAutoLock receive(receiveLock_);
        sink_ = sink;
        options = options_;
    }
    if (sink) sink->ApplyWindowOptions(options);
    return S_OK;
}

HRESULT TVideoRenderer::GetWindowOptions(TVideoWindowOptions* options) {
    if (!options) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *options = options_;
    return S_OK;
}

HRESULT TVideoRenderer::SetWindowOptions(const TVideoWindowOptions& options) {
    IVideoFrameSink* sink;
    {
        TBCAutoLock lock(filterLock_);
        if (options_ == options) return S_OK;
        options_ = options;
        sink = sink_;
    }
    // Outside our lock: the window may ask us for the options in return.
    if (sink) sink->ApplyWindowOptions(options);
    return S_OK;
}

HRESULT TVideoRenderer::put_KeepAspectRatio(BOOL keep) {
    TVideoWindowOptions options;
    GetWindowOptions(&options);
    options.keepAspectRatio = keep != 0;
    return SetWindowOptions(options);
}

HRESULT TVideoRenderer::put_FullScreen(BOOL fullScreen) {
    TVideoWindowOptions options;
    GetWindowOptions(&options);
    options.fullScreen = fullScreen != 0;
    return SetWindowOptions(options);
}

HRESULT TVideoRenderer::CheckMediaType(const CMediaType* mt) {
    if (!(mt->majortype == MEDIATYPE_Video)) return VFW_E_TYPE_NOT_ACCEPTED;
    WORD bits = 0;
    if (mt->subtype == MEDIASUBTYPE_RGB24)
        bits = 24;
    else if (mt->subtype == MEDIASUBTYPE_RGB32)
        bits = 32;
    else
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(*mt);
    if (!bmi || bmi->biBitCount != bits || bmi->biCompression != BI_RGB)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (bmi->biWidth <= 0 || bmi->biHeight == 0) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TVideoRenderer::StartStreaming() {
    refused_ = 0;
    periodFrames_ = 0;
    share_ = 1000;
    return S_OK;
}

void TVideoRenderer::CancelWait() {
    waitCancelled_ = true;
    due_.Set();
}

void TVideoRenderer::AllowWait() {
    waitCancelled_ = false;
}

HRESULT TVideoRenderer::Run(REFERENCE_TIME tStart) {
    HRESULT hr = TBasicRenderer::Run(tStart);
    // A frame held while paused now waits for its time instead.
    if (SUCCEEDED(hr)) due_.Set();
    return hr;
}

bool TVideoRenderer::WaitForPresentationTime(IMediaSample* sample) {
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) return true;
    // Paused: the frame's time cannot be reached before the run starts the clock for us.
    for (;;) {
        due_.Reset();
        if (waitCancelled_) return false; // after the reset: a cancel from now on sets the event
        if (State() == State_Running) break;
        due_.Wait();
    }
    // The clock changes only while the filter is stopped, so it is read without the filter lock
    // (which the stop holds while it waits for us).
    IReferenceClock* clock = clock_.get();
    if (!clock) return true;
    DWORD_PTR cookie = 0;
    if (FAILED(clock->AdviseTime(StartTime(), start, &due_, &cookie))) return true;
    due_.Wait();
    clock->Unadvise(cookie);
    return !waitCancelled_;
}

void TVideoRenderer::ThinFreeRunningStream() {
    const auto now = std::chrono::steady_clock::now();
    if (periodFrames_++ == 0) {
        periodStart_ = now;
        return;
    }
    const double seconds = std::chrono::duration<double>(now - periodStart_).count();
    // A whole period's frames arriving early tell the rate as well: a stream far faster than a
    // window is thinned after a few frames rather than after a quarter second of them, which
    // for a file read as fast as it goes may be all of it.
    const double enough =
        share_ == 1000 ? kFirstVerdictFrames : kFreeRunFramesPerSecond * kMeasuringPeriodSeconds;
    const bool periodFull = static_cast<double>(periodFrames_ - 1) >= enough;
    if (seconds < kMeasuringPeriodSeconds && !periodFull) return;
    const long share = FreeRunShare(share_, static_cast<double>(periodFrames_ - 1) / seconds);
    periodFrames_ = 1;
    periodStart_ = now;
    if (share == share_) return;
    share_ = share;
    IPin* upstream = InputPin()->GetConnected();
    ComPtr<IQualityControl> quality;
    if (!upstream || FAILED(upstream->QueryInterface(IQualityControl::iid, quality.putVoid())))
        return;
    Quality q;
    q.Type = share < 1000 ? Flood : Famine;
    q.Proportion = share;
    // Nobody upstream may honour it: the frames then keep coming, which is still correct.
    quality->Notify(this, q);
}

HRESULT TVideoRenderer::RenderSample(IMediaSample* sample, const CMediaType& type) {
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(type);
    const long length = sample->GetActualDataLength();
    // The window reads a whole image: a shorter frame would have it read past the buffer.
    if (!bmi || length < static_cast<long>(DibImageSize(*bmi))) {
        ++refused_;
        return S_FALSE;
    }
    // The clock changes only while stopped (see WaitForPresentationTime).
    if (!clock_) ThinFreeRunningStream();
    if (!WaitForPresentationTime(sample)) return S_FALSE; // stopping or flushing: not shown
    if (!sink_) return S_OK;
    TVideoFrame frame;
    frame.type = &type;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    frame.data = data;
    frame.length = length;
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT hr = sample->GetTime(&start, &stop);
    frame.hasTime = SUCCEEDED(hr);
    frame.start = start;
    frame.stop = stop;
    sink_->RenderFrame(frame);
    return S_OK;
}

} // namespace talvence
