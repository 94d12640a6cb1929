#include "platform/media/filters/colorconv/ColorConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace talvence::colorconv {
namespace {

struct Bgr {
    int b, g, r;
};

// A bottom-up RGB24 buffer with the platform's row padding.
struct RgbPicture {
    int width, height;
    std::ptrdiff_t rowBytes;
    std::vector<std::uint8_t> bytes;
    RgbPicture(int w, int h)
        : width(w), height(h), rowBytes(Rgb24Stride(w)),
          bytes(static_cast<std::size_t>(rowBytes) * h, 0) {}
    Rgb24Frame View() { return BottomUpRgb24(bytes.data(), width, height, rowBytes); }
    std::uint8_t* At(int x, int y) { return View().top + y * View().stride + x * 3; }
    void Set(int x, int y, Bgr c) {
        std::uint8_t* p = At(x, y);
        p[0] = static_cast<std::uint8_t>(c.b);
        p[1] = static_cast<std::uint8_t>(c.g);
        p[2] = static_cast<std::uint8_t>(c.r);
    }
};

struct YuvPicture {
    std::vector<std::uint8_t> bytes;
    YuvFrame frame;
    YuvPicture(YuvLayout layout, int w, int h) : bytes(YuvFrameSize(layout, w, h), 0) {
        frame = YuvFrameOver(bytes.data(), layout, w, h);
    }
};

// Colour constant over each 4x2 block (every layout's chroma block fits in it), so that
// subsampling loses nothing and a round trip can only lose rounding.
RgbPicture BlockPicture(int w, int h) {
    RgbPicture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int bx = x / 4, by = y / 2;
            p.Set(x, y, Bgr{(bx * 37 + by * 11) % 256, (bx * 5 + by * 29) % 256, (bx * 13) % 256});
        }
    return p;
}

int MaxDifference(RgbPicture& a, RgbPicture& b) {
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * 3; ++x)
            worst = std::max(worst, std::abs(a.At(0, y)[x] - b.At(0, y)[x]));
    return worst;
}

const YuvLayout kLayouts[] = {YuvLayout::Yuv420p, YuvLayout::Yuv411p, YuvLayout::Yuy2};

TEST(ColorConvert, KnownColoursInBt601LimitedRange) {
    struct Case {
        Bgr rgb;
        int y, u, v;
    };
    const Case cases[] = {{{0, 0, 0}, 16, 128, 128},
                          {{255, 255, 255}, 235, 128, 128},
                          {{0, 0, 255}, 81, 90, 240},
                          {{0, 255, 0}, 145, 54, 34},
                          {{255, 0, 0}, 41, 240, 110}};
    for (const Case& c : cases) {
        // Setup
        RgbPicture rgb(4, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                rgb.Set(x, y, c.rgb);
        YuvPicture yuv(YuvLayout::Yuv420p, 4, 2);
        // Exercise
        ASSERT_TRUE(OwnRgb24ToYuv(rgb.View(), yuv.frame));
        // Verification
        EXPECT_EQ(yuv.frame.planes[0][0], c.y) << c.rgb.r << "," << c.rgb.g << "," << c.rgb.b;
        EXPECT_EQ(yuv.frame.planes[1][0], c.u);
        EXPECT_EQ(yuv.frame.planes[2][0], c.v);
    }
}

TEST(ColorConvert, RoundTripOfBlockConstantPictureIsWithinRounding) {
    for (YuvLayout layout : kLayouts) {
        for (Backend backend : {Backend::Own, Backend::Swscale}) {
            // Setup
            RgbPicture in = BlockPicture(64, 32);
            RgbPicture out(64, 32);
            YuvPicture yuv(layout, 64, 32);
            ColorConverter conv(backend);
            // Exercise
            ASSERT_TRUE(conv.Rgb24ToYuv(in.View(), yuv.frame));
            ASSERT_TRUE(conv.YuvToRgb24(yuv.frame, out.View()));
            // Verification: limited range quantises; swscale's fast rounding adds one more code.
            EXPECT_LE(MaxDifference(in, out), backend == Backend::Own ? 3 : 4)
                << "layout " << static_cast<int>(layout) << " backend "
                << static_cast<int>(backend);
        }
    }
}

TEST(ColorConvert, OwnAndSwscaleAgreeInBothDirections) {
    for (YuvLayout layout : kLayouts) {
        // Setup
        RgbPicture in = BlockPicture(720, 16);
        YuvPicture own(layout, 720, 16), sws(layout, 720, 16);
        RgbPicture ownBack(720, 16), swsBack(720, 16);
        ColorConverter ownConv(Backend::Own), swsConv(Backend::Swscale);
        // Exercise
        ASSERT_TRUE(ownConv.Rgb24ToYuv(in.View(), own.frame));
        ASSERT_TRUE(swsConv.Rgb24ToYuv(in.View(), sws.frame));
        ASSERT_TRUE(ownConv.YuvToRgb24(own.frame, ownBack.View()));
        ASSERT_TRUE(swsConv.YuvToRgb24(own.frame, swsBack.View()));
        // Verification
        int worst = 0;
        for (std::size_t i = 0; i < own.bytes.size(); ++i)
            worst = std::max(worst, std::abs(own.bytes[i] - sws.bytes[i]));
        EXPECT_LE(worst, 2) << "to YUV, layout " << static_cast<int>(layout);
        EXPECT_LE(MaxDifference(ownBack, swsBack), 3)
            << "to RGB, layout " << static_cast<int>(layout);
    }
}

TEST(ColorConvert, PicturesWiderThanOnePassAreConvertedInStrips) {
    for (YuvLayout layout : kLayouts) {
        // Setup
        RgbPicture in = BlockPicture(4224, 4);
        YuvPicture own(layout, 4224, 4), sws(layout, 4224, 4);
        RgbPicture ownBack(4224, 4), swsBack(4224, 4);
        ColorConverter ownConv(Backend::Own), swsConv(Backend::Swscale);
        // Exercise
        ASSERT_TRUE(ownConv.Rgb24ToYuv(in.View(), own.frame));
        ASSERT_TRUE(swsConv.Rgb24ToYuv(in.View(), sws.frame));
        ASSERT_TRUE(ownConv.YuvToRgb24(own.frame, ownBack.View()));
        ASSERT_TRUE(swsConv.YuvToRgb24(own.frame, swsBack.View()));
        // Verification
        int worst = 0;
        for (std::size_t i = 0; i < own.bytes.size(); ++i)
            worst = std::max(worst, std::abs(own.bytes[i] - sws.bytes[i]));
        EXPECT_LE(worst, 2) << "layout " << static_cast<int>(layout);
        EXPECT_LE(MaxDifference(ownBack, swsBack), 3) << "layout " << static_cast<int>(layout);
    }
}

TEST(ColorConvert, NothingIsWrittenOutsideTheRgbPictureWhateverTheWidth) {
    for (int width : {100, 1000, 4196}) {
        for (YuvLayout layout : {YuvLayout::Yuv411p, YuvLayout::Yuy2}) {
            for (Backend backend : {Backend::Own, Backend::Swscale}) {
                // Setup: rows exactly width × 3 apart, guard bytes after the buffer.
                YuvPicture yuv(layout, width, 4);
                std::fill(yuv.bytes.begin(), yuv.bytes.end(), 128);
                const std::size_t size = static_cast<std::size_t>(width) * 3 * 4;
                std::vector<std::uint8_t> rgb(size + 64, 0xAB);
                ColorConverter conv(backend);
                // Exercise
                ASSERT_TRUE(
                    conv.YuvToRgb24(yuv.frame, BottomUpRgb24(rgb.data(), width, 4, width * 3)));
                // Verification: grey everywhere inside, the guard untouched.
                EXPECT_EQ(std::count(rgb.begin(), rgb.begin() + size, 130), size)
                    << width << " layout " << static_cast<int>(layout);
                EXPECT_EQ(std::count(rgb.begin() + size, rgb.end(), 0xAB), 64)
                    << width << " layout " << static_cast<int>(layout);
            }
        }
    }
    // 4:2:0 needs a width of whole 2-pixel blocks only.
    YuvPicture yuv(YuvLayout::Yuv420p, 1000, 4);
    std::fill(yuv.bytes.begin(), yuv.bytes.end(), 128);
    std::vector<std::uint8_t> rgb(1000 * 3 * 4 + 64, 0xAB);
    ColorConverter conv(Backend::Swscale);
    ASSERT_TRUE(conv.YuvToRgb24(yuv.frame, BottomUpRgb24(rgb.data(), 1000, 4, 3000)));
    EXPECT_EQ(std::count(rgb.begin() + 12000, rgb.end(), 0xAB), 64);
}

TEST(ColorConvert, BottomUpRowsMeanTheFirstStoredRowIsTheBottom) {
    for (Backend backend : {Backend::Own, Backend::Swscale}) {
        // Setup: a white top row in the picture, black elsewhere.
        YuvPicture yuv(YuvLayout::Yuy2, 8, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                std::uint8_t* p = yuv.frame.planes[0] + y * yuv.frame.strides[0] + x * 2;
                p[0] = y == 0 ? 235 : 16;
                p[1] = 128;
            }
        RgbPicture rgb(8, 4);
        ColorConverter conv(backend);
        // Exercise
        ASSERT_TRUE(conv.YuvToRgb24(yuv.frame, rgb.View()));
        // Verification: the last stored row is the white one.
        EXPECT_EQ(rgb.bytes[3 * rgb.rowBytes], 255);
        EXPECT_EQ(rgb.bytes[0], 0);
    }
}

TEST(ColorConvert, RectangleConversionTouchesOnlyTheAlignedArea) {
    for (YuvLayout layout : kLayouts) {
        // Setup
        RgbPicture rgb = BlockPicture(64, 16);
        YuvPicture full(layout, 64, 16), part(layout, 64, 16);
        std::fill(part.bytes.begin(), part.bytes.end(), 77);
        ColorConverter conv;
        ASSERT_TRUE(conv.Rgb24ToYuv(rgb.View(), full.frame));
        const Rect area{13, 5, 10, 3};
        const Rect aligned = AlignToChromaBlocks(area, layout, 64, 16);
        // Exercise
        ASSERT_TRUE(conv.Rgb24ToYuvRect(rgb.View(), part.frame, area));
        // Verification: luma inside the aligned area as in a full conversion, 77 outside.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= aligned.x && x < aligned.x + aligned.width &&
                                    y >= aligned.y && y < aligned.y + aligned.height;
                const std::size_t i = layout == YuvLayout::Yuy2 ? y * 128 + x * 2 : y * 64 + x;
                EXPECT_EQ(part.bytes[i], inside ? full.bytes[i] : 77)
                    << "layout " << static_cast<int>(layout) << " at " << x << "," << y;
            }
    }
}

TEST(ColorConvert, AlignToChromaBlocksGrowsAndClips) {
    // Exercise / Verification
    EXPECT_EQ(AlignToChromaBlocks({13, 5, 10, 3}, YuvLayout::Yuv420p, 64, 16),
              (Rect{12, 4, 12, 4}));
    EXPECT_EQ(AlignToChromaBlocks({13, 5, 10, 3}, YuvLayout::Yuv411p, 64, 16),
              (Rect{12, 5, 12, 3}));
    EXPECT_EQ(AlignToChromaBlocks({13, 5, 10, 3}, YuvLayout::Yuy2, 64, 16), (Rect{12, 5, 12, 3}));
    EXPECT_EQ(AlignToChromaBlocks({-5, -5, 8, 8}, YuvLayout::Yuv420p, 64, 16), (Rect{0, 0, 4, 4}));
    EXPECT_EQ(AlignToChromaBlocks({60, 14, 100, 100}, YuvLayout::Yuv411p, 64, 16),
              (Rect{60, 14, 4, 2}));
    EXPECT_EQ(AlignToChromaBlocks({70, 0, 4, 4}, YuvLayout::Yuv420p, 64, 16), Rect{});
    EXPECT_EQ(AlignToChromaBlocks({2147483600, 0, 2147483600, 4}, YuvLayout::Yuy2, 64, 16), Rect{});
}

TEST(ColorConvert, MismatchedOrUnalignedPicturesAreRefusedUntouched) {
    // Setup
    RgbPicture rgb(66, 4);
    YuvPicture yuv411(YuvLayout::Yuv411p, 64, 4);
    std::vector<std::uint8_t> odd(66 * 4 * 2, 9);
    YuvFrame oddFrame = YuvFrameOver(odd.data(), YuvLayout::Yuv411p, 66, 4);
    oddFrame.planes[0] = odd.data(); // YuvFrameOver refuses the size; force a view
    ColorConverter own(Backend::Own), sws(Backend::Swscale);
    // Exercise / Verification
    EXPECT_FALSE(own.Rgb24ToYuv(rgb.View(), yuv411.frame));
    EXPECT_FALSE(sws.Rgb24ToYuv(rgb.View(), yuv411.frame));
    EXPECT_FALSE(own.YuvToRgb24(oddFrame, rgb.View()));
    EXPECT_FALSE(sws.YuvToRgb24(oddFrame, rgb.View()));
    EXPECT_EQ(YuvFrameSize(YuvLayout::Yuv420p, 64, 3), 0u);
    EXPECT_EQ(odd[0], 9);
}

} // namespace
} // namespace talvence::colorconv
