#include "platform/media/CaptureGraphBuilder.h"

#include "platform/media/GraphLog.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/PinWalk.h"

#include <algorithm>
#include <deque>
#include <set>

namespace talvence {

namespace {

bool HasCategory(IPin* pin, const GUID& category) {
    return CategoryOf(pin) == category;
}

// The pin's connection type, or one of the types it offers, has this major type.
bool HasMajorType(IPin* pin, const GUID& major) {
    const std::vector<GUID> majors = MajorTypesOf(pin);
    return std::find(majors.begin(), majors.end(), major) != majors.end();
}

bool IsLookDirection(const GUID* category) {
    return category && (*category == LOOK_UPSTREAM_ONLY || *category == LOOK_DOWNSTREAM_ONLY);
}

// The filters connected to this one in one direction.
std::vector<ComPtr<IBaseFilter>> Neighbours(IBaseFilter* filter, PIN_DIRECTION through) {
    std::vector<ComPtr<IBaseFilter>> out;
    ForEachPin(filter, [&](IPin* pin) {
        ComPtr<IPin> peer = HasDirection(pin, through) ? PeerOf(pin) : nullptr;
        if (auto owner = peer ? OwnerOf(peer.get()) : nullptr) out.push_back(owner);
    });
    return out;
}

// On the filter itself, then on any of its pins.
HRESULT AskFilterAndPins(IBaseFilter* filter, REFIID riid, void** ppv) {
    if (SUCCEEDED(filter->QueryInterface(riid, ppv))) return S_OK;
    const bool found =
        ForEachPin(filter, [&](IPin* pin) { return SUCCEEDED(pin->QueryInterface(riid, ppv)); });
    return found ? S_OK : E_NOINTERFACE;
}

HRESULT SearchFrom(IBaseFilter* start, PIN_DIRECTION through, REFIID riid, void** ppv) {
    std::set<IBaseFilter*> seen{start};
    std::deque<ComPtr<IBaseFilter>> queue;
    for (auto& n : Neighbours(start, through))
        queue.push_back(n);
    while (!queue.empty()) {
        ComPtr<IBaseFilter> f = queue.front();
        queue.pop_front();
        if (!seen.insert(f.get()).second) continue;
        if (SUCCEEDED(AskFilterAndPins(f.get(), riid, ppv))) return S_OK;
        for (auto& n : Neighbours(f.get(), through))
            queue.push_back(n);
    }
    return E_NOINTERFACE;
}

} // namespace

CCaptureGraphBuilder::CCaptureGraphBuilder(std::shared_ptr<const FilterRegistry> registry)
    : registry_(std::move(registry)) {}

HRESULT CCaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph) {
    if (!graph) return E_POINTER;
    if (graph_) return E_UNEXPECTED; // bound once, as on the platform
    graph_ = graph;
    return S_OK;
}

HRESULT CCaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph) {
    if (!graph) return E_POINTER;
    if (!graph_) {
        *graph = nullptr;
        return E_UNEXPECTED;
    }
    return ReturnInterface(graph_.get(), graph);
}

ComPtr<IBaseFilter> CCaptureGraphBuilder::CreateRegistered(const CLSID& clsid,
                                                           std::string* name) const {
    if (!registry_) return nullptr;
    for (const RegisteredFilter& f : registry_->Entries(CLSID_LegacyAmFilterCategory))
        if (f.clsid == clsid && f.create) {
            *name = f.friendlyName;
            return f.create();
        }
    return nullptr;
}

HRESULT CCaptureGraphBuilder::SetOutputFileName(const GUID* type, const std::string& file,
                                                IBaseFilter** mux, IFileSinkFilter** sink) {
    if (!type) return E_POINTER;
    if (mux) *mux = nullptr;
    if (sink) *sink = nullptr;
    if (!graph_) return E_UNEXPECTED;
    if (file.empty()) return E_INVALIDARG;

    ComPtr<IBaseFilter> first, writer;
    std::string firstName, writerName;
    if (*type == MEDIASUBTYPE_Avi) {
        first = CreateRegistered(CLSID_AviDest, &firstName);
        writer = CreateRegistered(CLSID_FileWriter, &writerName);
    } else if (*type == MEDIASUBTYPE_Asf) {
        first = writer = CreateRegistered(CLSID_WMAsfWriter, &firstName);
    } else {
        return E_INVALIDARG;
    }
    if (!first || !writer) {
        TLOG(Graph) << "SetOutputFileName: no registered writer for " << GuidText(*type) << ": "
                    << HResultText(REGDB_E_CLASSNOTREG);
        return REGDB_E_CLASSNOTREG;
    }

    ComPtr<IFileSinkFilter> fileSink = writer.As<IFileSinkFilter>();
    if (!fileSink) {
        TLOG(Graph) << "SetOutputFileName: " << writerName << " is no file sink";
        return E_NOINTERFACE;
    }
    HRESULT hr = graph_->AddFilter(first.get(), firstName);
    if (FAILED(hr)) {
        TLOG(Graph) << "SetOutputFileName: adding " << firstName << " failed: " << HResultText(hr);
        return hr;
    }
    if (writer != first) {
        hr = graph_->AddFilter(writer.get(), writerName);
        ComPtr<IPin> muxOut, writerIn;
        if (SUCCEEDED(hr))
            hr = FindPin(first.get(), PINDIR_OUTPUT, nullptr, nullptr, 1, 0, muxOut.put());
        if (SUCCEEDED(hr))
            hr = FindPin(writer.get(), PINDIR_INPUT, nullptr, nullptr, 1, 0, writerIn.put());
        if (SUCCEEDED(hr)) hr = graph_->ConnectDirect(muxOut.get(), writerIn.get(), nullptr);
        if (FAILED(hr)) {
            TLOG(Graph) << "SetOutputFileName: " << firstName << " and " << writerName
                        << " not joined: " << HResultText(hr);
            graph_->RemoveFilter(writer.get());
            graph_->RemoveFilter(first.get());
            return hr;
        }
    }
    hr = fileSink->SetFileName(file, nullptr);
    if (FAILED(hr)) {
        TLOG(Graph) << "SetOutputFileName: " << writerName << " refused " << file << ": "
                    << HResultText(hr);
        if (writer != first) graph_->RemoveFilter(writer.get());
        graph_->RemoveFilter(first.get());
        return hr;
    }
    if (mux) *mux = first.Detach();
    if (sink) *sink = fileSink.Detach();
    return S_OK;
}

HRESULT CCaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category,
                                      const GUID* type, BOOL unconnected, int num, IPin** out) {
    if (!source || !out) return E_POINTER;
    *out = nullptr;
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IPin> asPin;
    ComPtr<IBaseFilter> asFilter;
    if (SUCCEEDED(source->QueryInterface(IPin::iid, asPin.putVoid())) && asPin)
        pins.push_back(asPin);
    else if (SUCCEEDED(source->QueryInterface(IBaseFilter::iid, asFilter.putVoid())) && asFilter)
        pins = PinsOf(asFilter.get());
    else {
        TLOG(Graph) << "FindPin: the source is neither a pin nor a filter";
        return E_NOINTERFACE;
    }

    int index = 0;
    for (auto& pin : pins) {
        if (!HasDirection(pin.get(), dir)) continue;
        if (category && !IsLookDirection(category) && !HasCategory(pin.get(), *category)) continue;
        if (type && !(*type == GUID_NULL) && !HasMajorType(pin.get(), *type)) continue;
        if (unconnected && IsConnected(pin.get())) continue;
        if (index++ == num) return ReturnInterface(pin.get(), out);
    }
    TLOG(Graph) << "FindPin: " << ObjectText(source) << " has no "
                << (unconnected ? "unconnected " : "")
                << (dir == PINDIR_OUTPUT ? "output" : "input") << " pin number " << num
                << (category ? " of category " + GuidText(*category) : std::string())
                << (type ? " of type " + GuidText(*type) : std::string()) << ": "
                << HResultText(E_FAIL);
    return E_FAIL;
}

HRESULT CCaptureGraphBuilder::FindInterface(const GUID* category, const GUID* type,
                                            IBaseFilter* filter, REFIID riid, void** ppv) {
    if (!filter || !ppv) return E_POINTER;
    *ppv = nullptr;
    if (category && !IsLookDirection(category)) {
        // A pin category: the matching output pin, then what lies downstream of it.
        ComPtr<IPin> pin;
        if (FAILED(FindPin(filter, PINDIR_OUTPUT, category, type, 0, 0, pin.put())))
            return E_NOINTERFACE;
        if (SUCCEEDED(pin->QueryInterface(riid, ppv))) return S_OK;
        if (SUCCEEDED(filter->QueryInterface(riid, ppv))) return S_OK;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.put()))) return E_NOINTERFACE;
        ComPtr<IBaseFilter> next = OwnerOf(peer.get());
        if (!next) return E_NOINTERFACE;
        if (SUCCEEDED(AskFilterAndPins(next.get(), riid, ppv))) return S_OK;
        return SearchFrom(next.get(), PINDIR_OUTPUT, riid, ppv);
    }
    if (SUCCEEDED(AskFilterAndPins(filter, riid, ppv))) return S_OK;
    const bool up = !category || *category == LOOK_UPSTREAM_ONLY;
    const bool down = !category || *category == LOOK_DOWNSTREAM_ONLY;
    if (down && SUCCEEDED(SearchFrom(filter, PINDIR_OUTPUT, riid, ppv))) return S_OK;
    if (up && SUCCEEDED(SearchFrom(filter, PINDIR_INPUT, riid, ppv))) return S_OK;
    return E_NOINTERFACE;
}

namespace {
// RenderStream's failures name the stream asked for; the graph has logged the connection itself.
HRESULT RenderStreamFailed(const GUID* category, const GUID* type, IUnknown* source, HRESULT hr) {
    TLOG(Graph) << "RenderStream: " << (category ? GuidText(*category) : std::string("any pin"))
                << ", " << (type ? GuidText(*type) : std::string("any type")) << " from "
                << ObjectText(source) << " failed: " << HResultText(hr);
    return hr;
}
} // namespace

HRESULT CCaptureGraphBuilder::RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                           IBaseFilter* intermediate, IBaseFilter* sink) {
    if (!source) return RenderStreamFailed(category, type, source, E_POINTER);
    if (!graph_) return RenderStreamFailed(category, type, source, E_UNEXPECTED);
    ComPtr<IPin> out;
    HRESULT hr = FindPin(source, PINDIR_OUTPUT, category, type, 1, 0, out.put());
    if (FAILED(hr)) return RenderStreamFailed(category, type, source, hr);
    if (intermediate) {
        ComPtr<IPin> in;
        hr = FindPin(intermediate, PINDIR_INPUT, nullptr, nullptr, 1, 0, in.put());
        if (FAILED(hr)) return RenderStreamFailed(category, type, source, hr);
        hr = graph_->Connect(out.get(), in.get());
        if (FAILED(hr)) return RenderStreamFailed(category, type, source, hr);
        hr = FindPin(intermediate, PINDIR_OUTPUT, nullptr, nullptr, 1, 0, out.put());
        // An intermediate without outputs (a renderer or writer) ends the stream.
        if (FAILED(hr)) return sink ? RenderStreamFailed(category, type, source, hr) : S_OK;
    }
    if (!sink) {
        hr = graph_->Render(out.get());
        return FAILED(hr) ? RenderStreamFailed(category, type, source, hr) : hr;
    }
    ComPtr<IPin> in;
    hr = FindPin(sink, PINDIR_INPUT, nullptr, nullptr, 1, 0, in.put());
    if (FAILED(hr)) return RenderStreamFailed(category, type, source, hr);
    hr = graph_->Connect(out.get(), in.get());
    return FAILED(hr) ? RenderStreamFailed(category, type, source, hr) : hr;
}

} // namespace talvence
