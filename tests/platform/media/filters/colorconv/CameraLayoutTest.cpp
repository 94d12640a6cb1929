// The Color Space Converter reads cameras' layouts: UYVY and NV12 give the RGB of the same
// picture stored as YUY2 and I420. It also converts only the share of frames a preview asks for
// when nobody upstream thins them.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

constexpr int kW = 16, kH = 8;

CMediaType YuvType(const GUID& subtype, const char* fourcc, WORD bits) {
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = 400000;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = kW;
    vih.bmiHeader.biHeight = kH;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = bits;
    std::memcpy(&vih.bmiHeader.biCompression, fourcc, 4);
    vih.bmiHeader.biSizeImage = kW * kH * bits / 8;
    CMediaType mt(MEDIATYPE_Video, subtype);
    mt.SetFormatType(FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

// The RGB24 picture the converter makes of one frame.
std::vector<BYTE> ToRgb(const CMediaType& type, std::vector<BYTE> frame) {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource(type, {std::move(frame)})};
    ComPtr<TColorSpaceConverter> converter{new TColorSpaceConverter};
    auto sink = TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(converter.get(), "Converter");
    graph->AddFilter(sink.get(), "Sink");
    if (graph->ConnectDirect(source->OutputPin(), converter->GetPin(0), nullptr) != S_OK ||
        graph->ConnectDirect(converter->GetPin(1), sink->InputPin(), nullptr) != S_OK)
        return {};
    graph->Run();
    sink->WaitForSamples(1);
    graph->Stop();
    auto samples = sink->Samples();
    return samples.empty() ? std::vector<BYTE>{} : samples[0].bytes;
}

std::vector<BYTE> Ramp(std::size_t n) {
    std::vector<BYTE> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<BYTE>(16 + (i * 37) % 220);
    return v;
}

TEST(ColorSpaceConverterCameraLayouts, UyvyAndNv12ConvertAsTheirNativeTwins) {
    // Setup: one picture in each layout and its twin.
    const std::vector<BYTE> yuy2 = Ramp(kW * kH * 2);
    std::vector<BYTE> uyvy(yuy2.size());
    for (std::size_t i = 0; i < yuy2.size(); i += 2) {
        uyvy[i] = yuy2[i + 1];
        uyvy[i + 1] = yuy2[i];
    }
    const std::vector<BYTE> i420 = Ramp(kW * kH * 3 / 2);
    std::vector<BYTE> nv12(i420.begin(), i420.begin() + kW * kH);
    for (int i = 0; i < kW * kH / 4; ++i) {
        nv12.push_back(i420[kW * kH + i]);
        nv12.push_back(i420[kW * kH * 5 / 4 + i]);
    }

    // Exercise
    const auto fromYuy2 = ToRgb(YuvType(MEDIASUBTYPE_YUY2, "YUY2", 16), yuy2);
    const auto fromUyvy = ToRgb(YuvType(MEDIASUBTYPE_UYVY, "UYVY", 16), uyvy);
    const auto fromI420 = ToRgb(YuvType(MEDIASUBTYPE_I420, "I420", 12), i420);
    const auto fromNv12 = ToRgb(YuvType(MEDIASUBTYPE_NV12, "NV12", 12), nv12);

    // Verification
    ASSERT_EQ(fromYuy2.size(), std::size_t(kW * kH * 3));
    EXPECT_EQ(fromUyvy, fromYuy2);
    ASSERT_EQ(fromI420.size(), std::size_t(kW * kH * 3));
    EXPECT_EQ(fromNv12, fromI420);
}

TEST(ColorSpaceConverterThinning, AFloodNobodyUpstreamHonoursThinsTheFramesConverted) {
    // Setup: twelve frames from a source that takes no quality messages; the sink asks for a
    // quarter once the first has arrived.
    std::vector<std::vector<BYTE>> frames(12, Ramp(kW * kH * 3 / 2));
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{
        new TCountingSource(YuvType(MEDIASUBTYPE_I420, "I420", 12), frames)};
    ComPtr<TColorSpaceConverter> converter{new TColorSpaceConverter};
    auto sink = TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(converter.get(), "Converter");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), converter->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(converter->GetPin(1), sink->InputPin(), nullptr), S_OK);
    ComPtr<IQualityControl> quality;
    ASSERT_EQ(converter->GetPin(1)->QueryInterface(IQualityControl::iid, quality.putVoid()), S_OK);
    sink->afterSample = [&](std::size_t count) {
        if (count != 1) return;
        Quality flood{};
        flood.Type = Flood;
        flood.Proportion = 250;
        quality->Notify(sink.get(), flood);
    };

    // Exercise
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream(1));
    ASSERT_EQ(graph->Stop(), S_OK);

    // Verification: the first frame, then one in four.
    std::vector<REFERENCE_TIME> starts;
    for (const auto& r : sink->Samples()) starts.push_back(r.start / 400000);
    EXPECT_EQ(starts, (std::vector<REFERENCE_TIME>{0, 1, 4, 8}));
    EXPECT_EQ(converter->FramesPassedOver(), 8);
}

} // namespace
} // namespace talvence
