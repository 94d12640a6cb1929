#pragma once

// A crossbar filter (IAMCrossbar): physical inputs switched to outputs in front of an analogue
// capture filter. Its pins are its inputs, then its outputs; each pin says its connector type and
// related pin (the audio of a video connector; -1 when none). Pins carry MEDIATYPE_AnalogVideo
// (or AnalogAudio for audio connectors) and never stream: an input may be fed by another
// crossbar, an output feeds the capture filter's analogue input (TAnalogVideoInputPin). Which
// input can reach which output, and what routing does, are the device's: the V4L2 capture
// source routes by VIDIOC_S_INPUT; tests build chains of them as they like.
//
// Threads: the application thread; routing may happen while the graph runs.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/PropertyPages.h"

#include <functional>
#include <memory>
#include <vector>

namespace talvence {

inline constexpr CLSID CLSID_CrossbarFilter = MakeGuid("71F96467-78F3-11D0-A18C-00A0C9118956");

struct TCrossbarPin {
    long type = PhysConn_Video_Composite; // physical connector type
    long related = -1;
    std::string name;
};

struct TCrossbarConfig {
    std::vector<TCrossbarPin> inputs;
    std::vector<TCrossbarPin> outputs;
    // S_OK when the input can reach the output; null: video inputs reach video outputs.
    std::function<HRESULT(long output, long input)> canRoute;
    // Switches the device; null: only remembered.
    std::function<HRESULT(long output, long input)> route;
};

class TCrossbarFilter : public TBCBaseFilter, public IAMCrossbar, public ISpecifyPropertyPages {
public:
    TCrossbarFilter(std::string name, TCrossbarConfig config);
    ~TCrossbarFilter() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    IPin* InputPin(long index) { return GetPin(static_cast<int>(index)); }
    IPin* OutputPin(long index) { return GetPin(static_cast<int>(inputs_.size() + index)); }

    // IAMCrossbar.
    HRESULT get_PinCounts(long* outputs, long* inputs) override;
    HRESULT CanRoute(long output, long input) override;
    HRESULT Route(long output, long input) override;
    HRESULT get_IsRoutedTo(long output, long* input) override;
    HRESULT get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* type) override;
    // ISpecifyPropertyPages: the routing page.
    HRESULT GetPages(TPageList* pages) override;

private:
    TBCCritSec lock_; // the filter lock
    const TCrossbarConfig config_;
    std::vector<std::unique_ptr<TBCBasePin>> inputs_, outputs_;
    std::vector<long> routedTo_; // filter lock: the input routed to each output; -1 none
};

// A capture filter whose analogue video input is fed by its device's own crossbar filters: it
// adds them to its graph and connects them upstream of itself (what the platform's graph builder
// does by matching the pins' mediums). Application thread, the filter in a graph: S_OK when the
// input is fed, S_FALSE when the filter has no analogue input.
struct IAMUpstreamCrossbars : IUnknown {
    static constexpr GUID iid = MakeGuid("5E1C6A52-8B0F-4C3E-9A27-D84F1B6E3C90");
    virtual HRESULT AddUpstreamCrossbars() = 0;
};

// The analogue video input of a capture filter (category PIN_CATEGORY_ANALOGVIDEOIN): takes a
// crossbar's output and nothing else; no sample ever arrives.
class TAnalogVideoInputPin : public TBCBaseInputPin, public IKsPropertySet {
public:
    TAnalogVideoInputPin(TBCBaseFilter* filter, TBCCritSec* lock);

    FORWARD_IUNKNOWN(TBCBaseInputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
    HRESULT Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                void* propertyData, DWORD dataLength, DWORD* returned) override;
    HRESULT QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) override;
};

} // namespace talvence
