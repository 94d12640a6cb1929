#include "graph/DeviceCategories.h"

#include "platform/media/GraphLog.h"
#include "platform/media/MediaGuids.h"

#include <QString>

namespace talvence {

namespace {

constexpr int kMaxFriendlyName = 255;

std::string ReadText(IPropertyBag* bag, const char* name, bool* found) {
    VARIANT value;
    value.vt = VT_BSTR;
    *found = SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR;
    return *found ? value.bstrVal : std::string();
}

// At most 255 characters (not bytes), never splitting a character.
std::string LimitName(const std::string& name) {
    QString text = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (text.size() <= kMaxFriendlyName) return name;
    int cut = kMaxFriendlyName;
    if (text.at(cut - 1).isHighSurrogate()) --cut;
    return text.left(cut).toStdString();
}

TSysDevEntry EntryOf(IMoniker* moniker) {
    TSysDevEntry entry;
    entry.ClassId = GUID_NULL;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid())) || !bag)
        return entry;
    bool found = false;
    entry.FriendlyName = LimitName(ReadText(bag.get(), "FriendlyName", &found));
    const std::string clsid = ReadText(bag.get(), "CLSID", &found);
    if (found) entry.ClassId = ParseGuid(clsid).value_or(GUID_NULL);
    return entry;
}

// The category's enumerator; null for an empty category. Raises for a failing enumerator.
ComPtr<IEnumMoniker> Enumerate(ICreateDevEnum* devEnum, const GUID& category) {
    if (!devEnum) throw EGraphError(E_POINTER, "No system device enumerator");
    ComPtr<IEnumMoniker> e;
    CheckGraphResult(devEnum->CreateClassEnumerator(category, e.put(), 0),
                     "The device category cannot be enumerated");
    return e;
}

} // namespace

TSysDevEnum::TSysDevEnum(ComPtr<ICreateDevEnum> devEnum, const GUID& category)
    : devEnum_(std::move(devEnum)), category_(category) {
    ComPtr<IEnumMoniker> e = Enumerate(devEnum_.get(), category_);
    if (!e) return;
    for (;;) {
        IMoniker* m = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &m, &fetched) != S_OK || fetched != 1) break;
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(m);
        entries_.push_back(EntryOf(moniker.get()));
    }
}

std::optional<TSysDevEntry> TSysDevEnum::EntryAt(int index) const {
    if (index < 0 || index >= EntryCount()) return std::nullopt;
    return entries_[static_cast<std::size_t>(index)];
}

int TSysDevEnum::IndexOfName(std::string_view name) const {
    const QString wanted = QString::fromUtf8(name.data(), qsizetype(name.size()));
    for (int i = EntryCount() - 1; i >= 0; --i) {
        const std::string& candidate = entries_[static_cast<std::size_t>(i)].FriendlyName;
        if (QString::fromUtf8(candidate.data(), qsizetype(candidate.size()))
                .compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

ComPtr<IMoniker> TSysDevEnum::EntryMoniker(int index) const {
    if (index < 0 || index >= EntryCount()) return nullptr;
    ComPtr<IEnumMoniker> e;
    try {
        e = Enumerate(devEnum_.get(), category_);
    } catch (const EGraphError& error) {
        TLOG(Device) << "Listing " << GuidText(category_) << ": " << error.what();
        return nullptr;
    }
    if (!e) return nullptr;
    if (index > 0 && e->Skip(ULONG(index)) != S_OK) return nullptr;
    IMoniker* m = nullptr;
    ULONG fetched = 0;
    if (e->Next(1, &m, &fetched) != S_OK || fetched != 1) return nullptr;
    return ComPtr<IMoniker>::Attach(m);
}

bool FindFilterByName(const TSysDevEnum& walker, std::string_view friendlyName, TFilter& slot) {
    const int index = walker.IndexOfName(friendlyName);
    if (index < 0) return false;
    ComPtr<IMoniker> moniker = walker.EntryMoniker(index);
    if (!moniker) return false;
    slot.SetBaseFilter(std::move(moniker));
    return true;
}

bool FindFilterByClsid(ICreateDevEnum* devEnum, const GUID& category, const CLSID& clsid,
                       TFilter& slot) {
    slot.SetFilterGraph(nullptr);
    try {
        TSysDevEnum walker(devEnum, category);
        for (int i = 0; i < walker.EntryCount(); ++i) {
            if (!(walker.EntryAt(i)->ClassId == clsid)) continue;
            ComPtr<IMoniker> moniker = walker.EntryMoniker(i);
            if (!moniker) return false;
            slot.SetBaseFilter(std::move(moniker));
            return true;
        }
    } catch (const EGraphError& e) {
        TLOG(Device) << "Finding " << FormatGuid(clsid) << " in " << GuidText(category) << ": "
                     << e.what();
    }
    return false;
}

bool FindDeviceByName(ICreateDevEnum* devEnum, const GUID& category, std::string_view friendlyName,
                      TFilter& slot) {
    slot.SetFilterGraph(nullptr);
    try {
        TSysDevEnum walker(devEnum, category);
        return FindFilterByName(walker, friendlyName, slot);
    } catch (const EGraphError& e) {
        TLOG(Device) << "Finding " << friendlyName << " in " << GuidText(category) << ": "
                     << e.what();
        return false;
    }
}

bool ListAudioDevices(ICreateDevEnum* devEnum, std::vector<std::string>& list) {
    list.clear();
    try {
        TSysDevEnum walker(devEnum, CLSID_AudioInputDeviceCategory);
        for (int i = 0; i < walker.EntryCount(); ++i)
            list.push_back(walker.EntryAt(i)->FriendlyName);
        return true;
    } catch (const EGraphError& e) {
        TLOG(Device) << "Listing the audio inputs: " << e.what();
        return false;
    }
}

} // namespace talvence
