#pragma once
// The sources command: the video sources as the source catalogue names them, each with its source
// kind, and the audio input devices.

#include <iosfwd>

#include "tools/talvence-cli/CommandTable.h"

namespace talvence {
struct ICreateDevEnum;
}

namespace talvence::cli {

void AddSourceCommands(CommandTable& table);

// sources: lists the devices registered from TALVENCE_VIRTUAL_DEVICES (its warnings go to err).
int RunSources(Args args, std::ostream& out, std::ostream& err);

// The listing for the devices of devEnum, one line each (format in the README):
//   video KIND NAME   KIND: dv, moviebox, capture, mpeg2; "-" when the device's filter cannot
//                     be made or has no pin the analysis would take as the main pin
//   audio NAME
// kExitFailed when the platform fails to enumerate.
int ListSources(ICreateDevEnum* devEnum, std::ostream& out, std::ostream& err);

} // namespace talvence::cli
