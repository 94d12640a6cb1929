// The graph module with the virtual MPEG-2 encoder box and the virtual MovieBox: the analysis
// (the demultiplexer, the boxes when a filter is missing), the preview with either numbering of
// the stream ids and with the deinterlacer, the included audio heard, the recipes the module
// offers the kind, and the MovieBox's graph replaced by StopGraph.

#include "graph/DeviceCategories.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/filters/basic/BasicFilterIds.h"
#include "platform/media/filters/mpeg/MpegInterfaces.h"
#include "platform/shell/FakeDialogs.h"
#include "resources/Strings.h"
#include "tests/support/DmCamTestSupport.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace dmcamtest;

constexpr const char* kBox = "Virtual MPEG-2 Encoder";

constexpr const char* kMovieBox = "Virtual MovieBox";

// Runs the analysed box's preview until the window has shown a few pictures; the grabber's last
// picture then.
bool PreviewShowsPictures(DmCamPlatform& p, TDibBitmap& picture,
                          SourceKind kind = SourceKind::skMpeg2Stream) {
    TdmCam& cam = *p.cam;
    if (!cam.BuildPreviewGraph(kind) || !cam.RunGraph()) return false;
    const long before = p.sink.frames;
    const bool shown = WaitUntil([&] { return p.sink.frames >= before + 5; }, 30);
    const bool grabbed = cam.GrabFrameBitmap(picture);
    cam.StopGraph();
    return shown && grabbed;
}

TEST(DmCamMpegTest, PreviewShowsThePictureWithEitherNumbering) {
    for (const char* devices : {"mpeg2", "mpeg2:ids=e1"}) {
        // Setup
        DmCamPlatform platform(devices);
        FakeDialogs dialogs;
        platform.cam->SetDialogs(&dialogs);
        ASSERT_TRUE(AnalyseByName(*platform.cam, kBox)) << platform.cam->LastError();
        EXPECT_EQ(platform.cam->Kind(), SourceKind::skMpeg2Stream);
        EXPECT_TRUE(dialogs.messages.empty());
        // Exercise
        TDibBitmap picture;
        ASSERT_TRUE(PreviewShowsPictures(platform, picture)) << devices << ": "
                                                             << platform.cam->LastError();
        // Verification: the box's picture, and its sound heard.
        EXPECT_EQ(picture.Width(), 720);
        EXPECT_EQ(picture.Height(), 576);
        EXPECT_EQ(platform.cam->FrameDuration(), 400000);
        EXPECT_TRUE(WaitUntil([&] { return !platform.playback->Written().empty(); }, 10))
            << devices;
    }
}

TEST(DmCamMpegTest, DeinterlacedPreviewAndTheRecipesOfTheKind) {
    DmCamPlatform platform("mpeg2:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kBox));
    cam.Settings().deinterlacerOn = true;
    TDibBitmap picture;
    ASSERT_TRUE(PreviewShowsPictures(platform, picture)) << cam.LastError();
    EXPECT_TRUE(cam.DeinterlacerInGraph());
    for (int format : {cfNative, cfDvType2Inlay, cfImageByImage})
        EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skMpeg2Stream, format)) << format;
    EXPECT_FALSE(cam.HasCaptureBuilder(SourceKind::skMpeg2Stream, cfDvType1));
}

TEST(DmCamMpegTest, MissingFiltersAreToldInTheirBoxes) {
    // Without the demultiplexer: an error box, and the source cannot be previewed.
    DmCamPlatform platform("mpeg2");
    FakeDialogs dialogs;
    platform.cam->SetDialogs(&dialogs);
    platform.registry->Unregister(CLSID_LegacyAmFilterCategory, CLSID_MPEG2Demultiplexer);
    EXPECT_FALSE(AnalyseByName(*platform.cam, kBox));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].type, MsgType::Error);
    EXPECT_EQ(dialogs.messages[0].text, std::string(strings::kMpeg2DemuxMissing[0]) + "\n" +
                                            strings::kMpeg2DemuxMissing[1]);

    // Without the dump filter: a warning box, and the preview still works.
    DmCamPlatform noDump("mpeg2");
    noDump.cam.reset();
    noDump.registry->Unregister(CLSID_LegacyAmFilterCategory, CLSID_Dump);
    noDump.cam = std::make_unique<TdmCam>(noDump.registry, noDump.window);
    FakeDialogs warned;
    noDump.cam->SetDialogs(&warned);
    ASSERT_TRUE(AnalyseByName(*noDump.cam, kBox));
    ASSERT_EQ(warned.messages.size(), 1u);
    EXPECT_EQ(warned.messages[0].type, MsgType::Warning);
    EXPECT_EQ(warned.messages[0].text.substr(0, 46), "Warning: The dump filter is not found on your ");
    TDibBitmap picture;
    EXPECT_TRUE(PreviewShowsPictures(noDump, picture));
}

TEST(DmCamMpegTest, MovieBoxPreviewWithItsSoundAndItsRecipes) {
    // Setup: the stand-ins of both demultiplexers come with the box.
    DmCamPlatform platform("moviebox");
    TdmCam& cam = *platform.cam;
    FakeDialogs dialogs;
    cam.SetDialogs(&dialogs);
    EXPECT_TRUE(cam.MovieBoxDevicePresent());
    EXPECT_TRUE(cam.CirrusSplitterPresent());
    EXPECT_TRUE(cam.MovieBoxDemuxPresent());
    for (bool cirrus : {true, false}) {
        cam.Settings().useCirrus = cirrus;
        ASSERT_TRUE(AnalyseByName(cam, kMovieBox)) << cam.LastError();
        EXPECT_EQ(cam.Kind(), SourceKind::skMovieBox);
        // Exercise
        TDibBitmap picture;
        ASSERT_TRUE(PreviewShowsPictures(platform, picture, SourceKind::skMovieBox))
            << cam.LastError();
        // Verification: the box's picture, and its sound reaches the renderer.
        EXPECT_EQ(picture.Width(), 720);
        EXPECT_EQ(picture.Height(), 576);
        EXPECT_EQ(cam.FrameDuration(), 400000);
        EXPECT_TRUE(WaitUntil([&] { return !platform.playback->Written().empty(); }, 10));
    }
    EXPECT_TRUE(dialogs.messages.empty());
    for (int format : {cfNative, cfDvType2Inlay, cfWmvInlay, cfImageByImage})
        EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skMovieBox, format)) << format;
    EXPECT_FALSE(cam.HasCaptureBuilder(SourceKind::skMovieBox, cfDvType2));
}

TEST(DmCamMpegTest, MovieBoxWithoutItsChosenDemultiplexerIsRefused) {
    // "Utiliser Cirrus" true with the Cirrus splitter left out: its box, and no preview.
    DmCamPlatform platform("moviebox:demux=mbx");
    TdmCam& cam = *platform.cam;
    FakeDialogs dialogs;
    cam.SetDialogs(&dialogs);
    EXPECT_FALSE(cam.CirrusSplitterPresent());
    cam.Settings().useCirrus = true;
    EXPECT_FALSE(AnalyseByName(cam, kMovieBox));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].type, MsgType::Error);
    EXPECT_EQ(dialogs.messages[0].text, std::string(strings::kCirrusSplitterMissing[0]) + "\n" +
                                            strings::kCirrusSplitterMissing[1]);
    // The MovieBox's own demultiplexer is there.
    cam.Settings().useCirrus = false;
    EXPECT_TRUE(AnalyseByName(cam, kMovieBox)) << cam.LastError();
    EXPECT_EQ(dialogs.messages.size(), 1u);

    // Without a MovieBox, neither stand-in is installed.
    DmCamPlatform other("mpeg2");
    EXPECT_FALSE(other.cam->MovieBoxDevicePresent());
    EXPECT_FALSE(other.cam->CirrusSplitterPresent());
    EXPECT_FALSE(other.cam->MovieBoxDemuxPresent());
}

TEST(DmCamMpegTest, StopGraphReplacesARunningMovieBoxGraph) {
    // Setup: the owner's part of a replacement, as the application core does it.
    DmCamPlatform platform("moviebox:pace=fast");
    TdmCam& cam = *platform.cam;
    int replaced = 0;
    bool rebuilt = false;
    cam.SetGraphReplacedHandler([&] {
        ++replaced;
        EXPECT_FALSE(cam.PreviewReady());
        rebuilt = AnalyseByName(cam, kMovieBox) && cam.BuildPreviewGraph(SourceKind::skMovieBox);
    });
    ASSERT_TRUE(AnalyseByName(cam, kMovieBox));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skMovieBox));
    ASSERT_TRUE(cam.RunGraph());
    ASSERT_TRUE(WaitUntil([&] { return platform.sink.frames >= 3; }, 30));
    // Exercise
    cam.StopGraph();
    // Verification: a new graph, stopped, with the preview built again; it runs.
    EXPECT_EQ(replaced, 1);
    EXPECT_TRUE(rebuilt) << cam.LastError();
    EXPECT_EQ(cam.GraphState(), gsStopped);
    EXPECT_TRUE(cam.PreviewReady());
    const long before = platform.sink.frames;
    ASSERT_TRUE(cam.RunGraph());
    EXPECT_TRUE(WaitUntil([&] { return platform.sink.frames >= before + 3; }, 30));
    cam.SetGraphReplacedHandler({});
    cam.StopGraph();
    // A stopped graph is left alone.
    cam.StopGraph();
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(cam.GraphState(), gsStopped);
}

} // namespace
} // namespace talvence
