#pragma once
// The DV Muxer filter: 'dvsd' video ("Video", input 0) and 16-bit PCM audio ("Audio", input 1:
// mono or stereo at 48000, 44100 or 32000 Hz) in, interleaved DV out ("Output": Interleaved,
// 'dvsd', DVINFO). Each video frame keeps its own bytes (header, subcode and VAUX packs, video
// blocks); its audio blocks get the audio source and control packs and the frame's share of the
// audio, shuffled as DV stores it (DvAudio's WriteAudio).
//
// Audio is taken as a continuous stream: frame k of a run carries AudioSamplesForFrame(k)
// samples. A frame waits (queued, up to kMaxPendingFrames) until its share of audio has arrived,
// so audio and video may come from different threads, or from one thread one after the other.
// A frame is completed with silence (zero samples) when the audio has ended or when too many
// frames wait; after the video's end of stream the waiting frames still wait for their audio
// (or its end), and the end of stream follows the last of them. Without a connected audio input the
// frames carry no audio ("no information" packs). Samples that are not whole frames of the
// connected system are dropped and counted. A control sample goes on untouched, at once.
//
// Locks: the filter lock (connections, states), then the delivery lock, then the receive lock.
// Both inputs take the receive lock for each sample, only to queue it and complete frames.
// The frames completed are delivered downstream in order under the delivery lock, by whichever
// input's thread finds it free (a thread that finds it taken leaves its frames to the thread
// delivering), so that one input never waits for downstream to take the other's frames: the
// audio, coming straight from the source, goes on while the encoded video is written.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/dv/DvFormat.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace talvence {

class TDvMuxer;

class TDvMuxInputPin : public TBCBaseInputPin {
public:
    enum class Kind { Video, Audio };
    TDvMuxInputPin(TDvMuxer* filter, Kind kind);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    // Streaming thread.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Application thread.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TDvMuxer* mux_;
    Kind kind_;
};

class TDvMuxOutputPin : public TBCBaseOutputPin {
public:
    explicit TDvMuxOutputPin(TDvMuxer* filter);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    TDvMuxer* mux_;
};

class TDvMuxer : public TBCBaseFilter {
public:
    static constexpr std::size_t kMaxPendingFrames = 8;

    TDvMuxer();
    ~TDvMuxer() override;

    int GetPinCount() override { return 3; }
    TBCBasePin* GetPin(int index) override;

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // Any thread: counters since the filter was made.
    long FramesRefused() const { return refused_; }
    long FramesPadded() const { return padded_; } // frames that got (some) silence

    // The output type for the current input connections; nothing without a video input.
    std::optional<CMediaType> OutputType() const;

private:
    friend class TDvMuxInputPin;
    friend class TDvMuxOutputPin;

    struct PendingFrame {
        std::vector<std::uint8_t> bytes;
        AM_SAMPLE2_PROPERTIES props;
    };

    std::optional<dvcodec::DvSystem> VideoSystem() const;
    std::optional<WAVEFORMATEX> AudioFormat() const;

    // Streaming thread, receive lock.
    HRESULT ReceiveVideo(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    HRESULT ReceiveAudio(const AM_SAMPLE2_PROPERTIES& props);
    // Completes every frame that can be, with its audio, for delivery; and the end of stream
    // after the last.
    void Drain();
    void Complete(PendingFrame& frame);
    void ResetStream();
    // Streaming thread, without the receive lock: delivers the completed frames (see above).
    HRESULT DeliverReady();
    HRESULT Send(const PendingFrame& frame);

    TBCCritSec csFilter_;  // the filter lock
    TBCCritSec csReceive_; // the receive lock
    TDvMuxInputPin video_;
    TDvMuxInputPin audio_;
    TDvMuxOutputPin output_;

    std::mutex csDeliver_; // the delivery lock

    // Receive lock.
    std::deque<PendingFrame> pending_;
    std::deque<PendingFrame> ready_;   // completed, in order; one without bytes is the end
    std::deque<std::int16_t> samples_; // interleaved stereo, oldest first
    std::vector<std::int16_t> frameAudio_;
    std::uint64_t frameIndex_ = 0;
    bool audioEnded_ = false;
    bool videoEnded_ = false;
    bool endDelivered_ = false;

    bool eosDelivered_ = false; // filter lock: end of stream given for an unconnected input
    std::atomic<long> refused_{0};
    std::atomic<long> padded_{0};
};

} // namespace talvence
