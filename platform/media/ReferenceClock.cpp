#include "platform/media/ReferenceClock.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace talvence {

CSystemClock::~CSystemClock() {
    {
        std::lock_guard lock(timerMutex_);
        quit_ = true;
    }
    timerWake_.notify_all();
    if (timer_.joinable()) timer_.join();
}

HRESULT CSystemClock::GetTime(REFERENCE_TIME* time) {
    if (!time) return E_POINTER;
    using namespace std::chrono;
    const auto ns = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    const REFERENCE_TIME now = ns / 100;
    std::lock_guard lock(mutex_);
    if (now <= last_) {
        *time = last_;
        return S_FALSE;
    }
    last_ = now;
    *time = now;
    return S_OK;
}

HRESULT CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                                 DWORD_PTR* cookie) {
    HRESULT hr = advises_.AddOneShot(baseTime + streamTime, event, cookie);
    if (SUCCEEDED(hr)) Wake();
    return hr;
}

HRESULT CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                     HSEMAPHORE semaphore, DWORD_PTR* cookie) {
    HRESULT hr = advises_.AddPeriodic(startTime, periodTime, semaphore, cookie);
    if (SUCCEEDED(hr)) Wake();
    return hr;
}

HRESULT CSystemClock::Unadvise(DWORD_PTR cookie) {
    return advises_.Remove(cookie);
}

void CSystemClock::Wake() {
    {
        std::lock_guard lock(timerMutex_);
        changed_ = true;
        if (!timer_.joinable()) timer_ = std::thread([this] { TimerLoop(); });
    }
    timerWake_.notify_all();
}

void CSystemClock::TimerLoop() {
    pthread_setname_np(pthread_self(), "clock");
    std::unique_lock lock(timerMutex_);
    while (!quit_) {
        changed_ = false;
        REFERENCE_TIME now = 0;
        GetTime(&now);
        advises_.Fire(now);
        const auto next = advises_.NextDue();
        auto woken = [&] { return quit_ || changed_; };
        if (!next) {
            timerWake_.wait(lock, woken);
        } else {
            // Capped so that a far-off request cannot overflow the wait.
            const REFERENCE_TIME wait = std::clamp<REFERENCE_TIME>(*next - now, 0, 10'000'000);
            timerWake_.wait_for(lock, std::chrono::nanoseconds(wait * 100), woken);
        }
    }
}

} // namespace talvence
