// The basic filters in the filter registry: found by class id and name, made by their factories,
// and never chosen by intelligent connection.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/CaptureGraphBuilder.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"
#include "platform/media/filters/basic/BasicFilters.h"
#include "platform/media/filters/basic/NullRenderer.h"
#include "platform/media/filters/basic/SampleGrabber.h"

#include <gtest/gtest.h>

#include <map>

namespace talvence::testing {
namespace {

TEST(BasicFilterRegistration, EachFilterIsMadeByItsClassIdAndNeverInsertedOnItsOwn) {
    // Setup
    FilterRegistry registry;
    const std::map<std::string, GUID> expected = {
        {"Smart Tee", CLSID_SmartTee},
        {"Infinite Pin Tee Filter", CLSID_InfTee},
        {"SampleGrabber", CLSID_SampleGrabber},
        {"Video Mixing Renderer Filter", CLSID_VideoMixingRenderer},
        {"Null Renderer", CLSID_NullRenderer},
        {"Dump", CLSID_Dump},
    };

    // Exercise
    RegisterBasicFilters(registry);
    auto entries = registry.Entries(CLSID_LegacyAmFilterCategory);

    // Verification
    ASSERT_EQ(entries.size(), expected.size());
    for (const RegisteredFilter& entry : entries) {
        SCOPED_TRACE(entry.friendlyName);
        ASSERT_EQ(expected.count(entry.friendlyName), 1u);
        EXPECT_EQ(entry.clsid, expected.at(entry.friendlyName));
        EXPECT_EQ(entry.merit, MERIT_DO_NOT_USE);
        ASSERT_TRUE(entry.create);
        ComPtr<IBaseFilter> filter = entry.create();
        ASSERT_TRUE(filter);
        CLSID made;
        ASSERT_EQ(filter->GetClassID(&made), S_OK);
        EXPECT_EQ(made, entry.clsid);
    }
    EXPECT_TRUE(registry.FindForInput(MEDIATYPE_Video, MEDIASUBTYPE_RGB24).empty());
    EXPECT_TRUE(registry.FindForInput(MEDIATYPE_Stream, GUID_NULL).empty());
}

ComPtr<IBaseFilter> Create(const FilterRegistry& registry, const CLSID& clsid) {
    for (const RegisteredFilter& entry : registry.Entries(CLSID_LegacyAmFilterCategory))
        if (entry.clsid == clsid) return entry.create();
    return nullptr;
}

std::string PeerFilterName(IBaseFilter* filter, const std::string& pinId) {
    ComPtr<IPin> pin, peer;
    if (FAILED(filter->FindPin(pinId, pin.put())) || FAILED(pin->ConnectedTo(peer.put())))
        return {};
    PIN_INFO info;
    peer->QueryPinInfo(&info);
    FILTER_INFO filterInfo;
    info.pFilter->QueryFilterInfo(&filterInfo);
    info.pFilter->Release();
    if (filterInfo.pGraph) filterInfo.pGraph->Release();
    return filterInfo.achName;
}

TEST(BasicFilterRegistration, ThePreviewSpineBuildsAndRunsThroughTheCaptureGraphBuilder) {
    // Setup: filters made by class id, joined under the names the preview recipes use
    auto registry = std::make_shared<FilterRegistry>();
    RegisterBasicFilters(*registry);
    ComPtr<CFilterGraph> graph(new CFilterGraph(registry));
    ComPtr<ICaptureGraphBuilder2> builder(new CCaptureGraphBuilder(registry));
    builder->SetFiltergraph(graph.get());
    ComPtr<TCountingSource> source(new TCountingSource);
    source->mediaType = MakeTestVideoType(8, 4);
    source->sampleSize = 96;
    source->sampleLimit = 3;
    ComPtr<IBaseFilter> smartTee = Create(*registry, CLSID_SmartTee);
    ComPtr<IBaseFilter> infinite = Create(*registry, CLSID_InfTee);
    ComPtr<IBaseFilter> grabber = Create(*registry, CLSID_SampleGrabber);
    ComPtr<IBaseFilter> renderer = Create(*registry, CLSID_NullRenderer);
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(smartTee.get(), "Smarttee");
    graph->AddFilter(infinite.get(), "Infinite");
    graph->AddFilter(grabber.get(), "sg");
    graph->AddFilter(renderer.get(), "Renderer");
    auto sg = grabber.As<ISampleGrabber>();
    ASSERT_TRUE(sg);
    sg->SetBufferSamples(1);

    // Exercise: source -> Smart Tee -> Infinite, then Infinite -> sg -> renderer
    HRESULT spine = builder->RenderStream(nullptr, nullptr, source->OutputPin(), smartTee.get(),
                                          infinite.get());
    HRESULT branch =
        builder->RenderStream(nullptr, nullptr, infinite.get(), grabber.get(), renderer.get());
    ASSERT_EQ(graph->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(graph->WaitForCompletion(5000, &code), S_OK);
    ASSERT_EQ(graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(spine, S_OK);
    EXPECT_EQ(branch, S_OK);
    EXPECT_EQ(PeerFilterName(smartTee.get(), "Input"), "Source");
    EXPECT_EQ(PeerFilterName(smartTee.get(), "Capture"), "Infinite");
    EXPECT_EQ(PeerFilterName(smartTee.get(), "Preview"), "");
    EXPECT_EQ(PeerFilterName(infinite.get(), "Output1"), "sg");
    EXPECT_EQ(code, EC_COMPLETE);
    long size = 0;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 96);
}

} // namespace
} // namespace talvence::testing
