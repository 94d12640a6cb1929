#pragma once
// What the side-by-side benchmarks share: running a command line, the CPU time of this process
// and of its finished children, the wall clock, and pinning to chosen cores.
//
// Threads: the benchmark's main thread.

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence::bench {

// Runs the program with its arguments and waits; its exit status, -1 when it could not run.
// The options every capture bench takes: --frames N, --runs N (at least 1), --dir FOLDER for the
// clips; the defaults are the caller's.
struct BenchOptions {
    int frames;
    int runs;
    std::filesystem::path dir;
};
inline BenchOptions ParseBenchOptions(int argc, char** argv, BenchOptions options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--frames")
            options.frames = std::atoi(argv[i + 1]);
        else if (a == "--runs")
            options.runs = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--dir")
            options.dir = argv[i + 1];
    }
    std::filesystem::create_directories(options.dir);
    return options;
}

inline int RunCommand(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline double ChildrenCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

inline double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Pins the calling thread, and so every thread it creates from now on, to these CPUs.
inline bool PinTo(const std::vector<int>& cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c : cpus)
        CPU_SET(c, &set);
    return sched_setaffinity(0, sizeof(set), &set) == 0;
}

// The inlay's two lines as ffmpeg's drawtext draws them at the superposer's default place (ending
// at 900/1000 of the width, line 2's top at 900/1000 of the height, line 1 a 28-pixel line
// above; bold Liberation Sans), in RGB as the inlay draws, followed by `then`.
inline std::string InlayDrawtext(const std::string& then) {
    const std::string font =
        "fontfile=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf:"
        "fontsize=24:fontcolor=white";
    return "format=rgb24,drawtext=" + font +
           ":text='%{localtime\\:%d/%m/%Y}':x=648-tw:y=490,drawtext=" + font +
           ":text='%{localtime\\:%H\\\\\\:%M\\\\\\:%S}':x=648-tw:y=518," + then;
}

// ffmpeg on core 0 with one thread everywhere, reading `clip` through the filter chain `vf`; the
// caller appends the codecs, the format and the output.
inline std::vector<std::string> OneCoreFfmpeg(const std::string& clip, const std::string& vf) {
    return {"taskset", "-c",        "0",     "ffmpeg", "-hide_banner", "-loglevel", "error",
            "-y",      "-threads",  "1",     "-filter_threads", "1",   "-i",        clip,
            "-vf",     vf,          "-threads", "1"};
}

} // namespace talvence::bench
