// Truncated, oversized and random-byte frames: every filter refuses or drops them and the
// stream runs on to its end without an error event.

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvMuxerFilter.h"
#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"

#include <gtest/gtest.h>

#include <random>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Random(std::size_t size, std::mt19937& rng) {
    Bytes b(size);
    for (auto& v : b)
        v = static_cast<std::uint8_t>(rng());
    return b;
}

// A good PAL frame, then bad ones, then the good frame again.
std::vector<Bytes> MixedFrames(const Bytes& good, std::mt19937& rng) {
    Bytes truncated(good.begin(), good.begin() + 100000);
    Bytes oversized = good;
    oversized.resize(good.size() + 4000, 0xAB);
    return {good,
            truncated,
            oversized,
            Random(1, rng),
            Random(dvcodec::kNtscFrameBytes, rng),
            Random(dvcodec::kPalFrameBytes, rng),
            good};
}

struct Graph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ~Graph() { graph->Stop(); }
    void Add(IBaseFilter* f, const char* name) { graph->AddFilter(f, name); }
    HRESULT Link(IPin* out, IPin* in) { return graph->ConnectDirect(out, in, nullptr); }
};

TEST(BadFrames, TheSplitterPassesOnlyWholeFramesOfItsSystem) {
    // Setup
    std::mt19937 rng(1);
    const auto clip = dvcodec::testing::ClipFrames({.pal = true, .frames = 1});
    ASSERT_EQ(clip.size(), 1u);
    Graph g;
    ComPtr<TCountingSource> source{new TCountingSource(
        dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(DvSystem::Pal625, 48000)),
        MixedFrames(clip[0], rng))};
    ComPtr<TDvSplitter> splitter{new TDvSplitter};
    ComPtr<TCountingSink> video{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd))};
    ComPtr<TCountingSink> audio{
        TCountingSink::Recording(Accepting(MEDIATYPE_Audio, MEDIASUBTYPE_PCM))};
    g.Add(source.get(), "Source");
    g.Add(splitter.get(), "Splitter");
    g.Add(video.get(), "Video");
    g.Add(audio.get(), "Audio");
    ASSERT_EQ(g.Link(source->OutputPin(), splitter->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(splitter->GetPin(1), video->InputPin()), S_OK);
    ASSERT_EQ(g.Link(splitter->GetPin(2), audio->InputPin()), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {video.get(), audio.get()}));

    // Verification: the two good frames and the random whole PAL frame.
    EXPECT_EQ(video->Samples().size(), 3u);
    EXPECT_EQ(audio->Samples().size(), 3u);
    EXPECT_EQ(splitter->FramesRefused(), 4);
    EXPECT_EQ(testing::CountEvents(testing::TakeEvents(g.graph.get()), EC_ERRORABORT), 0);
}

TEST(BadFrames, TheDecoderDropsWhatItCannotDecode) {
    // Setup
    std::mt19937 rng(2);
    const auto clip = dvcodec::testing::ClipFrames({.pal = true, .frames = 1});
    ASSERT_EQ(clip.size(), 1u);
    const std::vector<Bytes> frames = MixedFrames(clip[0], rng);
    Graph g;
    ComPtr<TCountingSource> source{
        new TCountingSource(dvcodec::DvsdVideoType(DvSystem::Pal625), frames)};
    ComPtr<TDvVideoDecoder> decoder{new TDvVideoDecoder};
    ComPtr<TCountingSink> sink{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24))};
    g.Add(source.get(), "Source");
    g.Add(decoder.get(), "Decoder");
    g.Add(sink.get(), "Sink");
    ASSERT_EQ(g.Link(source->OutputPin(), decoder->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(decoder->GetPin(1), sink->InputPin()), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {sink.get()}));

    // Verification: the wrong sizes are dropped; random bytes of the right size may decode.
    const auto records = sink->Samples();
    EXPECT_GE(records.size(), 2u);
    EXPECT_EQ(long(records.size()) + decoder->FramesDropped(), long(frames.size()));
    EXPECT_GE(decoder->FramesDropped(), 4);
    for (const auto& r : records)
        EXPECT_EQ(r.bytes.size(), std::size_t(720 * 3 * 576));
    const auto events = testing::TakeEvents(g.graph.get());
    EXPECT_EQ(testing::CountEvents(events, EC_ERRORABORT), 0);
    EXPECT_EQ(testing::CountEvents(events, EC_QUALITY_CHANGE), 1);
}

TEST(BadFrames, TheMuxerRefusesVideoSamplesThatAreNotWholeFrames) {
    // Setup
    std::mt19937 rng(3);
    const auto clip = dvcodec::testing::ClipFrames({.pal = true, .frames = 1});
    ASSERT_EQ(clip.size(), 1u);
    Graph g;
    ComPtr<TCountingSource> source{
        new TCountingSource(dvcodec::DvsdVideoType(DvSystem::Pal625), MixedFrames(clip[0], rng))};
    ComPtr<TDvMuxer> mux{new TDvMuxer};
    ComPtr<TCountingSink> sink{
        TCountingSink::Recording(Accepting(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd))};
    g.Add(source.get(), "Source");
    g.Add(mux.get(), "Muxer");
    g.Add(sink.get(), "Sink");
    ASSERT_EQ(g.Link(source->OutputPin(), mux->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(mux->GetPin(2), sink->InputPin()), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {sink.get()}));

    // Verification
    const auto records = sink->Samples();
    EXPECT_EQ(records.size(), 3u);
    for (const auto& r : records)
        EXPECT_EQ(r.bytes.size(), dvcodec::kPalFrameBytes);
    EXPECT_EQ(mux->FramesRefused(), 4);
    EXPECT_EQ(testing::CountEvents(testing::TakeEvents(g.graph.get()), EC_ERRORABORT), 0);
}

TEST(BadFrames, TheEncoderAndTheConverterDropSamplesShorterThanTheirPicture) {
    // Setup: RGB24 720x576 -> encoder -> sink, and the same pictures -> converter -> YUY2 sink.
    std::mt19937 rng(4);
    const CMediaType rgb = dvcodec::PictureType(DvSystem::Pal625, dvcodec::PixelLayout::Rgb24);
    const std::size_t bytes = rgb.GetSampleSize();
    const std::vector<Bytes> pictures = {
        Random(bytes, rng),        Random(100, rng),       Bytes(),
        Random(bytes + 5000, rng), Random(bytes - 1, rng), Random(bytes, rng)};
    Graph g;
    ComPtr<TCountingSource> s1{new TCountingSource(rgb, pictures)};
    ComPtr<TCountingSource> s2{new TCountingSource(rgb, pictures)};
    ComPtr<TDvVideoEncoder> encoder{new TDvVideoEncoder};
    encoder->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL, dvcodec::DVENCODERFORMAT_DVSD,
                                   dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr);
    ComPtr<TColorSpaceConverter> csc{new TColorSpaceConverter};
    ComPtr<TCountingSink> dv{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd))};
    ComPtr<TCountingSink> yuy2{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_YUY2))};
    g.Add(s1.get(), "S1");
    g.Add(s2.get(), "S2");
    g.Add(static_cast<IBaseFilter*>(encoder.get()), "Encoder");
    g.Add(csc.get(), "Converter");
    g.Add(dv.get(), "DV");
    g.Add(yuy2.get(), "YUY2");
    ASSERT_EQ(g.Link(s1->OutputPin(), encoder->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(encoder->GetPin(1), dv->InputPin()), S_OK);
    ASSERT_EQ(g.Link(s2->OutputPin(), csc->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(csc->GetPin(1), yuy2->InputPin()), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {dv.get(), yuy2.get()}));

    // Verification
    EXPECT_EQ(dv->Samples().size(), 3u);
    for (const auto& r : dv->Samples())
        EXPECT_EQ(r.bytes.size(), dvcodec::kPalFrameBytes);
    EXPECT_EQ(encoder->FramesDropped(), 3);
    EXPECT_EQ(yuy2->Samples().size(), 3u);
    EXPECT_EQ(csc->FramesDropped(), 3);
    EXPECT_EQ(testing::CountEvents(testing::TakeEvents(g.graph.get()), EC_ERRORABORT), 0);
}

TEST(BadFrames, RandomStreamsRunThroughSplitterDecoderAndMuxerToTheirEnd) {
    // Setup: 60 samples of random sizes and bytes, whole frames of either system among them.
    std::mt19937 rng(5);
    const std::size_t sizes[] = {0, 1, 80, 119999, 120000, 143999, 144000, 144001, 300000};
    std::vector<Bytes> frames;
    for (int i = 0; i < 60; ++i)
        frames.push_back(Random(sizes[rng() % std::size(sizes)], rng));
    // source -> splitter -> muxer (video and audio) -> splitter -> decoder -> pictures
    //                                                            -> audio
    Graph g;
    ComPtr<TCountingSource> source{new TCountingSource(
        dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(DvSystem::Pal625, 48000)), frames)};
    ComPtr<TDvSplitter> splitter{new TDvSplitter};
    ComPtr<TDvMuxer> mux{new TDvMuxer};
    ComPtr<TDvSplitter> again{new TDvSplitter};
    ComPtr<TDvVideoDecoder> decoder{new TDvVideoDecoder};
    ComPtr<TCountingSink> pictures{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24))};
    ComPtr<TCountingSink> audio{
        TCountingSink::Recording(Accepting(MEDIATYPE_Audio, MEDIASUBTYPE_PCM))};
    for (auto [f, n] :
         std::initializer_list<std::pair<IBaseFilter*, const char*>>{{source.get(), "Source"},
                                                                     {splitter.get(), "Splitter"},
                                                                     {mux.get(), "Muxer"},
                                                                     {again.get(), "Splitter 2"},
                                                                     {decoder.get(), "Decoder"},
                                                                     {pictures.get(), "Pictures"},
                                                                     {audio.get(), "Audio"}})
        g.Add(f, n);
    ASSERT_EQ(g.Link(source->OutputPin(), splitter->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(splitter->GetPin(1), mux->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(splitter->GetPin(2), mux->GetPin(1)), S_OK);
    ASSERT_EQ(g.Link(mux->GetPin(2), again->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(again->GetPin(1), decoder->GetPin(0)), S_OK);
    ASSERT_EQ(g.Link(decoder->GetPin(1), pictures->InputPin()), S_OK);
    ASSERT_EQ(g.Link(again->GetPin(2), audio->InputPin()), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {pictures.get(), audio.get()}));

    // Verification: whole PAL frames pass the splitters, each with one share of audio.
    long whole = 0;
    for (const Bytes& f : frames)
        whole += f.size() == dvcodec::kPalFrameBytes;
    EXPECT_EQ(splitter->FramesRefused(), long(frames.size()) - whole);
    EXPECT_EQ(long(audio->Samples().size()), whole);
    EXPECT_LE(long(pictures->Samples().size()), whole);
    EXPECT_EQ(testing::CountEvents(testing::TakeEvents(g.graph.get()), EC_ERRORABORT), 0);
}

} // namespace
} // namespace talvence
