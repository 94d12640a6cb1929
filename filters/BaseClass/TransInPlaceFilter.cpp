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

HRESULT TBCTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    TBCAutoLock lock(*lock_);
    TBCTransformOutputPin* out = inPlace_->output_.get();
    if (out && out->IsConnected() && out->ConnectedIMemInputPin()) {
        // Proposing downstream's allocator lets upstream fill buffers that travel all the way.
        HRESULT hr = out->ConnectedIMemInputPin()->GetAllocator(allocator);
        if (SUCCEEDED(hr)) return hr;
    }
    return TBCTransformInputPin::GetAllocator(allocator);
}

HRESULT TBCTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    TBCAutoLock lock(*lock_);
    ComPtr<IMemAllocator> previous = allocator_;
    HRESULT hr = TBCTransformInputPin::NotifyAllocator(allocator, readOnly);
    if (FAILED(hr)) return hr;
    TBCTransInPlaceOutputPin* out = static_cast<TBCTransInPlaceOutputPin*>(inPlace_->output_.get());
    if (!out || !out->IsConnected() || !out->ConnectedIMemInputPin()) return S_OK;
    if (SUCCEEDED(out->ConnectedIMemInputPin()->NotifyAllocator(allocator, readOnly))) {
        out->SetAllocator(allocator);
        return S_OK;
    }
    // Downstream insists on its own: samples will be copied. The output must not keep an
    // allocator it shared with the previous upstream connection.
    if (out->Allocator() == nullptr || out->Allocator() == previous.get() ||
        out->Allocator() == allocator)
        return out->NegotiateOwnAllocator();
    return S_OK;
}

HRESULT TBCTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    TBCAutoLock lock(*lock_);
    TBCTransformOutputPin* out = inPlace_->output_.get();
    if (out && out->IsConnected() && out->ConnectedIMemInputPin())
        return out->ConnectedIMemInputPin()->GetAllocatorRequirements(props);
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

HRESULT TBCTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    *allocator = nullptr;
    TBCTransformInputPin* input = inPlace_->input_.get();
    IMemAllocator* upstream = input ? input->PeekAllocator() : nullptr;
    if (input && input->IsConnected() && upstream &&
        SUCCEEDED(pin->NotifyAllocator(upstream, input->IsReadOnly()))) {
        *allocator = upstream;
        upstream->AddRef();
        return S_OK;
    }
    return TBCTransformOutputPin::DecideAllocator(pin, allocator);
}

HRESULT TBCTransInPlaceOutputPin::NegotiateOwnAllocator() {
    if (!inputPin_) return VFW_E_NOT_CONNECTED;
    ComPtr<IMemAllocator> alloc;
    HRESULT hr = TBCTransformOutputPin::DecideAllocator(inputPin_.get(), alloc.put());
    if (FAILED(hr)) return hr;
    allocator_ = alloc;
    return S_OK;
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

HRESULT TBCTransInPlaceFilter::CompleteConnect(PIN_DIRECTION dir, IPin*) {
    // Both sides always carry one type: the side just connected wins.
    if (dir == PINDIR_INPUT) {
        if (output_ && output_->IsConnected() &&
            output_->CurrentMediaType() != input_->CurrentMediaType())
            return ReconnectPin(output_.get(), &input_->CurrentMediaType());
    } else {
        if (input_ && input_->IsConnected() &&
            input_->CurrentMediaType() != output_->CurrentMediaType())
            return ReconnectPin(input_.get(), &output_->CurrentMediaType());
    }
    return S_OK;
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
    return DeliverOrSkip(Transform(work.get()), work.get());
}

} // namespace talvence
