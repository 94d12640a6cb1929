#pragma once
// Commands over capture files: the frame-rate rewrite of an AVI, the listing
// of a scene file and the repair of an AVI left by a crash.

#include <iosfwd>

#include "postproc/fpsunit.h"
#include "tools/talvence-cli/CommandTable.h"

namespace talvence::cli {

void AddPostprocCommands(CommandTable& table, AviWalker& walker);

// setfps FILE FPS: rewrites the video stream's frame rate; prints what was
// written or why nothing was. kExitFailed when nothing was written.
int RunSetFps(Args args, std::ostream& out, std::ostream& err, AviWalker& walker);

// scn FILE: prints the scene file's path, count and one line per scene.
// kExitFailed when the file is not a scene file or is damaged.
int RunScn(Args args, std::ostream& out, std::ostream& err);

// repair FILE: rewrites an AVI left unfinished with every whole frame and
// complete indexes; prints what was kept and dropped. kExitFailed when the
// file could not be repaired (it is then unchanged).
int RunRepair(Args args, std::ostream& out, std::ostream& err);

} // namespace talvence::cli
