#pragma once
// A graph holding the test source, the filters under test and the test sink, for the own
// filters' graph tests: the source sends exactly the frames a test queues, one at a time, so a
// test can interleave its own steps with the stream; the sink takes every type and keeps every
// byte. Every wait is bounded and fails the test instead of hanging.
//
// Threads: build and configure on the test thread while stopped; queue frames and read the
// sink's records from the test thread while the graph runs.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "tests/support/GraphHelpers.h"

#include <string>
#include <utility>
#include <vector>

namespace talvence::testing {

// source → filters... → sink in one graph.
struct FrameGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TCountingSink> sink{TCountingSink::Recording(AcceptingAny())};

    FrameGraph() {
        source->feed = TCountingSource::Feed::Queue;
        source->bufferSize = 144000;
        source->bufferCount = 3;
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~FrameGraph() { graph->Stop(); }

    // Adds the filters under the given names and connects source → each filter → sink.
    HRESULT Build(const std::vector<std::pair<IBaseFilter*, std::string>>& filters) {
        ComPtr<IPin> out(source->OutputPin());
        for (const auto& [filter, name] : filters) {
            HRESULT hr = graph->AddFilter(filter, name);
            if (FAILED(hr)) return hr;
            hr = graph->ConnectDirect(out.get(), FirstPin(filter, PINDIR_INPUT).get(), nullptr);
            if (FAILED(hr)) return hr;
            out = FirstPin(filter, PINDIR_OUTPUT);
        }
        return graph->ConnectDirect(out.get(), sink->InputPin(), nullptr);
    }
    // The graph's queued event codes with their first parameters.
    testing::Events Events() { return TakeEvents(graph.get()); }
};

} // namespace talvence::testing
