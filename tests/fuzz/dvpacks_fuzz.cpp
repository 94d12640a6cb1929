// The DV pack readers (timecode, recording date and time, system, aspect, audio source) and the
// audio source pack and samples as the codec reads them, on each frame of the input; and the
// DV format block's audio packs, on the input's first bytes.

#include <algorithm>
#include <cstring>
#include <vector>

#include "filters/dvcodes/dvcodes.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "tests/fuzz/DvFuzzInput.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence;
using namespace talvence::dvcodec;

namespace {

void ReadPacks(const std::vector<std::uint8_t>& frame) {
    // The readers' own precondition: at least 10 whole DIF sequences.
    if (frame.size() < kDvMinFrameBytes) return;
    const std::uint8_t* f = frame.data();
    for (int s = 0; s < kDvMinSequences; ++s) {
        // A timecode found never reads as "none" (bit 7 of the hours), whatever its digits.
        const DvTimecode tc = DvReadTimecode(f, s);
        FUZZ_CHECK(tc.hours == 0xFF || (tc.hours & 0x80) == 0);
        DvRecDateTime rec;
        DvReadRecDateTime(f, s, rec);
    }
    DvHasSourceControl(f);
    FUZZ_CHECK(DvVideoSystem(f) <= kDvSystemUnknown);
    DvAudioSampleRate(f);
    DvAudioQuantization(f);
    DvIsWideScreen(f);
}

void ReadAudio(const std::vector<std::uint8_t>& frame, DvSystem system) {
    std::vector<std::int16_t> samples(2 * std::size_t(AudioCapacity(system, 16)));
    for (int pair = 0; pair < 2; ++pair) {
        DvAudioSource source;
        if (ExtractAudio(frame, system, pair, samples, source) != DvAudioStatus::Ok) continue;
        FUZZ_CHECK(source.samples >= MinimumAudioSamples(system, source.sampleRate));
        FUZZ_CHECK(source.samples <= AudioCapacity(system, source.bits));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DVINFO info{};
    std::memcpy(&info, data, std::min(size, sizeof info));
    if (const auto format = WaveFormatFromDvInfo(info)) {
        FUZZ_CHECK(DvAudioCodeOfRate(int(format->nSamplesPerSec)) >= 0);
    }

    for (const fuzz::DvFuzzFrame& frame : fuzz::DvFramesFromFuzzInput(data, size)) {
        ReadPacks(frame.bytes);
        // Read as either system, whatever the header says, as the codec may be told.
        for (DvSystem system : {DvSystem::Ntsc525, DvSystem::Pal625})
            ReadAudio(frame.bytes, system);
    }
    return 0;
}
