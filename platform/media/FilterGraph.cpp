#include "platform/media/FilterGraph.h"

#include "platform/log/LibavLog.h"
#include "platform/media/EventCodes.h"
#include "platform/media/GraphLog.h"
#include "platform/media/PinWalk.h"
#include "platform/media/ReferenceClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

namespace talvence {

namespace {

class CEnumFilters : public TRefCounted<IEnumFilters> {
public:
    CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters, std::size_t position = 0)
        : filters_(std::move(filters)), position_(position) {}

    HRESULT Next(ULONG count, IBaseFilter** out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && position_ < filters_.size()) {
            out[n] = filters_[position_++].get();
            out[n]->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        position_ = std::min(filters_.size(), position_ + count);
        return position_ < filters_.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumFilters** out) override {
        if (!out) return E_POINTER;
        *out = new CEnumFilters(filters_, position_);
        (*out)->AddRef();
        return S_OK;
    }

private:
    std::vector<ComPtr<IBaseFilter>> filters_;
    std::size_t position_;
};

} // namespace

CFilterGraph::CFilterGraph(std::shared_ptr<const FilterRegistry> registry)
    : registry_(std::move(registry)) {
    // Graphs open codecs: libav's own messages go through the logger from the first graph on.
    log::InitLibavLogging();
}

CFilterGraph::~CFilterGraph() {
    StopAll();
    for (auto& entry : filters_) {
        for (auto& pin : PinsOf(entry.filter.get())) {
            if (ComPtr<IPin> peer = PeerOf(pin.get())) peer->Disconnect();
            pin->Disconnect();
        }
        entry.filter->SetSyncSource(nullptr);
        entry.filter->JoinFilterGraph(nullptr, {});
    }
    filters_.clear();
    for (const Event& e : events_)
        FreeEventParams(e.code, e.param1, e.param2);
}

HRESULT CFilterGraph::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IFilterGraph::iid || riid == IGraphBuilder::iid ||
        riid == IFilterGraph2::iid)
        *ppv = static_cast<IFilterGraph2*>(this);
    else if (riid == IMediaControl::iid)
        *ppv = static_cast<IMediaControl*>(this);
    else if (riid == IMediaEvent::iid || riid == IMediaEventEx::iid)
        *ppv = static_cast<IMediaEventEx*>(this);
    else if (riid == IMediaEventSink::iid)
        *ppv = static_cast<IMediaEventSink*>(this);
    else if (riid == IBasicAudio::iid)
        *ppv = static_cast<IBasicAudio*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CFilterGraph::AddRef() {
    return ++refs_;
}

ULONG CFilterGraph::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Filters

bool CFilterGraph::NameInUse(const std::string& name) const {
    return std::any_of(filters_.begin(), filters_.end(),
                       [&](const Entry& e) { return e.name == name; });
}

int CFilterGraph::IndexOf(IBaseFilter* filter) const {
    for (std::size_t i = 0; i < filters_.size(); ++i)
        if (filters_[i].filter.get() == filter || IsEqualObject(filters_[i].filter.get(), filter))
            return static_cast<int>(i);
    return -1;
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const std::string& requested) {
    if (!filter) return E_POINTER;
    std::lock_guard lock(graphLock_);
    if (IndexOf(filter) >= 0) return E_INVALIDARG; // a filter is in a graph once
    const std::string base = requested.empty() ? std::string("Filter") : requested;
    std::string name = base;
    HRESULT result = S_OK;
    if (NameInUse(name)) {
        bool found = false;
        for (int i = 1; !found && i <= 9999; ++i) {
            char suffix[8];
            std::snprintf(suffix, sizeof suffix, " %04d", i);
            name = base + suffix;
            found = !NameInUse(name);
        }
        if (!found) return VFW_E_DUPLICATE_NAME;
        // An unnamed filter was given a name anyway: only a refused request is reported.
        if (!requested.empty()) result = VFW_S_DUPLICATE_NAME;
    }
    HRESULT hr = filter->JoinFilterGraph(this, name);
    if (FAILED(hr)) return hr;
    if (clock_) filter->SetSyncSource(clock_.get());
    filters_.push_back({ComPtr<IBaseFilter>(filter), name});
    return result;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
    if (!filter) return E_POINTER;
    std::lock_guard lock(graphLock_);
    const int index = IndexOf(filter);
    if (index < 0) return VFW_E_NOT_FOUND;
    ComPtr<IBaseFilter> f = filters_[index].filter;
    FILTER_STATE fs = State_Stopped;
    if (SUCCEEDED(f->GetState(0, &fs)) && fs != State_Stopped) f->Stop();
    for (auto& pin : PinsOf(f.get())) {
        if (ComPtr<IPin> peer = PeerOf(pin.get())) {
            // The peer may belong to a running filter: it refuses until the graph stops.
            HRESULT hr = peer->Disconnect();
            if (FAILED(hr)) return hr;
            pin->Disconnect();
        }
    }
    f->SetSyncSource(nullptr);
    f->JoinFilterGraph(nullptr, {});
    filters_.erase(filters_.begin() + index);
    if (clock_ && !clockChosen_) {
        // The default clock may have come from the filter that just left.
        ComPtr<IReferenceClock> own;
        if (SUCCEEDED(f->QueryInterface(IReferenceClock::iid, own.putVoid())) && own == clock_)
            clock_ = nullptr;
    }
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** out) {
    if (!out) return E_POINTER;
    std::lock_guard lock(graphLock_);
    std::vector<ComPtr<IBaseFilter>> list;
    for (auto& e : filters_)
        list.push_back(e.filter);
    *out = new CEnumFilters(std::move(list));
    (*out)->AddRef();
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const std::string& name, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    std::lock_guard lock(graphLock_);
    for (auto& e : filters_)
        if (e.name == name) return ReturnInterface(e.filter.get(), filter);
    return VFW_E_NOT_FOUND;
}

bool CFilterGraph::PinInGraph(IPin* pin) const {
    ComPtr<IBaseFilter> owner = OwnerOf(pin);
    return owner && IndexOf(owner.get()) >= 0;
}

// ---------------------------------------------------------------------------------------------
// Connections

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) {
    constexpr std::string_view op = "ConnectDirect";
    if (!out || !in) return LogRefused(op, out, in, E_POINTER, pmt);
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return LogRefused(op, out, in, VFW_E_NOT_STOPPED, pmt);
    if (!PinInGraph(out) || !PinInGraph(in))
        return LogRefused(op, out, in, VFW_E_NOT_IN_GRAPH, pmt);
    PIN_DIRECTION dOut, dIn;
    if (FAILED(out->QueryDirection(&dOut)) || FAILED(in->QueryDirection(&dIn)))
        return LogRefused(op, out, in, E_FAIL, pmt);
    if (dOut != PINDIR_OUTPUT || dIn != PINDIR_INPUT)
        return LogRefused(op, out, in, VFW_E_INVALID_DIRECTION, pmt);
    return LogConnection(op, out, in, out->Connect(in, pmt), pmt);
}

HRESULT CFilterGraph::Reconnect(IPin* pin) {
    return ReconnectEx(pin, nullptr);
}

HRESULT CFilterGraph::ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* pmt) {
    if (!pin) return E_POINTER;
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.put())) || !peer) return VFW_E_NOT_CONNECTED;
    PIN_DIRECTION dir;
    if (FAILED(pin->QueryDirection(&dir))) return E_FAIL;
    ComPtr<IPin> out = dir == PINDIR_OUTPUT ? ComPtr<IPin>(pin) : peer;
    ComPtr<IPin> in = dir == PINDIR_OUTPUT ? peer : ComPtr<IPin>(pin);

    CMediaType previous;
    AM_MEDIA_TYPE current;
    if (SUCCEEDED(out->ConnectionMediaType(&current))) {
        previous = current;
        FreeMediaType(current);
    }
    // A copy: pmt may point into a pin that the disconnection below clears.
    CMediaType wanted;
    if (pmt) wanted = *pmt;

    out->Disconnect();
    in->Disconnect();
    HRESULT hr = out->Connect(in.get(), pmt ? &wanted : nullptr);
    LogRefused("Reconnect", out.get(), in.get(), hr, pmt ? &wanted : nullptr);
    if (FAILED(hr) && previous.IsValid()) out->Connect(in.get(), &previous);
    return hr;
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    return pin->Disconnect();
}

// ---------------------------------------------------------------------------------------------
// Intelligent connection

namespace {
constexpr int kMaxInserted = 3;
} // namespace

CFilterGraph::Mark CFilterGraph::MarkNow() const {
    return {filters_.size(), made_.size()};
}

bool CFilterGraph::ConnectToFreeInput(IPin* out, IBaseFilter* filter) {
    for (auto& pin : FreePinsOf(filter, PINDIR_INPUT))
        if (SUCCEEDED(LogRefused("Intelligent connection, into a candidate", out, pin.get(),
                                 out->Connect(pin.get(), nullptr)))) {
            made_.emplace_back(out);
            return true;
        }
    return false;
}

std::vector<RegisteredFilter> CFilterGraph::Candidates(IPin* out) const {
    std::vector<RegisteredFilter> result;
    if (!registry_) return result;
    std::vector<std::pair<GUID, GUID>> types;
    ComPtr<IEnumMediaTypes> e;
    if (SUCCEEDED(out->EnumMediaTypes(e.put())) && e) {
        for (;;) {
            AM_MEDIA_TYPE* mt = nullptr;
            ULONG fetched = 0;
            if (e->Next(1, &mt, &fetched) != S_OK || fetched != 1) break;
            types.emplace_back(mt->majortype, mt->subtype);
            DeleteMediaType(mt);
        }
    }
    // A pin that cannot say what it produces yet: every filter is a candidate.
    if (types.empty()) types.emplace_back(GUID_NULL, GUID_NULL);
    for (auto& [major, sub] : types)
        for (RegisteredFilter& f : registry_->FindForInput(major, sub)) {
            bool seen = std::any_of(result.begin(), result.end(), [&](const RegisteredFilter& r) {
                return r.clsid == f.clsid && r.friendlyName == f.friendlyName;
            });
            if (!seen) result.push_back(std::move(f));
        }
    std::stable_sort(
        result.begin(), result.end(),
        [](const RegisteredFilter& a, const RegisteredFilter& b) { return a.merit > b.merit; });
    return result;
}

std::vector<bool> CFilterGraph::Reached(IPin* pin, PIN_DIRECTION through) const {
    std::vector<bool> reached(filters_.size(), false);
    std::vector<ComPtr<IBaseFilter>> pending{OwnerOf(pin)};
    std::vector<IBaseFilter*> seen;
    while (!pending.empty()) {
        ComPtr<IBaseFilter> filter = std::move(pending.back());
        pending.pop_back();
        if (!filter || std::find(seen.begin(), seen.end(), filter.get()) != seen.end()) continue;
        seen.push_back(filter.get());
        if (const int i = IndexOf(filter.get()); i >= 0) reached[i] = true;
        ForEachPin(filter.get(), [&](IPin* p) {
            ComPtr<IPin> peer = HasDirection(p, through) ? PeerOf(p) : nullptr;
            if (peer) pending.push_back(OwnerOf(peer.get()));
        });
    }
    return reached;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::FiltersToTry(IPin* out, IPin* in) const {
    // Upstream of out (its own filter included) a filter would close a loop; so would one
    // downstream of in.
    std::vector<bool> excluded = Reached(out, PINDIR_INPUT);
    if (in) {
        const std::vector<bool> downstream = Reached(in, PINDIR_OUTPUT);
        for (std::size_t i = 0; i < excluded.size(); ++i)
            excluded[i] = excluded[i] || downstream[i];
    }
    std::vector<ComPtr<IBaseFilter>> result;
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        IBaseFilter* filter = filters_[i].filter.get();
        if (excluded[i] || FreePinsOf(filter, PINDIR_INPUT).empty()) continue;
        // Towards an input, a filter without a free output leads nowhere.
        if (in && FreePinsOf(filter, PINDIR_OUTPUT).empty()) continue;
        result.push_back(filters_[i].filter);
    }
    return result;
}

ComPtr<IBaseFilter> CFilterGraph::AddRegistered(const RegisteredFilter& entry) {
    ComPtr<IBaseFilter> filter = entry.create ? entry.create() : nullptr;
    if (filter && SUCCEEDED(AddFilter(filter.get(), entry.friendlyName))) return filter;
    TLOG(Graph) << "Intelligent connection: " << entry.friendlyName
                << " could not be made or added";
    return nullptr;
}

void CFilterGraph::RollBackTo(const Mark& mark) {
    // Connections first, latest first: filters of the graph stay, unconnected as they were.
    while (made_.size() > mark.connections) {
        ComPtr<IPin> out = std::move(made_.back());
        made_.pop_back();
        if (ComPtr<IPin> peer = PeerOf(out.get())) {
            out->Disconnect();
            peer->Disconnect();
        }
    }
    while (filters_.size() > mark.filters) {
        ComPtr<IBaseFilter> last = filters_.back().filter;
        RemoveFilter(last.get());
    }
}

HRESULT CFilterGraph::ConnectVia(IBaseFilter* filter, IPin* out, IPin* in, int depth) {
    if (!ConnectToFreeInput(out, filter)) return VFW_E_CANNOT_CONNECT;
    for (auto& next : FreePinsOf(filter, PINDIR_OUTPUT)) {
        if (SUCCEEDED(LogRefused("Intelligent connection, out of a candidate", next.get(), in,
                                 next->Connect(in, nullptr))))
            return S_OK;
        if (SUCCEEDED(ConnectThrough(next.get(), in, depth + 1))) return S_OK;
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::RenderVia(IBaseFilter* filter, IPin* out, int depth) {
    if (!ConnectToFreeInput(out, filter)) return VFW_E_CANNOT_RENDER;
    // Rendered when every free output of the filter is rendered in turn (none: a renderer).
    for (auto& next : FreePinsOf(filter, PINDIR_OUTPUT))
        if (FAILED(RenderFrom(next.get(), depth + 1))) return VFW_E_CANNOT_RENDER;
    return S_OK;
}

HRESULT CFilterGraph::ConnectThrough(IPin* out, IPin* in, int depth) {
    if (depth >= kMaxInserted) return VFW_E_CANNOT_CONNECT;
    // The filters of the graph first, in the order they were added, then the registry's.
    for (auto& filter : FiltersToTry(out, in)) {
        if (aborted_) return E_ABORT;
        TLOG(Graph) << "Connect: trying " << FilterText(filter.get())
                    << ", already in the graph, between " << PinText(out) << " and " << PinText(in);
        const Mark mark = MarkNow();
        if (SUCCEEDED(ConnectVia(filter.get(), out, in, depth))) return S_OK;
        TLOG(Graph) << "Connect: " << FilterText(filter.get()) << " does not lead to "
                    << PinText(in) << "; left as it was";
        RollBackTo(mark);
    }
    for (const RegisteredFilter& entry : Candidates(out)) {
        if (aborted_) return E_ABORT;
        const Mark mark = MarkNow();
        ComPtr<IBaseFilter> filter = AddRegistered(entry);
        if (!filter) continue;
        if (SUCCEEDED(ConnectVia(filter.get(), out, in, depth))) return S_OK;
        TLOG(Graph) << "Connect: " << entry.friendlyName << " does not lead to " << PinText(in)
                    << "; taken out again";
        RollBackTo(mark);
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
    constexpr std::string_view op = "Connect";
    if (!out || !in) return LogRefused(op, out, in, E_POINTER);
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return LogRefused(op, out, in, VFW_E_NOT_STOPPED);
    if (!PinInGraph(out) || !PinInGraph(in)) return LogRefused(op, out, in, VFW_E_NOT_IN_GRAPH);
    PIN_DIRECTION dOut, dIn;
    if (FAILED(out->QueryDirection(&dOut)) || FAILED(in->QueryDirection(&dIn)))
        return LogRefused(op, out, in, E_FAIL);
    if (dOut != PINDIR_OUTPUT || dIn != PINDIR_INPUT)
        return LogRefused(op, out, in, VFW_E_INVALID_DIRECTION);
    aborted_ = false;
    HRESULT hr = out->Connect(in, nullptr);
    if (SUCCEEDED(hr) || hr == VFW_E_ALREADY_CONNECTED) return LogConnection(op, out, in, hr);
    LogRefused("Connect, directly", out, in, hr);
    const Mark start = MarkNow();
    hr = ConnectThrough(out, in, 0);
    made_.resize(start.connections); // kept: the attempt is over
    return LogConnection(op, out, in,
                         hr == E_ABORT ? E_ABORT : (SUCCEEDED(hr) ? S_OK : VFW_E_CANNOT_CONNECT));
}

HRESULT CFilterGraph::RenderFrom(IPin* out, int depth) {
    if (depth > kMaxInserted) return VFW_E_CANNOT_RENDER;
    for (auto& filter : FiltersToTry(out, nullptr)) {
        if (aborted_) return E_ABORT;
        TLOG(Graph) << "Render: trying " << FilterText(filter.get())
                    << ", already in the graph, for " << PinText(out);
        const Mark mark = MarkNow();
        if (SUCCEEDED(RenderVia(filter.get(), out, depth))) return S_OK;
        TLOG(Graph) << "Render: " << FilterText(filter.get()) << " does not render " << PinText(out)
                    << "; left as it was";
        RollBackTo(mark);
    }
    for (const RegisteredFilter& entry : Candidates(out)) {
        if (aborted_) return E_ABORT;
        const Mark mark = MarkNow();
        ComPtr<IBaseFilter> filter = AddRegistered(entry);
        if (!filter) continue;
        if (SUCCEEDED(RenderVia(filter.get(), out, depth))) return S_OK;
        TLOG(Graph) << "Render: " << entry.friendlyName << " does not render " << PinText(out)
                    << "; taken out again";
        RollBackTo(mark);
    }
    return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::Render(IPin* out) {
    constexpr std::string_view op = "Render";
    if (!out) return LogRefused(op, out, nullptr, E_POINTER);
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return LogRefused(op, out, nullptr, VFW_E_NOT_STOPPED);
    if (!PinInGraph(out)) return LogRefused(op, out, nullptr, VFW_E_NOT_IN_GRAPH);
    PIN_DIRECTION dir;
    if (FAILED(out->QueryDirection(&dir)) || dir != PINDIR_OUTPUT)
        return LogRefused(op, out, nullptr, VFW_E_INVALID_DIRECTION);
    ComPtr<IPin> peer;
    if (SUCCEEDED(out->ConnectedTo(peer.put())))
        return LogRefused(op, out, nullptr, VFW_E_ALREADY_CONNECTED);
    aborted_ = false;
    const Mark start = MarkNow();
    const HRESULT hr = RenderFrom(out, 0);
    made_.resize(start.connections); // kept: the attempt is over
    return LogConnection(op, out, nullptr, hr);
}

HRESULT CFilterGraph::Abort() {
    aborted_ = true;
    return S_OK;
}

HRESULT CFilterGraph::ShouldOperationContinue() {
    return aborted_ ? S_FALSE : S_OK;
}

// ---------------------------------------------------------------------------------------------
// Clock and states

void CFilterGraph::DistributeClock() {
    for (auto& e : filters_)
        e.filter->SetSyncSource(clock_.get());
}

HRESULT CFilterGraph::SetDefaultSyncSource() {
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IReferenceClock> chosen;
    for (auto& e : filters_)
        if (SUCCEEDED(e.filter->QueryInterface(IReferenceClock::iid, chosen.putVoid())) && chosen)
            break;
    if (!chosen) chosen = new CSystemClock;
    clock_ = chosen;
    clockChosen_ = false;
    DistributeClock();
    return S_OK;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* clock) {
    std::lock_guard lock(graphLock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    clock_ = clock;
    clockChosen_ = true;
    DistributeClock();
    return S_OK;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirst() const {
    std::vector<ComPtr<IBaseFilter>> order;
    std::vector<bool> visited(filters_.size(), false);
    // Post-order walk along output connections: a filter is listed after all its downstream.
    std::function<void(std::size_t)> visit = [&](std::size_t i) {
        if (visited[i]) return;
        visited[i] = true;
        for (auto& pin : PinsOf(filters_[i].filter.get())) {
            ComPtr<IPin> peer =
                HasDirection(pin.get(), PINDIR_OUTPUT) ? PeerOf(pin.get()) : nullptr;
            ComPtr<IBaseFilter> next = peer ? OwnerOf(peer.get()) : nullptr;
            const int j = next ? IndexOf(next.get()) : -1;
            if (j >= 0) visit(static_cast<std::size_t>(j));
        }
        order.push_back(filters_[i].filter);
    };
    for (std::size_t i = 0; i < filters_.size(); ++i)
        visit(i);
    return order;
}

HRESULT CFilterGraph::StopAll() {
    HRESULT result = S_OK;
    for (auto& f : DownstreamFirst()) {
        HRESULT hr = f->Stop();
        if (FAILED(hr))
            TLOG(Engine) << "Stop: " << FilterText(f.get()) << " failed: " << HResultText(hr);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    if (state_ != State_Stopped) TLOG(Engine) << "Graph stopped";
    state_ = State_Stopped;
    return result;
}

HRESULT CFilterGraph::Pause() {
    std::lock_guard lock(graphLock_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        // A new run: sources may finish as soon as they are paused, so count before that.
        const int renderers = CountRenderers(); // asks the filters: not under the event lock
        std::lock_guard events(eventLock_);
        renderers_ = renderers;
        completions_ = 0;
        completion_ = 0;
    }
    if (!clock_ && !clockChosen_) SetDefaultSyncSource();
    for (auto& f : DownstreamFirst()) {
        HRESULT hr = f->Pause();
        if (FAILED(hr)) {
            TLOG(Engine) << "Pause: " << FilterText(f.get()) << " refused: " << HResultText(hr)
                         << "; the graph stops";
            StopAll();
            return hr;
        }
    }
    state_ = State_Paused;
    TLOG(Engine) << "Graph paused";
    return S_OK;
}

HRESULT CFilterGraph::Run() {
    std::lock_guard lock(graphLock_);
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    // Stream time zero a little ahead of now, so the first samples are not born late.
    REFERENCE_TIME start = 0;
    if (clock_ && SUCCEEDED(clock_->GetTime(&start))) start += 100000;
    for (auto& f : DownstreamFirst()) {
        HRESULT hr = f->Run(start);
        if (FAILED(hr)) {
            TLOG(Engine) << "Run: " << FilterText(f.get()) << " refused: " << HResultText(hr)
                         << "; the graph stops";
            StopAll();
            return hr;
        }
    }
    state_ = State_Running;
    TLOG(Engine) << "Graph running, stream time zero at " << start / 10000 << " ms of its clock";
    return S_OK;
}

HRESULT CFilterGraph::Stop() {
    std::lock_guard lock(graphLock_);
    return StopAll();
}

HRESULT CFilterGraph::StopWhenReady() {
    std::lock_guard lock(graphLock_);
    // Our filters settle within Pause itself, so "ready" is reached when Pause returns.
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
    return StopAll();
}

HRESULT CFilterGraph::GetState(long msTimeout, OAFilterState* state) {
    if (!state) return E_POINTER;
    std::lock_guard lock(graphLock_);
    *state = state_;
    HRESULT result = S_OK;
    for (auto& e : filters_) {
        FILTER_STATE fs;
        HRESULT hr = e.filter->GetState(msTimeout < 0 ? 0xFFFFFFFFu : DWORD(msTimeout), &fs);
        if (FAILED(hr)) return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE) result = hr;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Events

HRESULT CFilterGraph::Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) {
    TLOG(Engine) << "Event 0x" << std::hex << eventCode << " (0x" << param1 << ", 0x" << param2
                 << ")";
    std::function<void()> callback;
    {
        std::lock_guard lock(eventLock_);
        if (eventCode == EC_COMPLETE && completeHandled_ && renderers_ > 0) {
            // One completion for the graph: when the last renderer is done.
            if (++completions_ != renderers_) return S_OK;
            param1 = S_OK;
            param2 = 0;
        }
        if ((eventCode == EC_COMPLETE || eventCode == EC_ERRORABORT || eventCode == EC_USERABORT) &&
            completion_ == 0) {
            completion_ = eventCode;
            completed_.notify_all();
        }
        if (notifyFlags_ & AM_MEDIAEVENT_NONOTIFY) return S_OK;
        // The queued event keeps the device alive until the application frees the parameters.
        if (eventCode == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->AddRef();
        events_.push_back({eventCode, param1, param2});
        callback = notifyCallback_;
    }
    eventArrived_.notify_all();
    if (callback) callback();
    return S_OK;
}

HRESULT CFilterGraph::GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2,
                               long msTimeout) {
    if (!eventCode || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(eventLock_);
    auto ready = [&] { return !events_.empty(); };
    if (msTimeout < 0)
        eventArrived_.wait(lock, ready);
    else if (!eventArrived_.wait_for(lock, std::chrono::milliseconds(msTimeout), ready))
        return E_ABORT;
    const Event e = events_.front();
    events_.pop_front();
    *eventCode = e.code;
    *param1 = e.param1;
    *param2 = e.param2;
    return S_OK;
}

HRESULT CFilterGraph::FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR) {
    if (eventCode == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->Release();
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(long msTimeout, long* eventCode) {
    if (!eventCode) return E_POINTER;
    *eventCode = 0;
    std::unique_lock lock(eventLock_);
    auto done = [&] { return completion_ != 0; };
    if (msTimeout < 0)
        completed_.wait(lock, done);
    else if (!completed_.wait_for(lock, std::chrono::milliseconds(msTimeout), done))
        return E_ABORT;
    *eventCode = completion_;
    return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(long eventCode) {
    if (eventCode != EC_COMPLETE) return E_INVALIDARG;
    std::lock_guard lock(eventLock_);
    completeHandled_ = false;
    return S_OK;
}

HRESULT CFilterGraph::RestoreDefaultHandling(long eventCode) {
    if (eventCode != EC_COMPLETE) return E_INVALIDARG;
    std::lock_guard lock(eventLock_);
    completeHandled_ = true;
    return S_OK;
}

int CFilterGraph::CountRenderers() const {
    int count = 0;
    for (auto& e : filters_) {
        bool outputs = false, connectedInput = false;
        for (auto& pin : PinsOf(e.filter.get())) {
            if (HasDirection(pin.get(), PINDIR_OUTPUT))
                outputs = true;
            else if (HasDirection(pin.get(), PINDIR_INPUT) && IsConnected(pin.get()))
                connectedInput = true;
        }
        if (connectedInput && !outputs) ++count;
    }
    return count;
}

HRESULT CFilterGraph::SetNotifyCallback(std::function<void()> callback) {
    std::lock_guard lock(eventLock_);
    notifyCallback_ = std::move(callback);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(long flags) {
    if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
    std::deque<Event> dropped;
    {
        std::lock_guard lock(eventLock_);
        notifyFlags_ = flags;
        // Switching notification off discards what is queued, as the platform does.
        if (flags & AM_MEDIAEVENT_NONOTIFY) dropped.swap(events_);
    }
    for (const Event& e : dropped)
        FreeEventParams(e.code, e.param1, e.param2);
    return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(long* flags) {
    if (!flags) return E_POINTER;
    std::lock_guard lock(eventLock_);
    *flags = notifyFlags_;
    return S_OK;
}

std::size_t CFilterGraph::PendingEvents() const {
    std::lock_guard lock(eventLock_);
    return events_.size();
}

// ---------------------------------------------------------------------------------------------
// Audio

std::vector<ComPtr<IBasicAudio>> CFilterGraph::AudioFilters() const {
    std::vector<ComPtr<IBasicAudio>> list;
    for (auto& e : filters_) {
        ComPtr<IBasicAudio> audio;
        if (SUCCEEDED(e.filter->QueryInterface(IBasicAudio::iid, audio.putVoid())) && audio)
            list.push_back(audio);
    }
    return list;
}

// Setters go to every audio filter (the first failure is returned), getters ask the first.
HRESULT CFilterGraph::SetOnAudioFilters(HRESULT (IBasicAudio::*set)(long), long value) {
    std::lock_guard lock(graphLock_);
    auto audio = AudioFilters();
    if (audio.empty()) return E_NOTIMPL;
    HRESULT result = S_OK;
    for (auto& a : audio) {
        HRESULT hr = (a.get()->*set)(value);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT CFilterGraph::GetFromAudioFilters(HRESULT (IBasicAudio::*get)(long*), long* value) {
    if (!value) return E_POINTER;
    std::lock_guard lock(graphLock_);
    auto audio = AudioFilters();
    if (audio.empty()) return E_NOTIMPL;
    return (audio.front().get()->*get)(value);
}

HRESULT CFilterGraph::put_Volume(long volume) {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    return SetOnAudioFilters(&IBasicAudio::put_Volume, volume);
}

HRESULT CFilterGraph::get_Volume(long* volume) {
    return GetFromAudioFilters(&IBasicAudio::get_Volume, volume);
}

HRESULT CFilterGraph::put_Balance(long balance) {
    if (balance < -10000 || balance > 10000) return E_INVALIDARG;
    return SetOnAudioFilters(&IBasicAudio::put_Balance, balance);
}

HRESULT CFilterGraph::get_Balance(long* balance) {
    return GetFromAudioFilters(&IBasicAudio::get_Balance, balance);
}

} // namespace talvence
