#include "tests/fuzz/DvFuzzInput.h"

#include <algorithm>

#include "platform/media/DvConstants.h"

namespace talvence::fuzz {

namespace {

constexpr std::size_t kKeptBlocksPerSequence = kDvFuzzBytesPerSequence / kDvDifBlockBytes; // 15

// Where kept byte i of a frame lies in the whole frame.
std::size_t FrameOffset(std::size_t i) {
    const std::size_t sequence = i / kDvFuzzBytesPerSequence;
    const std::size_t kept = i % kDvFuzzBytesPerSequence / kDvDifBlockBytes;
    const std::size_t block = kept < 6 ? kept : 6 + 16 * (kept - 6);
    return sequence * kDvSequenceBytes + block * kDvDifBlockBytes + i % kDvDifBlockBytes;
}

} // namespace

std::vector<DvFuzzFrame> DvFramesFromFuzzInput(const std::uint8_t* data, std::size_t size) {
    std::vector<DvFuzzFrame> frames;
    std::size_t at = 0;
    while (at < size) {
        DvFuzzFrame frame;
        frame.control = data[at++];
        const int sequences = frame.control & 1 ? kDvSequences625 : kDvSequences525;
        const std::size_t kept =
            std::min(size - at, std::size_t(sequences) * kDvFuzzBytesPerSequence);
        frame.bytes.assign(kept == 0 ? 0 : FrameOffset(kept - 1) + 1, 0);
        if (kept == std::size_t(sequences) * kDvFuzzBytesPerSequence)
            frame.bytes.resize(std::size_t(sequences) * kDvSequenceBytes, 0);
        for (std::size_t i = 0; i < kept; i += kDvDifBlockBytes) {
            const std::size_t length = std::min(kDvDifBlockBytes, kept - i);
            std::copy_n(data + at + i, length,
                        frame.bytes.begin() + std::ptrdiff_t(FrameOffset(i)));
        }
        at += kept;
        frames.push_back(std::move(frame));
    }
    return frames;
}

std::vector<std::uint8_t>
DvFuzzInputFromFrames(const std::vector<std::vector<std::uint8_t>>& frames, std::uint8_t control) {
    std::vector<std::uint8_t> input;
    for (const auto& frame : frames) {
        const bool pal = frame.size() == kDvFrameBytes625;
        input.push_back(std::uint8_t((control & ~1u) | (pal ? 1u : 0u)));
        const std::size_t kept = frame.size() / kDvSequenceBytes * kDvFuzzBytesPerSequence;
        for (std::size_t i = 0; i < kept; i += kDvDifBlockBytes) {
            const auto from = frame.begin() + std::ptrdiff_t(FrameOffset(i));
            input.insert(input.end(), from, from + std::ptrdiff_t(kDvDifBlockBytes));
        }
    }
    return input;
}

} // namespace talvence::fuzz
