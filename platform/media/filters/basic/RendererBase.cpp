#include "platform/media/filters/basic/RendererBase.h"

#include "platform/media/EventCodes.h"

namespace talvence {

TRendererInputPin::TRendererInputPin(TBasicRenderer* renderer, std::string name)
    : TBCBaseInputPin("Renderer input pin", renderer, &renderer->filterLock_, std::move(name)),
      renderer_(renderer) {}

HRESULT TRendererInputPin::CheckMediaType(const CMediaType* mt) {
    return renderer_->CheckMediaType(mt) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TRendererInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(renderer_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    // Nothing may follow the end of the stream until a flush or a new run.
    if (renderer_->endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
    if ((sampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && sampleProps_.pMediaType)
        renderer_->streamType_ = *sampleProps_.pMediaType;
    if (sampleProps_.dwStreamId != AM_STREAM_MEDIA) return S_OK;
    if (sampleProps_.dwSampleFlags & AM_SAMPLE_PREROLL) return S_OK;
    const CMediaType& type = renderer_->streamType_.IsValid() ? renderer_->streamType_ : mt_;
    hr = renderer_->RenderSample(sample, type);
    if (hr == S_OK) ++renderer_->rendered_;
    return SUCCEEDED(hr) ? S_OK : hr; // S_FALSE only means "not rendered": upstream goes on
}

HRESULT TRendererInputPin::EndOfStream() {
    TBCAutoLock lock(renderer_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (renderer_->endOfStream_) return S_OK;
    renderer_->endOfStream_ = true;
    renderer_->NotifyEvent(EC_COMPLETE, S_OK,
                           reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(renderer_)));
    return S_OK;
}

HRESULT TRendererInputPin::BeginFlush() {
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    renderer_->CancelWait();
    return hr;
}

HRESULT TRendererInputPin::EndFlush() {
    {
        // The receive lock first: a streaming thread that has not yet seen the flush's cancel
        // must leave Receive before waits are allowed again, or it could start a new wait while
        // holding the lock and keep this call waiting.
        TBCAutoLock lock(renderer_->receiveLock_);
        renderer_->AllowWait();
        renderer_->endOfStream_ = false;
    }
    return TBCBaseInputPin::EndFlush();
}

TBasicRenderer::TBasicRenderer(std::string name, const CLSID& clsid, std::string pinName)
    : TBCBaseFilter(std::move(name), nullptr, &filterLock_, clsid),
      input_(this, std::move(pinName)) {}

TBasicRenderer::~TBasicRenderer() = default;

TBCBasePin* TBasicRenderer::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
}

HRESULT TBasicRenderer::Pause() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped && input_.IsConnected()) {
        TBCAutoLock receive(receiveLock_);
        endOfStream_ = false;
        rendered_ = 0;
        streamType_ = CMediaType();
        AllowWait();
        HRESULT hr = StartStreaming();
        if (FAILED(hr)) return hr;
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT TBasicRenderer::Stop() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Stopped) return S_OK;
    if (!input_.IsConnected()) {
        state_ = State_Stopped;
        return S_OK;
    }
    // Decommitting the allocator releases an upstream thread blocked in GetBuffer; a sample
    // waiting here for its time is let go, so that the receive lock can be had.
    input_.Inactive();
    CancelWait();
    TBCAutoLock receive(receiveLock_);
    StopStreaming();
    state_ = State_Stopped;
    return S_OK;
}

} // namespace talvence
