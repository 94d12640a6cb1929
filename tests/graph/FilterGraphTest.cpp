#include "graph/FilterGraphComponents.h"

#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "tests/graph/GraphTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace talvence {
namespace {

using namespace graphtest;

class GraphSlotTest : public ::testing::Test {
protected:
    TestPlatform platform;
    TFilterGraph fg{platform.registry};
    TFilter source{"VideoSource"};
    TFilter sink{"AudioRender"};

    void SetUp() override {
        source.SetBaseFilter(platform.FilterMoniker(CLSID_TestSource));
        sink.SetBaseFilter(platform.FilterMoniker(CLSID_TestSink));
    }

    // source -> sink through the capture graph builder, as the recipes connect slots.
    HRESULT Connect() {
        return fg.CaptureGraphBuilder()->RenderStream(nullptr, nullptr, source.Filter().get(),
                                                      nullptr, sink.Filter().get());
    }
};

TEST_F(GraphSlotTest, JoiningTwiceAddsOneFilterAndLeavingTwiceChangesNothing) {
    // Setup
    auto graph = fg.GraphBuilder();

    // Exercise
    source.SetFilterGraph(&fg);
    source.SetFilterGraph(&fg);

    // Verification
    EXPECT_EQ(FilterCount(graph.get()), 1);
    EXPECT_EQ(fg.Slots().size(), 1u);
    ComPtr<IBaseFilter> named;
    EXPECT_EQ(graph->FindFilterByName("VideoSource", named.put()), S_OK);
    EXPECT_TRUE(IsEqualObject(named.get(), source.Filter().get()));

    // Exercise
    source.SetFilterGraph(nullptr);
    source.SetFilterGraph(nullptr);

    // Verification
    EXPECT_EQ(FilterCount(graph.get()), 0);
    EXPECT_TRUE(fg.Slots().empty());
    EXPECT_FALSE(source.HasFilter());
    EXPECT_EQ(source.FilterGraph(), nullptr);
}

TEST_F(GraphSlotTest, ASlotWithoutFilterRaisesWhenAskedForAnInterface) {
    // Setup
    TFilter notInstalled("Deinterlacer");

    // Exercise / Verification: outside the graph
    try {
        source.Filter();
        FAIL() << "a slot outside the graph answered for its filter";
    } catch (const EGraphError& e) {
        EXPECT_EQ(e.Result(), VFW_E_NOT_IN_GRAPH);
    }
    EXPECT_THROW(source.Query<IMediaFilter>(), EGraphError);
    EXPECT_FALSE(source.TryQuery<IBaseFilter>());

    // Exercise / Verification: a slot with no filter installed joins without one
    notInstalled.SetFilterGraph(&fg);
    EXPECT_EQ(notInstalled.FilterGraph(), &fg);
    EXPECT_EQ(notInstalled.CreateResult(), VFW_E_NOT_FOUND);
    EXPECT_THROW(notInstalled.Filter(), EGraphError);

    // Exercise / Verification: a joined slot raises for an interface its filter lacks
    source.SetFilterGraph(&fg);
    EXPECT_NO_THROW(source.Query<IMediaFilter>());
    try {
        source.Query<IFileSinkFilter>();
        FAIL() << "a missing interface was answered";
    } catch (const EGraphError& e) {
        EXPECT_EQ(e.Result(), E_NOINTERFACE);
    }
}

TEST_F(GraphSlotTest, AConnectionToASlotOutsideTheGraphFailsTheWholeStep) {
    // Setup
    source.SetFilterGraph(&fg);

    // Exercise / Verification
    EXPECT_THROW(Connect(), EGraphError);
    EXPECT_FALSE(AnyPinConnected(source.Filter().get()));
}

TEST_F(GraphSlotTest, DeactivatingDropsEveryInstanceAndReactivatingRecreatesTheSlots) {
    // Setup
    source.SetFilterGraph(&fg);
    sink.SetFilterGraph(&fg);
    auto oldGraph = fg.GraphBuilder();
    auto oldBuilder = fg.CaptureGraphBuilder();
    oldGraph->AddFilter(MakeLooseSink().get(), "SceneDetect");
    ComPtr<IBaseFilter> oldSource = source.Filter();

    // Exercise
    fg.SetActive(false);

    // Verification
    EXPECT_FALSE(fg.Active());
    EXPECT_EQ(fg.GraphState(), gsUninitialized);
    EXPECT_EQ(FilterCount(oldGraph.get()), 0);
    EXPECT_FALSE(source.HasFilter());
    EXPECT_EQ(source.FilterGraph(), &fg);
    EXPECT_THROW(fg.CaptureGraphBuilder(), EGraphError);
    EXPECT_FALSE(fg.RunGraph());

    // Exercise
    fg.SetActive(true);

    // Verification
    auto newGraph = fg.GraphBuilder();
    EXPECT_NE(newGraph.get(), oldGraph.get());
    EXPECT_NE(fg.CaptureGraphBuilder().get(), oldBuilder.get());
    EXPECT_EQ(FilterCount(newGraph.get()), 2);
    EXPECT_TRUE(InGraph(newGraph.get(), source.Filter().get()));
    EXPECT_NE(source.Filter().get(), oldSource.get());
    EXPECT_EQ(fg.GraphState(), gsStopped);
}

TEST_F(GraphSlotTest, RunHaltAndStateFollowTheMediaControl) {
    // Setup
    source.SetFilterGraph(&fg);
    sink.SetFilterGraph(&fg);
    ASSERT_EQ(Connect(), S_OK);

    // Exercise / Verification
    EXPECT_EQ(fg.GraphState(), gsStopped);
    EXPECT_TRUE(fg.RunGraph());
    EXPECT_EQ(fg.GraphState(), gsRunning);
    EXPECT_TRUE(platform.made->sink->WaitForSamples(1));
    EXPECT_TRUE(fg.HaltGraph());
    EXPECT_EQ(fg.GraphState(), gsStopped);
}

TEST_F(GraphSlotTest, LeavingAHaltedGraphRemovesTheFilterAndItsConnections) {
    // Setup
    source.SetFilterGraph(&fg);
    sink.SetFilterGraph(&fg);
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_TRUE(fg.RunGraph());
    ComPtr<IBaseFilter> sourceFilter = source.Filter();
    ComPtr<IBaseFilter> sinkFilter = sink.Filter();
    ASSERT_TRUE(platform.made->sink->WaitForSamples(1));

    // Exercise
    fg.HaltGraph();
    sink.SetFilterGraph(nullptr);

    // Verification
    EXPECT_FALSE(InGraph(fg.GraphBuilder().get(), sinkFilter.get()));
    EXPECT_FALSE(AnyPinConnected(sourceFilter.get()));
}

TEST_F(GraphSlotTest, LeavingARunningGraphStopsTheFilterFirst) {
    // Setup
    sink.SetFilterGraph(&fg);
    ASSERT_TRUE(fg.RunGraph());
    ComPtr<IBaseFilter> sinkFilter = sink.Filter();

    // Exercise
    sink.SetFilterGraph(nullptr);

    // Verification
    FILTER_STATE state = State_Running;
    sinkFilter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_FALSE(InGraph(fg.GraphBuilder().get(), sinkFilter.get()));
}

TEST_F(GraphSlotTest, EmptyGraphKeepsOnlyTheSlotsFiltersDisconnected) {
    // Setup
    source.SetFilterGraph(&fg);
    sink.SetFilterGraph(&fg);
    ASSERT_EQ(Connect(), S_OK);
    auto graph = fg.GraphBuilder();
    ComPtr<IBaseFilter> ownFilter = MakeLooseSink();
    graph->AddFilter(ownFilter.get(), "Superposer");
    ASSERT_TRUE(fg.RunGraph());

    // Exercise
    HRESULT hr = fg.EmptyGraph();

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(fg.GraphState(), gsStopped);
    EXPECT_EQ(FilterCount(graph.get()), 2);
    EXPECT_FALSE(InGraph(graph.get(), ownFilter.get()));
    EXPECT_TRUE(InGraph(graph.get(), source.Filter().get()));
    EXPECT_FALSE(AnyPinConnected(source.Filter().get()));
    EXPECT_FALSE(AnyPinConnected(sink.Filter().get()));
}

TEST(LinearVolumeTest, AttenuationFollowsTheLogarithmicCurveAndClamps) {
    EXPECT_EQ(LinearVolumeToAttenuation(0), -10000);
    EXPECT_EQ(LinearVolumeToAttenuation(100), -4989);
    EXPECT_EQ(LinearVolumeToAttenuation(1000), -2499);
    EXPECT_EQ(LinearVolumeToAttenuation(10000), 0);
    EXPECT_EQ(LinearVolumeToAttenuation(25000), 0);
    EXPECT_EQ(LinearVolumeToAttenuation(-3), -10000);
}

TEST_F(GraphSlotTest, GraphVolumeIsClampedKeptAndGivenToTheAudioFilters) {
    // Setup
    platform.made->configureSink = [](TCountingSink& s) { s.audio = true; };
    sink.SetFilterGraph(&fg);

    // Exercise / Verification
    fg.SetGraphVolume(1000);
    EXPECT_EQ(platform.made->sink->volume, -2499);
    fg.SetGraphVolume(12000);
    EXPECT_EQ(fg.GraphVolume(), 10000);
    EXPECT_EQ(platform.made->sink->volume, 0);
    fg.SetGraphVolume(-1);
    EXPECT_EQ(fg.GraphVolume(), 0);
    EXPECT_EQ(platform.made->sink->volume, -10000);
}

TEST_F(GraphSlotTest, AMutedGraphStaysMutedWhenItsAudioFilterIsRebuilt) {
    // Setup: muted while no audio filter is in the graph
    fg.SetGraphVolume(0);
    platform.made->configureSink = [](TCountingSink& s) {
        s.audio = true;
        s.volume = 0; // full level, as a new renderer starts
    };
    source.SetFilterGraph(&fg);
    sink.SetFilterGraph(&fg);
    ASSERT_EQ(Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(fg.RunGraph());

    // Verification
    EXPECT_EQ(platform.made->sink->volume, -10000);
    fg.HaltGraph();
}

class DeviceLostTest : public GraphSlotTest {
protected:
    struct Seen {
        IUnknown* device = nullptr;
        bool inserted = false;
    };
    std::vector<Seen> seen;
    std::vector<long> ended;

    void SetUp() override {
        GraphSlotTest::SetUp();
        fg.OnGraphComplete = [this](long code, HRESULT) { ended.push_back(code); };
        fg.OnGraphDeviceLost = [this](IUnknown* device, bool inserted) {
            seen.push_back({device, inserted});
        };
    }
    void Post(IUnknown* device, LONG_PTR inserted) {
        fg.Query<IMediaEventSink>()->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(device),
                                            inserted);
    }
};

TEST_F(DeviceLostTest, RemovalAndReturnReachTheHandlerOnTheApplicationThread) {
    // Setup
    std::atomic<int> wakeups{0};
    fg.SetEventWakeup([&] { ++wakeups; });
    ComPtr<IBaseFilter> device = MakeLooseSink();
    auto sinkEvents = fg.Query<IMediaEventSink>();

    // Exercise: the platform queues the events on a streaming thread
    std::thread streaming([&] {
        sinkEvents->Notify(EC_COMPLETE, 0, 0);
        sinkEvents->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(device.get()), 0);
        sinkEvents->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(device.get()), 1);
        sinkEvents->Notify(EC_ERRORABORT, E_FAIL, 0);
    });
    streaming.join();
    EXPECT_TRUE(seen.empty());
    fg.HandleGraphEvents();

    // Verification
    EXPECT_EQ(wakeups, 4);
    EXPECT_EQ(ended, (std::vector<long>{EC_COMPLETE, EC_ERRORABORT}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].device, device.get());
    EXPECT_FALSE(seen[0].inserted);
    EXPECT_TRUE(seen[1].inserted);
}

TEST_F(DeviceLostTest, AHandlerThatReplacesTheGraphEndsTheRound) {
    // Setup
    ComPtr<IBaseFilter> device = MakeLooseSink();
    fg.OnGraphDeviceLost = [this](IUnknown*, bool inserted) {
        seen.push_back({nullptr, inserted});
        fg.SetActive(false);
        fg.SetActive(true);
    };
    Post(device.get(), 0);
    Post(device.get(), 1);

    // Exercise
    fg.HandleGraphEvents();

    // Verification
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].inserted);
}

TEST_F(DeviceLostTest, WithoutAWakeupTheEventIsPostedThroughTheQtEventLoop) {
    // Setup
    int argc = 1;
    char name[] = "graph_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ComPtr<IBaseFilter> device = MakeLooseSink();
    auto sinkEvents = fg.Query<IMediaEventSink>();

    // Exercise
    std::thread streaming(
        [&] { sinkEvents->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(device.get()), 1); });
    streaming.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.empty() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents();

    // Verification
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].inserted);
}

TEST(FilterGraphLifetimeTest, AGraphThatGoesFirstLeavesItsSlotsOutsideAnyGraph) {
    // Setup
    TestPlatform platform;
    TFilter slot("Smarttee");
    slot.SetBaseFilter(platform.FilterMoniker(CLSID_TestSink));
    auto fg = std::make_unique<TFilterGraph>(platform.registry);
    slot.SetFilterGraph(fg.get());
    ASSERT_TRUE(slot.HasFilter());

    // Exercise
    fg.reset();

    // Verification
    EXPECT_EQ(slot.FilterGraph(), nullptr);
    EXPECT_FALSE(slot.HasFilter());
}

TEST(FilterGraphLifetimeTest, AnInactiveGraphListsSlotsAndCreatesThemOnActivation) {
    // Setup
    TestPlatform platform;
    TFilterGraph fg(platform.registry, /*autoCreate=*/false);
    TFilter first("first"), second("second");
    first.SetBaseFilter(platform.FilterMoniker(CLSID_TestSink));
    second.SetBaseFilter(platform.FilterMoniker(CLSID_TestSource));
    first.SetFilterGraph(&fg);
    second.SetFilterGraph(&fg);
    EXPECT_FALSE(first.HasFilter());
    EXPECT_THROW(fg.GraphBuilder(), EGraphError);

    // Exercise
    fg.SetActive(true);

    // Verification
    ASSERT_EQ(fg.Slots().size(), 2u);
    EXPECT_EQ(fg.Slots()[0], &first);
    EXPECT_TRUE(first.HasFilter());
    EXPECT_TRUE(second.HasFilter());
}

} // namespace
} // namespace talvence
