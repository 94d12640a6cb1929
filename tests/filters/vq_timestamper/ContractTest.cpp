// The framework's contract on the timestamper, passing times through.

#include "filters/vq_timestamper/vq_timestamper.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject stamper;
    stamper.name = "TimeStamper";
    stamper.make = [](TContractRig&) {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new Tvq_TimeStamper));
    };
    stamper.expectOutput = ExpectAsSent;
    stamper.acceptedChange = MakeTestVideoType(160, 120);
    stamper.announcesChange = true;
    return {stamper};
}

INSTANTIATE_TEST_SUITE_P(TimeStamper, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
