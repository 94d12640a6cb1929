// The application core as a face drives it: a scripted tape captured to its end into DV type 2
// with its scene file, and the status read while it runs.

#include "app/core/ApplicationCore.h"

#include "platform/shell/FakeDialogs.h"
#include "postproc/ecrire_scnUnit.h"
#include "tests/support/DmCamTestSupport.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace talvence {
namespace {

using namespace dmcamtest;

TEST(ApplicationCore, CapturesATapeToItsEndAndItsStatusMatchesTheFiles) {
    // Setup
    testing::TempStore store;
    TempDir dir;
    EnsureGuiApplication();
    setenv("TALVENCE_VIRTUAL_DEVICES",
           "dv:pace=fast:mode=vcr:tape=20240101T100000/10;20240101T120000/15;20240102T090000/12",
           1);
    FakeDialogs dialogs;
    TApplicationCore::Options options;
    options.environment.videoFolder = [&] { return dir.Path().string(); };
    options.environment.picturesFolder = [&] { return dir.Path().string(); };
    options.environment.clipBrowserPath = [] { return std::string(); };
    options.playback = std::make_shared<TFakePcmPlayback>();
    options.pollEvents = true;
    TApplicationCore core(dialogs, options);
    unsetenv("TALVENCE_VIRTUAL_DEVICES");
    core.Prefs().videoDate->value = false;
    core.Prefs().scn->value = true;
    core.Prefs().captureFormat->value = cfDvType2;
    core.Control().VideoNamingChanged();
    ASSERT_EQ(core.VideoSourceNames(), std::vector<std::string>{"Virtual DV Camcorder"});
    ASSERT_TRUE(core.SelectVideoSource(core.StoredVideoSource()));
    ASSERT_TRUE(core.StartPreview()) << core.LastError();
    const TCaptureStatus preview = core.Status();

    // Exercise
    core.Control().CaptureToggle();
    core.Cam().Camcorder().transport->put_Mode(ED_MODE_PLAY);
    ASSERT_TRUE(WaitUntil([&] { return core.TakeRunEnd() == RunEnd::SourceEnded; }, 60));
    const TCaptureStatus during = core.Status();
    core.Control().CaptureToggle();
    const TCaptureStatus after = core.Status();

    // Verification
    const std::string video = dir.File("Video_0.avi");
    EXPECT_FALSE(preview.capturing);
    EXPECT_EQ(preview.file, video);
    EXPECT_FALSE(preview.freeSpace.mountPoint.empty());
    EXPECT_TRUE(during.capturing);
    EXPECT_EQ(during.frames, 37);
    EXPECT_EQ(during.lost, 0);
    EXPECT_GT(during.fileBytes, 37u * 144000u);
    // The two cuts of the tape were counted as they were written; the stop wrote the last scene.
    EXPECT_EQ(during.scenes, 2);
    EXPECT_EQ(ScnRead(dir.File("Video_0.scn")).scenes.size(), 3u);
    EXPECT_EQ(core.Control().CapturedFiles(), std::vector<std::string>{video});
    EXPECT_EQ(after.state, CaptureState::Preview);
    EXPECT_EQ(after.file, dir.File("Video_1.avi"));
}

} // namespace
} // namespace talvence
