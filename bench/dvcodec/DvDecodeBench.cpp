// DV decoding to RGB24, single-threaded: CPU per frame of our decoder core and of
// `ffmpeg -i clip.dv -vf format=rgb24 -f null -` on the same clip, and their ratio (target:
// ours within 5 % of the command line's, a ratio of 1.05 or less).
//
// The command line's cost per frame is the difference between decoding the whole clip and
// decoding its first frame only, divided by the frames in between, so that its start-up does
// not count. Needs the ffmpeg command line.

#include "platform/media/filters/dv/DvVideoDecoderCore.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace talvence::dvcodec {
namespace {

constexpr int kClipFrames = 250;

struct Clip {
    std::filesystem::path path;
    std::vector<std::vector<std::uint8_t>> frames;
};

std::filesystem::path WorkDir() {
    static const std::filesystem::path dir = [] {
        std::random_device rd;
        auto d = std::filesystem::temp_directory_path() /
                 ("talvence-dvbench-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

const Clip& ClipFor(bool pal) {
    static std::map<bool, Clip> clips;
    if (auto it = clips.find(pal); it != clips.end()) return it->second;
    Clip clip;
    clip.path = WorkDir() / (pal ? "pal.dv" : "ntsc.dv");
    const std::string duration = pal ? "10" : std::to_string(kClipFrames * 1001.0 / 30000.0);
    const std::string command =
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i ") +
        (pal ? "testsrc=size=720x576:rate=25" : "testsrc=size=720x480:rate=30000/1001") +
        " -f lavfi -i sine=sample_rate=48000 -t " + duration + " -pix_fmt " +
        (pal ? "yuv420p" : "yuv411p") + " -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv '" +
        clip.path.string() + "'";
    if (std::system(command.c_str()) == 0) {
        std::ifstream f(clip.path, std::ios::binary);
        const std::vector<std::uint8_t> all((std::istreambuf_iterator<char>(f)), {});
        const std::size_t size = pal ? kPalFrameBytes : kNtscFrameBytes;
        for (std::size_t at = 0; at + size <= all.size(); at += size)
            clip.frames.emplace_back(all.begin() + std::ptrdiff_t(at),
                                     all.begin() + std::ptrdiff_t(at + size));
    }
    return clips.emplace(pal, std::move(clip)).first->second;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// CPU seconds per frame, by system, filled in by the benchmarks below.
std::map<bool, double> oursPerFrame;
std::map<bool, double> ffmpegPerFrame;

void BM_OurDecodeToRgb24(benchmark::State& state) {
    const bool pal = state.range(0) != 0;
    const Clip& clip = ClipFor(pal);
    if (clip.frames.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    DvVideoDecoderCore decoder({.threads = 1});
    std::vector<std::uint8_t> picture(PictureBytes(
        PixelLayout::Rgb24, kDvWidth, FrameHeight(pal ? DvSystem::Pal625 : DvSystem::Ntsc525)));
    std::size_t next = 0;
    std::int64_t frames = 0;
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        const auto& frame = clip.frames[next];
        next = (next + 1) % clip.frames.size();
        if (decoder.DecodeTo(frame, PixelLayout::Rgb24, picture) != DvDecodeStatus::Ok) {
            state.SkipWithError("decoding failed");
            return;
        }
        benchmark::DoNotOptimize(picture.data());
        ++frames;
    }
    oursPerFrame[pal] = (ProcessCpuSeconds() - cpuStart) / double(frames);
    state.counters["cpu_us_per_frame"] = oursPerFrame[pal] * 1e6;
}

double FfmpegCpu(const Clip& clip, const std::string& limit) {
    const std::string command = "ffmpeg -nostdin -v error -threads 1 -i '" + clip.path.string() +
                                "' -threads 1 -filter_threads 1 " + limit +
                                " -vf format=rgb24 -f null -";
    const double before = ChildCpuSeconds();
    if (std::system(command.c_str()) != 0) return -1;
    return ChildCpuSeconds() - before;
}

void BM_FfmpegCliDecodeToRgb24(benchmark::State& state) {
    const bool pal = state.range(0) != 0;
    const Clip& clip = ClipFor(pal);
    if (clip.frames.size() < 2) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    double best = 1e9;
    for (auto _ : state) {
        const double whole = FfmpegCpu(clip, "");
        const double first = FfmpegCpu(clip, "-frames:v 1");
        if (whole < 0 || first < 0) {
            state.SkipWithError("the ffmpeg command line failed");
            return;
        }
        const double perFrame = (whole - first) / double(clip.frames.size() - 1);
        best = std::min(best, perFrame);
        state.SetIterationTime(perFrame);
    }
    ffmpegPerFrame[pal] = best;
    state.counters["cpu_us_per_frame"] = best * 1e6;
}

BENCHMARK(BM_OurDecodeToRgb24)->Arg(1)->Arg(0)->ArgName("pal")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FfmpegCliDecodeToRgb24)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("pal")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace talvence::dvcodec

int main(int argc, char** argv) {
    using namespace talvence::dvcodec;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const bool pal : {true, false}) {
        if (!oursPerFrame.count(pal) || !ffmpegPerFrame.count(pal)) continue;
        std::printf("%s: ours %.1f us/frame, ffmpeg %.1f us/frame, ratio %.3f (target <= 1.05)\n",
                    pal ? "PAL 720x576" : "NTSC 720x480", oursPerFrame[pal] * 1e6,
                    ffmpegPerFrame[pal] * 1e6, oursPerFrame[pal] / ffmpegPerFrame[pal]);
    }
    std::error_code ec;
    std::filesystem::remove_all(WorkDir(), ec);
    return 0;
}
