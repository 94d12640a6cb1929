// Behaviour particular to the in-place transform: allocator sharing, copy-on-write and keeping
// both sides on one media type.

#include "Chain.h"

#include "platform/media/MediaGuids.h"

namespace talvence {
namespace {

TEST(TransInPlaceTest, SharesTheUpstreamAllocatorWhenDownstreamAcceptsIt) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    chain.source->sampleLimit = 3;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_FALSE(pass->UsingDifferentAllocators());
    EXPECT_EQ(pass->copies, 0);
    EXPECT_EQ(chain.sink->received, 3);
}

TEST(TransInPlaceTest, CopiesIntoTheOutputAllocatorWhenDownstreamInsistsOnItsOwn) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    chain.source->sampleLimit = 3;
    chain.sink->ownAllocatorOnly = true;
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_TRUE(pass->UsingDifferentAllocators());
    EXPECT_EQ(pass->copies, 3);
    auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(samples[i].firstByte, i);
        EXPECT_EQ(samples[i].length, chain.source->sampleSize);
        EXPECT_EQ(samples[i].start, i * 400000);
    }
}

TEST(TransInPlaceTest, ReadOnlySamplesAreCopiedOnlyByAFilterThatWritesIntoThem) {
    for (bool modifies : {false, true}) {
        // Setup: upstream declares its buffers read-only (as a tee sharing them would).
        auto* pass = new TPassInPlace(modifies);
        Chain chain(pass);
        chain.source->sampleLimit = 2;
        ASSERT_EQ(chain.Connect(), S_OK);
        IMemAllocator* shared = chain.FilterInput()->PeekAllocator();
        ASSERT_EQ(static_cast<IMemInputPin*>(chain.FilterInput())->NotifyAllocator(shared, 1),
                  S_OK);

        // Exercise
        ASSERT_EQ(chain.graph->Run(), S_OK);
        ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
        ASSERT_EQ(chain.graph->Stop(), S_OK);

        // Verification
        EXPECT_EQ(pass->copies, modifies ? 2 : 0) << "modifies data: " << modifies;
        EXPECT_TRUE(chain.sink->lastReadOnly);
        auto samples = chain.sink->Samples();
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[1].firstByte, modifies ? BYTE(~1) : BYTE(1));
    }
}

TEST(TransInPlaceTest, ConnectingTheOutputWithAnotherTypeReconnectsTheInputWithIt) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    const CMediaType small = MakeTestVideoType(160, 120);
    chain.source->changedType = small; // the source can produce it too
    chain.source->sampleLimit = 2;
    ASSERT_EQ(chain.graph->ConnectDirect(chain.source->OutputPin(), chain.FilterIn(), nullptr),
              S_OK);

    // Exercise
    HRESULT hr = chain.graph->ConnectDirect(chain.FilterOut(), chain.sink->InputPin(), &small);

    // Verification
    ASSERT_EQ(hr, S_OK);
    AM_MEDIA_TYPE in;
    ASSERT_EQ(chain.FilterIn()->ConnectionMediaType(&in), S_OK);
    EXPECT_TRUE(MediaTypesEqual(in, small));
    FreeMediaType(in);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    EXPECT_EQ(chain.sink->received, 2);
}

TEST(TransInPlaceTest, ItsLockIsFreeWhileDownstreamAcceptsTheConnection) {
    // Setup: the sink's type check takes the filter's lock on another thread, as a neighbour
    // connecting the other way round would.
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    int checks = 0;
    chain.sink->accept = [&](const CMediaType&) {
        ++checks;
        return CallWithin([&] {
            TBCAutoLock lock(*pass->FilterLock());
            return true;
        });
    };

    // Exercise
    const HRESULT hr = chain.Connect();

    // Verification: a held lock would have blocked the check.
    EXPECT_EQ(hr, S_OK);
    EXPECT_GT(checks, 0);
}

TEST(TransInPlaceTest, OutsideAGraphAReconnectionCannotBeMadeSoTheConnectionFails) {
    // Setup
    ComPtr<TCountingSource> source(new TCountingSource);
    ComPtr<TPassInPlace> pass(new TPassInPlace(false));
    ComPtr<TCountingSink> sink(new TCountingSink);
    const CMediaType small = MakeTestVideoType(160, 120);
    source->changedType = small; // upstream would accept the new type
    ASSERT_EQ(source->OutputPin()->Connect(pass->GetPin(0), nullptr), S_OK);

    // Exercise
    HRESULT hr = pass->GetPin(1)->Connect(sink->InputPin(), &small);

    // Verification
    EXPECT_EQ(hr, VFW_E_NOT_IN_GRAPH);
    EXPECT_FALSE(pass->GetPin(1)->IsConnected());
    EXPECT_FALSE(static_cast<TBCBasePin*>(sink->InputPin())->IsConnected());
    source->OutputPin()->Disconnect();
    pass->GetPin(0)->Disconnect();
}

TEST(TransInPlaceTest, AnOutputConnectedFirstGetsAtLeastOneBufferAndLaterSharesUpstreams) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    const CMediaType type = chain.source->mediaType;

    // Exercise
    ASSERT_EQ(chain.graph->ConnectDirect(chain.FilterOut(), chain.sink->InputPin(), &type), S_OK);
    ALLOCATOR_PROPERTIES alone;
    chain.FilterOutput()->Allocator()->GetProperties(&alone);
    ASSERT_EQ(chain.graph->ConnectDirect(chain.source->OutputPin(), chain.FilterIn(), nullptr),
              S_OK);
    ALLOCATOR_PROPERTIES shared;
    chain.FilterOutput()->Allocator()->GetProperties(&shared);

    // Verification
    EXPECT_GE(alone.cBuffers, 1);
    EXPECT_GE(alone.cbBuffer, 1);
    EXPECT_FALSE(pass->UsingDifferentAllocators());
    EXPECT_EQ(shared.cBuffers, chain.source->bufferCount);
    EXPECT_GE(shared.cbBuffer, chain.source->sampleSize);
}

TEST(TransInPlaceTest, WithoutAnInputPausingTellsDownstreamTheStreamEndedOncePerRun) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    const CMediaType type = chain.source->mediaType;
    ASSERT_EQ(chain.graph->ConnectDirect(chain.FilterOut(), chain.sink->InputPin(), &type), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_EQ(chain.graph->Pause(), S_OK);
    const long firstRun = chain.sink->endOfStreams;
    ASSERT_EQ(chain.graph->Stop(), S_OK);
    ASSERT_EQ(chain.graph->Run(), S_OK);

    // Verification
    EXPECT_EQ(firstRun, 1);
    EXPECT_EQ(chain.sink->endOfStreams, 2);
}

TEST(TransInPlaceTest, ATypeChangeTravelsOnWithTheSample) {
    // Setup
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    chain.source->changedType = MakeTestVideoType(160, 120);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_FALSE(samples[0].typeChanged);
    EXPECT_TRUE(samples[1].typeChanged);
}

TEST(TransInPlaceTest, ADownstreamThatRefusesTheNewTypeRefusesItAtTheFilterInput) {
    // Setup: the sink takes 320x240 RGB24 only.
    auto* pass = new TPassInPlace(false);
    Chain chain(pass);
    const CMediaType only = chain.source->mediaType;
    chain.sink->accept = [only](const CMediaType& mt) { return mt == only; };
    chain.source->sampleLimit = 3;
    chain.source->typeChangeAt = 1;
    chain.source->changedType = MakeTestVideoType(160, 120);
    ASSERT_EQ(chain.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(chain.graph->Run(), S_OK);
    ASSERT_TRUE(chain.sink->WaitForEndOfStream(1));
    ASSERT_EQ(chain.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(chain.sink->received, 1);
    EXPECT_EQ(chain.source->lastDeliverResult, VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(CountEvents(chain.Events(), EC_ERRORABORT), 1);
}

} // namespace
} // namespace talvence
