#pragma once
// What the DV codec cores agree on: the two SD DV systems, the picture layouts the decoder
// writes and the encoder reads, views over pictures, and the format blocks the filters announce
// for them.
//
// Picture buffers follow the platform's conventions: RGB rows are stored bottom-up and padded to
// 32 bits (device-independent bitmaps); YUV pictures are stored top-down with their planes packed
// tight, one after another (Y, then U, then V).

#include "platform/media/DvConstants.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/HResult.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace talvence::dvcodec {

enum class DvSystem {
    Pal625, // 625 lines, 50 fields: 12 DIF sequences, 720x576, 4:2:0
    Ntsc525 // 525 lines, 60 fields: 10 DIF sequences, 720x480, 4:1:1
};

// The sizes of DvConstants.h under the codec's names for the two systems.
inline constexpr std::size_t kPalFrameBytes = kDvFrameBytes625;
inline constexpr std::size_t kNtscFrameBytes = kDvFrameBytes525;
using ::talvence::kDvWidth;

// The system a frame of this many bytes belongs to; nothing for any other size.
std::optional<DvSystem> SystemForFrameSize(std::size_t bytes);
std::size_t FrameBytes(DvSystem system);
int DifSequences(DvSystem system);
int FrameHeight(DvSystem system);
// 100 ns units: 400000 for 25 frames per second, 333667 for 30000/1001.
REFERENCE_TIME FrameDuration(DvSystem system);

enum class PixelLayout {
    Rgb24,   // B, G, R per pixel
    Rgb32,   // B, G, R, 0xFF per pixel
    Yuy2,    // Y0 U Y1 V per pixel pair
    Yuv420p, // planar, chroma at half width and half height (625-line DV's own)
    Yuv411p, // planar, chroma at quarter width, full height (525-line DV's own)
};

// The layout the DV codec itself works in for that system.
PixelLayout NativeLayout(DvSystem system);
bool IsPlanar(PixelLayout layout);
bool IsRgb(PixelLayout layout);
// Bytes of a picture of this layout and size in the platform convention; 0 when the size is
// not positive or not a whole number of chroma blocks.
std::size_t PictureBytes(PixelLayout layout, int width, int height);

// A view of a picture; it owns nothing. planes[0] is the top row of the picture and a stride
// steps one row down, so a bottom-up buffer has a negative stride. Packed layouts use plane 0
// only.
template <typename Byte> struct BasicPicture {
    PixelLayout layout = PixelLayout::Rgb24;
    int width = 0;
    int height = 0;
    Byte* planes[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t strides[3] = {0, 0, 0};
};
using Picture = BasicPicture<std::uint8_t>;
using ConstPicture = BasicPicture<const std::uint8_t>;

ConstPicture AsConst(const Picture& picture);

// The view of a buffer in the platform convention; nothing when the buffer is smaller than
// PictureBytes or the size is not usable.
std::optional<Picture> PictureOver(std::span<std::uint8_t> buffer, PixelLayout layout, int width,
                                   int height);
std::optional<ConstPicture> PictureOver(std::span<const std::uint8_t> buffer, PixelLayout layout,
                                        int width, int height);

// FourCC of a compression field, first character in the low byte.
constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<std::uint8_t>(a)) |
           static_cast<DWORD>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<DWORD>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<DWORD>(static_cast<std::uint8_t>(d)) << 24;
}
inline constexpr DWORD kFourCCdvsd = MakeFourCC('d', 'v', 's', 'd');

// Bitmap header and video format block of an uncompressed output picture of one DV frame.
BITMAPINFOHEADER BitmapHeaderFor(PixelLayout layout, int width, int height);
VIDEOINFOHEADER VideoInfoFor(DvSystem system, PixelLayout layout);
// The video format block of the compressed 'dvsd' stream.
VIDEOINFOHEADER DvsdVideoInfo(DvSystem system);

} // namespace talvence::dvcodec
