#include "graph/FrameGrabber.h"

#include "graph/DeviceCategories.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"
#include "tests/graph/FakeGrabber.h"
#include "tests/graph/GraphTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

using namespace graphtest;

constexpr long kFrameBytes = 320 * 240 * 3;

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits, DWORD sizeImage = 0) {
    BITMAPINFOHEADER h;
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = BI_RGB;
    h.biSizeImage = sizeImage;
    return h;
}

// A video type whose block is `length` bytes with the header at its place for the format type.
CMediaType VideoType(const GUID& formatType, ULONG length, const BITMAPINFOHEADER& header,
                     const GUID& major = MEDIATYPE_Video) {
    CMediaType mt(major, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(formatType);
    std::vector<BYTE> block(length, 0);
    const std::size_t at = formatType == FORMAT_VideoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader)
                                                           : offsetof(VIDEOINFOHEADER, bmiHeader);
    if (at + sizeof header <= length) std::memcpy(block.data() + at, &header, sizeof header);
    mt.SetFormat(block.data(), length);
    return mt;
}

std::vector<BYTE> Counting(std::size_t n) {
    std::vector<BYTE> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<BYTE>(i + 1);
    return bytes;
}

// The grabber slot over a stand-in grabber whose answers the test sets.
class FakeGrabberTest : public ::testing::Test {
protected:
    TestPlatform platform;
    std::shared_ptr<FakeGrabberState> state = std::make_shared<FakeGrabberState>();
    TFilterGraph fg{platform.registry};
    TSampleGrabber sg;
    TDibBitmap bitmap;

    void SetUp() override {
        RegisteredFilter entry;
        entry.clsid = MakeGuid("3E7A9C10-52B4-4F6D-8A21-6C0D4E9B7F31");
        entry.friendlyName = "Fake grabber";
        std::weak_ptr<FakeGrabberState> weak = state;
        entry.create = [weak] { return MakeFakeGrabber(weak.lock()); };
        platform.registry->Register(CLSID_LegacyAmFilterCategory, entry);
        sg.SetBaseFilter(platform.FilterMoniker(entry.clsid));
        sg.SetFilterGraph(&fg);
        // A bitmap from an earlier grab, which failures must leave alone.
        bitmap.header = Header(1, 1, 24, 4);
        bitmap.bits = {9, 9, 9, 0};
    }
    void Answer(const CMediaType& type, std::vector<BYTE> sample) {
        state->connectedType = type;
        state->buffer = std::move(sample);
    }
    void ExpectUnchanged() const {
        EXPECT_EQ(bitmap.Width(), 1);
        EXPECT_EQ(bitmap.bits, (std::vector<BYTE>{9, 9, 9, 0}));
    }
};

TEST_F(FakeGrabberTest, JoiningFixesTheAcceptedTypeAndBuffersSamples) {
    // Verification
    EXPECT_TRUE(state->acceptedType.majortype == MEDIATYPE_Video);
    EXPECT_TRUE(state->acceptedType.subtype == MEDIASUBTYPE_RGB24);
    EXPECT_TRUE(state->acceptedType.formattype == FORMAT_VideoInfo);
    EXPECT_TRUE(state->acceptedType.IsFixedSize());
    EXPECT_TRUE(state->bufferSamples);
    EXPECT_FALSE(state->oneShot);
}

TEST_F(FakeGrabberTest, OnlyVideoWithAFullVideoInfoOrAnExactVideoInfo2BlockQualifies) {
    const auto header = Header(2, 2, 24);
    struct Case {
        const char* what;
        CMediaType type;
        bool grabbed;
    } cases[] = {
        {"VIDEOINFOHEADER of 88 bytes", VideoType(FORMAT_VideoInfo, 88, header), true},
        {"VIDEOINFOHEADER with a palette after it", VideoType(FORMAT_VideoInfo, 1112, header),
         true},
        {"VIDEOINFOHEADER cut short", VideoType(FORMAT_VideoInfo, 87, header), false},
        {"VIDEOINFOHEADER2 of 112 bytes", VideoType(FORMAT_VideoInfo2, 112, header), true},
        {"VIDEOINFOHEADER2 of 116 bytes", VideoType(FORMAT_VideoInfo2, 116, header), false},
        {"MPEG-2 video block", VideoType(FORMAT_MPEG2Video, 136, header), false},
        {"audio with a video block", VideoType(FORMAT_VideoInfo, 88, header, MEDIATYPE_Audio),
         false},
    };
    for (auto& c : cases) {
        // Setup
        SCOPED_TRACE(c.what);
        Answer(c.type, Counting(16));
        TDibBitmap out;

        // Exercise / Verification
        EXPECT_EQ(sg.GrabFrameBitmap(out), c.grabbed);
        EXPECT_EQ(out.Empty(), !c.grabbed);
    }
}

TEST_F(FakeGrabberTest, TheBitmapTakesTheBlocksHeaderAndAtMostItsImageSize) {
    // Setup: 3x2 at 24 bits is 2 rows of 12 bytes; the sample is longer
    Answer(VideoType(FORMAT_VideoInfo2, 112, Header(3, 2, 24)), Counting(40));

    // Exercise
    ASSERT_TRUE(sg.GrabFrameBitmap(bitmap));

    // Verification
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.header.biBitCount, 24);
    EXPECT_EQ(bitmap.header.biSizeImage, 24u);
    EXPECT_EQ(bitmap.bits, Counting(24));
}

TEST_F(FakeGrabberTest, ImageSizeRulesBoundTheCopy) {
    struct Case {
        const char* what;
        BITMAPINFOHEADER header;
        std::size_t sampleBytes;
        std::size_t bitmapBytes;
        std::size_t copied;
    } cases[] = {
        // 15 bits count as 16: 3 pixels are 6 bytes, padded to 8.
        {"15-bit rows", Header(3, 2, 15), 100, 16, 16},
        {"stated image size below the picture", Header(3, 2, 24, 10), 100, 24, 10},
        {"sample shorter than the picture", Header(3, 2, 24), 5, 24, 5},
        {"top-down picture", Header(3, -2, 24), 100, 24, 24},
    };
    for (auto& c : cases) {
        // Setup
        SCOPED_TRACE(c.what);
        Answer(VideoType(FORMAT_VideoInfo, 88, c.header), Counting(c.sampleBytes));
        TDibBitmap out;

        // Exercise
        ASSERT_TRUE(sg.GrabFrameBitmap(out));

        // Verification
        ASSERT_EQ(out.bits.size(), c.bitmapBytes);
        auto expected = Counting(c.copied);
        expected.resize(c.bitmapBytes, 0);
        EXPECT_EQ(out.bits, expected);
    }
}

TEST_F(FakeGrabberTest, FailuresLeaveTheBitmapAsItWas) {
    // Setup / Exercise / Verification: no sample since the start
    Answer(VideoType(FORMAT_VideoInfo, 88, Header(2, 2, 24)), Counting(16));
    state->bufferResult = VFW_E_WRONG_STATE;
    EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
    ExpectUnchanged();

    // Unconnected grabber
    state->bufferResult = S_OK;
    state->connectedResult = VFW_E_NOT_CONNECTED;
    EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
    ExpectUnchanged();

    // A header that no picture could have
    state->connectedResult = S_OK;
    for (auto header : {Header(0, 2, 24), Header(-4, 2, 24), Header(4, 0, 24), Header(4, 4, 0),
                        Header(100000, 100000, 24)}) {
        Answer(VideoType(FORMAT_VideoInfo, 88, header), Counting(16));
        EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
        ExpectUnchanged();
    }

    // The slot outside the graph
    Answer(VideoType(FORMAT_VideoInfo, 88, Header(2, 2, 24)), Counting(16));
    sg.SetFilterGraph(nullptr);
    EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
    ExpectUnchanged();
}

TEST(DibBitmapTest, ToImageTurnsBottomUpBgrRowsIntoATopDownPicture) {
    // Setup: 2x2 at 24 bits, rows of 6 bytes padded to 8, bottom row first
    TDibBitmap dib;
    dib.header = Header(2, 2, 24, 16);
    dib.bits = {255, 0, 0,   0,   255, 0,   0, 0,  // bottom: blue, green
                0,   0, 255, 255, 255, 255, 0, 0}; // top: red, white

    // Exercise
    QImage image = dib.ToImage();

    // Verification
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 255, 0));
}

TEST(DibBitmapTest, ToImageReadsTopDown32BitRowsAndRefusesWhatItCannotShow) {
    // Setup
    TDibBitmap dib;
    dib.header = Header(1, -2, 32, 8);
    dib.bits = {0, 0, 255, 0, 0, 255, 0, 0}; // top: red, bottom: green
    TDibBitmap palettized;
    palettized.header = Header(4, 1, 8, 4);
    palettized.bits = {1, 2, 3, 4};
    TDibBitmap truncated;
    truncated.header = Header(2, 2, 24, 16);
    truncated.bits = {1, 2, 3};

    // Exercise
    QImage image = dib.ToImage();

    // Verification
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 255, 0));
    EXPECT_TRUE(palettized.ToImage().isNull());
    EXPECT_TRUE(truncated.ToImage().isNull());
}

// The slot over the platform's grabber, fed by the counting source.
class GrabberGraphTest : public ::testing::Test {
protected:
    TestPlatform platform;
    TFilterGraph fg{platform.registry};
    TFilter source{"VideoSource"};
    TSampleGrabber sg;
    TFilter sink{"tsVideo"};

    void SetUp() override {
        source.SetBaseFilter(platform.FilterMoniker(CLSID_TestSource));
        sink.SetBaseFilter(platform.FilterMoniker(CLSID_TestSink));
        ASSERT_TRUE(FindFilterByClsid(platform.devEnum.get(), CLSID_LegacyAmFilterCategory,
                                      CLSID_SampleGrabber, sg));
    }
    HRESULT Build(std::function<void(TCountingSource&)> configure) {
        platform.made->configureSource = std::move(configure);
        source.SetFilterGraph(&fg);
        sg.SetFilterGraph(&fg);
        sink.SetFilterGraph(&fg);
        return fg.CaptureGraphBuilder()->RenderStream(nullptr, nullptr, source.Filter().get(),
                                                      sg.Filter().get(), sink.Filter().get());
    }
    void TearDown() override { fg.HaltGraph(); }
};

TEST_F(GrabberGraphTest, BeforeTheFirstFrameThereIsNothingToGrab) {
    // Setup
    ASSERT_EQ(Build([](TCountingSource& s) {
                  s.sampleSize = kFrameBytes;
                  s.sampleLimit = 0;
              }),
              S_OK);
    TDibBitmap bitmap;

    // Exercise / Verification
    EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
    ASSERT_TRUE(fg.RunGraph());
    EXPECT_FALSE(sg.GrabFrameBitmap(bitmap));
    EXPECT_TRUE(bitmap.Empty());
}

TEST_F(GrabberGraphTest, TheLastFrameIsGrabbedWithTheStreamsFormat) {
    // Setup
    ASSERT_EQ(Build([](TCountingSource& s) {
                  s.sampleSize = kFrameBytes;
                  s.sampleLimit = 3;
              }),
              S_OK);
    ASSERT_TRUE(fg.RunGraph());
    ASSERT_TRUE(platform.made->sink->WaitForSamples(3));
    TDibBitmap bitmap;

    // Exercise
    ASSERT_TRUE(sg.GrabFrameBitmap(bitmap));

    // Verification: the counting source fills sample n with the byte n
    EXPECT_EQ(bitmap.Width(), 320);
    EXPECT_EQ(bitmap.Height(), 240);
    EXPECT_EQ(bitmap.header.biBitCount, 24);
    ASSERT_EQ(bitmap.bits.size(), std::size_t(kFrameBytes));
    EXPECT_EQ(bitmap.bits.front(), 2);
    EXPECT_EQ(bitmap.bits.back(), 2);
    EXPECT_EQ(bitmap.ToImage().size(), QSize(320, 240));
}

TEST_F(GrabberGraphTest, TheGrabberRefusesAnythingButRgb24) {
    // Setup / Exercise
    HRESULT hr = Build([](TCountingSource& s) {
        s.mediaType.SetSubtype(MEDIASUBTYPE_RGB32);
        s.sampleSize = 320 * 240 * 4;
    });

    // Verification
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(AnyPinConnected(sg.Filter().get()));
}

} // namespace
} // namespace talvence
