#pragma once

// The device settings menu as the graph module builds it: the entries the current sources
// really have pages for, in their fixed order, each tagged with its position in the menu, and
// the "Video Input" submenu of the crossbar routes. The window turns it into a pop-up menu and
// hands the chosen tag back to TdmCam::OpenSettingsEntry.
//
// Threads: the application thread.

#include <array>
#include <string>
#include <vector>

namespace talvence {

// The dialog entries, in the order a chosen tag is compared with their positions.
enum class TSettingsEntry {
    Format,
    Source,
    Display,
    VideoCaptureFilter,
    VideoCapturePin,
    VideoPreviewPin,
    VideoCrossbar,
    TvTuner,
    AudioCaptureFilter,
    AudioCapturePin,
    SecondCrossbar,
    TvAudio,
};
inline constexpr int kSettingsEntryCount = 12;

// "Video Capture Filter...", ...
const char* SettingsEntryCaption(TSettingsEntry entry);

struct TSettingsMenuItem {
    std::string caption;
    int tag = 0; // the item's position in the menu
};

struct TSettingsMenu {
    std::vector<TSettingsMenuItem> items; // the dialog entries, in menu order
    // "-" and "Video Input" follow the entries when there are routes.
    std::vector<std::string> routes;
    int checkedRoute = -1;
    bool Empty() const { return items.empty() && routes.empty(); }
};

// Where each entry went in the last build (-1: not appended), and the "Video Input" item.
struct TSettingsPositions {
    std::array<int, kSettingsEntryCount> entry;
    int videoInput = -1;
    TSettingsPositions() { entry.fill(-1); }
    int& operator[](TSettingsEntry e) { return entry[static_cast<std::size_t>(e)]; }
    int operator[](TSettingsEntry e) const { return entry[static_cast<std::size_t>(e)]; }
    // The entry a tag stands for, compared in the order above; false when none.
    bool EntryOf(int tag, TSettingsEntry* found) const;
};

} // namespace talvence
