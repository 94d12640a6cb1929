// The transform whose input queues samples for a worker thread.

#include "Chain.h"

#include "filters/BaseClass/QueuedTransformInput.h"

#include <thread>

namespace talvence {
namespace {

constexpr std::size_t kCapacity = 2;

struct TQueuedInvert : TInvert {
    TBCQueuedTransformInputPin* Queue() {
        GetPin(0);
        return static_cast<TBCQueuedTransformInputPin*>(input_.get());
    }

protected:
    void CreatePins() override {
        input_ = std::make_unique<TBCQueuedTransformInputPin>("queued input", this, "XForm In",
                                                              kCapacity);
        output_ = std::make_unique<TBCTransformOutputPin>("output", this, "XForm Out");
    }
};

TTestFrame Frame(BYTE index) {
    TTestFrame frame;
    frame.bytes = {index, index};
    return frame;
}

std::vector<int> Indexes(const std::vector<TReceivedSample>& samples) {
    std::vector<int> indexes;
    for (const auto& s : samples)
        indexes.push_back(static_cast<BYTE>(~s.firstByte)); // the transform inverts every byte
    return indexes;
}

// The chain running on frames the test pushes, its sink shut.
bool RunFedByTheTest(Chain& chain) {
    chain.source->feed = TCountingSource::Feed::Queue;
    chain.source->sampleLimit = -1;
    chain.source->bufferCount = 8;
    chain.source->bufferSize = 2;
    if (chain.Connect() != S_OK) return false;
    chain.sink->Shut();
    return chain.graph->Run() == S_OK;
}

TEST(QueuedTransformTest, AFullQueueHoldsUpstreamAndEverySampleArrivesInOrderBeforeTheEnd) {
    // Setup: the sink's gate shut, so the worker waits there and the queue fills.
    auto* invert = new TQueuedInvert;
    Chain chain(invert);
    chain.source->sampleLimit = 12;
    chain.source->bufferCount = 8;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.sink->Shut();

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForWaiter());
    ASSERT_TRUE(WaitUntil([&] { return invert->Queue()->Queued() == kCapacity; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const long heldAt = chain.source->delivered;
    chain.sink->Open();
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    const long receivedAtEnd = chain.sink->received;
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification: one sample in the worker's hands, the queue full, the source waiting.
    EXPECT_EQ(heldAt, static_cast<long>(kCapacity) + 1);
    EXPECT_EQ(invert->Queue()->MostQueued(), kCapacity);
    EXPECT_EQ(receivedAtEnd, 12);
    EXPECT_EQ(Indexes(chain.sink->Samples()),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(QueuedTransformTest, StopEmptiesAFullQueueAndTheNextRunStartsAfresh) {
    // Setup
    auto* invert = new TQueuedInvert;
    Chain chain(invert);
    chain.source->sampleLimit = 10;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.sink->Shut();
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return invert->Queue()->Queued() == kCapacity; }));

    // Exercise
    ASSERT_EQ(CallWithin([&] { return chain.graph->Stop(); }), S_OK);
    const std::size_t afterStop = invert->Queue()->Queued();
    chain.sink->Open();
    // The sink's stop opens its gate before it refuses samples, so the first run may still
    // reach its end in between: count from what it left.
    const long firstRun = chain.sink->received;
    const long firstEnds = chain.sink->endOfStreams;
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(firstEnds + 1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(afterStop, 0u);
    EXPECT_EQ(chain.sink->received, firstRun + 10);
    EXPECT_EQ(invert->startStreamingCalls, 2);
}

TEST(QueuedTransformTest, AFailureOnTheWorkerReachesUpstreamWhichStopsPushing) {
    // Setup
    auto* invert = new TQueuedInvert;
    invert->decide = [](long i) { return i == 1 ? E_FAIL : S_OK; };
    Chain chain(invert);
    chain.source->sampleLimit = 50;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return chain.source->lastDeliverResult == E_FAIL; }));
    ASSERT_EQ(CallWithin([&] { return chain.graph->Stop(); }), S_OK);

    // Verification: what was queued behind the failure is not transformed.
    EXPECT_EQ(chain.sink->received, 1);
    EXPECT_EQ(invert->transforms, 2);
    EXPECT_LT(chain.source->delivered, 50);
}

TEST(QueuedTransformTest, AFlushDropsTheQueuedSamplesAndTheStreamGoesOn) {
    // Setup: queued frames pushed by the test.
    auto* invert = new TQueuedInvert;
    Chain chain(invert);
    ASSERT_TRUE(RunFedByTheTest(chain));
    for (BYTE i = 0; i < 3; ++i)
        chain.source->Push(Frame(i));
    ASSERT_TRUE(chain.sink->WaitForWaiter());
    ASSERT_TRUE(WaitUntil([&] { return invert->Queue()->Queued() == kCapacity; }));

    // Exercise
    ASSERT_EQ(CallWithin([&] { return chain.FilterIn()->BeginFlush(); }), S_OK);
    const std::size_t queuedInFlush = invert->Queue()->Queued();
    chain.sink->Open();
    ASSERT_EQ(CallWithin([&] { return chain.FilterIn()->EndFlush(); }), S_OK);
    chain.source->Push(Frame(9));
    chain.source->End();
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification: the frame after the flush arrives, none of those queued before it.
    EXPECT_EQ(queuedInFlush, 0u);
    const std::vector<int> indexes = Indexes(chain.sink->Samples());
    ASSERT_FALSE(indexes.empty());
    EXPECT_EQ(indexes.back(), 9);
    EXPECT_LE(indexes.size(), 2u);
}

TEST(QueuedTransformTest, ClaimsTakeTheWaitingSamplesInOrderUpToATypeChangeAndAFlushEndsThem) {
    // Setup: frame 0 held at the shut sink, frames 1 and 2 waiting; frame 2 announces a type.
    auto* invert = new TQueuedInvert;
    Chain chain(invert);
    ASSERT_TRUE(RunFedByTheTest(chain));
    chain.source->Push(Frame(0));
    chain.source->Push(Frame(1));
    TTestFrame announcing = Frame(2);
    announcing.newType = chain.source->mediaType;
    chain.source->Push(announcing);
    ASSERT_TRUE(chain.sink->WaitForWaiter());
    ASSERT_TRUE(WaitUntil([&] { return invert->Queue()->Queued() == kCapacity; }));

    // Exercise
    const ComPtr<IMediaSample> first = invert->Queue()->ClaimWaiting();
    const ComPtr<IMediaSample> second = invert->Queue()->ClaimWaiting();
    const bool waitingBefore = first && invert->Queue()->IsWaiting(first.get());
    ASSERT_EQ(CallWithin([&] { return chain.FilterIn()->BeginFlush(); }), S_OK);
    const bool waitingAfter = first && invert->Queue()->IsWaiting(first.get());
    chain.sink->Open();
    ASSERT_EQ(CallWithin([&] { return chain.FilterIn()->EndFlush(); }), S_OK);
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification: frame 1 only, claimed once; gone from the queue with the flush.
    ASSERT_TRUE(first);
    BYTE* bytes = nullptr;
    first->GetPointer(&bytes);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_FALSE(second);
    EXPECT_TRUE(waitingBefore);
    EXPECT_FALSE(waitingAfter);
}

} // namespace
} // namespace talvence
