#include "platform/media/filters/dv/DvVideoEncoderCore.h"

#include "platform/media/filters/dv/DvVideoDecoderCore.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace talvence::dvcodec {
namespace {

using testing::Bytes;
using testing::ClipFrames;
using testing::Psnr;

struct Bgr {
    int b, g, r;
};

constexpr Bgr kTopColour{40, 60, 200};     // reddish
constexpr Bgr kBottomColour{210, 120, 30}; // bluish

// A picture in the platform layout whose upper half is kTopColour and lower half kBottomColour.
Bytes TwoBandPicture(PixelLayout layout, int width, int height) {
    Bytes rgb(PictureBytes(PixelLayout::Rgb24, width, height));
    const Picture view = *PictureOver(std::span(rgb), PixelLayout::Rgb24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr c = y < height / 2 ? kTopColour : kBottomColour;
            std::uint8_t* p = view.planes[0] + view.strides[0] * y + 3 * x;
            p[0] = std::uint8_t(c.b);
            p[1] = std::uint8_t(c.g);
            p[2] = std::uint8_t(c.r);
        }
    if (layout == PixelLayout::Rgb24) return rgb;
    Bytes out(PictureBytes(layout, width, height));
    SwsPictureConverter converter;
    EXPECT_TRUE(
        converter.Convert(AsConst(view), *PictureOver(std::span(out), layout, width, height)));
    return out;
}

// The colour of pixel (x, y) counted from the top of a bottom-up RGB24 picture.
Bgr PixelAt(const Bytes& rgb, int width, int height, int x, int y) {
    const ConstPicture view = *PictureOver(std::span(rgb), PixelLayout::Rgb24, width, height);
    const std::uint8_t* p = view.planes[0] + view.strides[0] * y + 3 * x;
    return {p[0], p[1], p[2]};
}

bool Near(Bgr a, Bgr b, int tolerance) {
    return std::abs(a.b - b.b) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.r - b.r) <= tolerance;
}

DvEncoderOptions For(DvSystem system) {
    DvEncoderOptions o;
    o.system = system;
    return o;
}

struct InputCase {
    DvSystem system;
    PixelLayout layout;
    int width;
    int height;
};

class EncoderInputs : public ::testing::TestWithParam<InputCase> {};

TEST_P(EncoderInputs, MakesOneWholeFrameOfThePictureUprightAtFullSize) {
    // Setup
    const InputCase c = GetParam();
    const Bytes input = TwoBandPicture(c.layout, c.width, c.height);
    DvVideoEncoderCore encoder(For(c.system));
    Bytes frame(kPalFrameBytes + 1000, 0xEE);
    DvVideoDecoderCore decoder;
    const int height = FrameHeight(c.system);
    Bytes picture(PictureBytes(PixelLayout::Rgb24, 720, height));

    // Exercise
    const DvEncodeResult result = encoder.Encode(input, c.layout, c.width, c.height, frame);

    // Verification
    ASSERT_EQ(result.status, DvEncodeStatus::Ok) << encoder.error();
    EXPECT_EQ(result.bytes, FrameBytes(c.system));
    EXPECT_EQ(frame[FrameBytes(c.system)], 0xEE); // nothing written past the frame
    const std::span<const std::uint8_t> dv(frame.data(), result.bytes);
    ASSERT_EQ(decoder.DecodeTo(dv, PixelLayout::Rgb24, picture), DvDecodeStatus::Ok);
    EXPECT_EQ(decoder.info().system, c.system);
    // The middle of each band, away from the blur at the edge between them.
    EXPECT_TRUE(Near(PixelAt(picture, 720, height, 360, height / 8), kTopColour, 8));
    EXPECT_TRUE(Near(PixelAt(picture, 720, height, 360, height * 7 / 8), kBottomColour, 8));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, EncoderInputs,
    ::testing::Values(InputCase{DvSystem::Pal625, PixelLayout::Rgb24, 720, 576},
                      InputCase{DvSystem::Ntsc525, PixelLayout::Rgb24, 720, 480},
                      InputCase{DvSystem::Pal625, PixelLayout::Rgb24, 352, 288},
                      InputCase{DvSystem::Ntsc525, PixelLayout::Rgb24, 641, 479},
                      InputCase{DvSystem::Pal625, PixelLayout::Rgb32, 720, 576},
                      InputCase{DvSystem::Ntsc525, PixelLayout::Yuy2, 360, 240},
                      InputCase{DvSystem::Pal625, PixelLayout::Yuv420p, 720, 576},
                      InputCase{DvSystem::Ntsc525, PixelLayout::Yuv411p, 720, 480},
                      InputCase{DvSystem::Pal625, PixelLayout::Yuv411p, 720, 480}));

TEST(DvVideoEncoderCore, AWidePictureKeepsItsAspectBetweenBlackBands) {
    // Setup: a 16:9 webcam picture for 4:3 PAL DV.
    const Bytes input = TwoBandPicture(PixelLayout::Rgb24, 1280, 720);
    DvVideoEncoderCore encoder(For(DvSystem::Pal625));
    Bytes frame(kPalFrameBytes);
    Bytes picture(PictureBytes(PixelLayout::Rgb24, 720, 576));
    DvVideoDecoderCore decoder;

    // Exercise
    ASSERT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 1280, 720, frame).status,
              DvEncodeStatus::Ok);
    ASSERT_EQ(decoder.DecodeTo(frame, PixelLayout::Rgb24, picture), DvDecodeStatus::Ok);

    // Verification: the picture fills rows 72 to 503, black above and below.
    constexpr Bgr kBlack{0, 0, 0};
    EXPECT_TRUE(Near(PixelAt(picture, 720, 576, 360, 30), kBlack, 12));
    EXPECT_TRUE(Near(PixelAt(picture, 720, 576, 360, 100), kTopColour, 8));
    EXPECT_TRUE(Near(PixelAt(picture, 720, 576, 360, 480), kBottomColour, 8));
    EXPECT_TRUE(Near(PixelAt(picture, 720, 576, 360, 545), kBlack, 12));
}

TEST(DvVideoEncoderCore, RoundTripKeepsThePicture) {
    for (const bool pal : {true, false}) {
        // Setup
        const DvSystem system = pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
        const int height = FrameHeight(system);
        const Bytes source = ClipFrames({.pal = pal, .frames = 2}).at(0);
        DvVideoDecoderCore decoder;
        DvVideoEncoderCore encoder(For(system));
        Bytes original(PictureBytes(PixelLayout::Rgb24, 720, height));
        Bytes again(original.size());
        Bytes frame(FrameBytes(system));
        ASSERT_EQ(decoder.DecodeTo(source, PixelLayout::Rgb24, original), DvDecodeStatus::Ok);

        // Exercise
        const DvEncodeResult result =
            encoder.Encode(original, PixelLayout::Rgb24, 720, height, frame);
        const DvDecodeStatus decoded = decoder.DecodeTo(frame, PixelLayout::Rgb24, again);

        // Verification
        ASSERT_EQ(result.status, DvEncodeStatus::Ok);
        ASSERT_EQ(decoded, DvDecodeStatus::Ok);
        EXPECT_GT(Psnr(original, again), 28.0) << (pal ? "PAL" : "NTSC");
    }
}

TEST(DvVideoEncoderCore, TheCommandLineReadsOurFramesAsFullSizeDv) {
    for (const bool pal : {true, false}) {
        // Setup
        const DvSystem system = pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
        const int height = FrameHeight(system);
        DvVideoEncoderCore encoder(For(system));
        const Bytes input = TwoBandPicture(PixelLayout::Rgb24, 320, 240);
        Bytes file;
        Bytes frame(FrameBytes(system));

        // Exercise
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 320, 240, frame).status,
                      DvEncodeStatus::Ok);
            file.insert(file.end(), frame.begin(), frame.end());
        }

        // Verification
        const auto path = testing::ClipDir() / (pal ? "ours-pal.dv" : "ours-ntsc.dv");
        testing::WriteBytes(path, file);
        const Bytes probe = testing::FfmpegOutput(path, "-f rawvideo -pix_fmt gray");
        EXPECT_EQ(probe.size(), std::size_t(3 * 720 * height)) << "ffmpeg read our frames";
        const auto report = testing::ClipDir() / "probe.txt";
        ASSERT_EQ(testing::RunTool("ffprobe -v error -select_streams v -show_entries "
                                   "stream=codec_name,width,height,pix_fmt -of csv=p=0 " +
                                   testing::Quote(path) + " > " + testing::Quote(report))
                      .status,
                  0);
        const Bytes text = testing::ReadBytes(report);
        const std::string expected = pal ? "dvvideo,720,576,yuv420p" : "dvvideo,720,480,yuv411p";
        EXPECT_EQ(std::string(text.begin(), text.end()).substr(0, expected.size()), expected);
    }
}

TEST(DvVideoEncoderCore, FormatResolutionChoosesTheSystemAndRefusesOthers) {
    // Setup
    DvVideoEncoderCore encoder;
    const Bytes input = TwoBandPicture(PixelLayout::Rgb24, 64, 48);
    Bytes frame(kPalFrameBytes);
    int format = 0, dvFormat = 0, resolution = 0;

    // Exercise and verification
    EXPECT_EQ(encoder.SetFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_720x480, false),
              S_OK);
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, frame).bytes, kPalFrameBytes);
    EXPECT_EQ(encoder.SetFormatResolution(DVENCODERVIDEOFORMAT_NTSC, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_720x480, false),
              S_OK);
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, frame).bytes, kNtscFrameBytes);
    EXPECT_EQ(encoder.SetFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_360x240, false),
              E_INVALIDARG);
    EXPECT_EQ(encoder.SetFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSL,
                                          DVENCODERRESOLUTION_720x480, false),
              E_INVALIDARG);
    EXPECT_EQ(encoder.SetFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_720x480, true),
              E_INVALIDARG);
    EXPECT_EQ(
        encoder.SetFormatResolution(1999, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, false),
        E_INVALIDARG);
    encoder.GetFormatResolution(format, dvFormat, resolution);
    EXPECT_EQ(format, DVENCODERVIDEOFORMAT_NTSC); // the refused calls changed nothing
    EXPECT_EQ(dvFormat, DVENCODERFORMAT_DVSD);
    EXPECT_EQ(resolution, DVENCODERRESOLUTION_720x480);
    EXPECT_EQ(encoder.system(), DvSystem::Ntsc525);
}

TEST(DvVideoEncoderCore, RefusesUnusableInputsAndShortOutputs) {
    // Setup
    DvVideoEncoderCore encoder(For(DvSystem::Pal625));
    const Bytes input = TwoBandPicture(PixelLayout::Rgb24, 64, 48);
    Bytes frame(kPalFrameBytes);
    Bytes shortFrame(kPalFrameBytes - 1, 0xEE);
    ConstPicture noPlanes;
    noPlanes.layout = PixelLayout::Yuv420p;
    noPlanes.width = 720;
    noPlanes.height = 576;

    // Exercise and verification
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, shortFrame).status,
              DvEncodeStatus::BadOutput);
    EXPECT_TRUE(
        std::all_of(shortFrame.begin(), shortFrame.end(), [](auto b) { return b == 0xEE; }));
    EXPECT_EQ(
        encoder.Encode(std::span(input).first(input.size() - 1), PixelLayout::Rgb24, 64, 48, frame)
            .status,
        DvEncodeStatus::BadInput);
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 0, 48, frame).status,
              DvEncodeStatus::BadInput);
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Yuv420p, 63, 48, frame).status,
              DvEncodeStatus::BadInput); // not whole chroma blocks
    EXPECT_EQ(encoder.Encode(noPlanes, frame).status, DvEncodeStatus::BadInput);
    EXPECT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, frame).status, DvEncodeStatus::Ok);
}

TEST(DvVideoEncoderCore, WideScreenFramesDecodeAsWide) {
    // Setup
    DvVideoEncoderCore encoder(For(DvSystem::Pal625));
    DvVideoDecoderCore decoder;
    const Bytes input = TwoBandPicture(PixelLayout::Rgb24, 64, 48);
    Bytes frame(kPalFrameBytes);

    // Exercise
    ASSERT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, frame).status, DvEncodeStatus::Ok);
    ASSERT_EQ(decoder.Decode(frame), DvDecodeStatus::Ok);
    const bool before = decoder.info().wideScreen;
    encoder.SetWideScreen(true);
    ASSERT_EQ(encoder.Encode(input, PixelLayout::Rgb24, 64, 48, frame).status, DvEncodeStatus::Ok);
    ASSERT_EQ(decoder.Decode(frame), DvDecodeStatus::Ok);

    // Verification
    EXPECT_FALSE(before);
    EXPECT_TRUE(decoder.info().wideScreen);
}

} // namespace
} // namespace talvence::dvcodec
