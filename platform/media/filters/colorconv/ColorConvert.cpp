#include "platform/media/filters/colorconv/ColorConvert.h"

#include <algorithm>
#include <cstring>

namespace talvence::colorconv {

int ChromaBlockWidth(YuvLayout layout) {
    return layout == YuvLayout::Yuv411p ? 4 : 2;
}

int ChromaBlockHeight(YuvLayout layout) {
    return layout == YuvLayout::Yuv420p ? 2 : 1;
}

std::size_t YuvFrameSize(YuvLayout layout, int width, int height) {
    if (width <= 0 || height <= 0 || width % ChromaBlockWidth(layout) != 0 ||
        height % ChromaBlockHeight(layout) != 0)
        return 0;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    switch (layout) {
    case YuvLayout::Yuv420p:
        return pixels + pixels / 2;
    case YuvLayout::Yuv411p:
        return pixels + pixels / 2;
    case YuvLayout::Yuy2:
        return pixels * 2;
    }
    return 0;
}

YuvFrame YuvFrameOver(std::uint8_t* buffer, YuvLayout layout, int width, int height) {
    YuvFrame f;
    f.layout = layout;
    f.width = width;
    f.height = height;
    if (YuvFrameSize(layout, width, height) == 0 || buffer == nullptr) return f;
    if (layout == YuvLayout::Yuy2) {
        f.planes[0] = buffer;
        f.strides[0] = static_cast<std::ptrdiff_t>(width) * 2;
        return f;
    }
    const std::ptrdiff_t cw = width / ChromaBlockWidth(layout);
    const std::ptrdiff_t ch = height / ChromaBlockHeight(layout);
    f.planes[0] = buffer;
    f.strides[0] = width;
    f.planes[1] = buffer + static_cast<std::ptrdiff_t>(width) * height;
    f.strides[1] = cw;
    f.planes[2] = f.planes[1] + cw * ch;
    f.strides[2] = cw;
    return f;
}

std::ptrdiff_t Rgb24Stride(int width) {
    return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~static_cast<std::ptrdiff_t>(3);
}

Rgb24Frame BottomUpRgb24(std::uint8_t* buffer, int width, int height, std::ptrdiff_t rowBytes) {
    Rgb24Frame f;
    f.width = width;
    f.height = height;
    if (buffer == nullptr || width <= 0 || height <= 0) return f;
    f.top = buffer + (height - 1) * rowBytes;
    f.stride = -rowBytes;
    return f;
}

Rect AlignToChromaBlocks(Rect r, YuvLayout layout, int width, int height) {
    const int bw = ChromaBlockWidth(layout);
    const int bh = ChromaBlockHeight(layout);
    // 64-bit so that a far-off rectangle cannot overflow on its way to being clipped.
    long long x0 = std::max<long long>(r.x, 0);
    long long y0 = std::max<long long>(r.y, 0);
    long long x1 = std::min<long long>(static_cast<long long>(r.x) + r.width, width);
    long long y1 = std::min<long long>(static_cast<long long>(r.y) + r.height, height);
    if (r.width <= 0 || r.height <= 0 || x0 >= x1 || y0 >= y1) return Rect{};
    x0 -= x0 % bw;
    y0 -= y0 % bh;
    x1 = std::min<long long>((x1 + bw - 1) / bw * bw, width);
    y1 = std::min<long long>((y1 + bh - 1) / bh * bh, height);
    return Rect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                static_cast<int>(y1 - y0)};
}

// Measured on 720x576 (4:2:0, YUY2) and 720x480 (4:1:1) frames with bench_superposer: swscale's
// hand-written 4:2:0 to RGB path beats ours (about 155 against 210 µs); ours wins every other
// case, by 2 to 4 times for 4:1:1 and YUY2 and both directions.
Backend DefaultYuvToRgbBackend(YuvLayout layout) {
    return layout == YuvLayout::Yuv420p ? Backend::Swscale : Backend::Own;
}

Backend DefaultRgbToYuvBackend(YuvLayout) {
    return Backend::Own;
}

YuvFrame SubFrame(const YuvFrame& frame, Rect area) {
    YuvFrame f = frame;
    f.width = area.width;
    f.height = area.height;
    if (frame.layout == YuvLayout::Yuy2) {
        f.planes[0] = frame.planes[0] + area.y * frame.strides[0] + area.x * 2;
        return f;
    }
    const int cx = area.x / ChromaBlockWidth(frame.layout);
    const int cy = area.y / ChromaBlockHeight(frame.layout);
    f.planes[0] = frame.planes[0] + area.y * frame.strides[0] + area.x;
    f.planes[1] = frame.planes[1] + cy * frame.strides[1] + cx;
    f.planes[2] = frame.planes[2] + cy * frame.strides[2] + cx;
    return f;
}

bool CopyYuvArea(const YuvFrame& src, const YuvFrame& dst, Rect area) {
    if (src.layout != dst.layout || src.width != dst.width || src.height != dst.height)
        return false;
    const Rect r = AlignToChromaBlocks(area, src.layout, src.width, src.height);
    if (r.width <= 0) return true;
    const YuvFrame from = SubFrame(src, r);
    const YuvFrame to = SubFrame(dst, r);
    const bool packed = src.layout == YuvLayout::Yuy2;
    const int planes = packed ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const int rows = p == 0 ? r.height : r.height / ChromaBlockHeight(src.layout);
        const int bytes = packed   ? r.width * 2
                          : p == 0 ? r.width
                                   : r.width / ChromaBlockWidth(src.layout);
        if (from.planes[p] == nullptr || to.planes[p] == nullptr) return false;
        for (int y = 0; y < rows; ++y)
            std::memcpy(to.planes[p] + y * to.strides[p], from.planes[p] + y * from.strides[p],
                        std::size_t(bytes));
    }
    return true;
}

Rgb24Frame SubFrame(const Rgb24Frame& frame, Rect area) {
    Rgb24Frame f = frame;
    f.width = area.width;
    f.height = area.height;
    f.top = frame.top + area.y * frame.stride + area.x * 3;
    return f;
}

ColorConverter::ColorConverter() = default;

ColorConverter::ColorConverter(Backend both) : forced_(true), forcedBackend_(both) {}

bool ColorConverter::YuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst) {
    const Backend b = forced_ ? forcedBackend_ : DefaultYuvToRgbBackend(src.layout);
    return b == Backend::Own || !SwsRgbWidthSafe(src.width) ? OwnYuvToRgb24(src, dst)
                                                            : sws_.YuvToRgb24(src, dst);
}

bool ColorConverter::Rgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst) {
    const Backend b = forced_ ? forcedBackend_ : DefaultRgbToYuvBackend(dst.layout);
    return b == Backend::Own ? OwnRgb24ToYuv(src, dst) : sws_.Rgb24ToYuv(src, dst);
}

namespace {
bool SameSize(const YuvFrame& yuv, const Rgb24Frame& rgb) {
    return yuv.width == rgb.width && yuv.height == rgb.height && yuv.width > 0 && yuv.height > 0;
}
} // namespace

bool ColorConverter::Rgb24ToYuvRect(const Rgb24Frame& src, const YuvFrame& dst, Rect area) {
    if (!SameSize(dst, src)) return false;
    const Rect r = AlignToChromaBlocks(area, dst.layout, dst.width, dst.height);
    if (r.width == 0) return true;
    // Small areas change size from frame to frame; swscale would rebuild its context each
    // time, so the rectangle path always uses our own converter unless told otherwise.
    const Backend b = forced_ ? forcedBackend_ : Backend::Own;
    const Rgb24Frame s = SubFrame(src, r);
    const YuvFrame d = SubFrame(dst, r);
    return b == Backend::Own ? OwnRgb24ToYuv(s, d) : sws_.Rgb24ToYuv(s, d);
}

bool ColorConverter::YuvToRgb24Rect(const YuvFrame& src, const Rgb24Frame& dst, Rect area) {
    if (!SameSize(src, dst)) return false;
    const Rect r = AlignToChromaBlocks(area, src.layout, src.width, src.height);
    if (r.width == 0) return true;
    const Backend b = forced_ ? forcedBackend_ : Backend::Own;
    const YuvFrame s = SubFrame(src, r);
    const Rgb24Frame d = SubFrame(dst, r);
    return b == Backend::Own || !SwsRgbWidthSafe(r.width) ? OwnYuvToRgb24(s, d)
                                                          : sws_.YuvToRgb24(s, d);
}

} // namespace talvence::colorconv
