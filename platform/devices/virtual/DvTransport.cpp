#include "platform/devices/virtual/DvTransport.h"

#include <algorithm>

namespace talvence {

bool DvTransport::SetMode(long mode) {
    switch (mode) {
    case ED_MODE_PLAY:
    case ED_MODE_STOP:
    case ED_MODE_FREEZE:
    case ED_MODE_FF:
    case ED_MODE_REW:
    case ED_MODE_PLAY_FASTEST_FWD:
    case ED_MODE_PLAY_SLOWEST_FWD:
    case ED_MODE_PLAY_FASTEST_REV:
    case ED_MODE_PLAY_SLOWEST_REV:
        mode_ = mode;
        return true;
    case ED_MODE_THAW:
        // Thaw only resumes a frozen picture; in any other mode it changes nothing.
        if (mode_ == ED_MODE_FREEZE) mode_ = ED_MODE_PLAY;
        return true;
    default:
        return false;
    }
}

std::uint64_t DvTransport::Position() const {
    if (length_ == 0) return 0;
    return std::min<std::uint64_t>(static_cast<std::uint64_t>(position_ / kSubFrames), length_ - 1);
}

std::int64_t DvTransport::Speed() const {
    switch (mode_) {
    case ED_MODE_PLAY:
        return kPlaySpeed;
    case ED_MODE_FF:
        return kWindSpeed;
    case ED_MODE_REW:
        return -kWindSpeed;
    case ED_MODE_PLAY_FASTEST_FWD:
        return kFastSpeed;
    case ED_MODE_PLAY_SLOWEST_FWD:
        return kSlowSpeed;
    case ED_MODE_PLAY_FASTEST_REV:
        return -kFastSpeed;
    case ED_MODE_PLAY_SLOWEST_REV:
        return -kSlowSpeed;
    default:
        return 0;
    }
}

bool DvTransport::ShowsPicture() const {
    return mode_ != ED_MODE_STOP && mode_ != ED_MODE_FF && mode_ != ED_MODE_REW;
}

DvTransport::Step DvTransport::Advance() {
    Step step;
    const std::int64_t end = static_cast<std::int64_t>(length_) * kSubFrames;
    const std::int64_t last = end == 0 ? 0 : end - kSubFrames;
    const std::int64_t speed = Speed();
    if (!ShowsPicture()) {
        // Winding stops at either end of the tape, as the mechanism does.
        position_ = std::clamp<std::int64_t>(position_ + speed, 0, last);
        if ((speed > 0 && position_ == last) || (speed < 0 && position_ == 0)) mode_ = ED_MODE_STOP;
        return step;
    }
    if (position_ >= end) {
        // Played off the end: the tape stops on its last frame.
        position_ = last;
        mode_ = ED_MODE_STOP;
        step.kind = Step::EndOfTape;
        return step;
    }
    step.kind = Step::Frame;
    step.frame = static_cast<std::uint64_t>(position_ / kSubFrames);
    position_ += speed;
    if (position_ < 0) {
        // Played back to the beginning: the tape stops there.
        position_ = 0;
        mode_ = ED_MODE_STOP;
    }
    return step;
}

} // namespace talvence
