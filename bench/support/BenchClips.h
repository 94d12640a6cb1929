#pragma once
// The DV clips of the side-by-side benchmarks, made with the ffmpeg command line: PAL
// testsrc2 with a sine tone, clean or with moving noise (harder to code), carrying a timecode
// and a creation time so that they have timecode and recording-date packs. A clip of the right
// size already there is kept.
//
// Threads: the benchmark's main thread.

#include "bench/support/BenchProcess.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence::bench {

inline bool MakeDvClip(const std::filesystem::path& path, int frames, bool noisy) {
    namespace fs = std::filesystem;
    if (fs::exists(path) && fs::file_size(path) == static_cast<std::uintmax_t>(frames) * 144000)
        return true;
    std::vector<std::string> args = {"ffmpeg",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "testsrc2=size=720x576:rate=25",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=48000",
                                     "-t",
                                     std::to_string(frames / 25.0)};
    if (noisy) {
        args.push_back("-vf");
        args.push_back("noise=alls=12:allf=t+u");
    }
    for (const char* a : {"-c:v", "dvvideo", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", "-ac", "2",
                          "-ar", "48000", "-timecode", "10:20:30:00", "-metadata",
                          "creation_time=2026-05-02T10:00:00Z", "-f", "dv"})
        args.push_back(a);
    args.push_back(path.string());
    return RunCommand(args) == 0 && fs::exists(path);
}

} // namespace talvence::bench
