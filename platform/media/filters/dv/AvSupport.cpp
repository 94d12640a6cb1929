#include "platform/media/filters/dv/AvSupport.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstring>

namespace talvence::dvcodec::detail {

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::optional<PixelLayout> PlanarLayoutOf(AVPixelFormat format) {
    if (format == AV_PIX_FMT_YUV420P) return PixelLayout::Yuv420p;
    if (format == AV_PIX_FMT_YUV411P) return PixelLayout::Yuv411p;
    return std::nullopt;
}

AVPixelFormat PixelFormatOf(PixelLayout planarLayout) {
    return planarLayout == PixelLayout::Yuv411p ? AV_PIX_FMT_YUV411P : AV_PIX_FMT_YUV420P;
}

ConstPicture ViewOf(const AVFrame& frame, PixelLayout layout) {
    ConstPicture p;
    p.layout = layout;
    p.width = frame.width;
    p.height = frame.height;
    for (int i = 0; i < 3; ++i) {
        p.planes[i] = frame.data[i];
        p.strides[i] = frame.linesize[i];
    }
    return p;
}

Picture WritableViewOf(AVFrame& frame, PixelLayout layout) {
    Picture p;
    p.layout = layout;
    p.width = frame.width;
    p.height = frame.height;
    for (int i = 0; i < 3; ++i) {
        p.planes[i] = frame.data[i];
        p.strides[i] = frame.linesize[i];
    }
    return p;
}

void CopyPlanar(const ConstPicture& src, const Picture& dst) {
    const int chromaShiftX = src.layout == PixelLayout::Yuv411p ? 2 : 1;
    const int chromaShiftY = src.layout == PixelLayout::Yuv420p ? 1 : 0;
    for (int i = 0; i < 3; ++i) {
        const int width = i == 0 ? src.width : src.width >> chromaShiftX;
        const int height = i == 0 ? src.height : src.height >> chromaShiftY;
        for (int y = 0; y < height; ++y)
            std::memcpy(dst.planes[i] + dst.strides[i] * y, src.planes[i] + src.strides[i] * y,
                        std::size_t(width));
    }
}

} // namespace talvence::dvcodec::detail
