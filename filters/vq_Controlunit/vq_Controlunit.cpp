#include "filters/vq_Controlunit/vq_Controlunit.h"

namespace talvence {

GateDecision ControlGate::NextFrame() {
    GateDecision d;
    if (!passNext_.exchange(false)) return d;
    d.pass = true;
    if (stampMediaTime_.load()) {
        const std::int64_t step = mediaTimeStep_.load();
        d.stampMediaTime = true;
        d.mediaStart = mediaTimeCounter_.load();
        d.mediaStop = d.mediaStart + step;
        mediaTimeCounter_.store(d.mediaStop);
    }
    d.syncPoint = markSyncPoint_.load();
    d.discontinuity = markDiscontinuity_.load();
    return d;
}

Tvq_ControlFilter::Tvq_ControlFilter()
    : TBCTransInPlaceFilter(kControlFilterObjectName, nullptr, CLSID_vq_ControlFilter, false) {}

void Tvq_ControlFilter::SetOnStop(std::function<void()> onStop) {
    std::lock_guard lock(onStopMutex_);
    onStop_ = std::move(onStop);
}

HRESULT Tvq_ControlFilter::Stop() {
    // The graph stops every filter on each stop request, running or not; the notification
    // finishes a capture file, so it belongs to the end of a run only.
    const bool runEnded = !IsStopped();
    gate_.Reopen();
    const HRESULT hr = TBCTransInPlaceFilter::Stop();
    if (!runEnded) return hr;
    std::function<void()> onStop;
    {
        std::lock_guard lock(onStopMutex_);
        onStop = onStop_;
    }
    if (onStop) onStop();
    return hr;
}

HRESULT Tvq_ControlFilter::CheckInputType(const CMediaType* mt) {
    return mt ? S_OK : E_POINTER;
}

HRESULT Tvq_ControlFilter::Transform(IMediaSample* sample) {
    const GateDecision d = gate_.NextFrame();
    if (!d.pass) return S_FALSE;
    if (d.stampMediaTime) sample->SetMediaTime(&d.mediaStart, &d.mediaStop);
    if (d.syncPoint) sample->SetSyncPoint(1);
    if (d.discontinuity) sample->SetDiscontinuity(1);
    return S_OK;
}

} // namespace talvence
