#pragma once

// A graph of counting source -> filter under test -> counting sink, and helpers that keep a
// broken test from hanging.

#include "tests/support/Waits.h"
#include "TestFilters.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MemAllocator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace talvence {

using testing::CallWithin;
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

    // Every queued event code with its first parameter.
    std::vector<std::pair<long, LONG_PTR>> Events() {
        std::vector<std::pair<long, LONG_PTR>> out;
        long code;
        LONG_PTR p1, p2;
        while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            out.emplace_back(code, p1);
            graph->FreeEventParams(code, p1, p2);
        }
        return out;
    }
};

inline long CountEvents(const std::vector<std::pair<long, LONG_PTR>>& events, long code) {
    long n = 0;
    for (auto& e : events)
        if (e.first == code) ++n;
    return n;
}

// A sample of our own, for calling Receive directly.
inline ComPtr<IMediaSample> MakeSample(ComPtr<IMemAllocator>& keep, LONG length = 16) {
    keep = new CMemAllocator;
    ALLOCATOR_PROPERTIES request{1, length, 1, 0}, actual;
    keep->SetProperties(&request, &actual);
    keep->Commit();
    ComPtr<IMediaSample> sample;
    keep->GetBuffer(sample.put(), nullptr, nullptr, 0);
    sample->SetActualDataLength(length);
    return sample;
}

} // namespace talvence
