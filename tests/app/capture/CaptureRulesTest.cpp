#include "app/capture/CaptureRules.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace talvence {
namespace {

TEST(CaptureRules, EveryOfferedFormatHasARecipeAndNoOther) {
    // Setup
    const SourceKind kinds[] = {SourceKind::skDv, SourceKind::skMovieBox, SourceKind::skCapturePin,
                                SourceKind::skMpeg2Stream, SourceKind::skNone};
    for (SourceKind kind : kinds) {
        // Exercise
        const auto offered = CaptureFormatsFor(kind, true);
        // Verification
        for (int format = cfNative; format <= cfImageByImage; ++format) {
            const bool isOffered = std::find(offered.begin(), offered.end(),
                                             CaptureFormatName(format)) != offered.end();
            EXPECT_EQ(CaptureRecipeFor(kind, format) != CaptureRecipe::None, isOffered)
                << "kind " << int(kind) << " format " << format;
        }
    }
    EXPECT_EQ(CaptureFormatsFor(SourceKind::skDv, false),
              (std::vector<std::string>{"DV type 1 (no inlay)", "DV type 2 (no inlay)",
                                        "Image by Image", "DV type 2 (with inlay)"}));
    EXPECT_EQ(CaptureFormatsFor(SourceKind::skMovieBox, true).front(), "Native Video");
    EXPECT_EQ(CaptureFormatIndex("Wmv (with inlay)"), cfWmvInlay);
    EXPECT_EQ(CaptureFormatIndex("wmv (with inlay)"), 0);
    EXPECT_EQ(CaptureFormatName(6), "");
}

TEST(CaptureRules, VideoNamesCarryTheStampCounterAndFormatExtension) {
    // Setup
    FileNaming naming{"/home/u/Videos", "Video", true, EncodeDateTime(2006, 4, 3, 10, 15, 0, 0)};
    FileNaming undated{"/home/u/Videos/", "Video", false, 0};
    // Exercise / Verification
    EXPECT_EQ(VideoFileName(naming, 0, cfDvType2, SourceKind::skDv),
              "/home/u/Videos/Video_030406_101500_0.avi");
    EXPECT_EQ(VideoFileName(undated, 0, cfNative, SourceKind::skMovieBox),
              "/home/u/Videos/Video_0.mpg");
    EXPECT_EQ(VideoFileName(undated, 0, cfNative, SourceKind::skCapturePin),
              "/home/u/Videos/Video_0.avi");
    EXPECT_EQ(VideoFileName(undated, 12, cfWmvInlay, SourceKind::skDv),
              "/home/u/Videos/Video_12.wmv");
    EXPECT_EQ(ChangeFileExtension("/a.b/Video_3", ".scn"), "/a.b/Video_3.scn");
    EXPECT_EQ(ChangeFileExtension("/a/Video_3.avi", ".scn"), "/a/Video_3.scn");
}

TEST(CaptureRules, ImageNumbersKeepTheirLastFiveDigits) {
    // Setup
    FileNaming naming{"/p", "Image", false, 0};
    // Exercise / Verification
    EXPECT_EQ(ImageFileName(naming, 7, 0), "/p/Image_00007.bmp");
    EXPECT_EQ(ImageFileName(naming, 123456, 1), "/p/Image_23456.jpg");
    EXPECT_EQ(ImageFileName(naming, 100000, 0), "/p/Image_00000.bmp");
}

TEST(CaptureRules, AudioTypesAndTheirFallback) {
    // Setup
    const auto dv = AudioTypesFor(SourceKind::skDv, false, true);
    const auto pin = AudioTypesFor(SourceKind::skCapturePin, false, true);
    // Exercise / Verification
    EXPECT_EQ(dv, (std::vector<std::string>{"No Audio", "Audio from the DV stream",
                                            "Add an Audio Source (soundcard)"}));
    EXPECT_EQ(AudioTypeSelection(dv, "Add an Audio Source (soundcard)", SourceKind::skDv, false),
              2);
    EXPECT_EQ(AudioTypeSelection(dv, "Built-in Audio", SourceKind::skDv, false), 1);
    EXPECT_EQ(AudioTypeSelection(pin, "Audio from the DV stream", SourceKind::skCapturePin, false),
              0);
    EXPECT_EQ(AudioTypeOfText("Built-in Audio"), AudioType::atIncluded);
    EXPECT_EQ(AudioTypeOfText(""), std::nullopt);
}

TEST(CaptureRules, FramerateTextIsADecimalNumberInTheUsersNotation) {
    // Exercise / Verification
    EXPECT_EQ(ParseFramerate("12,5", ','), 12.5);
    EXPECT_EQ(ParseFramerate(" 25 ", ','), 25.0);
    EXPECT_EQ(ParseFramerate("0.5", ','), 0.5);
    EXPECT_EQ(ParseFramerate("1,2,3", ','), std::nullopt);
    EXPECT_EQ(ParseFramerate("12fps", '.'), std::nullopt);
    EXPECT_EQ(ParseFramerate("", '.'), std::nullopt);
    EXPECT_EQ(ParseFramerate(DefaultFramerateText('.'), '.'), 18.0);
    // No file can be rewritten to zero or fewer images a second.
    EXPECT_EQ(ParseFramerate("0", '.'), std::nullopt);
    EXPECT_EQ(ParseFramerate("0,0", ','), std::nullopt);
    EXPECT_EQ(ParseFramerate("-12", '.'), std::nullopt);
}

TEST(CaptureRules, FormatOptionsFollowTheRecipeOfThePair) {
    // Exercise
    const auto dvInlay = FormatOptionsFor(SourceKind::skDv, cfDvType2Inlay);
    const auto pinInlay = FormatOptionsFor(SourceKind::skCapturePin, cfDvType2Inlay);
    const auto mpegImages = FormatOptionsFor(SourceKind::skMpeg2Stream, cfImageByImage);
    const auto pinImages = FormatOptionsFor(SourceKind::skCapturePin, cfImageByImage);
    const auto wmv = FormatOptionsFor(SourceKind::skDv, cfWmvInlay);
    // Verification: the TV standard and DV sound rate only where a picture becomes DV.
    EXPECT_FALSE(dvInlay.tvStandardVisible || dvInlay.dvAudioRateVisible);
    EXPECT_TRUE(pinInlay.tvStandardVisible && pinInlay.dvAudioRateVisible);
    EXPECT_TRUE(mpegImages.tvStandardVisible && mpegImages.framerateVisible);
    EXPECT_FALSE(mpegImages.dvAudioRateVisible);
    EXPECT_FALSE(pinImages.tvStandardVisible);
    EXPECT_TRUE(pinImages.framerateVisible);
    EXPECT_TRUE(wmv.wmvProfileVisible && !wmv.framerateVisible);
}

TEST(CaptureRules, StateViewsFollowTheState) {
    // Exercise
    const auto preview =
        StateViewFor(CaptureState::Preview, SourceKind::skDv, AudioType::atIncluded);
    const auto pinPreview =
        StateViewFor(CaptureState::Preview, SourceKind::skCapturePin, AudioType::atIncluded);
    const auto scheduled =
        StateViewFor(CaptureState::ScheduledCapture, SourceKind::skDv, AudioType::atIncluded);
    // Verification
    EXPECT_TRUE(preview.dv44100BoxVisible);
    EXPECT_FALSE(pinPreview.dv44100BoxVisible);
    EXPECT_TRUE(preview.actionsChanged && preview.actionsEnabled);
    EXPECT_FALSE(scheduled.sourceControlsEnabled);
    EXPECT_TRUE(scheduled.cutEnabled);
    EXPECT_EQ(scheduled.captureCaption, "Stop Capture");
    EXPECT_EQ(scheduled.scheduleCaption, "Stop Prog");
    EXPECT_EQ(scheduled.frameColour, FrameColour::Fuchsia);
    EXPECT_FALSE(scheduled.actionsChanged);
}

} // namespace
} // namespace talvence
