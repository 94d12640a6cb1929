#include "platform/media/AdviseList.h"

#include <algorithm>

namespace talvence {

HRESULT AdviseList::AddOneShot(REFERENCE_TIME due, HEVENT event, DWORD_PTR* cookie) {
    if (!event || !cookie) return E_POINTER;
    if (due <= 0) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    *cookie = nextCookie_++;
    requests_[*cookie] = {due, 0, event, nullptr};
    return S_OK;
}

HRESULT AdviseList::AddPeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore,
                                DWORD_PTR* cookie) {
    if (!semaphore || !cookie) return E_POINTER;
    if (start < 0 || period <= 0) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    *cookie = nextCookie_++;
    requests_[*cookie] = {start, period, nullptr, semaphore};
    return S_OK;
}

HRESULT AdviseList::Remove(DWORD_PTR cookie) {
    std::lock_guard lock(mutex_);
    return requests_.erase(cookie) ? S_OK : S_FALSE;
}

void AdviseList::Fire(REFERENCE_TIME now) {
    // Signalled under the lock, so that once Unadvise has returned the object is not touched.
    std::lock_guard lock(mutex_);
    for (auto it = requests_.begin(); it != requests_.end();) {
        Request& r = it->second;
        if (r.due > now) {
            ++it;
            continue;
        }
        if (r.period == 0) {
            r.event->Set();
            it = requests_.erase(it);
            continue;
        }
        // A clock that jumped over several periods owes one release for each.
        const REFERENCE_TIME periods = (now - r.due) / r.period + 1;
        r.semaphore->Release(static_cast<LONG>(std::min<REFERENCE_TIME>(periods, 1 << 30)));
        r.due += periods * r.period;
        ++it;
    }
}

std::optional<REFERENCE_TIME> AdviseList::NextDue() const {
    std::lock_guard lock(mutex_);
    std::optional<REFERENCE_TIME> next;
    for (auto& [cookie, r] : requests_)
        if (!next || r.due < *next) next = r.due;
    return next;
}

} // namespace talvence
