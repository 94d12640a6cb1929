#pragma once
// The DV Splitter filter: interleaved DV in ("Input": MEDIATYPE_Interleaved, 'dvsd', DVINFO),
// the same frames as 'dvsd' video out ("DVVidOut0") and their audio as 16-bit PCM out
// ("AudOut00"), on the splitter core.
//
// The audio output's format comes from the input's DVINFO (16-bit stereo at its rate) and is
// kept for the whole connection; a DVINFO without a usable audio source pack leaves the audio
// output without a type, so it cannot connect. Audio is continuous: every frame delivers exactly its share of samples and the
// audio times run on from one sample to the next, rebased only where the input marks a
// discontinuity. A frame whose audio has another rate than the connection's, or none at all,
// delivers silence for its share, so picture and sound stay in step.
//
// A sample that is not a whole frame of the connected system (truncated, oversized, the other
// system) is dropped on both outputs and counted; the stream goes on. A control sample goes on
// untouched on both outputs.
//
// Locks: the filter lock (connections, states), then the receive lock (each frame, on the
// upstream's streaming thread; delivery to both outputs happens under it).

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/dv/DvSplitterCore.h"

#include <atomic>
#include <memory>
#include <optional>

namespace talvence {

class TDvSplitter;

class TDvSplitterInputPin : public TBCBaseInputPin {
public:
    explicit TDvSplitterInputPin(TDvSplitter* filter);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Streaming thread.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    // Application thread.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TDvSplitter* splitter_;
};

class TDvSplitterOutputPin : public TBCBaseOutputPin {
public:
    enum class Kind { Video, Audio };
    TDvSplitterOutputPin(TDvSplitter* filter, Kind kind);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    TDvSplitter* splitter_;
    Kind kind_;
};

class TDvSplitter : public TBCBaseFilter {
public:
    TDvSplitter();
    ~TDvSplitter() override;

    int GetPinCount() override { return 3; }
    TBCBasePin* GetPin(int index) override;

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // Any thread: counters since the filter was made.
    long FramesRefused() const { return refused_; }
    long SilentFrames() const { return silent_; }

    // The output types that the input type gives; nothing when it gives none.
    static std::optional<CMediaType> VideoTypeFor(const CMediaType& input);
    static std::optional<CMediaType> AudioTypeFor(const CMediaType& input);

private:
    friend class TDvSplitterInputPin;
    friend class TDvSplitterOutputPin;

    // Streaming thread, receive lock.
    HRESULT Process(IMediaSample* sample);
    HRESULT DeliverVideo(IMediaSample* in, const AM_SAMPLE2_PROPERTIES& props);
    HRESULT DeliverAudio(const dvcodec::DvSplitResult& split, const AM_SAMPLE2_PROPERTIES& props);
    void ResetStream(); // receive lock

    TBCCritSec csFilter_;  // the filter lock
    TBCCritSec csReceive_; // the receive lock
    TDvSplitterInputPin input_;
    TDvSplitterOutputPin video_;
    TDvSplitterOutputPin audio_;

    // Receive lock.
    dvcodec::DvSplitterCore core_;
    std::uint64_t frameIndex_ = 0; // frames since the audio timeline was (re)based
    std::uint64_t samplesOut_ = 0; // audio samples delivered since then
    REFERENCE_TIME audioBase_ = 0; // stream time of the timeline's first sample
    bool timelineStarted_ = false;
    std::vector<std::uint8_t> silence_;

    bool eosDelivered_ = false; // filter lock: end of stream given for an unconnected input
    std::atomic<long> refused_{0};
    std::atomic<long> silent_{0};
};

} // namespace talvence
