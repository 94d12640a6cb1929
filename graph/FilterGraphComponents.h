#pragma once

// The graph and its filter slots: the components the graph module and the main window hold.
//
// TFilterGraph owns one platform graph while it is active (with a capture graph builder bound to
// it in capture mode) and lists the slots that belong to it. A TFilter slot names the filter to
// create (a device moniker) and owns a live instance only while it belongs to an active graph:
// joining creates the instance and adds it under the slot's name, leaving stops it, removes it
// and releases it. A slot without an instance answers every interface request with EGraphError,
// so a recipe that uses a slot outside the graph as a connection end fails as a whole.
//
// Threads: every method belongs to the application thread, except where a comment says
// otherwise. Graph events are queued by the platform on streaming threads and handed to the
// application thread (see SetEventWakeup and HandleGraphEvents).

#include "graph/GraphError.h"
#include "platform/media/CaptureGraphBuilder.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/FilterGraph.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

class TFilter;

enum TGraphMode { gmNormal, gmCapture };

// The graph state as the media control reports it, shifted so that 0 means "no platform graph".
enum TGraphState { gsUninitialized = 0, gsStopped = 1, gsPaused = 2, gsRunning = 3 };

// Called on the application thread for EC_DEVICE_LOST: the device's object (valid during the
// call) and whether it came back (true) or was removed (false).
using TGraphDeviceLostEvent = std::function<void(IUnknown* device, bool inserted)>;

// Linear volume 0..10000 to the platform's attenuation in hundredths of a decibel:
// round(ln(v + 1) * 1085.73) - 10000, so 0 is silence (-10000) and 10000 is full level (0).
// Values outside 0..10000 are clamped first.
long LinearVolumeToAttenuation(int volume);

class TFilterGraph {
public:
    // registry: the filters the platform graph may insert and the capture graph builder's writers.
    // autoCreate: active at once (the graph module's graph is).
    explicit TFilterGraph(std::shared_ptr<const FilterRegistry> registry, bool autoCreate = true,
                          TGraphMode mode = gmCapture);
    // Takes every slot out, then drops the platform graph.
    ~TFilterGraph();

    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    TGraphMode Mode() const { return mode_; }
    // Takes effect at the next activation.
    void SetMode(TGraphMode mode) { mode_ = mode; }

    bool Active() const { return graph_ != nullptr; }
    // False: stops the platform graph and drops it with every filter instance (slots stay listed
    // without instances). True: a new empty platform graph (and capture graph builder) in which
    // the listed slots create their filters again, in the order they joined.
    void SetActive(bool active);

    // The platform graph's interfaces; EGraphError while inactive or when it lacks the interface.
    ComPtr<IGraphBuilder> GraphBuilder() const;
    ComPtr<ICaptureGraphBuilder2> CaptureGraphBuilder() const;
    template <class I> ComPtr<I> Query() const {
        ComPtr<I> out;
        CheckGraphResult(QueryGraph(I::iid, out.putVoid()), "The filter graph lacks an interface");
        return out;
    }

    // Media control Run; true on success (false also while inactive).
    bool RunGraph();
    // Media control Stop; true when the platform answered S_OK.
    bool HaltGraph();
    // Read without waiting; gsUninitialized while inactive.
    TGraphState GraphState() const;
    // With a reference clock (the default of every activation) renderers show and play each
    // sample at its time; without one nothing waits, so a source that is not live runs as fast as
    // the graph takes its samples. Only while stopped; true on success.
    bool UseReferenceClock(bool use);
    // Disconnects every pin of every filter in the graph; the filters stay. Answers the first
    // failure (a pin of a filter that is not stopped refuses), S_OK otherwise.
    HRESULT DisconnectAllPins();
    // HaltGraph, DisconnectAllPins, then removes every filter that no joined slot owns (own
    // filters, writers, filters inserted by intelligent connection). Slots' filters stay.
    HRESULT EmptyGraph();

    // Kept clamped to 0..10000; applied as attenuation when the graph has an audio filter.
    void SetGraphVolume(int volume);
    int GraphVolume() const { return volume_; }

    // The device-lost handler (the main window's).
    TGraphDeviceLostEvent OnGraphDeviceLost;
    // Called on the application thread when a run ends by itself: EC_COMPLETE (every renderer
    // received the end of its stream), EC_ERRORABORT or EC_USERABORT, with that code and, for
    // the two aborts, the failure the filter reported (S_OK for EC_COMPLETE).
    std::function<void(long code, HRESULT result)> OnGraphComplete;

    // Any thread: called when the platform queues an event; it must only arrange for
    // HandleGraphEvents to run on the application thread. Unset, the call is posted to this
    // graph's thread through the Qt event loop when a QCoreApplication exists.
    void SetEventWakeup(std::function<void()> wakeup);
    // Takes every queued event and raises OnGraphDeviceLost for each EC_DEVICE_LOST and
    // OnGraphComplete for each end of a run. Stops when a handler replaced or dropped the
    // platform graph.
    void HandleGraphEvents();

    // The slots that belong to this graph, in the order they joined.
    const std::vector<TFilter*>& Slots() const { return slots_; }

private:
    friend class TFilter;
    struct EventRelay;

    HRESULT QueryGraph(REFIID riid, void** ppv) const;
    void Activate();
    void Deactivate();
    void Join(TFilter* slot);
    void Leave(TFilter* slot);

    std::shared_ptr<const FilterRegistry> registry_;
    TGraphMode mode_;
    ComPtr<CFilterGraph> graph_;                   // null while inactive
    ComPtr<ICaptureGraphBuilder2> captureBuilder_; // gmCapture only
    std::vector<TFilter*> slots_;                  // not owned: a slot leaves before it goes
    int volume_ = 10000;
    std::shared_ptr<EventRelay> relay_; // shared with the platform graph's notify callback
};

class TFilter {
public:
    explicit TFilter(std::string name);
    // Leaves its graph.
    virtual ~TFilter();

    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;

    // The slot's name: the filter's name in the graph.
    const std::string& Name() const { return name_; }

    // The filter to create at the next join (a live instance is not replaced); null: none
    // installed, the slot then joins without a filter.
    const ComPtr<IMoniker>& BaseFilter() const { return moniker_; }
    void SetBaseFilter(ComPtr<IMoniker> moniker) { moniker_ = std::move(moniker); }

    TFilterGraph* FilterGraph() const { return graph_; }
    // Joins (creating the filter when the graph is active), leaves (null), or moves. Joining the
    // graph the slot is in, or leaving when it is in none, changes nothing.
    void SetFilterGraph(TFilterGraph* graph);

    // A live filter instance is held.
    bool HasFilter() const { return filter_ != nullptr; }
    // The live filter; EGraphError (VFW_E_NOT_IN_GRAPH) when the slot holds none.
    ComPtr<IBaseFilter> Filter() const;
    // An interface of the live filter: EGraphError when there is no filter or it lacks it.
    template <class I> ComPtr<I> Query() const {
        ComPtr<I> out;
        CheckGraphResult(QueryFilter(I::iid, out.putVoid()),
                         "Filter \"" + name_ + "\" does not provide the interface asked for");
        return out;
    }
    // Same without raising: null when absent.
    template <class I> ComPtr<I> TryQuery() const {
        ComPtr<I> out;
        QueryFilter(I::iid, out.putVoid());
        return out;
    }
    // What the last join's creation answered (S_OK, or why the slot holds no filter).
    HRESULT CreateResult() const { return createResult_; }

protected:
    // Hooks around the live instance (application thread). Joined: the filter was just added to
    // the graph. Leaving: the filter is about to be stopped and removed.
    virtual void FilterJoined(IBaseFilter*) {}
    virtual void FilterLeaving(IBaseFilter*) {}

private:
    friend class TFilterGraph;

    HRESULT QueryFilter(REFIID riid, void** ppv) const;
    // Creates the instance and adds it to the platform graph (the graph is active).
    void CreateIn(CFilterGraph* graph);
    // Stops the instance when paused or running, removes it and releases it.
    void ReleaseFrom(CFilterGraph* graph);

    std::string name_;
    ComPtr<IMoniker> moniker_;
    TFilterGraph* graph_ = nullptr; // not owned
    ComPtr<IBaseFilter> filter_;    // only while in an active graph
    HRESULT createResult_ = S_OK;
};

} // namespace talvence
