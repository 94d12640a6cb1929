// The scene detector's frame path: the input's frames as one stream, each sample's timing
// taken from bits 1-2 of its control byte (on time, after a gap, without times, back in time),
// then the stop. Whatever the frames hold, the scenes reported tile the frames decoded: each
// starts where the last ended, and the last ends at the stop.

#include <memory>
#include <vector>

#include "filters/vq_scenedetect/SceneDetectCore.h"
#include "tests/fuzz/DvFuzzInput.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The ring holds 500 KB; one detector serves every input, reset by its stop as between runs.
    static const auto core = std::make_unique<SceneDetectCore>();
    std::uint32_t sceneEnd = 0;
    core->SetSceneCallback(
        [&sceneEnd](const DvFrameInfo& start, const DvFrameInfo& current, SceneCut) {
            // The first scene's record of its start already counts its first frame.
            const std::uint32_t first = sceneEnd == 0 ? 0 : start.frameCount;
            FUZZ_CHECK(first == sceneEnd);
            FUZZ_CHECK(current.frameCount >= first);
            sceneEnd = current.frameCount;
        });

    std::uint32_t decoded = 0;
    std::int64_t time = 0;
    for (const fuzz::DvFuzzFrame& frame : fuzz::DvFramesFromFuzzInput(data, size)) {
        const std::int64_t duration = SceneFrameDuration(frame.bytes.size());
        const int timing = (frame.control >> 1) & 3;
        if (timing == 1) time += 10 * duration;
        if (timing == 3) time -= 3 * duration;
        const SceneFrameResult result = core->ProcessFrame(frame.bytes.data(), frame.bytes.size(),
                                                           time, time + duration, timing != 2);
        time += duration;
        if (!result.decoded) continue;
        ++decoded;
        DvFrameInfo newest;
        FUZZ_CHECK(core->ReadInfo(core->Pos(), newest));
        FUZZ_CHECK(newest.frameCount == decoded);
    }
    core->Stop();
    if (decoded > 0) FUZZ_CHECK(sceneEnd == decoded);
    core->SetSceneCallback({});
    return 0;
}
