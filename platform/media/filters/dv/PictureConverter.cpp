#include "platform/media/filters/dv/PictureConverter.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <climits>
#include <cstring>

namespace talvence::dvcodec {
namespace {

static_assert(SwsPictureConverter::kDefaultFlags == SWS_BICUBIC);

// Slack past the last row of a staged picture, more than any vector step of libswscale.
constexpr std::size_t kStagePadding = 64;

AVPixelFormat SourceFormat(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Rgb24:
        return AV_PIX_FMT_BGR24;
    case PixelLayout::Rgb32:
        return AV_PIX_FMT_BGR0; // the fourth byte is not alpha on input
    case PixelLayout::Yuy2:
        return AV_PIX_FMT_YUYV422;
    case PixelLayout::Yuv420p:
        return AV_PIX_FMT_YUV420P;
    case PixelLayout::Yuv411p:
        return AV_PIX_FMT_YUV411P;
    }
    return AV_PIX_FMT_NONE;
}

AVPixelFormat DestinationFormat(PixelLayout layout) {
    // An opaque fourth byte for 32-bit output, as bitmaps of that depth carry.
    return layout == PixelLayout::Rgb32 ? AV_PIX_FMT_BGRA : SourceFormat(layout);
}

int BytesPerPixel(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Rgb24:
        return 3;
    case PixelLayout::Rgb32:
        return 4;
    case PixelLayout::Yuy2:
        return 2;
    default:
        return 1;
    }
}

template <typename Byte> bool Valid(const BasicPicture<Byte>& p) {
    if (PictureBytes(p.layout, p.width, p.height) == 0) return false;
    const int planes = IsPlanar(p.layout) ? 3 : 1;
    for (int i = 0; i < planes; ++i)
        if (p.planes[i] == nullptr || p.strides[i] > INT_MAX || p.strides[i] < INT_MIN)
            return false;
    return true;
}

} // namespace

SwsPictureConverter::SwsPictureConverter(int swsFlags) : flags_(swsFlags) {}

SwsPictureConverter::~SwsPictureConverter() {
    sws_freeContext(context_);
}

bool SwsPictureConverter::Convert(const ConstPicture& srcIn, const Picture& dstIn) {
    if (!Valid(srcIn) || !Valid(dstIn)) return false;
    context_ = sws_getCachedContext(context_, srcIn.width, srcIn.height, SourceFormat(srcIn.layout),
                                    dstIn.width, dstIn.height, DestinationFormat(dstIn.layout),
                                    flags_, nullptr, nullptr, nullptr);
    if (context_ == nullptr) return false;

    ConstPicture src = srcIn;
    const std::size_t srcRow = std::size_t(src.width) * BytesPerPixel(src.layout);
    if (!IsPlanar(src.layout)) {
        sourceStage_.resize(srcRow * src.height + kStagePadding);
        for (int y = 0; y < src.height; ++y)
            std::memcpy(sourceStage_.data() + srcRow * y, srcIn.planes[0] + srcIn.strides[0] * y,
                        srcRow);
        src.planes[0] = sourceStage_.data();
        src.strides[0] = static_cast<std::ptrdiff_t>(srcRow);
    }

    Picture dst = dstIn;
    const std::size_t dstRow = std::size_t(dst.width) * BytesPerPixel(dst.layout);
    const bool stageDestination = !IsPlanar(dst.layout) && dst.width % 16 != 0;
    if (stageDestination) {
        destinationStage_.resize(dstRow * dst.height + kStagePadding);
        dst.planes[0] = destinationStage_.data();
        dst.strides[0] = static_cast<std::ptrdiff_t>(dstRow);
    }

    const int srcStrides[4] = {int(src.strides[0]), int(src.strides[1]), int(src.strides[2]), 0};
    const int dstStrides[4] = {int(dst.strides[0]), int(dst.strides[1]), int(dst.strides[2]), 0};
    const std::uint8_t* const srcPlanes[4] = {src.planes[0], src.planes[1], src.planes[2], nullptr};
    std::uint8_t* const dstPlanes[4] = {dst.planes[0], dst.planes[1], dst.planes[2], nullptr};
    const int rows =
        sws_scale(context_, srcPlanes, srcStrides, 0, src.height, dstPlanes, dstStrides);
    if (rows != dst.height) return false;

    if (stageDestination)
        for (int y = 0; y < dst.height; ++y)
            std::memcpy(dstIn.planes[0] + dstIn.strides[0] * y,
                        destinationStage_.data() + dstRow * y, dstRow);
    return true;
}

} // namespace talvence::dvcodec
