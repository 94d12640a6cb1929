#pragma once
// The main window's actions as designed: name, category, English caption and hint, shortcut and
// secondary shortcut. The window makes one QAction per row; the shortcut list of the help panel
// is built from the same rows.
//
// Shortcuts are Qt's portable key texts ("F5", "Alt+Return", "Num++" for the numeric keypad's
// plus); secondary shortcuts are written as the help panel shows them ("CTRL+G").

#include <string_view>
#include <vector>

namespace talvence {

struct ActionSpec {
    std::string_view name;
    std::string_view category; // "action", "Options", "general", "frame", "camera"
    std::string_view caption;
    std::string_view hint;
    std::string_view shortcut;
    std::string_view secondary;
    bool checkable = false;
    int panel = -1; // the side panel a "frame" action shows; -1 for the others
};

// Every action of the main window, in the order of its design table.
const std::vector<ActionSpec>& MainWindowActions();
// The row of `name`; null when there is none.
const ActionSpec* FindAction(std::string_view name);

} // namespace talvence
