#pragma once

// The test source and sink built on the framework, for the tests of the framework and of every
// filter: a source that sends buffers of a given media type with given times and flags, and a
// sink that records what crosses its pin.
//
// The source feeds in one of three ways:
//   - counting (the default): sampleLimit samples of sampleSize bytes, each filled with its index;
//   - a list (SetFrames, or the constructor with buffers): the frames given, one a sample, then
//     the end of the stream (or, with holdAtEnd, nothing more until the stop; with repeat, the
//     list again, its times following on);
//   - a queue (feed = Feed::Queue): the frames the test pushes while it runs, one at a time;
//     End() ends the stream. This gates the stream: a test interleaves its own steps with it.
// Counted samples are stamped index × frameTime, lasting frameTime, and are sync points; listed
// and queued frames carry exactly the properties given (TimedFrames stamps a list the counting
// way).
//
// The sink records each sample (length, first byte, with keepBytes all its bytes; times, flags, a
// type it announces), ends of stream and flushes. It accepts a given set of types, can hold the
// samples (so upstream runs out of buffers), shut its gate (so deliveries wait at the pin), refuse
// allocators other than its own, and report EC_COMPLETE at the end of the stream as a renderer
// does.
//
// Threads: configure on the test thread while stopped. Push, End, Shut and Open are for the test
// thread at any time. The counters are atomics; the queue is guarded by the source's queue mutex
// and the records by the sink's record mutex, so the test thread reads them while streaming. The
// streaming-thread hooks run without those mutexes (afterSample under the sink's receive lock).

#include "filters/BaseClass/SourceFilter.h"
#include "platform/media/SampleSideData.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace talvence {

inline constexpr GUID CLSID_TCountingSource = MakeGuid("5B0D4C1E-7F21-4C8A-9E63-2A1B7C0D9E01");
inline constexpr GUID CLSID_TCountingSink = MakeGuid("5B0D4C1E-7F21-4C8A-9E63-2A1B7C0D9E02");

// RGB24 320x240 with a VIDEOINFOHEADER: the type the counting filters use unless told otherwise.
CMediaType MakeTestVideoType(LONG width = 320, LONG height = 240,
                             REFERENCE_TIME frameTime = 400000);

using TypeTest = std::function<bool(const CMediaType&)>;
// Exactly this major type and subtype.
TypeTest Accepting(const GUID& major, const GUID& subtype);
// Every type.
TypeTest AcceptingAny();

// One buffer for the source to send, with the properties its sample carries.
struct TTestFrame {
    std::vector<BYTE> bytes;
    std::optional<REFERENCE_TIME> start; // none: the sample carries no times
    std::optional<REFERENCE_TIME> stop;  // none with a start: the start alone
    std::optional<std::pair<LONGLONG, LONGLONG>> mediaTimes;
    bool syncPoint = false;
    bool discontinuity = false;
    std::optional<CMediaType> newType; // announced by the sample
};

// The buffers as frames stamped the counting way: index × frameTime, lasting frameTime, each a
// sync point.
std::vector<TTestFrame> TimedFrames(std::vector<std::vector<BYTE>> buffers,
                                    REFERENCE_TIME frameTime = 400000);

class TCountingSource;

class TCountingSourceStream : public TBCSourceStream {
public:
    explicit TCountingSourceStream(TCountingSource* filter);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT Deliver(IMediaSample* sample) override;

private:
    // Streaming thread: the next frame of the list or the queue; none ends the stream.
    std::optional<TTestFrame> NextListed(long index);
    std::optional<TTestFrame> NextQueued();
    // Streaming thread: true once the stop came (false: the time ran out).
    bool WaitForStop();

    TCountingSource* source_;
};

class TCountingSource : public TBCSource {
public:
    enum class Feed { Counting, List, Queue };

    TCountingSource();
    // A list of these buffers, stamped index × frameTime.
    TCountingSource(CMediaType type, std::vector<std::vector<BYTE>> buffers,
                    REFERENCE_TIME frameTime = 400000);

    IPin* OutputPin() { return GetPin(0); }

    // Application thread: a run from stopped restarts the counters here, before the streaming
    // thread exists, so a wait never sees the last run's; the stop runs afterStop once it is
    // done (after everything downstream has stopped).
    HRESULT Pause() override;
    HRESULT Stop() override;

    // Settings (test thread, while stopped).
    Feed feed = Feed::Counting;
    CMediaType mediaType = MakeTestVideoType();
    TypeTest accept; // the output types it takes; null: mediaType, or changedType once set
    long bufferCount = 2;
    long bufferSize = 0; // 0: sampleSize when counting, else the largest listed frame
    REFERENCE_TIME frameTime = 400000;
    long sampleSize = 1024;         // counting
    long sampleLimit = -1;          // samples before the end of the stream; -1: no limit
    std::vector<TTestFrame> frames; // Feed::List
    bool repeat = false;            // Feed::List: the list again after its last frame
    bool holdAtEnd = false;         // after the last sample, wait for the stop
    long typeChangeAt = -1;         // index of the sample that announces changedType
    CMediaType changedType;
    long controlSampleAt = -1; // index of a sample marked as a control sample
    HRESULT failWith = S_OK;   // returned by FillBuffer from failAt on
    long failAt = -1;
    std::function<void(long index)> beforeDeliver; // streaming thread, before each delivery
    std::function<void()> afterStop;               // application thread, after each stop

    // Test thread: lists these frames (Feed::List).
    void SetFrames(std::vector<TTestFrame> list);
    // Test thread, any time (Feed::Queue): the next frame to send / the end of the stream.
    void Push(TTestFrame frame);
    void End();

    // Counters (any thread), restarted by each run.
    std::atomic<long> filled{0};
    std::atomic<long> delivered{0}; // accepted downstream (S_OK)
    std::atomic<HRESULT> lastDeliverResult{S_OK};
    // Bounded wait (test thread): false when the time runs out.
    bool WaitForDelivered(long count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    friend class TCountingSourceStream;

    std::mutex queueMutex_;
    std::condition_variable queued_;
    std::deque<std::optional<TTestFrame>> queue_; // queueMutex_; an empty entry ends the stream
};

class TCountingSink;

class TCountingInputPin : public TBCBaseInputPin {
public:
    explicit TCountingInputPin(TCountingSink* filter);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TCountingSink* sink_;
};

// What the sink saw of one sample.
struct TReceivedSample {
    long length = 0;
    BYTE firstByte = 0;
    std::vector<BYTE> bytes; // with keepBytes only
    bool hasTime = false;    // a start time
    bool hasStop = false;    // and a stop time
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0; // start + 1 without a stop time
    bool hasMediaTime = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    bool typeChanged = false;
    std::optional<CMediaType> newType; // the type the sample announced
    DWORD streamId = AM_STREAM_MEDIA;
    IMediaSample* identity = nullptr; // for "same sample object" checks only; not a reference
    std::shared_ptr<const PictureOrigin> origin; // the picture origin the sample carried
};

class TCountingSink : public TBCBaseFilter, public IBasicAudio {
public:
    TCountingSink();
    ~TCountingSink() override;
    // A sink of these types that keeps the bytes of every sample.
    static ComPtr<TCountingSink> Recording(TypeTest accept);

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;
    IPin* InputPin() { return &input_; }
    // The connection's type (application thread).
    const CMediaType& InputType() const { return input_.CurrentMediaType(); }

    // Application thread: opens the gate first, as a renderer's stop releases a waiting delivery.
    HRESULT Stop() override;

    // IBasicAudio: records what the graph sets (only when audio is enabled).
    HRESULT put_Volume(long volume) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Balance(long balance) override;
    HRESULT get_Balance(long* balance) override;

    // Settings (test thread, while stopped).
    TypeTest accept;                      // null: accepts video RGB24 and RGB32
    bool keepBytes = false;               // record every byte of each sample
    std::atomic<bool> holdSamples{false}; // keep every sample (upstream's pool runs dry); any time
    bool ownAllocatorOnly = false;        // refuse allocators other than the one GetAllocator made
    ALLOCATOR_PROPERTIES requirements;    // cBuffers 0: none
    bool audio = false;                   // answer IBasicAudio
    bool reportComplete = false;          // post EC_COMPLETE at end of stream, as renderers do
    // Streaming thread: called after each sample is recorded, with how many there are now.
    std::function<void(std::size_t)> afterSample;

    // The gate (test thread, any time): while shut, deliveries wait at the pin (bounded).
    void Shut();
    void Open();
    // True once a delivery is waiting at the shut gate; false when the time runs out.
    bool WaitForWaiter(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Records (any thread).
    std::atomic<long> received{0};
    std::atomic<long> endOfStreams{0};
    std::atomic<long> beginFlushes{0};
    std::atomic<long> endFlushes{0};
    std::atomic<long> volume{0};
    std::atomic<bool> lastReadOnly{false};
    std::vector<TReceivedSample> Samples() const;
    // Every kept byte, the samples one after another.
    std::vector<BYTE> AllBytes() const;
    void ReleaseHeldSamples();
    // Bounded waits: false when the time runs out (the test then fails instead of hanging).
    bool WaitForSamples(long count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool WaitForEndOfStream(long count = 1,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    friend class TCountingInputPin;
    void WaitAtGate();
    void Record(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    void Signal();

    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // taken for each sample, after the filter lock
    TCountingInputPin input_;
    IMemAllocator* madeAllocator_ = nullptr; // not owned: identity of the allocator we offered

    mutable std::mutex recordMutex_;
    std::condition_variable recorded_;
    std::vector<TReceivedSample> samples_;   // recordMutex_
    std::vector<ComPtr<IMediaSample>> held_; // recordMutex_
    bool shut_ = false;                      // recordMutex_
    int waiting_ = 0;                        // recordMutex_: deliveries at the shut gate
    long balance_ = 0;
};

} // namespace talvence
