#pragma once
// What the program does when it starts, before the main window exists.

#include "prefs/Preferences.h"

namespace talvence {

// The main window's outer size as designed; the centred default position of
// the window and of the camcorder window below it are computed from it.
inline constexpr int kMainWindowOuterWidth = 1000;
inline constexpr int kMainWindowOuterHeight = 700;

// The computed defaults' facts on this machine: the screen size given, the
// main window's size, and the user's folders from the system.
PreferenceEnvironment SystemPreferenceEnvironment(int screenWidth, int screenHeight);

// Until capture comes, the main job prints the system report: declares and
// loads the preferences and writes the report to stdout (a damaged store is
// told in one line on stderr). Returns the exit code.
int RunSystemReport(int screenWidth, int screenHeight);

} // namespace talvence
