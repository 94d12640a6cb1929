#pragma once
// Test filters for the DV and colour filters: a source that pushes given buffers with a given
// media type, and a sink that keeps the bytes and times of everything it receives.

#include "filters/BaseClass/SourceFilter.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace talvence::dvtest {

using Bytes = std::vector<std::uint8_t>;

inline constexpr GUID CLSID_TBufferSource = MakeGuid("9C1E7A20-4B3D-4E8F-A1C2-3D4E5F607181");
inline constexpr GUID CLSID_TRecordingSink = MakeGuid("9C1E7A20-4B3D-4E8F-A1C2-3D4E5F607182");

class TBufferSource;

class TBufferSourceStream : public TBCSourceStream {
public:
    explicit TBufferSourceStream(TBufferSource* filter);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;

private:
    TBufferSource* source_;
    std::size_t next_ = 0;
};

// Pushes `buffers` one sample each, stamped i × frameTime, then ends the stream.
class TBufferSource : public TBCSource {
public:
    TBufferSource(CMediaType type, std::vector<Bytes> buffers, REFERENCE_TIME frameTime = 400000);
    IPin* OutputPin() { return GetPin(0); }

    CMediaType type;
    std::vector<Bytes> buffers;
    REFERENCE_TIME frameTime;
};

struct TRecord {
    Bytes bytes;
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool discontinuity = false;
};

class TRecordingSink;

class TRecordingPin : public TBCBaseInputPin {
public:
    explicit TRecordingPin(TRecordingSink* filter);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TRecordingSink* sink_;
};

class TRecordingSink : public TBCBaseFilter {
public:
    explicit TRecordingSink(std::function<bool(const CMediaType&)> accept);
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override { return index == 0 ? &input_ : nullptr; }
    IPin* InputPin() { return &input_; }

    std::vector<TRecord> Records() const;
    Bytes AllBytes() const;
    long EndOfStreams() const;
    // Bounded: false when the time runs out.
    bool WaitForEndOfStream(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    std::function<bool(const CMediaType&)> accept;
    // Streaming thread: called after each sample is recorded, with how many there are now.
    std::function<void(std::size_t)> afterSample;

private:
    friend class TRecordingPin;
    TBCCritSec filterLock_;
    TBCCritSec receiveLock_;
    TRecordingPin input_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TRecord> records_; // mutex_
    long endOfStreams_ = 0;        // mutex_
};

// Accepts exactly this major type and subtype.
std::function<bool(const CMediaType&)> Accepting(const GUID& major, const GUID& sub);

// Every queued event code with its first parameter.
std::vector<std::pair<long, LONG_PTR>> DrainEvents(CFilterGraph* graph);
long CountEvents(const std::vector<std::pair<long, LONG_PTR>>& events, long code);

// The filter a pin belongs to, and the name the graph gave it.
std::string FilterNameOf(IPin* pin);
// Pin by its id.
ComPtr<IPin> PinOf(IBaseFilter* filter, const std::string& id);

// Runs the graph until every given sink saw end of stream, then stops it; false on time-out.
bool RunToEnd(CFilterGraph* graph, std::vector<TRecordingSink*> sinks);

// The byte ranges of a DV frame that hold audio blocks (3-byte id, 5-byte pack, 72 samples).
bool InAudioBlock(std::size_t offset);

} // namespace talvence::dvtest
