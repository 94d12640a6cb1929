// The captures of a DV camcorder as the capture program builds them (the graph module's DV
// preview with the capture added), from the virtual DV camcorder reading a DV clip as fast as it
// goes, on one core:
//
//   - "DV type 1" and "DV type 2" (copy captures: the camcorder's DV unchanged) against the ffmpeg
//     command line copying the same clip into AVI on the same core:
//       taskset -c 0 ffmpeg -threads 1 -i clip.dv -c copy -f avi out.avi
//     CPU per frame, median of the runs, ours and ffmpeg's alternating;
//   - the resident memory at its peak (VmHWM, reset before each capture) of a capture in every
//     format a DV camcorder offers.
//
// Our CPU is CLOCK_PROCESS_CPUTIME_ID around the run, ffmpeg's getrusage(RUSAGE_CHILDREN); both
// a clean and a noisy clip.
//
// Run: build/bench/capture/bench_capture [--frames N] [--runs R] [--dir DIR]
#include "bench/support/BenchCapture.h"
#include "bench/support/BenchClips.h"
#include "graph/WindowsMediaProfiles.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talvence {
namespace {

namespace fs = std::filesystem;
using namespace bench;

// The peak resident memory of this process since the last ResetPeakMemory, in MB.
double PeakResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Format {
    int id;
    const char* name;
    const char* extension;
};
const Format kFormats[] = {
    {cfDvType1, "DV type 1", ".avi"},
    {cfDvType2, "DV type 2", ".avi"},
    {cfDvType2Inlay, "DV type 2 (with inlay)", ".avi"},
    {cfWmvInlay, "Wmv (with inlay)", ".wmv"},
};

CaptureRun RunOurs(const fs::path& clip, const Format& format, const fs::path& out) {
    fs::remove(out);
    return RunCaptureOfClip(
        clip,
        [&](TdmCam& cam) {
            if (!cam.BuildCaptureGraph(SourceKind::skDv, format.id, 0, out.string()))
                return false;
            if (format.id == cfWmvInlay) {
                const auto high = cam.ProfileManager()
                                      ? cam.ProfileManager()->LoadProfileByID(DefaultProfileId(0))
                                      : std::nullopt;
                if (!high || !cam.ConfigureAsfWriter(&*high)) return false;
            }
            if (format.id == cfWmvInlay || format.id == cfDvType2Inlay) {
                cam.Superposer().SetInlaySource(static_cast<std::uint8_t>(InlaySource::Clock));
                cam.Superposer().SetInlayActive(true);
            }
            return true;
        },
        true);
}

CaptureRun RunFfmpegCopy(const fs::path& clip, const fs::path& out) {
    CaptureRun r;
    const double cpu0 = ChildrenCpuSeconds();
    const double wall0 = WallSeconds();
    const int rc = RunCommand({"taskset", "-c", "0", "ffmpeg", "-hide_banner", "-loglevel", "error",
                               "-y", "-threads", "1", "-i", clip.string(), "-c", "copy", "-f",
                               "avi", out.string()});
    r.wallSeconds = WallSeconds() - wall0;
    r.cpuSeconds = ChildrenCpuSeconds() - cpu0;
    r.ok = rc == 0 && fs::exists(out);
    if (!r.ok) r.error = "ffmpeg failed";
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int Main(int argc, char** argv) {
    const auto [frames, runs, dir] = ParseBenchOptions(
        argc, argv, {1500, 5, fs::temp_directory_path() / "talvence-capture-bench"});
    const double n = frames;
    std::printf("DV copy captures against ffmpeg -c copy, %d frames of PAL DV, one core, median of "
                "%d runs; CPU ms per frame\n",
                frames, runs);
    std::printf("%-6s %-10s %8s %8s %7s %9s\n", "clip", "capture", "ours", "ffmpeg", "ratio",
                "ours fps");
    std::vector<std::pair<std::string, double>> peaks;
    for (const bool noisy : {false, true}) {
        const std::string clipName = noisy ? "noisy" : "clean";
        const fs::path clip = dir / (clipName + ".dv");
        if (!MakeDvClip(clip, frames, noisy)) {
            std::fprintf(stderr, "cannot make %s with the ffmpeg command line\n", clip.c_str());
            return 1;
        }
        std::vector<double> ours[2], oursWall[2], theirs;
        for (int run = 0; run < runs; ++run) {
            for (int f = 0; f < 2; ++f) {
                const CaptureRun r = RunOurs(clip, kFormats[f], dir / "ours.avi");
                if (!r.ok) {
                    std::fprintf(stderr, "%s: %s\n", kFormats[f].name, r.error.c_str());
                    return 1;
                }
                ours[f].push_back(r.cpuSeconds);
                oursWall[f].push_back(r.wallSeconds);
            }
            const CaptureRun ff = RunFfmpegCopy(clip, dir / "ffmpeg.avi");
            if (!ff.ok) {
                std::fprintf(stderr, "%s\n", ff.error.c_str());
                return 1;
            }
            theirs.push_back(ff.cpuSeconds);
        }
        for (int f = 0; f < 2; ++f)
            std::printf("%-6s %-10s %8.3f %8.3f %7.2f %9.0f\n", clipName.c_str(), kFormats[f].name,
                        1000 * Median(ours[f]) / n, 1000 * Median(theirs) / n,
                        Median(ours[f]) / Median(theirs), n / Median(oursWall[f]));
        if (noisy) continue;
        for (const Format& format : kFormats) {
            ResetPeakMemory();
            const CaptureRun r = RunOurs(clip, format, dir / (std::string("mem") + format.extension));
            if (!r.ok) {
                std::fprintf(stderr, "%s: %s\n", format.name, r.error.c_str());
                return 1;
            }
            peaks.push_back({format.name, PeakResidentMb()});
        }
    }
    std::printf("\nPeak resident memory of the process during a capture (clean clip), MB\n");
    for (const auto& [name, mb] : peaks)
        std::printf("  %-24s %6.1f\n", name.c_str(), mb);
    fs::remove_all(dir);
    return 0;
}

} // namespace
} // namespace talvence

int main(int argc, char** argv) {
    // Pinned before any thread exists, so that every thread of the run shares CPU 0.
    talvence::bench::PinTo({0});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return talvence::Main(argc, argv);
}
