#pragma once

// The pending advise requests of a reference clock: what is due when, and firing it. The clock
// owns the list and decides when to call Fire (a timer thread, or a test moving a fake clock).
// Any thread; the list locks itself. An event or semaphore must live until its request fired
// (one shot) or Unadvise returned.

#include "platform/media/Interfaces.h"

#include <map>
#include <mutex>
#include <optional>

namespace talvence {

class AdviseList {
public:
    HRESULT AddOneShot(REFERENCE_TIME due, HEVENT event, DWORD_PTR* cookie);
    HRESULT AddPeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore,
                        DWORD_PTR* cookie);
    HRESULT Remove(DWORD_PTR cookie);
    // Signals everything due at `now`; periodic requests move on by whole periods.
    void Fire(REFERENCE_TIME now);
    // The earliest pending due time.
    std::optional<REFERENCE_TIME> NextDue() const;

private:
    struct Request {
        REFERENCE_TIME due;
        REFERENCE_TIME period; // 0: one shot
        HEVENT event;
        HSEMAPHORE semaphore;
    };
    mutable std::mutex mutex_;
    std::map<DWORD_PTR, Request> requests_; // guarded by mutex_
    DWORD_PTR nextCookie_ = 1;              // guarded by mutex_
};

} // namespace talvence
