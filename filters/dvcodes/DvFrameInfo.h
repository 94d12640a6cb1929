#pragma once
// The per-frame record that the scene detector keeps for every DV frame, and
// the tape timecode it carries. Shared by the DV pack decoders, the scene
// detector and its readers (superposer, DV header filter, scene file writer),
// so it lives apart from any of them. Field order and types are fixed: other
// units copy these records whole.

#include <cstdint>

namespace talvence {

// Tape timecode as decoded from a DV subcode pack. A missing pack is reported
// as hours = 0xFF; any hours byte with bit 7 set means "not found", and the
// other three bytes then carry no meaning.
struct DvTimecode {
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;
};

struct DvFrameInfo {
    // Frames processed since the last stop before this frame; advanced by one
    // after the frame is processed.
    std::uint32_t frameCount = 0;
    bool hasRecDate = false;
    bool hasTimecode = false;
    // Timecode, source-control pack and audio source pack all present.
    bool infoComplete = false;
    // Recording date and time as days since 1899-12-30, time of day as the
    // fraction; 0 when hasRecDate is false.
    double recDateTime = 0.0;
    // Last timecode found; a frame without a timecode pack leaves it as it was.
    DvTimecode timecode;
    bool wideScreen = false;
    // 0 = 625/50, 1 = 525/60, 2 = not recognised.
    std::uint8_t videoSystem = 0;
    // 48000, 44100, 32000, 0 (unknown code) or -1 (no audio source pack).
    std::int32_t audioSampleRate = 0;
    // 16, 12, 0 (unknown code) or -1 (no audio source pack).
    std::int32_t audioBits = 0;
};

} // namespace talvence
