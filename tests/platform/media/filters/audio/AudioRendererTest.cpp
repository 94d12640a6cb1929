// The audio renderer on a fake playback device: what reaches the device, the graph volume, a
// stop that releases a blocked write, the null device when no device opens, and registration.

#include "tests/support/PcmTestSupport.h"

#include "filters/BaseClass/TransInPlaceFilter.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/audio/AcmWrapper.h"
#include "platform/media/filters/audio/AudioFilterIds.h"
#include "platform/media/filters/audio/AudioFilters.h"
#include "platform/media/filters/audio/AudioRenderer.h"
#include "platform/media/filters/audio/FakePcmPlayback.h"

namespace talvence::testing {
namespace {

struct RenderGraph {
    std::shared_ptr<TFakePcmPlayback> playback = std::make_shared<TFakePcmPlayback>();
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    TPcmFeed pcm; // given to the source when it connects
    ComPtr<TAudioRenderer> renderer{new TAudioRenderer(playback)};

    RenderGraph() {
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(renderer.get(), "AudioRender");
    }
    ~RenderGraph() { graph->Stop(); }

    HRESULT Connect() {
        pcm.Into(*source);
        return graph->ConnectDirect(source->OutputPin(), renderer->InputPin(), nullptr);
    }
};

std::vector<BYTE> Pcm16(std::initializer_list<std::int16_t> values) {
    std::vector<BYTE> out(values.size() * 2);
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

TEST(AudioRenderer, PlaysEverySampleOnTheDefaultDeviceAndCompletes) {
    // Setup
    RenderGraph g;
    g.pcm.format = TPcmFormat{44100, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.5, 440.0);
    g.pcm.chunkFrames = 1000;
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    const HRESULT hr = RunToCompletion(g.graph.get());

    // Verification
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(g.playback->OpenedDevices(), std::vector<std::string>{"default"});
    EXPECT_EQ(g.playback->LastFormat(), (TPcmFormat{44100, 2, 16}));
    EXPECT_EQ(g.playback->Written(), g.pcm.data);
    EXPECT_EQ(g.renderer->SamplesRendered(), 23); // 22050 frames in chunks of 1000
    EXPECT_FALSE(g.renderer->UsingNullDevice());
    EXPECT_GE(g.playback->Pendings(), 1); // waited for the device before completing
}

TEST(AudioRenderer, TheGraphVolumeScalesTheSamplesAndBalanceOneSide) {
    // Setup: -6.02 dB is a gain of 0.50003; full attenuation is silence.
    struct Case {
        long volume, balance;
        std::vector<BYTE> expected;
    };
    const std::vector<BYTE> input = Pcm16({20000, -20000, 32767, -32768});
    const std::vector<Case> cases = {
        {0, 0, input},
        {-602, 0, Pcm16({10001, -10001, 16385, -16385})},
        {-10000, 0, Pcm16({0, 0, 0, 0})},
        {0, 10000, Pcm16({0, -20000, 0, -32768})},
        {0, -602, Pcm16({20000, -10001, 32767, -16385})},
    };
    for (const Case& c : cases) {
        RenderGraph g;
        g.pcm.format = TPcmFormat{48000, 2, 16};
        g.pcm.data = input;
        ASSERT_EQ(g.Connect(), S_OK);

        // Exercise
        ASSERT_EQ(g.graph->put_Volume(c.volume), S_OK);
        ASSERT_EQ(g.graph->put_Balance(c.balance), S_OK);
        ASSERT_EQ(RunToCompletion(g.graph.get()), S_OK);

        // Verification: the device got the scaled copy, the source's buffer is untouched.
        EXPECT_EQ(g.playback->Written(), c.expected) << c.volume << " " << c.balance;
        long volume = 1;
        EXPECT_EQ(g.graph->get_Volume(&volume), S_OK);
        EXPECT_EQ(volume, c.volume);
    }
}

TEST(AudioRenderer, EightBitSamplesAreScaledAroundTheirMidpoint) {
    // Setup
    RenderGraph g;
    g.pcm.format = TPcmFormat{11025, 1, 8};
    g.pcm.data = {128, 228, 28, 255};
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.renderer->put_Volume(-602), S_OK);

    // Exercise
    ASSERT_EQ(RunToCompletion(g.graph.get()), S_OK);

    // Verification
    EXPECT_EQ(g.playback->Written(), (std::vector<BYTE>{128, 178, 78, 192}));
}

TEST(AudioRenderer, VolumeOutsideItsRangeIsRefused) {
    // Setup
    ComPtr<TAudioRenderer> renderer{new TAudioRenderer(std::make_shared<TFakePcmPlayback>())};

    // Exercise / Verification
    EXPECT_EQ(renderer->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(renderer->put_Volume(-10001), E_INVALIDARG);
    EXPECT_EQ(renderer->put_Balance(10001), E_INVALIDARG);
    long v = 1;
    renderer->get_Volume(&v);
    EXPECT_EQ(v, 0);
    // The attenuation that a linear volume of 1000 becomes in the graph layer.
    EXPECT_NEAR(TAudioRenderer::GainOf(-2499), 0.0563, 0.0001);
}

TEST(AudioRenderer, StopReleasesAWriteBlockedOnAFullDevice) {
    // Setup: a device that holds 100 frames and never plays them.
    RenderGraph g;
    g.playback->capacity = 100;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 1.0, 440.0);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.playback->WaitForBlockedWrite());

    // Exercise
    const HRESULT hr = CallWithin([&] { return g.graph->Stop(); });

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_GE(g.playback->Drops(), 1);
    EXPECT_EQ(g.renderer->SamplesRendered(), 0);
    OAFilterState state;
    g.graph->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
}

TEST(AudioRenderer, AFlushReleasesABlockedWrite) {
    // Setup: a full device with the streaming thread blocked in a write.
    RenderGraph g;
    g.playback->capacity = 100;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 1.0, 440.0);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.playback->WaitForBlockedWrite());
    IPin* pin = g.renderer->InputPin();

    // Exercise
    const HRESULT begin = CallWithin([&] { return pin->BeginFlush(); });
    const long drops = g.playback->Drops();
    const HRESULT end = pin->EndFlush();
    const HRESULT stop = CallWithin([&] { return g.graph->Stop(); });

    // Verification: the flush dropped the device at once; the sample was not counted as played.
    EXPECT_EQ(begin, S_OK);
    EXPECT_EQ(end, S_OK);
    EXPECT_EQ(stop, S_OK);
    EXPECT_GE(drops, 1);
    EXPECT_EQ(g.renderer->SamplesRendered(), 0);
}

TEST(AudioRenderer, StopReleasesASamplePausedBeforeTheRun) {
    // Setup
    RenderGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 1.0, 440.0);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Pause(), S_OK);

    // Exercise
    const HRESULT hr = CallWithin([&] { return g.graph->Stop(); });

    // Verification: nothing was heard while paused.
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(g.playback->Written().empty());
}

TEST(AudioRenderer, AnEndOfStreamWhilePausedReturnsAtOnceAndCompletesOnRun) {
    // Setup: the renderer paused on its own, its source idle, as when an upstream filter ends its
    // stream while the graph pauses (on the application thread, which must stay free to run it).
    RenderGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.1, 440.0);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.renderer->Pause(), S_OK);
    ComPtr<IPin> input(g.renderer->InputPin());
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;

    // Exercise
    const HRESULT ended = CallWithin([&] { return input->EndOfStream(); });
    const HRESULT earlyEvent = g.graph->GetEvent(&code, &p1, &p2, 0);
    ASSERT_EQ(g.renderer->Run(0), S_OK);
    const HRESULT event = g.graph->GetEvent(&code, &p1, &p2, 5000);
    g.renderer->Stop();

    // Verification
    EXPECT_EQ(ended, S_OK);
    EXPECT_TRUE(FAILED(earlyEvent));
    ASSERT_EQ(event, S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
}

TEST(AudioRenderer, WithoutADeviceSamplesAreConsumedAsTheClockReachesThem) {
    // Setup: no device opens; a clock that moves when told; 4 samples of 10 ms.
    RenderGraph g;
    g.playback->failOpen = true;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.04, 440.0);
    g.pcm.chunkFrames = 480;
    ComPtr<FakeReferenceClock> clock{new FakeReferenceClock};
    ASSERT_EQ(g.graph->SetSyncSource(clock.get()), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise: the clock passes the end of two samples, then of all.
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.renderer->UsingNullDevice());
    const REFERENCE_TIME start = g.renderer->StartTime();
    const long beforeTheClockMoves = g.renderer->SamplesRendered();
    clock->SetTime(start + 200000);
    const bool twoConsumed = [&] {
        for (int i = 0; i < 5000 && g.renderer->SamplesRendered() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return g.renderer->SamplesRendered() == 2;
    }();
    clock->SetTime(start + 400000);
    long code = 0;
    const HRESULT completion = g.graph->WaitForCompletion(5000, &code);

    // Verification
    EXPECT_EQ(beforeTheClockMoves, 0);
    EXPECT_TRUE(twoConsumed);
    EXPECT_EQ(completion, S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(g.renderer->SamplesRendered(), 4);
    EXPECT_TRUE(g.playback->Written().empty());
}

TEST(AudioRenderer, WithoutADeviceOrAClockSamplesAreConsumedAtOnce) {
    // Setup
    RenderGraph g;
    g.playback->failOpen = true;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 10.0, 440.0); // ten seconds of sound
    ASSERT_EQ(g.graph->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    const HRESULT hr = RunToCompletion(g.graph.get());

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(g.renderer->SamplesRendered(), 250);
}

TEST(AudioRenderer, WithoutAClockADeviceDoesNotHoldTheStreamToRealTime) {
    // Setup: a graph run without a clock (a source read as fast as it goes) and a working device.
    RenderGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 10.0, 440.0);
    ASSERT_EQ(g.graph->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    const HRESULT hr = RunToCompletion(g.graph.get());

    // Verification: every sample consumed, none played.
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(g.renderer->SamplesRendered(), 250);
    EXPECT_TRUE(g.playback->Written().empty());
}

TEST(AudioRenderer, AnUnknownAlsaDeviceFallsBackToTheNullDevice) {
    // Setup: the real ALSA backend with a device name no configuration defines.
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    TPcmFeed pcm;
    pcm.format = TPcmFormat{48000, 2, 16};
    pcm.data = MakeSine(pcm.format, 0.2, 440.0);
    pcm.Into(*source);
    ComPtr<TAudioRenderer> renderer{new TAudioRenderer(nullptr, "talvence_no_such_pcm")};
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(renderer.get(), "AudioRender");
    ASSERT_EQ(graph->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), renderer->InputPin(), nullptr), S_OK);

    // Exercise
    const HRESULT hr = RunToCompletion(graph.get());

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(renderer->UsingNullDevice());
    EXPECT_EQ(renderer->SamplesRendered(), 5);
}

// Passes audio through unchanged, as the audio preview timestamper sits before the renderer.
class TPassThrough : public TBCTransInPlaceFilter {
public:
    TPassThrough()
        : TBCTransInPlaceFilter("Pass-through", nullptr,
                                MakeGuid("0E7A51C2-3B44-4F0D-A1B2-6C7D8E9F0A03"), false) {}
    HRESULT CheckInputType(const CMediaType* mt) override {
        return mt->majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Transform(IMediaSample*) override { return S_OK; }
};

TEST(AudioRenderer, TheListeningRateForcedOnTheAcmWrapperReachesTheDevice) {
    // Setup: source (48 kHz) -> ACM Wrapper -> pass-through -> renderer, all at 48 kHz.
    RenderGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 1.0, 440.0);
    ComPtr<TAcmWrapper> acm{new TAcmWrapper};
    ComPtr<TPassThrough> pass{new TPassThrough};
    g.graph->AddFilter(acm.get(), "acm");
    g.graph->AddFilter(pass.get(), "tsAudio");
    g.pcm.Into(*g.source);
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), acm->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.graph->ConnectDirect(acm->GetPin(1), pass->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(g.graph->ConnectDirect(pass->GetPin(1), g.renderer->InputPin(), nullptr), S_OK);
    AM_MEDIA_TYPE current;
    ASSERT_EQ(acm->GetPin(1)->ConnectionMediaType(&current), S_OK);
    CMediaType wanted(current);
    FreeMediaType(current);
    wanted.FormatAs<WAVEFORMATEX>()->nSamplesPerSec = 44100;
    wanted.FormatAs<WAVEFORMATEX>()->nAvgBytesPerSec = 176400;

    // Exercise
    auto config = ComPtr<IPin>(acm->GetPin(1)).As<IAMStreamConfig>();
    const HRESULT hr = config->SetFormat(&wanted);
    const HRESULT run = RunToCompletion(g.graph.get());

    // Verification: the whole chain was reconnected; the device plays one second at 44100 Hz.
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(run, S_OK);
    EXPECT_EQ(g.playback->LastFormat(), (TPcmFormat{44100, 2, 16}));
    EXPECT_NEAR(static_cast<long>(g.playback->Written().size() / 4), 44100, 2);
}

TEST(AudioRendererRegistration, TheRendererIsTheDefaultDeviceOfItsCategoryAndEndsRender) {
    // Setup
    auto playback = std::make_shared<TFakePcmPlayback>();
    auto registry = std::make_shared<FilterRegistry>();
    RegisterAudioFilters(*registry, playback);
    ComPtr<CSystemDeviceEnum> devEnum{new CSystemDeviceEnum(registry)};
    ComPtr<CFilterGraph> graph{new CFilterGraph(registry)};
    ComPtr<TCountingSource> source{new TCountingSource};
    TPcmFeed pcm;
    pcm.format = TPcmFormat{32000, 2, 16};
    pcm.data = MakeSine(pcm.format, 0.1, 440.0);
    pcm.Into(*source);
    graph->AddFilter(source.get(), "Source");

    // Exercise
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_AudioRendererCategory, e.put(), 0), S_OK);
    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    ASSERT_EQ(e->Next(1, moniker.put(), &fetched), S_OK);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid()), S_OK);
    VARIANT name;
    bag->Read("FriendlyName", &name, nullptr);
    ComPtr<IBaseFilter> bound;
    const HRESULT bindResult =
        moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, bound.putVoid());
    const HRESULT renderResult = graph->Render(source->OutputPin());
    const HRESULT runResult = RunToCompletion(graph.get());

    // Verification: Render ends in the renderer directly, which plays the source.
    EXPECT_EQ(name.bstrVal, "Default DirectSound Device");
    ASSERT_EQ(bindResult, S_OK);
    CLSID clsid;
    bound->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_DSoundRender);
    EXPECT_TRUE(bound.As<IBasicAudio>());
    EXPECT_EQ(renderResult, S_OK);
    ComPtr<IBaseFilter> acm;
    EXPECT_NE(graph->FindFilterByName("ACM Wrapper", acm.put()), S_OK);
    EXPECT_EQ(runResult, S_OK);
    EXPECT_EQ(playback->Written(), pcm.data);
}

} // namespace
} // namespace talvence::testing
