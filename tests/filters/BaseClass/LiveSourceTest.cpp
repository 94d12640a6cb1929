// The live-source base, driven through a clock-paced test pin on a clock the test moves and a
// device-paced one on a fake device: the run handshake, stream times, lost frames and the stop.

#include "filters/BaseClass/LiveSource.h"
#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/FilterGraph.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <deque>

namespace talvence {
namespace {

using testing::CallWithin;
using testing::WaitUntil;

constexpr GUID CLSID_TestLiveSource = MakeGuid("3F6A1B7E-94C2-4E0D-8B15-6D2C9A40E7F3");
constexpr REFERENCE_TIME kPeriod = 400000; // the base's default period: 1200 units of 1/30000 s

// A device that blocks until the test hands it a frame (with the frames it lost before it), or
// until the stop wakes it.
struct TFakeFrameDevice {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<long> frames; // losses reported before each frame
    bool woken = false;
    bool waiting = false; // a Take waits for a frame

    template <class F> void Change(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    void Give(long lostBefore = 0) {
        Change([&] { frames.push_back(lostBefore); });
    }
    bool Waiting() {
        std::lock_guard lock(mutex);
        return waiting;
    }
    // False when woken without a frame.
    bool Take(long& lost) {
        std::unique_lock lock(mutex);
        waiting = true;
        changed.wait(lock, [&] { return woken || !frames.empty(); });
        waiting = false;
        if (frames.empty()) return false;
        lost = frames.front();
        frames.pop_front();
        return true;
    }
};

// Frames of the counting filters' type in two buffers. Clock-paced or as fast: a frame each
// period, the end of the stream after `frames`. Device-paced: what the device gives, a period each.
class TTestPin : public TBCLiveSourceStream {
public:
    TTestPin(TBCLiveSource* filter, TBCLivePacing pacing, TFakeFrameDevice* device)
        : TBCLiveSourceStream("Live test pin", filter, "Out", pacing), device_(device) {}
    long frames = -1; // -1: endless
    std::atomic<REFERENCE_TIME> lastClockTime{-1};

    HRESULT CheckMediaType(const CMediaType* mt) override {
        return *mt == MakeTestVideoType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override {
        if (position != 0) return VFW_S_NO_MORE_ITEMS;
        *mt = MakeTestVideoType();
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        request->cBuffers = 2;
        request->cbBuffer = 1024;
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }
    TBCFrameDue OnFrameDue() override {
        return frames >= 0 && due_++ >= frames ? TBCFrameDue::EndOfStream : TBCFrameDue::Frame;
    }
    void WakeDevice() override {
        if (device_ && Stopping()) device_->Change([&] { device_->woken = true; });
    }
    HRESULT FillFrame(IMediaSample* sample) override {
        sample->SetActualDataLength(1024);
        if (!device_) return S_OK;
        long lost = 0;
        if (!device_->Take(lost)) return S_FALSE;
        ReportLost(lost);
        REFERENCE_TIME now = 0;
        if (ClockStreamTime(&now) == S_OK) lastClockTime = now;
        StampFromCount(sample, 1200);
        return S_OK;
    }

private:
    TFakeFrameDevice* device_;
    long due_ = 0; // streaming thread
};

class TTestLiveSource : public TBCLiveSource {
public:
    TTestLiveSource(TBCLivePacing pacing, TFakeFrameDevice* device)
        : TBCLiveSource("Live test source", nullptr, CLSID_TestLiveSource),
          pin(static_cast<TTestPin*>(AddPin(std::make_unique<TTestPin>(this, pacing, device)))) {}
    TTestPin* const pin;
};

// Live test source -> counting sink on a clock the test moves.
struct LiveRig {
    explicit LiveRig(TBCLivePacing pacing, TFakeFrameDevice* device = nullptr)
        : source(new TTestLiveSource(pacing, device)), pin(source->pin) {
        graph->SetSyncSource(clock.get());
        graph->AddFilter(source.get(), "Live");
        graph->AddFilter(sink.get(), "Sink");
        connected = graph->ConnectDirect(pin, sink->InputPin(), nullptr);
    }
    ~LiveRig() { graph->Stop(); }
    HRESULT Run() {
        clock->GetTime(&start);
        start += 100000; // the graph starts its runs that much ahead of the clock
        return graph->Run();
    }
    void At(REFERENCE_TIME streamTime) { clock->SetTime(start + streamTime); }
    HRESULT SourceState() {
        FILTER_STATE state;
        return source->GetState(0, &state);
    }
    template <class I> ComPtr<I> Pin() { return ComPtr<IPin>(pin).As<I>(); }

    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<FakeReferenceClock> clock{new FakeReferenceClock};
    ComPtr<TTestLiveSource> source;
    TTestPin* pin;
    ComPtr<TCountingSink> sink{new TCountingSink};
    HRESULT connected = E_FAIL;
    REFERENCE_TIME start = 0; // the clock time of the run's stream time zero
};

// Waits until the counters have `count` frames delivered (they count once Deliver has returned).
bool WaitForSent(IAMDroppedFrames* counters, long count) {
    return WaitUntil([&] {
        long sent = 0;
        return SUCCEEDED(counters->GetNumNotDropped(&sent)) && sent == count;
    });
}

std::vector<long> DroppedNumbers(IAMDroppedFrames* counters) {
    long numbers[16] = {}, copied = 0;
    counters->GetDroppedInfo(16, numbers, &copied);
    return {numbers, numbers + copied};
}

TEST(LiveSource, PausedSendsNothingAndEachRunRestartsItsStreamTimeAtZero) {
    // Setup
    LiveRig rig(TBCLivePacing::Clock);
    ASSERT_EQ(rig.connected, S_OK);

    // Exercise: paused through ten periods, a run of three frames, paused again, a run of two.
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    const HRESULT pausedState = rig.SourceState();
    rig.clock->Advance(10 * kPeriod);
    ASSERT_EQ(rig.Run(), S_OK);
    rig.At(2 * kPeriod);
    ASSERT_TRUE(rig.sink->WaitForSamples(3));
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    rig.clock->Advance(10 * kPeriod);
    ASSERT_EQ(rig.Run(), S_OK);
    rig.At(kPeriod);
    ASSERT_TRUE(rig.sink->WaitForSamples(5));
    const auto samples = rig.sink->Samples();
    ULONG flags = 99;
    REFERENCE_TIME latency = 0;
    rig.Pin<IAMPushSource>()->GetPushSourceFlags(&flags);
    rig.Pin<IAMLatency>()->GetLatency(&latency);

    // Verification
    EXPECT_EQ(pausedState, VFW_S_CANT_CUE);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(latency, kPeriod);
    const REFERENCE_TIME starts[] = {0, kPeriod, 2 * kPeriod, 0, kPeriod};
    ASSERT_EQ(samples.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(samples[i].start, starts[i]) << i;
        EXPECT_EQ(samples[i].stop, starts[i] + kPeriod) << i;
        EXPECT_EQ(samples[i].discontinuity, starts[i] == 0) << i;
        EXPECT_TRUE(samples[i].syncPoint) << i;
    }
}

TEST(LiveSource, AFrameDueWhileEveryBufferIsDownstreamIsLostAndCountedWithItsNumber) {
    // Setup: the sink keeps the pool's two buffers.
    LiveRig rig(TBCLivePacing::Clock);
    ASSERT_EQ(rig.connected, S_OK);
    rig.sink->holdSamples = true;
    auto counters = rig.Pin<IAMDroppedFrames>();

    // Exercise: five frames due with the buffers held, then one more with them back.
    ASSERT_EQ(rig.Run(), S_OK);
    rig.At(4 * kPeriod);
    ASSERT_TRUE(WaitUntil([&] { return rig.pin->Periods() >= 5; }));
    long droppedWhileHeld = 0;
    counters->GetNumDropped(&droppedWhileHeld);
    rig.sink->ReleaseHeldSamples();
    rig.At(5 * kPeriod);
    ASSERT_TRUE(WaitForSent(counters.get(), 3));
    long average = 0;
    counters->GetAverageFrameSize(&average);

    // Verification
    EXPECT_EQ(droppedWhileHeld, 3);
    EXPECT_EQ(DroppedNumbers(counters.get()), (std::vector<long>{2, 3, 4}));
    EXPECT_EQ(average, 1024);
    EXPECT_EQ(rig.sink->Samples().at(2).start, 5 * kPeriod); // the time went on through the losses
}

TEST(LiveSource, AsFastAsPossibleIsNotLiveAndDeliversEveryFrameWithConsecutiveTimes) {
    // Setup: a clock that never moves.
    LiveRig rig(TBCLivePacing::AsFastAsPossible);
    rig.pin->frames = 12;
    ASSERT_EQ(rig.connected, S_OK);

    // Exercise
    ASSERT_EQ(rig.Run(), S_OK);
    ASSERT_TRUE(rig.sink->WaitForEndOfStream());
    ULONG flags = 0;
    long dropped = -1;
    rig.Pin<IAMPushSource>()->GetPushSourceFlags(&flags);
    rig.Pin<IAMDroppedFrames>()->GetNumDropped(&dropped);
    const auto samples = rig.sink->Samples();

    // Verification
    EXPECT_EQ(flags, AM_PUSHSOURCECAPS_NOT_LIVE);
    EXPECT_EQ(dropped, 0);
    ASSERT_EQ(samples.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(samples[i].start, i * kPeriod) << i;
}

TEST(LiveSource, StopReturnsWhileWaitingForTheRunOrForTheClock) {
    // Setup
    LiveRig rig(TBCLivePacing::Clock);
    ASSERT_EQ(rig.connected, S_OK);

    // Exercise: paused; then running with the first frame not yet due.
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    const HRESULT stoppedWhilePaused = CallWithin([&] { return rig.graph->Stop(); });
    ASSERT_EQ(rig.Run(), S_OK);
    const HRESULT stoppedWhileRunning = CallWithin([&] { return rig.graph->Stop(); });

    // Verification
    EXPECT_EQ(stoppedWhilePaused, S_OK);
    EXPECT_EQ(stoppedWhileRunning, S_OK);
    EXPECT_FALSE(rig.pin->ThreadExists());
    EXPECT_EQ(rig.sink->received.load(), 0);
}

TEST(LiveSource, DevicePacedCountsWhatTheDeviceLostAndRestartsItsCountEachRun) {
    // Setup: the device outlives the graph.
    TFakeFrameDevice device;
    LiveRig rig(TBCLivePacing::Device, &device);
    ASSERT_EQ(rig.connected, S_OK);
    auto counters = rig.Pin<IAMDroppedFrames>();

    // Exercise: two frames, the second after two lost; paused while the device waits (the frame
    // it then gives belongs to no run); a second run.
    ASSERT_EQ(rig.Run(), S_OK);
    rig.At(kPeriod / 2);
    device.Give();
    device.Give(2);
    ASSERT_TRUE(rig.sink->WaitForSamples(2));
    ASSERT_TRUE(WaitUntil([&] { return device.Waiting(); }));
    const REFERENCE_TIME clockTime = rig.pin->lastClockTime;
    ASSERT_EQ(rig.graph->Pause(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    device.Give();
    device.Give();
    ASSERT_TRUE(WaitForSent(counters.get(), 3));
    ULONG flags = 99;
    rig.Pin<IAMPushSource>()->GetPushSourceFlags(&flags);
    long dropped = 0;
    counters->GetNumDropped(&dropped);
    const HRESULT stopped = CallWithin([&] { return rig.graph->Stop(); });
    const auto samples = rig.sink->Samples();

    // Verification
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(clockTime, kPeriod / 2);
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(DroppedNumbers(counters.get()), (std::vector<long>{1, 2}));
    EXPECT_EQ(stopped, S_OK);
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].start, 0);
    EXPECT_EQ(samples[1].start, kPeriod);
    EXPECT_EQ(samples[2].start, 0);
    EXPECT_EQ(samples[2].stop, kPeriod);
}

} // namespace
} // namespace talvence
