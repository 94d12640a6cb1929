// What the AVI writer's checkpoints cost: the same DV type 2 frames (144000
// bytes of video and 7680 of sound each, from memory) written with
// checkpoints every second and without, at the capture's pace (25 frames a
// second) or as fast as the disk takes them.
//
//   bench_avi_checkpoints [--frames N] [--dir FOLDER] [--fast]
//
// Printed per mode: the calling (streaming) thread's CPU time, the
// checkpoint thread's (the process's minus the caller's), both as a share
// of one core over the stream time, and the longest writeSample call.

#include "platform/media/filters/avi/AviFileWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace talvence;
using Clock = std::chrono::steady_clock;

double Seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Result {
    double callerCpu = 0;  // seconds
    double processCpu = 0; // seconds
    double longestCall = 0;
    bool ok = false;
};

Result Write(const std::filesystem::path& path, std::size_t frames, bool checkpoints, bool fast) {
    std::vector<std::uint8_t> video(144000, 0x5A), sound(1920 * 4, 0);
    AviWriterOptions options;
    options.checkpointSeconds = checkpoints ? 1 : 0;
    options.superIndexEntries = kAviCaptureSuperIndexEntries;
    AviFileWriter writer;
    Result r;
    if (!writer
             .open(path,
                   {AviDvVideoStream(DVINFO{}, 400000, 720, 576),
                    AviAudioStream(WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0})},
                   options)
             .ok())
        return r;
    const double thread0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto start = Clock::now();
    r.ok = true;
    for (std::size_t i = 0; i < frames && r.ok; ++i) {
        if (!fast) std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * i));
        const auto before = Clock::now();
        r.ok = writer.writeSample(0, video).ok() && writer.writeSample(1, sound).ok();
        r.longestCall =
            std::max(r.longestCall, std::chrono::duration<double>(Clock::now() - before).count());
    }
    r.ok = writer.close().ok() && r.ok;
    r.callerCpu = Seconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
    r.processCpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - process0;
    std::filesystem::remove(path);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t frames = 750;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    bool fast = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc)
            frames = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--fast")
            fast = true;
        else {
            std::fprintf(stderr, "usage: %s [--frames N] [--dir FOLDER] [--fast]\n", argv[0]);
            return 2;
        }
    }
    const double streamSeconds = double(frames) / 25;
    std::printf("%zu frames (%.0f s of stream), %s, in %s\n", frames, streamSeconds,
                fast ? "as fast as the disk takes them" : "at 25 frames a second", dir.c_str());
    Result results[2];
    for (const bool on : {false, true}) {
        const Result r = Write(dir / "bench_checkpoints.avi", frames, on, fast);
        if (!r.ok) {
            std::fprintf(stderr, "writing failed\n");
            return 1;
        }
        results[on] = r;
        std::printf("checkpoints %-3s: streaming thread %.3f s CPU (%.3f %% of a core), "
                    "checkpoint thread %.3f s (%.3f %%), longest writeSample %.2f ms\n",
                    on ? "on" : "off", r.callerCpu, 100 * r.callerCpu / streamSeconds,
                    r.processCpu - r.callerCpu, 100 * (r.processCpu - r.callerCpu) / streamSeconds,
                    1000 * r.longestCall);
    }
    const double extra = results[1].processCpu - results[0].processCpu;
    std::printf("checkpoints cost %.3f s CPU in all: %.3f %% of a core\n", extra,
                100 * extra / streamSeconds);
    return 0;
}
