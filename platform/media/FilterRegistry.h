#pragma once

// The registry of filters: for each category (a device or filter category GUID) the entries in
// enumeration order, each with its friendly name, class id, merit, the media types of its pins,
// further property-bag values ("DevicePath", "Description") and a factory. The graph's
// intelligent connection reads the filter category; the system device enumerator lists any
// category. Built-in filters and devices register at start-up; tests build their own registry.
//
// Threads: any; the registry locks itself. Factories run on the caller's thread.

#include "platform/media/Interfaces.h"

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace talvence {

inline constexpr DWORD MERIT_PREFERRED = 0x800000;
inline constexpr DWORD MERIT_NORMAL = 0x600000;
inline constexpr DWORD MERIT_UNLIKELY = 0x400000;
inline constexpr DWORD MERIT_DO_NOT_USE = 0x200000;
inline constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
inline constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;

// A media type a registered pin handles; GUID_NULL is a wildcard.
struct REGPINTYPES {
    GUID clsMajorType;
    GUID clsMinorType;
};

struct RegisteredPin {
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::vector<REGPINTYPES> types;
};

struct RegisteredFilter {
    CLSID clsid;
    std::string friendlyName;
    DWORD merit = MERIT_DO_NOT_USE;
    std::vector<RegisteredPin> pins;
    std::map<std::string, std::string> properties; // other property-bag values
    std::function<ComPtr<IBaseFilter>()> create;   // null or returning null: cannot be made

    bool HasOutputs() const;
    // An input pin handles the type (major and subtype, wildcards allowed on either side).
    bool AcceptsInput(const GUID& major, const GUID& sub) const;
};

class FilterRegistry {
public:
    void Register(const GUID& category, RegisteredFilter entry);
    // Removes every entry of the category with this class id; false when there was none.
    bool Unregister(const GUID& category, const CLSID& clsid);
    // Removes the entries of the category whose property `name` is `value` (a device by its
    // "DevicePath"); false when there was none.
    bool UnregisterByProperty(const GUID& category, const std::string& name,
                              const std::string& value);
    std::vector<RegisteredFilter> Entries(const GUID& category) const;
    // Entries of the filter category above MERIT_DO_NOT_USE with an input for the type, highest
    // merit first (registration order among equals).
    std::vector<RegisteredFilter> FindForInput(const GUID& major, const GUID& sub) const;

private:
    bool UnregisterIf(const GUID& category,
                      const std::function<bool(const RegisteredFilter&)>& match);

    mutable std::mutex mutex_;
    std::map<GUID, std::vector<RegisteredFilter>, bool (*)(const GUID&, const GUID&)> categories_{
        [](const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) < 0; }};
};

} // namespace talvence
