#include "graph/videosources.h"

#include "graph/DeviceCategories.h"
#include "platform/log/Log.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MediaType.h"
#include "platform/media/PinWalk.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

namespace talvence {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return QString::fromUtf8(a.data(), qsizetype(a.size()))
               .compare(QString::fromUtf8(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

// The binding match of an entry's friendly name to a source's (both exact).
bool FriendlyNameMatches(const std::string& entryName, const std::string& sourceName) {
    return entryName == sourceName ||
           (entryName == kCirrusSourceName && sourceName == kCirrusDisplayName);
}

std::string BaseDisplayName(const std::string& friendlyName) {
    return friendlyName == kCirrusSourceName ? std::string(kCirrusDisplayName) : friendlyName;
}

// One entry of the video input category as the catalogue sees it.
struct TDeviceEntry {
    ComPtr<IMoniker> moniker;
    std::string friendlyName;
    bool hasPath = false;
    std::string path;
};

enum class EntryRead { Ok, NoBag, Failed };

// Entry index of walker: its moniker, and its path from the entry's property bag.
EntryRead ReadEntry(const TSysDevEnum& walker, int index, TDeviceEntry& entry) {
    entry.moniker = walker.EntryMoniker(index);
    // The walker's entry is there, so a missing moniker means the platform failed (or the
    // category changed under the walk).
    if (!entry.moniker) return EntryRead::Failed;
    entry.friendlyName = walker.EntryAt(index)->FriendlyName;
    ComPtr<IPropertyBag> bag;
    if (FAILED(entry.moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid())) ||
        !bag)
        return EntryRead::NoBag;
    VARIANT value;
    value.vt = VT_BSTR;
    entry.hasPath = SUCCEEDED(bag->Read("DevicePath", &value, nullptr)) && value.vt == VT_BSTR;
    entry.path = entry.hasPath ? value.bstrVal : std::string();
    return EntryRead::Ok;
}

std::string LowestFreeName(const TvideoSourceList& known, const std::string& base, int* index) {
    int n = 1;
    std::string candidate = base;
    while (!known.IsDisplayNameFree(candidate)) {
        ++n;
        candidate = base + " #" + std::to_string(n);
    }
    *index = n;
    return candidate;
}

} // namespace

std::string SourceKindTag(SourceKind kind) {
    switch (kind) {
    case SourceKind::skDv:
        return " DV";
    case SourceKind::skMovieBox:
        return " MBX";
    case SourceKind::skMpeg2Stream:
        return " MPEG2";
    case SourceKind::skCapturePin:
    case SourceKind::skNone:
        break;
    }
    return {};
}

std::chrono::milliseconds LocalTimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    // A leap second folds into second 59.
    return std::chrono::hours(local.tm_hour) + std::chrono::minutes(local.tm_min) +
           std::chrono::seconds(std::min(local.tm_sec, 59)) + ms;
}

std::string UnknownDevicePath(std::chrono::milliseconds timeOfDay) {
    // Wrapped into one day, so a clock that strays still gives nine digits.
    const long long day = 24LL * 3600 * 1000;
    const long long ms = ((timeOfDay.count() % day) + day) % day;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld%02lld%02lld%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return std::string("unknown") + text;
}

TvideoSourceList::TvideoSourceList(TTimeOfDayClock clock)
    : clock_(clock ? std::move(clock) : TTimeOfDayClock(LocalTimeOfDay)) {}

TvideoSourceList::~TvideoSourceList() {
    while (!sources_.empty())
        sources_.pop_back();
}

TvideoSource* TvideoSourceList::Source(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return sources_[static_cast<std::size_t>(index)].get();
}

int TvideoSourceList::IndexOfPath(std::string_view path) const {
    for (int i = 0; i < Count(); ++i) {
        const TvideoSource& s = *sources_[static_cast<std::size_t>(i)];
        if (s.PathFromDevice && SameIgnoringCase(s.DevicePath, path)) return i;
    }
    return -1;
}

bool TvideoSourceList::IsDisplayNameFree(std::string_view name) const {
    return std::none_of(sources_.begin(), sources_.end(),
                        [&](const auto& s) { return s->Name == name; });
}

TvideoSource* TvideoSourceList::Add(std::unique_ptr<TvideoSource> source) {
    sources_.push_back(std::move(source));
    return sources_.back().get();
}

bool TvideoSourceList::Remove(const TvideoSource* source) {
    auto it = std::find_if(sources_.begin(), sources_.end(),
                           [&](const auto& s) { return s.get() == source; });
    if (it == sources_.end()) return false;
    sources_.erase(it);
    return true;
}

bool IsDisplayNameFree(const TvideoSourceList& known, std::string_view name) {
    return known.IsDisplayNameFree(name);
}

bool EnumerateVideoSources(ICreateDevEnum* devEnum, TvideoSourceList& known,
                           TVideoSourceDisplayList& display) {
    display.clear();
    try {
        TSysDevEnum walker(devEnum, CLSID_VideoInputDeviceCategory);
        // Per friendly name: how many devices without a path this walk has met.
        std::map<std::string, int> pathlessSeen;
        for (int i = 0; i < walker.EntryCount(); ++i) {
            TDeviceEntry entry;
            const EntryRead read = ReadEntry(walker, i, entry);
            if (read == EntryRead::Failed) return false;
            if (read == EntryRead::NoBag) continue;

            TvideoSource* source = nullptr;
            int ordinal = 0;
            if (entry.hasPath) {
                source = known.Source(known.IndexOfPath(entry.path));
            } else {
                // Counted the way BindVideoSource counts, so the ordinal finds this device again.
                for (const auto& [name, seen] : pathlessSeen)
                    if (FriendlyNameMatches(name, entry.friendlyName)) ordinal += seen;
                ++ordinal;
                ++pathlessSeen[entry.friendlyName];
                for (int k = 0; k < known.Count() && !source; ++k) {
                    TvideoSource* candidate = known.Source(k);
                    const bool listed =
                        std::any_of(display.begin(), display.end(),
                                    [&](const auto& item) { return item.Source == candidate; });
                    if (!candidate->PathFromDevice &&
                        candidate->FriendlyName == entry.friendlyName && !listed)
                        source = candidate;
                }
                if (source) source->PathlessOrdinal = ordinal;
            }
            if (!source) {
                auto created = std::make_unique<TvideoSource>();
                created->FriendlyName = entry.friendlyName;
                created->Name =
                    LowestFreeName(known, BaseDisplayName(entry.friendlyName), &created->Index);
                created->PathFromDevice = entry.hasPath;
                created->DevicePath =
                    entry.hasPath ? entry.path : UnknownDevicePath(known.Clock()());
                created->PathlessOrdinal = ordinal;
                source = known.Add(std::move(created));
            }
            display.push_back({source->Name, source});
        }
        return true;
    } catch (const EGraphError& e) {
        TLOG(Device) << "Listing the video sources: " << e.what();
        return false;
    }
}

bool BindVideoSource(ICreateDevEnum* devEnum, const TvideoSource& source, TFilter& slot) {
    slot.SetFilterGraph(nullptr);
    try {
        TSysDevEnum walker(devEnum, CLSID_VideoInputDeviceCategory);
        int pathless = 0;
        for (int i = 0; i < walker.EntryCount(); ++i) {
            TDeviceEntry entry;
            const EntryRead read = ReadEntry(walker, i, entry);
            if (read == EntryRead::Failed) return false;
            if (read == EntryRead::NoBag) continue;
            bool found = false;
            if (source.PathFromDevice) {
                found = entry.hasPath && SameIgnoringCase(entry.path, source.DevicePath);
            } else if (!entry.hasPath &&
                       FriendlyNameMatches(entry.friendlyName, source.FriendlyName)) {
                found = ++pathless == source.PathlessOrdinal;
            }
            if (found) {
                slot.SetBaseFilter(std::move(entry.moniker));
                return true;
            }
        }
    } catch (const EGraphError& e) {
        TLOG(Device) << "Finding video source " << source.FriendlyName << ": " << e.what();
    }
    return false;
}

bool RemoveVideoSource(TvideoSourceList& known, TVideoSourceDisplayList& display,
                       const TvideoSource* source) {
    std::erase_if(display, [&](const TVideoSourceItem& item) { return item.Source == source; });
    return known.Remove(source);
}

TSourcePinChoice ChooseSourcePins(const std::vector<TSourcePinFacts>& pins,
                                  const CLSID& filterClassId) {
    auto first = [&](auto&& wanted) {
        for (std::size_t i = 0; i < pins.size(); ++i)
            if (pins[i].Output && !pins[i].Connected && wanted(pins[i])) return int(i);
        return -1;
    };
    auto ofMajorType = [](const GUID& major) {
        return [major](const TSourcePinFacts& pin) {
            return std::find(pin.MajorTypes.begin(), pin.MajorTypes.end(), major) !=
                   pin.MajorTypes.end();
        };
    };

    TSourcePinChoice choice;
    if ((choice.MainPin = first(ofMajorType(MEDIATYPE_Stream))) >= 0) {
        choice.Kind = filterClassId == CLSID_MovieBoxUsbCapture ? SourceKind::skMovieBox
                                                                : SourceKind::skMpeg2Stream;
    } else if ((choice.MainPin = first(ofMajorType(MEDIATYPE_Interleaved))) >= 0) {
        choice.Kind = SourceKind::skDv;
    } else {
        choice.Kind = SourceKind::skCapturePin;
        choice.MainPin =
            first([](const TSourcePinFacts& pin) { return pin.Category == PIN_CATEGORY_CAPTURE; });
    }
    choice.AudioPin = first(ofMajorType(MEDIATYPE_Audio));
    return choice;
}

std::vector<TSourcePinFacts> ReadSourcePins(IBaseFilter* filter) {
    std::vector<TSourcePinFacts> facts;
    if (!filter) return facts;
    ForEachPin(filter, [&](IPin* pin) {
        TSourcePinFacts pinFacts;
        pinFacts.Output = HasDirection(pin, PINDIR_OUTPUT);
        pinFacts.Connected = IsConnected(pin);
        pinFacts.MajorTypes = MajorTypesOf(pin);
        pinFacts.Category = CategoryOf(pin).value_or(GUID_NULL);
        facts.push_back(std::move(pinFacts));
    });
    return facts;
}

} // namespace talvence
