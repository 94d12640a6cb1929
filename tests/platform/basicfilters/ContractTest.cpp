// The framework's contract, run against every basic built-in filter: a counting source feeds the
// filter, and a counting sink (for filters with an output) or the filter itself (for renderers)
// says what arrived.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include "platform/media/filters/basic/DumpFilter.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/basic/NullRenderer.h"
#include "platform/media/filters/basic/SampleGrabber.h"
#include "platform/media/filters/basic/SmartTee.h"
#include "platform/media/filters/basic/VideoRenderer.h"

#include <filesystem>

#include <unistd.h>

namespace talvence::testing {
namespace {

enum class Kind { SmartTee, InfTee, SampleGrabber, VideoRenderer, NullRenderer, Dump };

const char* NameOf(Kind kind) {
    switch (kind) {
    case Kind::SmartTee:
        return "SmartTee";
    case Kind::InfTee:
        return "InfTee";
    case Kind::SampleGrabber:
        return "SampleGrabber";
    case Kind::VideoRenderer:
        return "VideoRenderer";
    case Kind::NullRenderer:
        return "NullRenderer";
    case Kind::Dump:
        return "Dump";
    }
    return "?";
}

void PrintTo(Kind kind, std::ostream* os) {
    *os << NameOf(kind);
}

constexpr LONG kWidth = 32, kHeight = 24;
constexpr long kFrameBytes = kWidth * kHeight * 3;

bool IsRenderer(Kind kind) {
    return kind == Kind::VideoRenderer || kind == Kind::NullRenderer || kind == Kind::Dump;
}

// source -> filter [-> sink]; the filter's first output feeds the sink.
struct Rig {
    Kind kind;
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TBCBaseFilter> filter;
    ComPtr<TCountingSink> sink;
    std::filesystem::path dumpPath;

    explicit Rig(Kind k) : kind(k) {
        source->mediaType = MakeTestVideoType(kWidth, kHeight);
        source->sampleSize = kFrameBytes;
        source->sampleLimit = 0;
        switch (kind) {
        case Kind::SmartTee:
            filter = new TSmartTee;
            break;
        case Kind::InfTee:
            filter = new TInfTee;
            break;
        case Kind::SampleGrabber: {
            auto* grabber = new TSampleGrabberFilter;
            CMediaType rgb(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
            rgb.SetFormatType(FORMAT_VideoInfo);
            grabber->SetMediaType(&rgb);
            grabber->SetBufferSamples(1);
            filter = grabber;
            break;
        }
        case Kind::VideoRenderer:
            filter = new TVideoRenderer;
            break;
        case Kind::NullRenderer:
            filter = new TNullRenderer;
            break;
        case Kind::Dump: {
            auto* dump = new TDumpFilter;
            dumpPath = std::filesystem::temp_directory_path() /
                       ("basicfilters-contract-" + std::to_string(::getpid()) + ".dump");
            dump->SetFileName(dumpPath.string(), nullptr);
            filter = dump;
            break;
        }
        }
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(filter.get(), "Filter");
        if (!IsRenderer(kind)) {
            sink = new TCountingSink;
            graph->AddFilter(sink.get(), "Sink");
        } else {
            // Each renderer's own EC_COMPLETE reaches the queue, so it can be counted.
            graph->CancelDefaultHandling(EC_COMPLETE);
        }
    }
    ~Rig() {
        graph->Stop();
        if (!dumpPath.empty()) std::filesystem::remove(dumpPath);
    }

    IPin* FilterIn() { return filter->GetPin(0); }
    IPin* FilterOut() { return filter->GetPin(1); }

    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), FilterIn(), nullptr);
        if (FAILED(hr) || !sink) return hr;
        return graph->ConnectDirect(FilterOut(), sink->InputPin(), nullptr);
    }

    long Delivered() {
        if (sink) return sink->received;
        return static_cast<TBasicRenderer*>(filter.get())->SamplesRendered();
    }

    // Waits for the end of the stream where it is observed: at the sink, or as the renderer's
    // completion.
    bool WaitForEndOfStream(long count = 1) {
        if (sink) return sink->WaitForEndOfStream(count);
        long code = 0;
        return graph->WaitForCompletion(5000, &code) == S_OK;
    }

    // Every allocator the filter's pins use.
    std::vector<IMemAllocator*> Allocators() {
        std::vector<IMemAllocator*> out;
        for (int i = 0; i < filter->GetPinCount(); ++i) {
            TBCBasePin* pin = filter->GetPin(i);
            if (auto* in = dynamic_cast<TBCBaseInputPin*>(pin); in && in->PeekAllocator())
                out.push_back(in->PeekAllocator());
            if (auto* o = dynamic_cast<TBCBaseOutputPin*>(pin); o && o->Allocator())
                out.push_back(o->Allocator());
        }
        return out;
    }
};

class BasicFilterContract : public ::testing::TestWithParam<Kind> {
protected:
    Rig rig{GetParam()};
};

TEST_P(BasicFilterContract, ReceiveWhileStoppedIsRefused) {
    // Setup
    ASSERT_EQ(rig.Connect(), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, kFrameBytes);
    auto input = ComPtr<IPin>(rig.FilterIn()).As<IMemInputPin>();

    // Exercise
    HRESULT hr = input->Receive(sample.get());

    // Verification
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(rig.Delivered(), 0);
}

TEST_P(BasicFilterContract, ReceiveDuringAFlushIsDroppedAndTheFlushTravelsDownstream) {
    // Setup
    ASSERT_EQ(rig.Connect(), S_OK);
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, kFrameBytes);
    auto input = ComPtr<IPin>(rig.FilterIn()).As<IMemInputPin>();

    // Exercise
    ASSERT_EQ(rig.FilterIn()->BeginFlush(), S_OK);
    HRESULT during = input->Receive(sample.get());
    ASSERT_EQ(rig.FilterIn()->EndFlush(), S_OK);
    HRESULT after = input->Receive(sample.get());

    // Verification
    EXPECT_EQ(during, S_FALSE);
    EXPECT_EQ(after, S_OK);
    EXPECT_EQ(rig.Delivered(), 1);
    if (rig.sink) {
        EXPECT_EQ(rig.sink->beginFlushes, 1);
        EXPECT_EQ(rig.sink->endFlushes, 1);
    }
}

TEST_P(BasicFilterContract, EndOfStreamIsForwardedOnceAfterTheSamples) {
    // Setup
    rig.source->sampleLimit = 3;
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForEndOfStream());
    // Anything late would arrive while the graph still runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(rig.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(rig.Delivered(), 3);
    if (rig.sink) {
        EXPECT_EQ(rig.sink->endOfStreams, 1);
        auto samples = rig.sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(samples[i].firstByte, BYTE(i));
            EXPECT_EQ(samples[i].length, kFrameBytes);
            EXPECT_EQ(samples[i].start, i * 400000);
        }
    } else {
        EXPECT_EQ(CountEvents(TakeEvents(rig.graph.get()), EC_COMPLETE), 1);
    }
}

TEST_P(BasicFilterContract, AllocatorsAreCommittedOnlyWhileTheFilterIsActive) {
    // Setup
    ASSERT_EQ(rig.Connect(), S_OK);
    auto allocators = rig.Allocators();
    ASSERT_FALSE(allocators.empty());

    // Exercise / Verification
    for (IMemAllocator* a : allocators)
        EXPECT_EQ(Probe(a), VFW_E_NOT_COMMITTED) << "before the first pause";
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_NE(Probe(a), VFW_E_NOT_COMMITTED) << "paused";
    ASSERT_EQ(rig.graph->Run(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_NE(Probe(a), VFW_E_NOT_COMMITTED) << "running";
    ASSERT_EQ(rig.graph->Stop(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_EQ(Probe(a), VFW_E_NOT_COMMITTED) << "stopped";
}

TEST_P(BasicFilterContract, AnAcceptedTypeChangeMidStreamTravelsWithTheSample) {
    // Setup
    rig.source->sampleLimit = 3;
    rig.source->typeChangeAt = 1;
    rig.source->changedType = MakeTestVideoType(16, 12);
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForEndOfStream());
    ASSERT_EQ(rig.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(rig.Delivered(), 3);
    EXPECT_EQ(CountEvents(TakeEvents(rig.graph.get()), EC_ERRORABORT), 0);
    if (rig.sink) {
        auto samples = rig.sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        EXPECT_FALSE(samples[0].typeChanged);
        EXPECT_TRUE(samples[1].typeChanged);
    }
}

TEST_P(BasicFilterContract, ARefusedTypeChangeEndsTheStreamAndAbortsTheGraph) {
    if (GetParam() == Kind::NullRenderer || GetParam() == Kind::Dump)
        GTEST_SKIP() << "accepts every type: no change can be refused";
    // Setup
    rig.source->sampleLimit = 3;
    rig.source->typeChangeAt = 1;
    rig.source->changedType = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForEndOfStream());
    ASSERT_EQ(rig.graph->Stop(), S_OK); // joins the source thread

    // Verification
    EXPECT_EQ(rig.Delivered(), 1);
    EXPECT_EQ(rig.source->lastDeliverResult, VFW_E_INVALIDMEDIATYPE);
    auto events = TakeEvents(rig.graph.get());
    ASSERT_EQ(CountEvents(events, EC_ERRORABORT), 1);
    for (auto& e : events) {
        if (e.first == EC_ERRORABORT) {
            EXPECT_EQ(e.second, VFW_E_TYPE_NOT_ACCEPTED);
        }
    }
    if (rig.sink)
        EXPECT_EQ(rig.sink->endOfStreams, 1);
    else
        EXPECT_EQ(CountEvents(events, EC_COMPLETE), 1);
}

TEST_P(BasicFilterContract, DropsAreReportedOncePerRunAndOnlyWhenTheyHappen) {
    // Setup: the Smart Tee's preview is the one branch that drops by design; its sink keeps
    // every sample, so the preview pool runs dry after two.
    ComPtr<TCountingSink> preview;
    rig.source->sampleLimit = 6;
    ASSERT_EQ(rig.Connect(), S_OK);
    const bool drops = GetParam() == Kind::SmartTee;
    if (drops) {
        preview = new TCountingSink;
        preview->holdSamples = true;
        rig.graph->AddFilter(preview.get(), "Preview");
        ASSERT_EQ(rig.graph->ConnectDirect(rig.filter->GetPin(2), preview->InputPin(), nullptr),
                  S_OK);
    }

    // Exercise: two runs
    std::vector<Events> runs;
    for (int run = 1; run <= 2; ++run) {
        ASSERT_EQ(rig.graph->Run(), S_OK);
        ASSERT_TRUE(rig.WaitForEndOfStream(run));
        ASSERT_EQ(rig.graph->Stop(), S_OK);
        runs.push_back(TakeEvents(rig.graph.get()));
        if (preview) preview->ReleaseHeldSamples();
    }

    // Verification
    // The sink counts across runs, a renderer per run: every sample arrived each time.
    EXPECT_EQ(rig.Delivered(), rig.sink ? 12 : 6);
    for (auto& events : runs)
        EXPECT_EQ(CountEvents(events, EC_QUALITY_CHANGE), drops ? 1 : 0);
}

TEST_P(BasicFilterContract, AControlSampleIsPassedOnUntouchedButNeverRendered) {
    // Setup
    rig.source->sampleLimit = 3;
    rig.source->controlSampleAt = 1;
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForEndOfStream());
    ASSERT_EQ(rig.graph->Stop(), S_OK);

    // Verification
    if (rig.sink) {
        auto samples = rig.sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        EXPECT_EQ(samples[1].streamId, AM_STREAM_CONTROL);
        EXPECT_EQ(samples[1].firstByte, 1);
        EXPECT_EQ(samples[2].streamId, AM_STREAM_MEDIA);
    } else {
        EXPECT_EQ(rig.Delivered(), 2);
    }
}

TEST_P(BasicFilterContract, StoppingTheFilterAloneReleasesItsUpstreamThread) {
    // Setup: an endless source; with an output, the sink keeps every sample so the pools run dry
    // and the source thread blocks waiting for a buffer.
    rig.source->sampleLimit = -1;
    rig.source->bufferCount = 2;
    if (rig.sink) rig.sink->holdSamples = true;
    ASSERT_EQ(rig.Connect(), S_OK);
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return rig.Delivered() >= 2; }));

    // Exercise: the filter alone, not the graph's downstream-first order.
    HRESULT hr = CallWithin([&] { return rig.filter->Stop(); });

    // Verification
    EXPECT_EQ(hr, S_OK);
    FILTER_STATE state;
    rig.filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(CallWithin([&] { return rig.graph->Stop(); }), S_OK);
    EXPECT_FALSE(static_cast<TBCSourceStream*>(rig.source->GetPin(0))->ThreadExists());
    if (rig.sink) rig.sink->ReleaseHeldSamples();
}

INSTANTIATE_TEST_SUITE_P(Filters, BasicFilterContract,
                         ::testing::Values(Kind::SmartTee, Kind::InfTee, Kind::SampleGrabber,
                                           Kind::VideoRenderer, Kind::NullRenderer, Kind::Dump),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

} // namespace
} // namespace talvence::testing
