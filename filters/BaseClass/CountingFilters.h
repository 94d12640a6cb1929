#pragma once

// A counting source and a counting sink built on the framework, for contract tests of the
// framework and of every filter built on it. Both record what crossed their pins; the sink can
// hold on to samples (so upstream runs out of buffers) and can refuse foreign allocators.
//
// Threads: configure on the test thread while stopped; the counters are atomic and the recorded
// samples are guarded by the sink's own mutex, so the test thread reads them while streaming.

#include "filters/BaseClass/SourceFilter.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace talvence {

inline constexpr GUID CLSID_TCountingSource = MakeGuid("5B0D4C1E-7F21-4C8A-9E63-2A1B7C0D9E01");
inline constexpr GUID CLSID_TCountingSink = MakeGuid("5B0D4C1E-7F21-4C8A-9E63-2A1B7C0D9E02");

// RGB24 320x240 with a VIDEOINFOHEADER: the type the counting filters use unless told otherwise.
CMediaType MakeTestVideoType(LONG width = 320, LONG height = 240,
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
    HRESULT OnThreadCreate() override;

private:
    TCountingSource* source_;
};

class TCountingSource : public TBCSource {
public:
    TCountingSource();

    IPin* OutputPin() { return GetPin(0); }

    // Settings (test thread, while stopped).
    CMediaType mediaType = MakeTestVideoType();
    long sampleSize = 1024;
    long bufferCount = 2;
    long sampleLimit = -1; // samples before end of stream; -1: endless
    REFERENCE_TIME frameTime = 400000;
    long typeChangeAt = -1; // index of the sample that announces changedType
    CMediaType changedType;
    long controlSampleAt = -1; // index of a sample marked as a control sample
    HRESULT failWith = S_OK;   // returned by FillBuffer from failAt on
    long failAt = -1;

    // Counters (any thread), restarted by each run.
    std::atomic<long> filled{0};
    std::atomic<long> delivered{0};
    std::atomic<HRESULT> lastDeliverResult{S_OK};

    friend class TCountingSourceStream;
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
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool typeChanged = false;
    DWORD streamId = AM_STREAM_MEDIA;
    IMediaSample* identity = nullptr; // for "same sample object" checks only; not a reference
};

class TCountingSink : public TBCBaseFilter, public IBasicAudio {
public:
    TCountingSink();
    ~TCountingSink() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;
    IPin* InputPin() { return &input_; }

    // IBasicAudio: records what the graph sets (only when audio is enabled).
    HRESULT put_Volume(long volume) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Balance(long balance) override;
    HRESULT get_Balance(long* balance) override;

    // Settings (test thread, while stopped).
    std::function<bool(const CMediaType&)> accept; // null: accepts video RGB24 and RGB32
    bool holdSamples = false;          // keep every received sample (upstream's pool runs dry)
    bool ownAllocatorOnly = false;     // refuse allocators other than the one GetAllocator made
    ALLOCATOR_PROPERTIES requirements; // cBuffers 0: none
    bool audio = false;                // answer IBasicAudio
    bool reportComplete = false;       // post EC_COMPLETE at end of stream, as renderers do

    // Records (any thread).
    std::atomic<long> received{0};
    std::atomic<long> endOfStreams{0};
    std::atomic<long> beginFlushes{0};
    std::atomic<long> endFlushes{0};
    std::atomic<long> volume{0};
    std::atomic<bool> lastReadOnly{false};
    std::vector<TReceivedSample> Samples() const;
    void ReleaseHeldSamples();
    // Bounded waits: false when the time runs out (the test then fails instead of hanging).
    bool WaitForSamples(long count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool WaitForEndOfStream(long count = 1,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    friend class TCountingInputPin;
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
    long balance_ = 0;
};

} // namespace talvence
