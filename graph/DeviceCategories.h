#pragma once

// The category walker (one registry category of the system device enumerator, in enumeration
// order) and the lookups that give a filter slot its filter by friendly name or class id, plus
// the list of audio input devices.
//
// Missing entries are answers, not errors: false, -1 or null. Threads: application thread.

#include "graph/FilterGraphComponents.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvence {

struct TSysDevEntry {
    std::string FriendlyName; // "FriendlyName", at most 255 characters
    CLSID ClassId;            // "CLSID"; all zero when the entry has none

    bool operator==(const TSysDevEntry&) const = default;
};

class TSysDevEnum {
public:
    // Reads the entries of the category once. An empty or unknown category has none; a failure
    // of the enumerator raises EGraphError.
    TSysDevEnum(ComPtr<ICreateDevEnum> devEnum, const GUID& category);

    const GUID& Category() const { return category_; }
    int EntryCount() const { return static_cast<int>(entries_.size()); }
    // None for an index out of range.
    std::optional<TSysDevEntry> EntryAt(int index) const;
    // The highest index whose friendly name equals name regardless of letter case; -1 when none.
    int IndexOfName(std::string_view name) const;
    // The moniker of that entry, by enumerating the category again and skipping index entries;
    // null for an index out of range (or when the category shrank meanwhile).
    ComPtr<IMoniker> EntryMoniker(int index) const;

private:
    ComPtr<ICreateDevEnum> devEnum_;
    GUID category_;
    std::vector<TSysDevEntry> entries_;
};

// Gives slot the moniker of the entry IndexOfName finds in walker (the one walker over the filter
// category made at start-up). The slot keeps its graph membership.
bool FindFilterByName(const TSysDevEnum& walker, std::string_view friendlyName, TFilter& slot);
// Takes slot out of its graph, then gives it the first entry of category with that class id.
bool FindFilterByClsid(ICreateDevEnum* devEnum, const GUID& category, const CLSID& clsid,
                       TFilter& slot);
// Takes slot out of its graph, then gives it the entry of category IndexOfName finds.
bool FindDeviceByName(ICreateDevEnum* devEnum, const GUID& category, std::string_view friendlyName,
                      TFilter& slot);
// Clears list and adds the friendly name of every audio input device in enumeration order; false
// when the platform fails.
bool ListAudioDevices(ICreateDevEnum* devEnum, std::vector<std::string>& list);

} // namespace talvence
