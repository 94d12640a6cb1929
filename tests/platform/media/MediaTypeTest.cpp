#include "platform/media/MediaType.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

CMediaType VideoType(LONG width, LONG height) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biBitCount = 24;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    return mt;
}

// A block of `length` bytes with, where the format type keeps it, a header of that biSize.
CMediaType HeaderType(const GUID& formatType, ULONG length, DWORD biSize = 40) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(formatType);
    mt.ReallocFormatBuffer(length);
    BITMAPINFOHEADER h;
    h.biSize = biSize;
    h.biWidth = 720;
    const std::size_t at = formatType == FORMAT_VideoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader)
                                                           : offsetof(VIDEOINFOHEADER, bmiHeader);
    if (at + sizeof h <= length) std::memcpy(mt.pbFormat + at, &h, sizeof h);
    return mt;
}

TEST(MediaTypeTest, CopiesOwnTheirFormatBlock) {
    // Setup
    CMediaType original = VideoType(720, 576);

    // Exercise
    CMediaType copy = original;
    copy.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 360;
    AM_MEDIA_TYPE* heap = CreateMediaType(&original);
    CMediaType moved = std::move(copy);

    // Verification
    EXPECT_EQ(original.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth, 720);
    EXPECT_EQ(moved.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth, 360);
    ASSERT_NE(heap, nullptr);
    EXPECT_NE(heap->pbFormat, original.pbFormat);
    EXPECT_TRUE(MediaTypesEqual(*heap, original));
    DeleteMediaType(heap);
}

TEST(MediaTypeTest, EqualityComparesTheFormatBytesToo) {
    // Setup
    CMediaType a = VideoType(720, 576);
    CMediaType b = VideoType(720, 576);
    CMediaType c = VideoType(720, 480);
    CMediaType d = VideoType(720, 576);
    d.SetSubtype(MEDIASUBTYPE_RGB32);

    // Exercise / Verification
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(a == d);
}

TEST(MediaTypeTest, PartialTypesMatchOnTheFieldsTheyName) {
    // Setup
    CMediaType concrete = VideoType(720, 576);
    CMediaType anyVideo(MEDIATYPE_Video);
    CMediaType rgb24(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    CMediaType audio(MEDIATYPE_Audio);
    CMediaType otherFormat = VideoType(720, 480);

    // Exercise / Verification
    EXPECT_TRUE(anyVideo.IsPartiallySpecified());
    EXPECT_FALSE(concrete.IsPartiallySpecified());
    EXPECT_TRUE(concrete.MatchesPartial(anyVideo));
    EXPECT_TRUE(concrete.MatchesPartial(rgb24));
    EXPECT_FALSE(concrete.MatchesPartial(audio));
    EXPECT_FALSE(concrete.MatchesPartial(otherFormat));
    EXPECT_TRUE(concrete.MatchesPartial(concrete));
}

TEST(MediaTypeTest, FormatBufferGrowsKeepingItsBytesAndTypedViewsRefuseShortBlocks) {
    // Setup
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    const BYTE head[4] = {1, 2, 3, 4};
    mt.SetFormat(head, sizeof head);

    // Exercise
    EXPECT_EQ(mt.FormatAs<VIDEOINFOHEADER>(), nullptr);
    BYTE* grown = mt.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER2));

    // Verification
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, head, sizeof head), 0);
    EXPECT_EQ(grown[sizeof head], 0);
    EXPECT_NE(mt.FormatAs<VIDEOINFOHEADER2>(), nullptr);
    mt.ResetFormatBuffer();
    EXPECT_EQ(mt.FormatLength(), 0u);
    EXPECT_EQ(mt.Format(), nullptr);
}

TEST(MediaTypeTest, AVideoBitmapHeaderNeedsTheWholeBlockAndABiSizeOfFortyOrMore) {
    struct Case {
        const char* what;
        CMediaType type;
        bool found;
    } cases[] = {
        {"VIDEOINFOHEADER of 88 bytes", HeaderType(FORMAT_VideoInfo, 88), true},
        {"VIDEOINFOHEADER of 87 bytes", HeaderType(FORMAT_VideoInfo, 87), false},
        {"VIDEOINFOHEADER2 of 112 bytes", HeaderType(FORMAT_VideoInfo2, 112), true},
        {"VIDEOINFOHEADER2 with bytes after it", HeaderType(FORMAT_VideoInfo2, 116), true},
        {"VIDEOINFOHEADER2 of 111 bytes", HeaderType(FORMAT_VideoInfo2, 111), false},
        {"VIDEOINFOHEADER with a biSize of 39", HeaderType(FORMAT_VideoInfo, 88, 39), false},
        {"VIDEOINFOHEADER2 with a biSize of 39", HeaderType(FORMAT_VideoInfo2, 112, 39), false},
        {"another format type", HeaderType(FORMAT_MPEG2Video, 136), false},
    };
    AM_MEDIA_TYPE noBlock;
    noBlock.formattype = FORMAT_VideoInfo;
    noBlock.cbFormat = sizeof(VIDEOINFOHEADER);

    for (auto& c : cases) {
        // Exercise
        SCOPED_TRACE(c.what);
        const BITMAPINFOHEADER* header = VideoBitmapHeader(c.type);
        BITMAPINFOHEADER copy;

        // Verification
        EXPECT_EQ(header != nullptr, c.found);
        EXPECT_EQ(VideoBitmapHeader(c.type, copy), c.found);
        EXPECT_EQ(copy.biWidth, c.found ? 720 : 0); // untouched without a header
    }
    EXPECT_EQ(VideoBitmapHeader(noBlock), nullptr);
}

TEST(FormatBlockTest, FieldsSitAtTheOffsetsStoredFilesAndDevicesUse) {
    // Setup
    BYTE block[sizeof(VIDEOINFOHEADER2)] = {};
    const std::int64_t frame = 333667;
    std::memcpy(block + 40, &frame, 8);
    const std::int32_t width = 720, height = 480;
    std::memcpy(block + 76, &width, 4);
    std::memcpy(block + 80, &height, 4);
    BYTE dv[sizeof(DVINFO)] = {};
    dv[DVINFO_SYSTEM_BYTE] = DVINFO_50HZ_BIT;
    BYTE wave[sizeof(WAVEFORMATEX)] = {};
    const std::uint32_t rate = 48000;
    const std::uint16_t bits = 16;
    std::memcpy(wave + 4, &rate, 4);
    std::memcpy(wave + 14, &bits, 2);

    // Exercise
    VIDEOINFOHEADER2 vih2;
    std::memcpy(&vih2, block, sizeof vih2);
    DVINFO info;
    std::memcpy(&info, dv, sizeof info);
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, wave, sizeof wfx);

    // Verification
    EXPECT_EQ(vih2.AvgTimePerFrame, 333667);
    EXPECT_EQ(vih2.bmiHeader.biWidth, 720);
    EXPECT_EQ(vih2.bmiHeader.biHeight, 480);
    EXPECT_EQ((info.dwDVVAuxSrc >> 16) & 0xFF, DVINFO_50HZ_BIT);
    EXPECT_EQ(wfx.nSamplesPerSec, 48000u);
    EXPECT_EQ(wfx.wBitsPerSample, 16);
}

TEST(FormatBlockTest, ImageSizeIsComputedWhenTheHeaderLeavesItZero) {
    // Setup
    BITMAPINFOHEADER rgb15;
    rgb15.biWidth = 3;
    rgb15.biHeight = -2; // top-down rows count the same
    rgb15.biBitCount = 15;
    rgb15.biPlanes = 1;
    BITMAPINFOHEADER given = rgb15;
    given.biSizeImage = 1234;

    // Exercise / Verification: 3 pixels of 16 bits = 6 bytes, padded to 8, times 2 rows.
    EXPECT_EQ(DibImageSize(rgb15), 16u);
    EXPECT_EQ(DibImageSize(given), 1234u);
    EXPECT_EQ(DibRowBytes(720, 24), 2160u);
}

} // namespace
} // namespace talvence
