#pragma once
// Small helpers for tests that drive graphs: the graph's queued events, a run to the end of the
// stream, a sample of our own for calling Receive directly, an allocator probe, and finding pins
// and names.
//
// Threads: the test thread; the graph's event queue may be read while it runs.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MemAllocator.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvence::testing {

using Events = std::vector<std::pair<long, LONG_PTR>>;

// Every queued event code with its first parameter, taken from the queue.
inline Events TakeEvents(CFilterGraph* graph) {
    Events out;
    long code;
    LONG_PTR p1, p2;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.emplace_back(code, p1);
        graph->FreeEventParams(code, p1, p2);
    }
    return out;
}

inline long CountEvents(const Events& events, long code) {
    long n = 0;
    for (const auto& e : events)
        if (e.first == code) ++n;
    return n;
}

// Takes events until one with this code (bounded wait); its first parameter, or nothing.
inline std::optional<LONG_PTR> WaitForEvent(CFilterGraph* graph, long code,
                                            long timeoutMs = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        long got = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (graph->GetEvent(&got, &p1, &p2, 100) != S_OK) continue;
        graph->FreeEventParams(got, p1, p2);
        if (got == code) return p1;
    }
    return std::nullopt;
}

// Runs the graph until every given sink saw the end of the stream, then stops it; false when the
// time ran out.
inline bool RunToEnd(CFilterGraph* graph, const std::vector<TCountingSink*>& sinks,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    if (FAILED(graph->Run())) return false;
    bool ok = true;
    for (TCountingSink* s : sinks)
        ok = s->WaitForEndOfStream(1, timeout) && ok;
    graph->Stop();
    return ok;
}

// A sample of our own for calling Receive directly, holding `bytes` (else `length` bytes as the
// pool gives them); keep holds its pool.
inline ComPtr<IMediaSample> MakeSample(ComPtr<IMemAllocator>& keep, LONG length,
                                       const std::vector<BYTE>& bytes = {}) {
    if (!bytes.empty()) length = static_cast<LONG>(bytes.size());
    keep = new CMemAllocator;
    ALLOCATOR_PROPERTIES request{1, length, 1, 0}, actual;
    keep->SetProperties(&request, &actual);
    keep->Commit();
    ComPtr<IMediaSample> sample;
    keep->GetBuffer(sample.put(), nullptr, nullptr, 0);
    if (!bytes.empty()) {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, bytes.data(), bytes.size());
    }
    sample->SetActualDataLength(length);
    return sample;
}

// Takes a buffer without waiting: VFW_E_NOT_COMMITTED tells a decommitted pool.
inline HRESULT Probe(IMemAllocator* allocator) {
    ComPtr<IMediaSample> s;
    return allocator->GetBuffer(s.put(), nullptr, nullptr, AM_GBF_NOWAIT);
}

// Every pin of a filter, in its order.
inline std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.put());
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (e && e->Next(1, &pin, &fetched) == S_OK && fetched == 1)
        pins.push_back(ComPtr<IPin>::Attach(pin));
    return pins;
}

// The first pin of that direction (free ones only, when asked), or null.
inline ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION dir, bool freeOnly = false) {
    for (auto& pin : Pins(filter)) {
        PIN_DIRECTION d;
        ComPtr<IPin> peer;
        if (FAILED(pin->QueryDirection(&d)) || d != dir) continue;
        if (!freeOnly || FAILED(pin->ConnectedTo(peer.put()))) return pin;
    }
    return nullptr;
}
inline ComPtr<IPin> FreePin(IBaseFilter* filter, PIN_DIRECTION dir) {
    return FirstPin(filter, dir, true);
}

// Connects the first free output of `from` to the first free input of `to` directly, in
// `type` when given.
inline HRESULT ConnectFree(CFilterGraph* graph, IBaseFilter* from, IBaseFilter* to,
                           const CMediaType* type = nullptr) {
    const ComPtr<IPin> out = FreePin(from, PINDIR_OUTPUT);
    const ComPtr<IPin> in = FreePin(to, PINDIR_INPUT);
    if (!out || !in) return E_POINTER;
    return graph->ConnectDirect(out.get(), in.get(), type);
}

// Pin by its id.
inline ComPtr<IPin> PinOf(IBaseFilter* filter, const std::string& id) {
    ComPtr<IPin> pin;
    filter->FindPin(id, pin.put());
    return pin;
}

inline std::vector<std::string> PinNames(IBaseFilter* filter) {
    std::vector<std::string> names;
    for (auto& pin : Pins(filter)) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        if (info.pFilter) info.pFilter->Release();
        names.push_back(info.achName);
    }
    return names;
}

// The name the graph gave the filter a pin belongs to.
inline std::string FilterNameOf(IPin* pin) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info)) || !info.pFilter) return {};
    ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Attach(info.pFilter);
    FILTER_INFO fi;
    if (FAILED(filter->QueryFilterInfo(&fi))) return {};
    if (fi.pGraph) fi.pGraph->Release();
    return fi.achName;
}

} // namespace talvence::testing
