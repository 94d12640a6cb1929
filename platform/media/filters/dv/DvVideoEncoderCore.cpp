#include "platform/media/filters/dv/DvVideoEncoderCore.h"

#include "platform/media/filters/dv/AvSupport.h"
#include "platform/media/filters/dv/DvSegmentCodec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace talvence::dvcodec {
namespace {

constexpr std::size_t kPacketCapacity = kPalFrameBytes + AV_INPUT_BUFFER_PADDING_SIZE;

// Packets come from our pool, so that encoding a stream does not allocate a frame's worth of
// memory for every frame.
int GetPooledPacket(AVCodecContext* context, AVPacket* packet, int flags) {
    auto* pool = static_cast<AVBufferPool*>(context->opaque);
    if (pool == nullptr || packet->size < 0 ||
        std::size_t(packet->size) + AV_INPUT_BUFFER_PADDING_SIZE > kPacketCapacity)
        return avcodec_default_get_encode_buffer(context, packet, flags);
    packet->buf = av_buffer_pool_get(pool);
    if (packet->buf == nullptr) return AVERROR(ENOMEM);
    packet->data = packet->buf->data;
    std::memset(packet->data + packet->size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return 0;
}

AVRational SampleAspect(DvSystem system, bool wide) {
    if (system == DvSystem::Pal625) return wide ? AVRational{64, 45} : AVRational{16, 15};
    return wide ? AVRational{32, 27} : AVRational{8, 9};
}

template <typename Byte> bool Usable(const BasicPicture<Byte>& p) {
    if (PictureBytes(p.layout, p.width, p.height) == 0 || p.planes[0] == nullptr) return false;
    return !IsPlanar(p.layout) || (p.planes[1] != nullptr && p.planes[2] != nullptr);
}

// Where a picture goes in the DV frame: all of it for a DV-shaped picture (whatever its pixels'
// shape) or one of the frame's own aspect; else the largest centred area of the picture's aspect,
// its pixels taken as square, on whole chroma blocks of either system.
struct FitArea {
    int x = 0, y = 0, width = 0, height = 0;
};

FitArea FitInto(const ConstPicture& in, int width, int height, bool wide) {
    const FitArea whole{0, 0, width, height};
    if ((in.width == 720 || in.width == 704) && (in.height == 576 || in.height == 480))
        return whole;
    const double frame = wide ? 16.0 / 9.0 : 4.0 / 3.0;
    const double picture = double(in.width) / double(in.height);
    if (std::abs(picture / frame - 1.0) < 0.01) return whole;
    if (picture > frame) {
        const int h = static_cast<int>(height * frame / picture) & ~1;
        return {0, ((height - h) / 2) & ~1, width, h};
    }
    const int w = static_cast<int>(width * picture / frame) & ~3;
    return {((width - w) / 2) & ~3, 0, w, height};
}

// Black over a planar picture, and the view of one area of it.
Picture Letterbox(const Picture& target, const FitArea& area) {
    const bool q = target.layout == PixelLayout::Yuv411p; // chroma at quarter width, full height
    const int cw = q ? target.width / 4 : target.width / 2;
    const int ch = q ? target.height : target.height / 2;
    for (int y = 0; y < target.height; ++y)
        std::memset(target.planes[0] + target.strides[0] * y, 16, std::size_t(target.width));
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < ch; ++y)
            std::memset(target.planes[p] + target.strides[p] * y, 128, std::size_t(cw));
    Picture sub = target;
    sub.width = area.width;
    sub.height = area.height;
    sub.planes[0] += target.strides[0] * area.y + area.x;
    for (int p = 1; p < 3; ++p)
        sub.planes[p] += q ? target.strides[p] * area.y + area.x / 4
                           : target.strides[p] * (area.y / 2) + area.x / 2;
    return sub;
}

} // namespace

DvVideoEncoderCore::DvVideoEncoderCore(DvEncoderOptions options,
                                       std::unique_ptr<PictureConverter> converter)
    : options_(options), converter_(std::move(converter)) {
    if (!converter_) converter_ = std::make_unique<SwsPictureConverter>();
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    packetPool_ = av_buffer_pool_init(kPacketCapacity, nullptr);
    Open();
}

DvVideoEncoderCore::~DvVideoEncoderCore() {
    Close();
    av_packet_free(&packet_);
    av_frame_free(&picture_);
    av_buffer_pool_uninit(&packetPool_); // freed once the last packet is back
}

void DvVideoEncoderCore::Close() {
    avcodec_free_context(&context_);
    if (picture_ != nullptr) av_frame_unref(picture_);
    blocksTemplate_.clear();
}

bool DvVideoEncoderCore::Open() {
    if (context_ != nullptr) return true;
    if (picture_ == nullptr || packet_ == nullptr || packetPool_ == nullptr) {
        error_ = "out of memory";
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) {
        error_ = "libavcodec has no DV video encoder";
        return false;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (context == nullptr) {
        error_ = "out of memory";
        return false;
    }
    const DvSystem system = options_.system;
    // The codec picks its profile from size, pixel format and frame rate together.
    context->width = kDvWidth;
    context->height = FrameHeight(system);
    context->pix_fmt = detail::PixelFormatOf(NativeLayout(system));
    context->time_base = system == DvSystem::Pal625 ? AVRational{1, 25} : AVRational{1001, 30000};
    context->framerate = av_inv_q(context->time_base);
    context->sample_aspect_ratio = SampleAspect(system, options_.wideScreen);
    context->thread_count = std::max(1, options_.threads);
    context->thread_type = FF_THREAD_SLICE;
    context->opaque = packetPool_;
    context->get_encode_buffer = GetPooledPacket;
    if (const int rc = avcodec_open2(context, codec, nullptr); rc < 0) {
        avcodec_free_context(&context);
        error_ = "cannot open the DV video encoder: " + detail::AvErrorText(rc);
        return false;
    }
    av_frame_unref(picture_);
    picture_->format = context->pix_fmt;
    picture_->width = context->width;
    picture_->height = context->height;
    if (const int rc = av_frame_get_buffer(picture_, 0); rc < 0) {
        avcodec_free_context(&context);
        error_ = "cannot allocate the encoder's picture: " + detail::AvErrorText(rc);
        return false;
    }
    context_ = context;
    nextPts_ = 0;
    error_.clear();
    return true;
}

HRESULT DvVideoEncoderCore::SetFormatResolution(int videoFormat, int dvFormat, int resolution,
                                                bool withDvInfo) {
    if (videoFormat != DVENCODERVIDEOFORMAT_PAL && videoFormat != DVENCODERVIDEOFORMAT_NTSC)
        return E_INVALIDARG;
    if (dvFormat != DVENCODERFORMAT_DVSD || resolution != DVENCODERRESOLUTION_720x480 || withDvInfo)
        return E_INVALIDARG;
    const DvSystem system =
        videoFormat == DVENCODERVIDEOFORMAT_PAL ? DvSystem::Pal625 : DvSystem::Ntsc525;
    if (system != options_.system) {
        Close();
        options_.system = system;
    }
    return S_OK;
}

void DvVideoEncoderCore::GetFormatResolution(int& videoFormat, int& dvFormat,
                                             int& resolution) const {
    videoFormat =
        options_.system == DvSystem::Pal625 ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC;
    dvFormat = DVENCODERFORMAT_DVSD;
    resolution = DVENCODERRESOLUTION_720x480;
}

void DvVideoEncoderCore::SetThreads(int threads) {
    threads = std::max(1, threads);
    if (threads == options_.threads) return;
    Close();
    options_.threads = threads;
}

void DvVideoEncoderCore::SetWideScreen(bool wide) {
    if (wide == options_.wideScreen) return;
    // The codec takes the aspect from its context when it opens.
    Close();
    options_.wideScreen = wide;
}

DvEncodeResult DvVideoEncoderCore::Encode(std::span<const std::uint8_t> in, PixelLayout layout,
                                          int width, int height, std::span<std::uint8_t> out,
                                          const PictureOrigin* origin) {
    const std::optional<ConstPicture> view = PictureOver(in, layout, width, height);
    if (!view) return {DvEncodeStatus::BadInput, 0};
    return Encode(*view, out, origin);
}

DvEncodeResult DvVideoEncoderCore::Encode(const ConstPicture& in, std::span<std::uint8_t> out,
                                          const PictureOrigin* origin) {
    if (!Open()) return {DvEncodeStatus::NotReady, 0};
    if (!Usable(in)) return {DvEncodeStatus::BadInput, 0};
    if (out.size() < frameBytes()) return {DvEncodeStatus::BadOutput, 0};
    if (Fits(in, origin)) return EncodeFromOrigin(in, out, *origin);
    // A picture decoded in part holds unspecified pixels: it is never coded whole.
    if (origin != nullptr && origin->partial) return {DvEncodeStatus::BadInput, 0};
    return EncodeWhole(in, out);
}

bool DvVideoEncoderCore::Fits(const ConstPicture& in, const PictureOrigin* origin) const {
    // Anything that may have moved pixels outside the changed areas (a flip, scaling, another
    // system) leaves only the whole-frame path.
    if (origin == nullptr || origin->wholeChanged || !origin->sourceFrame) return false;
    const DvSystem system = options_.system;
    return SystemForFrameSize(origin->sourceFrame->size()) == system && in.width == kDvWidth &&
           in.height == FrameHeight(system) && origin->width == in.width &&
           origin->height == in.height;
}

std::optional<ConstPicture> DvVideoEncoderCore::NativePicture(const ConstPicture& in,
                                                              const std::vector<int>& segments) {
    const DvSystem system = options_.system;
    const PixelLayout native = NativeLayout(system);
    if (in.layout == native && in.width == kDvWidth && in.height == FrameHeight(system)) return in;
    if (av_frame_make_writable(picture_) < 0) return std::nullopt;
    const Picture target = detail::WritableViewOf(*picture_, native);
    // Only the macroblocks to code, when the converter can do areas.
    bool areas = true;
    for (std::size_t i = 0; i < segments.size() && areas; ++i)
        for (int m = 0; m < kMacroblocksPerSegment && areas; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, segments[i], m);
            areas = converter_->ConvertArea(in, target, a.x, a.y, a.width, a.height);
        }
    if (!areas && !converter_->Convert(in, target)) return std::nullopt;
    return AsConst(target);
}

DvEncodeResult DvVideoEncoderCore::EncodeFromOrigin(const ConstPicture& in,
                                                    std::span<std::uint8_t> out,
                                                    const PictureOrigin& origin) {
    const DvSystem system = options_.system;
    const std::size_t bytes = frameBytes();
    if (blocksTemplate_.size() != bytes) {
        // Black through libavcodec, once per format: the blocks around the video it writes.
        std::vector<std::uint8_t> black(
            PictureBytes(NativeLayout(system), kDvWidth, FrameHeight(system)));
        const std::size_t luma = std::size_t(kDvWidth) * std::size_t(FrameHeight(system));
        std::memset(black.data(), 16, luma);
        std::memset(black.data() + luma, 128, black.size() - luma);
        blocksTemplate_.resize(bytes);
        const std::optional<ConstPicture> view =
            PictureOver(std::span<const std::uint8_t>(black), NativeLayout(system), kDvWidth,
                        FrameHeight(system));
        if (!view || EncodeWhole(*view, blocksTemplate_).status != DvEncodeStatus::Ok) {
            blocksTemplate_.clear();
            return EncodeWhole(in, out);
        }
    }
    // Every video block from the origin, every other block from the template.
    std::memcpy(out.data(), origin.sourceFrame->data(), bytes);
    for (std::size_t block = 0; block < bytes / kDifBlockBytes; ++block) {
        const std::size_t at = block * kDifBlockBytes;
        if ((blocksTemplate_[at] & 0xe0) != 0x80)
            std::memcpy(out.data() + at, blocksTemplate_.data() + at, kDifBlockBytes);
    }
    std::vector<int> segments = SegmentsTouching(system, origin.changed);
    if (origin.partial) {
        // Only decoded segments are coded again; should a change reach past them, the frame
        // keeps its own bits there rather than unspecified pixels.
        const std::vector<int> decoded = SegmentsTouching(system, origin.asked);
        std::erase_if(segments, [&](int s) {
            return !std::binary_search(decoded.begin(), decoded.end(), s);
        });
    }
    lastSegmentsCoded_ = int(segments.size());
    if (segments.empty()) return {DvEncodeStatus::Ok, bytes};
    const std::optional<ConstPicture> native = NativePicture(in, segments);
    if (!native) return {DvEncodeStatus::ConversionFailed, 0};
    for (const int s : segments)
        if (!EncodeVideoSegment(system, *native, s, out)) return {DvEncodeStatus::EncodeFailed, 0};
    return {DvEncodeStatus::Ok, bytes};
}

DvEncodeResult DvVideoEncoderCore::EncodeWhole(const ConstPicture& in,
                                               std::span<std::uint8_t> out) {
    const std::size_t bytes = frameBytes();
    lastSegmentsCoded_ = VideoSegmentCount(options_.system);

    // The codec lets go of the picture after each frame; should it keep it, the picture is
    // copied rather than written while it reads.
    if (av_frame_make_writable(picture_) < 0) return {DvEncodeStatus::NotReady, 0};
    const Picture target = detail::WritableViewOf(*picture_, NativeLayout(options_.system));
    const FitArea area = FitInto(in, target.width, target.height, options_.wideScreen);
    const bool whole = area.width == target.width && area.height == target.height;
    if (in.layout == target.layout && in.width == target.width && in.height == target.height) {
        detail::CopyPlanar(in, target);
    } else if (!converter_->Convert(in, whole ? target : Letterbox(target, area))) {
        return {DvEncodeStatus::ConversionFailed, 0};
    }
    picture_->pts = nextPts_++;

    int rc = avcodec_send_frame(context_, picture_);
    if (rc >= 0) rc = avcodec_receive_packet(context_, packet_);
    if (rc < 0) {
        error_ = "DV encoding failed: " + detail::AvErrorText(rc);
        av_packet_unref(packet_);
        return {DvEncodeStatus::EncodeFailed, 0};
    }
    DvEncodeResult result{DvEncodeStatus::WrongFrameSize, 0};
    if (std::size_t(packet_->size) == bytes) {
        std::memcpy(out.data(), packet_->data, bytes);
        result = {DvEncodeStatus::Ok, bytes};
    } else {
        error_ = "the DV encoder made a frame of " + std::to_string(packet_->size) + " bytes";
    }
    av_packet_unref(packet_);
    return result;
}

} // namespace talvence::dvcodec
