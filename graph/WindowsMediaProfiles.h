#pragma once
// The Windows Media profile choice of the settings and sources panels, as plain functions over
// the profile manager and the controls' values, so that the window only shows what they answer:
//
// - the settings panel's profile list `cboxMedia` (ListWindowsMediaProfiles), entry 0 "Use the
//   default profiles", entry k + 1 the system profile k of the version chosen in `rgversion`;
// - which of the default-profile group `rgProfiles` and the profile label `Label1` shows
//   (OptionsframecboxdivxChange), and what "Profil wmv favori" becomes;
// - the profile label's pop-up menu (pmProfilesPopup) and a click on one of its items
//   (capsetItem);
// - the controls' state when the preferences are applied (ApplyWindowsMediaPreferences);
// - the profile a WMV capture is configured with (ProfileForCapture).
//
// Threads: application thread (the manager keeps its chosen version).

#include "platform/media/filters/asf/WmProfile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

// The profile manager's version code of an `rgversion` index ("4", "7", "8"); version 8 for an
// index that is no item.
std::uint32_t WmVersionCode(int versionIndex);
// The identifier of an `rgProfiles` index ("High", "Medium", "Low", "Internet"); "Medium" (the
// preference's default) for an index that is no item.
GUID DefaultProfileId(int profileIndex);

// The entries of `cboxMedia` for the version. Without a manager (Windows Media unavailable) the
// list holds its first entry only. A system profile without a video stream keeps its entry, so
// that entry k + 1 still stands for profile k: its name followed by " (no video)".
std::vector<std::string> ListWindowsMediaProfiles(TWmProfileManager* manager, int versionIndex);

// The entry whose text is exactly `text`; else 0; -1 (nothing selected) when the list is empty.
int ProfileEntryIndex(const std::vector<std::string>& entries, const std::string& text);

// System profile `cboxIndex` - 1 of the version; nothing for index 0 or past the list.
std::optional<TWmProfile> ChosenSystemProfile(TWmProfileManager& manager, int versionIndex,
                                              int cboxIndex);

// The profile of a WMV capture: the chosen system profile when `cboxIndex` is 1 or more, else
// the default profile of `rgProfiles`; without audio streams when the capture records no sound
// (audio kind 0), removed from the highest stream number down.
std::optional<TWmProfile> ProfileForCapture(TWmProfileManager& manager, int cboxIndex,
                                            int versionIndex, int profileIndex, bool withAudio);

// What OptionsframecboxdivxChange shows, and the text "Profil wmv favori" takes from `cboxMedia`
// (empty when nothing is selected).
struct TProfileChoiceView {
    bool defaultProfilesVisible = false; // rgProfiles
    bool profileLabelVisible = false;    // the sources panel's Label1
    std::string favoriteProfile;         // "Profil wmv favori"
};
TProfileChoiceView OptionsframecboxdivxChange(bool formatIsWmv,
                                              const std::vector<std::string>& entries,
                                              int cboxIndex);

// One item of the pop-up menu pmProfiles.
struct TProfileMenuItem {
    std::string caption;
    int tag = 0;          // the `cboxMedia` index it selects
    bool checked = false; // the entry selected now
};
std::vector<TProfileMenuItem> pmProfilesPopup(const std::vector<std::string>& entries,
                                              int cboxIndex);

// A click on the pop-up item with `tag`: `cboxMedia` selects that entry (its text becomes the
// combo box's) and OptionsframecboxdivxChange runs.
struct TProfileSelection {
    int cboxIndex = -1;
    std::string text;
    TProfileChoiceView view;
};
TProfileSelection capsetItem(bool formatIsWmv, const std::vector<std::string>& entries, int tag);

// The controls when the preferences are applied: `rgProfiles` := "Profile wmv", `rgversion` :=
// "Version wmv", the list for that version, the entry named "Profil wmv favori" (else 0, else
// none), then OptionsframecboxdivxChange.
struct TProfileControls {
    int profileIndex = 1; // rgProfiles
    int versionIndex = 2; // rgversion
    std::vector<std::string> entries;
    TProfileSelection selection;
};
TProfileControls ApplyWindowsMediaPreferences(TWmProfileManager* manager, bool formatIsWmv,
                                              int profileWmv, int versionWmv,
                                              const std::string& profilWmvFavori);

} // namespace talvence
