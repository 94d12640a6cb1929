// Stills and the intervalometer: the rules with plain values, then the window offscreen on the
// virtual DV camcorder writing BMP and JPEG files that ImageMagick reads back, the questions
// before a file is replaced or a folder made, and time-lapse captures.

#include "app/window/GrabController.h"
#include "app/window/GrabRules.h"
#include "app/window/PreviewWidget.h"
#include "app/window/panels/ExtraireFrame.h"
#include "app/window/panels/OptionsFrame.h"
#include "app/window/panels/SourcesFrame.h"
#include "resources/Resources.h"
#include "tests/app/window/FormTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include <filesystem>
#include <fstream>

namespace talvence {
namespace {

using namespace dmcamtest;
using windowtest::Pump;

// --- Rules --------------------------------------------------------------------------------------

TEST(GrabRules, StillSizeAndThumbnailPlace) {
    EXPECT_EQ(StillImageSize(720, 576, true), (PictureSize{720, 540}));
    EXPECT_EQ(StillImageSize(720, 576, false), (PictureSize{720, 576}));
    EXPECT_EQ(ThumbnailBounds(640, 480), QRect(32, 19, 192, 144));
    EXPECT_EQ(ThumbnailBounds(480, 640), QRect(74, 19, 108, 144));
    EXPECT_EQ(ThumbnailBounds(720, 405), QRect(32, 55, 192, 108));
}

TEST(GrabRules, BmpIsBottomUpBgrWithPaddedRows) {
    QImage image(3, 2, QImage::Format_RGB888);
    image.fill(Qt::black);
    image.setPixelColor(0, 0, QColor(255, 0, 0)); // top-left red
    const auto bmp = EncodeBmp(image);
    ASSERT_EQ(bmp.size(), 54u + 2 * 12);
    EXPECT_EQ(bmp[28], 24); // bits per pixel
    EXPECT_EQ(bmp[22], 2);  // positive height: bottom-up
    // The top row is the second row of the file, blue-green-red.
    EXPECT_EQ(bmp[54 + 12 + 0], 0);
    EXPECT_EQ(bmp[54 + 12 + 2], 255);
    EXPECT_EQ(bmp[54 + 2], 0);
}

TEST(GrabRules, JpegQualityIsClampedAndFailedWritesKeepTheOldFile) {
    EXPECT_EQ(JpegQuality(0), 1);
    EXPECT_EQ(JpegQuality(101), 100);
    EXPECT_EQ(JpegQuality(37), 37);

    TempDir dir;
    const std::string file = dir.File("a.bmp");
    const std::vector<std::uint8_t> first{1, 2, 3};
    ASSERT_EQ(WriteImageFile(file, first), "");
    EXPECT_EQ(ReadFile(file), first);
    // A folder that is a file: the system's error, nothing left behind.
    EXPECT_EQ(WriteImageFile(file + "/b.bmp", first), "Not a directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(GrabRules, PeriodsInMillisecondsWithoutOverflow) {
    EXPECT_EQ(IntervalPeriod(25, IntervalUnit::Frames, 400000), 1000);
    EXPECT_EQ(IntervalPeriod(10, IntervalUnit::Frames, 0), 400);
    EXPECT_EQ(IntervalPeriod(2, IntervalUnit::Minutes, 0), 120000);
    EXPECT_EQ(IntervalPeriod(999999, IntervalUnit::Hours, 0), 3599996400000);
    EXPECT_GT(IntervalPeriod(597, IntervalUnit::Hours, 0), kMaxIntervalPeriod);
    EXPECT_LE(IntervalPeriod(596, IntervalUnit::Hours, 0), kMaxIntervalPeriod);
    EXPECT_EQ(IntervalometerStatusText(10, "seconds"), "1 image every 10 seconds");
}

TEST(GrabRules, CountdownOfTenSecondsShootsAtZeroAndWarnsOnTheLastFour) {
    TIntervalCountdown countdown;
    auto step = countdown.Start(10000);
    EXPECT_EQ(step.label, 10);
    std::string labels, warns;
    int shots = 0;
    for (int tick = 0; tick < 20; ++tick) {
        step = countdown.Tick();
        EXPECT_EQ(step.interval, 1000);
        labels += std::to_string(*step.label) + " ";
        if (step.warn) warns += std::to_string(*step.label) + " ";
        if (step.shoot) {
            ++shots;
            EXPECT_EQ(*step.label, 0);
        }
    }
    EXPECT_EQ(labels, "9 8 7 6 5 4 3 2 1 0 9 8 7 6 5 4 3 2 1 0 ");
    EXPECT_EQ(warns, "4 3 2 1 4 3 2 1 ");
    EXPECT_EQ(shots, 2);
}

TEST(GrabRules, CountdownSpendsThePartOfASecondFirst) {
    TIntervalCountdown countdown;
    auto step = countdown.Start(1500);
    EXPECT_FALSE(step.label);
    EXPECT_EQ(step.interval, 500);
    step = countdown.Tick();
    EXPECT_FALSE(step.shoot);
    EXPECT_EQ(step.interval, 1000);
    step = countdown.Tick();
    EXPECT_TRUE(step.shoot);
    EXPECT_EQ(step.interval, 500);

    step = countdown.Start(400); // ten frames: a shot at every tick
    EXPECT_EQ(step.interval, 400);
    step = countdown.Tick();
    EXPECT_TRUE(step.shoot);
    EXPECT_EQ(step.interval, 400);
}

// --- The window ---------------------------------------------------------------------------------

class GrabTest : public windowtest::FormTest {
protected:
    // A window previewing the camcorder, its images going to `folder` under the test's folder.
    std::unique_ptr<TCaptureForm> PreviewingForm(const std::string& folder = "images") {
        auto form = MakeForm("dv");
        TPreferences& prefs = form->Core().Prefs();
        prefs.imageDirectory->value = dir.File(folder);
        prefs.imageDate->value = false;
        form->Core().Control().ImageNamingChanged();
        EXPECT_TRUE(Pump([&] { return form->Core().Cam().GrabFrameBitmap(scratch); }));
        return form;
    }

    static std::string Identify(const std::string& file) {
        return RunCommand("identify -format '%m %wx%h' '" + file + "' 2>&1");
    }

    static void Switch(TCaptureForm& f, int value, int unit) {
        f.ExtraireFrame1->RxSpinEdit7->setValue(value);
        f.ExtraireFrame1->cbUnites->setCurrentIndex(unit);
        f.ExtraireFrame1->RxSwitch1->click();
    }

    TDibBitmap scratch;
};

TEST_F(GrabTest, StillsAreWrittenAsBmpAndJpegAtTheCorrectedSize) {
    auto form = PreviewingForm();
    TCaptureForm& f = *form;
    ASSERT_TRUE(f.Action("acVMRKeepratio")->isChecked()); // stretched to 4:3 by default
    dialogs.answers = {MsgAnswer::Yes};                   // make the missing image folder
    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_EQ(f.ActivePanel(), 3);
    EXPECT_EQ(Identify(dir.File("images/Image_00000.bmp")), "BMP3 720x540");
    EXPECT_EQ(f.ExtraireFrame1->destlabel->text(), "Image_00001.bmp");
    EXPECT_EQ(f.ExtraireFrame1->Image->geometry(), QRect(32, 19, 192, 144));
    f.ExtraireFrame1->grab().save(TALVENCE_SHOT_DIR "/grab_panel.png");

    QTest::keyClick(&f, Qt::Key_F3); // native ratio
    QTest::keyClick(&f, Qt::Key_J, Qt::ControlModifier);
    EXPECT_TRUE(f.Optionsframe->gbQuality->isVisibleTo(f.Optionsframe));
    f.Optionsframe->TrackBar1->setValue(20);
    QTest::keyClick(&f, Qt::Key_G, Qt::ControlModifier);
    const std::string low = dir.File("images/Image_00001.jpg");
    EXPECT_EQ(Identify(low), "JPEG 720x576");
    f.Optionsframe->TrackBar1->setValue(95);
    QTest::mouseClick(f.vwEcran, Qt::LeftButton);
    const std::string high = dir.File("images/Image_00002.jpg");
    EXPECT_EQ(Identify(high), "JPEG 720x576");
    EXPECT_LT(std::filesystem::file_size(low) * 2, std::filesystem::file_size(high));
    EXPECT_EQ(dialogs.messages.size(), 1u); // only the folder question
}

TEST_F(GrabTest, ReplacingAskedUntilAllAndAnUnwritableFolderKeepsTheName) {
    auto form = PreviewingForm("");
    TCaptureForm& f = *form;
    TCaptureControl& control = f.Core().Control();
    const std::string first = control.NextImageFile();
    std::ofstream(first) << "kept";

    dialogs.answers = {MsgAnswer::No};
    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_EQ(ReadFile(first).size(), 4u);
    EXPECT_EQ(control.NextImageFile(), first);
    EXPECT_NE(dialogs.messages.back().text.find("exists already"), std::string::npos);

    dialogs.answers = {MsgAnswer::All};
    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_GT(ReadFile(first).size(), 4u);
    EXPECT_FALSE(f.Optionsframe->cbConfirmerImage->isChecked());
    const std::string second = control.NextImageFile();
    std::ofstream(second) << "replaced without a question";
    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_EQ(Identify(second), "BMP3 720x540");
    EXPECT_EQ(dialogs.messages.size(), 2u);

    // A folder under a file cannot be made: the system's error, the name stays.
    std::ofstream(dir.File("file")) << "x";
    f.Core().Prefs().imageDirectory->value = dir.File("file/images");
    control.ImageNamingChanged();
    const std::string blocked = control.NextImageFile();
    QTest::keyClick(&f, Qt::Key_F5);
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages.back().type, MsgType::Error);
    EXPECT_NE(dialogs.messages.back().text.find("Not a directory"), std::string::npos);
    EXPECT_EQ(control.NextImageFile(), blocked);
}

TEST_F(GrabTest, StoredJpegQualityOutsideTheRangeIsBroughtIntoIt) {
    for (const int stored : {0, 101}) {
        {
            auto form = MakeForm(nullptr);
            form->Core().Prefs().qualiteJpeg->value = stored;
            SavePreferences(form->Core().PreferenceList());
            form->Optionsframe->cbPrefsQuittant->setChecked(false);
        }
        auto form = MakeForm(nullptr);
        EXPECT_EQ(form->Core().Prefs().qualiteJpeg->value, stored == 0 ? 1 : 100);
        EXPECT_EQ(form->Optionsframe->TrackBar1->value(), stored == 0 ? 1 : 100);
        // Without a source there is no frame: the user is told, nothing is written.
        form->GrabControl().GrabExecute();
        ASSERT_EQ(dialogs.messages.size(), stored == 0 ? 1u : 2u);
        EXPECT_NE(dialogs.messages.back().text.find("No picture"), std::string::npos);
    }
}

TEST_F(GrabTest, OneSecondIntervalsDuringAnImageByImageCaptureMakeATimeLapse) {
    auto form = PreviewingForm();
    TCaptureForm& f = *form;
    f.Core().Prefs().videoDate->value = false;
    QComboBox* formats = f.SourcesFrame->cbFormatCapture;
    formats->setCurrentIndex(formats->findText("Image by Image"));
    emit formats->activated(formats->currentIndex());
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Capturing);
    const std::string video = f.Core().Control().CaptureFile();

    Switch(f, 1, 0);
    EXPECT_EQ(f.StatusText(0), "1 image every 1 seconds");
    EXPECT_FALSE(f.ExtraireFrame1->RxSpinEdit7->isEnabled());
    // Ten ticks of the event loop's timer, then one more frame time for the last one to pass.
    ASSERT_TRUE(Pump([&] { return f.Core().Control().ImageByImageCount() >= 10; }, 40));
    f.ExtraireFrame1->RxSwitch1->click();
    EXPECT_EQ(f.StatusText(0), "Intervalometer Off");
    QTest::qWait(300);
    QTest::keyClick(&f, Qt::Key_Space);
    ASSERT_EQ(State(f), CaptureState::Preview);

    const auto streams = ProbeStreams(video);
    ASSERT_FALSE(streams.empty());
    const long frames = std::stol(streams[0].substr(streams[0].rfind(' ') + 1));
    EXPECT_NEAR(frames, 10, 1);
    const std::string rate = RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                        "stream=r_frame_rate -of csv=p=0 '" +
                                        video + "'");
    const auto slash = rate.find('/');
    ASSERT_NE(slash, std::string::npos) << rate;
    EXPECT_NEAR(std::stod(rate) / std::stod(rate.substr(slash + 1)), 18.0, 0.01); // "Framerate"
    EXPECT_FALSE(std::filesystem::exists(dir.File("images"))); // no still was written
}

TEST_F(GrabTest, TwentyFiveFramesIsOneSecondAndBadPeriodsDoNotRun) {
    auto form = PreviewingForm("");
    TCaptureForm& f = *form;
    ASSERT_EQ(f.Core().Control().FrameDuration(), 400000);
    Switch(f, 25, 1);
    EXPECT_EQ(f.GrabControl().Period(), 1000);
    EXPECT_EQ(f.StatusText(0), "1 image every 25 frames");
    ASSERT_TRUE(Pump([&] { return f.GrabControl().ImagesWritten() >= 2; }, 20));
    f.ExtraireFrame1->grab().save(TALVENCE_SHOT_DIR "/grab_panel_running.png");
    f.ExtraireFrame1->RxSwitch1->click();

    // Two seconds with beeps: the tick of the last second, then the shot's sound.
    struct Sounds : IWavePlayer {
        void PlaySync(std::span<const std::uint8_t> wave) override {
            played.push_back(wave.data());
        }
        std::vector<const std::uint8_t*> played;
    } sounds;
    f.GrabControl().SetWavePlayer(&sounds);
    f.ExtraireFrame1->cbBeeps->setChecked(true);
    const int before = f.GrabControl().ImagesWritten();
    Switch(f, 2, 0);
    ASSERT_TRUE(Pump([&] { return f.GrabControl().ImagesWritten() > before; }, 20));
    f.ExtraireFrame1->RxSwitch1->click();
    const std::vector<const std::uint8_t*> expected{resources::FindResource("beep1").data(),
                                                    resources::FindResource("beep0").data()};
    EXPECT_EQ(sounds.played, expected);

    Switch(f, 0, 0); // shows on, runs nothing
    EXPECT_TRUE(f.ExtraireFrame1->RxSwitch1->isChecked());
    EXPECT_FALSE(f.GrabControl().Running());
    EXPECT_EQ(f.StatusText(0), "Intervalometer Off");
    f.ExtraireFrame1->RxSwitch1->click();

    Switch(f, 999999, 3);
    EXPECT_FALSE(f.GrabControl().Running());
    EXPECT_FALSE(f.ExtraireFrame1->RxSwitch1->isChecked());
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_NE(dialogs.messages.back().text.find("999999 hours is too long"), std::string::npos);
}

} // namespace
} // namespace talvence
