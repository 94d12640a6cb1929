#pragma once
// Conversions between the YUV layouts of the DV decoder and encoder (planar 4:2:0 for 625-line
// DV, planar 4:1:1 for 525-line DV, packed YUY2) and 24-bit RGB in the platform's byte order
// (B, G, R per pixel, rows stored bottom-up). BT.601 limited range throughout, as DV uses.
//
// Two implementations sit behind one interface: our own integer converters and libswscale.
// ColorConverter picks the faster one per direction (measured in bench/superposer) unless told
// otherwise. The "rectangle" conversion writes back only part of a picture (the area the inlay
// touched) into an existing YUV frame.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace talvence::colorconv {

enum class YuvLayout {
    Yuv420p, // Y plane, then U and V at half width and half height
    Yuv411p, // Y plane, then U and V at quarter width, full height
    Yuy2,    // one plane: Y0 U Y1 V per pixel pair
};

// Pixels per chroma sample across and down.
int ChromaBlockWidth(YuvLayout layout);
int ChromaBlockHeight(YuvLayout layout);

// A view of a YUV picture; it owns nothing. Yuy2 uses planes[0] and strides[0] only.
struct YuvFrame {
    YuvLayout layout = YuvLayout::Yuv420p;
    int width = 0;
    int height = 0;
    std::uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t strides[3] = {0, 0, 0};
};

// Bytes of a tightly packed picture of this layout (planes one after another); 0 when the size
// is not a whole number of chroma blocks.
std::size_t YuvFrameSize(YuvLayout layout, int width, int height);
// A view over such a tightly packed buffer of at least YuvFrameSize bytes.
YuvFrame YuvFrameOver(std::uint8_t* buffer, YuvLayout layout, int width, int height);

// A view of a 24-bit B,G,R picture. `top` points at the top row of the picture and `stride`
// steps one row down the picture, so a bottom-up buffer has a negative stride.
struct Rgb24Frame {
    std::uint8_t* top = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// Bytes per stored row of a 24-bit device-independent bitmap: width × 3 rounded up to 4.
std::ptrdiff_t Rgb24Stride(int width);
// The view of a bottom-up buffer whose first stored row is the bottom of the picture.
Rgb24Frame BottomUpRgb24(std::uint8_t* buffer, int width, int height, std::ptrdiff_t rowBytes);

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// Grows r outwards to whole chroma blocks and clips it to the picture; empty when r misses it.
Rect AlignToChromaBlocks(Rect r, YuvLayout layout, int width, int height);

enum class Backend { Own, Swscale };

// The measured faster implementation of each direction.
Backend DefaultYuvToRgbBackend(YuvLayout layout);
Backend DefaultRgbToYuvBackend(YuvLayout layout);

// Our own converters; stateless and safe on any thread. They return false, writing nothing,
// when the views disagree in size, a pointer is missing, or the size is not a whole number of
// chroma blocks. Chroma is replicated when widening and averaged over its block when narrowing.
bool OwnYuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst);
bool OwnRgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst);

// libswscale's packed-RGB writers store whole groups of pixels and run up to 24 bytes past the
// end of a row whose width is not a multiple of 16 (past the buffer, for the top row of a
// bottom-up picture); only such widths are handed to it.
bool SwsRgbWidthSafe(int width);

// Converters on libswscale with their contexts cached per size and layout. One object per
// thread: the cached contexts are not shared safely.
class SwsConverter {
public:
    SwsConverter();
    ~SwsConverter();
    SwsConverter(const SwsConverter&) = delete;
    SwsConverter& operator=(const SwsConverter&) = delete;

    // Refuses widths that SwsRgbWidthSafe rejects.
    bool YuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst);
    bool Rgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst);

private:
    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
};

// The converter the Color Space Converter and the inlay pipeline use. One object per thread.
// Pictures that libswscale cannot write safely go to our own converters whatever the backend.
class ColorConverter {
public:
    ColorConverter();
    // Forces one implementation for both directions (tests, benchmarks).
    explicit ColorConverter(Backend both);

    bool YuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst);
    bool Rgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst);
    // Converts only `area` (picture coordinates from the top-left) of src into the same area of
    // dst, after growing it to whole chroma blocks; the rest of dst is left as it was. An area
    // that misses the picture converts nothing and succeeds.
    bool Rgb24ToYuvRect(const Rgb24Frame& src, const YuvFrame& dst, Rect area);
    // The same the other way, for refreshing a cached RGB copy of a YUV frame.
    bool YuvToRgb24Rect(const YuvFrame& src, const Rgb24Frame& dst, Rect area);

private:
    bool forced_ = false;
    Backend forcedBackend_ = Backend::Own;
    SwsConverter sws_;
};

// Sub-views of a picture; the area must lie inside it and, for YUV, on whole chroma blocks.
YuvFrame SubFrame(const YuvFrame& frame, Rect area);

// Copies `area`, grown to whole chroma blocks and clipped to the picture, of src into the same
// place of dst (same layout and size; false, nothing copied, otherwise). For pictures decoded
// only in part, whose other pixels nobody reads.
bool CopyYuvArea(const YuvFrame& src, const YuvFrame& dst, Rect area);
Rgb24Frame SubFrame(const Rgb24Frame& frame, Rect area);

} // namespace talvence::colorconv
