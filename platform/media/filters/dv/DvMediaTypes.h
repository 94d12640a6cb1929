#pragma once
// The media types the DV filters offer and accept: compressed 'dvsd' video, interleaved DV with
// its DVINFO block, 16-bit PCM, and uncompressed pictures of one DV frame.

#include "platform/media/MediaType.h"
#include "platform/media/filters/dv/DvFormat.h"

#include <optional>

namespace talvence::dvcodec {

// The subtype of a picture layout, and back (nothing for other subtypes).
GUID SubtypeOf(PixelLayout layout);
std::optional<PixelLayout> LayoutOfSubtype(const GUID& subtype);

// The system of a DVINFO block: its 50/60 flag.
DvSystem SystemOfDvInfo(const DVINFO& info);
// The DVINFO of a stream of that system; without a sample rate it announces no audio.
DVINFO MakeDvInfo(DvSystem system, std::optional<int> sampleRate);

// MEDIATYPE_Video / 'dvsd' / VIDEOINFOHEADER, fixed-size frames.
CMediaType DvsdVideoType(DvSystem system);
// MEDIATYPE_Interleaved / 'dvsd' / DVINFO, fixed-size frames.
CMediaType InterleavedDvType(const DVINFO& info);
// MEDIATYPE_Audio / PCM / WAVEFORMATEX.
CMediaType PcmType(const WAVEFORMATEX& format);
// An uncompressed picture of one DV frame (720 wide, full height; RGB bottom-up).
CMediaType PictureType(DvSystem system, PixelLayout layout);

// The system of a 'dvsd' video or interleaved type with a usable format block; nothing for any
// other type.
std::optional<DvSystem> SystemOfDvsdType(const CMediaType& mt);

// An uncompressed video type the DV filters can read: its layout and size. RGB must be
// bottom-up (positive height); every size must be a whole number of chroma blocks.
struct PictureFormat {
    PixelLayout layout = PixelLayout::Rgb24;
    int width = 0;
    int height = 0;
};
std::optional<PictureFormat> PictureFormatOf(const CMediaType& mt);

} // namespace talvence::dvcodec
