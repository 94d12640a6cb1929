#pragma once
// One row of the help panel's shortcut lists: an action's caption and its keys.

#include <string>

namespace talvence {

struct ShortcutRow {
    std::string function;
    std::string keys;
};

} // namespace talvence
