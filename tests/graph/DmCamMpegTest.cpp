// The graph module with the virtual MPEG-2 encoder box: the analysis (its demultiplexer, the
// boxes when a filter is missing), the preview with either numbering of the stream ids and with
// the deinterlacer, the included audio heard, and the recipes the module offers the kind.

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

// Runs the analysed box's preview until the window has shown a few pictures; the grabber's last
// picture then.
bool PreviewShowsPictures(DmCamPlatform& p, TDibBitmap& picture) {
    TdmCam& cam = *p.cam;
    if (!cam.BuildPreviewGraph(SourceKind::skMpeg2Stream) || !cam.RunGraph()) return false;
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

} // namespace
} // namespace talvence
