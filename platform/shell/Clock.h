#pragma once
// The wall clock as the application reads it, behind an interface so that tests set the time
// (FakeClock.h). Any thread; the system clock holds no state.

#include "platform/shell/DateTime.h"

namespace talvence {

class IClock {
public:
    virtual ~IClock() = default;
    // The local date and time.
    virtual TDateTime Now() const = 0;
};

class TSystemClock : public IClock {
public:
    TDateTime Now() const override { return NowLocal(); }
};

// The one system clock of the process.
inline const IClock& SystemClock() {
    static const TSystemClock clock;
    return clock;
}

} // namespace talvence
