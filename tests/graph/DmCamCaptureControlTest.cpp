// Capture control driving the graph module through DmCamCaptureGraph with the virtual DV
// camcorder: scene files, image-by-image files and cuts, as the window and talvence-cli run them.

#include "app/capture/DmCamCaptureGraph.h"
#include "app/capture/TCaptureControl.h"
#include "platform/shell/FakeDialogs.h"
#include "tests/support/DmCamTestSupport.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

using namespace dmcamtest;

PreferenceEnvironment Environment(const std::string& folder) {
    PreferenceEnvironment env;
    env.videoFolder = [folder] { return folder; };
    env.picturesFolder = [folder] { return folder; };
    env.clipBrowserPath = [] { return std::string(); };
    return env;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

class DmCamCaptureControlTest : public ::testing::Test {
protected:
    void Start(const std::string& devices, int format) {
        platform = std::make_unique<DmCamPlatform>(devices);
        DeclarePreferences(list, prefs, Environment(dir.Path().string()));
        prefs.videoDirectory->value = dir.Path().string();
        prefs.videoRacine->value = "Clip";
        prefs.videoDate->value = false;
        prefs.captureFormat->value = static_cast<std::uint8_t>(format);
        graph = std::make_unique<DmCamCaptureGraph>(*platform->cam, prefs);
        control = std::make_unique<TCaptureControl>(prefs, dialogs, *graph, files, window);
        ASSERT_TRUE(AnalyseByName(*platform->cam, "Virtual DV Camcorder"));
        control->StartNaming(NowLocal());
        control->SourceSelected(platform->cam->Kind(), platform->cam->HasAudioPin());
        ASSERT_TRUE(control->BuildPreview());
        ASSERT_TRUE(graph->RunGraph());
        ASSERT_TRUE(control->EnterPreviewState());
    }
    void TearDown() override {
        if (platform) platform->cam->StopGraph();
        control.reset();
    }

    testing::TempStore store;
    TempDir dir;
    TparameterList list{PreferencesKeyPath(), PreferencesSignature()};
    TPreferences prefs;
    FakeDialogs dialogs;
    LocalCaptureFiles files;
    NullCaptureWindow window;
    std::unique_ptr<DmCamPlatform> platform;
    std::unique_ptr<DmCamCaptureGraph> graph;
    std::unique_ptr<TCaptureControl> control;
};

TEST_F(DmCamCaptureControlTest, SceneFileOfAThreeRecordingTapeMatchesTheRecordings) {
    // Setup
    Start("dv:pace=fast:mode=vcr:tape=20240101T100000/10;20240101T120000/15;20240102T090000/12",
          cfDvType2);
    prefs.scn->value = true;
    const std::string video = control->NextVideoFile();

    // Exercise: capture the whole tape, then back to the preview.
    control->CaptureToggle();
    ASSERT_EQ(control->State(), CaptureState::Capturing);
    platform->cam->Camcorder().transport->put_Mode(ED_MODE_PLAY);
    ASSERT_TRUE(WaitUntil([&] { return platform->cam->TakeCompletion(); }, 60));
    control->CaptureToggle();
    ASSERT_EQ(control->State(), CaptureState::Preview);
    const std::string scn = ChangeFileExtension(video, ".scn");
    const auto afterCapture = ReadFile(scn);
    ASSERT_TRUE(WaitUntil([&] { return platform->sink.frames > 0; }));
    platform->cam->StopGraph();

    // Verification: the file name, the streams, and three scenes of 10, 15 and 12 frames.
    EXPECT_EQ(FileNameOnly(video), "Clip_0.avi");
    const auto streams = ProbeStreams(video);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0], "video dvvideo 37");
    const std::size_t l = scn.size();
    ASSERT_EQ(afterCapture.size(), (65 + l) + (23 + l) + 2 * 35);
    EXPECT_EQ(afterCapture[33 + l] | (afterCapture[34 + l] << 8), 3);
    EXPECT_EQ(U32(afterCapture, 65 + l), 11u); // first frame after scene 1
    const std::size_t scene2 = 65 + l + 23 + l;
    EXPECT_EQ(U32(afterCapture, scene2 + 9), 11u);
    EXPECT_EQ(U32(afterCapture, scene2 + 13), 15u);
    EXPECT_EQ(U32(afterCapture, scene2 + 35 + 9), 26u);
    EXPECT_EQ(U32(afterCapture, scene2 + 35 + 13), 12u);
    EXPECT_EQ(ReadFile(scn), afterCapture); // the preview added nothing
}

TEST_F(DmCamCaptureControlTest, ImageByImageKeepsOneFramePerGrabAtTheStoredRate) {
    // Setup
    Start("dv:pace=fast", cfImageByImage);
    prefs.framerate->value = 5.0;
    const std::string first = control->NextVideoFile();

    // Exercise: a capture with two grabs, then one with none.
    control->CaptureToggle();
    ASSERT_EQ(control->State(), CaptureState::Capturing);
    for (int shot = 0; shot < 2; ++shot) {
        ASSERT_TRUE(control->ImageByImageGrab());
        ASSERT_TRUE(WaitUntil([&] { return !platform->cam->ControlFilter().Gate().PassNext(); }));
    }
    control->CaptureToggle();
    const std::string second = control->NextVideoFile();
    control->CaptureToggle();
    ASSERT_EQ(control->State(), CaptureState::Capturing);
    const long shown = platform->sink.frames;
    ASSERT_TRUE(WaitUntil([&] { return platform->sink.frames > shown + 3; }));
    control->CaptureToggle();

    // Verification
    EXPECT_NE(first, second);
    const auto streams = ProbeStreams(first);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0], "video dvvideo 2");
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=r_frame_rate -of csv=p=0 '" +
                         first + "'"),
              "5/1\n");
    EXPECT_FALSE(std::filesystem::exists(second));
}

TEST_F(DmCamCaptureControlTest, CutContinuesInTheNextFileAndBothAreComplete) {
    // Setup
    Start("dv:pace=fast", cfDvType2);
    const std::string first = control->NextVideoFile();
    control->CaptureToggle();
    ASSERT_EQ(control->State(), CaptureState::Capturing);
    long delivered = 0, dropped = 0;
    ASSERT_TRUE(WaitUntil(
        [&] { return platform->cam->SourceFrameCounts(delivered, dropped) && delivered >= 10; }));

    // Exercise
    ASSERT_TRUE(control->Cut());
    const std::string second =
        control->CaptureFile() == first ? control->NextVideoFile() : control->CaptureFile();
    ASSERT_TRUE(WaitUntil(
        [&] { return platform->cam->SourceFrameCounts(delivered, dropped) && delivered >= 10; }));
    control->CaptureToggle();

    // Verification
    EXPECT_EQ(FileNameOnly(first), "Clip_0.avi");
    EXPECT_EQ(FileNameOnly(second), "Clip_1.avi");
    for (const std::string& file : {first, second}) {
        SCOPED_TRACE(file);
        const auto streams = ProbeStreams(file);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0].rfind("video dvvideo ", 0), 0u);
        EXPECT_GE(std::stol(streams[0].substr(14)), 10);
    }
}

} // namespace
} // namespace talvence
