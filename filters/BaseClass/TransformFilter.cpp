#include "filters/BaseClass/TransformFilter.h"

#include "filters/BaseClass/SampleCopy.h"

#include "platform/media/EventCodes.h"

namespace talvence {

// ---------------------------------------------------------------------------------------------
// TBCTransformInputPin

TBCTransformInputPin::TBCTransformInputPin(std::string objectName, TBCTransformFilter* filter,
                                           std::string pinName)
    : TBCBaseInputPin(std::move(objectName), filter, filter->FilterLock(), std::move(pinName),
                      "In"),
      transform_(filter) {}

HRESULT TBCTransformInputPin::CheckConnect(IPin* pin) {
    HRESULT hr = transform_->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr)) return hr;
    return TBCBaseInputPin::CheckConnect(pin);
}

HRESULT TBCTransformInputPin::BreakConnect() {
    transform_->BreakConnect(PINDIR_INPUT);
    return TBCBaseInputPin::BreakConnect();
}

HRESULT TBCTransformInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = transform_->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr)) return hr;
    return TBCBaseInputPin::CompleteConnect(receivePin);
}

HRESULT TBCTransformInputPin::CheckMediaType(const CMediaType* mt) {
    HRESULT hr = transform_->CheckInputType(mt);
    if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    // With the output connected the new input must still transform into the output's type.
    if (transform_->output_ && transform_->output_->IsConnected())
        return transform_->CheckTransform(mt, &transform_->output_->CurrentMediaType());
    return S_OK;
}

HRESULT TBCTransformInputPin::SetMediaType(const CMediaType* mt) {
    HRESULT hr = TBCBaseInputPin::SetMediaType(mt);
    if (FAILED(hr)) return hr;
    return transform_->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT TBCTransformInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(transform_->csReceive_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return transform_->Receive(sample);
}

HRESULT TBCTransformInputPin::EndOfStream() {
    TBCAutoLock lock(transform_->csReceive_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return transform_->EndOfStream();
}

HRESULT TBCTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    TBCBasePin::NewSegment(tStart, tStop, rate);
    return transform_->NewSegment(tStart, tStop, rate);
}

HRESULT TBCTransformInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    if (!IsConnected() || !transform_->output_ || !transform_->output_->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return transform_->BeginFlush();
}

HRESULT TBCTransformInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    if (!IsConnected() || !transform_->output_ || !transform_->output_->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = transform_->EndFlush();
    if (FAILED(hr)) return hr;
    return TBCBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------------
// TBCTransformOutputPin

TBCTransformOutputPin::TBCTransformOutputPin(std::string objectName, TBCTransformFilter* filter,
                                             std::string pinName)
    : TBCBaseOutputPin(std::move(objectName), filter, filter->FilterLock(), std::move(pinName),
                       "Out"),
      transform_(filter) {}

HRESULT TBCTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IQualityControl::iid) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    return TBCBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCTransformOutputPin::CheckConnect(IPin* pin) {
    // Output types derive from the input's: nothing to offer before the input is connected.
    if (!transform_->input_ || !transform_->input_->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = transform_->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TBCTransformOutputPin::BreakConnect() {
    transform_->BreakConnect(PINDIR_OUTPUT);
    return TBCBaseOutputPin::BreakConnect();
}

HRESULT TBCTransformOutputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr)) return hr;
    return TBCBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT TBCTransformOutputPin::CheckMediaType(const CMediaType* mt) {
    if (!transform_->input_ || !transform_->input_->IsConnected()) return E_UNEXPECTED;
    return transform_->CheckTransform(&transform_->input_->CurrentMediaType(), mt);
}

HRESULT TBCTransformOutputPin::SetMediaType(const CMediaType* mt) {
    HRESULT hr = TBCBaseOutputPin::SetMediaType(mt);
    if (FAILED(hr)) return hr;
    return transform_->SetMediaType(PINDIR_OUTPUT, mt);
}

HRESULT TBCTransformOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (!transform_->input_ || !transform_->input_->IsConnected()) return E_UNEXPECTED;
    return transform_->GetMediaType(position, mt);
}

HRESULT TBCTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
    return transform_->DecideBufferSize(allocator, request);
}

HRESULT TBCTransformOutputPin::Notify(IBaseFilter*, Quality q) {
    HRESULT hr = transform_->AlterQuality(q);
    if (hr != S_FALSE) return hr;
    if (qualitySink_) return qualitySink_->Notify(transform_, q);
    // Not handled here: the filter upstream may adapt its rate.
    IPin* upstream = transform_->input_ ? transform_->input_->GetConnected() : nullptr;
    if (!upstream) return VFW_E_NOT_FOUND;
    ComPtr<IQualityControl> qc;
    if (FAILED(upstream->QueryInterface(IQualityControl::iid, qc.putVoid())))
        return VFW_E_NOT_FOUND;
    return qc->Notify(transform_, q);
}

HRESULT TBCTransformOutputPin::SetSink(IQualityControl* sink) {
    qualitySink_ = sink;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// TBCTransformFilter

TBCTransformFilter::TBCTransformFilter(std::string name, IUnknown* outer, const CLSID& clsid)
    : TBCBaseFilter(std::move(name), outer, &csFilter_, clsid) {}

TBCTransformFilter::~TBCTransformFilter() = default;

void TBCTransformFilter::CreatePins() {
    input_ = std::make_unique<TBCTransformInputPin>("Transform input pin", this, "XForm In");
    output_ = std::make_unique<TBCTransformOutputPin>("Transform output pin", this, "XForm Out");
}

TBCBasePin* TBCTransformFilter::GetPin(int index) {
    TBCAutoLock lock(csFilter_);
    if (!input_) CreatePins();
    if (index == 0) return input_.get();
    if (index == 1) return output_.get();
    return nullptr;
}

HRESULT TBCTransformFilter::FindPin(const std::string& id, IPin** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (id == "In") return ReturnInterface<IPin>(GetPin(0), out);
    if (id == "Out") return ReturnInterface<IPin>(GetPin(1), out);
    return VFW_E_NOT_FOUND;
}

HRESULT TBCTransformFilter::Stop() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Stopped) return S_OK;
    if (!input_ || !input_->IsConnected() || !output_->IsConnected()) {
        state_ = State_Stopped;
        eosDelivered_ = false;
        return S_OK;
    }
    // The input first: decommitting its allocator releases an upstream thread blocked in
    // GetBuffer, which then finds us stopped; only then can the receive lock be had.
    input_->Inactive();
    // A streaming thread may also wait for one of our output buffers while holding the receive
    // lock (when this filter is stopped on its own rather than downstream first): release it too.
    if (output_->Allocator()) output_->Allocator()->Decommit();
    TBCAutoLock receive(csReceive_);
    output_->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        state_ = State_Stopped;
        eosDelivered_ = false;
    }
    return hr;
}

HRESULT TBCTransformFilter::Pause() {
    TBCAutoLock lock(csFilter_);
    if (!input_) CreatePins();
    HRESULT hr = S_OK;
    if (state_ == State_Paused) return S_OK;
    if (!input_->IsConnected()) {
        // Nothing will ever arrive: downstream learns it once.
        if (output_->IsConnected() && !eosDelivered_) {
            output_->DeliverEndOfStream();
            eosDelivered_ = true;
        }
        state_ = State_Paused;
    } else if (!output_->IsConnected()) {
        state_ = State_Paused;
    } else {
        if (state_ == State_Stopped) {
            TBCAutoLock receive(csReceive_);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr)) hr = TBCBaseFilter::Pause();
    }
    {
        TBCAutoLock receive(csReceive_);
        sampleSkipped_ = false;
        qualityChanged_ = false;
    }
    return hr;
}

HRESULT TBCTransformFilter::Transform(IMediaSample*, IMediaSample*) {
    return E_UNEXPECTED;
}

HRESULT TBCTransformFilter::InitializeOutputSample(IMediaSample* in, IMediaSample** out) {
    *out = nullptr;
    const AM_SAMPLE2_PROPERTIES* props = input_->SampleProps();
    DWORD flags = sampleSkipped_ ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;
    REFERENCE_TIME start = props->tStart, stop = props->tStop;
    ComPtr<IMediaSample> outSample;
    HRESULT hr = output_->GetDeliveryBuffer(
        outSample.put(), (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
        (props->dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
    if (FAILED(hr)) return hr;

    ComPtr<IMediaSample2> out2 = outSample.As<IMediaSample2>();
    if (out2) {
        AM_SAMPLE2_PROPERTIES o;
        out2->GetProperties(sizeof o, reinterpret_cast<BYTE*>(&o));
        o.dwTypeSpecificFlags = props->dwTypeSpecificFlags;
        o.dwSampleFlags = (props->dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) |
                          (sampleSkipped_ ? AM_SAMPLE_DATADISCONTINUITY : 0);
        o.tStart = props->tStart;
        o.tStop = props->tStop;
        o.dwStreamId = props->dwStreamId;
        o.pMediaType = nullptr;
        hr = out2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer),
                                 reinterpret_cast<const BYTE*>(&o));
        if (FAILED(hr)) return hr;
    } else {
        if (props->dwSampleFlags & AM_SAMPLE_TIMEVALID)
            outSample->SetTime(&props->tStart, (props->dwSampleFlags & AM_SAMPLE_STOPVALID)
                                                   ? &props->tStop
                                                   : nullptr);
        outSample->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0);
        outSample->SetDiscontinuity(sampleSkipped_ ||
                                    (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0);
        outSample->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    }
    LONGLONG mStart = 0, mEnd = 0;
    if (in->GetMediaTime(&mStart, &mEnd) == S_OK) outSample->SetMediaTime(&mStart, &mEnd);
    SetPictureOrigin(outSample.get(), keepsPictureOrigin_ ? PictureOriginOf(in) : nullptr);
    *out = outSample.Detach();
    return S_OK;
}

HRESULT TBCTransformFilter::DeliverOrSkip(HRESULT transformResult, IMediaSample* sample) {
    if (transformResult == S_OK) {
        sampleSkipped_ = false;
        return output_->Deliver(sample);
    }
    if (transformResult == S_FALSE) {
        // Dropped on purpose: the next delivered sample is marked as a discontinuity, and the
        // graph hears of the drops once per run.
        sampleSkipped_ = true;
        if (!qualityChanged_) {
            qualityChanged_ = true;
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
        }
        return S_OK;
    }
    return transformResult;
}

HRESULT TBCTransformFilter::Receive(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES* props = input_->SampleProps();
    // With nowhere to deliver, the sample cannot be transformed (there is no output allocator).
    if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (props->dwStreamId != AM_STREAM_MEDIA) return output_->Deliver(sample);

    ComPtr<IMediaSample> out;
    HRESULT hr = InitializeOutputSample(sample, out.put());
    if (FAILED(hr)) return hr;
    hr = Transform(sample, out.get());
    return DeliverOrSkip(hr, out.get());
}

HRESULT TBCTransformFilter::EndOfStream() {
    if (!output_->IsConnected()) return S_OK;
    return output_->DeliverEndOfStream();
}

HRESULT TBCTransformFilter::BeginFlush() {
    return output_->DeliverBeginFlush();
}
HRESULT TBCTransformFilter::EndFlush() {
    return output_->DeliverEndFlush();
}

HRESULT TBCTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    if (!output_->IsConnected()) return S_OK;
    return output_->DeliverNewSegment(tStart, tStop, rate);
}

} // namespace talvence
