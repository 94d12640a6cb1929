// YUV frames through SuperposerCore::Compose: the text drawn through an RGB copy of its area
// only, the rest of the frame untouched, and flip on every plane.
#include "tests/support/InlayTestSupport.h"

#include "platform/media/filters/colorconv/ColorConvert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace talvence {
namespace {

using colorconv::YuvLayout;
using inlaytest::Picture;

const TDateTime kNow = EncodeDateTime(2026, 5, 2, 10, 0, 0, 0);
constexpr int kW = 160, kH = 120;

struct YuvPicture {
    YuvLayout layout;
    std::vector<std::uint8_t> bytes;
    YuvPicture(YuvLayout l, int w, int h) : layout(l), bytes(colorconv::YuvFrameSize(l, w, h)) {}
    colorconv::YuvFrame View() { return colorconv::YuvFrameOver(bytes.data(), layout, kW, kH); }
};

YuvPicture ToYuv(const Picture& rgb, YuvLayout layout) {
    YuvPicture yuv(layout, rgb.width, rgb.height);
    Picture copy = rgb;
    colorconv::OwnRgb24ToYuv(
        colorconv::BottomUpRgb24(copy.bytes.data(), copy.width, copy.height, copy.stride),
        yuv.View());
    return yuv;
}

InlayFrame YuvFrameOf(const YuvPicture& in, YuvPicture& out) {
    return InlayFrame{
        true, in.bytes.data(), in.bytes.size(), out.bytes.data(), out.bytes.size(), kW, kH, 0};
}

// Whether the byte at plane p, row y, column x (in that plane's samples) lies in the area.
bool InArea(const colorconv::Rect& a, YuvLayout layout, int p, int x, int y) {
    const int sx = p == 0 ? 1 : colorconv::ChromaBlockWidth(layout);
    const int sy = p == 0 ? 1 : colorconv::ChromaBlockHeight(layout);
    return x * sx >= a.x && x * sx < a.x + a.width && y * sy >= a.y && y * sy < a.y + a.height;
}

class YuvComposeTest : public ::testing::TestWithParam<YuvLayout> {
protected:
    void SetUp() override { inlaytest::EnsureGuiApp(); }
    SuperposerCore core{[] { return std::int64_t{400000}; }, EnglishLocaleFormats()};
};

TEST_P(YuvComposeTest, TextChangesOnlyItsAreaAndMatchesTheRgbPath) {
    // Setup
    const YuvLayout layout = GetParam();
    const Picture rgb = Picture::Pattern(kW, kH);
    const YuvPicture in = ToYuv(rgb, layout);
    YuvPicture out(layout, kW, kH);
    // The RGB path on the same picture, brought to YUV, is what the text should look like.
    Picture rgbIn(kW, kH);
    YuvPicture inCopy = in;
    colorconv::OwnYuvToRgb24(inCopy.View(),
                             colorconv::BottomUpRgb24(rgbIn.bytes.data(), kW, kH, rgbIn.stride));
    Picture rgbOut(kW, kH);
    SuperposerCore reference{[] { return std::int64_t{400000}; }, EnglishLocaleFormats()};
    ASSERT_EQ(reference.Compose(inlaytest::FrameOf(rgbIn, rgbOut), DvFrameInfo{}, kNow), S_OK);
    YuvPicture expected = ToYuv(rgbOut, layout);

    // Exercise
    const HRESULT hr = core.Compose(YuvFrameOf(in, out), layout, DvFrameInfo{}, kNow);

    // Verification
    ASSERT_EQ(hr, S_OK);
    ASSERT_TRUE(core.LastFrameHadText());
    const colorconv::Rect area = core.LastTextArea();
    EXPECT_EQ(colorconv::AlignToChromaBlocks(area, layout, kW, kH), area);
    const colorconv::Rect drawn = reference.LastTextArea();
    EXPECT_LE(area.x, drawn.x);
    EXPECT_LE(area.y, drawn.y);
    EXPECT_GE(area.x + area.width, drawn.x + drawn.width);
    EXPECT_GE(area.y + area.height, drawn.y + drawn.height);
    YuvPicture inCopy2 = in;
    const colorconv::YuvFrame a = inCopy2.View(), b = out.View(), e = expected.View();
    int outsideChanged = 0, insideChanged = 0, worst = 0;
    const int planes = layout == YuvLayout::Yuy2 ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const int cols = p == 0 ? (layout == YuvLayout::Yuy2 ? 2 * kW : kW)
                                : kW / colorconv::ChromaBlockWidth(layout);
        const int rows = p == 0 ? kH : kH / colorconv::ChromaBlockHeight(layout);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const int va = a.planes[p][y * a.strides[p] + x];
                const int vb = b.planes[p][y * b.strides[p] + x];
                const int ve = e.planes[p][y * e.strides[p] + x];
                const int px = layout == YuvLayout::Yuy2 ? x / 2 : x;
                if (!InArea(area, layout, p, px, y)) {
                    outsideChanged += va != vb;
                    continue;
                }
                insideChanged += va != vb;
                worst = std::max(worst, std::abs(vb - ve));
            }
    }
    EXPECT_EQ(outsideChanged, 0);
    EXPECT_GT(insideChanged, 100);
    // Both paths round the same text through RGB once; only rounding may differ.
    EXPECT_LE(worst, 3);
}

TEST_P(YuvComposeTest, FlipMirrorsEveryPlaneAlsoInPlace) {
    // Setup
    const YuvLayout layout = GetParam();
    core.SetInlayActive(false);
    core.SetInlayFlip(true);
    const YuvPicture in = ToYuv(Picture::Pattern(kW, kH, 3), layout);
    YuvPicture out(layout, kW, kH);
    YuvPicture inPlace = in;

    // Exercise
    const HRESULT copied = core.Compose(YuvFrameOf(in, out), layout, DvFrameInfo{}, kNow);
    const HRESULT same = core.Compose(YuvFrameOf(inPlace, inPlace), layout, DvFrameInfo{}, kNow);

    // Verification
    ASSERT_EQ(copied, S_OK);
    ASSERT_EQ(same, S_OK);
    EXPECT_TRUE(core.LastFrameFlipped());
    YuvPicture src = in;
    const colorconv::YuvFrame a = src.View(), b = out.View();
    const int planes = layout == YuvLayout::Yuy2 ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const int rows = p == 0 ? kH : kH / colorconv::ChromaBlockHeight(layout);
        for (int y = 0; y < rows; ++y)
            ASSERT_EQ(std::memcmp(b.planes[p] + y * b.strides[p],
                                  a.planes[p] + (rows - 1 - y) * a.strides[p],
                                  std::size_t(a.strides[p])),
                      0)
                << "plane " << p << " row " << y;
    }
    EXPECT_EQ(inPlace.bytes, out.bytes);
}

TEST_P(YuvComposeTest, ABufferShorterThanItsPictureFails) {
    // Setup
    const YuvLayout layout = GetParam();
    const YuvPicture in = ToYuv(Picture::Pattern(kW, kH), layout);
    YuvPicture out(layout, kW, kH);
    InlayFrame frame = YuvFrameOf(in, out);
    frame.outputSize -= 1;

    // Exercise / Verification
    EXPECT_EQ(core.Compose(frame, layout, DvFrameInfo{}, kNow), E_FAIL);
    EXPECT_FALSE(core.LastFrameHadText());
}

INSTANTIATE_TEST_SUITE_P(Layouts, YuvComposeTest,
                         ::testing::Values(YuvLayout::Yuv420p, YuvLayout::Yuv411p,
                                           YuvLayout::Yuy2));

} // namespace
} // namespace talvence
