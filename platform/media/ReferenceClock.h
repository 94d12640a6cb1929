#pragma once

// The graph's default reference clock: the monotonic system clock in 100-ns units, with a timer
// thread for advise requests. The thread is started by the first request and ended by the
// destructor. Any thread.

#include "platform/media/AdviseList.h"
#include "platform/media/Interfaces.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace talvence {

class CSystemClock : public TRefCounted<IReferenceClock> {
public:
    CSystemClock() = default;
    ~CSystemClock() override;

    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                       DWORD_PTR* cookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                           HSEMAPHORE semaphore, DWORD_PTR* cookie) override;
    HRESULT Unadvise(DWORD_PTR cookie) override;

private:
    void Wake();
    void TimerLoop();

    std::mutex mutex_;
    REFERENCE_TIME last_ = 0; // guarded by mutex_: answers never go backwards
    AdviseList advises_;

    std::mutex timerMutex_;
    std::condition_variable timerWake_;
    bool quit_ = false;    // timerMutex_
    bool changed_ = false; // timerMutex_: a request was added
    std::thread timer_;    // started under timerMutex_, joined by the destructor
};

} // namespace talvence
