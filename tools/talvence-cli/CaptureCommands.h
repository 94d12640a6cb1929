#pragma once
// The capture command: a headless capture from a video source through the graph module and
// capture control, with the window's preferences and one-run overrides (format in the README).

#include <iosfwd>
#include <optional>
#include <string>

#include "app/capture/CaptureStatus.h"
#include "tools/talvence-cli/CommandTable.h"

namespace talvence::cli {

void AddCaptureCommands(CommandTable& table);

// The options of one run; unset ones keep the stored preference.
struct CaptureOptions {
    std::optional<std::string> source;
    std::optional<std::string> input; // a crossbar route, by its name
    std::optional<int> format;        // given by its text or its index
    std::optional<double> seconds;
    std::optional<std::string> folder;
    std::optional<bool> scn;
    std::optional<bool> inlay;
    std::optional<double> grabEvery;
    std::optional<double> cutEvery;
    bool yes = false;
    bool no = false;
    bool play = false;
};

// None, with the reason in error, for an unknown option, a missing or malformed value (a number
// that is not one, a capture format that is none), or --yes together with --no.
std::optional<CaptureOptions> ParseCaptureOptions(Args args, std::string& error);

// capture [options]: exit 0 when a capture ran and its files were written, kExitFailed when the
// source, the preview or the capture could not be made (or a question was refused) and when the
// capture stopped on an error (a full disk: the files written are still listed), kExitUsage for
// wrong options. SIGINT, SIGTERM and SIGHUP end the capture the same way, files finished; the
// exit code then says which (CaptureExitCode).
int RunCapture(Args args, std::ostream& out, std::ostream& err);

// Exit code of a capture that ran to its end, by the signal that ended it (0: none): Ctrl+C is
// the usual way to stop and gives 0; SIGTERM and SIGHUP give 128 + the signal, as a shell reports
// a program they killed, so that a script or service manager sees why it ended.
int CaptureExitCode(int signal);

// The one progress line: "elapsed 0:00:12 frames 300 lost 0 size 43.2 MB scenes 2".
std::string CaptureProgressLine(double elapsedSeconds, const TCaptureStatus& status);

} // namespace talvence::cli
