#pragma once
// The input pin of a copying transform that works on its own thread: upstream's samples wait in
// a bounded queue, and a worker thread per run takes them in order through the transform
// (TBCTransformInputPin::Receive: the receive lock, Transform, delivery). Upstream then goes on
// with the next frame while this one is transformed, so two stages of a chain share two cores.
//
// Nothing is reordered or lost: the end of the stream and new segments wait in the same queue,
// behind the samples before them. A full queue holds upstream in Receive until the worker takes
// a sample, as a slow file would. A flush empties the queue (upstream's samples are released)
// and waits for the sample in hand; a stop empties it too and ends the worker. A failure of the
// transform or of the delivery goes back to upstream from its next Receive or EndOfStream, and
// the samples still queued behind it are released untransformed. A sample announcing a type the
// transform refuses is refused at once; the stream ends and the graph aborts behind the samples
// queued before it.
//
// Threads: upstream's streaming thread calls Receive, EndOfStream and NewSegment; the
// application thread (filter lock) Active, Inactive and the flushes; the worker runs the
// transform. The queue lock is a leaf lock, never held while calling out.

#include "filters/BaseClass/TransformFilter.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

namespace talvence {

class TBCQueuedTransformInputPin : public TBCTransformInputPin {
public:
    // capacity: samples that may wait (at least 1) besides the one being transformed.
    TBCQueuedTransformInputPin(std::string objectName, TBCTransformFilter* filter,
                               std::string pinName, std::size_t capacity);
    ~TBCQueuedTransformInputPin() override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    // Pause from stopped: starts the worker. Stop: empties the queue and ends the worker.
    HRESULT Active() override;
    HRESULT Inactive() override;
    // Asks upstream for enough buffers to fill the queue while one is transformed.
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;

    // Any thread: samples waiting now, and the most that ever waited since the filter was made.
    std::size_t Queued() const;
    std::size_t MostQueued() const;

    // Working ahead: helper threads of the transform may claim samples still waiting, in their
    // order, and work on them before the worker reaches them (the worker then finds the claimed
    // sample in Transform and takes the helper's result). Only samples of the type in force are
    // claimed: none behind a sample announcing a type change, none while the worker's own
    // sample announces one.
    //
    // The first claimable sample not claimed yet, now claimed; null when there is none.
    ComPtr<IMediaSample> ClaimWaiting();
    // Waits until a sample can be claimed; false once the run has ended (or quit is set and
    // WakeClaimers called).
    bool WaitClaimable(const std::atomic<bool>& quit);
    void WakeClaimers();
    // Whether the sample still waits in the queue (a claimed sample that does not was flushed).
    bool IsWaiting(IMediaSample* sample) const;

private:
    enum class JobKind { Sample, EndOfStream, Segment, RefusedType };
    struct Job {
        JobKind kind = JobKind::Sample;
        ComPtr<IMediaSample> sample;
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        double rate = 1.0;
        bool claimed = false;
        bool changesType = false; // a sample announcing a new type
    };
    // Queue lock held: the first claimable job not claimed, or null.
    Job* Claimable();
    // Upstream's thread: waits for room; S_OK queued, else why not.
    HRESULT Push(Job job);
    void Work();
    // Queue lock held: releases the waiting jobs (outside the lock, by the caller's swap).
    std::deque<Job> TakeAll();
    void EndWorker();

    const std::size_t capacity_;
    mutable std::mutex lock_;          // guards the members below
    std::condition_variable changed_;  // a job came or went, or the state changed
    std::deque<Job> jobs_;
    bool open_ = false;                // a run is on: the worker takes jobs
    bool dropping_ = false;            // flushing: nothing queued until EndFlush
    bool busy_ = false;                // the worker has a job in hand
    bool handChangesType_ = false;     // ... and it announces a new type
    HRESULT failure_ = S_OK;           // the first failure of the transform in the run
    HRESULT refused_ = S_OK;           // a type change refused: every later sample too
    std::size_t mostQueued_ = 0;
    std::thread worker_;               // application thread starts and joins it
};

} // namespace talvence
