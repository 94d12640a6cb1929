#pragma once
// A source that pushes exactly the frames a test queues, a sink that keeps a copy of every
// sample it receives, and a graph holding them around the filters under test. Frames go out
// one at a time as the test queues them, so a test can interleave its own steps with the
// stream; every wait is bounded and fails the test instead of hanging.
//
// Threads: configure on the test thread while stopped; Push, End and the sink's records are
// safe from the test thread while the graph runs.

#include "filters/BaseClass/SourceFilter.h"
#include "platform/media/FilterGraph.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace talvence::testgraph {

inline constexpr GUID CLSID_TFrameSource = MakeGuid("8C1F3A52-4D0B-4E7A-9B61-3F2D5A7C9E11");
inline constexpr GUID CLSID_TFrameSink = MakeGuid("8C1F3A52-4D0B-4E7A-9B61-3F2D5A7C9E12");

// Raw DV with a DVINFO block: video 'dvsd' (type 2) or interleaved 'dvsd' (type 1).
CMediaType MakeDvType(bool interleaved, bool pal = true);

struct QueuedFrame {
    std::vector<std::uint8_t> bytes;
    std::optional<REFERENCE_TIME> start; // none: the sample carries no times
    std::optional<REFERENCE_TIME> stop;
    bool syncPoint = false;
    bool discontinuity = false;
    std::optional<CMediaType> newType; // announced by the sample
};

class TFrameSource;

class TFrameSourceStream : public TBCSourceStream {
public:
    explicit TFrameSourceStream(TFrameSource* filter);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT Deliver(IMediaSample* sample) override;

private:
    TFrameSource* source_;
};

class TFrameSource : public TBCSource {
public:
    TFrameSource();
    IPin* OutputPin() { return GetPin(0); }

    // Settings (test thread, while stopped).
    CMediaType mediaType;
    long bufferSize = 144000;
    long bufferCount = 3;

    // Test thread: the next frame to send / the end of the stream.
    void Push(QueuedFrame frame);
    void End();
    // Frames handed downstream and answered, over the source's life: a dropped frame shows here
    // although no sink sees it (delivery is a synchronous call). False when the time runs out.
    long Delivered() const { return delivered_.load(); }
    bool WaitForDelivered(long count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    friend class TFrameSourceStream;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::optional<QueuedFrame>> queue_; // mutex_; an empty entry ends the stream
    std::atomic<long> delivered_{0};
};

// What the sink saw of one sample.
struct SeenSample {
    std::vector<std::uint8_t> bytes;
    bool hasStart = false;
    bool hasStop = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool hasMediaTime = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    std::optional<CMediaType> newType;
};

class TFrameSink;

class TFrameSinkPin : public TBCBaseInputPin {
public:
    explicit TFrameSinkPin(TFrameSink* filter);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;

private:
    TFrameSink* sink_;
};

class TFrameSink : public TBCBaseFilter {
public:
    TFrameSink();
    ~TFrameSink() override;
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;
    IPin* InputPin() { return &input_; }

    // Test thread, while stopped. Null: every type.
    std::function<bool(const CMediaType&)> accept;

    std::vector<SeenSample> Samples() const;
    long EndOfStreams() const;
    // False when the time runs out.
    bool WaitForSamples(std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool WaitForEndOfStream(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    friend class TFrameSinkPin;
    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // each sample, after the filter lock
    TFrameSinkPin input_;
    mutable std::mutex recordMutex_;
    std::condition_variable recorded_;
    std::vector<SeenSample> samples_; // recordMutex_
    long endOfStreams_ = 0;           // recordMutex_
};

// source → filters... → sink in one graph.
struct FrameGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TFrameSource> source{new TFrameSource};
    ComPtr<TFrameSink> sink{new TFrameSink};

    FrameGraph();
    ~FrameGraph();

    // Adds the filters under the given names and connects source → each filter → sink.
    HRESULT Build(const std::vector<std::pair<IBaseFilter*, std::string>>& filters);
    // The graph's queued event codes with their first parameters.
    std::vector<std::pair<long, LONG_PTR>> Events();
};

// The first input and output pins of a filter.
IPin* InPin(IBaseFilter* filter);
IPin* OutPin(IBaseFilter* filter);

} // namespace talvence::testgraph
