#pragma once
// The main window's rules that need no widget: where the controls go for either side of the
// preview, the status bar's texts, the volume steps, the caption, the help panel's shortcut rows
// and the clip browser's arguments. The window applies them; tests drive them directly.

#include "app/capture/CaptureRules.h"
#include "app/capture/CaptureStatus.h"
#include "platform/shell/DiskSpace.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

// --- Layout ----------------------------------------------------------------------------------
inline constexpr int kClientWidth = 700;
inline constexpr int kClientHeight = 459;
inline constexpr int kPanelTop = 40;

// The left edges PlacePanels gives, from "EcranGauche" and the general tool bar's left edge.
struct PanelPlacement {
    int panelPosition = 0; // the side panels' left edge
    int previewOffset = 0; // added to every control of the preview side
    int previewPanel = 0, volumeSlider = 0, volumeGauge = 0, box44100 = 0, volumeLabel = 0;
    int captureButton = 0, cutButton = 0, grabButton = 0, actionsToolBar = 0, panelsToolBar = 0;
};
PanelPlacement PlacePanelsGeometry(bool ecranGauche, int generalToolBarLeft);

// "Talvence by Brannock - SOURCE", or the source name alone while reduced.
std::string WindowCaption(const std::string& sourceName, bool reduced);

// --- Volume ----------------------------------------------------------------------------------
// The numeric keypad's plus and minus: 1000 up or down, kept in 0..10000.
int SteppedVolume(int volume, int step);
// What the graph plays at: nothing while muted.
int GraphVolumeFor(bool muted, int volume);

// --- Status bar ------------------------------------------------------------------------------
// The capture format's text up to its "(", if any ("DV type 2 " for "DV type 2 (with inlay)").
std::string FormatPart(const std::string& formatText);
// "%d MB free on %s": whole megabytes available and the mount point in upper case.
std::string FreeSpaceText(const TDiskSpace& space);

struct StatusFacts {
    CaptureState state = CaptureState::NoSource;
    SourceKind kind = SourceKind::skNone;
    std::string formatText; // the capture-format list's text
    int format = 0;         // its index
    bool deinterlaced = false;
    bool vcr = false;
    AudioType audio = AudioType::atNone;
    bool listen = false;        // "Ecouter Audio inclus"
    bool auxiliary = false;     // "Enregistrer Source Audio"
    bool inlayOn = false;       // "Incrustation On"
    int alarmHour = 0, alarmMinute = 0, alarmSecond = 0;
    TDiskSpace freeSpace; // of the next video file
};
// Panels 1, 2 and 3 as a state entry writes them; an empty optional leaves the panel as it is.
struct StatusPanels {
    std::optional<std::string> panel1, panel2, panel3;
};
StatusPanels StatusTextsFor(const StatusFacts& facts);
// Panels 2 and 3 while capturing, every 50 ms.
StatusPanels FrameStatisticsTexts(const TCaptureStatus& status);

// --- Help panel ------------------------------------------------------------------------------
struct ShortcutSource {
    std::string caption;
    std::string shortcut;  // the shortcut's text; empty: none
    std::string secondary; // the first secondary shortcut's text; empty: none
    std::string category;
    bool visible = true;
};
struct ShortcutListRow {
    std::string text; // "Grab!=F5 (CTRL+G)"
    int action = -1;  // index into the sources
};
struct ShortcutLists {
    std::vector<ShortcutListRow> actions; // the actions, then the panel ("frame") actions
    std::vector<ShortcutListRow> camera;  // the camcorder's, without secondary shortcuts
};
ShortcutLists BuildShortcutLists(const std::vector<ShortcutSource>& actions);

// --- Clip browser ----------------------------------------------------------------------------
// The run's captured videos that still exist, numbered 0 to videoCounter - 2 after the next
// video file's prefix (its path up to and including the last "_"). Each is one argument: the
// program is started without a shell, so names need no quoting.
std::vector<std::string> ClipBrowserArguments(const std::string& nextVideoFile,
                                              std::int64_t videoCounter,
                                              const std::function<bool(const std::string&)>& exists);

} // namespace talvence
