// The ACM Wrapper: resampling keeps the length and the pitch, channel and sample-size
// conversions keep the level, and SetFormat fixes the output before or after connection.

#include "tests/support/PcmTestSupport.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/audio/AcmWrapper.h"
#include "platform/media/filters/audio/AudioFilterIds.h"
#include "platform/media/filters/audio/AudioFilters.h"

namespace talvence::testing {
namespace {

// source → ACM wrapper → sink, in a graph.
struct AcmGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    TPcmFeed pcm; // given to the source when it connects
    ComPtr<TAcmWrapper> acm{new TAcmWrapper};
    ComPtr<TCountingSink> sink{MakePcmSink()};

    AcmGraph() {
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(acm.get(), "acm");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~AcmGraph() { graph->Stop(); }

    IPin* AcmIn() { return acm->GetPin(0); }
    IPin* AcmOut() { return acm->GetPin(1); }
    ComPtr<IAMStreamConfig> Config() { return ComPtr<IPin>(AcmOut()).As<IAMStreamConfig>(); }

    HRESULT Connect() {
        pcm.Into(*source);
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), AcmIn(), nullptr);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(AcmOut(), sink->InputPin(), nullptr);
    }
    // Runs until the sink has the end of the stream, then stops.
    bool RunToEnd() {
        if (FAILED(graph->Run())) return false;
        bool ended = sink->WaitForEndOfStream();
        graph->Stop();
        return ended;
    }
};

CMediaType PcmType(unsigned rate, unsigned channels, unsigned bits) {
    return MakePcmType(TPcmFormat{rate, channels, bits});
}

struct ResampleCase {
    unsigned inRate;
    long chunkFrames;
};

class AcmResampling : public ::testing::TestWithParam<ResampleCase> {};

TEST_P(AcmResampling, ToCdRateKeepsTheDurationThePitchAndContiguousTimes) {
    // Setup: 2 s of a 1 kHz stereo sine, delivered in DV-frame-sized chunks.
    const ResampleCase c = GetParam();
    AcmGraph g;
    g.pcm.format = TPcmFormat{c.inRate, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 2.0, 1000.0);
    g.pcm.chunkFrames = c.chunkFrames;
    CMediaType cd = PcmType(44100, 2, 16);
    ASSERT_EQ(g.Config()->SetFormat(&cd), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.RunToEnd());

    // Verification: the length (the resampler's tail included), the pitch, the times.
    EXPECT_EQ(FormatOf(*g.sink), (TPcmFormat{44100, 2, 16}));
    auto bytes = g.sink->AllBytes();
    const long frames = static_cast<long>(bytes.size() / 4);
    EXPECT_NEAR(frames, 88200, 2);
    auto left = Channel16(bytes, 2, 0);
    auto right = Channel16(bytes, 2, 1);
    EXPECT_NEAR(MeasureFrequency(left, 44100, 4410, left.size() - 4410), 1000.0, 1.0);
    EXPECT_EQ(left, right);
    auto times = SampleTimes(*g.sink);
    ASSERT_FALSE(times.empty());
    EXPECT_TRUE(times.front().valid);
    EXPECT_EQ(times.front().start, 0);
    for (std::size_t i = 1; i < times.size(); ++i) {
        ASSERT_TRUE(times[i].valid);
        EXPECT_EQ(times[i].start, times[i - 1].stop) << "sample " << i;
    }
    EXPECT_NEAR(static_cast<double>(times.back().stop), 2e7, 1000.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, AcmResampling,
                         ::testing::Values(ResampleCase{48000, 1920}, ResampleCase{32000, 1280},
                                           ResampleCase{48000, 7}),
                         [](const ::testing::TestParamInfo<ResampleCase>& info) {
                             return "From" + std::to_string(info.param.inRate) + "In" +
                                    std::to_string(info.param.chunkFrames);
                         });

TEST(AcmWrapper, ADiscontinuityRestartsTheOutputTimesAtTheNewInputTime) {
    // Setup: ten 40 ms chunks; from the sixth on the input times jump one second ahead.
    AcmGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.4, 1000.0);
    g.pcm.gapAtChunk = 5;
    g.pcm.gap = 10000000;
    CMediaType cd = PcmType(44100, 2, 16);
    ASSERT_EQ(g.Config()->SetFormat(&cd), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.RunToEnd());

    // Verification: two contiguous runs, the second starting exactly at the jumped time; the
    // first run's tail was delivered before it.
    auto times = SampleTimes(*g.sink);
    std::size_t breakAt = 0;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i].start != times[i - 1].stop) {
            EXPECT_EQ(breakAt, 0u) << "more than one break, at " << i;
            breakAt = i;
        }
    ASSERT_GT(breakAt, 0u);
    EXPECT_TRUE(times.front().discontinuity);
    EXPECT_TRUE(times[breakAt].discontinuity);
    EXPECT_EQ(times[breakAt].start, 12000000);
    EXPECT_NEAR(static_cast<double>(times[breakAt - 1].stop), 2000000.0, 2 * 227.0);
    EXPECT_NEAR(static_cast<double>(times.back().stop), 14000000.0, 2 * 227.0);
    EXPECT_NEAR(static_cast<long>(g.sink->AllBytes().size() / 4), 17640, 4);
}

TEST(AcmWrapper, MonoEightBitsBecomesStereoSixteenBitsAtTheSameLevel) {
    // Setup: 8-bit mono steps at the same rate (no filtering), to 16-bit stereo.
    AcmGraph g;
    g.pcm.format = TPcmFormat{32000, 1, 8};
    g.pcm.data = {128, 192, 64, 255, 0};
    CMediaType out = PcmType(32000, 2, 16);
    ASSERT_EQ(g.Config()->SetFormat(&out), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.RunToEnd());

    // Verification: both channels carry the mono signal at full level.
    auto bytes = g.sink->AllBytes();
    auto left = Channel16(bytes, 2, 0);
    auto right = Channel16(bytes, 2, 1);
    EXPECT_EQ(left, (std::vector<std::int16_t>{0, 16384, -16384, 32512, -32768}));
    EXPECT_EQ(left, right);
}

TEST(AcmWrapper, StereoSixteenBitsBecomesMonoEightBitsByAveraging) {
    // Setup: opposite channels cancel, equal channels keep their level.
    AcmGraph g;
    g.pcm.format = TPcmFormat{44100, 2, 16};
    const std::int16_t pcm[] = {8000, -8000, 16384, 16384, -16384, -16384};
    g.pcm.data.resize(sizeof pcm);
    std::memcpy(g.pcm.data.data(), pcm, sizeof pcm);
    CMediaType out = PcmType(44100, 1, 8);
    ASSERT_EQ(g.Config()->SetFormat(&out), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.RunToEnd());

    // Verification
    EXPECT_EQ(g.sink->AllBytes(), (std::vector<BYTE>{128, 192, 64}));
}

TEST(AcmWrapperFormat, SetFormatBeforeConnectionDecidesTheConnectionAndIsValidated) {
    // Setup
    AcmGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    auto config = g.Config();
    ASSERT_TRUE(config);
    // What a graph writes for a mono connection: average bytes of a stereo stream.
    CMediaType wanted = PcmType(44100, 1, 16);
    wanted.FormatAs<WAVEFORMATEX>()->nAvgBytesPerSec = 44100 * 4;
    CMediaType video(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    CMediaType threeBytes = PcmType(44100, 2, 16);
    threeBytes.FormatAs<WAVEFORMATEX>()->wBitsPerSample = 24;
    CMediaType noBlock(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    noBlock.SetFormatType(FORMAT_WaveFormatEx);

    // Exercise
    const HRESULT videoResult = config->SetFormat(&video);
    const HRESULT threeBytesResult = config->SetFormat(&threeBytes);
    const HRESULT noBlockResult = config->SetFormat(&noBlock);
    const HRESULT wantedResult = config->SetFormat(&wanted);
    AM_MEDIA_TYPE* before = nullptr;
    const HRESULT getBefore = config->GetFormat(&before);
    const HRESULT connected = g.Connect();

    // Verification: refusals leave nothing fixed; the fixed type is normalised and used.
    EXPECT_EQ(videoResult, VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(threeBytesResult, VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(noBlockResult, VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(wantedResult, S_OK);
    ASSERT_EQ(getBefore, S_OK);
    EXPECT_EQ(PcmFormatOf(*before), (TPcmFormat{44100, 1, 16}));
    EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(before->pbFormat)->nAvgBytesPerSec, 88200u);
    DeleteMediaType(before);
    ASSERT_EQ(connected, S_OK);
    EXPECT_EQ(FormatOf(*g.sink), (TPcmFormat{44100, 1, 16}));
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(g.AcmOut()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat)->nBlockAlign, 2);
    FreeMediaType(mt);
}

TEST(AcmWrapperFormat, WithoutAFixedFormatTheInputFormatIsOfferedFirst) {
    // Setup
    AcmGraph g;
    g.pcm.format = TPcmFormat{32000, 1, 8};
    auto config = g.Config();

    // Exercise
    ASSERT_EQ(g.Connect(), S_OK);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    std::vector<TPcmFormat> caps;
    AUDIO_STREAM_CONFIG_CAPS scc;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        ASSERT_EQ(config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&scc)), S_OK);
        caps.push_back(*PcmFormatOf(*mt));
        DeleteMediaType(mt);
    }
    AM_MEDIA_TYPE* past = nullptr;
    const HRESULT pastEnd = config->GetStreamCaps(count, &past, reinterpret_cast<BYTE*>(&scc));

    // Verification
    EXPECT_EQ(FormatOf(*g.sink), (TPcmFormat{32000, 1, 8}));
    EXPECT_EQ(size, static_cast<int>(sizeof(AUDIO_STREAM_CONFIG_CAPS)));
    EXPECT_EQ(caps,
              (std::vector<TPcmFormat>{
                  {32000, 1, 8}, {32000, 1, 16}, {44100, 2, 16}, {48000, 2, 16}, {32000, 2, 16}}));
    EXPECT_EQ(pastEnd, S_FALSE);
    EXPECT_EQ(scc.guid, MEDIATYPE_Audio);
    EXPECT_EQ(scc.MaximumChannels, 2u);
    EXPECT_EQ(scc.MaximumSampleFrequency, kMaxPcmRate);
}

TEST(AcmWrapperFormat, SetFormatOnAConnectedPinReconnectsWhileStopped) {
    // Setup: connected at the input's own rate.
    AcmGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.5, 1000.0);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(FormatOf(*g.sink), (TPcmFormat{48000, 2, 16}));
    // The way the listening rate is forced: the connection's type with another rate.
    AM_MEDIA_TYPE current;
    ASSERT_EQ(g.AcmOut()->ConnectionMediaType(&current), S_OK);
    CMediaType wanted(current);
    FreeMediaType(current);
    wanted.FormatAs<WAVEFORMATEX>()->nSamplesPerSec = 44100;
    wanted.FormatAs<WAVEFORMATEX>()->nAvgBytesPerSec = 176400;

    // Exercise
    const HRESULT hr = g.Config()->SetFormat(&wanted);
    const bool ran = g.RunToEnd();

    // Verification: the same two pins, the new rate, and samples converted to it.
    EXPECT_EQ(hr, S_OK);
    ComPtr<IPin> peer;
    ASSERT_EQ(g.AcmOut()->ConnectedTo(peer.put()), S_OK);
    EXPECT_EQ(peer.get(), g.sink->InputPin());
    EXPECT_EQ(FormatOf(*g.sink), (TPcmFormat{44100, 2, 16}));
    ASSERT_TRUE(ran);
    EXPECT_NEAR(static_cast<long>(g.sink->AllBytes().size() / 4), 22050, 2);
}

TEST(AcmWrapperFormat, SetFormatIsRefusedWhileRunningAndWhenDownstreamRefusesIt) {
    // Setup: a sink that takes 48000 Hz and 44100 Hz only.
    AcmGraph g;
    g.pcm.format = TPcmFormat{48000, 2, 16};
    g.pcm.data = MakeSine(g.pcm.format, 0.1, 1000.0);
    g.sink->accept =
        AcceptingPcm([](const TPcmFormat& f) { return f.rate == 48000 || f.rate == 44100; });
    ASSERT_EQ(g.Connect(), S_OK);
    CMediaType refused = PcmType(32000, 2, 16);
    CMediaType accepted = PcmType(44100, 2, 16);

    // Exercise
    const HRESULT refusedResult = g.Config()->SetFormat(&refused);
    const TPcmFormat afterRefusal = FormatOf(*g.sink);
    ASSERT_EQ(g.graph->Pause(), S_OK);
    const HRESULT activeResult = g.Config()->SetFormat(&accepted);
    g.graph->Stop();

    // Verification: both leave the connection and the fixed format as they were.
    EXPECT_EQ(refusedResult, VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(activeResult, VFW_E_NOT_STOPPED);
    EXPECT_EQ(afterRefusal, (TPcmFormat{48000, 2, 16}));
    EXPECT_TRUE(g.sink->InputPin() != nullptr &&
                static_cast<TBCBasePin*>(g.sink->GetPin(0))->IsConnected());
    EXPECT_FALSE(g.acm->FixedFormat().has_value());
}

TEST(AcmWrapperRegistration, IntelligentConnectionInsertsItBetweenDisagreeingPcmPins) {
    // Setup: a sink that takes 44100 Hz only, fed at 48000 Hz.
    auto registry = std::make_shared<FilterRegistry>();
    RegisterAudioFilters(*registry);
    ComPtr<CFilterGraph> graph{new CFilterGraph(registry)};
    ComPtr<TCountingSource> source{new TCountingSource};
    TPcmFeed{}.Into(*source);
    ComPtr<TCountingSink> sink{MakePcmSink()};
    sink->accept = AcceptingPcm([](const TPcmFormat& f) { return f.rate == 44100; });
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");

    // Exercise
    const HRESULT hr = graph->Connect(source->OutputPin(), sink->InputPin());

    // Verification
    ASSERT_EQ(hr, S_OK);
    ComPtr<IBaseFilter> inserted;
    ASSERT_EQ(graph->FindFilterByName("ACM Wrapper", inserted.put()), S_OK);
    CLSID clsid;
    inserted->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_ACMWrapper);
    EXPECT_EQ(FormatOf(*sink).rate, 44100u);
}

} // namespace
} // namespace talvence::testing
