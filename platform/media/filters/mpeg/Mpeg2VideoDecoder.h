#pragma once
// The MPEG-2 video decoder filter (ours, on libavcodec): MPEG-2 (or MPEG-1) video elementary
// stream in, as the demultiplexer's "MpegVideo" pin delivers it, one picture per decoded frame
// out at the size the input type announces, in this order of preference: I420 (planar 4:2:0,
// the codec's own layout, what the deinterlacer takes) and RGB24 bottom-up (what the inlay, the
// frame grabber and the preview take). Each picture carries the frame's presentation time and
// lasts the type's frame time; the codec works on one thread. The graph module falls back to it
// when the other maker's decoder is not installed.

#include "platform/media/filters/mpeg/AvDecoderFilter.h"

struct SwsContext;

namespace talvence {

class FilterRegistry;

inline constexpr CLSID CLSID_Mpeg2VideoDecoder = MakeGuid("8E269B7C-3F1D-4C52-9A07-6B1D2E54C3A1");
inline constexpr const char* kMpeg2VideoDecoderName = "MPEG-2 Video Decoder";

class TMpeg2VideoDecoder : public TAvDecoderFilter {
public:
    TMpeg2VideoDecoder();
    ~TMpeg2VideoDecoder() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;

protected:
    HRESULT DeliverFrame(const AVFrame& frame, REFERENCE_TIME start) override;
    REFERENCE_TIME FrameDuration(const AVFrame& frame) const override;
    void Configure(AVCodecContext& codec) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    SwsContext* scaler_ = nullptr;    // receive lock
    REFERENCE_TIME frameTime_ = 400000; // receive lock: the input type's, per run
};

void RegisterMpeg2VideoDecoder(FilterRegistry& registry);

} // namespace talvence
