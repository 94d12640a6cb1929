#pragma once
// Frame-parallel DV encoding for the DV Video Encoder filter. The filter's worker takes the
// pictures in their order; meanwhile encoding lanes, each a thread with its own codec, claim
// pictures still waiting in the worker's queue and code them. The worker then takes those
// frames ready-made, in order, and codes itself only the pictures no lane claimed in time. Whole
// frames coded side by side on one core each cost less than one frame split into slices that
// wait for each other every frame, and keep every core busy when the encoder is the slowest
// stage.
//
// A lane that has coded a picture claims the next at once, whatever the worker is waiting for:
// the frames wait for the worker, never the lanes.
//
// Threads: the filter's worker calls SetFormat and Take; each lane codes on its own thread.
// The jobs are guarded by the object's lock, taken before the queue's.

#include "filters/BaseClass/QueuedTransformInput.h"
#include "platform/media/Interfaces.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvVideoEncoderCore.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace talvence {

// Codes the picture of one sample (its bytes, in `format`) into out, from its origin when it
// carries one. BadInput when the sample has no picture.
dvcodec::DvEncodeResult EncodeSampleInto(dvcodec::DvVideoEncoderCore& core, IMediaSample* in,
                                         const dvcodec::PictureFormat& format,
                                         std::span<std::uint8_t> out);

class DvEncodeLanes {
public:
    using MakeCore = std::function<std::unique_ptr<dvcodec::DvVideoEncoderCore>()>;
    // Starts `lanes` threads claiming from the queue, which must outlive this object, as must
    // `coded`, which counts the frames the lanes code.
    DvEncodeLanes(TBCQueuedTransformInputPin& queue, std::size_t lanes, const MakeCore& make,
                  std::atomic<long>& coded);
    // Waits for the frames in hand and ends the lanes; their samples are released.
    ~DvEncodeLanes();
    DvEncodeLanes(const DvEncodeLanes&) = delete;
    DvEncodeLanes& operator=(const DvEncodeLanes&) = delete;

    // The lanes, and the worker that takes their frames, give way to the source's thread: a
    // picture waiting in the queue costs nothing, while a source held up on a busy CPU leaves
    // the lanes without work and a CPU idle. For the calling thread.
    static void GiveWayToTheSource();

    // The format of the samples the worker is taking now: the lanes code claimed samples in it
    // (the queue lets none be claimed across a type change). Nothing is claimed before it is set.
    void SetFormat(const dvcodec::PictureFormat& format);
    // When a lane claimed `in`: waits for its frame, copies it into out and gives its result.
    // Nothing when no lane did; the worker codes it. Samples claimed but flushed since are let
    // go here.
    std::optional<dvcodec::DvEncodeResult> Take(IMediaSample* in, std::span<std::uint8_t> out);

private:
    // A claimed sample and its frame: in claim order, which is the queue's.
    struct Job {
        ComPtr<IMediaSample> sample;
        bool done = false; // lock_: its frame is ready
        dvcodec::DvEncodeResult result{};
        std::vector<std::uint8_t> frame;
    };
    struct Lane {
        std::unique_ptr<dvcodec::DvVideoEncoderCore> core;
        std::thread thread;
    };
    void Run(Lane& lane);

    TBCQueuedTransformInputPin& queue_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::optional<dvcodec::PictureFormat> format_; // lock_
    std::list<std::unique_ptr<Job>> jobs_;         // lock_: iterators stay valid as lanes add
    std::vector<std::vector<std::uint8_t>> spare_; // lock_: frame buffers of jobs taken
    std::atomic<bool> quit_{false};
    std::atomic<long>& coded_;
    std::vector<std::unique_ptr<Lane>> lanes_;
};

} // namespace talvence
