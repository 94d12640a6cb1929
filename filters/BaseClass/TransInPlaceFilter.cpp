#include "filters/BaseClass/TransInPlaceFilter.h"

#include "filters/BaseClass/SampleCopy.h"

#include <algorithm>
#include <cstring>

namespace talvence {

// ---------------------------------------------------------------------------------------------
// TBCTransInPlaceInputPin

TBCTransInPlaceInputPin::TBCTransInPlaceInputPin(std::string objectName,
                                                 TBCTransInPlaceFilter* filter, std::string pinName)
    : TBCTransformInputPin(std::move(objectName), filter, std::move(pinName)), inPlace_(filter) {}

HRESULT TBCTransInPlaceInputPin::NegotiateWithPeer(IPin* peer) {
    HRESULT hr = inPlace_->MatchOtherSide(PINDIR_INPUT);
    if (FAILED(hr)) return hr;
    return TBCTransformInputPin::NegotiateWithPeer(peer);
}

HRESULT TBCTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    if (ComPtr<IMemInputPin> downstream = inPlace_->DownstreamInput()) {
        // Proposing downstream's allocator lets upstream fill buffers that travel all the way.
        HRESULT hr = downstream->GetAllocator(allocator);
        if (SUCCEEDED(hr)) return hr;
    }
    return TBCTransformInputPin::GetAllocator(allocator);
}

HRESULT TBCTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    ComPtr<IMemAllocator> previous;
    ComPtr<IMemInputPin> downstream;
    {
        TBCAutoLock lock(*lock_);
        previous = allocator_;
        HRESULT hr = TBCTransformInputPin::NotifyAllocator(allocator, readOnly);
        if (FAILED(hr)) return hr;
        downstream = inPlace_->DownstreamInput();
    }
    if (!downstream) return S_OK;
    auto* out = static_cast<TBCTransInPlaceOutputPin*>(inPlace_->output_.get());
    const bool passedOn = SUCCEEDED(downstream->NotifyAllocator(allocator, readOnly));
    {
        TBCAutoLock lock(*lock_);
        if (passedOn) {
            out->SetAllocator(allocator);
            return S_OK;
        }
        // Downstream insists on its own: samples will be copied. The output must not keep an
        // allocator it shared with the previous upstream connection.
        IMemAllocator* kept = out->Allocator();
        if (kept && kept != previous.get() && kept != allocator) return S_OK;
    }
    return out->NegotiateOwnAllocator();
}

HRESULT TBCTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    if (ComPtr<IMemInputPin> downstream = inPlace_->DownstreamInput())
        return downstream->GetAllocatorRequirements(props);
    return E_NOTIMPL;
}

HRESULT TBCTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IPin> downstream;
    {
        TBCAutoLock lock(*lock_);
        TBCTransformOutputPin* output = inPlace_->output_.get();
        if (output) downstream = output->GetConnected();
    }
    // Asked outside our lock: the other filter takes its own.
    if (!downstream) return VFW_E_NOT_CONNECTED;
    return downstream->EnumMediaTypes(out);
}

HRESULT TBCTransInPlaceInputPin::CheckMediaType(const CMediaType* mt) {
    HRESULT hr = inPlace_->CheckInputType(mt);
    if (hr != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    TBCTransformOutputPin* output = inPlace_->output_.get();
    if (output && output->IsConnected())
        return output->GetConnected()->QueryAccept(mt) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// TBCTransInPlaceOutputPin

TBCTransInPlaceOutputPin::TBCTransInPlaceOutputPin(std::string objectName,
                                                   TBCTransInPlaceFilter* filter,
                                                   std::string pinName)
    : TBCTransformOutputPin(std::move(objectName), filter, std::move(pinName)), inPlace_(filter) {}

HRESULT TBCTransInPlaceOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = inPlace_->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TBCTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IPin> upstream;
    {
        TBCAutoLock lock(*lock_);
        TBCTransformInputPin* input = inPlace_->input_.get();
        if (input) upstream = input->GetConnected();
    }
    if (!upstream) return VFW_E_NOT_CONNECTED;
    return upstream->EnumMediaTypes(out);
}

HRESULT TBCTransInPlaceOutputPin::CheckMediaType(const CMediaType* mt) {
    HRESULT hr = inPlace_->CheckInputType(mt);
    if (hr != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    TBCTransformInputPin* input = inPlace_->input_.get();
    if (input && input->IsConnected())
        return input->GetConnected()->QueryAccept(mt) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TBCTransInPlaceOutputPin::NegotiateWithPeer(IPin* peer) {
    // The input first: the allocator offered below is the one of its new connection.
    HRESULT hr = inPlace_->MatchOtherSide(PINDIR_OUTPUT);
    if (FAILED(hr)) return hr;
    return TBCTransformOutputPin::NegotiateWithPeer(peer);
}

HRESULT TBCTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    *allocator = nullptr;
    ComPtr<IMemAllocator> upstream;
    BOOL readOnly = 0;
    {
        TBCAutoLock lock(*lock_);
        TBCTransformInputPin* input = inPlace_->input_.get();
        if (input && input->IsConnected()) {
            upstream = input->PeekAllocator();
            readOnly = input->IsReadOnly();
        }
    }
    if (upstream && SUCCEEDED(pin->NotifyAllocator(upstream.get(), readOnly))) {
        *allocator = upstream.Detach();
        return S_OK;
    }
    return TBCTransformOutputPin::DecideAllocator(pin, allocator);
}

HRESULT TBCTransInPlaceOutputPin::NegotiateOwnAllocator() {
    {
        TBCAutoLock lock(*lock_);
        if (!inputPin_) return VFW_E_NOT_CONNECTED;
    }
    return NegotiateAllocator(false);
}

// ---------------------------------------------------------------------------------------------
// TBCTransInPlaceFilter

TBCTransInPlaceFilter::TBCTransInPlaceFilter(std::string name, IUnknown* outer, const CLSID& clsid,
                                             bool modifiesData)
    : TBCTransformFilter(std::move(name), outer, clsid), modifiesData_(modifiesData) {}

void TBCTransInPlaceFilter::CreatePins() {
    input_ = std::make_unique<TBCTransInPlaceInputPin>("TransInPlace input pin", this, "Input");
    output_ = std::make_unique<TBCTransInPlaceOutputPin>("TransInPlace output pin", this, "Output");
}

HRESULT TBCTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
    const bool connected = input_ && input_->IsConnected();
    return RequestBuffersLike(allocator, request, connected ? input_->PeekAllocator() : nullptr);
}

HRESULT TBCTransInPlaceFilter::MatchOtherSide(PIN_DIRECTION connected) {
    TBCBasePin* other = nullptr;
    CMediaType type;
    {
        TBCAutoLock lock(csFilter_);
        if (!input_) return S_OK;
        TBCBasePin* self =
            connected == PINDIR_INPUT ? static_cast<TBCBasePin*>(input_.get()) : output_.get();
        other = connected == PINDIR_INPUT ? static_cast<TBCBasePin*>(output_.get()) : input_.get();
        if (!other->IsConnected() || other->CurrentMediaType() == self->CurrentMediaType())
            return S_OK;
        type = self->CurrentMediaType();
    }
    return ReconnectPin(other, &type);
}

ComPtr<IMemInputPin> TBCTransInPlaceFilter::DownstreamInput() {
    TBCAutoLock lock(csFilter_);
    if (!output_ || !output_->IsConnected()) return nullptr;
    return output_->ConnectedIMemInputPin();
}

HRESULT TBCTransInPlaceFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt) {
    IFilterGraph* graph = Graph();
    if (!graph) return VFW_E_NOT_IN_GRAPH;
    ComPtr<IFilterGraph2> graph2;
    if (SUCCEEDED(graph->QueryInterface(IFilterGraph2::iid, graph2.putVoid())) && graph2)
        return graph2->ReconnectEx(pin, mt);
    return graph->Reconnect(pin);
}

bool TBCTransInPlaceFilter::UsingDifferentAllocators() const {
    return input_->PeekAllocator() != output_->Allocator();
}

IMediaSample* TBCTransInPlaceFilter::Copy(IMediaSample* source, HRESULT* result) {
    ComPtr<IMediaSample2> source2;
    source->QueryInterface(IMediaSample2::iid, source2.putVoid());
    AM_SAMPLE2_PROPERTIES props;
    if (source2)
        source2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props));
    else
        props = *input_->SampleProps();

    REFERENCE_TIME start = props.tStart, stop = props.tStop;
    DWORD flags = sampleSkipped_ ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;
    ComPtr<IMediaSample> dest;
    HRESULT hr = output_->GetDeliveryBuffer(
        dest.put(), (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
        (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
    if (FAILED(hr)) {
        *result = hr;
        return nullptr;
    }
    hr = CopySampleContents(source, dest.get(), props);
    if (FAILED(hr)) {
        *result = hr;
        return nullptr;
    }
    LONGLONG mStart = 0, mEnd = 0;
    if (source->GetMediaTime(&mStart, &mEnd) == S_OK) dest->SetMediaTime(&mStart, &mEnd);
    *result = S_OK;
    return dest.Detach();
}

HRESULT TBCTransInPlaceFilter::Receive(IMediaSample* sample) {
    if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (input_->SampleProps()->dwStreamId != AM_STREAM_MEDIA) return output_->Deliver(sample);

    ComPtr<IMediaSample> work(sample);
    // Copy-on-write: a sample from another allocator cannot travel on, and one that upstream
    // still reads must not be written.
    if (UsingDifferentAllocators() || (modifiesData_ && input_->IsReadOnly())) {
        HRESULT hr = S_OK;
        IMediaSample* copy = Copy(sample, &hr);
        if (!copy) return hr;
        work = ComPtr<IMediaSample>::Attach(copy);
    }
    const HRESULT hr = Transform(work.get());
    if (!keepsPictureOrigin_) SetPictureOrigin(work.get(), nullptr);
    return DeliverOrSkip(hr, work.get());
}

} // namespace talvence
