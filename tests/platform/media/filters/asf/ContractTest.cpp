// The framework's contract on the ASF writer with its default profile: RGB24 pictures in, the
// pictures its video input took counted.

#include "platform/media/filters/asf/AsfWriter.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject writer;
    writer.name = "AsfWriter";
    // It reports the end of its file itself, and not after an aborted run.
    writer.role = TFilterRole::Writer;
    writer.finish = [](TContractRig&) { return S_OK; };
    writer.make = [](TContractRig& rig) {
        ComPtr<TAsfWriter> filter(new TAsfWriter);
        filter->SetFileName(rig.TempFile("wmv").string(), nullptr);
        return ComPtr<IBaseFilter>(filter.get());
    };
    writer.sampleSize = 320 * 240 * 3;
    writer.acceptedChange = MakeTestVideoType(160, 120);
    writer.rendered = [](TContractRig& rig) {
        std::vector<std::uint64_t> lengths;
        rig.filter.As<IAviFileWriterControl>()->GetStreamLengths(&lengths);
        return lengths.empty() ? 0L : static_cast<long>(lengths[0]);
    };
    return {writer};
}

INSTANTIATE_TEST_SUITE_P(AsfWriter, FilterContract, ::testing::ValuesIn(Subjects()), ContractName);

} // namespace
} // namespace talvence::testing
