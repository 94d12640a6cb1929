// The device settings menu of the graph module over the virtual devices: the entries a source
// really has pages for, in order, the "Video Input" routes with the tuner checked, the pin's
// page after the graph was cleared, and a source without pages. And a webcam's microphone heard
// as the source's own audio.

#include "graph/graph.h"
#include "tests/support/DmCamTestSupport.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace dmcamtest;

std::vector<std::string> Captions(const TSettingsMenu& menu) {
    std::vector<std::string> out;
    for (const TSettingsMenuItem& item : menu.items)
        out.push_back(item.caption);
    return out;
}

TEST(DmCamSettings, TheAnalogueCardOffersItsPagesAndInputsInOrder) {
    // Setup
    testing::TempStore store;
    DmCamPlatform platform("analog");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, "Virtual Analog Capture"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skCapturePin)) << cam.LastError();
    ASSERT_EQ(cam.SelectVideoInput(2), S_OK); // S-Video

    // Exercise
    const TSettingsMenu menu = cam.BuildSettingsMenu();

    // Verification: the card goes back to its tuner, the default route.
    EXPECT_EQ(Captions(menu), (std::vector<std::string>{"Video Capture Filter...",
                                                        "Video Capture Pin...",
                                                        "Video Crossbar..."}));
    EXPECT_EQ(menu.routes,
              (std::vector<std::string>{"Video Tuner", "Video Composite", "Video SVideo"}));
    EXPECT_EQ(menu.checkedRoute, 0);
    EXPECT_EQ(cam.SettingsPositions()[TSettingsEntry::VideoCrossbar], 2);
    EXPECT_EQ(cam.SettingsPositions()[TSettingsEntry::AudioCaptureFilter], -1);
    EXPECT_EQ(cam.SettingsPositions().videoInput, 4);

    // The pin's page comes with the graph cleared, so its format can change.
    const TPageList pin = cam.SettingsEntryPages(1);
    ASSERT_EQ(pin.size(), 1u);
    EXPECT_EQ(pin[0]->Title(), "Format");
    EXPECT_FALSE(cam.PreviewReady());
    EXPECT_TRUE(cam.SettingsEntryPages(7).empty());
    // The preview builds again afterwards.
    EXPECT_TRUE(cam.BuildPreviewGraph(SourceKind::skCapturePin)) << cam.LastError();
}

TEST(DmCamSettings, AWebcamHasNoInputsAndADvCamcorderNoSettings) {
    // Setup
    testing::TempStore store;
    DmCamPlatform platform("webcam,dv");
    TdmCam& cam = *platform.cam;

    // Exercise / Verification
    ASSERT_TRUE(AnalyseByName(cam, "Virtual Webcam"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skCapturePin)) << cam.LastError();
    const TSettingsMenu webcam = cam.BuildSettingsMenu();
    EXPECT_EQ(Captions(webcam),
              (std::vector<std::string>{"Video Capture Filter...", "Video Capture Pin..."}));
    EXPECT_TRUE(webcam.routes.empty());

    ASSERT_TRUE(AnalyseByName(cam, "Virtual DV Camcorder"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();
    EXPECT_TRUE(cam.BuildSettingsMenu().Empty());
    EXPECT_EQ(cam.SettingsPositions().videoInput, -1);
}

TEST(DmCamSettings, AWebcamsMicrophoneIsItsBuiltInAudioAndIsHeard) {
    // Setup
    testing::TempStore store;
    DmCamPlatform platform("webcam:mic:pace=fast");
    TdmCam& cam = *platform.cam;
    cam.Settings().listenIncludedAudio = true;

    // Exercise
    ASSERT_TRUE(AnalyseByName(cam, "Virtual Webcam"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skCapturePin)) << cam.LastError();
    ASSERT_TRUE(cam.RunGraph()) << cam.LastError();

    // Verification: the tone reaches the renderer.
    EXPECT_TRUE(cam.HasAudioPin());
    EXPECT_TRUE(WaitUntil([&] { return platform.playback->Written().size() > 4000; }, 10));
    cam.StopGraph();
}

} // namespace
} // namespace talvence
