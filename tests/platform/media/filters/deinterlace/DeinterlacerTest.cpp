#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/deinterlace/Deinterlacer.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace talvence {
namespace {

constexpr LONG W = 64, H = 48;

CMediaType VideoType(const GUID& subtype, WORD bits, DWORD bytes) {
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = W;
    vih.bmiHeader.biHeight = H;
    vih.bmiHeader.biBitCount = bits;
    vih.bmiHeader.biSizeImage = bytes;
    CMediaType mt(MEDIATYPE_Video, subtype);
    mt.SetFormatType(FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(bytes);
    return mt;
}

// Source → deinterlacer → sink taking `outSubtype`, fed these pictures.
struct DeinterlaceGraph : testing::FrameGraph {
    ComPtr<TDeinterlacer> filter{new TDeinterlacer};
    DeinterlaceGraph(const CMediaType& in, const GUID& outSubtype,
                     std::vector<std::vector<BYTE>> pictures) {
        source->feed = TCountingSource::Feed::List;
        source->mediaType = in;
        source->SetFrames(TimedFrames(std::move(pictures)));
        sink->accept = Accepting(MEDIATYPE_Video, outSubtype);
    }
};

// Luma differences between neighbouring lines: the combing of fields taken at two times.
long Combing(const std::vector<BYTE>& luma) {
    long sum = 0;
    for (LONG y = 0; y + 1 < H; ++y)
        for (LONG x = 0; x < W; ++x) sum += std::abs(luma[y * W + x] - luma[(y + 1) * W + x]);
    return sum;
}

TEST(DeinterlacerTest, MovingPicturesLoseTheirCombingOnePerPictureWithTheirTimes) {
    // I420 pictures of a white square moving right, each field taken half a picture later.
    std::vector<std::vector<BYTE>> pictures;
    for (int k = 0; k < 5; ++k) {
        std::vector<BYTE> p(W * H * 3 / 2, 128);
        for (LONG y = 0; y < H; ++y)
            for (LONG x = 0; x < W; ++x) {
                const LONG left = 6 * (2 * k + y % 2);
                p[std::size_t(y * W + x)] = x >= left && x < left + 16 && y > 8 && y < 40 ? 235 : 16;
            }
        pictures.push_back(std::move(p));
    }
    const long before = Combing(pictures[2]);
    DeinterlaceGraph g(VideoType(MEDIASUBTYPE_I420, 12, W * H * 3 / 2), MEDIASUBTYPE_I420, pictures);
    ASSERT_EQ(g.Build({{g.filter.get(), "Deinterlacer"}}), S_OK);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    const auto samples = g.sink->Samples();
    ASSERT_EQ(samples.size(), 5u); // the last one at the end of the stream
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(samples[i].start, LONG(i) * 400000);
    EXPECT_LT(Combing(samples[2].bytes), before / 2);
}

TEST(DeinterlacerTest, BottomUpRgbKeepsItsOrientation) {
    // A still picture, bright at the top (the end of a bottom-up buffer) and dark at the bottom.
    const LONG row = W * 3;
    std::vector<BYTE> picture(std::size_t(row * H), 20);
    std::memset(picture.data() + row * (H / 2), 220, std::size_t(row * H / 2));
    DeinterlaceGraph g(VideoType(MEDIASUBTYPE_RGB24, 24, DWORD(row * H)), MEDIASUBTYPE_RGB24,
                       {picture, picture, picture});
    ASSERT_EQ(g.Build({{g.filter.get(), "Deinterlacer"}}), S_OK);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    const auto samples = g.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_NEAR(samples[1].bytes[std::size_t(row * 2)], 20, 4);
    EXPECT_NEAR(samples[1].bytes[std::size_t(row * (H - 2))], 220, 4);
}

TEST(DeinterlacerTest, YuvInputAlsoGoesOutAsRgbForTheInlay) {
    std::vector<BYTE> yuy2(std::size_t(W * H * 2));
    for (std::size_t i = 0; i < yuy2.size(); i += 2) {
        yuy2[i] = 180;
        yuy2[i + 1] = 128;
    }
    DeinterlaceGraph g(VideoType(MEDIASUBTYPE_YUY2, 16, W * H * 2), MEDIASUBTYPE_RGB24, {yuy2, yuy2});
    ASSERT_EQ(g.Build({{g.filter.get(), "Deinterlacer"}}), S_OK);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    const auto samples = g.sink->Samples();
    ASSERT_EQ(samples.size(), 2u);
    ASSERT_EQ(samples[0].length, W * 3 * H);
    EXPECT_NEAR(samples[0].bytes[100], 190, 15); // grey of luma 180
}

} // namespace
} // namespace talvence
