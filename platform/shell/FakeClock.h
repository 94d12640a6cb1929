#pragma once
// A clock for tests: it shows the time it was set to, standing still, or running on from there
// at the pace of the steady clock. Set it from the test's thread only.

#include "platform/shell/Clock.h"

#include <chrono>

namespace talvence {

class FakeClock : public IClock {
public:
    void Set(TDateTime now, bool running = false) {
        now_ = now;
        running_ = running;
        setAt_ = std::chrono::steady_clock::now();
    }
    void Advance(double seconds) { now_ += seconds / 86400.0; }

    TDateTime Now() const override {
        if (!running_) return now_;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - setAt_;
        return now_ + elapsed.count() / 86400.0;
    }

private:
    TDateTime now_ = 0;
    bool running_ = false;
    std::chrono::steady_clock::time_point setAt_;
};

} // namespace talvence
