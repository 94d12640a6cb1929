// The framework's contract on the DV header filter, next to a scene detector that has seen no
// frame: encoded frames pass as they are.

#include "filters/vq_DVheader/vq_DVheader.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/FilterContract.h"
#include "tests/support/FrameGraph.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject header;
    header.name = "DVheader";
    header.make = [](TContractRig& rig) {
        ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
        rig.otherFilters.push_back(ComPtr<IBaseFilter>(detect.get()));
        return ComPtr<IBaseFilter>(new Tvq_DVheader(detect.get()));
    };
    header.input = MakeDvType(false);
    // As an encoder writes them: neither timecode nor recording date.
    header.payload = [] {
        std::vector<std::vector<BYTE>> frames;
        for (int f = 0; f < 3; ++f) {
            DvFrameRecipe recipe;
            recipe.timecode = false;
            recipe.rec.year = -1;
            recipe.wide = f == 1;
            frames.push_back(MakeDvFrame(recipe));
        }
        return frames;
    };
    header.output = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_dvsd; };
    header.expectOutput = ExpectAsSent;
    header.acceptedChange = MakeDvType(true);
    header.announcesChange = true;
    return {header};
}

INSTANTIATE_TEST_SUITE_P(DVheader, FilterContract, ::testing::ValuesIn(Subjects()), ContractName);

} // namespace
} // namespace talvence::testing
