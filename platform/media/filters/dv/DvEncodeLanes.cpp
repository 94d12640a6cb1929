#include "platform/media/filters/dv/DvEncodeLanes.h"

#include "filters/BaseClass/SampleCopy.h"

#include <pthread.h>

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace talvence {

using namespace dvcodec;

namespace {
constexpr int kLaneNice = 5; // a lane's weight is a third of a normal thread's
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

DvEncodeLanes::DvEncodeLanes(TBCQueuedTransformInputPin& queue, std::size_t lanes,
                             const MakeCore& make, std::atomic<long>& coded)
    : queue_(queue), coded_(coded) {
    for (std::size_t i = 0; i < lanes; ++i) {
        auto lane = std::make_unique<Lane>();
        lane->core = make();
        lane->frame.resize(lane->core->frameBytes());
        lanes_.push_back(std::move(lane));
    }
    for (auto& lane : lanes_) lane->thread = std::thread([this, l = lane.get()] { Run(*l); });
}

DvEncodeLanes::~DvEncodeLanes() {
    {
        std::lock_guard lock(lock_);
        quit_ = true;
        changed_.notify_all();
    }
    queue_.WakeClaimers();
    for (auto& lane : lanes_) lane->thread.join();
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
        Lane* mine = nullptr;
        for (auto& lane : lanes_) {
            if (!lane->held) continue;
            if (lane->held.get() == in) {
                mine = lane.get();
            } else if (!queue_.IsWaiting(lane->held.get())) {
                // Claimed, then flushed before its turn.
                changed_.wait(lock, [&] { return lane->done; });
                released.push_back(std::move(lane->held));
                lane->done = false;
                changed_.notify_all();
            }
        }
        if (mine) {
            changed_.wait(lock, [&] { return mine->done; });
            result = mine->result;
            if (result->status == DvEncodeStatus::Ok) {
                if (out.size() < result->bytes)
                    result = DvEncodeResult{DvEncodeStatus::BadOutput, 0};
                else
                    std::copy_n(mine->frame.data(), result->bytes, out.data());
            }
            released.push_back(std::move(mine->held));
            mine->done = false;
            changed_.notify_all();
        }
    }
    return result;
}

void DvEncodeLanes::Run(Lane& lane) {
    pthread_setname_np(pthread_self(), "dv encode lane");
    // The lanes give way to the source's thread and the worker: a picture waiting in the queue
    // costs nothing, while a source held up on a busy CPU leaves the lanes without work and a
    // CPU idle. Lowering one's own priority needs no privilege; if refused, the lane runs as is.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kLaneNice);
    for (;;) {
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return quit_ || (!lane.held && format_); });
            if (quit_) return;
        }
        if (!queue_.WaitClaimable(quit_)) {
            // The run has ended: nothing more will come before the lanes are ended.
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return quit_.load(); });
            return;
        }
        IMediaSample* job = nullptr;
        PictureFormat format;
        {
            std::lock_guard lock(lock_);
            if (quit_) return;
            ComPtr<IMediaSample> claimed = queue_.ClaimWaiting();
            if (!claimed) continue; // the worker or another lane was first
            lane.held = std::move(claimed);
            lane.done = false;
            job = lane.held.get();
            format = *format_;
        }
        const DvEncodeResult result = EncodeSampleInto(*lane.core, job, format, lane.frame);
        ++coded_;
        std::lock_guard lock(lock_);
        lane.result = result;
        lane.done = true;
        changed_.notify_all();
    }
}

} // namespace talvence
