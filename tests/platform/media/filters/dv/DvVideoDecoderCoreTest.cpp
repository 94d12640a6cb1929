#include "platform/media/filters/dv/DvVideoDecoderCore.h"

#include "tests/platform/media/filters/dv/DvTestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace talvence::dvcodec {
namespace {

using testing::Bytes;
using testing::ClipFrames;
using testing::ClipRecipe;
using testing::FfmpegOutput;

int MaxDifference(const Bytes& a, const Bytes& b) {
    int worst = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// Every frame of a clip decoded by our core into `layout`, one picture after another.
Bytes DecodeClip(const ClipRecipe& recipe, PixelLayout layout, DvDecoderOptions options = {}) {
    DvVideoDecoderCore decoder(options);
    const int height = recipe.pal ? 576 : 480;
    Bytes all, picture(PictureBytes(layout, 720, height));
    for (const Bytes& frame : ClipFrames(recipe)) {
        if (decoder.DecodeTo(frame, layout, picture) != DvDecodeStatus::Ok) return {};
        all.insert(all.end(), picture.begin(), picture.end());
    }
    return all;
}

struct LayoutCase {
    bool pal;
    PixelLayout layout;
    const char* ffmpegArgs; // the same pictures from the command line, rows in our order
    int tolerance;
};

class DecoderAgainstFfmpeg : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DecoderAgainstFfmpeg, DecodesEveryFrameAsTheCommandLineDoes) {
    // Setup
    const LayoutCase c = GetParam();
    const ClipRecipe recipe{.pal = c.pal, .frames = 4};
    const Bytes expected = FfmpegOutput(testing::Clip(recipe), c.ffmpegArgs);
    ASSERT_FALSE(expected.empty()) << "ffmpeg could not make or decode the clip";

    // Exercise
    const Bytes ours = DecodeClip(recipe, c.layout);

    // Verification
    ASSERT_EQ(ours.size(), expected.size());
    EXPECT_LE(MaxDifference(ours, expected), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DecoderAgainstFfmpeg,
    ::testing::Values(
        // The codec's own planar pictures are copied untouched.
        LayoutCase{true, PixelLayout::Yuv420p, "-f rawvideo -pix_fmt yuv420p", 0},
        LayoutCase{false, PixelLayout::Yuv411p, "-f rawvideo -pix_fmt yuv411p", 0},
        // Bottom-up RGB is the command line's picture stored upside down. The flip comes after
        // the conversion: libswscale's results for 4:1:1 depend on the order it meets the rows.
        LayoutCase{true, PixelLayout::Rgb24, "-vf format=bgr24,vflip -f rawvideo", 0},
        LayoutCase{false, PixelLayout::Rgb24, "-vf format=bgr24,vflip -f rawvideo", 0},
        LayoutCase{true, PixelLayout::Rgb32, "-vf format=bgra,vflip -f rawvideo", 0},
        LayoutCase{false, PixelLayout::Rgb32, "-vf format=bgra,vflip -f rawvideo", 0},
        LayoutCase{false, PixelLayout::Yuy2, "-f rawvideo -pix_fmt yuyv422", 0}));

TEST(DvVideoDecoderCore, ReportsSystemLayoutAndAspectOfTheFrame) {
    // Setup
    const Bytes pal = ClipFrames({.pal = true, .frames = 2}).at(0);
    const Bytes ntscWide = ClipFrames({.pal = false, .frames = 2, .wide = true}).at(0);
    DvVideoDecoderCore decoder;

    // Exercise
    const DvDecodeStatus palStatus = decoder.Decode(pal);
    const DvPictureInfo palInfo = decoder.info();
    const DvDecodeStatus ntscStatus = decoder.Decode(ntscWide);
    const DvPictureInfo ntscInfo = decoder.info();

    // Verification
    ASSERT_EQ(palStatus, DvDecodeStatus::Ok);
    EXPECT_EQ(palInfo.system, DvSystem::Pal625);
    EXPECT_EQ(palInfo.native, PixelLayout::Yuv420p);
    EXPECT_EQ(palInfo.height, 576);
    EXPECT_FALSE(palInfo.wideScreen);
    ASSERT_EQ(ntscStatus, DvDecodeStatus::Ok);
    EXPECT_EQ(ntscInfo.system, DvSystem::Ntsc525);
    EXPECT_EQ(ntscInfo.native, PixelLayout::Yuv411p);
    EXPECT_EQ(ntscInfo.height, 480);
    EXPECT_TRUE(ntscInfo.wideScreen);
    EXPECT_EQ(decoder.picture().width, 720);
    EXPECT_EQ(decoder.picture().height, 480);
}

TEST(DvVideoDecoderCore, SliceThreadsGiveTheSamePictures) {
    // Setup
    const ClipRecipe recipe{.pal = true, .frames = 4};

    // Exercise
    const Bytes single = DecodeClip(recipe, PixelLayout::Rgb24, {.threads = 1});
    const Bytes threaded = DecodeClip(recipe, PixelLayout::Rgb24, {.threads = 2});

    // Verification
    ASSERT_FALSE(single.empty());
    EXPECT_EQ(single, threaded);
}

TEST(DvVideoDecoderCore, RefusesFramesOfAnyOtherSizeAndShortOutputs) {
    // Setup
    const Bytes good = ClipFrames({.pal = true, .frames = 2}).at(0);
    DvVideoDecoderCore decoder;
    Bytes picture(PictureBytes(PixelLayout::Rgb24, 720, 576));
    Bytes shortPicture(picture.size() - 1);
    Bytes oversized(good);
    oversized.resize(2 * good.size());
    const Bytes truncated(good.begin(), good.begin() + 100000);

    // Exercise and verification
    for (std::size_t size : {std::size_t(0), std::size_t(80), std::size_t(119999),
                             std::size_t(120001), std::size_t(143999), std::size_t(144001)}) {
        const Bytes frame(size, 0x55);
        EXPECT_EQ(decoder.DecodeTo(frame, PixelLayout::Rgb24, picture),
                  DvDecodeStatus::WrongFrameSize)
            << size;
    }
    EXPECT_EQ(decoder.Decode(truncated), DvDecodeStatus::WrongFrameSize);
    EXPECT_EQ(decoder.Decode(oversized), DvDecodeStatus::WrongFrameSize);
    EXPECT_EQ(decoder.DecodeTo(good, PixelLayout::Rgb24, shortPicture), DvDecodeStatus::BadOutput);
    EXPECT_EQ(decoder.picture().planes[0], nullptr);
    EXPECT_EQ(decoder.DecodeTo(good, PixelLayout::Rgb24, picture), DvDecodeStatus::Ok);
}

TEST(DvVideoDecoderCore, SurvivesDamagedFramesAndDecodesTheNextGoodOne) {
    // Setup
    const Bytes good = ClipFrames({.pal = false, .frames = 2}).at(0);
    std::mt19937 random(1234);
    std::vector<Bytes> damaged;
    for (std::size_t size : {kPalFrameBytes, kNtscFrameBytes}) {
        Bytes noise(size);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(random());
        damaged.push_back(noise);
        damaged.push_back(Bytes(size, 0x00));
        damaged.push_back(Bytes(size, 0xFF));
    }
    Bytes halfLost(good);
    std::fill(halfLost.begin() + 60000, halfLost.end(), 0xFF);
    damaged.push_back(halfLost);
    Bytes otherSystem(good);
    otherSystem.resize(kPalFrameBytes, 0); // an NTSC frame padded to the PAL size
    DvVideoDecoderCore decoder;
    Bytes picture(PictureBytes(PixelLayout::Rgb24, 720, 576));

    // Exercise
    for (const Bytes& frame : damaged) {
        const DvDecodeStatus status = decoder.DecodeTo(frame, PixelLayout::Rgb24, picture);
        EXPECT_NE(status, DvDecodeStatus::WrongFrameSize);
        EXPECT_NE(status, DvDecodeStatus::BadOutput);
    }
    const DvDecodeStatus padded = decoder.DecodeTo(otherSystem, PixelLayout::Rgb24, picture);
    const DvDecodeStatus after = decoder.DecodeTo(good, PixelLayout::Rgb24, picture);

    // Verification
    EXPECT_EQ(padded, DvDecodeStatus::UnexpectedPicture); // 480 lines are not a 144000-byte frame
    EXPECT_EQ(decoder.picture().height, 480);
    EXPECT_EQ(after, DvDecodeStatus::Ok);
    EXPECT_EQ(decoder.info().system, DvSystem::Ntsc525);
}

// Records what it is given and paints the output, so the test sees that the core uses it.
class RecordingConverter : public PictureConverter {
public:
    int calls = 0;
    ConstPicture lastSource;
    bool Convert(const ConstPicture& src, const Picture& dst) override {
        ++calls;
        lastSource = src;
        for (int y = 0; y < dst.height; ++y)
            std::fill_n(dst.planes[0] + dst.strides[0] * y, dst.width * 3, std::uint8_t(0x5A));
        return true;
    }
};

TEST(DvVideoDecoderCore, ConvertsThroughTheConverterItIsGiven) {
    // Setup
    const Bytes frame = ClipFrames({.pal = true, .frames = 2}).at(0);
    auto owned = std::make_unique<RecordingConverter>();
    RecordingConverter* converter = owned.get();
    DvVideoDecoderCore decoder({}, std::move(owned));
    Bytes picture(PictureBytes(PixelLayout::Rgb24, 720, 576), 0);

    // Exercise
    const DvDecodeStatus status = decoder.DecodeTo(frame, PixelLayout::Rgb24, picture);

    // Verification
    ASSERT_EQ(status, DvDecodeStatus::Ok);
    EXPECT_EQ(converter->calls, 1);
    EXPECT_EQ(converter->lastSource.layout, PixelLayout::Yuv420p);
    EXPECT_EQ(converter->lastSource.height, 576);
    EXPECT_TRUE(std::all_of(picture.begin(), picture.end(), [](auto b) { return b == 0x5A; }));
}

} // namespace
} // namespace talvence::dvcodec
