#include "platform/devices/v4l2/CrossbarFilter.h"

#include "platform/devices/v4l2/V4l2Pages.h"
#include "platform/media/MediaGuids.h"

#include <cstring>

namespace talvence {

namespace {

constexpr GUID kAnalogAudio = MakeGuid("0482DEE1-7817-11CF-8A03-00AA006ECB65"); // MEDIATYPE_

bool IsAudio(long type) {
    return static_cast<unsigned long>(type) >= 4096;
}

const GUID& MajorOf(long type) {
    return IsAudio(type) ? kAnalogAudio : MEDIATYPE_AnalogVideo;
}

class TCrossbarInput : public TBCBaseInputPin {
public:
    TCrossbarInput(TBCBaseFilter* filter, TBCCritSec* lock, const TCrossbarPin& pin)
        : TBCBaseInputPin("Crossbar input", filter, lock, pin.name), major_(MajorOf(pin.type)) {}
    HRESULT CheckMediaType(const CMediaType* mt) override {
        return mt->majortype == major_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

private:
    const GUID major_;
};

class TCrossbarOutput : public TBCBaseOutputPin {
public:
    TCrossbarOutput(TBCBaseFilter* filter, TBCCritSec* lock, const TCrossbarPin& pin)
        : TBCBaseOutputPin("Crossbar output", filter, lock, pin.name), major_(MajorOf(pin.type)) {}
    HRESULT CheckMediaType(const CMediaType* mt) override {
        return mt->majortype == major_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = CMediaType(major_);
        return S_OK;
    }
    // Nothing streams through an analogue connection; the framework still agrees an allocator.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        return RequestBuffers(allocator, request, 1, 1);
    }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }

private:
    const GUID major_;
};

} // namespace

TCrossbarFilter::TCrossbarFilter(std::string name, TCrossbarConfig config)
    : TBCBaseFilter(std::move(name), nullptr, &lock_, CLSID_CrossbarFilter),
      config_(std::move(config)), routedTo_(config_.outputs.size(), -1) {
    for (const TCrossbarPin& pin : config_.inputs)
        inputs_.push_back(std::make_unique<TCrossbarInput>(this, &lock_, pin));
    for (const TCrossbarPin& pin : config_.outputs)
        outputs_.push_back(std::make_unique<TCrossbarOutput>(this, &lock_, pin));
}

TCrossbarFilter::~TCrossbarFilter() = default;

HRESULT TCrossbarFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMCrossbar::iid) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
    if (riid == ISpecifyPropertyPages::iid)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TCrossbarFilter::GetPages(TPageList* pages) {
    if (!pages) return E_POINTER;
    std::vector<std::string> inputs, outputs;
    for (const TCrossbarPin& pin : config_.inputs)
        inputs.push_back(pin.name);
    for (const TCrossbarPin& pin : config_.outputs)
        outputs.push_back(pin.name);
    *pages = {std::make_shared<TCrossbarPage>(ComPtr<IAMCrossbar>(this), std::move(inputs),
                                              std::move(outputs))};
    return S_OK;
}

int TCrossbarFilter::GetPinCount() {
    return static_cast<int>(inputs_.size() + outputs_.size());
}

TBCBasePin* TCrossbarFilter::GetPin(int index) {
    if (index < 0) return nullptr;
    const auto i = static_cast<std::size_t>(index);
    if (i < inputs_.size()) return inputs_[i].get();
    if (i - inputs_.size() < outputs_.size()) return outputs_[i - inputs_.size()].get();
    return nullptr;
}

HRESULT TCrossbarFilter::get_PinCounts(long* outputs, long* inputs) {
    if (!outputs || !inputs) return E_POINTER;
    *outputs = static_cast<long>(outputs_.size());
    *inputs = static_cast<long>(inputs_.size());
    return S_OK;
}

HRESULT TCrossbarFilter::CanRoute(long output, long input) {
    if (output < 0 || input < 0 || output >= long(outputs_.size()) || input >= long(inputs_.size()))
        return E_INVALIDARG;
    if (config_.canRoute) return config_.canRoute(output, input);
    return IsAudio(config_.inputs[std::size_t(input)].type) ==
                   IsAudio(config_.outputs[std::size_t(output)].type)
               ? S_OK
               : S_FALSE;
}

HRESULT TCrossbarFilter::Route(long output, long input) {
    if (CanRoute(output, input) != S_OK) return E_INVALIDARG;
    const HRESULT hr = config_.route ? config_.route(output, input) : S_OK;
    if (hr == S_OK) {
        TBCAutoLock lock(lock_);
        routedTo_[std::size_t(output)] = input;
    }
    return hr;
}

HRESULT TCrossbarFilter::get_IsRoutedTo(long output, long* input) {
    if (!input) return E_POINTER;
    if (output < 0 || output >= long(outputs_.size())) return E_INVALIDARG;
    TBCAutoLock lock(lock_);
    *input = routedTo_[std::size_t(output)];
    return S_OK;
}

HRESULT TCrossbarFilter::get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* type) {
    if (!related || !type) return E_POINTER;
    const auto& pins = isInput ? config_.inputs : config_.outputs;
    if (index < 0 || index >= long(pins.size())) return E_INVALIDARG;
    *related = pins[std::size_t(index)].related;
    *type = pins[std::size_t(index)].type;
    return S_OK;
}

TAnalogVideoInputPin::TAnalogVideoInputPin(TBCBaseFilter* filter, TBCCritSec* lock)
    : TBCBaseInputPin("Analogue video input", filter, lock, "Analog Video In") {}

HRESULT TAnalogVideoInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IKsPropertySet::iid) return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    return TBCBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TAnalogVideoInputPin::CheckMediaType(const CMediaType* mt) {
    return mt->majortype == MEDIATYPE_AnalogVideo ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAnalogVideoInputPin::Get(REFGUID propSet, DWORD id, void*, DWORD, void* propertyData,
                                  DWORD dataLength, DWORD* returned) {
    if (!(propSet == AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (returned) *returned = sizeof(GUID);
    if (!propertyData || dataLength < sizeof(GUID)) return returned ? S_OK : E_POINTER;
    std::memcpy(propertyData, &PIN_CATEGORY_ANALOGVIDEOIN, sizeof(GUID));
    return S_OK;
}

HRESULT TAnalogVideoInputPin::QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) {
    if (!(propSet == AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (typeSupport) *typeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

} // namespace talvence
