#pragma once

// Live sources: capture devices that produce in real time whether or not anyone takes their
// samples. A live source cannot cue: paused, it sends nothing (its streaming thread waits for the
// run; a frame finished after its run ended is not sent) and GetState answers VFW_S_CANT_CUE;
// each run starts its stream time at zero. Its pins count the frames delivered and lost since the
// filter last left the stopped state (IAMDroppedFrames) and tell whether they are live and how
// late their samples come (IAMPushSource, IAMLatency).
//
// Pacing, chosen per pin when it is made:
// - Clock (virtual devices): a frame is due every frame period of the graph's reference clock. At
//   each due time the pin says what the period brings (OnFrameDue); when no buffer is free at that
//   moment the frame is lost, counted with its number, and the time moves on. The base stamps each
//   sample with its period, marks it a sync point and marks the first of each run a discontinuity.
//   A graph without a clock gets its frames as fast as downstream takes them.
// - AsFastAsPossible: the same without the clock and without losses, with consecutive times; the
//   pin is not live (AM_PUSHSOURCECAPS_NOT_LIVE), as a file read as fast as it is taken.
// - Device (sound cards, V4L2 buffers, IEEE 1394 frame reception): OnFrameDue may wait for the
//   device and say what it brought (as for clock pacing, a lost device posts EC_DEVICE_LOST);
//   then FillFrame blocks in the device until data is there. The pin stamps its samples itself, from the device's own count
//   (StampFromCount) or from the graph clock (ClockStreamTime), and reports what the device says
//   it lost (ReportLost).
// Times are counted in units of a time base (SetTimeBase; 30000 per second unless told, a whole
// number of units per period at 24, 25, 30, 50 and 60 frames a second and at DV's 30000/1001).
//
// Threads: the application thread creates the filter and drives its states; each pin's streaming
// thread is created when the filter pauses from stopped, waits for the run, and is joined by the
// stop. The counters and push-source interfaces may be read from any thread.
// Locks, in this order: the filter lock, the pin's stream lock, a device's own lock. The stream
// lock guards what the application thread hands to the streaming thread (run, clock, start time);
// no lock is held while the streaming thread waits for the clock or calls the hooks.

#include "filters/BaseClass/SourceFilter.h"
#include "platform/media/CaptureInterfaces.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace talvence {

enum class TBCLivePacing { Clock, AsFastAsPossible, Device };

// What a frame period brings to a clock-paced (or as-fast) pin.
enum class TBCFrameDue {
    Frame,      // one frame: a buffer is taken and FillFrame fills it
    Nothing,    // nothing this period; the time moves on by a period when clock-paced
    EndOfStream, // the device has no more: end of stream is delivered
    DeviceLost   // the device is gone: EC_DEVICE_LOST is posted and the stream stops without an
                 // end (downstream keeps what it has; the application rebuilds its graph)
};

class TBCLiveSource : public TBCSource {
public:
    TBCLiveSource(std::string name, IUnknown* outer, const CLSID& clsid);

    // IMediaFilter (application thread). The run and its clock go to the connected live pins; a
    // pause takes the run back. Paused, the filter answers VFW_S_CANT_CUE.
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
};

class TBCLiveSourceStream : public TBCSourceStream, public IAMDroppedFrames, public IAMPushSource {
public:
    TBCLiveSourceStream(std::string objectName, TBCLiveSource* filter, std::string pinName,
                        TBCLivePacing pacing);

    FORWARD_IUNKNOWN(TBCSourceStream)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    TBCLivePacing Pacing() const { return pacing_; }

    // ---- Hooks ----
    // Must override (streaming thread): fills one frame. S_OK delivers it, S_FALSE ends the
    // stream, TBC_E_DEVICE_LOST posts EC_DEVICE_LOST and stops without an end, another failure
    // ends the stream and posts EC_ERRORABORT. Clock and as-fast pacing: the base stamps
    // the sample afterwards with the current frame period. Device pacing: blocks until the device
    // has data and stamps the sample.
    virtual HRESULT FillFrame(IMediaSample* sample) = 0;
    // May override (streaming thread): clock and as-fast pacing: a period has come. Device
    // pacing: asked before each buffer is taken; it may wait a while for the device, answering
    // Nothing when the device had nothing in that time (the run is looked at again) or
    // DeviceLost when the device has gone. Default: a frame.
    virtual TBCFrameDue OnFrameDue() { return TBCFrameDue::Frame; }
    // May override (streaming thread): nothing was due and no clock paces the pin. Blocks until
    // the device may have something, or until Stopping() (WakeDevice is called when it is set).
    // Default: goes on at once.
    virtual void WaitForDevice() {}
    // May override (streaming thread): a run begins, its stream time at zero.
    virtual void OnRunStart() {}
    // May override (application thread, filter lock): the run ended (pause or stop); a streaming
    // thread blocked in the device should look again at Stopping().
    virtual void WakeDevice() {}

    // Application thread (filter lock): resets the counters, then commits and starts the thread /
    // ends the run, wakes the thread, decommits and joins it. A derived pin calls these last /
    // first.
    HRESULT Active() override;
    HRESULT Inactive() override;
    // Application thread (filter lock), from the filter's Run and Pause.
    void RunStarted(IReferenceClock* clock, REFERENCE_TIME startTime);
    void RunEnded();

    // Streaming thread: the run handshake, the clock, losses and stamping around the hooks.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) final;
    HRESULT FillBuffer(IMediaSample* sample) final;
    HRESULT Deliver(IMediaSample* sample) override;

    // IAMDroppedFrames (any thread): counts since the filter last left the stopped state. Frame
    // numbers count every frame due (clock pacing) or delivered and lost (device pacing).
    HRESULT GetNumDropped(long* dropped) override;
    HRESULT GetNumNotDropped(long* notDropped) override;
    HRESULT GetDroppedInfo(long size, long* frames, long* copied) override;
    HRESULT GetAverageFrameSize(long* averageSize) override;

    // IAMPushSource (any thread). Latency: one frame period (a frame is handed over once it is
    // whole). The pacing is the device's and nothing downstream shifts the times: the flags and
    // the stream offset cannot be set, and the offset is zero.
    HRESULT GetLatency(REFERENCE_TIME* latency) override;
    HRESULT GetPushSourceFlags(ULONG* flags) override;
    HRESULT SetPushSourceFlags(ULONG flags) override;
    HRESULT SetStreamOffset(REFERENCE_TIME offset) override;
    HRESULT GetStreamOffset(REFERENCE_TIME* offset) override;
    HRESULT GetMaxStreamOffset(REFERENCE_TIME* maxOffset) override;
    HRESULT SetMaxStreamOffset(REFERENCE_TIME maxOffset) override;

    // Any thread: frame periods the pin has gone through since it was made (clock and as-fast
    // pacing), so a caller knows the device has had its chance to send something.
    std::uint64_t Periods() const { return periods_; }

protected:
    // Application thread while stopped: units per second of the frame period and of device counts.
    void SetTimeBase(std::int64_t unitsPerSecond) { unitsPerSecond_ = unitsPerSecond; }
    // Application thread while stopped, or the streaming thread: the frame period, in units.
    void SetFramePeriod(std::int64_t units) { periodUnits_ = units; }
    // 100 ns units of a count of time-base units.
    REFERENCE_TIME UnitsToTime(std::int64_t units) const;

    // Streaming thread, device pacing: stamps the sample with the next `units` of the run, right
    // after the previous one (contiguous times counted by the device).
    void StampFromCount(IMediaSample* sample, std::int64_t units);
    // Streaming thread: the graph clock's time since the run's start; VFW_E_NO_CLOCK without one.
    HRESULT ClockStreamTime(REFERENCE_TIME* time);
    // Streaming thread, device pacing: the device lost this many frames before the one being
    // filled.
    void ReportLost(long frames);
    // Any thread: set once the stop began.
    const std::atomic<bool>& Stopping() const { return stopping_; }

private:
    // Waits for a run: S_OK with its clock and start, VFW_E_NOT_COMMITTED once stopping.
    HRESULT WaitForRun();
    // Waits until the clock reaches the stream time `due`: S_OK, or S_FALSE when the run ended.
    HRESULT WaitUntil(REFERENCE_TIME due);
    bool StillRunning();
    void CountLost();

    const TBCLivePacing pacing_;

    // Stream lock: what the application thread hands to the streaming thread.
    std::mutex streamMutex_;
    std::condition_variable runChanged_;
    bool running_ = false;              // stream lock
    std::uint64_t runGeneration_ = 0;   // stream lock: bumped by every run
    ComPtr<IReferenceClock> clock_;     // stream lock
    REFERENCE_TIME startTime_ = 0;      // stream lock
    std::atomic<bool> stopping_{false}; // set under the stream lock
    CAMEvent tick_;                     // the clock's advise; also set to wake the thread

    // Streaming thread (the application thread only while no thread runs).
    std::uint64_t seenGeneration_ = 0;
    ComPtr<IReferenceClock> runClock_; // the run's clock and start, as last seen
    REFERENCE_TIME runStart_ = 0;
    std::int64_t position_ = 0; // stream time of the next frame, in units
    long frameNumber_ = 0;      // the next frame's number
    bool discontinuity_ = true;
    bool endPending_ = false;

    std::atomic<std::int64_t> unitsPerSecond_{30000};
    std::atomic<std::int64_t> periodUnits_{1200}; // also read by GetLatency

    // Counters (any thread). The dropped frame numbers are guarded by droppedMutex_.
    std::atomic<std::uint64_t> periods_{0};
    std::atomic<long> delivered_{0};
    std::atomic<long> dropped_{0};
    std::atomic<long long> deliveredBytes_{0};
    std::mutex droppedMutex_;
    std::vector<long> droppedFrames_; // the first kMaxDroppedKept frame numbers
};

} // namespace talvence
