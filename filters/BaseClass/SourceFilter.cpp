#include "filters/BaseClass/SourceFilter.h"

#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"

#include <pthread.h>

#include <cstring>

namespace talvence {

TBCSource::TBCSource(std::string name, IUnknown* outer, const CLSID& clsid)
    : TBCBaseFilter(std::move(name), outer, &stateLock_, clsid) {}

TBCSource::~TBCSource() {
    // The pins are still whole here (members go after this body): end their threads before a
    // derived pin's FillBuffer could run on a half-destroyed object.
    for (auto& pin : pins_)
        if (pin->ThreadExists()) pin->Inactive();
}

int TBCSource::GetPinCount() {
    TBCAutoLock lock(stateLock_);
    return static_cast<int>(pins_.size());
}

TBCBasePin* TBCSource::GetPin(int index) {
    TBCAutoLock lock(stateLock_);
    if (index < 0 || index >= static_cast<int>(pins_.size())) return nullptr;
    return pins_[index].get();
}

TBCSourceStream* TBCSource::AddPin(std::unique_ptr<TBCSourceStream> pin) {
    TBCAutoLock lock(stateLock_);
    pins_.push_back(std::move(pin));
    IncrementPinVersion();
    return pins_.back().get();
}

TBCSourceStream::TBCSourceStream(std::string objectName, TBCSource* filter, std::string pinName)
    : TBCBaseOutputPin(std::move(objectName), filter, filter->FilterLock(), std::move(pinName)),
      source_(filter) {}

TBCSourceStream::~TBCSourceStream() {
    // A filter destroyed while running: the thread must not outlive the pin.
    stopRequested_ = true;
    if (allocator_) allocator_->Decommit();
    Join();
}

HRESULT TBCSourceStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IKsPropertySet::iid && !(category_ == GUID_NULL))
        return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    return TBCBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TBCSourceStream::Set(REFGUID propSet, DWORD, void*, DWORD, void*, DWORD) {
    if (!(propSet == AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    return E_PROP_ID_UNSUPPORTED;
}

HRESULT TBCSourceStream::Get(REFGUID propSet, DWORD id, void*, DWORD, void* propertyData,
                             DWORD dataLength, DWORD* returned) {
    if (!(propSet == AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!propertyData && !returned) return E_POINTER;
    if (returned) *returned = sizeof(GUID);
    if (!propertyData) return S_OK;
    if (dataLength < sizeof(GUID)) return E_UNEXPECTED;
    std::memcpy(propertyData, &category_, sizeof(GUID));
    return S_OK;
}

HRESULT TBCSourceStream::QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) {
    if (!(propSet == AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (typeSupport) *typeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

HRESULT TBCSourceStream::Active() {
    HRESULT hr = TBCBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    Join(); // a thread that ended by itself (end of stream) is collected here
    stopRequested_ = false;
    try {
        thread_ = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error&) {
        TBCBaseOutputPin::Inactive();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TBCSourceStream::Inactive() {
    stopRequested_ = true;
    HRESULT hr = TBCBaseOutputPin::Inactive(); // wakes a thread waiting in GetBuffer
    Join();
    return hr;
}

void TBCSourceStream::Join() {
    if (!thread_.joinable()) return;
    // The last reference may go on the streaming thread itself; it cannot wait for itself.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void TBCSourceStream::ThreadProc() {
    pthread_setname_np(pthread_self(), "stream");
    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        DeliverEndOfStream();
        source_->NotifyEvent(EC_ERRORABORT, hr, 0);
        return;
    }
    OnThreadStartPlay();
    while (!stopRequested_) {
        ComPtr<IMediaSample> sample;
        hr = GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0);
        if (FAILED(hr)) break; // decommitted: the filter is stopping
        hr = FillBuffer(sample.get());
        if (hr == S_OK) {
            hr = Deliver(sample.get());
            // Downstream refused (stopped, flushing or failed): wait for the next start.
            if (hr != S_OK) break;
        } else if (hr == S_FALSE) {
            sample.reset();
            DeliverEndOfStream();
            break;
        } else if (hr == TBC_E_DEVICE_LOST) {
            break;
        } else {
            sample.reset();
            DeliverEndOfStream();
            source_->NotifyEvent(EC_ERRORABORT, hr, 0);
            break;
        }
    }
    OnThreadDestroy();
}

} // namespace talvence
