// The framework's contract on the audio filters: the ACM Wrapper and the audio renderer (on the
// fake playback device), fed 48 kHz stereo in frames of 40 ms.

#include "tests/support/PcmTestSupport.h"

#include "platform/media/filters/audio/AcmWrapper.h"
#include "platform/media/filters/audio/AudioRenderer.h"
#include "platform/media/filters/audio/FakePcmPlayback.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

constexpr std::size_t kChunkBytes = 1920 * 4;

// Three 40 ms chunks of a 1 kHz sine.
std::vector<std::vector<BYTE>> Chunks(const TPcmFormat& format) {
    const auto sine = MakeSine(format, 0.12, 1000.0);
    std::vector<std::vector<BYTE>> chunks;
    for (std::size_t at = 0; at + kChunkBytes <= sine.size(); at += kChunkBytes)
        chunks.emplace_back(sine.begin() + at, sine.begin() + at + kChunkBytes);
    return chunks;
}

std::vector<TContractSubject> Subjects() {
    const TPcmFormat format{48000, 2, 16};
    const CMediaType video = MakeTestVideoType();

    TContractSubject acm;
    acm.name = "AcmWrapper";
    acm.make = [](TContractRig&) { return ComPtr<IBaseFilter>(new TAcmWrapper); };
    acm.input = MakePcmType(format);
    acm.payload = [format] { return Chunks(format); };
    acm.output = AcceptingPcm();
    // Whole stereo frames; their times (checked by the contract) say how many.
    acm.expectOutput = [](long, const std::vector<BYTE>&, const TReceivedSample& s) {
        EXPECT_GT(s.length, 0);
        EXPECT_EQ(s.length % 4, 0);
    };
    acm.acceptedChange = MakePcmType(TPcmFormat{48000, 1, 16}); // converted to the output's
    acm.refusedChange = video;

    TContractSubject renderer;
    renderer.name = "AudioRenderer";
    renderer.role = TFilterRole::Renderer;
    renderer.make = [](TContractRig&) {
        return ComPtr<IBaseFilter>(new TAudioRenderer(std::make_shared<TFakePcmPlayback>()));
    };
    renderer.input = acm.input;
    renderer.payload = acm.payload;
    renderer.acceptedChange = MakePcmType(TPcmFormat{44100, 2, 16});
    renderer.refusedChange = video;
    renderer.rendered = [](TContractRig& rig) {
        return static_cast<TAudioRenderer*>(rig.filter.get())->SamplesRendered();
    };
    renderer.holdsWhilePaused = true;

    return {acm, renderer};
}

INSTANTIATE_TEST_SUITE_P(AudioFilters, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
