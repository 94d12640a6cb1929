#pragma once
// What the program does when it starts, before the main window exists.

#include "platform/shell/Dialogs.h"
#include "prefs/Preferences.h"

#include <string>

namespace talvence {

// The main window's outer size as designed; the centred default position of
// the window and of the camcorder window below it are computed from it.
// The client area is 700 x 459; the frame a desktop adds is about 8 pixels wide and 31 high.
inline constexpr int kMainWindowOuterWidth = 708;
inline constexpr int kMainWindowOuterHeight = 490;

// The computed defaults' facts on this machine: the screen size given, the
// main window's size, and the user's folders from the system.
PreferenceEnvironment SystemPreferenceEnvironment(int screenWidth, int screenHeight);

// The program entry's check of the media layer: below version 9 the user is warned in a
// Yes/No box and anything but Yes ends the run (false). `majorVersion` and `versionText` are
// DirectXMajorVersion() and DirectXVersionText().
bool MediaLayerCheckPasses(IDialogs& dialogs, int majorVersion, const std::string& versionText);

// Without a display, the main job prints the system report: declares and
// loads the preferences and writes the report to stdout (a damaged store is
// told in one line on stderr). Returns the exit code.
int RunSystemReport(int screenWidth, int screenHeight);

} // namespace talvence
