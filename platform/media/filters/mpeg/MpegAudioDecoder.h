#pragma once
// The MPEG Audio Decoder (ours, on libavcodec): MPEG-1/2 audio of layers 1 to 3 in, as the
// demultiplexer's "MpegAudio" pin delivers it, 16-bit PCM out at the rate and channel count the
// input's wave format announces (a stream that differs is resampled to it). Each block of
// samples carries its frame's presentation time and lasts its samples.

#include "platform/media/filters/mpeg/AvDecoderFilter.h"

struct SwrContext;

namespace talvence {

class FilterRegistry;

inline constexpr CLSID CLSID_MpegAudioDecoder = MakeGuid("4A2286E0-7BEF-11CE-9BD9-0000E202599C");

class TMpegAudioDecoder : public TAvDecoderFilter {
public:
    TMpegAudioDecoder();
    ~TMpegAudioDecoder() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;

protected:
    HRESULT DeliverFrame(const AVFrame& frame, REFERENCE_TIME start) override;
    REFERENCE_TIME FrameDuration(const AVFrame& frame) const override;
    HRESULT StopStreaming() override;

private:
    SwrContext* resampler_ = nullptr; // receive lock
    int resamplerRate_ = 0;           // receive lock: the input rate it was made for
    int resamplerChannels_ = 0;
};

void RegisterMpegAudioDecoder(FilterRegistry& registry);

} // namespace talvence
