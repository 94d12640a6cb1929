#include "filters/BaseClass/QueuedTransformInput.h"

#include "platform/media/EventCodes.h"

#include <pthread.h>

#include <algorithm>
#include <utility>

namespace talvence {

namespace {
// The pin whose worker this thread is, if any.
thread_local const TBCQueuedTransformInputPin* tWorkerOf = nullptr;
} // namespace

TBCQueuedTransformInputPin::TBCQueuedTransformInputPin(std::string objectName,
                                                       TBCTransformFilter* filter,
                                                       std::string pinName, std::size_t capacity)
    : TBCTransformInputPin(std::move(objectName), filter, std::move(pinName)),
      capacity_(std::max<std::size_t>(capacity, 1)) {}

TBCQueuedTransformInputPin::~TBCQueuedTransformInputPin() {
    // A filter is stopped before it goes; this only guards against a worker left running, and
    // must not reach the output pin, which may be gone already.
    {
        std::lock_guard lock(lock_);
        open_ = false;
        jobs_.clear();
        changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
}

std::deque<TBCQueuedTransformInputPin::Job> TBCQueuedTransformInputPin::TakeAll() {
    std::deque<Job> taken;
    taken.swap(jobs_);
    changed_.notify_all();
    return taken;
}

HRESULT TBCQueuedTransformInputPin::Push(Job job) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] {
        return !open_ || dropping_ || FAILED(failure_) || FAILED(refused_) ||
               jobs_.size() < capacity_;
    });
    if (FAILED(failure_)) return failure_;
    if (FAILED(refused_)) return refused_;
    if (!open_) return VFW_E_WRONG_STATE;
    if (dropping_) return S_FALSE;
    jobs_.push_back(std::move(job));
    mostQueued_ = std::max(mostQueued_, jobs_.size());
    changed_.notify_all();
    return S_OK;
}

HRESULT TBCQueuedTransformInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    // Refused at once when the transform would refuse it (stopped, flushing, failed).
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    // A type the transform refuses is refused here, as the framework's input does, but the
    // stream ends and the graph hears of it behind the samples already queued.
    AM_MEDIA_TYPE* raw = nullptr;
    const bool changesType = sample->GetMediaType(&raw) == S_OK && raw;
    if (changesType) {
        const CMediaType changed(*raw);
        DeleteMediaType(raw);
        if (CheckMediaType(&changed) != S_OK) {
            Job refusal;
            refusal.kind = JobKind::RefusedType;
            Push(std::move(refusal));
            std::lock_guard lock(lock_);
            refused_ = VFW_E_INVALIDMEDIATYPE;
            return refused_;
        }
    }
    Job job;
    job.sample = ComPtr<IMediaSample>(sample);
    job.changesType = changesType;
    return Push(std::move(job));
}

HRESULT TBCQueuedTransformInputPin::EndOfStream() {
    // The framework's own input ends the stream from the worker when it refuses a sample.
    if (tWorkerOf == this) return TBCTransformInputPin::EndOfStream();
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    Job job;
    job.kind = JobKind::EndOfStream;
    return Push(std::move(job));
}

HRESULT TBCQueuedTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                               double rate) {
    Job job;
    job.kind = JobKind::Segment;
    job.start = tStart;
    job.stop = tStop;
    job.rate = rate;
    const HRESULT hr = Push(std::move(job));
    // Outside a run the segment is recorded and passed on at once, as without a queue.
    return hr == VFW_E_WRONG_STATE ? TBCTransformInputPin::NewSegment(tStart, tStop, rate) : hr;
}

HRESULT TBCQueuedTransformInputPin::BeginFlush() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(lock_);
        dropping_ = true;
        dropped = TakeAll();
    }
    // Passed downstream, which releases a worker blocked in delivery.
    return TBCTransformInputPin::BeginFlush();
}

HRESULT TBCQueuedTransformInputPin::EndFlush() {
    {
        std::unique_lock lock(lock_);
        changed_.wait(lock, [&] { return !busy_ || !open_; });
        dropping_ = false;
        failure_ = S_OK;
        refused_ = S_OK;
        changed_.notify_all();
    }
    return TBCTransformInputPin::EndFlush();
}

HRESULT TBCQueuedTransformInputPin::Active() {
    HRESULT hr = TBCTransformInputPin::Active();
    if (FAILED(hr)) return hr;
    EndWorker(); // a worker of a run that never stopped cleanly
    {
        std::lock_guard lock(lock_);
        open_ = true;
        dropping_ = false;
        busy_ = false;
        failure_ = S_OK;
        refused_ = S_OK;
    }
    worker_ = std::thread([this] { Work(); });
    return S_OK;
}

HRESULT TBCQueuedTransformInputPin::Inactive() {
    EndWorker();
    return TBCTransformInputPin::Inactive();
}

void TBCQueuedTransformInputPin::EndWorker() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(lock_);
        open_ = false;
        dropped = TakeAll();
    }
    // A worker waiting for one of the output's buffers is released by decommitting them (the
    // stop does it anyway); one delivering finds downstream stopped, since the graph stops
    // downstream first.
    if (worker_.joinable()) {
        if (transform_->OutputPin() && transform_->OutputPin()->Allocator())
            transform_->OutputPin()->Allocator()->Decommit();
        worker_.join();
    }
}

HRESULT TBCQueuedTransformInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    if (!props) return E_POINTER;
    *props = ALLOCATOR_PROPERTIES{};
    // The queue full, one in the worker's hands and one being filled upstream.
    props->cBuffers = static_cast<long>(capacity_ + 2);
    return S_OK;
}

std::size_t TBCQueuedTransformInputPin::Queued() const {
    std::lock_guard lock(lock_);
    return jobs_.size();
}

std::size_t TBCQueuedTransformInputPin::MostQueued() const {
    std::lock_guard lock(lock_);
    return mostQueued_;
}

TBCQueuedTransformInputPin::Job* TBCQueuedTransformInputPin::Claimable() {
    if (!open_ || dropping_ || handChangesType_) return nullptr;
    for (Job& job : jobs_) {
        if (job.kind != JobKind::Sample || job.changesType) return nullptr;
        if (!job.claimed) return &job;
    }
    return nullptr;
}

ComPtr<IMediaSample> TBCQueuedTransformInputPin::ClaimWaiting() {
    std::lock_guard lock(lock_);
    Job* job = Claimable();
    if (!job) return nullptr;
    job->claimed = true;
    return job->sample;
}

bool TBCQueuedTransformInputPin::WaitClaimable(const std::atomic<bool>& quit) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return quit || !open_ || Claimable(); });
    return open_ && !quit;
}

void TBCQueuedTransformInputPin::WakeClaimers() {
    std::lock_guard lock(lock_);
    changed_.notify_all();
}

bool TBCQueuedTransformInputPin::IsWaiting(IMediaSample* sample) const {
    std::lock_guard lock(lock_);
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [&](const Job& job) { return job.sample.get() == sample; });
}

void TBCQueuedTransformInputPin::Work() {
    pthread_setname_np(pthread_self(), "queued xform");
    tWorkerOf = this;
    for (;;) {
        Job job;
        bool skip = false;
        {
            std::unique_lock lock(lock_);
            busy_ = false;
            handChangesType_ = false;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !open_ || !jobs_.empty(); });
            if (!open_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            handChangesType_ = job.changesType;
            changed_.notify_all();
            // After a failure the samples behind it are released untransformed.
            skip = job.kind == JobKind::Sample && FAILED(failure_);
        }
        HRESULT hr = S_OK;
        if (!skip) {
            switch (job.kind) {
            case JobKind::Sample:
                hr = TBCTransformInputPin::Receive(job.sample.get());
                break;
            case JobKind::EndOfStream:
                hr = TBCTransformInputPin::EndOfStream();
                break;
            case JobKind::Segment:
                hr = TBCTransformInputPin::NewSegment(job.start, job.stop, job.rate);
                break;
            case JobKind::RefusedType:
                TBCTransformInputPin::EndOfStream();
                runTimeError_ = true;
                filter_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
                break;
            }
        }
        job.sample.reset();
        // A sample refused while flushing or stopping is no failure of the stream.
        if (FAILED(hr) && hr != VFW_E_WRONG_STATE) {
            std::lock_guard lock(lock_);
            if (SUCCEEDED(failure_) && !dropping_ && open_) failure_ = hr;
        }
    }
}

} // namespace talvence
