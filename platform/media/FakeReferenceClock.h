#pragma once

// A reference clock that moves only when a test says so; advise requests fire as it passes them,
// on the thread that moves it.

#include "platform/media/AdviseList.h"
#include "platform/media/Interfaces.h"

#include <atomic>

namespace talvence {

class FakeReferenceClock : public TRefCounted<IReferenceClock> {
public:
    HRESULT GetTime(REFERENCE_TIME* time) override {
        if (!time) return E_POINTER;
        *time = now_;
        return S_OK;
    }
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                       DWORD_PTR* cookie) override {
        HRESULT hr = advises_.AddOneShot(baseTime + streamTime, event, cookie);
        if (SUCCEEDED(hr)) advises_.Fire(now_);
        return hr;
    }
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                           HSEMAPHORE semaphore, DWORD_PTR* cookie) override {
        HRESULT hr = advises_.AddPeriodic(startTime, periodTime, semaphore, cookie);
        if (SUCCEEDED(hr)) advises_.Fire(now_);
        return hr;
    }
    HRESULT Unadvise(DWORD_PTR cookie) override { return advises_.Remove(cookie); }

    void SetTime(REFERENCE_TIME t) {
        now_ = t;
        advises_.Fire(t);
    }
    void Advance(REFERENCE_TIME dt) { SetTime(now_ + dt); }

private:
    std::atomic<REFERENCE_TIME> now_{0};
    AdviseList advises_;
};

} // namespace talvence
