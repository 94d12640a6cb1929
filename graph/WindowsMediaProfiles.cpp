#include "graph/WindowsMediaProfiles.h"

#include "platform/media/MediaGuids.h"
#include "resources/Strings.h"

namespace talvence {

namespace {
constexpr std::size_t kMaxProfileName = 1024;
constexpr std::uint32_t kVersionCodes[] = {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0};
constexpr GUID kDefaultProfileIds[] = {kWmProfileHigh, kWmProfileMedium, kWmProfileLow,
                                       kWmProfileInternet};
} // namespace

std::uint32_t WmVersionCode(int versionIndex) {
    return versionIndex >= 0 && versionIndex < 3 ? kVersionCodes[versionIndex] : WMT_VER_8_0;
}

GUID DefaultProfileId(int profileIndex) {
    return profileIndex >= 0 && profileIndex < 4 ? kDefaultProfileIds[profileIndex]
                                                 : kWmProfileMedium;
}

std::vector<std::string> ListWindowsMediaProfiles(TWmProfileManager* manager, int versionIndex) {
    std::vector<std::string> entries{strings::kUseDefaultProfiles};
    if (!manager || FAILED(manager->SetSystemProfileVersion(WmVersionCode(versionIndex))))
        return entries;
    for (int k = 0; k < manager->GetSystemProfileCount(); ++k) {
        const std::optional<TWmProfile> profile = manager->LoadSystemProfile(k);
        if (!profile) break;
        std::string name = profile->GetName().substr(0, kMaxProfileName);
        if (!profile->FirstOfType(MEDIATYPE_Video)) name += strings::kNoVideoProfileSuffix;
        entries.push_back(std::move(name));
    }
    return entries;
}

int ProfileEntryIndex(const std::vector<std::string>& entries, const std::string& text) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == text) return static_cast<int>(i);
    return entries.empty() ? -1 : 0;
}

std::optional<TWmProfile> ChosenSystemProfile(TWmProfileManager& manager, int versionIndex,
                                              int cboxIndex) {
    if (cboxIndex < 1 || FAILED(manager.SetSystemProfileVersion(WmVersionCode(versionIndex))))
        return std::nullopt;
    return manager.LoadSystemProfile(cboxIndex - 1);
}

std::optional<TWmProfile> ProfileForCapture(TWmProfileManager& manager, int cboxIndex,
                                            int versionIndex, int profileIndex, bool withAudio) {
    std::optional<TWmProfile> profile =
        cboxIndex >= 1 ? ChosenSystemProfile(manager, versionIndex, cboxIndex)
                       : manager.LoadProfileByID(DefaultProfileId(profileIndex));
    if (!profile || withAudio) return profile;
    int highest = 0;
    for (const TWmStreamConfig& s : profile->Streams())
        highest = std::max<int>(highest, s.streamNumber);
    for (int number = highest; number >= 1; --number) {
        const TWmStreamConfig* s = profile->GetStreamByNumber(static_cast<std::uint16_t>(number));
        if (s && s->IsAudio()) profile->RemoveStreamByNumber(static_cast<std::uint16_t>(number));
    }
    return profile;
}

TProfileChoiceView OptionsframecboxdivxChange(bool formatIsWmv,
                                              const std::vector<std::string>& entries,
                                              int cboxIndex) {
    TProfileChoiceView view;
    view.defaultProfilesVisible = formatIsWmv && cboxIndex <= 0;
    view.profileLabelVisible = formatIsWmv && cboxIndex > 0;
    if (cboxIndex >= 0 && cboxIndex < static_cast<int>(entries.size()))
        view.favoriteProfile = entries[static_cast<std::size_t>(cboxIndex)];
    return view;
}

std::vector<TProfileMenuItem> pmProfilesPopup(const std::vector<std::string>& entries,
                                              int cboxIndex) {
    std::vector<TProfileMenuItem> items;
    for (std::size_t i = 0; i < entries.size(); ++i)
        items.push_back({entries[i], static_cast<int>(i), static_cast<int>(i) == cboxIndex});
    return items;
}

TProfileSelection capsetItem(bool formatIsWmv, const std::vector<std::string>& entries, int tag) {
    TProfileSelection selection;
    if (tag >= 0 && tag < static_cast<int>(entries.size())) {
        selection.cboxIndex = tag;
        selection.text = entries[static_cast<std::size_t>(tag)];
    }
    selection.view = OptionsframecboxdivxChange(formatIsWmv, entries, selection.cboxIndex);
    return selection;
}

TProfileControls ApplyWindowsMediaPreferences(TWmProfileManager* manager, bool formatIsWmv,
                                              int profileWmv, int versionWmv,
                                              const std::string& profilWmvFavori) {
    TProfileControls controls;
    controls.profileIndex = profileWmv;
    controls.versionIndex = versionWmv;
    controls.entries = ListWindowsMediaProfiles(manager, versionWmv);
    controls.selection = capsetItem(formatIsWmv, controls.entries,
                                    ProfileEntryIndex(controls.entries, profilWmvFavori));
    return controls;
}

} // namespace talvence
