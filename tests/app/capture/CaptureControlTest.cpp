#include "app/capture/TCaptureControl.h"

#include "app/capture/CaptureStatus.h"

#include "app/capture/FakeCaptureFiles.h"
#include "app/capture/FakeCaptureGraph.h"
#include "app/capture/FakeCaptureWindow.h"
#include "platform/shell/FakeDialogs.h"
#include "tests/support/TempStore.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace talvence {
namespace {

PreferenceEnvironment Environment() {
    PreferenceEnvironment env;
    env.videoFolder = [] { return std::string("/v"); };
    env.picturesFolder = [] { return std::string("/p"); };
    env.clipBrowserPath = [] { return std::string(); };
    return env;
}

class CaptureControlTest : public ::testing::Test {
protected:
    CaptureControlTest() {
        DeclarePreferences(list, prefs, Environment());
        prefs.videoDirectory->value = "/v";
        prefs.videoDate->value = false;
        files.folders.insert("/v");
        control.SetWmvAvailable(true);
        control.SetAudioDevicesPresent(true);
    }

    // A running preview of a source, as after start-up.
    void Preview(SourceKind kind, int format, bool scn = false) {
        prefs.captureFormat->value = static_cast<std::uint8_t>(format);
        prefs.scn->value = scn;
        control.SourceSelected(kind, false);
        control.StartNaming(EncodeDateTime(2006, 4, 3, 10, 15, 0, 0));
        control.ResumePreview();
        graph.ClearCalls();
    }

    int Count(const std::string& call) const {
        return static_cast<int>(std::count(graph.calls.begin(), graph.calls.end(), call));
    }

    testing::TempStore store;
    TparameterList list{PreferencesKeyPath(), PreferencesSignature()};
    TPreferences prefs;
    FakeDialogs dialogs;
    FakeCaptureGraph graph;
    FakeCaptureFiles files;
    FakeCaptureWindow window;
    TCaptureControl control{prefs, dialogs, graph, files, window};
};

TEST_F(CaptureControlTest, SourceSelectionOffersItsFormatsAndCorrectsTheStoredOne) {
    // Exercise: a DV source with the stored "Native Video", which it does not offer
    Preview(SourceKind::skDv, cfNative);
    // Verification
    EXPECT_EQ(window.formatSelected, 0);
    EXPECT_EQ(prefs.captureFormat->value, cfDvType1);
    EXPECT_EQ(control.NextVideoFile(), "/v/Video_0.avi");
    EXPECT_EQ(control.State(), CaptureState::Preview);
    EXPECT_EQ(control.AudioTypeText(), "Audio from the DV stream");

    // Exercise: no source, an empty list, whose text is no format
    control.SourceSelected(SourceKind::skNone, false);
    // Verification
    EXPECT_FALSE(window.formatsVisible);
    EXPECT_EQ(prefs.captureFormat->value, cfNative);
}

TEST_F(CaptureControlTest, NamesOfARunShareTheStampAndCountOn) {
    // Setup
    prefs.videoDate->value = true;
    Preview(SourceKind::skDv, cfDvType2);
    // Exercise: two manual captures, then a change of the root
    control.CaptureToggle();
    control.CaptureToggle();
    const std::string second = control.NextVideoFile();
    prefs.videoRacine->value = "Clip";
    control.VideoNamingChanged();
    // Verification
    EXPECT_EQ(graph.writerFile, "/v/Video_030406_101500_0.avi");
    EXPECT_EQ(second, "/v/Video_030406_101500_1.avi");
    EXPECT_EQ(control.NextVideoFile(), "/v/Clip_030406_101500_1.avi");
    EXPECT_EQ(window.videoLabel, "Clip_030406_101500_1.avi");
}

TEST_F(CaptureControlTest, AFormatChangeOnlyChangesTheExtension) {
    // Setup
    Preview(SourceKind::skMovieBox, cfDvType2Inlay);
    // Exercise
    control.SelectCaptureFormatEntry(0); // "Native Video"
    // Verification
    EXPECT_EQ(control.NextVideoFile(), "/v/Video_0.mpg");
    EXPECT_EQ(control.VideoCounter(), 1);
    EXPECT_EQ(Count("StopGraph"), 0);
}

TEST_F(CaptureControlTest, RefusingToOverwriteKeepsThePreviewRunning) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2);
    files.files.insert("/v/Video_0.avi");
    dialogs.answers = {MsgAnswer::No};
    // Exercise
    control.CaptureToggle();
    // Verification
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The file /v/Video_0.avi exists already. Do you want to crush it?\nIf you click on "
              "\"All\", then you will no more be prompted for confirmation");
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::YesNoAll);
    EXPECT_EQ(control.State(), CaptureState::Preview);
    EXPECT_EQ(window.toggleUnchecked, 1);
    EXPECT_EQ(Count("StopGraph"), 0);
    EXPECT_TRUE(graph.running);
}

TEST_F(CaptureControlTest, AllStopsAskingAndCreatesAMissingFolderSilently) {
    // Setup
    prefs.videoDirectory->value = "/v/new";
    control.VideoNamingChanged();
    Preview(SourceKind::skDv, cfDvType2);
    files.files.insert(control.NextVideoFile());
    dialogs.answers = {MsgAnswer::All};
    // Exercise
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_FALSE(prefs.confirmerVideo->value);
    EXPECT_FALSE(window.confirmVideo);
    EXPECT_TRUE(files.folders.count("/v/new"));
    EXPECT_EQ(control.State(), CaptureState::Capturing);
    EXPECT_EQ(graph.writerFile, "/v/new/Video_0.avi");
}

TEST_F(CaptureControlTest, AMissingFolderIsCreatedOnlyWhenTheUserAgrees) {
    // Setup
    prefs.videoDirectory->value = "/v/new";
    Preview(SourceKind::skDv, cfDvType2);
    dialogs.answers = {MsgAnswer::No};
    // Exercise
    const bool started = control.StartCapture();
    // Verification
    EXPECT_FALSE(started);
    EXPECT_EQ(dialogs.messages.at(0).text,
              "The folder /v/new does not exist.\nDo you want to create it?");
    EXPECT_FALSE(files.folders.count("/v/new"));
}

TEST_F(CaptureControlTest, AFailedCaptureBuildBringsThePreviewBack) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2);
    graph.captureBuilds = false;
    // Exercise
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(control.State(), CaptureState::Preview);
    EXPECT_EQ(window.toggleUnchecked, 1);
    EXPECT_TRUE(graph.running);
    EXPECT_TRUE(graph.PreviewReady());
}

TEST_F(CaptureControlTest, AGraphThatDoesNotRunIsNoCapture) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2);
    graph.runs = false;
    // Exercise
    control.CaptureToggle();
    // Verification: neither preview nor capture could run
    EXPECT_EQ(control.State(), CaptureState::NoSource);
    EXPECT_EQ(window.toggleUnchecked, 1);
    EXPECT_EQ(window.alarmDisarmed, 1);
}

TEST_F(CaptureControlTest, AScheduledCaptureStoppedByHandKeepsTheNextName) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2);
    control.EnterScheduleArmedState();
    // Exercise: the alarm's start asks nothing; the space bar then stops it
    control.CaptureToggle();
    const CaptureState during = control.State();
    files.files.insert(graph.writerFile);
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(during, CaptureState::ScheduledCapture);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(control.State(), CaptureState::Preview);
    EXPECT_EQ(control.NextVideoFile(), "/v/Video_0.avi");

    // Exercise: the next manual capture asks before overwriting that file
    dialogs.answers = {MsgAnswer::No};
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(CaptureControlTest, ACutContinuesInTheNextFile) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2);
    control.CaptureToggle();
    // Exercise
    const bool cut = control.Cut();
    // Verification
    EXPECT_TRUE(cut);
    EXPECT_EQ(control.State(), CaptureState::Capturing);
    EXPECT_EQ(graph.writerFile, "/v/Video_1.avi");
    EXPECT_EQ(control.NextVideoFile(), "/v/Video_1.avi");
    EXPECT_TRUE(graph.running);
}

TEST_F(CaptureControlTest, TheStatusFollowsTheFileBeingWrittenAcrossCuts) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2, true);
    control.CaptureToggle();
    graph.delivered = 300;
    graph.lost = 2;
    files.sizes["/v/Video_1.avi"] = 4000;
    // Exercise
    graph.EmitScene();
    control.Cut();
    graph.EmitScene();
    const TCaptureStatus during = ReadCaptureStatus(control, graph, files);
    control.CaptureToggle();
    // Verification: one scene file goes on through the cut; each file is listed once.
    EXPECT_TRUE(during.capturing && during.framesKnown);
    EXPECT_EQ(during.file, "/v/Video_1.avi");
    EXPECT_EQ(during.fileBytes, 4000u);
    EXPECT_EQ(during.frames, 300);
    EXPECT_EQ(during.lost, 2);
    EXPECT_EQ(during.scenes, 3); // the two cuts and the scene the cut's stop closed
    EXPECT_EQ(control.SceneFile(), "/v/Video_0.scn");
    EXPECT_EQ(control.CapturedFiles(),
              (std::vector<std::string>{"/v/Video_0.avi", "/v/Video_1.avi"}));
}

TEST_F(CaptureControlTest, ACaptureGoesOnIntoTheNextFileAfterTheGraphWasReplaced) {
    // Setup: a capture runs; the graph was replaced and the preview rebuilt under it.
    Preview(SourceKind::skMovieBox, cfDvType2Inlay);
    control.CaptureToggle();
    files.files.insert("/v/Video_0.avi");
    ASSERT_TRUE(control.RestartPreview());
    // Exercise
    const bool started = control.StartCapture();
    // Verification: no question, the state kept, and the finished file is not written again
    // from its start: the capture goes on in the next one.
    EXPECT_TRUE(started);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(graph.writerFile, "/v/Video_1.avi");
    EXPECT_EQ(control.State(), CaptureState::Capturing);
    EXPECT_EQ(control.CapturedFiles(),
              (std::vector<std::string>{"/v/Video_0.avi", "/v/Video_1.avi"}));
}

TEST_F(CaptureControlTest, ACutOfAWriterWithoutFileSwitchRebuildsIntoTheNextFile) {
    // Setup
    Preview(SourceKind::skMovieBox, cfNative);
    control.CaptureToggle();
    graph.switchesFile = false;
    // Exercise
    control.Cut();
    // Verification: the first file is not written again from its start
    EXPECT_EQ(graph.writerFile, "/v/Video_1.mpg");
    EXPECT_EQ(control.State(), CaptureState::Capturing);
    EXPECT_TRUE(graph.running);
}

TEST_F(CaptureControlTest, ImageByImageFilesAreRewrittenOrDeletedAtStop) {
    // Setup
    prefs.framerate->value = 12.5;
    Preview(SourceKind::skDv, cfImageByImage);
    control.CaptureToggle();
    // Exercise: 40 shots, a cut, no shot, stop
    for (int i = 0; i < 40; ++i)
        control.ImageByImageGrab();
    control.Cut();
    control.CaptureToggle();
    // Verification
    EXPECT_TRUE(graph.passNext);
    EXPECT_EQ(files.rewrites, (std::map<std::string, double>{{"/v/Video_0.avi", 12.5}}));
    EXPECT_EQ(files.removed, (std::set<std::string>{"/v/Video_1.avi"}));
    EXPECT_EQ(control.CapturedFiles(), std::vector<std::string>{"/v/Video_0.avi"});
    EXPECT_FALSE(control.ImageByImageMode());
    EXPECT_FALSE(control.ImageByImageGrab());
    EXPECT_EQ(window.grabImage, 6);
}

TEST_F(CaptureControlTest, ImageByImageStopActsOnTheWrittenFileAfterTheNameMovedOn) {
    // Setup
    Preview(SourceKind::skDv, cfImageByImage);
    control.CaptureToggle();
    files.files.insert("/v/Video_1.avi"); // a file of an earlier run
    // Exercise: device loss advances the name before the graph is stopped
    control.DeviceLost();
    control.ResumePreview();
    // Verification
    EXPECT_EQ(files.removed, (std::set<std::string>{"/v/Video_0.avi"}));
    EXPECT_TRUE(files.files.count("/v/Video_1.avi"));
}

TEST_F(CaptureControlTest, TheSceneFileGetsTheScenesOfItsCaptureOnly) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2, true);
    // Exercise: a capture with two cuts of scene, a file cut, the stop, a new preview's scene
    control.CaptureToggle();
    graph.EmitScene();
    control.Cut(); // the final scene of the first part is reported at its stop
    graph.EmitScene();
    control.CaptureToggle(); // and the last one at the capture's stop
    graph.EmitScene();
    // Verification
    EXPECT_EQ(files.scenes, (std::map<std::string, int>{{"/v/Video_0.scn", 4}}));
    EXPECT_FALSE(graph.SceneCallbackSet());
    EXPECT_FALSE(control.SceneFileAttached());
}

TEST_F(CaptureControlTest, NoSceneFileWithoutScnOrForOtherSources) {
    // Setup
    Preview(SourceKind::skCapturePin, cfDvType2Inlay, true);
    // Exercise
    control.CaptureToggle();
    // Verification
    EXPECT_TRUE(files.scenes.empty());
    EXPECT_FALSE(graph.SceneCallbackSet());
}

TEST_F(CaptureControlTest, FormatsDecideTheAudioChoice) {
    // Setup
    Preview(SourceKind::skDv, cfDvType2Inlay);
    control.SelectAudioType(2); // sound card
    const bool auxiliaryOn = control.AuxiliaryOn();
    const AudioType soundCard = control.Audio();
    // Exercise: image by image takes no audio
    control.SelectCaptureFormatEntry(2);
    // Verification
    EXPECT_TRUE(auxiliaryOn);
    EXPECT_EQ(soundCard, AudioType::atSoundCard);
    EXPECT_TRUE(prefs.ecouterAudioInclus->value == false &&
                prefs.enregistrerSourceAudio->value == false);
    EXPECT_EQ(control.AudioTypeText(), "No Audio");
    EXPECT_FALSE(control.ListenOn() || control.AuxiliaryOn());
    EXPECT_FALSE(window.volumeVisible);
    EXPECT_TRUE(window.formatOptions.framerateVisible);

    // Exercise: DV type 1 takes the stream's audio and listens to it
    control.SelectCaptureFormatEntry(0);
    // Verification
    EXPECT_EQ(control.AudioTypeText(), "Audio from the DV stream");
    EXPECT_EQ(control.Audio(), AudioType::atIncluded);
    EXPECT_TRUE(control.ListenOn());
    EXPECT_TRUE(prefs.ecouterAudioInclus->value);
    EXPECT_FALSE(prefs.enregistrerSourceAudio->value);
}

TEST_F(CaptureControlTest, CaptureSetUpFollowsFormatAndAudio) {
    // Setup
    prefs.frequenceDv->value = 1;
    Preview(SourceKind::skMovieBox, cfDvType2Inlay);
    // Exercise: DV with inlay from a MovieBox, then Windows Media without audio
    control.CaptureToggle();
    control.CaptureToggle();
    control.SelectAudioType(0);
    control.SelectCaptureFormatEntry(3);
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(graph.acmRate, 32000);
    EXPECT_EQ(graph.wmvConfigured, 0);
    EXPECT_EQ(graph.writerFile, "/v/Video_1.wmv");
}

TEST_F(CaptureControlTest, AWindowsMediaProfileTheWriterRefusesStopsTheCaptureBeforeItRuns) {
    // Setup
    Preview(SourceKind::skDv, cfWmvInlay);
    graph.wmvConfigures = false;
    graph.lastError = "The chosen Windows Media profile cannot be loaded";
    // Exercise
    control.CaptureToggle();
    // Verification: back to the preview, the reason kept, the toggle released.
    EXPECT_EQ(control.State(), CaptureState::Preview);
    EXPECT_EQ(control.LastFailure(), graph.lastError);
    EXPECT_EQ(window.toggleUnchecked, 1);
}

TEST_F(CaptureControlTest, TheSourceFrameDurationSetsTheSyncCorrection) {
    // Setup: a 60 Hz camcorder
    graph.frameDuration = 333667;
    prefs.correctionSync->value = 3;
    prefs.standardDv->value = 1;
    // Exercise
    Preview(SourceKind::skDv, cfDvType2);
    // Verification
    EXPECT_EQ(control.FrameDuration(), 333667);
    EXPECT_EQ(graph.restampOffset, 3 * 333667);
    EXPECT_EQ(window.tvStandard, 1);
    EXPECT_EQ(graph.dvAudioRate, 0);
}

TEST_F(CaptureControlTest, AWrongFramerateIsReplacedByEighteen) {
    // Setup
    prefs.framerate->value = 5;
    // Exercise
    const bool good = control.FramerateExit("12,5", ',');
    const double taken = prefs.framerate->value;
    const bool bad = control.FramerateExit("twelve", '.');
    // Verification
    EXPECT_TRUE(good);
    EXPECT_EQ(taken, 12.5);
    EXPECT_FALSE(bad);
    EXPECT_FALSE(control.FramerateExit("0", '.'));
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.at(0).text,
              "The value of \"images/second\" is not correct\nEnter a decimal value");
    EXPECT_EQ(window.framerateText, "18.0");
    EXPECT_EQ(prefs.framerate->value, 18.0);
}

TEST_F(CaptureControlTest, APreviewThatCannotBeBuiltLeavesNoSource) {
    // Setup
    graph.previewBuilds = false;
    // Exercise
    Preview(SourceKind::skDv, cfDvType2);
    control.CaptureToggle();
    // Verification
    EXPECT_EQ(control.State(), CaptureState::NoSource);
    EXPECT_EQ(window.alarmDisarmed, 1);
    EXPECT_EQ(Count("BuildCaptureGraph 2 /v/Video_0.avi"), 0);
}

} // namespace
} // namespace talvence
