#include "platform/media/filters/dv/DvEncodeLanes.h"

#include "filters/BaseClass/SampleCopy.h"

#include <pthread.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace talvence {

using namespace dvcodec;

namespace {
constexpr int kLaneNice = 5; // five steps down: a third of the weight
} // namespace

DvEncodeResult EncodeSampleInto(DvVideoEncoderCore& core, IMediaSample* in,
                                const PictureFormat& format, std::span<std::uint8_t> out) {
    BYTE* src = nullptr;
    in->GetPointer(&src);
    const long length = in->GetActualDataLength();
    if (!src || length <= 0) return {DvEncodeStatus::BadInput, 0};
    // A picture that says which frame it was decoded from and what changed since is coded
    // segment by segment from that frame.
    const std::shared_ptr<const PictureOrigin> origin = PictureOriginOf(in);
    return core.Encode(std::span<const std::uint8_t>(src, std::size_t(length)), format.layout,
                       format.width, format.height, out, origin.get());
}

void DvEncodeLanes::GiveWayToTheSource() {
    // Below the priority the thread had (the source's, as the worker was made by the graph's
    // thread). Lowering one's own priority needs no privilege; if refused, it runs as it is.
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (errno != 0) return;
    setpriority(PRIO_PROCESS, self, std::min(now + kLaneNice, 19));
}

DvEncodeLanes::DvEncodeLanes(TBCQueuedTransformInputPin& queue, std::size_t lanes,
                             const MakeCore& make, std::atomic<long>& coded)
    : queue_(queue), coded_(coded) {
    for (std::size_t i = 0; i < lanes; ++i) {
        auto lane = std::make_unique<Lane>();
        lane->core = make();
        lanes_.push_back(std::move(lane));
    }
    for (auto& lane : lanes_)
        lane->thread = std::thread([this, l = lane.get()] { Run(*l); });
}

DvEncodeLanes::~DvEncodeLanes() {
    {
        std::lock_guard lock(lock_);
        quit_ = true;
        changed_.notify_all();
    }
    queue_.WakeClaimers();
    for (auto& lane : lanes_)
        lane->thread.join();
}

void DvEncodeLanes::SetFormat(const PictureFormat& format) {
    std::lock_guard lock(lock_);
    const bool first = !format_;
    format_ = format;
    if (first) changed_.notify_all();
}

std::optional<DvEncodeResult> DvEncodeLanes::Take(IMediaSample* in, std::span<std::uint8_t> out) {
    std::vector<ComPtr<IMediaSample>> released; // let go outside the lock
    std::optional<DvEncodeResult> result;
    {
        std::unique_lock lock(lock_);
        auto retire = [&](std::list<std::unique_ptr<Job>>::iterator at) {
            released.push_back(std::move((*at)->sample));
            spare_.push_back(std::move((*at)->frame));
            return jobs_.erase(at);
        };
        for (auto at = jobs_.begin(); at != jobs_.end();) {
            Job& job = **at;
            if (job.sample.get() == in) {
                changed_.wait(lock, [&] { return job.done; });
                result = job.result;
                if (result->status == DvEncodeStatus::Ok) {
                    if (out.size() < result->bytes)
                        result = DvEncodeResult{DvEncodeStatus::BadOutput, 0};
                    else
                        std::copy_n(job.frame.data(), result->bytes, out.data());
                }
                retire(at);
                break;
            }
            if (queue_.IsWaiting(job.sample.get())) {
                ++at;
                continue;
            }
            // Claimed, then flushed before its turn: its frame goes once coded.
            changed_.wait(lock, [&] { return job.done; });
            at = retire(at);
        }
    }
    return result;
}

void DvEncodeLanes::Run(Lane& lane) {
    GiveWayToTheSource();
    pthread_setname_np(pthread_self(), "dv encode lane");
    for (;;) {
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return quit_ || format_.has_value(); });
            if (quit_) return;
        }
        if (!queue_.WaitClaimable(quit_)) {
            // The run has ended: nothing more will come before the lanes are ended.
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return quit_.load(); });
            return;
        }
        Job* job = nullptr;
        PictureFormat format;
        {
            std::lock_guard lock(lock_);
            if (quit_) return;
            ComPtr<IMediaSample> claimed = queue_.ClaimWaiting();
            if (!claimed) continue; // the worker or another lane was first
            auto fresh = std::make_unique<Job>();
            fresh->sample = std::move(claimed);
            if (!spare_.empty()) {
                fresh->frame = std::move(spare_.back());
                spare_.pop_back();
            }
            job = fresh.get();
            jobs_.push_back(std::move(fresh));
            format = *format_;
        }
        // The job stays in jobs_ until it is done: only the worker retires it, after that.
        if (job->frame.size() < lane.core->frameBytes()) job->frame.resize(lane.core->frameBytes());
        const DvEncodeResult result =
            EncodeSampleInto(*lane.core, job->sample.get(), format, job->frame);
        ++coded_;
        std::lock_guard lock(lock_);
        job->result = result;
        job->done = true;
        changed_.notify_all();
    }
}

} // namespace talvence
