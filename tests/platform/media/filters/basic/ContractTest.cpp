// The framework's contract on the basic built-in filters: the two tees, the Sample Grabber, the
// video and null renderers and Dump, fed 32x24 RGB24 pictures.

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/DumpFilter.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/basic/NullRenderer.h"
#include "platform/media/filters/basic/SampleGrabber.h"
#include "platform/media/filters/basic/SmartTee.h"
#include "platform/media/filters/basic/VideoRenderer.h"
#include "tests/support/FilterContract.h"

namespace talvence::testing {
namespace {

constexpr LONG kWidth = 32, kHeight = 24;
constexpr long kFrameBytes = kWidth * kHeight * 3;

TContractSubject Basic(std::string name, TFilterRole role,
                       std::function<TBCBaseFilter*(TContractRig&)> make) {
    TContractSubject s;
    s.name = std::move(name);
    s.role = role;
    s.make = [make](TContractRig& rig) {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(make(rig)));
    };
    s.input = MakeTestVideoType(kWidth, kHeight);
    s.sampleSize = kFrameBytes;
    s.expectOutput = ExpectAsSent;
    s.acceptedChange = MakeTestVideoType(16, 12);
    s.announcesChange = true;
    s.rendered = [](TContractRig& rig) {
        return static_cast<TBasicRenderer*>(rig.filter.get())->SamplesRendered();
    };
    return s;
}

std::vector<TContractSubject> Subjects() {
    // The Smart Tee's preview is the one branch that drops by design: its sink keeps every
    // sample, so the preview pool runs dry after two; the capture branch gets every sample.
    auto smartTee =
        Basic("SmartTee", TFilterRole::Tee, [](TContractRig&) { return new TSmartTee; });
    smartTee.makeDrops = [](TContractRig& rig) {
        ComPtr<TCountingSink> preview(new TCountingSink);
        preview->holdSamples = true;
        rig.otherSinks.push_back(preview);
        rig.graph->AddFilter(preview.get(), "Preview");
        ASSERT_EQ(rig.graph->ConnectDirect(static_cast<TBCBaseFilter*>(rig.filter.get())->GetPin(2),
                                           preview->InputPin(), nullptr),
                  S_OK);
    };
    smartTee.deliveredWhileDropping = 6;

    auto grabber = Basic("SampleGrabber", TFilterRole::Transform, [](TContractRig&) {
        auto* g = new TSampleGrabberFilter;
        CMediaType rgb(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
        rgb.SetFormatType(FORMAT_VideoInfo);
        g->SetMediaType(&rgb);
        g->SetBufferSamples(1);
        return g;
    });

    const std::string takesAll = "accepts every type: no change can be refused";
    auto nullRenderer = Basic("NullRenderer", TFilterRole::Renderer,
                              [](TContractRig&) { return new TNullRenderer; });
    nullRenderer.skips[TContractCase::RefusedTypeChange] = takesAll;
    auto dump = Basic("Dump", TFilterRole::Renderer, [](TContractRig& rig) {
        auto* d = new TDumpFilter;
        d->SetFileName(rig.TempFile("dump").string(), nullptr);
        return d;
    });
    dump.skips[TContractCase::RefusedTypeChange] = takesAll;

    return {smartTee,
            Basic("InfTee", TFilterRole::Tee, [](TContractRig&) { return new TInfTee; }),
            grabber,
            Basic("VideoRenderer", TFilterRole::Renderer,
                  [](TContractRig&) { return new TVideoRenderer; }),
            nullRenderer,
            dump};
}

INSTANTIATE_TEST_SUITE_P(BasicFilters, FilterContract, ::testing::ValuesIn(Subjects()),
                         ContractName);

} // namespace
} // namespace talvence::testing
