// Our DV video segment codec against libavcodec's whole-frame DV encoder, single-threaded: CPU
// per video segment of each (libavcodec's frame divided by its segments), on a picture decoded
// from a clip the ffmpeg command line made (testsrc2, clean and with noise). An inlay capture
// codes only the segments its text touches, so this ratio tells what each such segment costs
// against a whole-frame re-encode.
//
// Run: build/bench/dvcodec/bench_dvsegment

#include "platform/media/filters/dv/DvSegmentCodec.h"
#include "platform/media/filters/dv/DvVideoDecoderCore.h"
#include "platform/media/filters/dv/DvVideoEncoderCore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace talvence::dvcodec {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A decoded PAL picture in its native layout and the frame it came from; empty without ffmpeg.
struct Sample {
    Bytes frame;
    Bytes picture;
};

const Sample& SampleFor(bool noisy) {
    static std::map<bool, Sample> samples;
    if (auto it = samples.find(noisy); it != samples.end()) return it->second;
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvence-dvsegment-" + std::to_string(noisy) + ".dv");
    const std::string command =
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25") +
        (noisy ? " -vf noise=alls=12:allf=t" : "") + " -frames:v 2 -pix_fmt yuv420p -f dv '" +
        path.string() + "'";
    Sample sample;
    if (std::system(command.c_str()) == 0) {
        std::ifstream f(path, std::ios::binary);
        const Bytes all((std::istreambuf_iterator<char>(f)), {});
        if (all.size() >= kPalFrameBytes) {
            sample.frame.assign(all.begin(), all.begin() + std::ptrdiff_t(kPalFrameBytes));
            sample.picture.resize(PictureBytes(PixelLayout::Yuv420p, kDvWidth, 576));
            DvVideoDecoderCore decoder;
            if (decoder.DecodeTo(sample.frame, PixelLayout::Yuv420p, sample.picture) !=
                DvDecodeStatus::Ok)
                sample = {};
        }
    }
    std::filesystem::remove(path);
    return samples.emplace(noisy, std::move(sample)).first->second;
}

void BM_OurSegment(benchmark::State& state) {
    const bool noisy = state.range(0) != 0;
    const Sample& s = SampleFor(noisy);
    if (s.frame.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const ConstPicture view =
        *PictureOver(std::span<const std::uint8_t>(s.picture), PixelLayout::Yuv420p, kDvWidth, 576);
    Bytes frame = s.frame;
    const int segments = VideoSegmentCount(DvSystem::Pal625);
    int next = 0;
    for (auto _ : state) {
        EncodeVideoSegment(DvSystem::Pal625, view, next, frame);
        benchmark::DoNotOptimize(frame.data());
        next = (next + 1) % segments;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LibavcodecFrame(benchmark::State& state) {
    const bool noisy = state.range(0) != 0;
    const Sample& s = SampleFor(noisy);
    if (s.frame.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    DvEncoderOptions options;
    options.system = DvSystem::Pal625;
    DvVideoEncoderCore encoder(options);
    Bytes frame(kPalFrameBytes);
    for (auto _ : state) {
        encoder.Encode(std::span<const std::uint8_t>(s.picture), PixelLayout::Yuv420p, kDvWidth,
                       576, frame);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations() * VideoSegmentCount(DvSystem::Pal625));
}

BENCHMARK(BM_OurSegment)->Arg(0)->Arg(1)->ArgName("noisy")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibavcodecFrame)->Arg(0)->Arg(1)->ArgName("noisy")->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace talvence::dvcodec

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
