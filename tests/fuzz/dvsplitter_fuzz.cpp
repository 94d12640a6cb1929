// The DV splitter's frame parsing: every frame of the input through one splitter, as a stream
// (the audio format is fixed by the first frame with audio), for both stereo pairs.

#include "platform/media/filters/dv/DvSplitterCore.h"
#include "tests/fuzz/DvFuzzInput.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence;
using namespace talvence::dvcodec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto frames = fuzz::DvFramesFromFuzzInput(data, size);
    for (int pair = 0; pair < 2; ++pair) {
        DvSplitterCore splitter(DvSplitterOptions{pair});
        for (const fuzz::DvFuzzFrame& frame : frames) {
            const DvSplitResult result = splitter.Split(frame.bytes);
            FUZZ_CHECK(result.accepted == SystemForFrameSize(frame.bytes.size()).has_value());
            if (result.audioStatus != DvAudioStatus::Ok) {
                FUZZ_CHECK(result.pcm.empty());
                continue;
            }
            // Interleaved 16-bit stereo: four bytes a sample.
            FUZZ_CHECK(result.pcm.size() == 4 * std::size_t(result.audio.samples));
            FUZZ_CHECK(splitter.audioFormat().has_value());
        }
    }
    return 0;
}
