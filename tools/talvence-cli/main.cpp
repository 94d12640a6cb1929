// talvence-cli: drives the application's subsystems without a display.
// Each command family registers its commands here.

#include <iostream>
#include <string>
#include <vector>

#include "platform/log/LibavLog.h"
#include "postproc/fpsunit.h"
#include "tools/talvence-cli/CaptureCommands.h"
#include "tools/talvence-cli/CommandTable.h"
#include "tools/talvence-cli/DvCommands.h"
#include "tools/talvence-cli/PostprocCommands.h"
#include "tools/talvence-cli/ProfileCommands.h"
#include "tools/talvence-cli/SourceCommands.h"

int main(int argc, char** argv) {
    using namespace talvence;
    // libav speaks only through the logger, when TALVENCE_LOG has "codec".
    log::InitLibavLogging();
    cli::CommandTable table("talvence-cli");
    cli::AddPostprocCommands(table, ApplicationAviWalker());
    cli::AddDvCommands(table);
    cli::AddSourceCommands(table);
    cli::AddCaptureCommands(table);
    cli::AddProfileCommands(table);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return table.run(args, std::cout, std::cerr);
}
