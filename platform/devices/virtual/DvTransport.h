#pragma once

// The virtual camcorder's tape transport in VCR mode: the transport mode and the head's place on
// a tape of a given length, moved one frame period at a time. Each step says whether the head
// reads a frame to send (and which), reads nothing (stopped, winding), or ran off the end while
// playing forward. Speeds: play 1, slow play 1/10, fast play 10, winding 20 frames per period
// (no picture while winding); reverse speeds the same backwards.
//
// Not thread-safe: its owner locks it.

#include "platform/media/CaptureInterfaces.h"

#include <cstdint>

namespace talvence {

class DvTransport {
public:
    // Sub-frame steps per frame, so that slow play moves by a tenth of a frame per period.
    static constexpr std::int64_t kSubFrames = 10;
    static constexpr std::int64_t kSlowSpeed = 1;
    static constexpr std::int64_t kPlaySpeed = kSubFrames;
    static constexpr std::int64_t kFastSpeed = 10 * kSubFrames;
    static constexpr std::int64_t kWindSpeed = 20 * kSubFrames;

    struct Step {
        enum Kind { Idle, Frame, EndOfTape } kind = Idle;
        std::uint64_t frame = 0; // for Frame: the tape frame under the head
    };

    // The tape starts stopped at its beginning.
    explicit DvTransport(std::uint64_t length) : length_(length) {}

    // False (nothing changed) for a mode code this transport does not know.
    bool SetMode(long mode);
    long Mode() const { return mode_; }
    // The frame under the head (the last one for a tape wound to its end); 0 on an empty tape.
    std::uint64_t Position() const;
    std::uint64_t Length() const { return length_; }

    // One frame period.
    Step Advance();

private:
    std::int64_t Speed() const; // sub-frames per period, signed; 0 when not moving
    bool ShowsPicture() const;

    std::uint64_t length_;
    long mode_ = ED_MODE_STOP;
    std::int64_t position_ = 0; // sub-frames from the beginning
};

} // namespace talvence
