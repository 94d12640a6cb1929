// The DV Muxer filter: split -> mux -> split gives back the audio and the video.

#include "platform/media/filters/dv/DvMuxerFilter.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using Bytes = std::vector<std::uint8_t>;

// source -> splitter -> muxer -> splitter -> video sink, audio sink; the audio path optional.
struct RoundTrip {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source;
    ComPtr<TDvSplitter> first{new TDvSplitter};
    ComPtr<TDvMuxer> mux{new TDvMuxer};
    ComPtr<TDvSplitter> second{new TDvSplitter};
    ComPtr<TCountingSink> video{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd))};
    ComPtr<TCountingSink> audio{
        TCountingSink::Recording(Accepting(MEDIATYPE_Audio, MEDIASUBTYPE_PCM))};

    RoundTrip(DvSystem system, int rate, std::vector<Bytes> frames) {
        source = new TCountingSource(dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(system, rate)),
                                     std::move(frames), dvcodec::FrameDuration(system));
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(first.get(), "Splitter 1");
        graph->AddFilter(mux.get(), "DV Muxer");
        graph->AddFilter(second.get(), "Splitter 2");
        graph->AddFilter(video.get(), "Video");
        graph->AddFilter(audio.get(), "Audio");
    }
    ~RoundTrip() { graph->Stop(); }
    HRESULT Connect(bool withAudio) {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), first->GetPin(0), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(first->GetPin(1), mux->GetPin(0), nullptr);
        if (SUCCEEDED(hr) && withAudio)
            hr = graph->ConnectDirect(first->GetPin(2), mux->GetPin(1), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(mux->GetPin(2), second->GetPin(0), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(second->GetPin(1), video->InputPin(), nullptr);
        if (SUCCEEDED(hr) && withAudio)
            hr = graph->ConnectDirect(second->GetPin(2), audio->InputPin(), nullptr);
        return hr;
    }
    bool Run(bool withAudio) {
        std::vector<TCountingSink*> sinks{video.get()};
        if (withAudio) sinks.push_back(audio.get());
        return testing::RunToEnd(graph.get(), sinks);
    }
};

// The byte ranges of a DV frame that hold audio blocks (3-byte id, 5-byte pack, 72 samples).
bool InAudioBlock(std::size_t offset) {
    const std::size_t block = (offset % 12000) / 80;
    return block >= 6 && (block - 6) % 16 == 0;
}

Bytes SplitPcm(const std::vector<Bytes>& frames) {
    dvcodec::DvSplitterCore core;
    Bytes pcm;
    for (const Bytes& f : frames) {
        const auto r = core.Split(f);
        pcm.insert(pcm.end(), r.pcm.begin(), r.pcm.end());
    }
    return pcm;
}

class MuxRoundTrip : public ::testing::TestWithParam<dvcodec::testing::ClipRecipe> {};

TEST_P(MuxRoundTrip, GivesTheSameAudioAndTheSameVideoBlocks) {
    // Setup
    const auto recipe = GetParam();
    const std::vector<Bytes> frames = dvcodec::testing::ClipFrames(recipe);
    ASSERT_EQ(frames.size(), std::size_t(recipe.frames)) << "ffmpeg could not make the clip";
    const DvSystem system = recipe.pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
    const Bytes original = SplitPcm(frames);
    RoundTrip t(system, recipe.sampleRate, frames);
    ASSERT_EQ(t.Connect(true), S_OK);

    // Exercise
    ASSERT_TRUE(t.Run(true));

    // Verification: every frame, every byte outside the audio blocks as it was.
    const auto records = t.video->Samples();
    ASSERT_EQ(records.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(records[i].bytes.size(), frames[i].size());
        std::size_t differing = 0;
        for (std::size_t b = 0; b < frames[i].size(); ++b)
            if (!InAudioBlock(b) && records[i].bytes[b] != frames[i][b]) ++differing;
        EXPECT_EQ(differing, 0u) << "frame " << i;
    }
    // The same audio, frame by frame: the muxer gives each frame the share the clip had.
    EXPECT_EQ(t.audio->AllBytes(), original);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, MuxRoundTrip,
    ::testing::Values(dvcodec::testing::ClipRecipe{.pal = true, .sampleRate = 48000},
                      dvcodec::testing::ClipRecipe{.pal = false, .sampleRate = 48000, .frames = 7},
                      dvcodec::testing::ClipRecipe{.pal = true, .sampleRate = 44100}));

TEST(DvMuxerFilter, WithoutAudioTheFramesAnnounceNone) {
    // Setup
    const std::vector<Bytes> frames = dvcodec::testing::ClipFrames({.pal = true, .frames = 3});
    ASSERT_EQ(frames.size(), 3u);
    RoundTrip t(DvSystem::Pal625, 48000, frames);
    ASSERT_EQ(t.Connect(false), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(t.mux->GetPin(2)->ConnectionMediaType(&mt), S_OK);
    const CMediaType outType(mt);
    FreeMediaType(mt);

    // Exercise
    ASSERT_TRUE(t.Run(false));

    // Verification
    const auto records = t.video->Samples();
    ASSERT_EQ(records.size(), 3u);
    for (const auto& r : records) {
        dvcodec::DvAudioSource source;
        EXPECT_EQ(dvcodec::ReadAudioSource(r.bytes, DvSystem::Pal625, source),
                  dvcodec::DvAudioStatus::NoAudio);
    }
    ASSERT_NE(outType.FormatAs<DVINFO>(), nullptr);
    EXPECT_FALSE(dvcodec::WaveFormatFromDvInfo(*outType.FormatAs<DVINFO>()).has_value());
    EXPECT_EQ(dvcodec::SystemOfDvInfo(*outType.FormatAs<DVINFO>()), DvSystem::Pal625);
}

// video source -> muxer video, audio source -> muxer audio, muxer -> recording sink.
struct SeparateSources {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> video;
    ComPtr<TCountingSource> audio;
    ComPtr<TDvMuxer> mux{new TDvMuxer};
    ComPtr<TCountingSink> sink{
        TCountingSink::Recording(Accepting(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd))};

    SeparateSources(std::vector<Bytes> frames, std::vector<Bytes> pcm)
        : video(new TCountingSource(dvcodec::DvsdVideoType(DvSystem::Pal625), std::move(frames))),
          audio(new TCountingSource(dvcodec::PcmType(dvcodec::PcmWaveFormat(48000, 2)),
                                    std::move(pcm))) {
        graph->AddFilter(video.get(), "Video");
        graph->AddFilter(audio.get(), "Audio");
        graph->AddFilter(mux.get(), "DV Muxer");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~SeparateSources() { graph->Stop(); }
    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(video->OutputPin(), mux->GetPin(0), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(audio->OutputPin(), mux->GetPin(1), nullptr);
        if (SUCCEEDED(hr)) hr = graph->ConnectDirect(mux->GetPin(2), sink->InputPin(), nullptr);
        return hr;
    }
};

TEST(DvMuxerFilter, AudioThatEndsEarlyLeavesTheRemainingFramesSilent) {
    // Setup: the video and audio from separate sources; the audio covers one frame and a half.
    const std::vector<Bytes> frames = dvcodec::testing::ClipFrames({.pal = true, .frames = 4});
    ASSERT_EQ(frames.size(), 4u);
    Bytes tone(2880 * 4);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::uint8_t>(i * 7 + 1);
    SeparateSources g(frames, {tone});
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.sink.get()}));

    // Verification
    const auto records = g.sink->Samples();
    ASSERT_EQ(records.size(), 4u);
    const Bytes pcm =
        SplitPcm({records[0].bytes, records[1].bytes, records[2].bytes, records[3].bytes});
    ASSERT_EQ(pcm.size(), 4u * 1920 * 4);
    Bytes expected = tone;
    expected.resize(pcm.size(), 0);
    EXPECT_EQ(pcm, expected);
    EXPECT_GE(g.mux->FramesPadded(), 1);
    EXPECT_EQ(records[2].start, 2 * 400000);
}

} // namespace
} // namespace talvence

namespace talvence {
namespace {

TEST(DvMuxerFilter, AudioGoesOnWhileDownstreamTakesAFrameAndTheFramesKeepTheirOrder) {
    // Setup: video and audio pushed by the test from their own sources; the sink shut.
    const std::vector<Bytes> frames = dvcodec::testing::ClipFrames({.pal = true, .frames = 4});
    ASSERT_EQ(frames.size(), 4u);
    SeparateSources g({}, {});
    for (TCountingSource* s : {g.video.get(), g.audio.get()}) {
        s->feed = TCountingSource::Feed::Queue;
        s->bufferCount = 4;
    }
    g.video->bufferSize = long(frames[0].size());
    g.audio->bufferSize = 1920 * 4;
    std::vector<Bytes> chunks(4, Bytes(1920 * 4));
    Bytes tone;
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        for (std::size_t i = 0; i < chunks[c].size(); ++i)
            chunks[c][i] = static_cast<std::uint8_t>(i * 7 + c * 31 + 1);
        tone.insert(tone.end(), chunks[c].begin(), chunks[c].end());
    }
    ASSERT_EQ(g.Connect(), S_OK);
    auto push = [](TCountingSource& source, const Bytes& bytes,
                   std::optional<REFERENCE_TIME> start) {
        TTestFrame f;
        f.bytes = bytes;
        f.start = start;
        source.Push(f);
    };
    auto video = [&](int i) { push(*g.video, frames[std::size_t(i)], i * 400000); };

    // Exercise: frame 0 completed by the video's thread and held at the sink; meanwhile the
    // audio of the next three frames comes.
    g.sink->Shut();
    ASSERT_EQ(g.graph->Run(), S_OK);
    push(*g.audio, chunks[0], std::nullopt);
    ASSERT_TRUE(testing::WaitUntil([&] { return g.audio->delivered == 1; }));
    video(0);
    ASSERT_TRUE(g.sink->WaitForWaiter());
    for (int c = 1; c < 4; ++c)
        push(*g.audio, chunks[std::size_t(c)], std::nullopt);
    const bool audioWentOn = testing::WaitUntil([&] { return g.audio->delivered == 4; });
    g.sink->Open();
    for (int i = 1; i < 4; ++i)
        video(i);
    g.video->End();
    g.audio->End();
    ASSERT_TRUE(g.sink->WaitForEndOfStream(1));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_TRUE(audioWentOn);
    const auto records = g.sink->Samples();
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].start, REFERENCE_TIME(i) * 400000);
    EXPECT_EQ(SplitPcm({records[0].bytes, records[1].bytes, records[2].bytes, records[3].bytes}),
              tone);
    EXPECT_EQ(g.mux->FramesPadded(), 0);
}

TEST(DvMuxerFilter, AudioConnectedAfterTheOutputReconnectsItWithTheAudioAnnounced) {
    // Setup: video in and the output connected first, as a recipe may do.
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> videoSource{
        new TCountingSource(dvcodec::DvsdVideoType(DvSystem::Ntsc525), {})};
    ComPtr<TCountingSource> audioSource{
        new TCountingSource(dvcodec::PcmType(dvcodec::PcmWaveFormat(32000, 1)), {})};
    ComPtr<TDvMuxer> mux{new TDvMuxer};
    ComPtr<TCountingSink> sink{
        TCountingSink::Recording(Accepting(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd))};
    graph->AddFilter(videoSource.get(), "Video");
    graph->AddFilter(audioSource.get(), "Audio");
    graph->AddFilter(mux.get(), "DV Muxer");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->ConnectDirect(videoSource->OutputPin(), mux->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(mux->GetPin(2), sink->InputPin(), nullptr), S_OK);
    auto announced = [&] {
        AM_MEDIA_TYPE mt;
        if (FAILED(sink->InputPin()->ConnectionMediaType(&mt)))
            return std::optional<WAVEFORMATEX>();
        const CMediaType t(mt);
        FreeMediaType(mt);
        return dvcodec::WaveFormatFromDvInfo(*t.FormatAs<DVINFO>());
    };
    const auto before = announced();

    // Exercise
    ASSERT_EQ(graph->ConnectDirect(audioSource->OutputPin(), mux->GetPin(1), nullptr), S_OK);

    // Verification
    EXPECT_FALSE(before.has_value());
    const auto after = announced();
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->nSamplesPerSec, 32000u);
}

} // namespace
} // namespace talvence
