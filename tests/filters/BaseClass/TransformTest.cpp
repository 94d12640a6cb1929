// Behaviour particular to the copying transform.

#include "Chain.h"

namespace talvence {
namespace {

TEST(TransformTest, TheOutputConnectsOnlyAfterTheInputAndOffersTypesDerivedFromIt) {
    // Setup
    auto* invert = new TInvert;
    Chain chain(invert);

    // Exercise
    HRESULT early = chain.graph->ConnectDirect(chain.FilterOut(), chain.sink->InputPin(), nullptr);
    ComPtr<IEnumMediaTypes> before;
    chain.FilterOut()->EnumMediaTypes(before.put());
    AM_MEDIA_TYPE* none = nullptr;
    ULONG fetchedBefore = 0;
    before->Next(1, &none, &fetchedBefore);
    ASSERT_EQ(chain.Connect(), S_OK);
    AM_MEDIA_TYPE out;
    ASSERT_EQ(chain.FilterOut()->ConnectionMediaType(&out), S_OK);

    // Verification
    EXPECT_TRUE(FAILED(early));
    EXPECT_EQ(fetchedBefore, 0u);
    EXPECT_TRUE(MediaTypesEqual(out, chain.source->mediaType));
    FreeMediaType(out);
}

TEST(TransformTest, OutputSamplesCarryTheInputsTimesAndADropMarksTheNextOneDiscontinuous) {
    // Setup
    auto* invert = new TInvert;
    invert->decide = [](long i) { return i == 1 ? S_FALSE : S_OK; };
    Chain chain(invert);
    chain.source->sampleLimit = 3;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_FALSE(samples[0].discontinuity);
    EXPECT_TRUE(samples[1].discontinuity);
    EXPECT_EQ(samples[1].start, 2 * 400000);
    EXPECT_EQ(samples[1].stop, 3 * 400000);
    EXPECT_TRUE(samples[1].syncPoint);
    EXPECT_EQ(samples[1].length, chain.source->sampleSize);
}

TEST(TransformTest, AFailingTransformIsReturnedUpstreamWhichStopsPushing) {
    // Setup
    auto* invert = new TInvert;
    invert->decide = [](long i) { return i == 1 ? E_FAIL : S_OK; };
    Chain chain(invert);
    chain.source->sampleLimit = 5;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return chain.source->lastDeliverResult == E_FAIL; }));
    ASSERT_EQ(CallWithin([&] { return chain.graph->Stop(); }), S_OK);

    // Verification
    EXPECT_EQ(chain.source->delivered, 1);
    EXPECT_EQ(chain.sink->received, 1);
}

TEST(TransformTest, StreamingStartsOnceOnPauseFromStoppedAndStopsOnce) {
    // Setup
    auto* invert = new TInvert;
    Chain chain(invert);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(invert->startStreamingCalls, 1);
    EXPECT_EQ(invert->stopStreamingCalls, 1);
}

TEST(TransformTest, TearingDownAGraphFreesEveryFrameworkObject) {
    // Setup
    const long before = TBCBaseObject::ObjectsActive();

    // Exercise: pins, enumerators, filters and samples all come and go with the graph.
    {
        Chain chain(new TInvert);
        chain.source->sampleLimit = 3;
        ASSERT_EQ(chain.Connect(), S_OK);
        ComPtr<IEnumPins> pins;
        chain.filter->EnumPins(pins.put());
        ASSERT_EQ(chain.graph->Run(), S_OK);
        ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    }

    // Verification
    EXPECT_EQ(TBCBaseObject::ObjectsActive(), before);
}

TEST(TransformTest, ALockIsRequired) {
    // Setup / Exercise / Verification: a filter built without its lock is a programming error.
    struct NoLock : TBCBaseFilter {
        NoLock() : TBCBaseFilter("no lock", nullptr, nullptr, GUID_NULL) {}
        int GetPinCount() override { return 0; }
        TBCBasePin* GetPin(int) override { return nullptr; }
    };
    EXPECT_THROW(NoLock(), TBCAssertionFailure);
}

} // namespace
} // namespace talvence
