#pragma once

// The waitable objects that reference clocks signal: an event and a counting semaphore, standing
// in for the platform's kernel handles. Any thread.

#include "platform/media/HResult.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

namespace talvence {

inline constexpr DWORD INFINITE = 0xFFFFFFFF;

class CAMEvent {
public:
    // Manual reset: stays set until Reset. Auto reset: one successful Wait clears it.
    explicit CAMEvent(bool manualReset = false) : manualReset_(manualReset) {}

    // Notifies under the lock: a waiter may destroy the event as soon as its Wait returns.
    void Set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    // False when ms elapsed without the event being set.
    bool Wait(DWORD ms = INFINITE) {
        std::unique_lock lock(mutex_);
        auto isSet = [&] { return set_; };
        if (ms == INFINITE)
            cv_.wait(lock, isSet);
        else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), isSet))
            return false;
        if (!manualReset_) set_ = false;
        return true;
    }
    bool Check() { return Wait(0); }

private:
    const bool manualReset_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false; // guarded by mutex_
};

class CAMSemaphore {
public:
    explicit CAMSemaphore(LONG initial = 0, LONG maximum = std::numeric_limits<LONG>::max())
        : count_(initial), maximum_(maximum) {}

    // False when the count would pass its maximum (the count is then unchanged).
    bool Release(LONG n = 1) {
        std::lock_guard lock(mutex_);
        if (n <= 0 || count_ > maximum_ - n) return false;
        count_ += n;
        cv_.notify_all();
        return true;
    }
    bool Wait(DWORD ms = INFINITE) {
        std::unique_lock lock(mutex_);
        auto available = [&] { return count_ > 0; };
        if (ms == INFINITE)
            cv_.wait(lock, available);
        else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), available))
            return false;
        --count_;
        return true;
    }
    LONG Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    LONG count_; // guarded by mutex_
    const LONG maximum_;
};

using HEVENT = CAMEvent*;
using HSEMAPHORE = CAMSemaphore*;
using DWORD_PTR = std::uintptr_t;

} // namespace talvence
