// The framework's contract on the AVI Mux, writing through its File Writer to a temporary file:
// interleaved DV in, the frames written counted in the file's video stream.

#include "tests/platform/media/filters/avimux/AviGraphSupport.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

std::vector<TContractSubject> Subjects() {
    TContractSubject mux;
    mux.name = "AviMux";
    mux.role = TFilterRole::Writer;
    mux.make = [](TContractRig&) { return ComPtr<IBaseFilter>(new TAviMux); };
    mux.finish = [](TContractRig& rig) {
        ComPtr<IBaseFilter> writer(new TFileWriter);
        rig.otherFilters.push_back(writer);
        HRESULT hr = rig.graph->AddFilter(writer.get(), "File writer");
        if (SUCCEEDED(hr))
            hr = rig.graph->ConnectDirect(FreePin(rig.filter.get(), PINDIR_OUTPUT).get(),
                                          FreePin(writer.get(), PINDIR_INPUT).get(), nullptr);
        if (SUCCEEDED(hr))
            hr = writer.As<IFileSinkFilter>()->SetFileName(rig.TempFile("avi").string(), nullptr);
        return hr;
    };
    mux.input = MakeDvType(true);
    mux.payload = [] {
        const auto& frames = PalDvFrames();
        return std::vector<Bytes>(frames.begin(),
                                  frames.begin() + std::min<std::ptrdiff_t>(3, frames.size()));
    };
    mux.refusedChange = MakeDvType(true, false); // the camcorder turns to 525/60
    mux.rendered = [](TContractRig& rig) {
        std::vector<std::uint64_t> lengths;
        rig.otherFilters.at(0).As<IAviFileWriterControl>()->GetStreamLengths(&lengths);
        return lengths.empty() ? 0L : static_cast<long>(lengths[0]);
    };
    mux.skips[TContractCase::AcceptedTypeChange] =
        "the stream's format is in the file's header: no other type can follow";
    return {mux};
}

INSTANTIATE_TEST_SUITE_P(AviMux, FilterContract, ::testing::ValuesIn(Subjects()), ContractName);

} // namespace
} // namespace talvence::testing
