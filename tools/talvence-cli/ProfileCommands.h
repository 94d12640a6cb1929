#pragma once
// The profiles command: the Windows Media profiles a "Wmv (with inlay)" capture can use, the
// four default profiles and the system profiles of each version, with what each produces.

#include "tools/talvence-cli/CommandTable.h"

namespace talvence::cli {

void AddProfileCommands(CommandTable& table);

// One line per profile (format in the README):
//   default INDEX NAME: SUMMARY
//   VERSION ENTRY NAME: SUMMARY     (ENTRY: the settings panel's list entry, from 1)
// kExitFailed when the profile manager cannot be made.
int RunProfiles(Args args, std::ostream& out, std::ostream& err);

} // namespace talvence::cli
