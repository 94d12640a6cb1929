// What the two tees do beyond the contract: the Smart Tee's preview never holds the capture back,
// and the Infinite Pin Tee grows and prunes its outputs and hands every branch the same sample.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include "filters/BaseClass/TransInPlaceFilter.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/basic/SmartTee.h"

#include <set>
#include <string>

namespace talvence::testing {
namespace {

using Names = std::vector<std::string>;

struct SmartTeeGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TSmartTee> tee{new TSmartTee};
    ComPtr<TCountingSink> capture{new TCountingSink};

    SmartTeeGraph() {
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(tee.get(), "Smart Tee");
        graph->AddFilter(capture.get(), "Capture");
    }
    ~SmartTeeGraph() { graph->Stop(); }

    HRESULT Connect(IPin* previewSink) {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), tee->GetPin(0), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(tee->GetPin(1), capture->InputPin(), nullptr);
        if (SUCCEEDED(hr) && previewSink)
            hr = graph->ConnectDirect(tee->GetPin(2), previewSink, nullptr);
        return hr;
    }
};

TEST(SmartTee, HasTheCaptureAndPreviewPinsOfThePlatform) {
    // Setup
    ComPtr<TSmartTee> tee(new TSmartTee);

    // Exercise
    Names names = PinNames(tee.get());
    ComPtr<IPin> preview;
    HRESULT found = tee->FindPin("Preview", preview.put());

    // Verification
    EXPECT_EQ(names, (Names{"Input", "Capture", "Preview"}));
    EXPECT_EQ(found, S_OK);
    EXPECT_EQ(preview.get(), static_cast<IPin*>(tee->PreviewPin()));
}

TEST(SmartTee, ABlockedPreviewDropsWhileTheCaptureGetsEveryFrameUncopied) {
    // Setup: the preview's downstream blocks on its first sample until told otherwise.
    SmartTeeGraph g;
    ComPtr<TCountingSink> preview(new TCountingSink);
    g.graph->AddFilter(preview.get(), "Preview");
    g.source->sampleLimit = 40;
    g.source->bufferCount = 3;
    ASSERT_EQ(g.Connect(preview->InputPin()), S_OK);
    preview->Shut();

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.capture->WaitForEndOfStream(1));
    ASSERT_TRUE(preview->WaitForWaiter());
    preview->Open();
    ASSERT_TRUE(WaitUntil([&] { return preview->endOfStreams == 1; }));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification: capture complete, in order, the very samples of the source's pool.
    auto samples = g.capture->Samples();
    ASSERT_EQ(samples.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(samples[i].firstByte, BYTE(i));
        EXPECT_TRUE(samples[i].hasTime);
    }
    EXPECT_EQ(g.tee->CapturePin()->Copies(), 0);
    EXPECT_TRUE(g.tee->CapturePin()->SharesInputAllocator());
    // The preview took what it could and dropped the rest, without times.
    TSmartTeePreviewPin* pin = g.tee->PreviewPin();
    EXPECT_GT(pin->Dropped(), 0);
    EXPECT_GE(preview->received, 1);
    EXPECT_EQ(preview->received + pin->Dropped(), 40);
    long timed = 0;
    for (const auto& s : preview->Samples())
        timed += s.hasTime;
    EXPECT_EQ(timed, 0);
    EXPECT_EQ(CountEvents(TakeEvents(g.graph.get()), EC_QUALITY_CHANGE), 1);
}

TEST(SmartTee, PreviewFramesAreCopiesInItsOwnPoolWithTheSourceBytes) {
    // Setup
    SmartTeeGraph g;
    ComPtr<TCountingSink> preview(new TCountingSink);
    g.graph->AddFilter(preview.get(), "Preview");
    g.source->sampleLimit = 1;
    g.source->sampleSize = 64;
    ASSERT_EQ(g.Connect(preview->InputPin()), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.capture->WaitForEndOfStream(1));
    ASSERT_TRUE(WaitUntil([&] { return preview->endOfStreams == 1; }));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    ASSERT_EQ(preview->received, 1);
    ASSERT_EQ(g.capture->received, 1);
    EXPECT_EQ(g.tee->PreviewPin()->Copies(), 1);
    EXPECT_FALSE(g.tee->PreviewPin()->SharesInputAllocator());
    const auto previewSamples = preview->Samples();
    ASSERT_EQ(previewSamples.size(), 1u);
    EXPECT_EQ(previewSamples[0].firstByte, 0); // the first sample's bytes, copied
}

struct InfTeeGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TInfTee> tee{new TInfTee};
    std::vector<ComPtr<TCountingSink>> sinks;

    InfTeeGraph() {
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(tee.get(), "Infinite");
    }
    ~InfTeeGraph() { graph->Stop(); }

    // Connects the tee's last (free) output to a new sink.
    HRESULT AddBranch(bool ownAllocatorOnly = false) {
        ComPtr<TCountingSink> sink(new TCountingSink);
        sink->ownAllocatorOnly = ownAllocatorOnly;
        graph->AddFilter(sink.get(), "Sink" + std::to_string(sinks.size() + 1));
        sinks.push_back(sink);
        return graph->ConnectDirect(tee->GetPin(tee->GetPinCount() - 1), sink->InputPin(), nullptr);
    }
};

TEST(InfTee, AnOutputAppearsWhenTheLastConnectsAndDisconnectedOnesGoButOneSpare) {
    // Setup
    InfTeeGraph g;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    Names initial = PinNames(g.tee.get());

    // Exercise: grow to three connected outputs, then take the first two away
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    Names grown = PinNames(g.tee.get());
    ComPtr<IPin> output1(g.tee->GetPin(1)); // held across its removal
    ASSERT_EQ(g.graph->RemoveFilter(g.sinks[0].get()), S_OK);
    Names afterFirst = PinNames(g.tee.get());
    ASSERT_EQ(g.graph->RemoveFilter(g.sinks[1].get()), S_OK);
    Names afterSecond = PinNames(g.tee.get());
    ASSERT_EQ(g.graph->RemoveFilter(g.sinks[2].get()), S_OK);
    Names afterAll = PinNames(g.tee.get());

    // Verification
    EXPECT_EQ(initial, (Names{"Input", "Output1"}));
    EXPECT_EQ(grown, (Names{"Input", "Output1", "Output2", "Output3", "Output4"}));
    EXPECT_EQ(afterFirst, (Names{"Input", "Output2", "Output3", "Output4"}));
    EXPECT_EQ(afterSecond, (Names{"Input", "Output3", "Output4"}));
    EXPECT_EQ(afterAll, (Names{"Input", "Output4"}));
    // The removed pin is still a whole object for whoever held it.
    PIN_INFO info;
    ASSERT_EQ(output1->QueryPinInfo(&info), S_OK);
    info.pFilter->Release();
    EXPECT_EQ(info.achName, "Output1");
    ComPtr<IPin> peer;
    EXPECT_EQ(output1->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
}

TEST(InfTee, ABranchThatKeepsSeveralSamplesGetsThemFromTheSharedBuffersOnce) {
    // Setup: a plain branch, then one whose input keeps five samples (a queue).
    InfTeeGraph g;
    g.source->bufferCount = 2;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    auto buffers = [&] {
        ALLOCATOR_PROPERTIES p{};
        g.tee->InputPin()->PeekAllocator()->GetProperties(&p);
        return p.cBuffers;
    };
    const long plain = buffers();
    auto queueBranch = [&] {
        ComPtr<TCountingSink> sink(new TCountingSink);
        sink->requirements.cBuffers = 5;
        g.graph->AddFilter(sink.get(), "Queue" + std::to_string(g.sinks.size()));
        g.sinks.push_back(sink);
        return g.graph->ConnectDirect(g.tee->GetPin(g.tee->GetPinCount() - 1), sink->InputPin(),
                                      nullptr);
    };

    // Exercise: the queue's branch connected, taken away and connected again.
    ASSERT_EQ(queueBranch(), S_OK);
    const long withQueue = buffers();
    ASSERT_EQ(g.graph->RemoveFilter(g.sinks.back().get()), S_OK);
    ASSERT_EQ(queueBranch(), S_OK);
    const long again = buffers();
    ASSERT_EQ(g.graph->Run(), S_OK);

    // Verification: its five and one for the other branch, not more the second time.
    EXPECT_EQ(plain, 2);
    EXPECT_EQ(withQueue, 6);
    EXPECT_EQ(again, 6);
}

TEST(InfTee, AnEnumeratorNoticesThatThePinsChanged) {
    // Setup
    InfTeeGraph g;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ComPtr<IEnumPins> pins;
    g.tee->EnumPins(pins.put());

    // Exercise
    ASSERT_EQ(g.AddBranch(), S_OK);
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    HRESULT stale = pins->Next(1, pin.put(), &fetched);
    pins->Reset();
    HRESULT fresh = pins->Next(1, pin.put(), &fetched);

    // Verification
    EXPECT_EQ(stale, VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(fresh, S_OK);
}

TEST(InfTee, EveryBranchGetsTheSameSampleReadOnly) {
    // Setup
    InfTeeGraph g;
    g.source->sampleLimit = 5;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.sinks[0]->WaitForEndOfStream(1));
    ASSERT_TRUE(g.sinks[1]->WaitForEndOfStream(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    auto a = g.sinks[0]->Samples();
    auto b = g.sinks[1]->Samples();
    ASSERT_EQ(a.size(), 5u);
    ASSERT_EQ(b.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a[i].identity, b[i].identity);
        EXPECT_EQ(a[i].firstByte, BYTE(i));
        EXPECT_EQ(b[i].start, i * 400000);
    }
    EXPECT_TRUE(g.sinks[0]->lastReadOnly);
    EXPECT_TRUE(g.sinks[1]->lastReadOnly);
    EXPECT_EQ(g.tee->Output(0)->Copies() + g.tee->Output(1)->Copies(), 0);
}

TEST(InfTee, ABranchThatInsistsOnItsOwnAllocatorGetsCopiesTheOthersDoNot) {
    // Setup
    InfTeeGraph g;
    g.source->sampleLimit = 4;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.AddBranch(true), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.sinks[0]->WaitForEndOfStream(1));
    ASSERT_TRUE(g.sinks[1]->WaitForEndOfStream(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    auto shared = g.sinks[0]->Samples();
    auto copied = g.sinks[1]->Samples();
    ASSERT_EQ(copied.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(shared[i].identity, copied[i].identity);
        EXPECT_EQ(copied[i].firstByte, BYTE(i));
        EXPECT_EQ(copied[i].length, shared[i].length);
        EXPECT_EQ(copied[i].start, shared[i].start);
    }
    EXPECT_EQ(g.tee->Output(0)->Copies(), 0);
    EXPECT_EQ(g.tee->Output(1)->Copies(), 4);
}

TEST(InfTee, AnInputReconnectedWithAnotherTypeCarriesItToTheBranches) {
    // Setup: branches made with the source's first type
    InfTeeGraph g;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    const CMediaType small = MakeTestVideoType(16, 12);
    g.source->changedType = small;

    // Exercise
    HRESULT hr = g.graph->ReconnectEx(g.tee->GetPin(0), &small);

    // Verification
    ASSERT_EQ(hr, S_OK);
    AM_MEDIA_TYPE branch;
    ASSERT_EQ(g.sinks[0]->InputPin()->ConnectionMediaType(&branch), S_OK);
    EXPECT_TRUE(MediaTypesEqual(branch, small));
    FreeMediaType(branch);
}

// A pass-through that removes the sample's times and marks it a discontinuity, as a timestamper in
// clear mode does, without touching data.
class TClearTimes : public TBCTransInPlaceFilter {
public:
    TClearTimes()
        : TBCTransInPlaceFilter("Clear times", nullptr,
                                MakeGuid("6F1B2A3C-2222-4E2D-9C3B-0A1B2C3D4E5F"), false) {}
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Transform(IMediaSample* sample) override {
        sample->SetTime(nullptr, nullptr);
        sample->SetDiscontinuity(1);
        sample->SetMediaTime(nullptr, nullptr);
        return S_OK;
    }
};

TEST(InfTee, ABranchThatRewritesTheSamplesPropertiesLeavesTheNextBranchTheOriginal) {
    // Setup: Output1 -> clear times -> sink A; Output2 -> sink B
    InfTeeGraph g;
    g.source->sampleLimit = 3;
    g.source->typeChangeAt = 1;
    g.source->changedType = MakeTestVideoType(16, 12);
    ComPtr<TClearTimes> clear(new TClearTimes);
    ComPtr<TCountingSink> a(new TCountingSink);
    g.graph->AddFilter(clear.get(), "Clear");
    g.graph->AddFilter(a.get(), "A");
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.graph->ConnectDirect(g.tee->GetPin(1), clear->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.graph->ConnectDirect(clear->GetPin(1), a->InputPin(), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(a->WaitForEndOfStream(1));
    ASSERT_TRUE(g.sinks[0]->WaitForEndOfStream(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    auto cleared = a->Samples();
    auto original = g.sinks[0]->Samples();
    ASSERT_EQ(cleared.size(), 3u);
    ASSERT_EQ(original.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cleared[i].identity, original[i].identity); // still one sample, uncopied
        EXPECT_FALSE(cleared[i].hasTime);
        EXPECT_TRUE(original[i].hasTime);
        EXPECT_EQ(original[i].start, i * 400000);
        EXPECT_EQ(original[i].stop, (i + 1) * 400000);
        EXPECT_FALSE(original[i].discontinuity);
        EXPECT_EQ(original[i].typeChanged, i == 1);
    }
}

TEST(InfTee, AFailingBranchDoesNotStarveTheOthers) {
    // Setup: the second branch refuses every sample (its filter was stopped on its own).
    InfTeeGraph g;
    g.source->sampleLimit = 0;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.tee->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    ASSERT_EQ(g.graph->Pause(), S_OK);
    ASSERT_EQ(g.sinks[1]->Stop(), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, 16);
    auto input = ComPtr<IPin>(g.tee->GetPin(0)).As<IMemInputPin>();

    // Exercise
    HRESULT hr = input->Receive(sample.get());

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(g.sinks[0]->received, 1);
    EXPECT_EQ(g.sinks[1]->received, 0);
}

// Passes every sample on untouched and keeps the quality messages that reach it.
class TQualityListener : public TBCTransInPlaceFilter {
public:
    TQualityListener()
        : TBCTransInPlaceFilter("Quality listener", nullptr,
                                MakeGuid("6F1B2A3C-3333-4E2D-9C3B-0A1B2C3D4E5F"), false) {}
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Transform(IMediaSample*) override { return S_OK; }
    HRESULT AlterQuality(const Quality& q) override {
        proportions.push_back(q.Proportion);
        return S_OK;
    }
    std::vector<long> proportions;
};

TEST(InfTee, QualityMessagesPassUpstreamOnlyFromATeeWithOneBranch) {
    // Setup: source -> listener -> tee -> one sink, then a second
    InfTeeGraph g;
    ComPtr<TQualityListener> listener(new TQualityListener);
    g.graph->AddFilter(listener.get(), "Listener");
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(),
                                     ComPtr<IPin>(listener->GetPin(0)).get(), nullptr),
              S_OK);
    ASSERT_EQ(g.graph->ConnectDirect(ComPtr<IPin>(listener->GetPin(1)).get(), g.tee->GetPin(0),
                                     nullptr),
              S_OK);
    ASSERT_EQ(g.AddBranch(), S_OK);
    auto fromFirst = ComPtr<IPin>(g.tee->GetPin(1)).As<IQualityControl>();
    ASSERT_TRUE(fromFirst);
    Quality flood{};
    flood.Type = Flood;

    // Exercise
    flood.Proportion = 500;
    HRESULT alone = fromFirst->Notify(g.sinks[0].get(), flood);
    ASSERT_EQ(g.AddBranch(), S_OK);
    flood.Proportion = 250;
    HRESULT shared = fromFirst->Notify(g.sinks[0].get(), flood);

    // Verification: thinning the input would have thinned the other branch too
    EXPECT_EQ(alone, S_OK);
    EXPECT_TRUE(FAILED(shared));
    EXPECT_EQ(listener->proportions, std::vector<long>{500});
}

} // namespace
} // namespace talvence::testing
