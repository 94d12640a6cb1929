// Tvq_SceneDetect in running graphs: frames pass untouched, scenes are cut through the callback,
// the end of a run reports the final scene once, gaps leave marked, foreign types are refused.

#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace talvence {
namespace {

using testing::FrameGraph;
using testing::MakeDvType;

constexpr REFERENCE_TIME kFrame = 400000;

struct Reported {
    DvFrameInfo sceneStart;
    DvFrameInfo current;
    SceneCut reason;
};

// Collects the scenes the filter reports, from whichever thread reports them.
struct SceneLog {
    std::mutex mutex;
    std::vector<Reported> scenes;

    SceneDetectCore::SceneCallback Callback() {
        return [this](const DvFrameInfo& start, const DvFrameInfo& current, SceneCut reason) {
            std::lock_guard lock(mutex);
            scenes.push_back({start, current, reason});
        };
    }
    std::vector<Reported> Get() {
        std::lock_guard lock(mutex);
        return scenes;
    }
};

TTestFrame Timed(std::vector<std::uint8_t> bytes, REFERENCE_TIME start) {
    TTestFrame f;
    f.bytes = std::move(bytes);
    f.start = start;
    f.stop = start + kFrame;
    return f;
}

TEST(SceneDetectFilterTest, TakesRawDvOnlyAndNamesItself) {
    // Setup
    ComPtr<Tvq_SceneDetect> filter(new Tvq_SceneDetect);
    CMediaType interleavedOther(MEDIATYPE_Interleaved, GUID_NULL);
    CMediaType rgb(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    CMediaType audio(MEDIATYPE_Audio, MEDIASUBTYPE_dvsd);
    FrameGraph refused;
    refused.source->mediaType = rgb;
    ComPtr<Tvq_SceneDetect> inGraph(new Tvq_SceneDetect);

    // Exercise
    const HRESULT connect = refused.Build({{inGraph.get(), "SceneDetect"}});
    CLSID clsid;
    filter->GetClassID(&clsid);

    // Verification
    EXPECT_EQ(filter->CheckInputType(&interleavedOther), S_OK);
    const CMediaType dvVideo = MakeDvType(false);
    const CMediaType dvInterleaved = MakeDvType(true);
    EXPECT_EQ(filter->CheckInputType(&dvVideo), S_OK);
    EXPECT_EQ(filter->CheckInputType(&dvInterleaved), S_OK);
    EXPECT_EQ(filter->CheckInputType(&rgb), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(filter->CheckInputType(&audio), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_TRUE(FAILED(connect));
    EXPECT_FALSE(static_cast<TBCBasePin*>(inGraph->GetPin(0))->IsConnected());
    EXPECT_EQ(clsid, CLSID_vq_SceneDetect);
    EXPECT_EQ(filter->ObjectName(), "Brannock vq_SceneDetect");
    EXPECT_EQ(filter->ModifiesData(), false);
}

TEST(SceneDetectFilterTest, PassesTapeFramesUntouchedAndCutsBetweenRecordings) {
    // Setup: a tape of two recordings, written hours apart.
    DvTapeScript script;
    DvRecording first;
    first.start = EncodeDateTime(2024, 5, 2, 10, 0, 0, 0);
    first.frames = 6;
    DvRecording second = first;
    second.start = EncodeDateTime(2024, 5, 2, 14, 30, 0, 0);
    second.frames = 4;
    script.recordings = {first, second};
    DvTapeSynthesiser tape(script);
    std::vector<std::vector<std::uint8_t>> frames(10);
    for (std::uint64_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(tape.frame(i, frames[i])) << tape.error();

    ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
    SceneLog log;
    detect->SetSceneCallback(log.Callback());
    FrameGraph g;
    g.source->mediaType = MakeDvType(true);
    ASSERT_EQ(g.Build({{detect.get(), "SceneDetect"}}), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    for (std::size_t i = 0; i < frames.size(); ++i)
        g.source->Push(Timed(frames[i], static_cast<REFERENCE_TIME>(i) * kFrame));
    ASSERT_TRUE(g.sink->WaitForSamples(frames.size()));
    const auto cutsWhileRunning = log.Get();
    const int pos = detect->Pos();
    DvFrameInfo last;
    ASSERT_TRUE(detect->ReadInfo(pos, last));
    const double shownDate = detect->CurrentRecDateTime();
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const auto afterStop = log.Get();
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification: every frame arrives as sent.
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(seen[i].bytes, frames[i]) << "frame " << i;
    // One cut where the second recording begins; the records count frames before each frame.
    ASSERT_EQ(cutsWhileRunning.size(), 1u);
    EXPECT_EQ(cutsWhileRunning[0].reason, SceneCut::DateJump);
    EXPECT_EQ(cutsWhileRunning[0].sceneStart.frameCount, 1u);
    EXPECT_EQ(cutsWhileRunning[0].current.frameCount, 6u);
    EXPECT_DOUBLE_EQ(cutsWhileRunning[0].current.recDateTime, second.start);
    // The ring and the status date follow the last frame.
    EXPECT_EQ(pos, 10);
    EXPECT_EQ(last.frameCount, 10u);
    EXPECT_TRUE(last.hasTimecode);
    EXPECT_EQ(last.timecode.frames, 9);
    EXPECT_DOUBLE_EQ(shownDate, second.start);
    // The stop reports the second recording, once however often the graph is stopped.
    ASSERT_EQ(afterStop.size(), 2u);
    EXPECT_EQ(afterStop[1].reason, SceneCut::Stop);
    EXPECT_EQ(afterStop[1].sceneStart.frameCount, 6u);
    EXPECT_EQ(afterStop[1].current.frameCount, 10u);
    EXPECT_EQ(log.Get().size(), 2u);
    EXPECT_EQ(detect->Pos(), 0);
    EXPECT_EQ(detect->Current().frameCount, 0u);
}

TEST(SceneDetectFilterTest, AFrameAfterATimeGapLeavesAsDiscontinuityAndSyncPoint) {
    // Setup
    ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
    SceneLog log;
    detect->SetSceneCallback(log.Callback());
    FrameGraph g;
    g.source->mediaType = MakeDvType(false);
    ASSERT_EQ(g.Build({{detect.get(), "SceneDetect"}}), S_OK);
    const auto frame = testing::MakeDvFrame({});
    const REFERENCE_TIME starts[] = {0, kFrame, 2 * kFrame, 2 * kFrame + 10'000'000,
                                     3 * kFrame + 10'000'000};

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    for (REFERENCE_TIME start : starts)
        g.source->Push(Timed(frame, start));
    ASSERT_TRUE(g.sink->WaitForSamples(5));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    const auto seen = g.sink->Samples();
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const bool gap = i == 3;
        EXPECT_EQ(seen[i].discontinuity, gap) << "frame " << i;
        EXPECT_EQ(seen[i].syncPoint, gap) << "frame " << i;
        EXPECT_EQ(seen[i].start, starts[i]);
        EXPECT_EQ(seen[i].bytes, frame);
    }
    const auto scenes = log.Get();
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0].reason, SceneCut::Gap);
    EXPECT_EQ(scenes[0].current.frameCount, 3u);
    EXPECT_EQ(scenes[1].reason, SceneCut::Stop);
}

TEST(SceneDetectFilterTest, ARunWithoutFramesReportsOneEmptySceneAndTheNextRunStartsAfresh) {
    // Setup
    ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
    SceneLog log;
    detect->SetSceneCallback(log.Callback());
    FrameGraph g;
    g.source->mediaType = MakeDvType(false);
    ASSERT_EQ(g.Build({{detect.get(), "SceneDetect"}}), S_OK);
    const auto frame = testing::MakeDvFrame({});

    // Exercise: an empty run, then a run of two frames.
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const auto empty = log.Get();
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(Timed(frame, 0));
    g.source->Push(Timed(frame, kFrame));
    ASSERT_TRUE(g.sink->WaitForSamples(2));
    ASSERT_EQ(g.graph->Stop(), S_OK);
    detect->SetSceneCallback({});
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].sceneStart.frameCount, 0u);
    EXPECT_EQ(empty[0].current.frameCount, 0u);
    const auto all = log.Get();
    ASSERT_EQ(all.size(), 2u) << "a detached callback hears nothing";
    EXPECT_EQ(all[1].sceneStart.frameCount, 1u);
    EXPECT_EQ(all[1].current.frameCount, 2u);
}

} // namespace
} // namespace talvence
