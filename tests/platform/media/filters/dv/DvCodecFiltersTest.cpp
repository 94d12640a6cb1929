// The DV Video Decoder, the DV Video Encoder and the Color Space Converter in graphs.

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvSegmentCodec.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <random>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using dvcodec::PixelLayout;
using Bytes = std::vector<std::uint8_t>;

// source -> filters... -> sink, connected directly in order.
struct Line {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source;
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<TCountingSink> sink;

    Line(CMediaType type, std::vector<Bytes> buffers, std::vector<ComPtr<IBaseFilter>> f,
         std::function<bool(const CMediaType&)> accept)
        : source(new TCountingSource(std::move(type), std::move(buffers))), filters(std::move(f)),
          sink(TCountingSink::Recording(std::move(accept))) {
        graph->AddFilter(source.get(), "Source");
        for (std::size_t i = 0; i < filters.size(); ++i)
            graph->AddFilter(filters[i].get(), "Filter " + std::to_string(i));
        graph->AddFilter(sink.get(), "Sink");
    }
    ~Line() { graph->Stop(); }
    HRESULT Connect() {
        ComPtr<IPin> out(source->OutputPin());
        for (auto& f : filters) {
            HRESULT hr =
                graph->ConnectDirect(out.get(), testing::PinOf(f.get(), "In").get(), nullptr);
            if (FAILED(hr)) return hr;
            out = testing::PinOf(f.get(), "Out");
        }
        return graph->ConnectDirect(out.get(), sink->InputPin(), nullptr);
    }
    bool Run() { return testing::RunToEnd(graph.get(), {sink.get()}); }
    CMediaType SinkType() {
        AM_MEDIA_TYPE mt;
        if (FAILED(sink->InputPin()->ConnectionMediaType(&mt))) return {};
        CMediaType t(mt);
        FreeMediaType(mt);
        return t;
    }
};

std::vector<Bytes> Clip(DvSystem system, int frames = 3) {
    return dvcodec::testing::ClipFrames(
        {.pal = system == DvSystem::Pal625, .sampleRate = 48000, .frames = frames});
}

class DecoderOnClips : public ::testing::TestWithParam<DvSystem> {};

TEST_P(DecoderOnClips, GivesTheCoresPixelsInBottomUpRgb24) {
    // Setup
    const DvSystem system = GetParam();
    const std::vector<Bytes> frames = Clip(system);
    ASSERT_EQ(frames.size(), 3u) << "ffmpeg could not make the clip";
    dvcodec::DvVideoDecoderCore core;
    const std::size_t pictureBytes =
        dvcodec::PictureBytes(PixelLayout::Rgb24, 720, dvcodec::FrameHeight(system));
    Line line(dvcodec::DvsdVideoType(system), frames, {ComPtr<IBaseFilter>(new TDvVideoDecoder)},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    ASSERT_EQ(line.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(line.Run());

    // Verification
    const auto records = line.sink->Samples();
    ASSERT_EQ(records.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Bytes expected(pictureBytes);
        ASSERT_EQ(core.DecodeTo(frames[i], PixelLayout::Rgb24, expected),
                  dvcodec::DvDecodeStatus::Ok);
        EXPECT_EQ(records[i].bytes, expected) << "frame " << i;
    }
    const CMediaType type = line.SinkType();
    ASSERT_NE(type.FormatAs<VIDEOINFOHEADER>(), nullptr);
    EXPECT_EQ(type.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biHeight, dvcodec::FrameHeight(system));
    EXPECT_EQ(type.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biBitCount, 24);
}

TEST_P(DecoderOnClips, OffersTheNativeLayoutFirstAndRgb24AmongTheRest) {
    // Setup
    const DvSystem system = GetParam();
    Line line(dvcodec::DvsdVideoType(system), {}, {ComPtr<IBaseFilter>(new TDvVideoDecoder)},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    ASSERT_EQ(line.graph->ConnectDirect(line.source->OutputPin(),
                                        testing::PinOf(line.filters[0].get(), "In").get(), nullptr),
              S_OK);

    // Exercise
    std::vector<GUID> offered;
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(testing::PinOf(line.filters[0].get(), "Out")->EnumMediaTypes(e.put()), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &mt, &fetched) == S_OK) {
        offered.push_back(mt->subtype);
        DeleteMediaType(mt);
    }

    // Verification
    const GUID native = system == DvSystem::Pal625 ? MEDIASUBTYPE_I420 : MEDIASUBTYPE_Y41B;
    EXPECT_EQ(offered, (std::vector<GUID>{native, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24,
                                          MEDIASUBTYPE_RGB32}));
}

INSTANTIATE_TEST_SUITE_P(Systems, DecoderOnClips,
                         ::testing::Values(DvSystem::Pal625, DvSystem::Ntsc525));

TEST(DvVideoDecoderFilter, AFloodMessageThinsTheFramesDecodedUntilTheNextRun) {
    // Setup: the sink asks for a quarter of the frames once the first has arrived
    const std::vector<Bytes> frames = Clip(DvSystem::Pal625, 12);
    ASSERT_EQ(frames.size(), 12u) << "ffmpeg could not make the clip";
    ComPtr<TDvVideoDecoder> decoder(new TDvVideoDecoder);
    Line line(dvcodec::DvsdVideoType(DvSystem::Pal625), frames, {ComPtr<IBaseFilter>(decoder)},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    ASSERT_EQ(line.Connect(), S_OK);
    auto quality = testing::PinOf(decoder.get(), "Out").As<IQualityControl>();
    ASSERT_TRUE(quality);
    line.sink->afterSample = [&](std::size_t count) {
        if (count != 1) return;
        Quality flood{};
        flood.Type = Flood;
        flood.Proportion = 250;
        quality->Notify(line.sink.get(), flood);
    };

    // Exercise
    ASSERT_TRUE(line.Run());
    const auto thinned = line.sink->Samples();
    const long passedOver = decoder->FramesPassedOver();
    ASSERT_EQ(line.graph->Stop(), S_OK);
    line.sink->afterSample = nullptr;
    ASSERT_EQ(line.graph->Run(), S_OK);
    ASSERT_TRUE(talvence::testing::WaitUntil([&] { return line.sink->endOfStreams == 2; }));
    ASSERT_EQ(line.graph->Stop(), S_OK);

    // Verification: whole frames at their own times, one in four after the message
    std::vector<REFERENCE_TIME> starts;
    for (const auto& r : thinned)
        starts.push_back(r.start / line.source->frameTime);
    EXPECT_EQ(starts, (std::vector<REFERENCE_TIME>{0, 1, 4, 8}));
    EXPECT_EQ(passedOver, 8);
    EXPECT_EQ(line.sink->Samples().size(), thinned.size() + frames.size());
    EXPECT_EQ(decoder->FramesPassedOver(), 8);
    EXPECT_EQ(decoder->FramesDropped(), 0);
}

struct EncodeCase {
    DvSystem system;
    int width;
    int height;
};

class EncoderSizes : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncoderSizes, MakesWholeFramesOfTheChosenSystem) {
    // Setup: RGB24 pictures of a gradient.
    const auto [system, width, height] = GetParam();
    const std::size_t bytes = dvcodec::PictureBytes(PixelLayout::Rgb24, width, height);
    std::vector<Bytes> pictures(3, Bytes(bytes));
    for (std::size_t p = 0; p < pictures.size(); ++p)
        for (std::size_t i = 0; i < bytes; ++i)
            pictures[p][i] = static_cast<std::uint8_t>(i / 7 + p * 40);
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    const int format = system == DvSystem::Pal625 ? dvcodec::DVENCODERVIDEOFORMAT_PAL
                                                  : dvcodec::DVENCODERVIDEOFORMAT_NTSC;
    ASSERT_EQ(encoder->put_IFormatResolution(format, dvcodec::DVENCODERFORMAT_DVSD,
                                             dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr),
              S_OK);
    Line line(dvcodec::PictureType(system, PixelLayout::Rgb24), pictures,
              {ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(encoder.get()))},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd));
    line.source->mediaType = [&] {
        CMediaType t = dvcodec::PictureType(system, PixelLayout::Rgb24);
        auto* vih = t.FormatAs<VIDEOINFOHEADER>();
        vih->bmiHeader = dvcodec::BitmapHeaderFor(PixelLayout::Rgb24, width, height);
        return t;
    }();
    ASSERT_EQ(line.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(line.Run());

    // Verification
    const auto records = line.sink->Samples();
    ASSERT_EQ(records.size(), pictures.size());
    dvcodec::DvVideoDecoderCore check;
    for (const auto& r : records) {
        EXPECT_EQ(r.bytes.size(), dvcodec::FrameBytes(system));
        EXPECT_EQ(check.Decode(r.bytes), dvcodec::DvDecodeStatus::Ok);
    }
    EXPECT_EQ(dvcodec::SystemOfDvsdType(line.SinkType()), system);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncoderSizes,
                         ::testing::Values(EncodeCase{DvSystem::Pal625, 720, 576},
                                           EncodeCase{DvSystem::Ntsc525, 720, 480},
                                           EncodeCase{DvSystem::Pal625, 320, 240}));

TEST(DvVideoEncoderFilter, LanesCodeTheWaitingPicturesAsOneCodecWouldInOrderAndDropFlushedOnes) {
    if (dvcodec::CodecThreadsForCaller() < 2) GTEST_SKIP() << "one CPU: no encoding lanes";
    // Setup: pictures of noise, each coding differently; what one codec makes of each.
    const std::size_t bytes = dvcodec::PictureBytes(PixelLayout::Yuv420p, 720, 576);
    std::mt19937 random(7);
    std::vector<Bytes> pictures(10, Bytes(bytes));
    for (auto& p : pictures)
        for (auto& b : p)
            b = static_cast<std::uint8_t>(random());
    dvcodec::DvEncoderOptions options;
    options.system = DvSystem::Pal625;
    dvcodec::DvVideoEncoderCore alone(options);
    std::vector<Bytes> expected;
    for (const auto& p : pictures) {
        Bytes frame(dvcodec::kPalFrameBytes);
        ASSERT_EQ(alone.Encode(p, PixelLayout::Yuv420p, 720, 576, frame).status,
                  dvcodec::DvEncodeStatus::Ok);
        expected.push_back(frame);
    }
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    ASSERT_EQ(encoder->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                             dvcodec::DVENCODERFORMAT_DVSD,
                                             dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr),
              S_OK);
    Line line(dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Yuv420p), {},
              {ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(encoder.get()))},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd));
    line.source->feed = TCountingSource::Feed::Queue;
    line.source->bufferCount = 8;
    line.source->bufferSize = static_cast<long>(bytes);
    ASSERT_EQ(line.Connect(), S_OK);
    auto push = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            TTestFrame f;
            f.bytes = pictures[std::size_t(i)];
            line.source->Push(f);
        }
    };

    // Exercise: the first frame held at the shut sink while the lanes take those waiting; then a
    // flush while they hold pictures 6 and 7, and two pictures after it.
    line.sink->Shut();
    ASSERT_EQ(line.graph->Run(), S_OK);
    push(0, 5);
    ASSERT_TRUE(line.sink->WaitForWaiter());
    ASSERT_TRUE(testing::WaitUntil([&] { return encoder->FramesCodedByLanes() >= 2; }));
    line.sink->Open();
    ASSERT_TRUE(testing::WaitUntil([&] { return line.sink->received == 5; }));
    line.sink->Shut();
    const long beforeFlush = encoder->FramesCodedByLanes();
    push(5, 8);
    ASSERT_TRUE(line.sink->WaitForWaiter());
    ASSERT_TRUE(
        testing::WaitUntil([&] { return encoder->FramesCodedByLanes() >= beforeFlush + 2; }));
    const ComPtr<IPin> in = testing::PinOf(encoder.get(), "In");
    ASSERT_EQ(testing::CallWithin([&] { return in->BeginFlush(); }), S_OK);
    line.sink->Open();
    ASSERT_EQ(testing::CallWithin([&] { return in->EndFlush(); }), S_OK);
    push(8, 10);
    line.source->End();
    ASSERT_TRUE(line.sink->WaitForEndOfStream(1));
    ASSERT_EQ(line.graph->Stop(), S_OK);

    // Verification: the frames of pictures 0-4, perhaps 5 (in hand at the flush), then 8 and 9,
    // each as the one codec made it.
    std::vector<Bytes> got;
    for (const auto& r : line.sink->Samples())
        got.push_back(r.bytes);
    ASSERT_TRUE(got.size() == 7 || got.size() == 8) << got.size();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(got[i] == expected[i]) << "frame " << i;
    if (got.size() == 8) {
        EXPECT_TRUE(got[5] == expected[5]);
    }
    EXPECT_TRUE(got[got.size() - 2] == expected[8]);
    EXPECT_TRUE(got.back() == expected[9]);
    EXPECT_EQ(encoder->FramesDropped(), 0);
}

TEST(DvVideoEncoderFilter, FormatSettingsFollowTheInterface) {
    // Setup
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    ComPtr<IDVEnc> dvenc = ComPtr<IBaseFilter>(encoder.get()).As<IDVEnc>();
    ASSERT_TRUE(dvenc);
    int v = 0, f = 0, r = 0;

    // Exercise / Verification: refused settings leave the format as it was.
    ASSERT_EQ(dvenc->get_IFormatResolution(&v, &f, &r, 0, nullptr), S_OK);
    EXPECT_EQ(v, dvcodec::DVENCODERVIDEOFORMAT_NTSC);
    EXPECT_EQ(dvenc->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                           dvcodec::DVENCODERFORMAT_DVSL,
                                           dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(dvenc->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                           dvcodec::DVENCODERFORMAT_DVSD,
                                           dvcodec::DVENCODERRESOLUTION_360x240, 0, nullptr),
              E_INVALIDARG);
    DVINFO info;
    EXPECT_EQ(dvenc->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                           dvcodec::DVENCODERFORMAT_DVSD,
                                           dvcodec::DVENCODERRESOLUTION_720x480, 1, &info),
              E_INVALIDARG);
    EXPECT_EQ(dvenc->put_IFormatResolution(1999, dvcodec::DVENCODERFORMAT_DVSD,
                                           dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr),
              E_INVALIDARG);
    ASSERT_EQ(dvenc->get_IFormatResolution(&v, &f, &r, 1, &info), S_OK);
    EXPECT_EQ(v, dvcodec::DVENCODERVIDEOFORMAT_NTSC);
    EXPECT_EQ(dvcodec::SystemOfDvInfo(info), DvSystem::Ntsc525);
    EXPECT_EQ(dvenc->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                           dvcodec::DVENCODERFORMAT_DVSD,
                                           dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr),
              S_OK);
    ASSERT_EQ(dvenc->get_IFormatResolution(&v, &f, &r, 0, nullptr), S_OK);
    EXPECT_EQ(v, dvcodec::DVENCODERVIDEOFORMAT_PAL);
    EXPECT_EQ(f, dvcodec::DVENCODERFORMAT_DVSD);
    EXPECT_EQ(r, dvcodec::DVENCODERRESOLUTION_720x480);
    CMediaType out;
    ASSERT_EQ(encoder->GetMediaType(0, &out), S_OK);
    EXPECT_EQ(out.GetSampleSize(), 144000u);
}

TEST(DvVideoEncoderFilter, TheSystemCannotChangeUnderAConnectionOrWhileRunning) {
    // Setup
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    Line line(dvcodec::PictureType(DvSystem::Ntsc525, PixelLayout::Yuy2), {},
              {ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(encoder.get()))},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd));
    ASSERT_EQ(line.Connect(), S_OK);
    auto put = [&](int format) {
        return encoder->put_IFormatResolution(format, dvcodec::DVENCODERFORMAT_DVSD,
                                              dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr);
    };

    // Exercise / Verification
    EXPECT_EQ(put(dvcodec::DVENCODERVIDEOFORMAT_PAL), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(put(dvcodec::DVENCODERVIDEOFORMAT_NTSC), S_OK);
    ASSERT_EQ(line.graph->Pause(), S_OK);
    EXPECT_EQ(put(dvcodec::DVENCODERVIDEOFORMAT_NTSC), VFW_E_NOT_STOPPED);
    ASSERT_EQ(line.graph->Stop(), S_OK);
    int v = 0, f = 0, r = 0;
    encoder->get_IFormatResolution(&v, &f, &r, 0, nullptr);
    EXPECT_EQ(v, dvcodec::DVENCODERVIDEOFORMAT_NTSC);
}

class DecodeEncodeChain : public ::testing::TestWithParam<DvSystem> {};

TEST_P(DecodeEncodeChain, KeepsTheExactFrameSizeThroughTheColourConverter) {
    // Setup: dvsd -> decoder -> colour converter -> encoder -> dvsd
    const DvSystem system = GetParam();
    const std::vector<Bytes> frames = Clip(system, 4);
    ASSERT_EQ(frames.size(), 4u) << "ffmpeg could not make the clip";
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    encoder->put_IFormatResolution(system == DvSystem::Pal625 ? dvcodec::DVENCODERVIDEOFORMAT_PAL
                                                              : dvcodec::DVENCODERVIDEOFORMAT_NTSC,
                                   dvcodec::DVENCODERFORMAT_DVSD,
                                   dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr);
    Line line(dvcodec::DvsdVideoType(system), frames,
              {ComPtr<IBaseFilter>(new TDvVideoDecoder),
               ComPtr<IBaseFilter>(new TColorSpaceConverter),
               ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(encoder.get()))},
              Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd));
    ASSERT_EQ(line.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(line.Run());

    // Verification
    const auto records = line.sink->Samples();
    ASSERT_EQ(records.size(), frames.size());
    for (const auto& r : records)
        EXPECT_EQ(r.bytes.size(), frames[0].size());
    EXPECT_EQ(encoder->FramesDropped(), 0);
}

INSTANTIATE_TEST_SUITE_P(Systems, DecodeEncodeChain,
                         ::testing::Values(DvSystem::Pal625, DvSystem::Ntsc525));

// ---------------------------------------------------------------------------------------------
// Color Space Converter

CMediaType PictureOfSize(const GUID& subtype, int width, int height) {
    TColorSpaceConverter::Format f;
    f.width = width;
    f.height = height < 0 ? -height : height;
    if (subtype == MEDIASUBTYPE_RGB24) {
        f.rgb = true;
        f.bottomUp = height > 0;
        f.bytes = std::size_t(colorconv::Rgb24Stride(width)) * std::size_t(f.height);
    } else {
        f.yuv = subtype == MEDIASUBTYPE_YUY2   ? colorconv::YuvLayout::Yuy2
                : subtype == MEDIASUBTYPE_I420 ? colorconv::YuvLayout::Yuv420p
                                               : colorconv::YuvLayout::Yuv411p;
        f.bytes = colorconv::YuvFrameSize(f.yuv, width, f.height);
    }
    return TColorSpaceConverter::TypeOf(f, CMediaType());
}

Bytes Noise(std::size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(bytes);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(rng());
    return b;
}

struct ConvertCase {
    GUID from;
    GUID to;
    int height; // negative: top-down RGB input
};

class ColourConversions : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ColourConversions, MatchTheConverterLibrary) {
    // Setup
    const auto [from, to, height] = GetParam();
    const int width = 64, rows = std::abs(height);
    const CMediaType inType = PictureOfSize(from, width, height);
    const Bytes picture = Noise(inType.GetSampleSize(), 7);
    Line line(inType, {picture}, {ComPtr<IBaseFilter>(new TColorSpaceConverter)},
              Accepting(MEDIATYPE_Video, to));
    ASSERT_EQ(line.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(line.Run());

    // Verification: against the library's converter on the same views.
    const auto records = line.sink->Samples();
    ASSERT_EQ(records.size(), 1u);
    Bytes src = picture;
    Bytes expected(line.SinkType().GetSampleSize());
    colorconv::ColorConverter converter;
    const std::ptrdiff_t row = colorconv::Rgb24Stride(width);
    auto rgb = [&](Bytes& b, bool bottomUp) {
        return bottomUp ? colorconv::BottomUpRgb24(b.data(), width, rows, row)
                        : colorconv::Rgb24Frame{b.data(), width, rows, row};
    };
    auto layout = [](const GUID& g) {
        return g == MEDIASUBTYPE_YUY2   ? colorconv::YuvLayout::Yuy2
               : g == MEDIASUBTYPE_I420 ? colorconv::YuvLayout::Yuv420p
                                        : colorconv::YuvLayout::Yuv411p;
    };
    if (from == to && !(from == MEDIASUBTYPE_RGB24)) {
        expected = src; // a YUV layout asked for as it comes is passed on unchanged
    } else if (from == MEDIASUBTYPE_RGB24 && to == MEDIASUBTYPE_RGB24) {
        for (int y = 0; y < rows; ++y)
            std::memcpy(rgb(expected, true).top + rgb(expected, true).stride * y,
                        rgb(src, height > 0).top + rgb(src, height > 0).stride * y,
                        std::size_t(width) * 3);
    } else if (from == MEDIASUBTYPE_RGB24) {
        ASSERT_TRUE(converter.Rgb24ToYuv(
            rgb(src, height > 0),
            colorconv::YuvFrameOver(expected.data(), layout(to), width, rows)));
    } else {
        ASSERT_TRUE(converter.YuvToRgb24(
            colorconv::YuvFrameOver(src.data(), layout(from), width, rows), rgb(expected, true)));
    }
    EXPECT_EQ(records[0].bytes, expected);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ColourConversions,
                         ::testing::Values(ConvertCase{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, 48},
                                           ConvertCase{MEDIASUBTYPE_I420, MEDIASUBTYPE_RGB24, 48},
                                           ConvertCase{MEDIASUBTYPE_Y41B, MEDIASUBTYPE_RGB24, 48},
                                           ConvertCase{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_YUY2, 48},
                                           ConvertCase{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_I420, -48},
                                           ConvertCase{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_Y41B, 48},
                                           ConvertCase{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB24, -48},
                                           ConvertCase{MEDIASUBTYPE_I420, MEDIASUBTYPE_I420, 48},
                                           ConvertCase{MEDIASUBTYPE_Y41B, MEDIASUBTYPE_Y41B, 48},
                                           ConvertCase{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_YUY2, 48}));

TEST(ColorSpaceConverterFilter, RefusesConversionsBetweenYuvLayoutsAndSizeChanges) {
    // Setup
    ComPtr<TColorSpaceConverter> csc{new TColorSpaceConverter};
    const CMediaType yuy2 = PictureOfSize(MEDIASUBTYPE_YUY2, 64, 48);
    const CMediaType i420 = PictureOfSize(MEDIASUBTYPE_I420, 64, 48);
    const CMediaType rgbSmall = PictureOfSize(MEDIASUBTYPE_RGB24, 32, 48);
    const CMediaType rgb = PictureOfSize(MEDIASUBTYPE_RGB24, 64, 48);

    // Exercise / Verification
    EXPECT_EQ(csc->CheckTransform(&yuy2, &i420), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(csc->CheckTransform(&yuy2, &rgbSmall), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(csc->CheckTransform(&yuy2, &rgb), S_OK);
    const CMediaType dvsd = dvcodec::DvsdVideoType(DvSystem::Pal625);
    EXPECT_EQ(csc->CheckInputType(&dvsd), VFW_E_TYPE_NOT_ACCEPTED);
    // An odd width cannot be YUY2.
    EXPECT_FALSE(TColorSpaceConverter::FormatOf(PictureOfSize(MEDIASUBTYPE_YUY2, 63, 48)));
}

TEST(DvVideoDecoderFilter, DecodesNothingOfFramesOnlyAnEncoderAndAThinnedPreviewTake) {
    // Setup: dvsd -> decoder -> tee -> { encoder -> sink, converter (thinned) -> RGB sink }
    const std::vector<Bytes> frames = Clip(DvSystem::Pal625, 6);
    ASSERT_EQ(frames.size(), 6u) << "ffmpeg could not make the clip";
    ComPtr<CFilterGraph> g(new CFilterGraph);
    ComPtr<TCountingSource> source(
        new TCountingSource(dvcodec::DvsdVideoType(DvSystem::Pal625), frames));
    ComPtr<TDvVideoDecoder> decoder(new TDvVideoDecoder);
    ComPtr<TInfTee> tee(new TInfTee);
    ComPtr<TDvVideoEncoder> encoder(new TDvVideoEncoder);
    encoder->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL, dvcodec::DVENCODERFORMAT_DVSD,
                                   dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr);
    ComPtr<TColorSpaceConverter> converter(new TColorSpaceConverter);
    ComPtr<TCountingSink> dv = TCountingSink::Recording(AcceptingAny());
    ComPtr<TCountingSink> rgb =
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    IBaseFilter* const enc = static_cast<IBaseFilter*>(encoder.get());
    for (IBaseFilter* f : std::initializer_list<IBaseFilter*>{
             source.get(), decoder.get(), tee.get(), enc, converter.get(), dv.get(), rgb.get()})
        g->AddFilter(f, "Filter " + std::to_string(reinterpret_cast<std::uintptr_t>(f)));
    const CMediaType native = dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Yuv420p);
    ASSERT_EQ(testing::ConnectFree(g.get(), source.get(), decoder.get()), S_OK);
    ASSERT_EQ(testing::ConnectFree(g.get(), decoder.get(), tee.get(), &native), S_OK);
    ASSERT_EQ(testing::ConnectFree(g.get(), tee.get(), enc), S_OK);
    ASSERT_EQ(testing::ConnectFree(g.get(), enc, dv.get()), S_OK);
    ASSERT_EQ(testing::ConnectFree(g.get(), tee.get(), converter.get()), S_OK);
    ASSERT_EQ(testing::ConnectFree(g.get(), converter.get(), rgb.get()), S_OK);
    Quality half{};
    half.Type = Flood;
    half.Proportion = 500;

    // Exercise: the converter is told to thin once running (each run starts with every frame).
    g->Pause();
    converter->AlterQuality(half);
    ASSERT_TRUE(testing::RunToEnd(g.get(), {dv.get(), rgb.get()}));

    // Verification: the frames the preview passes over are not decoded at all, so their DV is
    // the source's own; the preview sees whole pictures only.
    const auto coded = dv->Samples();
    const auto shown = rgb->Samples();
    ASSERT_EQ(coded.size(), frames.size());
    EXPECT_GT(shown.size(), 0u);
    EXPECT_LT(shown.size(), frames.size());
    EXPECT_EQ(decoder->FramesDecodedInPart(), long(frames.size() - shown.size()));
    for (const auto& s : shown)
        EXPECT_TRUE(s.origin && !s.origin->partial);
    for (std::size_t k = 0; k < frames.size(); ++k)
        for (int seg = 0; seg < dvcodec::VideoSegmentCount(DvSystem::Pal625); ++seg) {
            const std::size_t at = dvcodec::MacroblockBlockOffset(DvSystem::Pal625, seg, 0);
            EXPECT_EQ(std::memcmp(coded[k].bytes.data() + at, frames[k].data() + at,
                                  5 * dvcodec::kDifBlockBytes),
                      0)
                << "frame " << k << " segment " << seg;
        }
}

} // namespace
} // namespace talvence
