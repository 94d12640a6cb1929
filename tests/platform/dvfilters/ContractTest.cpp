// The framework's contract, run with its counting source and sink against the filters of this
// folder that a stream of plain pictures can drive: the Color Space Converter and the DV Video
// Encoder.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MemAllocator.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "tests/support/GraphHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace talvence {
namespace {

using namespace std::chrono_literals;

enum class Kind { Converter, Encoder };

constexpr long kPictureBytes = 320 * 240 * 3;

struct ContractChain {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TBCTransformFilter> filter;
    ComPtr<TCountingSink> sink{new TCountingSink};
    long outputBytes = 0;

    explicit ContractChain(Kind kind) {
        if (kind == Kind::Converter) {
            filter = new TColorSpaceConverter;
            sink->accept = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_YUY2; };
            outputBytes = 320 * 240 * 2;
        } else {
            filter = new TDvVideoEncoder;
            sink->accept = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_dvsd; };
            outputBytes = 120000;
        }
        source->sampleSize = kPictureBytes;
        source->sampleLimit = 0;
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(filter.get(), "Filter");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~ContractChain() { graph->Stop(); }
    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), filter->GetPin(0), nullptr);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(filter->GetPin(1), sink->InputPin(), nullptr);
    }
    ComPtr<IMemInputPin> Input() { return ComPtr<IPin>(filter->GetPin(0)).As<IMemInputPin>(); }
};

ComPtr<IMediaSample> Picture(ComPtr<IMemAllocator>& keep) {
    keep = new CMemAllocator;
    ALLOCATOR_PROPERTIES request{1, kPictureBytes, 1, 0}, actual;
    keep->SetProperties(&request, &actual);
    keep->Commit();
    ComPtr<IMediaSample> sample;
    keep->GetBuffer(sample.put(), nullptr, nullptr, 0);
    sample->SetActualDataLength(kPictureBytes);
    return sample;
}

class Contract : public ::testing::TestWithParam<Kind> {
protected:
    ContractChain chain{GetParam()};
};

TEST_P(Contract, ReceiveWhileStoppedIsRefusedAndDuringAFlushDropped) {
    // Setup
    ASSERT_EQ(chain.Connect(), S_OK);
    ComPtr<IMemAllocator> alloc;
    auto sample = Picture(alloc);

    // Exercise
    const HRESULT stopped = chain.Input()->Receive(sample.get());
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.filter->GetPin(0)->BeginFlush(), S_OK);
    const HRESULT flushing = chain.Input()->Receive(sample.get());
    ASSERT_EQ(chain.filter->GetPin(0)->EndFlush(), S_OK);
    const HRESULT after = chain.Input()->Receive(sample.get());

    // Verification
    EXPECT_EQ(stopped, VFW_E_WRONG_STATE);
    EXPECT_EQ(flushing, S_FALSE);
    EXPECT_EQ(after, S_OK);
    EXPECT_EQ(chain.sink->beginFlushes, 1);
    EXPECT_EQ(chain.sink->endFlushes, 1);
    EXPECT_EQ(chain.sink->received, 1);
}

TEST_P(Contract, EndOfStreamFollowsTheSamplesOnce) {
    // Setup
    chain.source->sampleLimit = 3;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1, 20s));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->endOfStreams, 1);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(samples[i].length, chain.outputBytes);
        EXPECT_EQ(samples[i].start, i * 400000);
    }
}

TEST_P(Contract, TheOutputAllocatorIsCommittedOnlyWhileActive) {
    // Setup
    ASSERT_EQ(chain.Connect(), S_OK);
    IMemAllocator* alloc = chain.filter->OutputPin()->Allocator();
    ASSERT_NE(alloc, nullptr);
    auto probe = [&] {
        ComPtr<IMediaSample> s;
        return alloc->GetBuffer(s.put(), nullptr, nullptr, AM_GBF_NOWAIT);
    };

    // Exercise / Verification
    EXPECT_EQ(probe(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    EXPECT_NE(probe(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    EXPECT_EQ(probe(), VFW_E_NOT_COMMITTED);
}

TEST_P(Contract, ARefusedTypeChangeEndsTheStreamAndAbortsTheGraph) {
    // Setup
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    chain.source->changedType = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1, 20s));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->received, 1);
    const auto events = testing::TakeEvents(chain.graph.get());
    EXPECT_EQ(testing::CountEvents(events, EC_ERRORABORT), 1);
}

TEST_P(Contract, AnAcceptedTypeChangeIsFollowed) {
    // Setup: the picture turns top-down (for the encoder: shrinks); the output stays the same.
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    if (GetParam() == Kind::Converter) {
        chain.source->changedType = MakeTestVideoType(320, -240);
    } else {
        chain.source->changedType = MakeTestVideoType(160, 120);
    }
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1, 20s));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->received, 3);
    for (const auto& s : chain.sink->Samples())
        EXPECT_EQ(s.length, chain.outputBytes);
    EXPECT_EQ(testing::CountEvents(testing::TakeEvents(chain.graph.get()), EC_ERRORABORT), 0);
}

TEST_P(Contract, StoppingTheFilterReleasesAnUpstreamThreadWaitingForABuffer) {
    // Setup: the sink keeps every sample, so the pools run dry and the source thread blocks.
    chain.source->sampleLimit = -1;
    chain.sink->holdSamples = true;
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForSamples(2, 20s));

    // Exercise: the filter alone, not the graph's downstream-first order.
    auto task = std::make_shared<std::packaged_task<HRESULT()>>(
        [filter = chain.filter] { return filter->Stop(); });
    auto stop = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (stop.wait_for(10s) != std::future_status::ready) {
        // The blocked thread can never be joined: fail and end the process rather than hang.
        ADD_FAILURE() << "the stop blocked";
        std::fflush(nullptr);
        std::_Exit(1);
    }

    // Verification
    EXPECT_EQ(stop.get(), S_OK);
    EXPECT_EQ(chain.graph->Stop(), S_OK);
    chain.sink->ReleaseHeldSamples();
}

TEST_P(Contract, AControlSamplePassesWithoutTransform) {
    // Setup
    chain.source->sampleLimit = 3;
    chain.source->controlSampleAt = 1;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1, 20s));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[1].streamId, AM_STREAM_CONTROL);
    EXPECT_EQ(samples[1].length, kPictureBytes);
    EXPECT_EQ(samples[2].length, chain.outputBytes);
}

INSTANTIATE_TEST_SUITE_P(Filters, Contract, ::testing::Values(Kind::Converter, Kind::Encoder),
                         [](const auto& info) {
                             return std::string(info.param == Kind::Converter
                                                    ? "ColorSpaceConverter"
                                                    : "DvVideoEncoder");
                         });

} // namespace
} // namespace talvence
