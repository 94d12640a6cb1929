#include "graph/FilterGraphComponents.h"

#include "platform/media/EventCodes.h"
#include "platform/media/PinWalk.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace talvence {

namespace {

std::vector<ComPtr<IBaseFilter>> FiltersOf(IFilterGraph* graph) {
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<IEnumFilters> e;
    if (FAILED(graph->EnumFilters(e.put())) || !e) return filters;
    for (;;) {
        IBaseFilter* f = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &f, &fetched) != S_OK || fetched != 1) break;
        filters.push_back(ComPtr<IBaseFilter>::Attach(f));
    }
    return filters;
}

void KeepFirstFailure(HRESULT& result, HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
}

} // namespace

long LinearVolumeToAttenuation(int volume) {
    const int v = std::clamp(volume, 0, 10000);
    const long attenuation = std::lround(std::log(double(v) + 1.0) * 1085.73) - 10000;
    return std::clamp(attenuation, -10000L, 0L);
}

// ---------------------------------------------------------------------------------------------
// Event hand-over

// Shared by the graph and the platform graph's notify callback, which may still run on a
// streaming thread after the graph went: the owner is cleared under the mutex first.
struct TFilterGraph::EventRelay {
    std::mutex mutex;
    TFilterGraph* owner = nullptr;    // mutex
    std::function<void()> wakeup;     // mutex
    std::unique_ptr<QObject> context; // mutex; lives in the graph's thread, receives the posts

    // Any thread.
    static void Notify(const std::shared_ptr<EventRelay>& relay) {
        std::lock_guard lock(relay->mutex);
        if (!relay->owner) return;
        if (relay->wakeup) {
            relay->wakeup();
            return;
        }
        if (!QCoreApplication::instance() || !relay->context) return;
        std::weak_ptr<EventRelay> weak = relay;
        QMetaObject::invokeMethod(
            relay->context.get(),
            [weak] {
                auto r = weak.lock();
                if (!r) return;
                TFilterGraph* owner = nullptr;
                {
                    std::lock_guard inner(r->mutex);
                    owner = r->owner;
                }
                if (owner) owner->HandleGraphEvents();
            },
            Qt::QueuedConnection);
    }
};

// ---------------------------------------------------------------------------------------------
// TFilterGraph

TFilterGraph::TFilterGraph(std::shared_ptr<const FilterRegistry> registry, bool autoCreate,
                           TGraphMode mode)
    : registry_(std::move(registry)), mode_(mode), relay_(std::make_shared<EventRelay>()) {
    relay_->owner = this;
    relay_->context = std::make_unique<QObject>();
    if (autoCreate) Activate();
}

TFilterGraph::~TFilterGraph() {
    // Slots that outlive the graph are taken out of it and hold no filter afterwards.
    for (TFilter* slot : std::vector<TFilter*>(slots_)) {
        Leave(slot);
        slot->graph_ = nullptr;
    }
    Deactivate();
    std::unique_ptr<QObject> context;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->owner = nullptr;
        relay_->wakeup = nullptr;
        context = std::move(relay_->context);
    }
}

void TFilterGraph::SetActive(bool active) {
    if (active == Active()) return;
    if (active)
        Activate();
    else
        Deactivate();
}

void TFilterGraph::Activate() {
    graph_ = ComPtr<CFilterGraph>(new CFilterGraph(registry_));
    if (mode_ == gmCapture) {
        captureBuilder_ = ComPtr<ICaptureGraphBuilder2>(new CCaptureGraphBuilder(registry_));
        captureBuilder_->SetFiltergraph(graph_.get());
    }
    std::weak_ptr<EventRelay> weak = relay_;
    graph_->SetNotifyCallback([weak] {
        if (auto relay = weak.lock()) EventRelay::Notify(relay);
    });
    for (TFilter* slot : slots_)
        slot->CreateIn(graph_.get());
}

void TFilterGraph::Deactivate() {
    if (!graph_) return;
    ComPtr<CFilterGraph> graph = std::move(graph_);
    captureBuilder_ = nullptr;
    graph->SetNotifyCallback(nullptr);
    graph->Stop();
    for (TFilter* slot : slots_)
        slot->ReleaseFrom(graph.get());
    // Whoever still holds the platform graph holds an empty one: every instance goes now.
    for (auto& f : FiltersOf(graph.get()))
        graph->RemoveFilter(f.get());
    // Events of a graph that is gone have no one to reach (the device objects are released).
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK)
        graph->FreeEventParams(code, p1, p2);
}

HRESULT TFilterGraph::QueryGraph(REFIID riid, void** ppv) const {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!graph_) return VFW_E_WRONG_STATE;
    return graph_->QueryInterface(riid, ppv);
}

ComPtr<IGraphBuilder> TFilterGraph::GraphBuilder() const {
    if (!graph_) throw EGraphError(VFW_E_WRONG_STATE, "The filter graph is not active");
    return Query<IGraphBuilder>();
}

ComPtr<ICaptureGraphBuilder2> TFilterGraph::CaptureGraphBuilder() const {
    if (!graph_) throw EGraphError(VFW_E_WRONG_STATE, "The filter graph is not active");
    if (!captureBuilder_)
        throw EGraphError(E_NOINTERFACE, "The filter graph is not a capture graph");
    return captureBuilder_;
}

bool TFilterGraph::RunGraph() {
    if (!graph_) return false;
    // Audio filters that joined since the volume was set (a rebuilt audio branch) get it too,
    // so a muted graph does not start sounding after a rebuild.
    graph_->put_Volume(LinearVolumeToAttenuation(volume_));
    return SUCCEEDED(graph_->Run());
}

bool TFilterGraph::HaltGraph() {
    if (!graph_) return false;
    return graph_->Stop() == S_OK;
}

bool TFilterGraph::UseReferenceClock(bool use) {
    if (!graph_) return false;
    return SUCCEEDED(use ? graph_->SetDefaultSyncSource() : graph_->SetSyncSource(nullptr));
}

TGraphState TFilterGraph::GraphState() const {
    if (!graph_) return gsUninitialized;
    OAFilterState state = State_Stopped;
    if (FAILED(graph_->GetState(0, &state))) return gsUninitialized;
    switch (state) {
    case State_Running:
        return gsRunning;
    case State_Paused:
        return gsPaused;
    default:
        return gsStopped;
    }
}

HRESULT TFilterGraph::DisconnectAllPins() {
    if (!graph_) return S_OK;
    HRESULT result = S_OK;
    for (auto& filter : FiltersOf(graph_.get())) {
        for (auto& pin : PinsOf(filter.get())) {
            ComPtr<IPin> peer = PeerOf(pin.get());
            if (!peer) continue;
            KeepFirstFailure(result, peer->Disconnect());
            KeepFirstFailure(result, pin->Disconnect());
        }
    }
    return result;
}

HRESULT TFilterGraph::EmptyGraph() {
    if (!graph_) return S_OK;
    HaltGraph();
    HRESULT result = DisconnectAllPins();
    for (auto& filter : FiltersOf(graph_.get())) {
        const bool ownedBySlot = std::any_of(slots_.begin(), slots_.end(), [&](TFilter* slot) {
            return slot->filter_ && IsEqualObject(slot->filter_.get(), filter.get());
        });
        if (!ownedBySlot) KeepFirstFailure(result, graph_->RemoveFilter(filter.get()));
    }
    return result;
}

void TFilterGraph::SetGraphVolume(int volume) {
    volume_ = std::clamp(volume, 0, 10000);
    // E_NOTIMPL when the graph holds no audio filter: the volume is kept for the next run.
    if (graph_) graph_->put_Volume(LinearVolumeToAttenuation(volume_));
}

void TFilterGraph::SetEventWakeup(std::function<void()> wakeup) {
    std::lock_guard lock(relay_->mutex);
    relay_->wakeup = std::move(wakeup);
}

void TFilterGraph::HandleGraphEvents() {
    const ComPtr<CFilterGraph> graph = graph_;
    while (graph && graph_ == graph) {
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (graph->GetEvent(&code, &p1, &p2, 0) != S_OK) break;
        struct FreeParams {
            CFilterGraph* graph;
            long code;
            LONG_PTR p1, p2;
            ~FreeParams() { graph->FreeEventParams(code, p1, p2); }
        } freeParams{graph.get(), code, p1, p2};
        if (code == EC_DEVICE_LOST && OnGraphDeviceLost)
            OnGraphDeviceLost(reinterpret_cast<IUnknown*>(p1), p2 == 1);
        else if ((code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT) &&
                 OnGraphComplete)
            OnGraphComplete(code, code == EC_COMPLETE ? S_OK : static_cast<HRESULT>(p1));
    }
}

void TFilterGraph::Join(TFilter* slot) {
    if (std::find(slots_.begin(), slots_.end(), slot) != slots_.end()) return;
    slots_.push_back(slot);
    if (graph_) slot->CreateIn(graph_.get());
}

void TFilterGraph::Leave(TFilter* slot) {
    auto it = std::find(slots_.begin(), slots_.end(), slot);
    if (it == slots_.end()) return;
    slots_.erase(it);
    if (graph_) slot->ReleaseFrom(graph_.get());
}

// ---------------------------------------------------------------------------------------------
// TFilter

TFilter::TFilter(std::string name) : name_(std::move(name)) {}

TFilter::~TFilter() {
    // A derived slot's hooks are gone by now: the base's empty ones run.
    SetFilterGraph(nullptr);
}

void TFilter::SetFilterGraph(TFilterGraph* graph) {
    if (graph == graph_) return;
    if (graph_) {
        TFilterGraph* old = graph_;
        graph_ = nullptr;
        old->Leave(this);
    }
    if (graph) {
        graph_ = graph;
        graph->Join(this);
    }
}

ComPtr<IBaseFilter> TFilter::Filter() const {
    if (!filter_)
        throw EGraphError(VFW_E_NOT_IN_GRAPH, "Filter \"" + name_ + "\" is not in the graph");
    return filter_;
}

HRESULT TFilter::QueryFilter(REFIID riid, void** ppv) const {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!filter_) return VFW_E_NOT_IN_GRAPH;
    return filter_->QueryInterface(riid, ppv);
}

void TFilter::CreateIn(CFilterGraph* graph) {
    filter_ = nullptr;
    if (!moniker_) {
        createResult_ = VFW_E_NOT_FOUND;
        return;
    }
    ComPtr<IBaseFilter> filter;
    HRESULT hr = moniker_->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid());
    if (SUCCEEDED(hr) && !filter) hr = REGDB_E_CLASSNOTREG;
    if (SUCCEEDED(hr)) hr = graph->AddFilter(filter.get(), name_);
    createResult_ = FAILED(hr) ? hr : S_OK;
    if (FAILED(hr)) return;
    filter_ = std::move(filter);
    FilterJoined(filter_.get());
}

void TFilter::ReleaseFrom(CFilterGraph* graph) {
    if (!filter_) return;
    ComPtr<IBaseFilter> filter = std::move(filter_);
    FilterLeaving(filter.get());
    FILTER_STATE state = State_Stopped;
    if (SUCCEEDED(filter->GetState(0, &state)) && state != State_Stopped) filter->Stop();
    graph->RemoveFilter(filter.get());
}

} // namespace talvence
