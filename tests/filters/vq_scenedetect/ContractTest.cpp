// The framework's contract on the scene detector: camcorder frames pass untouched.

#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/FilterContract.h"
#include "tests/support/FrameGraph.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject detect;
    detect.name = "SceneDetect";
    detect.make = [](TContractRig&) { return ComPtr<IBaseFilter>(new Tvq_SceneDetect); };
    detect.input = MakeDvType(true);
    detect.payload = [] {
        std::vector<std::vector<BYTE>> frames;
        for (std::uint8_t f = 0; f < 3; ++f) {
            DvFrameRecipe recipe;
            recipe.tc.frames = f;
            frames.push_back(MakeDvFrame(recipe));
        }
        return frames;
    };
    detect.output = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_dvsd; };
    detect.expectOutput = ExpectAsSent;
    detect.acceptedChange = MakeDvType(false); // type 2 from type 1
    detect.announcesChange = true;
    return {detect};
}

INSTANTIATE_TEST_SUITE_P(SceneDetect, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
