#include "platform/media/filters/basic/TeeFilter.h"

#include "filters/BaseClass/SampleCopy.h"

#include <algorithm>
#include <cstring>

namespace talvence {


// ---------------------------------------------------------------------------------------------
// TTeeInputPin

TTeeInputPin::TTeeInputPin(TTeeFilter* tee, std::string name)
    : TBCBaseInputPin("Tee input pin", tee, &tee->filterLock_, std::move(name)), tee_(tee) {}

HRESULT TTeeInputPin::CheckMediaType(const CMediaType* mt) {
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected() && out->GetConnected()->QueryAccept(mt) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TTeeInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    // Every branch carries the input's type: those connected before with another follow it.
    for (TTeeOutputPin* out : std::vector<TTeeOutputPin*>(tee_->outputs_)) {
        if (!out->IsConnected() || out->CurrentMediaType() == mt_) continue;
        hr = tee_->ReconnectPin(out, &mt_);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT TTeeInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    TBCAutoLock lock(*lock_);
    ComPtr<IMemAllocator> previous = allocator_;
    HRESULT hr = TBCBaseInputPin::NotifyAllocator(allocator, readOnly);
    if (FAILED(hr)) return hr;
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected()) out->RenegotiateAllocator(previous.get(), allocator);
    return S_OK;
}

HRESULT TTeeInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(tee_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return tee_->ReceiveSample(sample);
}

HRESULT TTeeInputPin::EndOfStream() {
    TBCAutoLock lock(tee_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected()) out->DeliverEndOfStreamInOrder();
    return S_OK;
}

HRESULT TTeeInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    TBCBasePin::NewSegment(tStart, tStop, rate);
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected()) out->DeliverNewSegment(tStart, tStop, rate);
    return S_OK;
}

HRESULT TTeeInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected()) out->DeliverBeginFlush();
    return S_OK;
}

HRESULT TTeeInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    for (TTeeOutputPin* out : tee_->outputs_)
        if (out->IsConnected()) out->DeliverEndFlush();
    return TBCBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------------
// TTeeOutputPin

TTeeOutputPin::TTeeOutputPin(TTeeFilter* tee, std::string name)
    : TBCBaseOutputPin("Tee output pin", tee, &tee->filterLock_, std::move(name)), tee_(tee) {}

ULONG TTeeOutputPin::NonDelegatingAddRef() {
    ++pinRefs_;
    return filter_->AddRef();
}

ULONG TTeeOutputPin::NonDelegatingRelease() {
    TBCBaseFilter* filter = filter_;
    if (--pinRefs_ == 0) delete this; // unlisted by the tee and no longer held by anyone
    return filter->Release();
}

HRESULT TTeeOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IQualityControl::iid) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    return TBCBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TTeeOutputPin::Notify(IBaseFilter*, Quality q) {
    if (qualitySink_) return qualitySink_->Notify(tee_, q);
    int connected = 0;
    for (int i = 0; i < tee_->OutputCount(); ++i)
        if (tee_->Output(i)->IsConnected()) ++connected;
    if (connected != 1) return VFW_E_NOT_FOUND;
    IPin* upstream = tee_->input_->GetConnected();
    ComPtr<IQualityControl> qc;
    if (!upstream || FAILED(upstream->QueryInterface(IQualityControl::iid, qc.putVoid())))
        return VFW_E_NOT_FOUND;
    return qc->Notify(tee_, q);
}

HRESULT TTeeOutputPin::SetSink(IQualityControl* sink) {
    qualitySink_ = sink;
    return S_OK;
}

void TTeeOutputPin::Drop() {
    if (--pinRefs_ == 0) delete this;
}

HRESULT TTeeOutputPin::CheckConnect(IPin* pin) {
    // The output's type is the input's: nothing to offer before the input is connected.
    if (!tee_->input_->IsConnected()) return E_UNEXPECTED;
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TTeeOutputPin::CheckMediaType(const CMediaType* mt) {
    if (!tee_->input_->IsConnected()) return E_UNEXPECTED;
    return *mt == tee_->input_->CurrentMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TTeeOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (!tee_->input_->IsConnected()) return E_UNEXPECTED;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = tee_->input_->CurrentMediaType();
    return S_OK;
}

HRESULT TTeeOutputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = TBCBaseOutputPin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    tee_->OutputConnected(this);
    return S_OK;
}

HRESULT TTeeOutputPin::Disconnect() {
    // The tee may unlist this pin below: stay alive until the call returns.
    ComPtr<IPin> self(static_cast<IPin*>(this));
    TBCAutoLock lock(*lock_);
    HRESULT hr = TBCBaseOutputPin::Disconnect();
    if (hr == S_OK) tee_->OutputDisconnected(this);
    return hr;
}

namespace {

// A branch sharing the upstream buffers may say it keeps several (a queue): the upstream
// allocator gets that many, and one more for the other branches, or the branch would hold the
// upstream back long before its queue is full. Only while the buffers are not in use; and never
// fewer than before, so that branches connected again do not add up.
void WidenFor(IMemAllocator* upstream, IMemInputPin* branch) {
    ALLOCATOR_PROPERTIES required{};
    if (FAILED(branch->GetAllocatorRequirements(&required)) || required.cBuffers <= 1) return;
    ALLOCATOR_PROPERTIES now{};
    if (FAILED(upstream->GetProperties(&now)) || now.cBuffers >= required.cBuffers + 1) return;
    ALLOCATOR_PROPERTIES wanted = now, actual{};
    wanted.cBuffers = required.cBuffers + 1;
    upstream->SetProperties(&wanted, &actual);
}

} // namespace

HRESULT TTeeOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    *allocator = nullptr;
    TTeeInputPin* input = tee_->input_.get();
    IMemAllocator* upstream = input->PeekAllocator();
    if (!WantsOwnBuffers() && input->IsConnected() && upstream) {
        const BOOL readOnly = tee_->OutputsShareSamples() || input->IsReadOnly();
        if (SUCCEEDED(pin->NotifyAllocator(upstream, readOnly))) {
            WidenFor(upstream, pin);
            *allocator = upstream;
            upstream->AddRef();
            return S_OK;
        }
    }
    return TBCBaseOutputPin::DecideAllocator(pin, allocator);
}

HRESULT TTeeOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return RequestBuffersLike(allocator, request, tee_->input_->PeekAllocator());
}

void TTeeOutputPin::RenegotiateAllocator(IMemAllocator* previous, IMemAllocator* current) {
    if (!inputPin_) return;
    TTeeInputPin* input = tee_->input_.get();
    if (!WantsOwnBuffers()) {
        const BOOL readOnly = tee_->OutputsShareSamples() || input->IsReadOnly();
        if (SUCCEEDED(inputPin_->NotifyAllocator(current, readOnly))) {
            allocator_ = current;
            WidenFor(current, inputPin_.get());
            return;
        }
    }
    // Our own buffers: never keep one that belonged to the previous upstream connection, and size
    // the ones we keep after the new input.
    if (!allocator_ || allocator_.get() == previous || allocator_.get() == current) {
        ComPtr<IMemAllocator> own;
        if (SUCCEEDED(TBCBaseOutputPin::DecideAllocator(inputPin_.get(), own.put())))
            allocator_ = own;
        else
            allocator_ = nullptr; // activation then fails with VFW_E_NO_ALLOCATOR
        return;
    }
    ALLOCATOR_PROPERTIES request;
    DecideBufferSize(allocator_.get(), &request);
}

bool TTeeOutputPin::SharesInputAllocator() const {
    return allocator_ && allocator_.get() == tee_->input_->PeekAllocator();
}

HRESULT TTeeOutputPin::DeliverSample(IMediaSample* sample) {
    if (SharesInputAllocator()) return Deliver(sample);
    ComPtr<IMediaSample> copy;
    HRESULT hr = CopySample(sample, 0, false, false, copy.put());
    if (FAILED(hr)) return hr;
    return Deliver(copy.get());
}

HRESULT TTeeOutputPin::CopySample(IMediaSample* sample, DWORD getBufferFlags, bool clearTimes,
                                  bool discontinuity, IMediaSample** out) {
    *out = nullptr;
    AM_SAMPLE2_PROPERTIES props;
    ReadSampleProperties(sample, &props);
    if (clearTimes) props.dwSampleFlags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
    if (discontinuity) props.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    REFERENCE_TIME start = props.tStart, stop = props.tStop;
    ComPtr<IMediaSample> dest;
    HRESULT hr = GetDeliveryBuffer(
        dest.put(), (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
        (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, getBufferFlags);
    if (FAILED(hr)) return hr;
    hr = CopySampleContents(sample, dest.get(), props);
    if (FAILED(hr)) return hr;
    LONGLONG mStart = 0, mEnd = 0;
    if (!clearTimes && sample->GetMediaTime(&mStart, &mEnd) == S_OK)
        dest->SetMediaTime(&mStart, &mEnd);
    ++copies_;
    *out = dest.Detach();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// TTeeFilter

TTeeFilter::TTeeFilter(std::string name, const CLSID& clsid)
    : TBCBaseFilter(std::move(name), nullptr, &filterLock_, clsid) {}

TTeeFilter::~TTeeFilter() {
    for (TTeeOutputPin* pin : outputs_)
        pin->Drop();
}

int TTeeFilter::GetPinCount() {
    TBCAutoLock lock(filterLock_);
    return 1 + static_cast<int>(outputs_.size());
}

TBCBasePin* TTeeFilter::GetPin(int index) {
    TBCAutoLock lock(filterLock_);
    if (index == 0) return input_.get();
    if (index < 1 || index > static_cast<int>(outputs_.size())) return nullptr;
    return outputs_[index - 1];
}

TTeeOutputPin* TTeeFilter::AddOutput(std::unique_ptr<TTeeOutputPin> pin) {
    TBCAutoLock lock(filterLock_);
    TTeeOutputPin* p = pin.release();
    p->Hold();
    outputs_.push_back(p);
    IncrementPinVersion();
    return p;
}

void TTeeFilter::RemoveOutput(TTeeOutputPin* pin) {
    TBCAutoLock lock(filterLock_);
    auto it = std::find(outputs_.begin(), outputs_.end(), pin);
    if (it == outputs_.end()) return;
    outputs_.erase(it);
    IncrementPinVersion();
    pin->Drop();
}

bool TTeeFilter::IsListed(TTeeOutputPin* pin) const {
    return std::find(outputs_.begin(), outputs_.end(), pin) != outputs_.end();
}

HRESULT TTeeFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt) {
    IFilterGraph* graph = Graph();
    if (!graph) return VFW_E_NOT_IN_GRAPH;
    ComPtr<IFilterGraph2> graph2;
    if (SUCCEEDED(graph->QueryInterface(IFilterGraph2::iid, graph2.putVoid())) && graph2)
        return graph2->ReconnectEx(pin, mt);
    return graph->Reconnect(pin);
}

HRESULT TTeeFilter::Pause() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        if (!input_->IsConnected()) {
            // Nothing will ever arrive: the branches learn it once.
            if (!eosDelivered_) {
                for (TTeeOutputPin* out : outputs_)
                    if (out->IsConnected()) out->TBCBaseOutputPin::DeliverEndOfStream();
                eosDelivered_ = true;
            }
        } else {
            {
                TBCAutoLock receive(receiveLock_);
                StartStreaming();
            }
            for (TTeeOutputPin* out : outputs_) {
                if (!out->IsConnected()) continue;
                HRESULT hr = out->Active();
                if (FAILED(hr)) {
                    for (TTeeOutputPin* undo : outputs_)
                        if (undo->IsConnected()) undo->Inactive();
                    return hr;
                }
            }
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT TTeeFilter::Stop() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Stopped) return S_OK;
    // The input first: decommitting its allocator releases an upstream thread blocked in
    // GetBuffer. Our own pools next, for a streaming thread waiting for a buffer to copy into
    // while it holds the receive lock.
    if (input_->IsConnected()) input_->Inactive();
    for (TTeeOutputPin* out : outputs_)
        if (out->IsConnected() && out->Allocator()) out->Allocator()->Decommit();
    TBCAutoLock receive(receiveLock_);
    for (TTeeOutputPin* out : outputs_)
        if (out->IsConnected()) out->Inactive();
    eosDelivered_ = false;
    state_ = State_Stopped; // under the receive lock: a sample waiting for it is then refused
    return S_OK;
}

} // namespace talvence
