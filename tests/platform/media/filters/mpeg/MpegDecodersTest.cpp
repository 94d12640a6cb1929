#include "filters/BaseClass/CountingFilters.h"
#include "platform/devices/virtual/MpegBoxStream.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"
#include "platform/media/filters/mpeg/Mpeg2VideoDecoder.h"
#include "platform/media/filters/mpeg/MpegAudioDecoder.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace talvence {
namespace {

using testing::FirstPin;

// Source (the program stream) → demultiplexer pin of the type → decoder → recording sink of
// the subtype.
struct DecodeGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source;
    ComPtr<TMpeg2Demultiplexer> demux{new TMpeg2Demultiplexer};
    ComPtr<TCountingSink> sink;

    DecodeGraph(const std::vector<std::uint8_t>& stream, IBaseFilter* decoder,
                const CMediaType& pinType, const GUID& major, const GUID& subtype) {
        std::vector<std::vector<BYTE>> chunks;
        for (std::size_t at = 0; at < stream.size(); at += 8192)
            chunks.emplace_back(stream.begin() + std::ptrdiff_t(at),
                                stream.begin() + std::ptrdiff_t(std::min(stream.size(), at + 8192)));
        source = new TCountingSource(ProgramStreamType(), chunks);
        for (auto& f : source->frames) f.start.reset();
        sink = TCountingSink::Recording(Accepting(major, subtype));
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(demux.get(), "demux");
        graph->AddFilter(decoder, "decoder");
        graph->AddFilter(sink.get(), "Sink");
        EXPECT_EQ(graph->ConnectDirect(source->OutputPin(),
                                       FirstPin(demux.get(), PINDIR_INPUT).get(), nullptr),
                  S_OK);
        ComPtr<IPin> pin;
        EXPECT_EQ(demux->CreateOutputPin(&pinType, "Out", pin.put()), S_OK);
        ComPtr<IMPEG2StreamIdMap> map;
        pin->QueryInterface(IMPEG2StreamIdMap::iid, map.putVoid());
        map->MapStreamId(major == MEDIATYPE_Video ? 0xE0 : 0xC0, MPEG2_PROGRAM_ELEMENTARY_STREAM,
                         0, 0);
        EXPECT_EQ(graph->ConnectDirect(pin.get(), FirstPin(decoder, PINDIR_INPUT).get(), nullptr),
                  S_OK);
        EXPECT_EQ(graph->ConnectDirect(FirstPin(decoder, PINDIR_OUTPUT).get(), sink->InputPin(),
                                       nullptr),
                  S_OK);
    }
    ~DecodeGraph() { graph->Stop(); }
};

TEST(MpegDecodersTest, VideoDecodesToFfmpegsPicturesWithTheirTimes) {
    // Setup
    const std::vector<std::uint8_t> stream = MakeMpegBoxProgram(20);
    testing::TempDir dir;
    testing::WriteBytes(dir / "box.mpg", stream);
    ASSERT_EQ(testing::RunTool("ffmpeg -v error -y -i " + testing::Quote(dir / "box.mpg") +
                               " -map 0:v -f rawvideo -pix_fmt yuv420p " +
                               testing::Quote(dir / "ref.yuv"))
                  .status,
              0);
    ComPtr<TMpeg2VideoDecoder> decoder{new TMpeg2VideoDecoder};
    DecodeGraph g(stream, decoder.get(), MpegVideoPinType(), MEDIATYPE_Video, MEDIASUBTYPE_I420);
    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    // Verification
    EXPECT_EQ(g.sink->AllBytes(), testing::ReadBytes(dir / "ref.yuv"));
    const auto samples = g.sink->Samples();
    ASSERT_EQ(samples.size(), 20u);
    for (std::size_t i = 1; i < samples.size(); ++i)
        EXPECT_EQ(samples[i].start - samples[i - 1].start, 400000) << i;
    EXPECT_EQ(decoder->FramesDropped(), 0);
}

TEST(MpegDecodersTest, VideoGoesToBottomUpRgbForTheInlay) {
    ComPtr<TMpeg2VideoDecoder> decoder{new TMpeg2VideoDecoder};
    DecodeGraph g(MakeMpegBoxProgram(3), decoder.get(), MpegVideoPinType(), MEDIATYPE_Video,
                  MEDIASUBTYPE_RGB24);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    const auto samples = g.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    ASSERT_EQ(samples[0].length, 720 * 3 * 576);
    // The clock's digits are bright near the bottom of the picture: in a bottom-up bitmap, near
    // the start of the buffer; the top rows stay the dim field.
    auto luma = [&](int row, int x) {
        const BYTE* px = &samples[0].bytes[std::size_t((575 - row) * 720 * 3 + x * 3)];
        return (px[0] + px[1] + px[2]) / 3;
    };
    EXPECT_GT(luma(444, 130), 180); // the top bar of the first digit (a zero)
    EXPECT_LT(luma(10, 300), 120);
}

TEST(MpegDecodersTest, AudioDecodesToTheToneAsPcm) {
    ComPtr<TMpegAudioDecoder> decoder{new TMpegAudioDecoder};
    DecodeGraph g(MakeMpegBoxProgram(25), decoder.get(), MpegAudioPinType(), MEDIATYPE_Audio,
                  MEDIASUBTYPE_PCM);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));
    const auto* wave = g.sink->InputType().FormatAs<WAVEFORMATEX>();
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->nSamplesPerSec, 48000u);
    EXPECT_EQ(wave->nChannels, 2);
    const std::vector<BYTE> pcm = g.sink->AllBytes();
    // A second of sound (the encoder's last partial frame aside), a tone of amplitude 8000.
    EXPECT_NEAR(double(pcm.size()) / 4, 48000, 1152 * 2);
    int peak = 0;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
        peak = std::max(peak, std::abs(int(std::int16_t(pcm[i] | pcm[i + 1] << 8))));
    EXPECT_NEAR(peak, 8000, 800);
}

} // namespace
} // namespace talvence
