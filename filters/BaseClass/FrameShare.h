#pragma once
// The share of frames a filter works on when downstream asks for fewer (quality messages from a
// preview renderer flooded by a source faster than real time), in thousandths. Each frame adds
// the share to a credit and is worked on when the credit reaches a whole frame, so the frames
// kept spread evenly over the stream.
//
// Threads: Set and Share from any thread; Reset, WillPassOver and PassOver on the streaming thread
// (under the filter's receive lock).

#include <algorithm>
#include <atomic>

namespace talvence {

class TFrameShare {
public:
    // Any thread: 1..1000 thousandths (values outside are clamped).
    void Set(long share) { share_ = std::clamp(share, 1L, 1000L); }
    long Share() const { return share_; }
    // Streaming thread, at the start of a run: every frame again.
    void Reset() {
        share_ = 1000;
        credit_ = 1000;
    }
    // Streaming thread: whether PassOver would pass the next frame over if the share stayed as
    // it is (asked before the frame exists, to spare work upstream).
    bool WillPassOver() const {
        const long share = share_;
        return share < 1000 && credit_ + share < 1000;
    }
    // Streaming thread: whether the next frame is to be passed over under the current share.
    bool PassOver() {
        const long share = share_;
        if (share >= 1000) {
            credit_ = 1000;
            return false;
        }
        credit_ += share;
        if (credit_ >= 1000) {
            credit_ -= 1000;
            return false;
        }
        return true;
    }

private:
    std::atomic<long> share_{1000};
    long credit_ = 1000;
};

} // namespace talvence
