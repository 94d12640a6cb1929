// The renderers: the preview renderer hands frames and window options to its sink; Dump writes
// exactly what it receives to its file.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/RecordingFrameSink.h"
#include "tests/support/Waits.h"

#include "platform/media/FakeReferenceClock.h"
#include "platform/media/filters/basic/DumpFilter.h"
#include "platform/media/filters/basic/VideoRenderer.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace talvence::testing {
namespace {

constexpr LONG kWidth = 8, kHeight = 4;
constexpr long kImage = kWidth * kHeight * 3;

template <class R> struct RenderGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<R> renderer{new R};

    RenderGraph() {
        source->mediaType = MakeTestVideoType(kWidth, kHeight);
        source->sampleSize = kImage;
        source->sampleLimit = 0;
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(renderer.get(), "Renderer");
    }
    ~RenderGraph() { graph->Stop(); }

    HRESULT Connect() {
        return graph->ConnectDirect(source->OutputPin(), renderer->GetPin(0), nullptr);
    }
    HRESULT RunToEnd() {
        HRESULT hr = graph->Run();
        if (FAILED(hr)) return hr;
        long code = 0;
        if (graph->WaitForCompletion(5000, &code) != S_OK) return E_ABORT;
        return graph->Stop();
    }
};

TEST(VideoRenderer, HandsEachFrameWithItsFormatToTheSink) {
    // Setup
    RenderGraph<TVideoRenderer> g;
    g.source->sampleLimit = 3;
    TRecordingFrameSink sink;
    auto control = ComPtr<IBaseFilter>(g.renderer.get()).As<IVideoRendererControl>();
    ASSERT_TRUE(control);
    ASSERT_EQ(control->SetFrameSink(&sink), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.RunToEnd(), S_OK);
    control->SetFrameSink(nullptr);

    // Verification
    auto frames = sink.Frames();
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[i].width, kWidth);
        EXPECT_EQ(frames[i].height, kHeight);
        EXPECT_EQ(frames[i].subtype, MEDIASUBTYPE_RGB24);
        EXPECT_EQ(frames[i].length, kImage);
        EXPECT_EQ(frames[i].firstByte, BYTE(i));
        EXPECT_TRUE(frames[i].hasTime);
    }
    ASSERT_EQ(sink.Options().size(), 1u); // handed over when the sink was attached
    EXPECT_EQ(sink.Options()[0], TVideoWindowOptions{});
    EXPECT_EQ(g.renderer->SamplesRendered(), 3);
}

TEST(VideoRenderer, WhileRunningEachFrameWaitsForItsTimeAndAStopEndsTheWait) {
    // Setup: a clock that moves only when told; the run starts at clock time 0 + 10 ms
    RenderGraph<TVideoRenderer> g;
    g.source->sampleLimit = 3;
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    ASSERT_EQ(g.graph->SetSyncSource(clock.get()), S_OK);
    TRecordingFrameSink sink;
    g.renderer->SetFrameSink(&sink);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Run(), S_OK);
    const REFERENCE_TIME base = g.renderer->StartTime();

    // Exercise: let the first frame's time come, not the second's
    clock->SetTime(base);
    ASSERT_TRUE(WaitUntil([&] { return sink.Frames().size() == 1; }));
    clock->SetTime(base + 400000 - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto beforeItsTime = sink.Frames().size();
    HRESULT stopped = CallWithin([&] { return g.graph->Stop(); });

    // Verification
    EXPECT_EQ(beforeItsTime, 1u);
    EXPECT_EQ(stopped, S_OK);
    EXPECT_EQ(sink.Frames().size(), 1u); // the frame let go by the stop is not shown
    g.renderer->SetFrameSink(nullptr);
}

TEST(VideoRenderer, FramesWithoutTimesAreShownAtOnce) {
    // Setup: the renderer alone runs on a clock that never moves; the frame is a sample of our
    // own without times, as the preview's come
    RenderGraph<TVideoRenderer> g;
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    TRecordingFrameSink sink;
    g.renderer->SetFrameSink(&sink);
    ASSERT_EQ(g.Connect(), S_OK);
    g.renderer->SetSyncSource(clock.get());
    ASSERT_EQ(g.renderer->Run(100000), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, kImage);
    auto input = ComPtr<IPin>(g.renderer->GetPin(0)).As<IMemInputPin>();

    // Exercise
    HRESULT hr = CallWithin([&] { return input->Receive(sample.get()); });

    // Verification
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(sink.Frames().size(), 1u);
    EXPECT_FALSE(sink.Frames()[0].hasTime);
    g.renderer->Stop();
    g.renderer->SetFrameSink(nullptr);
}

TEST(VideoRenderer, KeepsTheWindowOptionsAndHandsEachChangeToTheSink) {
    // Setup
    ComPtr<TVideoRenderer> renderer(new TVideoRenderer);
    TRecordingFrameSink sink;
    renderer->SetFrameSink(&sink);
    TVideoWindowOptions owned;
    owned.owner = 0x4A0001;
    owned.visible = false;

    // Exercise
    renderer->put_KeepAspectRatio(0);
    renderer->put_FullScreen(1);
    renderer->put_FullScreen(1); // no change: not handed over again
    renderer->SetWindowOptions([&] {
        TVideoWindowOptions o;
        renderer->GetWindowOptions(&o);
        o.owner = owned.owner;
        o.visible = owned.visible;
        return o;
    }());
    TVideoWindowOptions final;
    renderer->GetWindowOptions(&final);

    // Verification
    auto seen = sink.Options();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[0].keepAspectRatio);
    EXPECT_FALSE(seen[1].keepAspectRatio);
    EXPECT_FALSE(seen[1].fullScreen);
    EXPECT_TRUE(seen[2].fullScreen);
    EXPECT_EQ(seen[3], final);
    EXPECT_FALSE(final.keepAspectRatio);
    EXPECT_TRUE(final.fullScreen);
    EXPECT_TRUE(final.fullScreenTopMost);
    EXPECT_EQ(final.owner, owned.owner);
    EXPECT_FALSE(final.visible);
    EXPECT_EQ(final.backgroundColor, 0u);
    renderer->SetFrameSink(nullptr);
}

TEST(VideoRenderer, ADetachedSinkIsNeverCalledAgain) {
    // Setup: an endless stream
    RenderGraph<TVideoRenderer> g;
    g.source->sampleLimit = -1;
    TRecordingFrameSink sink;
    g.renderer->SetFrameSink(&sink);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.Frames().size() >= 2; }));

    // Exercise
    g.renderer->SetFrameSink(nullptr);
    const auto seenAtDetach = sink.Frames().size();
    const long renderedAtDetach = g.renderer->SamplesRendered();
    ASSERT_TRUE(WaitUntil([&] { return g.renderer->SamplesRendered() > renderedAtDetach + 5; }));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(sink.Frames().size(), seenAtDetach);
}

TEST(VideoRenderer, RefusesWhatItCannotShow) {
    // Setup
    ComPtr<TVideoRenderer> renderer(new TVideoRenderer);
    IPin* in = renderer->GetPin(0);
    CMediaType yuy2 = MakeTestVideoType(kWidth, kHeight);
    yuy2.SetSubtype(MEDIASUBTYPE_YUY2);
    CMediaType wrongDepth = MakeTestVideoType(kWidth, kHeight);
    wrongDepth.SetSubtype(MEDIASUBTYPE_RGB32); // the header still says 24 bits
    CMediaType noBlock(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    noBlock.SetFormatType(FORMAT_VideoInfo);
    const CMediaType audio(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);

    // Exercise / Verification
    EXPECT_EQ(in->QueryAccept(&yuy2), S_FALSE);
    EXPECT_EQ(in->QueryAccept(&wrongDepth), S_FALSE);
    EXPECT_EQ(in->QueryAccept(&noBlock), S_FALSE);
    EXPECT_EQ(in->QueryAccept(&audio), S_FALSE);
    const CMediaType rgb = MakeTestVideoType(kWidth, kHeight);
    EXPECT_EQ(in->QueryAccept(&rgb), S_OK);
}

TEST(VideoRenderer, AStreamWithoutAClockIsAskedForTheShareAWindowShows) {
    // A source making 1500 frames a second settles at once on the share that gives 60.
    const double made = 1500;
    const long first = FreeRunShare(1000, made);
    const long second = FreeRunShare(first, made * first / 1000);
    EXPECT_EQ(first, 40);
    EXPECT_EQ(second, first);
    // A source that slows down is asked for more, but never for more than all or less than one.
    EXPECT_EQ(FreeRunShare(100, 30), 200);
    EXPECT_EQ(FreeRunShare(1000, 30), 1000);
    EXPECT_EQ(FreeRunShare(1000, 1e6), 1);
    EXPECT_EQ(FreeRunShare(250, 0), 1000);
}

TEST(VideoRenderer, AFrameShorterThanItsImageIsNotHandedOver) {
    // Setup
    RenderGraph<TVideoRenderer> g;
    g.source->sampleLimit = 2;
    g.source->sampleSize = kImage - 1;
    TRecordingFrameSink sink;
    g.renderer->SetFrameSink(&sink);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.RunToEnd(), S_OK);
    g.renderer->SetFrameSink(nullptr);

    // Verification
    EXPECT_TRUE(sink.Frames().empty());
    EXPECT_EQ(g.renderer->FramesRefused(), 2);
    EXPECT_EQ(g.renderer->SamplesRendered(), 0);
    EXPECT_EQ(g.source->lastDeliverResult, S_OK); // the stream itself went on
}

class DumpTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }

    std::vector<BYTE> FileBytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("basicfilters-dump-" + std::to_string(::getpid()) + ".bin");
    RenderGraph<TDumpFilter> g;
};

TEST_F(DumpTest, WritesExactlyTheBytesItReceivedAndStartsAfreshEachRun) {
    // Setup
    g.source->sampleLimit = 5;
    g.source->sampleSize = 1000;
    g.source->mediaType = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM);
    auto sinkFilter = ComPtr<IBaseFilter>(g.renderer.get()).As<IFileSinkFilter>();
    ASSERT_TRUE(sinkFilter);
    ASSERT_EQ(sinkFilter->SetFileName(path.string(), nullptr), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.RunToEnd(), S_OK);
    auto first = FileBytes();
    g.source->sampleLimit = 2;
    ASSERT_EQ(g.RunToEnd(), S_OK);
    auto second = FileBytes();

    // Verification
    std::vector<BYTE> expected;
    for (int i = 0; i < 5; ++i)
        expected.insert(expected.end(), 1000, BYTE(i));
    EXPECT_EQ(first, expected);
    expected.resize(2000);
    EXPECT_EQ(second, expected);
    EXPECT_EQ(g.renderer->BytesWritten(), 2000);
}

TEST_F(DumpTest, WithoutAUsableFileTheStartFails) {
    // Setup
    ASSERT_EQ(g.Connect(), S_OK);
    std::string name = "unchanged";

    // Exercise / Verification: no name at all
    EXPECT_EQ(g.renderer->SetFileName("", nullptr), E_INVALIDARG);
    EXPECT_EQ(g.renderer->GetCurFile(&name, nullptr), E_FAIL);
    EXPECT_TRUE(name.empty());
    EXPECT_TRUE(FAILED(g.graph->Run()));
    // A folder that does not exist
    g.renderer->SetFileName((path / "no" / "such" / "folder.bin").string(), nullptr);
    EXPECT_TRUE(FAILED(g.graph->Run()));
    FILTER_STATE state;
    g.renderer->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
}

TEST_F(DumpTest, AWriteFailureAbortsTheGraphOnce) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    // Setup: every write fails with "no space left"
    g.source->sampleLimit = 3;
    g.renderer->SetFileName("/dev/full", nullptr);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(g.graph->WaitForCompletion(5000, &code), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return g.source->lastDeliverResult != S_OK; }));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(code, EC_ERRORABORT);
    auto events = TakeEvents(g.graph.get());
    EXPECT_EQ(CountEvents(events, EC_ERRORABORT), 1);
    EXPECT_TRUE(FAILED(g.source->lastDeliverResult));
    EXPECT_EQ(g.renderer->SamplesRendered(), 0);
}

} // namespace
} // namespace talvence::testing
