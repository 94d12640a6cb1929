#pragma once
// The DV Splitter's work apart from the graph: an interleaved DV frame in, the same frame for
// the 'dvsd' video output and the frame's audio as 16-bit little-endian PCM out. The audio is
// read from the frame's audio blocks directly (DvAudio.h); the output format is fixed by the
// first frame that carries audio.
//
// Threads: one object per streaming thread; nothing in it is guarded.

#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/media/filters/dv/DvFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace talvence::dvcodec {

struct DvSplitterOptions {
    // The stereo pair delivered: 0 (channels 1 and 2), or 1 for the second pair of 12-bit audio;
    // frames without that pair deliver no audio.
    int audioPair = 0;
};

struct DvSplitResult {
    bool accepted = false; // a whole frame of 144000 or 120000 bytes; nothing else is split
    DvSystem system = DvSystem::Pal625;
    std::span<const std::uint8_t> video; // the frame itself
    DvAudioStatus audioStatus = DvAudioStatus::Malformed;
    DvAudioSource audio;               // the frame's audio on Ok
    std::span<const std::uint8_t> pcm; // its samples, interleaved; empty without audio
    // The frame's audio has the rate and channels of audioFormat(); when false, the samples
    // are still given, in the frame's own format, for the caller to decide.
    bool matchesOutput = false;
};

class DvSplitterCore {
public:
    explicit DvSplitterCore(DvSplitterOptions options = {});

    // The result's spans point into `frame` and into this object's buffer; they stay valid
    // until the next call.
    DvSplitResult Split(std::span<const std::uint8_t> frame);

    // The audio output format, from the first frame with audio; nothing before it.
    const std::optional<WAVEFORMATEX>& audioFormat() const { return audioFormat_; }
    // The system of the first frame split.
    const std::optional<DvSystem>& videoSystem() const { return videoSystem_; }

    // Forgets the formats, for a new stream.
    void Reset();

private:
    DvSplitterOptions options_;
    std::vector<std::int16_t> samples_;
    std::vector<std::uint8_t> pcm_;
    std::optional<WAVEFORMATEX> audioFormat_;
    std::optional<DvSystem> videoSystem_;
};

} // namespace talvence::dvcodec
