#include "tests/support/Waits.h"
#include "platform/media/FilterGraph.h"

#include "filters/BaseClass/CountingFilters.h"
#include "filters/BaseClass/TransInPlaceFilter.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

namespace talvence {
namespace {

using namespace std::chrono_literals;

// Records the order in which the graph drives the filters.
struct StateLog {
    std::mutex mutex;
    std::vector<std::string> entries;
    void Add(std::string e) {
        std::lock_guard lock(mutex);
        entries.push_back(std::move(e));
    }
};

class LoggingSink : public TCountingSink {
public:
    LoggingSink(StateLog* log, std::string name) : log_(log), name_(std::move(name)) {}
    HRESULT Pause() override {
        log_->Add("pause " + name_);
        return TCountingSink::Pause();
    }
    HRESULT Stop() override {
        log_->Add("stop " + name_);
        return TCountingSink::Stop();
    }

private:
    StateLog* log_;
    std::string name_;
};

class LoggingPass : public TBCTransInPlaceFilter {
public:
    LoggingPass(StateLog* log)
        : TBCTransInPlaceFilter("pass", nullptr, GUID_NULL, false), log_(log) {}
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Transform(IMediaSample*) override { return S_OK; }
    HRESULT Pause() override {
        log_->Add("pause pass");
        return TBCTransInPlaceFilter::Pause();
    }
    HRESULT Stop() override {
        log_->Add("stop pass");
        return TBCTransInPlaceFilter::Stop();
    }

private:
    StateLog* log_;
};

class LoggingSource : public TCountingSource {
public:
    explicit LoggingSource(StateLog* log) : log_(log) {}
    HRESULT Pause() override {
        log_->Add("pause source");
        return TCountingSource::Pause();
    }
    HRESULT Stop() override {
        log_->Add("stop source");
        return TCountingSource::Stop();
    }

private:
    StateLog* log_;
};

using testing::CallWithin;

std::string NameOf(IBaseFilter* f) {
    FILTER_INFO info;
    f->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    return info.achName;
}

class FilterGraphTest : public ::testing::Test {
protected:
    StateLog log; // outlives the graph, whose teardown still stops the filters
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TCountingSink> sink{new TCountingSink};
};

TEST_F(FilterGraphTest, NamesAreMadeUniqueAndFiltersAreFoundByThem) {
    // Setup
    ComPtr<TCountingSink> second(new TCountingSink);
    ComPtr<TCountingSink> unnamed(new TCountingSink);

    // Exercise
    HRESULT first = graph->AddFilter(sink.get(), "Sink");
    HRESULT clash = graph->AddFilter(second.get(), "Sink");
    HRESULT noName = graph->AddFilter(unnamed.get(), "");
    HRESULT again = graph->AddFilter(sink.get(), "Other");
    ComPtr<IBaseFilter> found;
    HRESULT byName = graph->FindFilterByName("Sink 0001", found.put());

    // Verification
    EXPECT_EQ(first, S_OK);
    EXPECT_EQ(clash, VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(noName, S_OK);
    EXPECT_EQ(again, E_INVALIDARG);
    EXPECT_EQ(NameOf(second.get()), "Sink 0001");
    EXPECT_FALSE(NameOf(unnamed.get()).empty());
    ASSERT_EQ(byName, S_OK);
    EXPECT_EQ(found.get(), static_cast<IBaseFilter*>(second.get()));
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.put());
    IBaseFilter* list[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(4, list, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(list[0], static_cast<IBaseFilter*>(sink.get()));
    for (ULONG i = 0; i < fetched; ++i)
        list[i]->Release();
}

TEST_F(FilterGraphTest, RemovingAFilterDisconnectsBothEndsAndForgetsIt) {
    // Setup
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr), S_OK);

    // Exercise
    HRESULT hr = graph->RemoveFilter(sink.get());

    // Verification
    EXPECT_EQ(hr, S_OK);
    ComPtr<IPin> peer;
    EXPECT_EQ(source->OutputPin()->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(sink->InputPin()->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(sink->Graph(), nullptr);
    ComPtr<IBaseFilter> found;
    EXPECT_EQ(graph->FindFilterByName("Sink", found.put()), VFW_E_NOT_FOUND);
    EXPECT_EQ(graph->RemoveFilter(sink.get()), VFW_E_NOT_FOUND);
}

TEST_F(FilterGraphTest, DirectConnectionAgreesOnATypeOrUsesTheOneGiven) {
    // Setup
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    CMediaType partial(MEDIATYPE_Video);
    CMediaType audio(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    audio.SetFormatType(FORMAT_WaveFormatEx);

    // Exercise / Verification
    EXPECT_TRUE(FAILED(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), &audio)));
    EXPECT_FALSE(static_cast<TBCBasePin*>(source->OutputPin())->IsConnected());
    EXPECT_EQ(graph->ConnectDirect(sink->InputPin(), source->OutputPin(), nullptr),
              VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), &partial), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(sink->InputPin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_TRUE(MediaTypesEqual(mt, source->mediaType));
    FreeMediaType(mt);
    EXPECT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr),
              VFW_E_ALREADY_CONNECTED);
}

TEST_F(FilterGraphTest, PinsOfFiltersOutsideTheGraphAreNotConnected) {
    // Setup
    graph->AddFilter(source.get(), "Source");

    // Exercise
    HRESULT hr = graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr);

    // Verification
    EXPECT_EQ(hr, VFW_E_NOT_IN_GRAPH);
}

TEST_F(FilterGraphTest, ARunDeliversSamplesAndTheStateIsReadWithoutWaiting) {
    // Setup
    source->sampleLimit = 5;
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr), S_OK);
    OAFilterState state = -1;

    // Exercise
    ASSERT_EQ(graph->Run(), S_OK);
    EXPECT_EQ(graph->GetState(0, &state), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream(1));
    EXPECT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr),
              VFW_E_NOT_STOPPED);
    ASSERT_EQ(graph->Stop(), S_OK);
    OAFilterState stopped = -1;
    graph->GetState(0, &stopped);

    // Verification
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(stopped, State_Stopped);
    EXPECT_EQ(sink->received, 5);
    // A second run starts the stream again.
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream(2));
    EXPECT_EQ(sink->received, 10);
}

TEST_F(FilterGraphTest, StatesChangeDownstreamFirst) {
    // Setup
    ComPtr<LoggingSource> src(new LoggingSource(&log));
    ComPtr<LoggingPass> pass(new LoggingPass(&log));
    ComPtr<LoggingSink> dst(new LoggingSink(&log, "sink"));
    src->sampleLimit = 0;
    // Added upstream-first so that the order is not simply that of addition.
    graph->AddFilter(src.get(), "Source");
    graph->AddFilter(pass.get(), "Pass");
    graph->AddFilter(dst.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(src->OutputPin(), pass->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(pass->GetPin(1), dst->InputPin(), nullptr), S_OK);

    // Exercise
    ASSERT_EQ(graph->Pause(), S_OK);
    ASSERT_EQ(graph->Stop(), S_OK);

    // Verification
    std::vector<std::string> expected = {"pause sink", "pause pass", "pause source",
                                         "stop sink",  "stop pass",  "stop source"};
    EXPECT_EQ(log.entries, expected);
}

TEST_F(FilterGraphTest, StoppingReleasesASourceBlockedOnAFullPool) {
    // Setup
    source->sampleLimit = -1;
    source->bufferCount = 2;
    sink->holdSamples = true;
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr), S_OK);
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(sink->WaitForSamples(2));

    // Exercise
    HRESULT hr = CallWithin([&] { return graph->Stop(); });

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_FALSE(static_cast<TBCSourceStream*>(source->GetPin(0))->ThreadExists());
    EXPECT_EQ(sink->received, 2);
    sink->ReleaseHeldSamples();
}

TEST_F(FilterGraphTest, AFilterThatCannotPauseLeavesTheWholeGraphStopped) {
    // Setup: a source whose pool has no buffers cannot commit it.
    source->bufferCount = 0;
    source->sampleSize = 0;
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr), S_OK);

    // Exercise
    HRESULT hr = graph->Run();

    // Verification
    EXPECT_TRUE(FAILED(hr));
    OAFilterState state = -1;
    graph->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_TRUE(sink->IsStopped());
    EXPECT_TRUE(source->IsStopped());
}

TEST_F(FilterGraphTest, RunGivesEveryFilterTheClockAndAStartTimeAheadOfNow) {
    // Setup
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    clock->SetTime(50'000'000);
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->SetSyncSource(clock.get()), S_OK);

    // Exercise
    ASSERT_EQ(graph->Run(), S_OK);
    clock->Advance(500'000);
    REFERENCE_TIME streamTime = 0;
    HRESULT hr = sink->StreamTime(&streamTime);

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(streamTime, 400'000); // the graph starts streams 10 ms ahead
    ComPtr<IReferenceClock> given;
    source->GetSyncSource(given.put());
    EXPECT_EQ(given.get(), static_cast<IReferenceClock*>(clock.get()));
}

TEST_F(FilterGraphTest, WithoutAChosenClockTheGraphPicksTheSystemClock) {
    // Setup
    graph->AddFilter(sink.get(), "Sink");
    REFERENCE_TIME t = 0;
    EXPECT_EQ(sink->StreamTime(&t), VFW_E_NO_CLOCK);

    // Exercise
    ASSERT_EQ(graph->Pause(), S_OK);

    // Verification
    ComPtr<IReferenceClock> clock;
    sink->GetSyncSource(clock.put());
    EXPECT_TRUE(clock);
}

// An object that counts its references, standing for a capture device.
struct Device : IUnknown {
    std::atomic<int> refs{1};
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
};

TEST_F(FilterGraphTest, EventsAreQueuedAnnouncedAndHandedOutInOrder) {
    // Setup
    std::atomic<int> announced{0};
    graph->SetNotifyCallback([&] { ++announced; });
    graph->AddFilter(sink.get(), "Sink");
    Device device;

    // Exercise: events posted from another thread, as streaming threads do.
    std::thread poster([&] {
        sink->NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
        sink->NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(&device), 1);
    });
    poster.join();
    const int queuedRefs = device.refs;
    long c1, c2, c3;
    LONG_PTR a1, b1, a2, b2, a3, b3;
    HRESULT r1 = graph->GetEvent(&c1, &a1, &b1, 0);
    HRESULT r2 = graph->GetEvent(&c2, &a2, &b2, 0);
    HRESULT r3 = graph->GetEvent(&c3, &a3, &b3, 0);
    graph->FreeEventParams(c1, a1, b1);
    graph->FreeEventParams(c2, a2, b2);

    // Verification
    EXPECT_EQ(announced, 2);
    ASSERT_EQ(r1, S_OK);
    ASSERT_EQ(r2, S_OK);
    EXPECT_EQ(r3, E_ABORT);
    EXPECT_EQ(c1, EC_QUALITY_CHANGE);
    EXPECT_EQ(c2, EC_DEVICE_LOST);
    EXPECT_EQ(a2, reinterpret_cast<LONG_PTR>(&device));
    EXPECT_EQ(b2, 1); // the device came back
    EXPECT_EQ(queuedRefs, 2);
    EXPECT_EQ(device.refs, 1);
}

TEST_F(FilterGraphTest, ADeviceLostEventWithoutADeviceNamesTheFilterThatPostedIt) {
    // Setup
    graph->AddFilter(sink.get(), "Sink");

    // Exercise
    sink->NotifyEvent(EC_DEVICE_LOST, 0, 0);
    long code;
    LONG_PTR p1, p2;
    ASSERT_EQ(graph->GetEvent(&code, &p1, &p2, 0), S_OK);

    // Verification
    EXPECT_EQ(code, EC_DEVICE_LOST);
    EXPECT_TRUE(
        IsEqualObject(reinterpret_cast<IUnknown*>(p1), static_cast<IBaseFilter*>(sink.get())));
    EXPECT_EQ(p2, 0); // removed
    graph->FreeEventParams(code, p1, p2);
}

TEST_F(FilterGraphTest, WithNotificationOffEventsAreDiscardedAndTheirDevicesReleased) {
    // Setup
    Device device;
    graph->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(&device), 0);

    // Exercise
    graph->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY);
    graph->Notify(EC_COMPLETE, 0, 0);

    // Verification
    EXPECT_EQ(graph->PendingEvents(), 0u);
    EXPECT_EQ(device.refs, 1);
}

TEST_F(FilterGraphTest, VolumeReachesTheAudioFiltersWithinItsRange) {
    // Setup
    long volume = 1;

    // Exercise / Verification
    graph->AddFilter(sink.get(), "Video sink");
    EXPECT_EQ(graph->put_Volume(-2500), E_NOTIMPL);
    ComPtr<TCountingSink> speaker(new TCountingSink);
    speaker->audio = true;
    graph->AddFilter(speaker.get(), "Audio sink");
    EXPECT_EQ(graph->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(graph->put_Volume(-10001), E_INVALIDARG);
    EXPECT_EQ(graph->put_Volume(-2500), S_OK);
    EXPECT_EQ(speaker->volume, -2500);
    EXPECT_EQ(graph->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -2500);
}

TEST_F(FilterGraphTest, TheRunCompletesOnceWhenEveryRendererHasFinished) {
    // Setup: two independent streams, each ending in a renderer that reports completion.
    ComPtr<TCountingSource> source2(new TCountingSource);
    ComPtr<TCountingSink> sink2(new TCountingSink);
    for (auto* s : {source.get(), source2.get()})
        s->sampleLimit = 2;
    sink->reportComplete = sink2->reportComplete = true;
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    graph->AddFilter(source2.get(), "Source 2");
    graph->AddFilter(sink2.get(), "Sink 2");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(source2->OutputPin(), sink2->InputPin(), nullptr), S_OK);
    long code = -1;
    const HRESULT beforeRun = graph->WaitForCompletion(0, &code);

    // Exercise
    ASSERT_EQ(graph->Run(), S_OK);
    const HRESULT completed = graph->WaitForCompletion(5000, &code);
    ASSERT_TRUE(sink->WaitForEndOfStream(1) && sink2->WaitForEndOfStream(1));
    graph->Stop();
    const std::size_t withDefault = graph->PendingEvents();
    long c;
    LONG_PTR p1, p2;
    while (graph->GetEvent(&c, &p1, &p2, 0) == S_OK)
        graph->FreeEventParams(c, p1, p2);
    graph->CancelDefaultHandling(EC_COMPLETE);
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream(2) && sink2->WaitForEndOfStream(2));
    graph->Stop();

    // Verification
    EXPECT_EQ(beforeRun, E_ABORT);
    EXPECT_EQ(completed, S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(withDefault, 1u);
    EXPECT_EQ(graph->PendingEvents(), 2u); // one per renderer without default handling
}

} // namespace
} // namespace talvence
