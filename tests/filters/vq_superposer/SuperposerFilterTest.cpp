// Tvq_Superposer in running graphs: the RGB24-only input, the output type and buffers it
// negotiates, frames drawn on the way through with their properties, the scene detector's record
// it reads (and publishes), skipped frames without a format, and the display re-armed per run.

#include "filters/BaseClass/CountingFilters.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/InlayTestSupport.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using testing::FrameGraph;

constexpr int kWidth = 162; // 486 bytes of pixels, rows padded to 488
constexpr int kHeight = 120;
constexpr long kStride = 488;
constexpr REFERENCE_TIME kFrame = 400000;

// A bottom-up picture with padded rows; the padding is zero.
std::vector<std::uint8_t> PaddedPicture(int seed) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kStride) * kHeight, 0);
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth * 3; ++x)
            bytes[row * kStride + x] = static_cast<std::uint8_t>((x + row * 7 + seed) & 0x7F);
    return bytes;
}

TTestFrame Frame(std::vector<std::uint8_t> bytes, int index) {
    TTestFrame f;
    f.bytes = std::move(bytes);
    f.start = index * kFrame;
    f.stop = f.start.value() + kFrame;
    return f;
}

class SuperposerFilterTest : public ::testing::Test {
protected:
    void SetUp() override { inlaytest::EnsureGuiApp(); }

    // Superposer between an RGB24 source of kWidth × kHeight and the sink.
    void BuildRgbGraph(FrameGraph& g, Tvq_Superposer* superposer) {
        g.source->mediaType = MakeTestVideoType(kWidth, kHeight);
        g.source->bufferSize = kStride * kHeight;
        ASSERT_EQ(g.Build({{superposer, "Superposer"}}), S_OK);
    }

    ComPtr<Tvq_Superposer> MakeSuperposer(Tvq_SceneDetect* detect = nullptr) {
        return ComPtr<Tvq_Superposer>(new Tvq_Superposer(detect, EnglishLocaleFormats(), 96));
    }
};

TEST_F(SuperposerFilterTest, TakesBottomUpRgb24OnlyAndOffersItWithPaddedRows) {
    // Setup
    auto superposer = MakeSuperposer();
    CMediaType topDown = MakeTestVideoType(kWidth, -kHeight);
    CMediaType rgb32 = MakeTestVideoType(kWidth, kHeight);
    rgb32.SetSubtype(MEDIASUBTYPE_RGB32);
    CMediaType noFormat(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    FrameGraph dv;
    dv.source->mediaType = testing::MakeDvType(false);
    auto refusing = MakeSuperposer();
    FrameGraph g;

    // Exercise
    const HRESULT dvConnect = dv.Build({{refusing.get(), "Superposer"}});
    BuildRgbGraph(g, superposer.get());
    CMediaType offered, beyond, before;
    const HRESULT at0 = superposer->GetMediaType(0, &offered);
    const HRESULT at1 = superposer->GetMediaType(1, &beyond);
    const HRESULT atMinus1 = superposer->GetMediaType(-1, &before);
    CMediaType otherSize = MakeTestVideoType(kWidth + 2, kHeight);
    const CMediaType& input = superposer->InputPin()->CurrentMediaType();
    ALLOCATOR_PROPERTIES in, out;
    ASSERT_EQ(superposer->InputPin()->PeekAllocator()->GetProperties(&in), S_OK);
    ASSERT_EQ(superposer->OutputPin()->Allocator()->GetProperties(&out), S_OK);

    // Verification
    EXPECT_EQ(superposer->CheckInputType(&topDown), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(superposer->CheckInputType(&rgb32), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(superposer->CheckInputType(&noFormat), S_OK);
    EXPECT_TRUE(FAILED(dvConnect));
    EXPECT_EQ(at0, S_OK);
    EXPECT_EQ(at1, VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(atMinus1, E_INVALIDARG);
    BITMAPINFOHEADER h;
    ASSERT_TRUE(VideoBitmapHeader(offered, h));
    EXPECT_EQ(h.biSizeImage, static_cast<DWORD>(kStride * kHeight));
    EXPECT_EQ(offered.GetSampleSize(), static_cast<ULONG>(kStride * kHeight));
    EXPECT_EQ(superposer->OutputPin()->CurrentMediaType(), offered);
    EXPECT_EQ(superposer->CheckTransform(&input, &otherSize), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(superposer->CheckTransform(&input, &offered), S_OK);
    EXPECT_EQ(out.cBuffers, in.cBuffers);
    EXPECT_EQ(out.cbBuffer, in.cbBuffer);
    CLSID clsid;
    superposer->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_vq_Superposer);
    EXPECT_EQ(superposer->ObjectName(), "Brannock vq_Superposer");
}

TEST_F(SuperposerFilterTest, DrawsTheTextIntoEachFrameAndCarriesItsProperties) {
    // Setup
    auto superposer = MakeSuperposer();
    FrameGraph g;
    BuildRgbGraph(g, superposer.get());
    const auto picture = PaddedPicture(3);
    TTestFrame sync = Frame(picture, 0);
    sync.syncPoint = true;
    TTestFrame discontinuity = Frame(picture, 1);
    discontinuity.discontinuity = true;
    TTestFrame plain = Frame(picture, 2);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(sync);
    g.source->Push(discontinuity);
    g.source->Push(plain);
    ASSERT_TRUE(g.sink->WaitForSamples(3));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), 3u);
    const bool syncs[] = {true, false, false};
    const bool discontinuities[] = {false, true, false};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(seen[i].bytes.size(), picture.size());
        EXPECT_NE(seen[i].bytes, picture) << "no text drawn";
        // The lines end at 90 % of the width and straddle 90 % of the height: the top half of
        // the picture (stored last) comes out as it went in.
        const std::size_t topHalf = picture.size() / 2;
        EXPECT_TRUE(
            std::equal(picture.begin() + topHalf, picture.end(), seen[i].bytes.begin() + topHalf));
        EXPECT_EQ(seen[i].start, static_cast<REFERENCE_TIME>(i) * kFrame);
        EXPECT_EQ(seen[i].syncPoint, syncs[i]);
        EXPECT_EQ(seen[i].discontinuity, discontinuities[i]);
        EXPECT_FALSE(seen[i].preroll);
    }
}

TEST_F(SuperposerFilterTest, ShowsTheTimecodeOfTheSceneDetectorsLatestFrameAndPublishesIt) {
    // Setup: three camcorder frames through the scene detector in a graph of their own.
    ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
    FrameGraph dv;
    dv.source->mediaType = testing::MakeDvType(false);
    ASSERT_EQ(dv.Build({{detect.get(), "SceneDetect"}}), S_OK);
    auto superposer = MakeSuperposer(detect.get());
    superposer->SetInlaySource(2);
    FrameGraph g;
    BuildRgbGraph(g, superposer.get());
    ASSERT_EQ(dv.graph->Run(), S_OK);
    for (std::uint8_t f = 4; f <= 6; ++f) {
        testing::DvFrameRecipe recipe;
        recipe.tc = {1, 2, 3, f};
        dv.source->Push(Frame(testing::MakeDvFrame(recipe), f));
    }
    ASSERT_TRUE(dv.sink->WaitForSamples(3));
    const int readPosBefore = detect->ReadPos();

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(Frame(PaddedPicture(0), 0));
    ASSERT_TRUE(g.sink->WaitForSamples(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(readPosBefore, 0);
    EXPECT_EQ(detect->ReadPos(), detect->Pos());
    EXPECT_EQ(detect->Pos(), 3);
    EXPECT_EQ(superposer->Core().LastLines().line1, "");
    EXPECT_EQ(superposer->Core().LastLines().line2, "1:02:03:06");
    EXPECT_TRUE(superposer->Core().LastFrameHadText());
}

TEST_F(SuperposerFilterTest, FramesWithoutAFormatBlockAreDroppedAndReportedOncePerRun) {
    // Setup
    auto superposer = MakeSuperposer();
    FrameGraph g;
    g.source->mediaType = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    g.source->bufferSize = 4096;
    ASSERT_EQ(g.Build({{superposer.get(), "Superposer"}}), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    for (int i = 0; i < 3; ++i)
        g.source->Push(Frame(std::vector<std::uint8_t>(4096, 9), i));
    g.source->End();
    ASSERT_TRUE(g.sink->WaitForEndOfStream());
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_TRUE(g.sink->Samples().empty());
    long qualityChanges = 0;
    for (const auto& [code, param] : g.Events())
        if (code == EC_QUALITY_CHANGE) ++qualityChanges;
    EXPECT_EQ(qualityChanges, 1);
}

TEST_F(SuperposerFilterTest, ATypeChangeOfTheSameSizeIsPassedOnAndAResizeAbortsTheStream) {
    // Setup
    auto superposer = MakeSuperposer();
    FrameGraph g;
    BuildRgbGraph(g, superposer.get());
    TTestFrame slower = Frame(PaddedPicture(2), 1);
    slower.newType = MakeTestVideoType(kWidth, kHeight, 2 * kFrame);
    TTestFrame resized = Frame(std::vector<std::uint8_t>(160 * 3 * kHeight, 5), 3);
    resized.newType = MakeTestVideoType(160, kHeight);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(Frame(PaddedPicture(2), 0));
    g.source->Push(slower);
    g.source->Push(Frame(PaddedPicture(2), 2));
    g.source->Push(resized);
    g.source->Push(Frame(PaddedPicture(2), 4));
    ASSERT_TRUE(g.sink->WaitForEndOfStream());
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const auto events = g.Events();

    // Verification: the slower type reaches downstream as RGB24 of padded rows; nothing of the
    // resized stream is drawn into a picture of the old size.
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[0].newType.has_value());
    ASSERT_TRUE(seen[1].newType.has_value());
    VIDEOINFOHEADER* vih = seen[1].newType->FormatAs<VIDEOINFOHEADER>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->AvgTimePerFrame, 2 * kFrame);
    EXPECT_EQ(vih->bmiHeader.biSizeImage, static_cast<DWORD>(kStride * kHeight));
    EXPECT_EQ(seen[1].newType->subtype, MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(seen[2].newType.has_value());
    bool aborted = false;
    for (const auto& [code, param] : events)
        if (code == EC_ERRORABORT && param == VFW_E_TYPE_NOT_ACCEPTED) aborted = true;
    EXPECT_TRUE(aborted);
}

TEST_F(SuperposerFilterTest, EachRunReArmsTheAutomaticDisplayCountedInSourceFrames) {
    // Setup: 2 s at 29 frames a second (525/60 source).
    auto superposer = MakeSuperposer();
    superposer->SetSourceFrameDuration(333667);
    superposer->SetInlayAutoMode(1);
    superposer->SetInlayDuration(2);
    FrameGraph g;
    BuildRgbGraph(g, superposer.get());

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    const std::int32_t armed = superposer->Core().Remaining();
    g.source->Push(Frame(PaddedPicture(1), 0));
    g.source->Push(Frame(PaddedPicture(1), 1));
    ASSERT_TRUE(g.sink->WaitForSamples(2));
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const std::int32_t afterTwo = superposer->Core().Remaining();
    ASSERT_EQ(g.graph->Run(), S_OK);
    const std::int32_t reArmed = superposer->Core().Remaining();
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(superposer->Core().Settings()->durationFrames, 58);
    EXPECT_EQ(armed, 57);
    EXPECT_EQ(afterTwo, 55);
    EXPECT_EQ(reArmed, 57);
    for (const auto& s : g.sink->Samples())
        EXPECT_NE(s.bytes, PaddedPicture(1));
}

} // namespace
} // namespace talvence

namespace talvence {
namespace {

// An I420 picture type of 160 × 120 (a width YUV takes), as the DV decoder announces its own.
CMediaType I420Type() {
    CMediaType mt = MakeTestVideoType(160, kHeight);
    mt.SetSubtype(MEDIASUBTYPE_I420);
    if (auto* vih = mt.FormatAs<VIDEOINFOHEADER>()) {
        vih->bmiHeader.biCompression = 0x30323449; // 'I420'
        vih->bmiHeader.biBitCount = 12;
        vih->bmiHeader.biSizeImage = 160 * kHeight * 3 / 2;
    }
    mt.SetSampleSize(160 * kHeight * 3 / 2);
    return mt;
}

TEST(SuperposerYuvFilterTest, TakesI420WhenAskedAndDeliversItInTheSameLayoutWithTheText) {
    // Setup
    inlaytest::EnsureGuiApp();
    ComPtr<Tvq_Superposer> superposer(new Tvq_Superposer(nullptr, EnglishLocaleFormats(), 96));
    const CMediaType i420 = I420Type();
    const HRESULT byDefault = superposer->CheckInputType(&i420);
    superposer->SetYuvInput(true);
    CMediaType rgb32 = I420Type();
    rgb32.SetSubtype(MEDIASUBTYPE_RGB32);
    FrameGraph g;
    g.source->mediaType = I420Type();
    g.source->bufferSize = 160 * kHeight * 3 / 2;
    std::vector<std::uint8_t> picture(160 * kHeight * 3 / 2);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>(16 + (i * 7) % 200);

    // Exercise
    ASSERT_EQ(g.Build({{superposer.get(), "Superposer"}}), S_OK);
    CMediaType offered;
    const HRESULT at0 = superposer->GetMediaType(0, &offered);
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(Frame(picture, 0));
    ASSERT_TRUE(g.sink->WaitForSamples(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(byDefault, VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(superposer->CheckInputType(&rgb32), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(at0, S_OK);
    EXPECT_EQ(offered, I420Type());
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].bytes.size(), picture.size());
    EXPECT_NE(seen[0].bytes, picture) << "no text drawn";
    // The text sits in the bottom half: the luma of the top half comes out as it went in.
    const std::size_t topHalf = 160 * kHeight / 2;
    EXPECT_TRUE(std::equal(picture.begin(), picture.begin() + topHalf, seen[0].bytes.begin()));
}

} // namespace
} // namespace talvence
