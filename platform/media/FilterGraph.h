#pragma once

// The filter graph manager: holds filters under unique names, connects their pins directly,
// drives their states, hands out a reference clock, queues graph events for the application and
// forwards the audio volume.
//
// State changes go to the filters downstream first (renderers before sources) for pause, run and
// stop alike: a filter is ready to receive before its upstream starts pushing, and on stop a
// downstream filter lets go of its buffers (releasing an upstream thread blocked on them) before
// its upstream is stopped and joined.
//
// Threads: everything but IMediaEventSink::Notify and GetEvent belongs to the application thread.
// Notify comes from streaming threads; the notification callback runs on the notifying thread and
// must only hand over to the application thread, which then calls GetEvent.
//
// Intelligent connection (Connect, Render) goes through up to three filters. At each step it tries
// the filters already in the graph that have a free input (for Connect, and a free output), in
// the order they were added, then filters of the registry's filter category, highest merit first.
// It never tries the filters at either end, nor one upstream of the output pin or downstream of
// the input pin (a loop). A failed attempt leaves the graph as it found it: it disconnects what it
// connected and removes only the filters it inserted.
//
// Diagnostics (TALVENCE_LOG): every refused or failed connection attempt and each connection made
// is logged under "graph", with the pins, the type and the HRESULT; state changes, filters that
// refuse them, and events under "engine".
//
// EC_COMPLETE is handled by default: renderers (filters with connected inputs and no outputs) are
// counted at Run, and one EC_COMPLETE is queued when all of them have reported it.

#include "platform/media/FilterRegistry.h"
#include "platform/media/Interfaces.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvence {

class CFilterGraph : public IFilterGraph2,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IBasicAudio {
public:
    // registry: where intelligent connection finds filters to insert (null: none).
    explicit CFilterGraph(std::shared_ptr<const FilterRegistry> registry = nullptr);
    ~CFilterGraph() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IFilterGraph / IFilterGraph2.
    HRESULT AddFilter(IBaseFilter* filter, const std::string& name) override;
    // Stops the filter when it is not stopped and disconnects both ends of each of its pins.
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    // In the order the filters were added.
    HRESULT EnumFilters(IEnumFilters** out) override;
    HRESULT FindFilterByName(const std::string& name, IBaseFilter** filter) override;
    // Only while stopped (VFW_E_NOT_STOPPED); both pins must belong to filters of this graph.
    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Reconnect(IPin* pin) override;
    // Disconnects this end only, like the pin itself.
    HRESULT Disconnect(IPin* pin) override;
    // A filter's own clock when one offers it, else the monotonic system clock.
    HRESULT SetDefaultSyncSource() override;
    // Breaks the pin's connection and connects the same two pins again with the given type (null:
    // renegotiated). When that fails the previous connection is restored and the failure returned.
    HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* pmt) override;

    // IGraphBuilder.
    HRESULT Connect(IPin* out, IPin* in) override;
    // VFW_E_CANNOT_RENDER when no chain of filters, of the graph or registered, ends in renderers.
    HRESULT Render(IPin* out) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    // IMediaControl. A failing filter stops the whole graph and its failure is returned.
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT StopWhenReady() override;
    // Never waits beyond msTimeout; VFW_S_STATE_INTERMEDIATE when a filter has not settled.
    HRESULT GetState(long msTimeout, OAFilterState* state) override;

    // IMediaEvent / IMediaEventEx.
    HRESULT GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2, long msTimeout) override;
    HRESULT FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT WaitForCompletion(long msTimeout, long* eventCode) override;
    HRESULT CancelDefaultHandling(long eventCode) override;
    HRESULT RestoreDefaultHandling(long eventCode) override;
    HRESULT SetNotifyCallback(std::function<void()> callback) override;
    HRESULT SetNotifyFlags(long flags) override;
    HRESULT GetNotifyFlags(long* flags) override;

    // IMediaEventSink (any thread).
    HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) override;

    // IBasicAudio: forwarded to every filter of the graph that offers it; E_NOTIMPL when none.
    HRESULT put_Volume(long volume) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Balance(long balance) override;
    HRESULT get_Balance(long* balance) override;

    // Gives the graph and its filters this clock (null: none). Only while stopped.
    HRESULT SetSyncSource(IReferenceClock* clock);
    // Any thread: the number of queued events.
    std::size_t PendingEvents() const;

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        std::string name;
    };
    struct Event {
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    bool NameInUse(const std::string& name) const;
    int IndexOf(IBaseFilter* filter) const;
    bool PinInGraph(IPin* pin) const;
    // Filters ordered so that each comes before every filter upstream of it.
    std::vector<ComPtr<IBaseFilter>> DownstreamFirst() const;
    HRESULT StopAll();
    void DistributeClock();
    std::vector<ComPtr<IBasicAudio>> AudioFilters() const;
    HRESULT SetOnAudioFilters(HRESULT (IBasicAudio::*set)(long), long value);
    HRESULT GetFromAudioFilters(HRESULT (IBasicAudio::*get)(long*), long* value);
    int CountRenderers() const;
    // Intelligent connection steps; each leaves the graph as it found it when it fails.
    // What an attempt has added so far: the filters and the connections it made.
    struct Mark {
        std::size_t filters;
        std::size_t connections;
    };
    Mark MarkNow() const;
    // Disconnects the connections made since the mark, latest first, and removes the filters
    // added since.
    void RollBackTo(const Mark& mark);
    HRESULT ConnectThrough(IPin* out, IPin* in, int depth);
    HRESULT RenderFrom(IPin* out, int depth);
    // One candidate filter: out into a free input of it, then on to in (Connect) or rendered.
    HRESULT ConnectVia(IBaseFilter* filter, IPin* out, IPin* in, int depth);
    HRESULT RenderVia(IBaseFilter* filter, IPin* out, int depth);
    // Connects out to the first free input of the filter that takes it, and records it.
    bool ConnectToFreeInput(IPin* out, IBaseFilter* filter);
    // The filters of the graph to try from out (towards in; null for Render), in order.
    std::vector<ComPtr<IBaseFilter>> FiltersToTry(IPin* out, IPin* in) const;
    // By graph index: the pin's filter and the filters reached from it through connected pins of
    // the direction given (PINDIR_INPUT: upstream, PINDIR_OUTPUT: downstream).
    std::vector<bool> Reached(IPin* pin, PIN_DIRECTION through) const;
    std::vector<RegisteredFilter> Candidates(IPin* out) const;
    ComPtr<IBaseFilter> AddRegistered(const RegisteredFilter& entry);

    std::atomic<ULONG> refs_{0};
    std::shared_ptr<const FilterRegistry> registry_;
    std::atomic<bool> aborted_{false};

    mutable std::recursive_mutex graphLock_; // guards the members below up to the event queue
    std::vector<Entry> filters_;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    bool clockChosen_ = false; // SetSyncSource was called (a null clock is then deliberate)
    std::vector<ComPtr<IPin>> made_; // outputs intelligent connection connected, while it runs

    mutable std::mutex eventLock_; // guards the event queue, the callback and the flags
    std::condition_variable eventArrived_;
    std::deque<Event> events_;
    std::function<void()> notifyCallback_;
    long notifyFlags_ = 0;
    bool completeHandled_ = true; // default handling of EC_COMPLETE
    int renderers_ = 0;           // counted at Run
    int completions_ = 0;         // EC_COMPLETE received in this run
    long completion_ = 0;         // the event that completed this run, 0 while running
    std::condition_variable completed_;
};

} // namespace talvence
