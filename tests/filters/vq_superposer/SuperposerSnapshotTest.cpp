// A frame grabbed behind the superposer in a running graph, written as a PNG so a person can
// look at it, and checked for where the two lines landed: right-aligned at the anchor of the
// default position (900, 900), line 2's top at the anchor, line 1 one line height above.

#include "filters/BaseClass/CountingFilters.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "platform/media/filters/basic/SampleGrabber.h"
#include "tests/support/InlayTestSupport.h"
#include "tests/support/FrameGraph.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace talvence {
namespace {

using testing::FrameGraph;

constexpr int kWidth = 720;
constexpr int kHeight = 576;

// A soft grey-blue gradient, bottom-up BGR rows, so white text stands out.
std::vector<std::uint8_t> Backdrop() {
    std::vector<std::uint8_t> bytes(std::size_t(kWidth) * 3 * kHeight);
    for (int row = 0; row < kHeight; ++row) {
        const int y = kHeight - 1 - row;
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &bytes[(std::size_t(row) * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(90 + x * 60 / kWidth);
            p[1] = static_cast<std::uint8_t>(60 + y * 50 / kHeight);
            p[2] = static_cast<std::uint8_t>(50 + (x + y) * 30 / (kWidth + kHeight));
        }
    }
    return bytes;
}

TEST(SuperposerSnapshot, AGrabbedFrameShowsBothLinesWhereTheSettingsPutThem) {
    // Setup: source → superposer → sample grabber → sink, the superposer at its defaults.
    inlaytest::EnsureGuiApp();
    ComPtr<Tvq_Superposer> superposer(new Tvq_Superposer(nullptr, EnglishLocaleFormats(), 96));
    ComPtr<TSampleGrabberFilter> grabber(new TSampleGrabberFilter);
    ASSERT_EQ(grabber->SetBufferSamples(1), S_OK);
    FrameGraph g;
    g.source->mediaType = MakeTestVideoType(kWidth, kHeight);
    g.source->bufferSize = kWidth * 3 * kHeight;
    ASSERT_EQ(g.Build({{superposer.get(), "Superposer"}, {grabber.get(), "sg"}}), S_OK);
    const auto backdrop = Backdrop();
    TTestFrame frame;
    frame.bytes = backdrop;
    frame.start = 0;
    frame.stop = 400000;

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(frame);
    ASSERT_TRUE(g.sink->WaitForSamples(1));
    long size = 0;
    ASSERT_EQ(grabber->GetCurrentBuffer(&size, nullptr), S_OK);
    std::vector<std::uint8_t> grabbed(static_cast<std::size_t>(size));
    ASSERT_EQ(grabber->GetCurrentBuffer(&size, grabbed.data()), S_OK);
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification: the picture as a person sees it, then where the text is.
    ASSERT_EQ(grabbed.size(), backdrop.size());
    QImage image(kWidth, kHeight, QImage::Format_BGR888);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(image.scanLine(y), &grabbed[std::size_t(kHeight - 1 - y) * kWidth * 3],
                    kWidth * 3);
    const auto png = std::filesystem::current_path() / "superposer-snapshot.png";
    EXPECT_TRUE(image.save(QString::fromStdString(png.string()), "PNG")) << png;

    int left = kWidth, right = -1, top = kHeight, bottom = -1;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::size_t at = (std::size_t(kHeight - 1 - y) * kWidth + x) * 3;
            if (std::equal(&grabbed[at], &grabbed[at] + 3, &backdrop[at])) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    const int anchorX = kWidth * 900 / 1000; // 648
    const int anchorY = kHeight * 900 / 1000; // 518
    const int lineHeight = 28;               // 720 × 28 div 720
    ASSERT_GE(right, 0) << "no text drawn";
    EXPECT_LE(right, anchorX);
    EXPECT_GE(right, anchorX - 6);           // lines end at the anchor
    EXPECT_GE(top, anchorY - lineHeight);    // line 1 sits one line above the anchor
    EXPECT_LE(top, anchorY - lineHeight / 2);
    EXPECT_GT(bottom, anchorY);              // line 2 starts at the anchor
    EXPECT_LT(bottom, anchorY + lineHeight);
    EXPECT_LT(left, anchorX - 80);           // a date is several glyphs wide
}

} // namespace
} // namespace talvence
