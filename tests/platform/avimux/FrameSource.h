#pragma once
// A push source for the AVI filter tests: delivers given frames (real DV frames, PCM blocks,
// pictures) with a given media type, then ends the stream or waits for the stop. It can stamp
// media times the way the image-by-image frame gate does, with wide gaps in the stream times
// between frames, and run a check right after it has stopped (it stops after everything
// downstream of it).

#include "filters/BaseClass/SourceFilter.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace talvence::testing {

inline constexpr GUID CLSID_TFrameSource = MakeGuid("EC79BB80-AADA-492F-9AD7-8B2B095E723D");

class TFrameSource;

class TFrameSourceStream : public TBCSourceStream {
public:
    explicit TFrameSourceStream(TFrameSource* filter);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT Deliver(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;

private:
    TFrameSource* source_;
    std::size_t next_ = 0;
};

class TFrameSource : public TBCSource {
public:
    TFrameSource(CMediaType type, std::vector<std::vector<std::uint8_t>> frames);

    IPin* OutputPin() { return GetPin(0); }
    HRESULT Pause() override;
    HRESULT Stop() override;

    // Settings (test thread, while stopped).
    CMediaType mediaType;
    std::vector<std::vector<std::uint8_t>> frames;
    REFERENCE_TIME frameTime = 400000;
    bool endOfStream = true;      // after the last frame; false: wait for the stop
    bool repeat = false;          // start again from the first frame, until the stop
    bool stampMediaTimes = false; // media times (n, n + 1), stream times 10 s apart
    long changeTypeAt = -1;       // index of the sample that announces changedType
    CMediaType changedType;
    std::function<void()> afterStop;

    // Any thread; restarted by each run.
    std::atomic<long> delivered{0};
    std::atomic<HRESULT> lastDeliverResult{S_OK};

    // Bounded wait (test thread): false when the time runs out.
    bool WaitForDelivered(long count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
};

} // namespace talvence::testing
