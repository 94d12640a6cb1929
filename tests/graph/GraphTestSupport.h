#pragma once

// A filter registry for the component tests: the basic built-in filters plus factories that
// hand out the counting source and sink (and remember the last instance made, so a test can
// configure and watch the filter a slot created), and helpers to give slots their filters.

#include "filters/BaseClass/CountingFilters.h"
#include "graph/FilterGraphComponents.h"
#include "platform/media/DeviceEnum.h"

#include <functional>
#include <memory>
#include <string>

namespace talvence::graphtest {

inline constexpr GUID CLSID_TestSource = CLSID_TCountingSource;
inline constexpr GUID CLSID_TestSink = CLSID_TCountingSink;

// The instances the factories made last (owned by their graphs; valid while a slot holds them).
struct MadeFilters {
    TCountingSource* source = nullptr;
    TCountingSink* sink = nullptr;
    std::function<void(TCountingSource&)> configureSource;
    std::function<void(TCountingSink&)> configureSink;
};

struct TestPlatform {
    TestPlatform();

    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
    ComPtr<CSystemDeviceEnum> devEnum;
    std::shared_ptr<MadeFilters> made = std::make_shared<MadeFilters>();

    // The moniker of the filter category's entry with this class id (asserts it exists).
    ComPtr<IMoniker> FilterMoniker(const CLSID& clsid) const;
    // A device entry whose factory counts the filters it made.
    void RegisterDevice(const GUID& category, const std::string& friendlyName, const CLSID& clsid,
                        std::shared_ptr<int> madeCount);
};

// A filter that is in no graph's slot list: what recipes add with IFilterGraph::AddFilter.
ComPtr<IBaseFilter> MakeLooseSink();

int FilterCount(IFilterGraph* graph);
bool InGraph(IFilterGraph* graph, IBaseFilter* filter);
bool AnyPinConnected(IBaseFilter* filter);

} // namespace talvence::graphtest
