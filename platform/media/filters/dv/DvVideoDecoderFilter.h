#pragma once
// The DV Video Decoder filter: 'dvsd' video in, one uncompressed picture per frame out, on the
// decoder core. Output types, in order of preference: the system's own planar layout (no
// conversion), YUY2, RGB24 (bottom-up, what previews, the frame grabber and the inlay take) and
// RGB32.
//
// A frame that is not a whole frame of the connected system (truncated, oversized, the other
// system) or that the codec refuses is dropped: nothing is delivered for it, the graph hears of
// drops once per run (EC_QUALITY_CHANGE) and the stream goes on.
//
// Quality messages from downstream (a preview renderer flooded by a source read faster than real
// time) set the share of frames decoded, in thousandths; the others are passed over before any
// work is done. Every run starts decoding every frame.
//
// Each picture carries its origin (the frame it was decoded from, nothing changed yet), so that a
// DV encoder downstream can keep the frame's bits wherever nobody changed the picture.
//
// Before each frame the filters downstream are asked what of the picture they will read
// (IPictureDemand). When every one of them reads only some areas (a DV encoder that keeps the
// frame's bits, the inlay's text, a preview that will pass the frame over), only the video
// segments holding those areas are decoded and the picture says so in its origin; whenever any
// of them may read more, or cannot say, the whole frame is decoded.
//
// Threads: the application thread connects and drives states; Transform runs on the upstream's
// streaming thread under the receive lock.

#include "filters/BaseClass/FrameShare.h"
#include "filters/BaseClass/TransformFilter.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvVideoDecoderCore.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace talvence {

class TDvVideoDecoder : public TBCTransformFilter {
public:
    TDvVideoDecoder();
    ~TDvVideoDecoder() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    // Follows a type change announced by a sample (the framework has checked it).
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    // Any thread: Flood and Famine messages set the share of frames decoded (1..1000).
    HRESULT AlterQuality(const Quality& q) override;

    // Any thread: frames dropped since the filter was made.
    long FramesDropped() const { return dropped_; }
    // Any thread: frames passed over at downstream's request since the filter was made.
    long FramesPassedOver() const { return passedOver_; }
    // Any thread: frames decoded only in part since the filter was made.
    long FramesDecodedInPart() const { return decodedInPart_; }

private:
    std::unique_ptr<dvcodec::DvVideoDecoderCore> core_; // receive lock; made per run
    // Receive lock: decodes only what `need` asks for into `out` (the native layout at full
    // size), and says in `origin` which areas were asked for and which the picture holds.
    dvcodec::DvDecodeStatus DecodePart(std::span<const std::uint8_t> frame, const PictureNeed& need,
                                       const dvcodec::PictureFormat& format, BYTE* out,
                                       PictureOrigin& origin);
    // Receive lock: a shared copy of the frame for the picture's origin.
    std::shared_ptr<const std::vector<std::uint8_t>> KeepFrame(std::span<const std::uint8_t> frame);

    static constexpr std::size_t kKeptFrames = 8;
    std::vector<std::shared_ptr<std::vector<std::uint8_t>>> keptFrames_; // receive lock

    std::atomic<long> dropped_{0};
    std::atomic<long> passedOver_{0};
    std::atomic<long> decodedInPart_{0};
    TFrameShare share_;    // the frames to decode
    CMediaType inputType_; // receive lock: the type of the samples now arriving
};

} // namespace talvence
