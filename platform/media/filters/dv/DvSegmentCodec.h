#pragma once
// Video segments of SD DV frames, on their own: where the five macroblocks of each segment lie in
// the picture and in the frame, which segments a set of picture areas touches, and the
// re-encoding of one segment from a picture into its five DIF blocks (IEC 61834: 8x8 DCT, class
// and quantisation number per block and macroblock chosen so that the segment fits its
// 5 x 77 bytes, run/amplitude codes spread over the block, macroblock and segment spaces).
//
// A DV frame codes every segment apart from the others, so a picture changed in a few places can
// be coded by re-encoding only the segments those places touch and keeping every other DIF block
// of the frame it was decoded from, bit for bit.
//
// Pure functions; any thread.

#include "platform/media/SampleSideData.h"
#include "platform/media/filters/dv/DvFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace talvence::dvcodec {

inline constexpr std::size_t kDifBlockBytes = 80;
inline constexpr int kSegmentsPerSequence = 27;
inline constexpr int kMacroblocksPerSegment = 5;

// Video segments of a frame: 27 per DIF sequence (270 for 525-line DV, 324 for 625-line DV),
// numbered sequence by sequence in the order of the frame.
int VideoSegmentCount(DvSystem system);

// The luma area of one macroblock: 16x16 for 625-line DV and the right edge of 525-line DV,
// 32x8 elsewhere in 525-line DV.
struct MacroblockArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Macroblock `index` (0-4, in the order of its DIF blocks) of video segment `segment`.
MacroblockArea MacroblockAreaOf(DvSystem system, int segment, int index);
// Where in the frame the DIF block of that macroblock starts.
std::size_t MacroblockBlockOffset(DvSystem system, int segment, int index);

// The segments, in increasing order, with a macroblock that any of the rectangles (top-down
// picture coordinates at full DV size) overlaps.
std::vector<int> SegmentsTouching(DvSystem system, std::span<const PixelRect> rects);

// The picture areas of the macroblocks of `segments`, neighbours in a row merged.
std::vector<PixelRect> SegmentAreas(DvSystem system, std::span<const int> segments);

// Re-encodes video segment `segment` of `frame` (FrameBytes(system) bytes) from `picture`, which
// must be in the system's native layout at full DV size. Only the segment's five DIF blocks
// change, and of those not the three ID bytes. False (nothing written) for an unusable picture,
// frame or segment number.
bool EncodeVideoSegment(DvSystem system, const ConstPicture& picture, int segment,
                        std::span<std::uint8_t> frame);

} // namespace talvence::dvcodec
