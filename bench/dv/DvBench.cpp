// The scene detector must keep up with DV at 25 frames per second with room
// to spare (target: under 10 us per frame); the virtual camcorder must make
// 25 frames per second on one core.

#include <cstdint>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "filters/vq_scenedetect/SceneDetectCore.h"
#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/shell/DateTime.h"

namespace talvence {
namespace {

DvTapeScript BenchTape(DvTapeSystem system) {
    DvTapeScript script;
    DvRecording r;
    r.start = EncodeDateTime(2024, 1, 1, 10, 0, 0, 0);
    r.frames = 250;
    r.system = system;
    script.recordings.push_back(r);
    return script;
}

void BM_SceneDetectPerFrame(benchmark::State& state) {
    // Ten seconds of real frames, fed round and round with running times.
    const auto system = state.range(0) ? DvTapeSystem::Pal625 : DvTapeSystem::Ntsc525;
    DvTapeSynthesiser synth(BenchTape(system));
    std::vector<std::vector<std::uint8_t>> frames(synth.frameCount());
    for (std::uint64_t i = 0; i < frames.size(); ++i)
        if (!synth.frame(i, frames[i])) state.SkipWithError(synth.error().c_str());
    auto core = std::make_unique<SceneDetectCore>();
    std::uint32_t scenes = 0;
    core->SetSceneCallback(
        [&scenes](const DvFrameInfo&, const DvFrameInfo&, SceneCut) { ++scenes; });
    const std::int64_t duration = SceneFrameDuration(frames[0].size());
    std::int64_t time = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& frame = frames[i];
        benchmark::DoNotOptimize(
            core->ProcessFrame(frame.data(), frame.size(), time, time + duration, true));
        time += duration;
        i = (i + 1) % frames.size();
    }
    benchmark::DoNotOptimize(scenes);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SceneDetectPerFrame)->Arg(1)->Arg(0)->ArgName("pal");

void BM_ReadRingEntry(benchmark::State& state) {
    auto core = std::make_unique<SceneDetectCore>();
    std::vector<std::uint8_t> frame(144000, 0xFF);
    core->ProcessFrame(frame.data(), frame.size(), 0, 400000, true);
    FrameRingEntry entry;
    for (auto _ : state) {
        core->ReadEntry(core->Pos(), entry);
        benchmark::DoNotOptimize(entry);
    }
}
BENCHMARK(BM_ReadRingEntry);

void BM_SynthesiseFrame(benchmark::State& state) {
    const auto system = state.range(0) ? DvTapeSystem::Pal625 : DvTapeSystem::Ntsc525;
    DvTapeSynthesiser synth(BenchTape(system));
    std::vector<std::uint8_t> frame;
    synth.frame(0, frame); // the picture is encoded once, outside the loop
    std::uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(synth.frame(i, frame));
        i = (i + 1) % synth.frameCount();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SynthesiseFrame)->Arg(1)->Arg(0)->ArgName("pal");

} // namespace
} // namespace talvence
