// The framework's contract on the superposer: 320x240 RGB24 pictures, the text drawn into them.

#include "filters/vq_superposer/vq_superposer.h"
#include "tests/support/InlayTestSupport.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

constexpr long kPictureBytes = 320 * 240 * 3;

std::vector<TContractSubject> Subjects() {
    TContractSubject superposer;
    superposer.name = "Superposer";
    superposer.prepare = inlaytest::EnsureGuiApp;
    superposer.make = [](TContractRig&) {
        return ComPtr<IBaseFilter>(new Tvq_Superposer(nullptr, EnglishLocaleFormats(), 96));
    };
    superposer.sampleSize = kPictureBytes;
    superposer.expectOutput = [](long, const std::vector<BYTE>&, const TReceivedSample& s) {
        EXPECT_EQ(s.length, kPictureBytes);
    };
    // A slower stream of the same size goes on; its type reaches downstream.
    superposer.acceptedChange = MakeTestVideoType(320, 240, 2 * 400000);
    superposer.announcesChange = true;
    return {superposer};
}

INSTANTIATE_TEST_SUITE_P(Superposer, FilterContract, ::testing::ValuesIn(Subjects()), ContractName);

} // namespace
} // namespace talvence::testing
