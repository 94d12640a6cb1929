// A "Wmv (with inlay)" capture with the "High" profile, as the capture program builds it (the
// graph module's DV preview with the W capture added, the clock's date and time inlaid), from the
// virtual DV camcorder reading a DV clip as fast as it goes, all on one core; against the ffmpeg
// command line on the same core encoding the same clip with the same encoders and settings:
//
//   taskset -c 0 ffmpeg -threads 1 -filter_threads 1 -i clip.dv
//     -vf scale=640:480:flags=bilinear -c:v wmv2 -b:v 1500k -bt 1500k -g 75
//     -c:a wmav2 -b:a 128k -ar 44100 -ac 2 -f asf out.wmv
//
// and the same with the two lines of text the inlay draws (drawtext), the closer match of the
// work. Our CPU is CLOCK_PROCESS_CPUTIME_ID around the run (every thread shares the pinned
// core); ffmpeg's is getrusage(RUSAGE_CHILDREN). Frames per second are the clip's frames over
// the run's wall-clock time; real time is 25 frames a second.
//
// Run: build/bench/wmv/bench_wmv_capture [--frames N] [--runs R] [--dir DIR]
#include "bench/support/BenchCapture.h"
#include "graph/WindowsMediaProfiles.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence {
namespace {

namespace fs = std::filesystem;
using namespace bench;

using Run = CaptureRun;

Run RunOurs(const fs::path& clip, const fs::path& out) {
    fs::remove(out);
    // The file is finished at the stop: its last frames are part of the work.
    return RunCaptureOfClip(
        clip,
        [&](TdmCam& cam) {
            const auto high = cam.ProfileManager()
                                  ? cam.ProfileManager()->LoadProfileByID(DefaultProfileId(0))
                                  : std::nullopt;
            if (!high || !cam.BuildCaptureGraph(SourceKind::skDv, cfWmvInlay, 0, out.string()) ||
                !cam.ConfigureAsfWriter(&*high))
                return false;
            cam.Superposer().SetInlaySource(static_cast<std::uint8_t>(InlaySource::Clock));
            cam.Superposer().SetInlayActive(true);
            return true;
        },
        true);
}

Run RunFfmpeg(const fs::path& clip, const fs::path& out, bool withText) {
    const std::string scale = "scale=640:480:flags=bilinear";
    std::vector<std::string> args =
        OneCoreFfmpeg(clip.string(), withText ? InlayDrawtext(scale) : scale);
    args.insert(args.end(), {"-c:v", "wmv2", "-b:v", "1500k", "-bt", "1500k", "-g", "75", "-c:a",
                             "wmav2", "-b:a", "128k", "-ar", "44100", "-ac", "2", "-f", "asf",
                             out.string()});
    Run r;
    const double cpu0 = ChildrenCpuSeconds();
    const double wall0 = WallSeconds();
    const int rc = RunCommand(args);
    r.wallSeconds = WallSeconds() - wall0;
    r.cpuSeconds = ChildrenCpuSeconds() - cpu0;
    r.ok = rc == 0 && fs::exists(out);
    if (!r.ok) r.error = "ffmpeg failed";
    return r;
}

// The best (least CPU) of `runs` runs.
template <class F> Run Best(int runs, F run) {
    Run best;
    for (int i = 0; i < runs; ++i) {
        Run r = run();
        if (!r.ok) return r;
        if (!best.ok || r.cpuSeconds < best.cpuSeconds) best = r;
    }
    return best;
}

int Main(int argc, char** argv) {
    const auto [frames, runs, dir] = ParseBenchOptions(
        argc, argv, {500, 3, fs::temp_directory_path() / "talvence-wmv-bench"});
    const fs::path clip = dir / "clip.dv";
    if (RunCommand({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=720x576:rate=25", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=48000", "-t", std::to_string(frames / 25.0),
                    "-target", "pal-dv", clip.string()}) != 0) {
        std::fprintf(stderr, "the clip cannot be made with ffmpeg\n");
        return 1;
    }
    const Run ours = Best(runs, [&] { return RunOurs(clip, dir / "ours.wmv"); });
    const Run bare = Best(runs, [&] { return RunFfmpeg(clip, dir / "ffmpeg.wmv", false); });
    const Run text = Best(runs, [&] { return RunFfmpeg(clip, dir / "ffmpeg-text.wmv", true); });
    for (const Run* r : {&ours, &bare, &text})
        if (!r->ok) {
            std::fprintf(stderr, "%s\n", r->error.c_str());
            return 1;
        }
    const double n = frames;
    std::printf("Wmv (with inlay), High profile, %d frames of PAL DV, one core, best of %d\n",
                frames, runs);
    std::printf("  ours:              %6.1f fps (%4.1f x real time), %6.2f ms CPU per frame\n",
                n / ours.wallSeconds, n / ours.wallSeconds / 25.0, 1000 * ours.cpuSeconds / n);
    std::printf("  ffmpeg:            %6.1f fps, %6.2f ms CPU per frame (ours / ffmpeg %.2f)\n",
                n / bare.wallSeconds, 1000 * bare.cpuSeconds / n,
                ours.cpuSeconds / bare.cpuSeconds);
    std::printf("  ffmpeg + drawtext: %6.1f fps, %6.2f ms CPU per frame (ours / ffmpeg %.2f)\n",
                n / text.wallSeconds, 1000 * text.cpuSeconds / n,
                ours.cpuSeconds / text.cpuSeconds);
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
