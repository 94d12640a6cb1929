// The framework's contract on each filter shape built on it: copying, in place, and in place
// modifying the data.

#include "TestFilters.h"

#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

long Transforms(IBaseFilter* f) {
    if (auto* inv = dynamic_cast<TInvert*>(f)) return inv->transforms;
    return dynamic_cast<TPassInPlace*>(f)->transforms;
}

void DropEverything(TContractRig& rig) {
    const SampleDecision drop = [](long) { return S_FALSE; };
    if (auto* inv = dynamic_cast<TInvert*>(rig.filter.get()))
        inv->decide = drop;
    else
        dynamic_cast<TPassInPlace*>(rig.filter.get())->decide = drop;
}

// A shape whose output is the input, its bytes inverted or not.
TContractSubject Shape(std::string name, std::function<TBCTransformFilter*()> make, bool inverts,
                       bool inPlace) {
    TContractSubject s;
    s.name = std::move(name);
    s.make = [make](TContractRig&) {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(make()));
    };
    s.expectOutput = [inverts](long, const std::vector<BYTE>& sent, const TReceivedSample& r) {
        EXPECT_EQ(r.firstByte, inverts ? BYTE(~sent[0]) : sent[0]);
        EXPECT_TRUE(r.syncPoint);
    };
    s.acceptedChange = MakeTestVideoType(160, 120);
    s.announcesChange = inPlace; // a copy has its own output type
    s.makeDrops = DropEverything;
    s.processed = Transforms;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FilterContract,
    ::testing::Values(Shape(
                          "Copying", [] { return new TInvert; }, true, false),
                      Shape(
                          "InPlace", [] { return new TPassInPlace(false); }, false, true),
                      Shape(
                          "InPlaceModifying", [] { return new TPassInPlace(true); }, true, true)),
    ContractName);

} // namespace
} // namespace talvence::testing
