#include "platform/media/FilterRegistry.h"

#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <iterator>

namespace talvence {

namespace {
bool Matches(const GUID& registered, const GUID& wanted) {
    return registered == GUID_NULL || wanted == GUID_NULL || registered == wanted;
}
} // namespace

bool RegisteredFilter::HasOutputs() const {
    return std::any_of(pins.begin(), pins.end(),
                       [](const RegisteredPin& p) { return p.dir == PINDIR_OUTPUT; });
}

bool RegisteredFilter::AcceptsInput(const GUID& major, const GUID& sub) const {
    for (const RegisteredPin& pin : pins) {
        if (pin.dir != PINDIR_INPUT) continue;
        for (const REGPINTYPES& t : pin.types)
            if (Matches(t.clsMajorType, major) && Matches(t.clsMinorType, sub)) return true;
    }
    return false;
}

void FilterRegistry::Register(const GUID& category, RegisteredFilter entry) {
    std::lock_guard lock(mutex_);
    categories_[category].push_back(std::move(entry));
}

bool FilterRegistry::Unregister(const GUID& category, const CLSID& clsid) {
    return UnregisterIf(category, [&](const RegisteredFilter& f) { return f.clsid == clsid; });
}

bool FilterRegistry::UnregisterByProperty(const GUID& category, const std::string& name,
                                          const std::string& value) {
    return UnregisterIf(category, [&](const RegisteredFilter& f) {
        const auto it = f.properties.find(name);
        return it != f.properties.end() && it->second == value;
    });
}

bool FilterRegistry::UnregisterIf(const GUID& category,
                                  const std::function<bool(const RegisteredFilter&)>& match) {
    std::vector<RegisteredFilter> removed; // their factories are dropped outside the lock
    std::lock_guard lock(mutex_);
    auto it = categories_.find(category);
    if (it == categories_.end()) return false;
    auto& list = it->second;
    auto keep = std::stable_partition(list.begin(), list.end(),
                                      [&](const RegisteredFilter& f) { return !match(f); });
    std::move(keep, list.end(), std::back_inserter(removed));
    list.erase(keep, list.end());
    return !removed.empty();
}

std::vector<RegisteredFilter> FilterRegistry::Entries(const GUID& category) const {
    std::lock_guard lock(mutex_);
    auto it = categories_.find(category);
    return it == categories_.end() ? std::vector<RegisteredFilter>{} : it->second;
}

std::vector<RegisteredFilter> FilterRegistry::FindForInput(const GUID& major,
                                                           const GUID& sub) const {
    std::vector<RegisteredFilter> found;
    for (const RegisteredFilter& f : Entries(CLSID_LegacyAmFilterCategory))
        if (f.merit > MERIT_DO_NOT_USE && f.AcceptsInput(major, sub)) found.push_back(f);
    std::stable_sort(
        found.begin(), found.end(),
        [](const RegisteredFilter& a, const RegisteredFilter& b) { return a.merit > b.merit; });
    return found;
}

} // namespace talvence
