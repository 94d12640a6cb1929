#include "platform/media/filters/basic/SmartTee.h"

#include "platform/media/EventCodes.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

#include <pthread.h>

namespace talvence {

// ---------------------------------------------------------------------------------------------
// TSmartTeePreviewPin

TSmartTeePreviewPin::TSmartTeePreviewPin(TSmartTee* tee) : TTeeOutputPin(tee, "Preview") {}

TSmartTeePreviewPin::~TSmartTeePreviewPin() {
    StopThread();
}

HRESULT TSmartTeePreviewPin::Active() {
    HRESULT hr = TTeeOutputPin::Active();
    if (FAILED(hr)) return hr;
    StopThread();
    {
        std::lock_guard lock(mutex_);
        quit_ = false;
        endOfStream_ = false;
        busy_ = false;
    }
    skipped_ = false;
    delivered_ = 0;
    dropped_ = 0;
    try {
        thread_ = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error&) {
        TTeeOutputPin::Inactive();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TSmartTeePreviewPin::Inactive() {
    StopThread();
    return TTeeOutputPin::Inactive();
}

void TSmartTeePreviewPin::StopThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        pending_ = nullptr;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool TSmartTeePreviewPin::Offer(IMediaSample* sample) {
    bool idle;
    {
        std::lock_guard lock(mutex_);
        idle = !quit_ && !busy_ && !pending_ && !endOfStream_;
    }
    ComPtr<IMediaSample> copy;
    // Only an idle thread and a free buffer, both at once: never wait on the capture's thread.
    if (!idle || FAILED(CopySample(sample, AM_GBF_NOWAIT, true, skipped_, copy.put()))) {
        skipped_ = true;
        ++dropped_;
        static_cast<TSmartTee*>(tee_)->ReportDrop();
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (quit_) return false;
        pending_ = copy;
    }
    skipped_ = false;
    wake_.notify_all();
    return true;
}

HRESULT TSmartTeePreviewPin::DeliverEndOfStreamInOrder() {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return S_OK;
        endOfStream_ = true;
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT TSmartTeePreviewPin::DeliverBeginFlush() {
    {
        std::lock_guard lock(mutex_);
        pending_ = nullptr;
    }
    return TTeeOutputPin::DeliverBeginFlush();
}

void TSmartTeePreviewPin::ThreadProc() {
    pthread_setname_np(pthread_self(), "tee preview");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || pending_ || endOfStream_; });
        if (quit_) break;
        busy_ = true;
        if (pending_) {
            ComPtr<IMediaSample> sample = std::move(pending_);
            lock.unlock();
            // The preview's own result never reaches the capture stream.
            if (Deliver(sample.get()) == S_OK) ++delivered_;
            sample = nullptr;
            lock.lock();
        } else {
            endOfStream_ = false;
            lock.unlock();
            DeliverEndOfStream();
            lock.lock();
        }
        busy_ = false;
    }
}

// ---------------------------------------------------------------------------------------------
// TSmartTee

TSmartTee::TSmartTee() : TTeeFilter("Smart Tee", CLSID_SmartTee) {
    input_ = std::make_unique<TTeeInputPin>(this, "Input");
    AddOutput(std::make_unique<TTeeOutputPin>(this, "Capture"));
    auto preview = std::make_unique<TSmartTeePreviewPin>(this);
    preview_ = preview.get();
    AddOutput(std::move(preview));
}

void TSmartTee::StartStreaming() {
    qualityChanged_ = false;
}

void TSmartTee::ReportDrop() {
    if (qualityChanged_) return;
    qualityChanged_ = true;
    NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
}

HRESULT TSmartTee::ReceiveSample(IMediaSample* sample) {
    TBCBaseInputPin* input = input_.get();
    const AM_SAMPLE2_PROPERTIES* props = input->SampleProps();
    // Control samples and preroll are not pictures to show.
    if (preview_->IsConnected() && props->dwStreamId == AM_STREAM_MEDIA &&
        !(props->dwSampleFlags & AM_SAMPLE_PREROLL))
        preview_->Offer(sample);
    TTeeOutputPin* capture = CapturePin();
    if (!capture->IsConnected()) return S_OK;
    return capture->DeliverSample(sample);
}

} // namespace talvence
