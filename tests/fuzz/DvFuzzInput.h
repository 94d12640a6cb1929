#pragma once
// Fuzz inputs for the DV parsers hold only the bytes those parsers read: of each DIF sequence,
// the header, subcode and VAUX blocks (0..5) and the nine audio blocks (6 + 16k), 1200 bytes.
// The 135 video blocks, which none of them reads, come out zero, so a seed of a few frames
// stays small and a mutation lands where it matters.
//
// An input is frames one after another: a control byte, then the frame's blocks (10 sequences
// when bit 0 is clear, 525/60; 12 when set, 625/50). An input that ends inside a frame gives a
// frame cut after its last byte, as a capture cut short would. Bits 1-2 of the control byte
// are for the target (the scene detector reads them as the sample's timing).
//
// Thread: any; plain functions.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvence::fuzz {

inline constexpr std::size_t kDvFuzzBytesPerSequence = 1200;

struct DvFuzzFrame {
    std::uint8_t control = 0;
    std::vector<std::uint8_t> bytes; // the whole frame, or a cut one
};

std::vector<DvFuzzFrame> DvFramesFromFuzzInput(const std::uint8_t* data, std::size_t size);

// The input that gives these frames back (whole frames of 10 or 12 sequences only), for
// making seeds from real frames.
std::vector<std::uint8_t>
DvFuzzInputFromFrames(const std::vector<std::vector<std::uint8_t>>& frames,
                      std::uint8_t control = 0);

} // namespace talvence::fuzz
