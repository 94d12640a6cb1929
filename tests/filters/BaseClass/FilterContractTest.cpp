// The framework's contract, run against each filter shape built on it.

#include "Chain.h"

#include "platform/media/MemAllocator.h"

namespace talvence {
namespace {

using namespace std::chrono_literals;

enum class Shape { Copying, InPlace, InPlaceModifying };

const char* NameOf(Shape shape) {
    switch (shape) {
    case Shape::Copying:
        return "Copying";
    case Shape::InPlace:
        return "InPlace";
    case Shape::InPlaceModifying:
        return "InPlaceModifying";
    }
    return "?";
}

void PrintTo(Shape shape, std::ostream* os) {
    *os << NameOf(shape);
}

TBCTransformFilter* Make(Shape shape) {
    switch (shape) {
    case Shape::Copying:
        return new TInvert;
    case Shape::InPlace:
        return new TPassInPlace(false);
    case Shape::InPlaceModifying:
        return new TPassInPlace(true);
    }
    return nullptr;
}

// The first byte the sink sees for a media sample whose source byte is b.
BYTE Expected(Shape shape, BYTE b) {
    return shape == Shape::InPlace ? b : BYTE(~b);
}

long Transforms(TBCTransformFilter* f) {
    if (auto* inv = dynamic_cast<TInvert*>(f)) return inv->transforms;
    return static_cast<TPassInPlace*>(f)->transforms;
}

void SetDecision(TBCTransformFilter* f, SampleDecision d) {
    if (auto* inv = dynamic_cast<TInvert*>(f))
        inv->decide = std::move(d);
    else
        static_cast<TPassInPlace*>(f)->decide = std::move(d);
}

class FilterContract : public ::testing::TestWithParam<Shape> {
protected:
    Chain chain{Make(GetParam())};
};

TEST_P(FilterContract, ReceiveWhileStoppedIsRefused) {
    // Setup
    ASSERT_EQ(chain.Connect(), S_OK);
    ComPtr<IMemAllocator> alloc;
    auto sample = MakeSample(alloc, 16);
    auto input = ComPtr<IPin>(chain.FilterIn()).As<IMemInputPin>();

    // Exercise
    HRESULT hr = input->Receive(sample.get());

    // Verification
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(chain.sink->received, 0);
}

TEST_P(FilterContract, ReceiveDuringAFlushIsDroppedAndTheFlushTravelsDownstream) {
    // Setup
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ComPtr<IMemAllocator> alloc;
    auto sample = MakeSample(alloc, 16);
    auto input = ComPtr<IPin>(chain.FilterIn()).As<IMemInputPin>();

    // Exercise
    ASSERT_EQ(chain.FilterIn()->BeginFlush(), S_OK);
    HRESULT during = input->Receive(sample.get());
    ASSERT_EQ(chain.FilterIn()->EndFlush(), S_OK);
    HRESULT after = input->Receive(sample.get());

    // Verification
    EXPECT_EQ(during, S_FALSE);
    EXPECT_EQ(after, S_OK);
    EXPECT_EQ(chain.sink->beginFlushes, 1);
    EXPECT_EQ(chain.sink->endFlushes, 1);
    EXPECT_EQ(chain.sink->received, 1);
}

TEST_P(FilterContract, EndOfStreamIsForwardedOnceAfterTheSamples) {
    // Setup
    chain.source->sampleLimit = 3;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->endOfStreams, 1);
    auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(samples[i].firstByte, Expected(GetParam(), BYTE(i)));
        EXPECT_EQ(samples[i].start, i * 400000);
        EXPECT_TRUE(samples[i].syncPoint);
    }
}

TEST_P(FilterContract, TheOutputAllocatorIsCommittedOnlyWhileTheFilterIsActive) {
    // Setup
    ASSERT_EQ(chain.Connect(), S_OK);
    IMemAllocator* alloc = chain.FilterOutput()->Allocator();
    ASSERT_NE(alloc, nullptr);
    auto probe = [&] {
        ComPtr<IMediaSample> s;
        return alloc->GetBuffer(s.put(), nullptr, nullptr, AM_GBF_NOWAIT);
    };

    // Exercise / Verification
    EXPECT_EQ(probe(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    EXPECT_NE(probe(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    EXPECT_NE(probe(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    EXPECT_EQ(probe(), VFW_E_NOT_COMMITTED);
}

TEST_P(FilterContract, AnAcceptedTypeChangeMidStreamKeepsTheStreamGoing) {
    // Setup
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    chain.source->changedType = MakeTestVideoType(160, 120);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->received, 3);
    EXPECT_EQ(CountEvents(chain.Events(), EC_ERRORABORT), 0);
}

TEST_P(FilterContract, ARefusedTypeChangeEndsTheStreamAndAbortsTheGraph) {
    // Setup
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    chain.source->changedType = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK); // joins the source thread

    // Verification
    EXPECT_EQ(chain.sink->received, 1);
    EXPECT_EQ(chain.sink->endOfStreams, 1);
    EXPECT_EQ(chain.source->lastDeliverResult, VFW_E_INVALIDMEDIATYPE);
    auto events = chain.Events();
    ASSERT_EQ(CountEvents(events, EC_ERRORABORT), 1);
    for (auto& e : events) {
        if (e.first == EC_ERRORABORT) {
            EXPECT_EQ(e.second, VFW_E_TYPE_NOT_ACCEPTED);
        }
    }
}

TEST_P(FilterContract, ATransformThatDropsEverythingDeliversNothingAndReportsOncePerRun) {
    // Setup
    SetDecision(chain.filter.get(), [](long) { return S_FALSE; });
    chain.source->sampleLimit = 4;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise: two runs
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    auto firstRun = chain.Events();
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(2));
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    auto secondRun = chain.Events();

    // Verification
    EXPECT_EQ(Transforms(chain.filter.get()), 8);
    EXPECT_EQ(chain.sink->received, 0);
    EXPECT_EQ(CountEvents(firstRun, EC_QUALITY_CHANGE), 1);
    EXPECT_EQ(CountEvents(secondRun, EC_QUALITY_CHANGE), 1);
}

TEST_P(FilterContract, StoppingTheFilterReleasesAnUpstreamThreadWaitingForABuffer) {
    // Setup: the sink keeps every sample, so the pools run dry and the source thread blocks.
    chain.source->sampleLimit = -1;
    chain.source->bufferCount = 2;
    chain.sink->holdSamples = true;
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForSamples(2));

    // Exercise: the filter alone, not the graph's downstream-first order.
    HRESULT hr = CallWithin([&] { return chain.filter->Stop(); });

    // Verification
    EXPECT_EQ(hr, S_OK);
    FILTER_STATE state;
    chain.filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(CallWithin([&] { return chain.graph->Stop(); }), S_OK);
    EXPECT_FALSE(static_cast<TBCSourceStream*>(chain.source->GetPin(0))->ThreadExists());
    chain.sink->ReleaseHeldSamples();
}

TEST_P(FilterContract, AControlSamplePassesWithoutTransform) {
    // Setup
    chain.source->sampleLimit = 3;
    chain.source->controlSampleAt = 1;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[1].streamId, AM_STREAM_CONTROL);
    EXPECT_EQ(samples[1].firstByte, 1); // as the source wrote it
    EXPECT_EQ(samples[2].firstByte, Expected(GetParam(), 2));
    EXPECT_EQ(Transforms(chain.filter.get()), 2);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FilterContract,
                         ::testing::Values(Shape::Copying, Shape::InPlace, Shape::InPlaceModifying),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

} // namespace
} // namespace talvence
