#include "tools/talvence-cli/ProfileCommands.h"

#include "graph/WindowsMediaProfiles.h"
#include "resources/Strings.h"

#include <ostream>

namespace talvence::cli {

int RunProfiles(Args args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << "usage: talvence-cli profiles\n";
        return kExitUsage;
    }
    const std::unique_ptr<TWmProfileManager> manager = TWmProfileManager::Create();
    if (!manager) {
        err << "profiles: FFmpeg lacks the ASF muxer or a Windows Media encoder\n";
        return kExitFailed;
    }
    for (int i = 0; i < 4; ++i)
        if (const auto profile = manager->LoadProfileByID(DefaultProfileId(i)))
            out << "default " << i << " " << strings::kDefaultProfileItems[i] << ": "
                << WmProfileSummary(*profile) << "\n";
    for (int version = 0; version < 3; ++version) {
        const std::vector<std::string> entries = ListWindowsMediaProfiles(manager.get(), version);
        for (int entry = 1; entry < static_cast<int>(entries.size()); ++entry)
            if (const auto profile = ChosenSystemProfile(*manager, version, entry))
                out << strings::kWmVersionItems[version] << " " << entry << " "
                    << entries[static_cast<std::size_t>(entry)] << ": "
                    << WmProfileSummary(*profile) << "\n";
    }
    return kExitOk;
}

void AddProfileCommands(CommandTable& table) {
    table.add({"profiles", "",
               "list the Windows Media profiles (default and per version) with what each produces",
               RunProfiles});
}

} // namespace talvence::cli
