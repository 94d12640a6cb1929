#include "filters/BaseClass/LiveSource.h"

#include "platform/log/Log.h"
#include "platform/media/EventCodes.h"

#include <algorithm>

namespace talvence {

namespace {
constexpr long kMaxDroppedKept = 1024;
} // namespace

// ---------------------------------------------------------------------------------------------
// The filter

TBCLiveSource::TBCLiveSource(std::string name, IUnknown* outer, const CLSID& clsid)
    : TBCSource(std::move(name), outer, clsid) {}

HRESULT TBCLiveSource::Pause() {
    TBCAutoLock lock(stateLock_);
    HRESULT hr = TBCSource::Pause();
    if (SUCCEEDED(hr))
        for (auto& pin : pins_)
            if (auto* live = dynamic_cast<TBCLiveSourceStream*>(pin.get())) live->RunEnded();
    return hr;
}

HRESULT TBCLiveSource::Run(REFERENCE_TIME tStart) {
    TBCAutoLock lock(stateLock_);
    HRESULT hr = TBCSource::Run(tStart);
    if (SUCCEEDED(hr))
        for (auto& pin : pins_)
            if (auto* live = dynamic_cast<TBCLiveSourceStream*>(pin.get());
                live && live->IsConnected())
                live->RunStarted(clock_.get(), tStart);
    return hr;
}

HRESULT TBCLiveSource::GetState(DWORD msTimeout, FILTER_STATE* state) {
    HRESULT hr = TBCSource::GetState(msTimeout, state);
    if (hr == S_OK && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
}

// ---------------------------------------------------------------------------------------------
// The pin

TBCLiveSourceStream::TBCLiveSourceStream(std::string objectName, TBCLiveSource* filter,
                                         std::string pinName, TBCLivePacing pacing)
    : TBCSourceStream(std::move(objectName), filter, std::move(pinName)), pacing_(pacing) {}

HRESULT TBCLiveSourceStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMDroppedFrames::iid)
        return GetInterface(static_cast<IAMDroppedFrames*>(this), ppv);
    if (riid == IAMPushSource::iid || riid == IAMLatency::iid)
        return GetInterface(static_cast<IAMPushSource*>(this), ppv);
    return TBCSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME TBCLiveSourceStream::UnitsToTime(std::int64_t units) const {
    return units * 10000000 / unitsPerSecond_;
}

HRESULT TBCLiveSourceStream::Active() {
    {
        std::lock_guard lock(streamMutex_);
        stopping_ = false;
        running_ = false;
    }
    tick_.Reset();
    delivered_ = 0;
    dropped_ = 0;
    deliveredBytes_ = 0;
    {
        std::lock_guard lock(droppedMutex_);
        droppedFrames_.clear();
    }
    frameNumber_ = 0; // the thread is not running yet
    endPending_ = false;
    return TBCSourceStream::Active();
}

HRESULT TBCLiveSourceStream::Inactive() {
    {
        std::lock_guard lock(streamMutex_);
        stopping_ = true;
        running_ = false;
    }
    runChanged_.notify_all();
    tick_.Set();
    WakeDevice();
    HRESULT hr = TBCSourceStream::Inactive(); // decommits and joins
    runClock_ = nullptr;
    std::lock_guard lock(streamMutex_);
    clock_ = nullptr;
    return hr;
}

void TBCLiveSourceStream::RunStarted(IReferenceClock* clock, REFERENCE_TIME startTime) {
    {
        std::lock_guard lock(streamMutex_);
        clock_ = clock;
        startTime_ = startTime;
        running_ = true;
        ++runGeneration_;
    }
    runChanged_.notify_all();
}

void TBCLiveSourceStream::RunEnded() {
    {
        std::lock_guard lock(streamMutex_);
        running_ = false;
    }
    tick_.Set();
    WakeDevice();
}

bool TBCLiveSourceStream::StillRunning() {
    std::lock_guard lock(streamMutex_);
    return !stopping_ && running_ && runGeneration_ == seenGeneration_;
}

HRESULT TBCLiveSourceStream::WaitForRun() {
    bool newRun = false;
    {
        std::unique_lock lock(streamMutex_);
        runChanged_.wait(lock, [&] { return stopping_ || running_; });
        if (stopping_) return VFW_E_NOT_COMMITTED;
        newRun = runGeneration_ != seenGeneration_;
        seenGeneration_ = runGeneration_;
        runClock_ = clock_;
        runStart_ = startTime_;
    }
    if (newRun) {
        // Each run starts its stream time at zero.
        position_ = 0;
        discontinuity_ = true;
        OnRunStart();
    }
    return S_OK;
}

HRESULT TBCLiveSourceStream::WaitUntil(REFERENCE_TIME due) {
    IReferenceClock* clock = runClock_.get();
    for (;;) {
        REFERENCE_TIME now = 0;
        if (FAILED(clock->GetTime(&now))) return E_FAIL;
        if (now >= runStart_ + due) return S_OK;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(runStart_, due, &tick_, &cookie))) return E_FAIL;
        tick_.Wait();
        clock->Unadvise(cookie);
        if (!StillRunning()) return S_FALSE;
    }
}

HRESULT TBCLiveSourceStream::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                               REFERENCE_TIME* stop, DWORD) {
    for (;;) {
        HRESULT hr = WaitForRun();
        if (FAILED(hr)) return hr;
        const bool device = pacing_ == TBCLivePacing::Device;
        const bool paced = pacing_ == TBCLivePacing::Clock && runClock_;
        if (paced) {
            hr = WaitUntil(UnitsToTime(position_));
            if (FAILED(hr)) return hr;
            if (hr == S_FALSE) continue; // paused or stopped while waiting
        }
        // A period counts once what it brought is settled (a loss is counted by then).
        const TBCFrameDue due = OnFrameDue();
        if (due == TBCFrameDue::Nothing) {
            if (device) continue; // the device had nothing yet: look at the run again
            ++periods_;
            if (paced)
                position_ += periodUnits_;
            else
                WaitForDevice();
            continue;
        }
        if (due == TBCFrameDue::DeviceLost) {
            ++periods_;
            TLOG(Device) << "a live source lost its device";
            Source()->NotifyEvent(EC_DEVICE_LOST, 0, 0);
            return VFW_E_NOT_COMMITTED; // ends the streaming thread quietly (no buffer taken)
        }
        if (due == TBCFrameDue::EndOfStream) {
            ++periods_;
            hr = TBCSourceStream::GetDeliveryBuffer(sample, start, stop, 0);
            if (SUCCEEDED(hr)) endPending_ = true; // FillBuffer ends the stream
            return hr;
        }
        if (device) return TBCSourceStream::GetDeliveryBuffer(sample, start, stop, 0);
        hr = TBCSourceStream::GetDeliveryBuffer(sample, start, stop, paced ? AM_GBF_NOWAIT : 0);
        if (paced && hr == VFW_E_TIMEOUT) {
            // Every buffer is still downstream when the frame is due: it is lost.
            ReportLost(1);
            position_ += periodUnits_;
            ++periods_;
            continue;
        }
        ++periods_;
        return hr;
    }
}

HRESULT TBCLiveSourceStream::FillBuffer(IMediaSample* sample) {
    if (endPending_) {
        endPending_ = false;
        return S_FALSE;
    }
    HRESULT hr = FillFrame(sample);
    if (hr == TBC_E_DEVICE_LOST) Source()->NotifyEvent(EC_DEVICE_LOST, 0, 0);
    if (hr != S_OK) return hr;
    ++frameNumber_;
    if (pacing_ == TBCLivePacing::Device) return S_OK;
    REFERENCE_TIME tStart = UnitsToTime(position_);
    position_ += periodUnits_;
    REFERENCE_TIME tStop = UnitsToTime(position_);
    sample->SetTime(&tStart, &tStop);
    sample->SetSyncPoint(1);
    sample->SetDiscontinuity(discontinuity_ ? 1 : 0);
    discontinuity_ = false;
    return S_OK;
}

HRESULT TBCLiveSourceStream::Deliver(IMediaSample* sample) {
    // Paused or stopped while the frame was made (a device read that blocked across the pause):
    // a live source sends nothing outside its run, and the next run starts afresh.
    if (!StillRunning()) return S_OK;
    const long length = sample->GetActualDataLength();
    HRESULT hr = TBCSourceStream::Deliver(sample);
    if (hr == S_OK) {
        deliveredBytes_ += length;
        ++delivered_;
    }
    return hr;
}

void TBCLiveSourceStream::StampFromCount(IMediaSample* sample, std::int64_t units) {
    REFERENCE_TIME tStart = UnitsToTime(position_);
    position_ += units;
    REFERENCE_TIME tStop = UnitsToTime(position_);
    sample->SetTime(&tStart, &tStop);
}

HRESULT TBCLiveSourceStream::ClockStreamTime(REFERENCE_TIME* time) {
    if (!time) return E_POINTER;
    if (!runClock_) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = runClock_->GetTime(&now);
    if (FAILED(hr)) return hr;
    *time = now - runStart_;
    return S_OK;
}

void TBCLiveSourceStream::ReportLost(long frames) {
    if (frames <= 0) return;
    dropped_ += frames;
    std::lock_guard lock(droppedMutex_);
    for (long i = 0; i < frames; ++i, ++frameNumber_)
        if (static_cast<long>(droppedFrames_.size()) < kMaxDroppedKept)
            droppedFrames_.push_back(frameNumber_);
}

// IAMDroppedFrames

HRESULT TBCLiveSourceStream::GetNumDropped(long* dropped) {
    if (!dropped) return E_POINTER;
    *dropped = dropped_;
    return S_OK;
}

HRESULT TBCLiveSourceStream::GetNumNotDropped(long* notDropped) {
    if (!notDropped) return E_POINTER;
    *notDropped = delivered_;
    return S_OK;
}

HRESULT TBCLiveSourceStream::GetDroppedInfo(long size, long* frames, long* copied) {
    if (!frames || !copied) return E_POINTER;
    if (size <= 0) return E_INVALIDARG;
    std::lock_guard lock(droppedMutex_);
    const long n = std::min<long>(size, static_cast<long>(droppedFrames_.size()));
    std::copy_n(droppedFrames_.begin(), n, frames);
    *copied = n;
    return S_OK;
}

HRESULT TBCLiveSourceStream::GetAverageFrameSize(long* averageSize) {
    if (!averageSize) return E_POINTER;
    const long n = delivered_;
    *averageSize = n == 0 ? 0 : static_cast<long>(deliveredBytes_ / n);
    return S_OK;
}

// IAMPushSource

HRESULT TBCLiveSourceStream::GetLatency(REFERENCE_TIME* latency) {
    if (!latency) return E_POINTER;
    *latency = UnitsToTime(periodUnits_);
    return S_OK;
}

HRESULT TBCLiveSourceStream::GetPushSourceFlags(ULONG* flags) {
    if (!flags) return E_POINTER;
    *flags = pacing_ == TBCLivePacing::AsFastAsPossible ? AM_PUSHSOURCECAPS_NOT_LIVE : 0;
    return S_OK;
}

HRESULT TBCLiveSourceStream::SetPushSourceFlags(ULONG) {
    return E_NOTIMPL;
}

HRESULT TBCLiveSourceStream::SetStreamOffset(REFERENCE_TIME) {
    return E_NOTIMPL;
}

HRESULT TBCLiveSourceStream::GetStreamOffset(REFERENCE_TIME* offset) {
    if (!offset) return E_POINTER;
    *offset = 0;
    return S_OK;
}

HRESULT TBCLiveSourceStream::GetMaxStreamOffset(REFERENCE_TIME* maxOffset) {
    if (!maxOffset) return E_POINTER;
    *maxOffset = 0;
    return S_OK;
}

HRESULT TBCLiveSourceStream::SetMaxStreamOffset(REFERENCE_TIME) {
    return E_NOTIMPL;
}

} // namespace talvence
