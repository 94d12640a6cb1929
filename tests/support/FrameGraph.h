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
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/GraphHelpers.h"

#include <string>
#include <utility>
#include <vector>

namespace talvence::testing {

// Raw DV with a DVINFO block: video 'dvsd' (type 2) or interleaved 'dvsd' (type 1).
inline CMediaType MakeDvType(bool interleaved, bool pal = true) {
    const ULONG frameBytes = pal ? 144000 : 120000;
    if (interleaved) {
        CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
        mt.SetFormatType(FORMAT_DvInfo);
        DVINFO info;
        mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
        mt.SetSampleSize(frameBytes);
        return mt;
    }
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = pal ? 400000 : 333667;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 720;
    vih.bmiHeader.biHeight = pal ? 576 : 480;
    vih.bmiHeader.biCompression = 0x64737664; // 'dvsd'
    vih.bmiHeader.biSizeImage = frameBytes;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(frameBytes);
    return mt;
}

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
