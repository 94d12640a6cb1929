#pragma once
// Commands over finished capture files: the frame-rate rewrite of an AVI and
// the listing of a scene file.

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

} // namespace talvence::cli
