#pragma once
// The frame of the decoder filters on libavcodec (MPEG-2 video, MPEG audio): one input of
// compressed elementary stream in samples of any cut (PES payloads), split into the codec's
// frames by libavcodec's parser, decoded, and each decoded frame handed to the derived filter,
// which converts and delivers it. So one input sample gives none, one or several output
// samples. Input times travel with the parser to the frame that starts in their sample; a frame
// without one follows on from the previous frame.
//
// A frame the codec refuses is dropped and counted; the stream goes on. The end of the stream
// drains the codec first; a flush forgets what the codec holds.
//
// Threads: the application thread connects and drives states (the codec is opened on pause from
// stopped and closed on stop); Receive, EndOfStream and the derived DeliverFrame run on the
// upstream's streaming thread under the receive lock, which guards the codec.

#include "filters/BaseClass/TransformFilter.h"

#include <atomic>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;

namespace talvence {

class TAvDecoderFilter : public TBCTransformFilter {
public:
    TAvDecoderFilter(std::string name, const CLSID& clsid, int codecId);
    ~TAvDecoderFilter() override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    // Any thread: frames the codec refused since the filter was made.
    long FramesDropped() const { return dropped_; }

protected:
    // Must override (streaming thread, receive lock): converts the frame into a sample of the
    // output type and delivers it; start is its time (100 ns).
    virtual HRESULT DeliverFrame(const AVFrame& frame, REFERENCE_TIME start) = 0;
    // Must override (receive lock): the time a frame lasts, for a frame without a time of its
    // own.
    virtual REFERENCE_TIME FrameDuration(const AVFrame& frame) const = 0;
    // May override: settings of the codec before it opens (thread count and such).
    virtual void Configure(AVCodecContext&) {}

    bool firstOfRun_ = true; // receive lock: the next delivery starts the run

private:
    HRESULT Decode(const std::uint8_t* data, int size, REFERENCE_TIME pts, bool flush);
    HRESULT Drain();
    void Close();

    const int codecId_;
    AVCodecContext* codec_ = nullptr;        // receive lock
    AVCodecParserContext* parser_ = nullptr; // receive lock
    AVPacket* packet_ = nullptr;             // receive lock
    AVFrame* frame_ = nullptr;               // receive lock
    REFERENCE_TIME nextTime_ = 0;            // receive lock: where an untimed frame starts
    std::atomic<long> dropped_{0};
};

} // namespace talvence
