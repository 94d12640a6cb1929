// The DV Splitter filter in a graph, on DV made by the ffmpeg command line and by the virtual
// camcorder.

#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/shell/DateTime.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using Bytes = std::vector<std::uint8_t>;

// source -> DV Splitter -> video sink, audio sink
struct SplitGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source;
    ComPtr<TDvSplitter> splitter{new TDvSplitter};
    ComPtr<TCountingSink> video{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_dvsd))};
    ComPtr<TCountingSink> audio{
        TCountingSink::Recording(Accepting(MEDIATYPE_Audio, MEDIASUBTYPE_PCM))};

    SplitGraph(DvSystem system, int rate, std::vector<Bytes> frames) {
        source = new TCountingSource(dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(system, rate)),
                                     std::move(frames), dvcodec::FrameDuration(system));
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(splitter.get(), "DV Splitter");
        graph->AddFilter(video.get(), "Video");
        graph->AddFilter(audio.get(), "Audio");
    }
    ~SplitGraph() { graph->Stop(); }
    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), splitter->GetPin(0), nullptr);
        if (SUCCEEDED(hr))
            hr = graph->ConnectDirect(splitter->GetPin(1), video->InputPin(), nullptr);
        if (SUCCEEDED(hr))
            hr = graph->ConnectDirect(splitter->GetPin(2), audio->InputPin(), nullptr);
        return hr;
    }
    bool Run() { return testing::RunToEnd(graph.get(), {video.get(), audio.get()}); }
};

// Stop of one audio sample is the start of the next, from the first frame's time on.
void ExpectContinuous(const std::vector<TReceivedSample>& records, int rate) {
    std::uint64_t samples = 0;
    for (const auto& r : records) {
        ASSERT_TRUE(r.hasTime);
        EXPECT_EQ(r.start, REFERENCE_TIME(samples * 10000000ull / unsigned(rate)));
        samples += r.bytes.size() / 4;
        EXPECT_EQ(r.stop, REFERENCE_TIME(samples * 10000000ull / unsigned(rate)));
    }
}

class SplitterOnClips : public ::testing::TestWithParam<dvcodec::testing::ClipRecipe> {};

TEST_P(SplitterOnClips, DeliversTheFramesAndTheCoresAudioWithContinuousTimes) {
    // Setup
    const auto recipe = GetParam();
    const std::vector<Bytes> frames = dvcodec::testing::ClipFrames(recipe);
    ASSERT_EQ(frames.size(), std::size_t(recipe.frames)) << "ffmpeg could not make the clip";
    const DvSystem system = recipe.pal ? DvSystem::Pal625 : DvSystem::Ntsc525;
    dvcodec::DvSplitterCore core;
    Bytes expectedPcm;
    for (const Bytes& f : frames) {
        const auto r = core.Split(f);
        expectedPcm.insert(expectedPcm.end(), r.pcm.begin(), r.pcm.end());
    }
    SplitGraph g(system, recipe.sampleRate, frames);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.Run());

    // Verification
    const auto videoRecords = g.video->Samples();
    ASSERT_EQ(videoRecords.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(videoRecords[i].bytes, frames[i]) << "frame " << i;
        EXPECT_EQ(videoRecords[i].start, REFERENCE_TIME(i) * dvcodec::FrameDuration(system));
    }
    EXPECT_EQ(g.audio->AllBytes(), expectedPcm);
    ExpectContinuous(g.audio->Samples(), recipe.sampleRate);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(g.splitter->GetPin(2)->ConnectionMediaType(&mt), S_OK);
    CMediaType audioType(mt);
    FreeMediaType(mt);
    ASSERT_NE(audioType.FormatAs<WAVEFORMATEX>(), nullptr);
    EXPECT_EQ(audioType.FormatAs<WAVEFORMATEX>()->nSamplesPerSec, DWORD(recipe.sampleRate));
    EXPECT_EQ(g.splitter->SilentFrames(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, SplitterOnClips,
    ::testing::Values(dvcodec::testing::ClipRecipe{.pal = true, .sampleRate = 48000},
                      dvcodec::testing::ClipRecipe{.pal = false, .sampleRate = 48000, .frames = 7},
                      dvcodec::testing::ClipRecipe{.pal = true, .sampleRate = 32000}));

TEST(DvSplitterFilter, AFrameWithOtherOrNoAudioGivesItsShareOfSilenceAndTimesRunOn) {
    // Setup: 48 kHz, then 12-bit 32 kHz, then no audio, then 48 kHz again.
    DvTapeScript script;
    for (DvTapeAudio a :
         {DvTapeAudio::Pcm48k16, DvTapeAudio::Pcm32k12, DvTapeAudio::None, DvTapeAudio::Pcm48k16}) {
        DvRecording r;
        r.start = EncodeDateTime(2024, 5, 6, 7, 8, 9, 0);
        r.frames = 2;
        r.audio = a;
        script.recordings.push_back(r);
    }
    DvTapeSynthesiser tape(script);
    std::vector<Bytes> frames(8);
    for (std::size_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(tape.frame(i, frames[i])) << tape.error();
    SplitGraph g(DvSystem::Pal625, 48000, frames);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_TRUE(g.Run());

    // Verification
    const auto records = g.audio->Samples();
    ASSERT_EQ(records.size(), 8u);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].bytes.size(), 1920u * 4) << "frame " << i;
    for (std::size_t i = 2; i < 6; ++i)
        EXPECT_EQ(records[i].bytes, Bytes(1920 * 4, 0)) << "frame " << i;
    std::vector<std::int16_t> tone;
    tape.audioSamples(6, tone);
    ASSERT_EQ(tone.size(), 2u * 1920);
    EXPECT_EQ(std::int16_t(records[6].bytes[0] | records[6].bytes[1] << 8), tone[0]);
    ExpectContinuous(records, 48000);
    EXPECT_EQ(g.splitter->SilentFrames(), 4);
    EXPECT_EQ(g.video->Samples().size(), 8u);
}

TEST(DvSplitterFilter, OffersTheAudioFormatOfTheDvInfoAndRefusesOtherInputs) {
    // Setup
    ComPtr<TDvSplitter> splitter{new TDvSplitter};
    const CMediaType pal32 =
        dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(DvSystem::Pal625, 32000));

    // Exercise
    auto audio = TDvSplitter::AudioTypeFor(pal32);
    auto video = TDvSplitter::VideoTypeFor(pal32);
    const CMediaType dvsdVideo = dvcodec::DvsdVideoType(DvSystem::Pal625);
    const HRESULT videoInput = splitter->GetPin(0)->QueryAccept(&dvsdVideo);

    // Verification
    ASSERT_TRUE(audio && video);
    EXPECT_EQ(audio->FormatAs<WAVEFORMATEX>()->nSamplesPerSec, 32000u);
    EXPECT_EQ(audio->FormatAs<WAVEFORMATEX>()->nChannels, 2);
    EXPECT_EQ(video->FormatAs<VIDEOINFOHEADER>()->bmiHeader.biHeight, 576);
    EXPECT_EQ(video->FormatAs<VIDEOINFOHEADER>()->AvgTimePerFrame, 400000);
    EXPECT_EQ(splitter->GetPin(0)->QueryAccept(&pal32), S_OK);
    EXPECT_EQ(videoInput, S_FALSE);
    std::string id;
    splitter->GetPin(1)->QueryId(&id);
    EXPECT_EQ(id, "DVVidOut0");
    splitter->GetPin(2)->QueryId(&id);
    EXPECT_EQ(id, "AudOut00");
}

} // namespace
} // namespace talvence
