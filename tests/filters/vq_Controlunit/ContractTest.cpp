// The framework's contract on the control filter, armed for every frame (it passes a frame only
// when told); it drops what comes while it is not armed.

#include "filters/vq_Controlunit/vq_Controlunit.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

Tvq_ControlFilter* Gate(IBaseFilter* f) {
    return static_cast<Tvq_ControlFilter*>(static_cast<TBCTransformFilter*>(f));
}

std::vector<TContractSubject> Subjects() {
    TContractSubject gate;
    gate.name = "ControlFilter";
    gate.make = [](TContractRig&) {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new Tvq_ControlFilter));
    };
    gate.beforeEachSample = [](IBaseFilter* f) { Gate(f)->SetPassNext(true); };
    gate.expectOutput = ExpectAsSent;
    gate.acceptedChange = MakeTestVideoType(160, 120);
    gate.announcesChange = true;
    gate.makeDrops = [](TContractRig& rig) {
        rig.source->beforeDeliver = [f = rig.filter.get()](long) { Gate(f)->SetPassNext(false); };
    };
    return {gate};
}

INSTANTIATE_TEST_SUITE_P(ControlFilter, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
