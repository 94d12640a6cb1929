#include "tools/talvence-cli/PostprocCommands.h"

#include <charconv>
#include <ostream>

#include "postproc/AviRepair.h"
#include "postproc/ecrire_scnUnit.h"

namespace talvence::cli {

namespace {

bool ParseFps(const std::string& text, double& fps) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, fps);
    return ec == std::errc() && ptr == end;
}

} // namespace

int RunSetFps(Args args, std::ostream& out, std::ostream& err, AviWalker& walker) {
    double fps = 0;
    if (args.size() != 2 || !ParseFps(args[1], fps)) {
        err << "usage: talvence-cli setfps FILE FPS   (FPS a number such as 25 or 0.5)\n";
        return kExitUsage;
    }
    const std::string& file = args[0];
    const AviRateResult result = walker.setFrameRate(file, fps);
    if (result.outcome == AviRateOutcome::Written) {
        out << file << ": dwScale " << result.scale << ", dwRate " << result.rate
            << " written at offset " << *result.scalePos << "\n";
        return kExitOk;
    }
    if (result.scanEnd == AviScanEnd::NotRegular) {
        err << file << ": nothing written: " << AviScanEndText(result.scanEnd) << "\n";
        return kExitFailed;
    }
    err << file << ": nothing written: " << AviRateOutcomeText(result.outcome);
    if (result.outcome == AviRateOutcome::NoVideoHeader)
        err << " (" << AviScanEndText(result.scanEnd) << ")";
    err << "\n";
    return kExitFailed;
}

int RunScn(Args args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: talvence-cli scn FILE\n";
        return kExitUsage;
    }
    const ScnContents scn = ScnRead(args[0]);
    if (scn.ok) {
        out << "path: " << scn.path << "\n";
        out << "count: " << scn.count << "\n";
        for (std::size_t k = 0; k < scn.scenes.size(); ++k)
            out << "scene " << k + 1 << " start=" << scn.scenes[k].start
                << " frames=" << scn.scenes[k].frames << "\n";
    }
    if (!scn.error.empty()) {
        err << args[0] << ": " << scn.error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunRepair(Args args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: talvence-cli repair FILE\n";
        return kExitUsage;
    }
    const AviRepairResult result = RepairAviFile(args[0]);
    (result.ok ? out : err) << args[0] << ": " << AviRepairSummary(result) << "\n";
    return result.ok ? kExitOk : kExitFailed;
}

void AddPostprocCommands(CommandTable& table, AviWalker& walker) {
    table.add({"setfps", "FILE FPS",
               "set the frame rate stored in an AVI file's video stream header",
               [&walker](Args args, std::ostream& out, std::ostream& err) {
                   return RunSetFps(args, out, err, walker);
               }});
    table.add({"scn", "FILE", "list the scenes of a scene file (.scn)", RunScn});
    table.add({"repair", "FILE",
               "finish an AVI file left by a crash: keep every whole frame, rebuild its indexes",
               RunRepair});
}

} // namespace talvence::cli
