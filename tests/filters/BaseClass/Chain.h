#pragma once

// A graph of counting source -> filter under test -> counting sink.

#include "TestFilters.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MemAllocator.h"

#include <gtest/gtest.h>

#include <vector>

namespace talvence {

using testing::CallWithin;
using testing::CountEvents;
using testing::WaitUntil;

struct Chain {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TBCTransformFilter> filter;
    ComPtr<TCountingSink> sink{new TCountingSink};

    explicit Chain(TBCTransformFilter* f) : filter(f) {
        source->sampleLimit = 0;
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(filter.get(), "Filter");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~Chain() { graph->Stop(); }

    IPin* FilterIn() { return filter->GetPin(0); }
    IPin* FilterOut() { return filter->GetPin(1); }
    TBCBaseOutputPin* FilterOutput() { return filter->OutputPin(); }
    TBCBaseInputPin* FilterInput() { return filter->InputPin(); }

    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), FilterIn(), nullptr);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(FilterOut(), sink->InputPin(), nullptr);
    }

    // Every queued event code with its first parameter, taken from the queue.
    testing::Events Events() { return testing::TakeEvents(graph.get()); }
};

} // namespace talvence
