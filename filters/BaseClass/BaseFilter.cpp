#include "filters/BaseClass/BaseFilter.h"

#include "filters/BaseClass/SampleCopy.h"

#include "platform/log/Log.h"
#include "platform/media/EventCodes.h"
#include "platform/media/HResultText.h"
#include "platform/media/MemAllocator.h"

#include <algorithm>
#include <cstring>

namespace talvence {

// ---------------------------------------------------------------------------------------------
// TBCBaseFilter

TBCBaseFilter::TBCBaseFilter(std::string name, IUnknown* outer, TBCCritSec* lock,
                             const CLSID& clsid)
    : TBCUnknown(std::move(name), outer), lock_(lock), clsid_(clsid) {
    if (!lock_) throw TBCAssertionFailure("Lock = nil !");
}

TBCBaseFilter::~TBCBaseFilter() = default;

HRESULT TBCBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IBaseFilter::iid || riid == IMediaFilter::iid ||
        riid == IPersist::iid)
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    return TBCUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

HRESULT TBCBaseFilter::Stop() {
    TBCAutoLock lock(*lock_);
    HRESULT result = S_OK;
    if (state_ != State_Stopped)
        ForEachOwnPin([&](TBCBasePin* pin) {
            if (!pin->IsConnected()) return;
            HRESULT hr = pin->Inactive();
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        });
    state_ = State_Stopped;
    return result;
}

HRESULT TBCBaseFilter::Pause() {
    TBCAutoLock lock(*lock_);
    HRESULT hr = S_OK;
    if (state_ == State_Stopped)
        ForEachOwnPin([&](TBCBasePin* pin) {
            if (pin->IsConnected()) hr = pin->Active();
            return FAILED(hr); // the first failure ends the walk
        });
    if (FAILED(hr)) return hr;
    state_ = State_Paused;
    return S_OK;
}

HRESULT TBCBaseFilter::Run(REFERENCE_TIME tStart) {
    TBCAutoLock lock(*lock_);
    startTime_ = tStart;
    if (state_ == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = S_OK;
    if (state_ != State_Running)
        ForEachOwnPin([&](TBCBasePin* pin) {
            if (pin->IsConnected()) hr = pin->Run(tStart);
            return FAILED(hr); // the first failure ends the walk
        });
    if (FAILED(hr)) return hr;
    state_ = State_Running;
    return S_OK;
}

HRESULT TBCBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = state_;
    return S_OK;
}

HRESULT TBCBaseFilter::SetSyncSource(IReferenceClock* clock) {
    TBCAutoLock lock(*lock_);
    std::lock_guard clockLock(clockLock_);
    clock_ = clock;
    return S_OK;
}

HRESULT TBCBaseFilter::GetSyncSource(IReferenceClock** clock) {
    TBCAutoLock lock(*lock_);
    return ReturnInterface(clock_.get(), clock);
}

HRESULT TBCBaseFilter::EnumPins(IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* e = new TBCEnumPins(this);
    return e->QueryInterface(IEnumPins::iid, reinterpret_cast<void**>(out));
}

HRESULT TBCBaseFilter::FindPin(const std::string& id, IPin** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    TBCAutoLock lock(*lock_);
    TBCBasePin* found = nullptr;
    ForEachOwnPin([&](TBCBasePin* pin) {
        std::string pinId;
        if (SUCCEEDED(pin->QueryId(&pinId)) && pinId == id) found = pin;
        return found != nullptr;
    });
    return found ? ReturnInterface(static_cast<IPin*>(found), out) : VFW_E_NOT_FOUND;
}

HRESULT TBCBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    TBCAutoLock lock(*lock_);
    info->achName = nameInGraph_;
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT TBCBaseFilter::JoinFilterGraph(IFilterGraph* graph, const std::string& name) {
    TBCAutoLock lock(*lock_);
    graph_ = graph;
    sink_ = nullptr;
    if (graph_) {
        // Kept without a reference: the graph holds us, and a reference back would be a cycle.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(
                graph_->QueryInterface(IMediaEventSink::iid, reinterpret_cast<void**>(&sink)))) {
            sink_ = sink;
            sink->Release();
        }
        nameInGraph_ = name;
    } else {
        nameInGraph_.clear();
    }
    return S_OK;
}

HRESULT TBCBaseFilter::QueryVendorInfo(std::string* info) {
    if (!info) return E_POINTER;
    // No vendor text: the platform documents E_NOTIMPL as the answer of filters without one.
    return E_NOTIMPL;
}

HRESULT TBCBaseFilter::StreamTime(REFERENCE_TIME* time) {
    if (!time) return E_POINTER;
    ComPtr<IReferenceClock> clock;
    {
        std::lock_guard lock(clockLock_);
        clock = clock_;
    }
    if (!clock) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    if (FAILED(hr)) return hr;
    *time = now - startTime_;
    return S_OK;
}

HRESULT TBCBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = sink_;
    if (!sink) return E_NOTIMPL;
    // The device-lost event carries the device; default to this filter, as the platform does.
    if (code == EC_DEVICE_LOST && param1 == 0)
        param1 =
            reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(static_cast<IBaseFilter*>(this)));
    // The event does not say who ended the run; the log does.
    if (code == EC_ERRORABORT || code == EC_USERABORT)
        TLOG(Engine) << ObjectName() << " ends the run: " << HResultText(static_cast<HRESULT>(param1));
    return sink->Notify(code, param1, param2);
}

// ---------------------------------------------------------------------------------------------
// TBCBasePin

TBCBasePin::TBCBasePin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                       std::string pinName, PIN_DIRECTION dir, std::string id)
    : TBCUnknown(std::move(objectName), nullptr), filter_(filter), lock_(lock),
      name_(std::move(pinName)), id_(std::move(id)), dir_(dir) {
    if (!lock_) throw TBCAssertionFailure("Lock = nil !");
    if (id_.empty()) id_ = name_;
}

TBCBasePin::~TBCBasePin() = default;

HRESULT TBCBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IPin::iid)
        return GetInterface(static_cast<IPin*>(this), ppv);
    return TBCUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG TBCBasePin::NonDelegatingAddRef() {
    return filter_->AddRef();
}
ULONG TBCBasePin::NonDelegatingRelease() {
    return filter_->Release();
}

HRESULT TBCBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) {
    if (!receivePin) return E_POINTER;
    {
        TBCAutoLock lock(*lock_);
        if (connected_ || connecting_) return VFW_E_ALREADY_CONNECTED;
        if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
        connecting_ = true;
    }
    // Agreed without our lock: the peer takes its own, and may call back into us.
    const HRESULT hr = AgreeMediaType(receivePin, pmt);
    TBCAutoLock lock(*lock_);
    connecting_ = false;
    return hr;
}

HRESULT TBCBasePin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* pmt) {
    if (pmt) {
        CMediaType wanted(*pmt);
        if (!wanted.IsPartiallySpecified()) return AttemptConnection(receivePin, &wanted);
    }
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    // The receiving pin's preferences first, then ours.
    for (int round = 0; round < 2; ++round) {
        ComPtr<IEnumMediaTypes> types;
        IPin* source = round == 0 ? receivePin : static_cast<IPin*>(this);
        if (FAILED(source->EnumMediaTypes(types.put())) || !types) continue;
        HRESULT hr = TryMediaTypes(receivePin, pmt, types.get());
        if (SUCCEEDED(hr)) return hr;
        if (hr != VFW_E_NO_ACCEPTABLE_TYPES) last = hr;
    }
    return last == VFW_E_NO_ACCEPTABLE_TYPES ? last : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT TBCBasePin::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial,
                                  IEnumMediaTypes* types) {
    types->Reset();
    for (;;) {
        AM_MEDIA_TYPE* raw = nullptr;
        ULONG fetched = 0;
        HRESULT hr = types->Next(1, &raw, &fetched);
        if (hr != S_OK || fetched != 1) return VFW_E_NO_ACCEPTABLE_TYPES;
        CMediaType mt(*raw);
        DeleteMediaType(raw);
        if (partial && !mt.MatchesPartial(*partial)) continue;
        if (SUCCEEDED(AttemptConnection(receivePin, &mt))) return S_OK;
    }
}

HRESULT TBCBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mt) {
    {
        TBCAutoLock lock(*lock_);
        HRESULT hr = Reserve(receivePin, mt);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), mt);
    const bool peerConnected = SUCCEEDED(hr);
    if (SUCCEEDED(hr)) hr = NegotiateWithPeer(receivePin);
    if (SUCCEEDED(hr)) {
        TBCAutoLock lock(*lock_);
        hr = Commit(receivePin);
        if (SUCCEEDED(hr)) return S_OK;
    }
    if (peerConnected) receivePin->Disconnect();
    TBCAutoLock lock(*lock_);
    if (connected_.get() == receivePin) ClearConnection();
    BreakConnect();
    return FAILED(hr) ? hr : E_FAIL;
}

HRESULT TBCBasePin::Reserve(IPin* peer, const CMediaType* mt) {
    HRESULT hr = CheckConnect(peer);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    if (CheckMediaType(mt) != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    connected_ = peer;
    hr = SetMediaType(mt);
    if (FAILED(hr)) {
        ClearConnection();
        BreakConnect();
    }
    return hr;
}

HRESULT TBCBasePin::Commit(IPin* peer) {
    // Our lock was let go while the peer was asked: the pin may have been disconnected or the
    // filter started meanwhile.
    if (connected_.get() != peer) return VFW_E_NOT_CONNECTED;
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    return CompleteConnect(peer);
}

HRESULT TBCBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) {
    if (!connector || !pmt) return E_POINTER;
    const CMediaType mt(*pmt);
    {
        TBCAutoLock lock(*lock_);
        if (connected_ || connecting_) return VFW_E_ALREADY_CONNECTED;
        if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
        HRESULT hr = Reserve(connector, &mt);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = NegotiateWithPeer(connector);
    TBCAutoLock lock(*lock_);
    if (SUCCEEDED(hr)) hr = Commit(connector);
    if (FAILED(hr)) {
        if (connected_.get() == connector) ClearConnection();
        BreakConnect();
    }
    return hr;
}

HRESULT TBCBasePin::Disconnect() {
    TBCAutoLock lock(*lock_);
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (!connected_) return S_FALSE;
    HRESULT hr = BreakConnect();
    ClearConnection();
    return FAILED(hr) ? hr : S_OK;
}

void TBCBasePin::ClearConnection() {
    connected_ = nullptr;
    mt_ = CMediaType();
}

HRESULT TBCBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    TBCAutoLock lock(*lock_);
    *pin = nullptr;
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return ReturnInterface(connected_.get(), pin);
}

HRESULT TBCBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    TBCAutoLock lock(*lock_);
    if (!connected_) {
        *pmt = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &mt_);
}

HRESULT TBCBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = filter_;
    filter_->AddRef();
    info->dir = dir_;
    info->achName = name_;
    return S_OK;
}

HRESULT TBCBasePin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = dir_;
    return S_OK;
}

HRESULT TBCBasePin::QueryId(std::string* id) {
    if (!id) return E_POINTER;
    *id = id_;
    return S_OK;
}

HRESULT TBCBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    CMediaType mt(*pmt);
    return CheckMediaType(&mt) == S_OK ? S_OK : S_FALSE;
}

HRESULT TBCBasePin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* e = new TBCEnumMediaTypes(this);
    return e->QueryInterface(IEnumMediaTypes::iid, reinterpret_cast<void**>(out));
}

HRESULT TBCBasePin::QueryInternalConnections(IPin**, ULONG*) {
    // The platform's answer for "every input feeds every output".
    return E_NOTIMPL;
}

HRESULT TBCBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    segmentStart_ = tStart;
    segmentStop_ = tStop;
    segmentRate_ = rate;
    return S_OK;
}

HRESULT TBCBasePin::GetMediaType(int position, CMediaType*) {
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT TBCBasePin::SetMediaType(const CMediaType* mt) {
    mt_ = *mt;
    return S_OK;
}

HRESULT TBCBasePin::CheckConnect(IPin* pin) {
    PIN_DIRECTION other;
    HRESULT hr = pin->QueryDirection(&other);
    if (FAILED(hr)) return hr;
    return other == dir_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT TBCBasePin::BreakConnect() {
    return S_OK;
}
HRESULT TBCBasePin::NegotiateWithPeer(IPin*) {
    return S_OK;
}
HRESULT TBCBasePin::CompleteConnect(IPin*) {
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// TBCBaseOutputPin

TBCBaseOutputPin::TBCBaseOutputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                                   std::string pinName, std::string id)
    : TBCBasePin(std::move(objectName), filter, lock, std::move(pinName), PINDIR_OUTPUT,
                 std::move(id)) {}

HRESULT TBCBaseOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = TBCBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IMemInputPin> memInput;
    hr = pin->QueryInterface(IMemInputPin::iid, memInput.putVoid());
    if (FAILED(hr)) return E_NOINTERFACE;
    inputPin_ = memInput;
    return S_OK;
}

HRESULT TBCBaseOutputPin::NegotiateWithPeer(IPin*) {
    return NegotiateAllocator(true);
}

HRESULT TBCBaseOutputPin::NegotiateAllocator(bool mayPassOn) {
    ComPtr<IMemInputPin> input;
    {
        TBCAutoLock lock(*lock_);
        input = inputPin_;
    }
    if (!input) return E_UNEXPECTED;
    ComPtr<IMemAllocator> alloc;
    HRESULT hr = mayPassOn ? DecideAllocator(input.get(), alloc.put())
                           : TBCBaseOutputPin::DecideAllocator(input.get(), alloc.put());
    if (FAILED(hr)) return hr;
    TBCAutoLock lock(*lock_);
    allocator_ = alloc;
    return S_OK;
}

HRESULT TBCBaseOutputPin::CompleteConnect(IPin*) {
    return allocator_ ? S_OK : VFW_E_NO_ALLOCATOR;
}

HRESULT TBCBaseOutputPin::BreakConnect() {
    if (allocator_) {
        allocator_->Decommit();
        allocator_ = nullptr;
    }
    inputPin_ = nullptr;
    return S_OK;
}

HRESULT TBCBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES required;
    pin->GetAllocatorRequirements(&required); // E_NOTIMPL: no requirements
    if (required.cbAlign == 0) required.cbAlign = 1;

    // The sizes are ours to decide, under our lock; the peer is asked without it.
    auto decideSize = [&](IMemAllocator* alloc) {
        ALLOCATOR_PROPERTIES request = required;
        TBCAutoLock lock(*lock_);
        return DecideBufferSize(alloc, &request);
    };
    ComPtr<IMemAllocator> alloc;
    HRESULT hr = pin->GetAllocator(alloc.put());
    if (SUCCEEDED(hr) && alloc) {
        hr = decideSize(alloc.get());
        if (SUCCEEDED(hr)) hr = pin->NotifyAllocator(alloc.get(), 0);
        if (SUCCEEDED(hr)) {
            *allocator = alloc.Detach();
            return S_OK;
        }
    }
    hr = InitAllocator(alloc.put());
    if (FAILED(hr)) return hr;
    hr = decideSize(alloc.get());
    if (FAILED(hr)) return hr;
    hr = pin->NotifyAllocator(alloc.get(), 0);
    if (FAILED(hr)) return hr;
    *allocator = alloc.Detach();
    return S_OK;
}

HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, LONG count,
                       LONG size, LONG align) {
    if (!allocator || !request) return E_POINTER;
    request->cBuffers = std::max(request->cBuffers, count);
    request->cbBuffer = std::max(request->cbBuffer, size);
    request->cbAlign = std::max(request->cbAlign, align);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    const bool granted = actual.cBuffers >= request->cBuffers &&
                         actual.cbBuffer >= request->cbBuffer && actual.cbAlign >= request->cbAlign;
    return granted ? S_OK : E_FAIL;
}

HRESULT RequestBuffersLike(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request,
                           IMemAllocator* model) {
    ALLOCATOR_PROPERTIES props;
    if (!model || FAILED(model->GetProperties(&props))) props = {1, 1, 1, 0};
    return RequestBuffers(allocator, request, std::max(props.cBuffers, LONG(1)),
                          std::max(props.cbBuffer, LONG(1)));
}

HRESULT TBCBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
    return ReturnInterface<IMemAllocator>(ComPtr<IMemAllocator>(new CMemAllocator).get(),
                                          allocator);
}

HRESULT TBCBaseOutputPin::Active() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Commit();
}

HRESULT TBCBaseOutputPin::Inactive() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Decommit();
}

HRESULT TBCBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                            REFERENCE_TIME* stop, DWORD flags) {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT TBCBaseOutputPin::Deliver(IMediaSample* sample) {
    if (!inputPin_) return VFW_E_NOT_CONNECTED;
    return inputPin_->Receive(sample);
}

HRESULT TBCBaseOutputPin::DeliverEndOfStream() {
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return connected_->EndOfStream();
}

HRESULT TBCBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                            double rate) {
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return connected_->NewSegment(tStart, tStop, rate);
}

HRESULT TBCBaseOutputPin::DeliverBeginFlush() {
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return connected_->BeginFlush();
}

HRESULT TBCBaseOutputPin::DeliverEndFlush() {
    if (!connected_) return VFW_E_NOT_CONNECTED;
    return connected_->EndFlush();
}

// ---------------------------------------------------------------------------------------------
// TBCBaseInputPin

TBCBaseInputPin::TBCBaseInputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                                 std::string pinName, std::string id)
    : TBCBasePin(std::move(objectName), filter, lock, std::move(pinName), PINDIR_INPUT,
                 std::move(id)) {}

HRESULT TBCBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IMemInputPin::iid) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return TBCBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCBaseInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    TBCAutoLock lock(*lock_);
    if (!allocator_) allocator_ = new CMemAllocator;
    return ReturnInterface(allocator_.get(), allocator);
}

HRESULT TBCBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    TBCAutoLock lock(*lock_);
    allocator_ = allocator;
    readOnly_ = readOnly != 0;
    return S_OK;
}

HRESULT TBCBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    // The protocol's way of saying "no requirements".
    return E_NOTIMPL;
}

HRESULT TBCBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (filter_->IsStopped()) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    if (runTimeError_) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}


HRESULT TBCBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;

    CMediaType changed;
    bool typeChanged = false;
    ComPtr<IMediaSample2> s2;
    if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, s2.putVoid())) && s2) {
        hr = s2->GetProperties(sizeof sampleProps_, reinterpret_cast<BYTE*>(&sampleProps_));
        if (FAILED(hr)) return hr;
        if ((sampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && sampleProps_.pMediaType) {
            changed = *sampleProps_.pMediaType;
            typeChanged = true;
        }
    } else {
        ReadSampleProperties(sample, &sampleProps_);
        AM_MEDIA_TYPE* raw = nullptr;
        if (sample->GetMediaType(&raw) == S_OK && raw) {
            changed = *raw;
            DeleteMediaType(raw);
            typeChanged = true;
        }
    }

    if (typeChanged && CheckMediaType(&changed) != S_OK) {
        // Tell downstream the stream ends here, then refuse everything until stop or flush.
        EndOfStream();
        runTimeError_ = true;
        filter_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
        return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

HRESULT TBCBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
    if (!samples || !processed) return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

HRESULT TBCBaseInputPin::ReceiveCanBlock() {
    return S_OK;
}

HRESULT TBCBaseInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    flushing_ = true;
    return S_OK;
}

HRESULT TBCBaseInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    flushing_ = false;
    runTimeError_ = false;
    return S_OK;
}

HRESULT TBCBaseInputPin::Inactive() {
    runTimeError_ = false;
    flushing_ = false;
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Decommit();
}

HRESULT TBCBaseInputPin::BreakConnect() {
    if (allocator_) {
        allocator_->Decommit();
        allocator_ = nullptr;
    }
    readOnly_ = false;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Enumerators

TBCEnumPins::TBCEnumPins(TBCBaseFilter* filter, int position)
    : TBCUnknown("TBCEnumPins", nullptr), filterRef_(filter), filter_(filter), position_(position),
      version_(filter->GetPinVersion()) {}

HRESULT TBCEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IEnumPins::iid)
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    return TBCUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins) return E_POINTER;
    if (!fetched && count != 1) return E_INVALIDARG;
    if (version_ != filter_->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG n = 0;
    while (n < count && position_ < filter_->GetPinCount()) {
        TBCBasePin* pin = filter_->GetPin(position_++);
        if (!pin) continue;
        pins[n] = pin;
        pins[n]->AddRef();
        ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT TBCEnumPins::Skip(ULONG count) {
    if (version_ != filter_->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    const int left = filter_->GetPinCount() - position_;
    if (static_cast<long>(count) > left) {
        position_ = filter_->GetPinCount();
        return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
}

HRESULT TBCEnumPins::Reset() {
    version_ = filter_->GetPinVersion();
    position_ = 0;
    return S_OK;
}

HRESULT TBCEnumPins::Clone(IEnumPins** out) {
    if (!out) return E_POINTER;
    auto* e = new TBCEnumPins(filter_, position_);
    e->version_ = version_;
    return e->QueryInterface(IEnumPins::iid, reinterpret_cast<void**>(out));
}

TBCEnumMediaTypes::TBCEnumMediaTypes(TBCBasePin* pin, int position)
    : TBCUnknown("TBCEnumMediaTypes", nullptr), pinRef_(static_cast<IPin*>(pin)), pin_(pin),
      position_(position) {}

HRESULT TBCEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IEnumMediaTypes::iid)
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    return TBCUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types) return E_POINTER;
    if (!fetched && count != 1) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count) {
        CMediaType mt;
        // Without the filter lock: the caller is usually another filter connecting under its own
        // lock, and types change only on the application thread that is enumerating.
        HRESULT hr = pin_->GetMediaType(position_, &mt);
        if (hr != S_OK) break;
        ++position_;
        types[n] = CreateMediaType(&mt);
        if (!types[n]) break;
        ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT TBCEnumMediaTypes::Skip(ULONG count) {
    for (ULONG i = 0; i < count; ++i) {
        CMediaType mt;
        if (pin_->GetMediaType(position_, &mt) != S_OK) return S_FALSE;
        ++position_;
    }
    return S_OK;
}

HRESULT TBCEnumMediaTypes::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT TBCEnumMediaTypes::Clone(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    auto* e = new TBCEnumMediaTypes(pin_, position_);
    return e->QueryInterface(IEnumMediaTypes::iid, reinterpret_cast<void**>(out));
}

} // namespace talvence
