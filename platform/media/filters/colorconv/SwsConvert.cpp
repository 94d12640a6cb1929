// libswscale behind the converter interface. Its defaults for YUV are BT.601 limited range,
// which is what DV carries, so no colour-space details are set.

#include "platform/media/filters/colorconv/ColorConvert.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <climits>

namespace talvence::colorconv {
namespace {

AVPixelFormat PixelFormatOf(YuvLayout layout) {
    switch (layout) {
    case YuvLayout::Yuv420p:
        return AV_PIX_FMT_YUV420P;
    case YuvLayout::Yuv411p:
        return AV_PIX_FMT_YUV411P;
    case YuvLayout::Yuy2:
        return AV_PIX_FMT_YUYV422;
    }
    return AV_PIX_FMT_NONE;
}

bool Usable(const YuvFrame& yuv, const Rgb24Frame& rgb) {
    if (yuv.width <= 0 || yuv.height <= 0 || yuv.width != rgb.width || yuv.height != rgb.height)
        return false;
    if (yuv.width % ChromaBlockWidth(yuv.layout) != 0 ||
        yuv.height % ChromaBlockHeight(yuv.layout) != 0)
        return false;
    if (rgb.top == nullptr || yuv.planes[0] == nullptr) return false;
    const int planes = yuv.layout == YuvLayout::Yuy2 ? 1 : 3;
    for (int i = 0; i < planes; ++i)
        if (yuv.planes[i] == nullptr || yuv.strides[i] > INT_MAX || yuv.strides[i] < INT_MIN)
            return false;
    return rgb.stride <= INT_MAX && rgb.stride >= INT_MIN;
}

// Point sampling: chroma is replicated when widening, as our own converters do, and it is the
// fastest setting; sizes never change, so the scaling filter plays no other part.
constexpr int kFlags = SWS_POINT;

} // namespace

struct SwsConverter::Contexts {
    SwsContext* toRgb = nullptr;
    SwsContext* toYuv = nullptr;
};

SwsConverter::SwsConverter() : contexts_(std::make_unique<Contexts>()) {}

SwsConverter::~SwsConverter() {
    sws_freeContext(contexts_->toRgb);
    sws_freeContext(contexts_->toYuv);
}

bool SwsRgbWidthSafe(int width) {
    return width % 16 == 0;
}

bool SwsConverter::YuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst) {
    if (!Usable(src, dst) || !SwsRgbWidthSafe(src.width)) return false;
    contexts_->toRgb = sws_getCachedContext(contexts_->toRgb, src.width, src.height,
                                            PixelFormatOf(src.layout), dst.width, dst.height,
                                            AV_PIX_FMT_BGR24, kFlags, nullptr, nullptr, nullptr);
    if (contexts_->toRgb == nullptr) return false;
    const std::uint8_t* in[4] = {src.planes[0], src.planes[1], src.planes[2], nullptr};
    int inStrides[4] = {static_cast<int>(src.strides[0]), static_cast<int>(src.strides[1]),
                        static_cast<int>(src.strides[2]), 0};
    std::uint8_t* out[4] = {dst.top, nullptr, nullptr, nullptr};
    int outStrides[4] = {static_cast<int>(dst.stride), 0, 0, 0};
    return sws_scale(contexts_->toRgb, in, inStrides, 0, src.height, out, outStrides) == dst.height;
}

bool SwsConverter::Rgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst) {
    if (!Usable(dst, src)) return false;
    contexts_->toYuv = sws_getCachedContext(
        contexts_->toYuv, src.width, src.height, AV_PIX_FMT_BGR24, dst.width, dst.height,
        PixelFormatOf(dst.layout), kFlags, nullptr, nullptr, nullptr);
    if (contexts_->toYuv == nullptr) return false;
    const std::uint8_t* in[4] = {src.top, nullptr, nullptr, nullptr};
    int inStrides[4] = {static_cast<int>(src.stride), 0, 0, 0};
    std::uint8_t* out[4] = {dst.planes[0], dst.planes[1], dst.planes[2], nullptr};
    int outStrides[4] = {static_cast<int>(dst.strides[0]), static_cast<int>(dst.strides[1]),
                         static_cast<int>(dst.strides[2]), 0};
    return sws_scale(contexts_->toYuv, in, inStrides, 0, src.height, out, outStrides) == dst.height;
}

} // namespace talvence::colorconv
