// The main window's rules without a window: mirror geometry, status texts, volume steps, the
// shortcut rows and the clip browser's arguments.

#include "app/Startup.h"
#include "app/window/ActionTable.h"
#include "app/window/CamForm.h"
#include "platform/media/CaptureInterfaces.h"
#include "app/window/WindowLogic.h"

#include "platform/shell/FakeDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace talvence {
namespace {

TEST(WindowLogic, MirrorPlacesPreviewAndPanelsOnEitherSide) {
    const PanelPlacement left = PlacePanelsGeometry(true, 604);
    const PanelPlacement right = PlacePanelsGeometry(false, 604);
    EXPECT_EQ(left.panelPosition, 427);
    EXPECT_EQ(left.previewPanel, 10);
    EXPECT_EQ(left.panelsToolBar, 604 - 174);
    EXPECT_EQ(right.panelPosition, 0);
    EXPECT_EQ(right.previewPanel, 276);
    EXPECT_EQ(right.panelsToolBar, 60);
    EXPECT_EQ(right.grabButton - left.grabButton, 266);
}

TEST(WindowLogic, StatusTextsOfEachState) {
    StatusFacts f;
    f.kind = SourceKind::skDv;
    f.formatText = "DV type 2 (with inlay)";
    f.format = 3;
    f.vcr = true;
    f.audio = AudioType::atIncluded;
    f.freeSpace = {5ull * 1048576 + 1000, "/media/Clips"};

    f.state = CaptureState::Preview;
    StatusPanels p = StatusTextsFor(f);
    EXPECT_EQ(*p.panel1, "Preview DV VCR");
    EXPECT_EQ(*p.panel2, "Vid: DV type 2  - Aud:  DV");
    EXPECT_EQ(*p.panel3, "5 MB free on /media/Clips");

    f.state = CaptureState::Capturing;
    f.listen = true;
    p = StatusTextsFor(f);
    EXPECT_EQ(*p.panel1, "Capture: DV type 2  INC - DV");
    EXPECT_FALSE(p.panel2 || p.panel3); // the statistics timer writes them

    f.state = CaptureState::ScheduleArmed;
    f.listen = false;
    f.inlayOn = true;
    f.alarmHour = 21;
    f.alarmMinute = 5;
    p = StatusTextsFor(f);
    EXPECT_EQ(*p.panel2, "Vid: DV type 2  INC - No Audio");
    EXPECT_EQ(*p.panel3, "Start at 21:05:00");

    f.state = CaptureState::NoSource;
    p = StatusTextsFor(f);
    EXPECT_EQ(*p.panel1, "No video source");
    EXPECT_FALSE(p.panel3);
}

TEST(WindowLogic, FrameStatisticsFollowTheCounters) {
    TCaptureStatus s;
    s.framesKnown = true;
    s.frames = 250;
    s.lost = 3;
    EXPECT_EQ(*FrameStatisticsTexts(s).panel2, "250 captured frames");
    EXPECT_EQ(*FrameStatisticsTexts(s).panel3, "3 lost frames");
    s.imageByImage = true;
    s.frames = 7;
    EXPECT_EQ(*FrameStatisticsTexts(s).panel3, "Image by Image");
    EXPECT_EQ(*FrameStatisticsTexts(s).panel2, "7 captured frames");
    s.imageByImage = false;
    s.framesKnown = false; // a source without a dropped-frame counter
    EXPECT_EQ(*FrameStatisticsTexts(s).panel2, "");
    EXPECT_EQ(*FrameStatisticsTexts(s).panel3, "");
}

TEST(WindowLogic, VolumeStepsAreClampedAndMuteSilences) {
    EXPECT_EQ(SteppedVolume(9500, 1000), 10000);
    EXPECT_EQ(SteppedVolume(500, -1000), 0);
    EXPECT_EQ(GraphVolumeFor(true, 8000), 0);
    EXPECT_EQ(GraphVolumeFor(false, 8000), 8000);
}

TEST(WindowLogic, ShortcutRowsFromTheActionTable) {
    std::vector<ShortcutSource> sources;
    for (const ActionSpec& a : MainWindowActions())
        sources.push_back({std::string(a.caption), std::string(a.shortcut),
                           std::string(a.secondary), std::string(a.category), true});
    sources[0].visible = false; // a hidden action has no row
    const ShortcutLists lists = BuildShortcutLists(sources);
    std::vector<std::string> texts;
    for (const auto& row : lists.actions)
        texts.push_back(row.text);
    auto at = [&](const std::string& t) {
        return std::find(texts.begin(), texts.end(), t) - texts.begin();
    };
    EXPECT_EQ(at("Grab!=F5 (CTRL+G)"), static_cast<long>(texts.size()));
    EXPECT_LT(at("Cut=F7 (CTRL+X)"), static_cast<long>(texts.size()));
    // Actions first (sorted without regard to case), then the panels.
    EXPECT_LT(at("Quit=Alt+F4 (CTRL+Q)"), at("Help panel=F1 (ALT+H)"));
    EXPECT_LT(at("Cut=F7 (CTRL+X)"), at("Quit=Alt+F4 (CTRL+Q)"));
    ASSERT_EQ(lists.camera.size(), 7u);
    EXPECT_EQ(lists.camera.front().text, "Fast backward=Ctrl+Down");
    for (const auto& row : lists.actions)
        EXPECT_NE(sources[static_cast<std::size_t>(row.action)].category, "camera");
}

TEST(WindowLogic, ClipBrowserGetsTheRunsExistingVideos) {
    const std::set<std::string> present = {"/v/Video_0.avi", "/v/Video_2.avi", "/v/Video_3.avi"};
    auto exists = [&](const std::string& p) { return present.count(p) > 0; };
    // After three captures the next file is number 3 and the counter 4.
    EXPECT_EQ(ClipBrowserArguments("/v/Video_3.avi", 4, exists),
              (std::vector<std::string>{"/v/Video_0.avi", "/v/Video_2.avi"}));
    EXPECT_TRUE(ClipBrowserArguments("/v/Video_0.avi", 1, exists).empty());
}

} // namespace
} // namespace talvence

namespace talvence {
namespace {

TEST(ProgramEntry, AnOldMediaLayerAsksAndOnlyYesGoesOn) {
    FakeDialogs dialogs;
    EXPECT_TRUE(MediaLayerCheckPasses(dialogs, 9, "4.09.00.0904"));
    EXPECT_TRUE(dialogs.messages.empty());
    dialogs.answers = {MsgAnswer::No, MsgAnswer::Yes};
    EXPECT_FALSE(MediaLayerCheckPasses(dialogs, 8, "4.08.01.0810"));
    EXPECT_TRUE(MediaLayerCheckPasses(dialogs, 8, "4.08.01.0810"));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Vous avez DirectX 4.08.01.0810.\nIl faut avoir au moins directX 9 pour faire "
              "tourner correctement Talvence version 4.1.3 En.\nVoulez-vous continuer quand "
              "même? Si oui, l'application risque de ne pas bien fonctionner.");
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::YesNo);
}

} // namespace
} // namespace talvence

namespace talvence {
namespace {

TEST(Camcorder, TimecodeTextAndWindingModes) {
    EXPECT_EQ(CamcorderTimecodeText(0x01234512), "1:23:45:12");
    EXPECT_EQ(CamcorderTimecodeText(0x12000000), "12:00:00:00");
    EXPECT_EQ(CamcorderTimecodeText(0x09595924), "9:59:59:24");
    EXPECT_EQ(CamcorderTimecodeText(0), "0:00:00:00");
    EXPECT_EQ(CamcorderTimecodeText(0xFFFFFFFF), "FF:FF:FF:FF"); // a tape without timecode
    EXPECT_EQ(WindMode(ED_MODE_STOP, true), ED_MODE_FF);
    EXPECT_EQ(WindMode(ED_MODE_PLAY, true), ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(WindMode(ED_MODE_STOP, false), ED_MODE_REW);
    EXPECT_EQ(WindMode(ED_MODE_FREEZE, false), ED_MODE_PLAY_FASTEST_REV);
}

} // namespace
} // namespace talvence
