#include "platform/media/filters/dv/DvFormat.h"

namespace talvence::dvcodec {
namespace {

int ChromaWidth(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Yuy2:
    case PixelLayout::Yuv420p:
        return 2;
    case PixelLayout::Yuv411p:
        return 4;
    default:
        return 1;
    }
}

int ChromaHeight(PixelLayout layout) {
    return layout == PixelLayout::Yuv420p ? 2 : 1;
}

std::ptrdiff_t RowBytes(PixelLayout layout, int width) {
    switch (layout) {
    case PixelLayout::Rgb24:
        return DibRowBytes(width, 24);
    case PixelLayout::Rgb32:
        return DibRowBytes(width, 32);
    case PixelLayout::Yuy2:
        return std::ptrdiff_t(width) * 2;
    default:
        return width;
    }
}

bool Usable(PixelLayout layout, int width, int height) {
    // The upper bound keeps every byte count well inside 32 bits, as the format blocks need.
    constexpr int kLargest = 16384;
    return width > 0 && height > 0 && width <= kLargest && height <= kLargest &&
           width % ChromaWidth(layout) == 0 && height % ChromaHeight(layout) == 0;
}

template <typename Byte>
std::optional<BasicPicture<Byte>> ViewOver(std::span<Byte> buffer, PixelLayout layout, int width,
                                           int height) {
    const std::size_t needed = PictureBytes(layout, width, height);
    if (needed == 0 || buffer.size() < needed) return std::nullopt;
    BasicPicture<Byte> p;
    p.layout = layout;
    p.width = width;
    p.height = height;
    const std::ptrdiff_t row = RowBytes(layout, width);
    if (IsRgb(layout)) {
        // Bottom-up: the top row of the picture is the last one stored.
        p.planes[0] = buffer.data() + row * (height - 1);
        p.strides[0] = -row;
    } else if (layout == PixelLayout::Yuy2) {
        p.planes[0] = buffer.data();
        p.strides[0] = row;
    } else {
        const std::ptrdiff_t chromaRow = width / ChromaWidth(layout);
        const std::ptrdiff_t lumaBytes = row * height;
        const std::ptrdiff_t chromaBytes = chromaRow * (height / ChromaHeight(layout));
        p.planes[0] = buffer.data();
        p.planes[1] = buffer.data() + lumaBytes;
        p.planes[2] = buffer.data() + lumaBytes + chromaBytes;
        p.strides[0] = row;
        p.strides[1] = chromaRow;
        p.strides[2] = chromaRow;
    }
    return p;
}

} // namespace

std::optional<DvSystem> SystemForFrameSize(std::size_t bytes) {
    if (bytes == kPalFrameBytes) return DvSystem::Pal625;
    if (bytes == kNtscFrameBytes) return DvSystem::Ntsc525;
    return std::nullopt;
}

std::size_t FrameBytes(DvSystem system) {
    return system == DvSystem::Pal625 ? kPalFrameBytes : kNtscFrameBytes;
}

int DifSequences(DvSystem system) {
    return system == DvSystem::Pal625 ? kDvSequences625 : kDvSequences525;
}

int FrameHeight(DvSystem system) {
    return system == DvSystem::Pal625 ? kDvHeight625 : kDvHeight525;
}

REFERENCE_TIME FrameDuration(DvSystem system) {
    return system == DvSystem::Pal625 ? kDvFrameTime625 : kDvFrameTime525;
}

PixelLayout NativeLayout(DvSystem system) {
    return system == DvSystem::Pal625 ? PixelLayout::Yuv420p : PixelLayout::Yuv411p;
}

bool IsPlanar(PixelLayout layout) {
    return layout == PixelLayout::Yuv420p || layout == PixelLayout::Yuv411p;
}

bool IsRgb(PixelLayout layout) {
    return layout == PixelLayout::Rgb24 || layout == PixelLayout::Rgb32;
}

std::size_t PictureBytes(PixelLayout layout, int width, int height) {
    if (!Usable(layout, width, height)) return 0;
    const std::size_t luma = std::size_t(RowBytes(layout, width)) * std::size_t(height);
    if (!IsPlanar(layout)) return luma;
    const std::size_t chroma =
        std::size_t(width / ChromaWidth(layout)) * std::size_t(height / ChromaHeight(layout));
    return luma + 2 * chroma;
}

ConstPicture AsConst(const Picture& picture) {
    ConstPicture c;
    c.layout = picture.layout;
    c.width = picture.width;
    c.height = picture.height;
    for (int i = 0; i < 3; ++i) {
        c.planes[i] = picture.planes[i];
        c.strides[i] = picture.strides[i];
    }
    return c;
}

std::optional<Picture> PictureOver(std::span<std::uint8_t> buffer, PixelLayout layout, int width,
                                   int height) {
    return ViewOver(buffer, layout, width, height);
}

std::optional<ConstPicture> PictureOver(std::span<const std::uint8_t> buffer, PixelLayout layout,
                                        int width, int height) {
    return ViewOver(buffer, layout, width, height);
}

BITMAPINFOHEADER BitmapHeaderFor(PixelLayout layout, int width, int height) {
    BITMAPINFOHEADER h;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    switch (layout) {
    case PixelLayout::Rgb24:
        h.biBitCount = 24;
        h.biCompression = BI_RGB;
        break;
    case PixelLayout::Rgb32:
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        break;
    case PixelLayout::Yuy2:
        h.biBitCount = 16;
        h.biCompression = MakeFourCC('Y', 'U', 'Y', '2');
        break;
    case PixelLayout::Yuv420p:
        h.biBitCount = 12;
        h.biCompression = MakeFourCC('I', '4', '2', '0');
        break;
    case PixelLayout::Yuv411p:
        h.biBitCount = 12;
        h.biCompression = MakeFourCC('Y', '4', '1', 'B');
        break;
    }
    h.biSizeImage = static_cast<DWORD>(PictureBytes(layout, width, height));
    return h;
}

namespace {

VIDEOINFOHEADER VideoInfoWith(DvSystem system, const BITMAPINFOHEADER& header) {
    VIDEOINFOHEADER v;
    const LONG height = FrameHeight(system);
    v.rcSource = RECT{0, 0, kDvWidth, height};
    v.rcTarget = RECT{0, 0, kDvWidth, height};
    v.AvgTimePerFrame = FrameDuration(system);
    // Bits per second of the stream at the nominal frame rate.
    v.dwBitRate = static_cast<DWORD>(std::uint64_t(header.biSizeImage) * 8 * 10000000 /
                                     std::uint64_t(v.AvgTimePerFrame));
    v.bmiHeader = header;
    return v;
}

} // namespace

VIDEOINFOHEADER VideoInfoFor(DvSystem system, PixelLayout layout) {
    return VideoInfoWith(system, BitmapHeaderFor(layout, kDvWidth, FrameHeight(system)));
}

VIDEOINFOHEADER DvsdVideoInfo(DvSystem system) {
    BITMAPINFOHEADER h;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = kDvWidth;
    h.biHeight = FrameHeight(system);
    h.biPlanes = 1;
    // What 'dvsd' streams of type-2 AVI files carry, so readers of our files see the usual value.
    h.biBitCount = 24;
    h.biCompression = kFourCCdvsd;
    h.biSizeImage = static_cast<DWORD>(FrameBytes(system));
    return VideoInfoWith(system, h);
}

} // namespace talvence::dvcodec
