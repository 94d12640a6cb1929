// What the engine logs when it builds graphs (TALVENCE_LOG=graph).

#include "platform/media/FilterGraph.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/log/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace talvence {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;

std::string PinName(IPin* pin) {
    PIN_INFO info;
    pin->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    return info.achName;
}

TEST(ConnectLog, ARefusedConnectNamesBothPinsTheTypeOfferedAndTheResult) {
    // Setup: a sink that takes nothing the source offers, and no converters to try.
    std::vector<std::string> lines;
    log::TLogOverride capture("graph", [&](std::string_view line) { lines.emplace_back(line); });
    ComPtr<CFilterGraph> graph(new CFilterGraph);
    ComPtr<TCountingSource> source(new TCountingSource);
    ComPtr<TCountingSink> sink(new TCountingSink);
    sink->accept = [](const CMediaType&) { return false; };
    graph->AddFilter(source.get(), "Camera");
    graph->AddFilter(sink.get(), "Writer");

    // Exercise
    const HRESULT hr = graph->Connect(source->OutputPin(), sink->InputPin());

    // Verification
    ASSERT_EQ(hr, VFW_E_CANNOT_CONNECT);
    EXPECT_THAT(lines, Contains(AllOf(HasSubstr("Camera [" + PinName(source->OutputPin()) + "]"),
                                      HasSubstr("Writer [" + PinName(sink->InputPin()) + "]"),
                                      HasSubstr("VFW_E_CANNOT_CONNECT (0x80040217)"),
                                      HasSubstr("MEDIASUBTYPE_RGB24"))));
}

} // namespace
} // namespace talvence
