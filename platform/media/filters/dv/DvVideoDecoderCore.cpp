#include "platform/media/filters/dv/DvVideoDecoderCore.h"

#include "platform/media/filters/dv/AvSupport.h"
#include "platform/media/filters/dv/DvSegmentCodec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
}

#include <sched.h>

#include <algorithm>
#include <cstring>

namespace talvence::dvcodec {

int CodecThreadsForCaller() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::clamp(CPU_COUNT(&set), 1, 4);
}
namespace {

constexpr std::size_t kInputCapacity = kPalFrameBytes + AV_INPUT_BUFFER_PADDING_SIZE;

// The codec marks 16:9 frames by their sample aspect ratio (64:45 or 32:27 against 16:15 or
// 8:9 for 4:3); a display aspect above 1.55 lies well between the two.
bool IsWide(const AVFrame& frame) {
    const AVRational sar = frame.sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || frame.height <= 0) return false;
    return std::int64_t(frame.width) * sar.num * 100 > std::int64_t(frame.height) * sar.den * 155;
}

} // namespace

DvVideoDecoderCore::DvVideoDecoderCore(DvDecoderOptions options,
                                       std::unique_ptr<PictureConverter> converter)
    : options_(options), converter_(std::move(converter)) {
    if (!converter_) converter_ = std::make_unique<SwsPictureConverter>();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) {
        error_ = "libavcodec has no DV video decoder";
        return;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    input_ = av_buffer_allocz(kInputCapacity);
    if (context == nullptr || frame_ == nullptr || packet_ == nullptr || input_ == nullptr) {
        avcodec_free_context(&context);
        error_ = "out of memory";
        return;
    }
    context->thread_count = std::max(1, options_.threads);
    context->thread_type = FF_THREAD_SLICE;
    if (const int rc = avcodec_open2(context, codec, nullptr); rc < 0) {
        avcodec_free_context(&context);
        error_ = "cannot open the DV video decoder: " + detail::AvErrorText(rc);
        return;
    }
    // The codec hands each frame's segments to context->execute as one job each; ours runs
    // the chosen ones through the codec's own runner (slice threads included).
    codecRunner_ = context->execute;
    context->opaque = this;
    context->execute = &DvVideoDecoderCore::RunSegmentJobs;
    context_ = context;
}

int DvVideoDecoderCore::RunSegmentJobs(AVCodecContext* context, JobFunction job, void* jobs,
                                       int* results, int count, int size) {
    auto* self = static_cast<DvVideoDecoderCore*>(context->opaque);
    const std::vector<int>* only = self->only_;
    const int segments = VideoSegmentCount(self->info_.system);
    // A job starts with its segment's offset in the frame, in DIF blocks. Should a codec ever
    // lay its jobs out otherwise, every job runs: a whole decode is never wrong.
    auto offsetOf = [&](int i) {
        std::uint16_t at = 0;
        std::memcpy(&at, static_cast<const std::uint8_t*>(jobs) + std::size_t(i) * size, sizeof at);
        return std::size_t(at) * kDifBlockBytes;
    };
    bool known = only != nullptr && count == segments && size >= int(sizeof(std::uint16_t));
    for (std::size_t k = 0; known && k < only->size(); ++k) {
        const int s = (*only)[k];
        known =
            s >= 0 && s < count && offsetOf(s) == MacroblockBlockOffset(self->info_.system, s, 0);
    }
    if (!known) {
        self->lastSegmentsDecoded_ = count;
        return self->codecRunner_(context, job, jobs, results, count, size);
    }
    self->lastSegmentsDecoded_ = int(only->size());
    if (only->empty()) return 0;
    self->chosenJobs_.resize(only->size() * std::size_t(size));
    for (std::size_t k = 0; k < only->size(); ++k)
        std::memcpy(self->chosenJobs_.data() + k * std::size_t(size),
                    static_cast<const std::uint8_t*>(jobs) + std::size_t((*only)[k]) * size,
                    std::size_t(size));
    int* chosenResults = nullptr;
    if (results != nullptr) {
        self->chosenResults_.assign(only->size(), 0);
        chosenResults = self->chosenResults_.data();
    }
    const int rc = self->codecRunner_(context, job, self->chosenJobs_.data(), chosenResults,
                                      int(only->size()), size);
    if (results != nullptr) {
        std::fill(results, results + count, 0);
        for (std::size_t k = 0; k < only->size(); ++k)
            results[(*only)[k]] = self->chosenResults_[k];
    }
    return rc;
}

DvVideoDecoderCore::~DvVideoDecoderCore() {
    av_buffer_unref(&input_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

DvDecodeStatus DvVideoDecoderCore::Decode(std::span<const std::uint8_t> frame) {
    return DecodeSegments(frame, nullptr);
}

DvDecodeStatus DvVideoDecoderCore::DecodePart(std::span<const std::uint8_t> frame,
                                              std::span<const PixelRect> areas) {
    const std::optional<DvSystem> system = SystemForFrameSize(frame.size());
    if (!system) return ready() ? DvDecodeStatus::WrongFrameSize : DvDecodeStatus::NotReady;
    segments_ = SegmentsTouching(*system, areas);
    return DecodeSegments(frame, &segments_);
}

DvDecodeStatus DvVideoDecoderCore::DecodeSegments(std::span<const std::uint8_t> frame,
                                                  const std::vector<int>* segments) {
    decoded_ = false;
    if (!ready()) return DvDecodeStatus::NotReady;
    const std::optional<DvSystem> system = SystemForFrameSize(frame.size());
    if (!system) return DvDecodeStatus::WrongFrameSize;
    // The job runner reads the system and the segments while the codec decodes.
    info_.system = *system;
    only_ = segments;
    lastSegmentsDecoded_ = VideoSegmentCount(*system);

    // The codec reads past the end of its input, so the frame goes into our padded buffer. The
    // codec lets go of the buffer once the frame is decoded; should it ever keep it, a fresh
    // buffer is taken rather than overwriting one it still reads.
    if (!av_buffer_is_writable(input_)) {
        av_buffer_unref(&input_);
        input_ = av_buffer_allocz(kInputCapacity);
        if (input_ == nullptr) {
            error_ = "out of memory";
            return DvDecodeStatus::NotReady;
        }
    }
    std::memcpy(input_->data, frame.data(), frame.size());
    std::memset(input_->data + frame.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);

    av_packet_unref(packet_);
    packet_->buf = av_buffer_ref(input_);
    if (packet_->buf == nullptr) return DvDecodeStatus::NotReady;
    packet_->data = input_->data;
    packet_->size = static_cast<int>(frame.size());

    av_frame_unref(frame_);
    int rc = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (rc >= 0) rc = avcodec_receive_frame(context_, frame_);
    only_ = nullptr;
    if (rc < 0) return DvDecodeStatus::Undecodable;

    // A damaged header can make the codec take the frame for the other system; the picture
    // must be the one the frame's size stands for.
    const std::optional<PixelLayout> layout =
        detail::PlanarLayoutOf(static_cast<AVPixelFormat>(frame_->format));
    if (!layout || frame_->width != kDvWidth || frame_->height != FrameHeight(*system)) {
        av_frame_unref(frame_);
        return DvDecodeStatus::UnexpectedPicture;
    }
    info_.system = *system;
    info_.wideScreen = IsWide(*frame_);
    info_.native = *layout;
    info_.width = frame_->width;
    info_.height = frame_->height;
    decoded_ = true;
    return DvDecodeStatus::Ok;
}

ConstPicture DvVideoDecoderCore::picture() const {
    if (!decoded_) return ConstPicture{};
    return detail::ViewOf(*frame_, info_.native);
}

DvDecodeStatus DvVideoDecoderCore::DecodeTo(std::span<const std::uint8_t> frame, PixelLayout layout,
                                            std::span<std::uint8_t> out) {
    // Checked before decoding, so that a wrong buffer costs nothing.
    const std::optional<DvSystem> system = SystemForFrameSize(frame.size());
    if (!system) return ready() ? DvDecodeStatus::WrongFrameSize : DvDecodeStatus::NotReady;
    const std::optional<Picture> view = PictureOver(out, layout, kDvWidth, FrameHeight(*system));
    if (!view) return DvDecodeStatus::BadOutput;
    return DecodeTo(frame, *view);
}

DvDecodeStatus DvVideoDecoderCore::DecodeTo(std::span<const std::uint8_t> frame,
                                            const Picture& out) {
    if (PictureBytes(out.layout, out.width, out.height) == 0 || out.planes[0] == nullptr)
        return DvDecodeStatus::BadOutput;
    const DvDecodeStatus status = Decode(frame);
    if (status != DvDecodeStatus::Ok) return status;
    return WritePicture(out);
}

DvDecodeStatus DvVideoDecoderCore::WritePicture(const Picture& out) {
    const ConstPicture src = picture();
    if (out.layout == src.layout && out.width == src.width && out.height == src.height) {
        if (out.planes[1] == nullptr || out.planes[2] == nullptr) return DvDecodeStatus::BadOutput;
        detail::CopyPlanar(src, out);
        return DvDecodeStatus::Ok;
    }
    return converter_->Convert(src, out) ? DvDecodeStatus::Ok : DvDecodeStatus::ConversionFailed;
}

} // namespace talvence::dvcodec
