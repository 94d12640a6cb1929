// The MJPEG Decompressor: a camera's JPEG picture (without Huffman tables, as webcams send them)
// into bottom-up RGB24; a damaged picture is dropped and counted, and the stream goes on.

#include "platform/media/filters/mjpeg/MjpegDecompressor.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

namespace talvence {
namespace {

constexpr int kW = 64, kH = 32;

// A JPEG whose top half is red and bottom half blue, its Huffman tables left out.
std::vector<BYTE> TwoBandJpeg() {
    std::vector<unsigned char> rgb(kW * kH * 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            unsigned char* p = &rgb[std::size_t(y * kW + x) * 3];
            p[0] = y < kH / 2 ? 220 : 20;
            p[1] = 20;
            p[2] = y < kH / 2 ? 20 : 220;
        }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), kW, 0, kH, TJPF_RGB, &jpeg, &size, TJSAMP_422, 90, 0);
    std::vector<BYTE> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    // Drop every DHT segment (FF C4 length ...), as MJPEG cameras do.
    for (std::size_t i = 2; i + 4 < out.size();) {
        if (out[i] != 0xFF) break;
        const std::size_t length = std::size_t(out[i + 2]) << 8 | out[i + 3];
        if (out[i + 1] == 0xC4)
            out.erase(out.begin() + long(i), out.begin() + long(i + 2 + length));
        else if (out[i + 1] == 0xDA)
            break;
        else
            i += 2 + length;
    }
    return out;
}

CMediaType MjpegType() {
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = 333333;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = kW;
    vih.bmiHeader.biHeight = kH;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    std::memcpy(&vih.bmiHeader.biCompression, "MJPG", 4);
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_MJPG);
    mt.SetFormatType(FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetVariableSize();
    return mt;
}

TEST(MjpegDecompressor, DecodesCameraPicturesUprightAndDropsDamagedOnes) {
    // Setup: a good picture, a truncated one, a good one.
    const std::vector<BYTE> jpeg = TwoBandJpeg();
    const std::vector<BYTE> damaged(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 3));
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource(MjpegType(), {jpeg, damaged, jpeg})};
    ComPtr<TMjpegDecompressor> decoder{new TMjpegDecompressor};
    auto sink = TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24));
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(decoder.get(), "Decoder");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), decoder->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(decoder->GetPin(1), sink->InputPin(), nullptr), S_OK);

    // Exercise
    graph->Run();
    ASSERT_TRUE(sink->WaitForEndOfStream());
    graph->Stop();
    const auto samples = sink->Samples();

    // Verification: bottom-up, so the first stored row is the blue bottom.
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(decoder->FramesDropped(), 1);
    const auto& rgb = samples[0].bytes;
    ASSERT_EQ(rgb.size(), std::size_t(kW * kH * 3));
    const BYTE* bottom = &rgb[std::size_t(2 * kW * 3 + 30)];
    const BYTE* top = &rgb[std::size_t((kH - 3) * kW * 3 + 30)];
    EXPECT_GT(bottom[0], 180); // blue (B, G, R)
    EXPECT_LT(bottom[2], 60);
    EXPECT_GT(top[2], 180); // red
    EXPECT_LT(top[0], 60);
}

} // namespace
} // namespace talvence
