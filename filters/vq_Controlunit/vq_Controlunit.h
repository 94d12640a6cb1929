#pragma once
// Tvq_ControlFilter: a gate for image-by-image capture. Each arm lets exactly one frame through;
// every other frame is dropped. Passed frames may be given consecutive media times and marked as
// sync points and discontinuities, so the file writer stores one image per shot. When a run
// stops the application is told, after streaming has ended.
//
// Threads and locks: the framework's filter lock (application thread), then its receive lock
// (Transform, streaming thread). The settings are atomics written by the application thread and
// read by the streaming thread without a lock; a change takes effect from the next frame.

#include "filters/BaseClass/TransInPlaceFilter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace talvence {

inline constexpr CLSID CLSID_vq_ControlFilter = MakeGuid("E1DF0C6D-1C96-4A23-B4E2-F9344DE994A7");
inline constexpr char kControlFilterObjectName[] = "Brannock vq_ControlFilter";

// What the gate decided for one frame.
struct GateDecision {
    bool pass = false;
    bool stampMediaTime = false;
    std::int64_t mediaStart = 0;
    std::int64_t mediaStop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
};

// The gate's rules, apart from the framework.
class ControlGate {
public:
    // Any thread (the application thread in practice).
    void SetPassNext(bool pass) { passNext_.store(pass); }
    void SetMediaTimeStamping(bool on) { stampMediaTime_.store(on); }
    void SetMediaTimeStep(std::int64_t step) { mediaTimeStep_.store(step); }
    void SetMarkSyncPoint(bool on) { markSyncPoint_.store(on); }
    void SetMarkDiscontinuity(bool on) { markDiscontinuity_.store(on); }

    // Streaming thread, one frame at a time. Closing the gate and taking the arm are one step:
    // an arm given while a frame passes for an earlier arm is kept for the next frame, and no
    // arm ever lets two frames through.
    GateDecision NextFrame();
    // The stopping thread: the gate opens for the first frame of the next run.
    void Reopen() { passNext_.store(true); }

    // Any thread.
    bool PassNext() const { return passNext_.load(); }
    // Media start time of the next passed frame; counts on across runs for the gate's life.
    std::int64_t MediaTimeCounter() const { return mediaTimeCounter_.load(); }

private:
    std::atomic<bool> passNext_{true};
    std::atomic<bool> stampMediaTime_{false};
    std::atomic<std::int64_t> mediaTimeStep_{1};
    std::atomic<bool> markSyncPoint_{false};
    std::atomic<bool> markDiscontinuity_{false};
    std::atomic<std::int64_t> mediaTimeCounter_{0}; // written by the streaming thread only
};

class Tvq_ControlFilter : public TBCTransInPlaceFilter {
public:
    Tvq_ControlFilter();

    // Application thread; no lock on the streaming side.
    void SetPassNext(bool pass) { gate_.SetPassNext(pass); }
    void SetMediaTimeStamping(bool on) { gate_.SetMediaTimeStamping(on); }
    void SetMediaTimeStep(std::int64_t step) { gate_.SetMediaTimeStep(step); }
    void SetMarkSyncPoint(bool on) { gate_.SetMarkSyncPoint(on); }
    void SetMarkDiscontinuity(bool on) { gate_.SetMarkDiscontinuity(on); }
    // Called on the thread that stops the graph, once streaming has ended (empty: none).
    void SetOnStop(std::function<void()> onStop);

    const ControlGate& Gate() const { return gate_; }

    // Application thread: reopens the gate, stops, then notifies when a run has ended (a stop of
    // a filter already stopped ends nothing and notifies nothing).
    HRESULT Stop() override;

    // Every media type passes (application thread, filter lock).
    HRESULT CheckInputType(const CMediaType* mt) override;
    // Streaming thread, receive lock: S_OK delivers the frame, S_FALSE drops it.
    HRESULT Transform(IMediaSample* sample) override;

private:
    ControlGate gate_;             // atomics, see ControlGate
    std::mutex onStopMutex_;       // guards onStop_ only, never held while it runs
    std::function<void()> onStop_; // onStopMutex_
};

} // namespace talvence
