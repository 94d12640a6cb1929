#include "platform/media/filters/dv/DvSplitterCore.h"

#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/shell/DateTime.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace talvence::dvcodec {
namespace {

using testing::Bytes;
using testing::ClipFrames;
using testing::ClipRecipe;
using testing::FfmpegOutput;

Bytes SplitAll(DvSplitterCore& splitter, const std::vector<Bytes>& frames) {
    Bytes pcm;
    for (const Bytes& frame : frames) {
        const DvSplitResult r = splitter.Split(frame);
        pcm.insert(pcm.end(), r.pcm.begin(), r.pcm.end());
    }
    return pcm;
}

class SplitterAgainstFfmpeg : public ::testing::TestWithParam<ClipRecipe> {};

TEST_P(SplitterAgainstFfmpeg, GivesTheFrameAndTheCommandLinesSamples) {
    // Setup
    const ClipRecipe recipe = GetParam();
    const std::vector<Bytes> frames = ClipFrames(recipe);
    ASSERT_EQ(frames.size(), std::size_t(recipe.frames)) << "ffmpeg could not make the clip";
    const Bytes expected = FfmpegOutput(testing::Clip(recipe), "-f s16le");
    ASSERT_FALSE(expected.empty());
    DvSplitterCore splitter;

    // Exercise
    Bytes pcm;
    bool videoIsTheFrame = true;
    for (const Bytes& frame : frames) {
        const DvSplitResult r = splitter.Split(frame);
        ASSERT_TRUE(r.accepted);
        ASSERT_EQ(r.audioStatus, DvAudioStatus::Ok);
        EXPECT_TRUE(r.matchesOutput);
        videoIsTheFrame =
            videoIsTheFrame && r.video.data() == frame.data() && r.video.size() == frame.size();
        pcm.insert(pcm.end(), r.pcm.begin(), r.pcm.end());
    }

    // Verification
    EXPECT_TRUE(videoIsTheFrame);
    EXPECT_EQ(pcm, expected);
    ASSERT_TRUE(splitter.audioFormat().has_value());
    const WAVEFORMATEX& w = *splitter.audioFormat();
    EXPECT_EQ(w.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(w.nChannels, 2);
    EXPECT_EQ(w.nSamplesPerSec, DWORD(recipe.sampleRate));
    EXPECT_EQ(w.wBitsPerSample, 16);
    EXPECT_EQ(w.nBlockAlign, 4);
    EXPECT_EQ(w.nAvgBytesPerSec, DWORD(recipe.sampleRate) * 4);
    EXPECT_EQ(splitter.videoSystem(), recipe.pal ? DvSystem::Pal625 : DvSystem::Ntsc525);
}

INSTANTIATE_TEST_SUITE_P(Clips, SplitterAgainstFfmpeg,
                         ::testing::Values(ClipRecipe{.pal = true, .sampleRate = 48000},
                                           ClipRecipe{
                                               .pal = false, .sampleRate = 48000, .frames = 7},
                                           ClipRecipe{.pal = true, .sampleRate = 32000},
                                           ClipRecipe{.pal = true, .sampleRate = 44100}));

// 12-bit audio, which the ffmpeg command line cannot write, from the virtual camcorder.
struct TwelveBitTape {
    std::unique_ptr<DvTapeSynthesiser> synth;
    std::vector<Bytes> frames; // empty when the camcorder failed
};

TwelveBitTape MakeTwelveBitTape(DvTapeSystem system, int count) {
    DvTapeScript script;
    DvRecording r;
    r.start = EncodeDateTime(2024, 5, 6, 7, 8, 9, 0);
    r.frames = std::uint32_t(count);
    r.system = system;
    r.audio = DvTapeAudio::Pcm32k12;
    script.recordings.push_back(r);
    TwelveBitTape tape{std::make_unique<DvTapeSynthesiser>(script), {}};
    tape.frames.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < tape.frames.size(); ++i)
        if (!tape.synth->frame(i, tape.frames[i])) tape.frames.clear();
    return tape;
}

TEST(DvSplitterCore, TwelveBitAudioMatchesTheCommandLineAndTheTone) {
    for (const DvTapeSystem system : {DvTapeSystem::Pal625, DvTapeSystem::Ntsc525}) {
        // Setup
        const TwelveBitTape tape = MakeTwelveBitTape(system, 6);
        const std::vector<Bytes>& frames = tape.frames;
        ASSERT_EQ(frames.size(), 6u);
        Bytes file;
        for (const Bytes& f : frames)
            file.insert(file.end(), f.begin(), f.end());
        const auto path = testing::ClipDir() / "twelve-bit.dv";
        testing::WriteBytes(path, file);
        const Bytes expected = FfmpegOutput(path, "-map 0:a:0 -f s16le");
        DvSplitterCore splitter;

        // Exercise
        const Bytes pcm = SplitAll(splitter, frames);

        // Verification
        EXPECT_EQ(pcm, expected);
        ASSERT_TRUE(splitter.audioFormat().has_value());
        EXPECT_EQ(splitter.audioFormat()->nSamplesPerSec, 32000u);
        // Against the tone before 12-bit coding: the largest step of the code is 64.
        std::vector<std::int16_t> tone;
        for (std::uint64_t i = 0; i < frames.size(); ++i) {
            std::vector<std::int16_t> part;
            tape.synth->audioSamples(i, part);
            tone.insert(tone.end(), part.begin(), part.end());
        }
        ASSERT_EQ(tone.size() * 2, pcm.size());
        int worst = 0;
        for (std::size_t i = 0; i < tone.size(); ++i) {
            const auto ours = std::int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8);
            worst = std::max(worst, std::abs(ours - tone[i]));
        }
        EXPECT_LE(worst, 64);
    }
}

TEST(DvSplitterCore, SecondPairOfTwelveBitAudioIsDeliveredWhenAskedFor) {
    // Setup
    const TwelveBitTape tape = MakeTwelveBitTape(DvTapeSystem::Pal625, 2);
    ASSERT_EQ(tape.frames.size(), 2u);
    DvSplitterCore second({.audioPair = 1});
    DvSplitterCore sixteenBitSecond({.audioPair = 1});
    const Bytes sixteenBit = ClipFrames({.pal = true, .frames = 2}).at(0);

    // Exercise
    const DvSplitResult r = second.Split(tape.frames[0]);
    const DvSplitResult none = sixteenBitSecond.Split(sixteenBit);

    // Verification: the virtual camcorder records silence on the second pair.
    ASSERT_EQ(r.audioStatus, DvAudioStatus::Ok);
    EXPECT_EQ(r.audio.stereoPairs, 2);
    EXPECT_EQ(r.pcm.size(), std::size_t(r.audio.samples) * 4);
    EXPECT_TRUE(std::all_of(r.pcm.begin(), r.pcm.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(none.audioStatus, DvAudioStatus::Malformed);
    EXPECT_TRUE(none.pcm.empty());
}

TEST(DvAudio, TwelveBitCodesExpandMonotonicallyAndSymmetrically) {
    // Setup
    std::vector<int> expanded;

    // Exercise: codes in signed order, -2048 .. 2047
    for (int s = -2048; s < 2048; ++s)
        expanded.push_back(DvAudio12To16(static_cast<std::uint16_t>(s & 0xFFF)));

    // Verification
    EXPECT_TRUE(std::is_sorted(expanded.begin(), expanded.end()));
    EXPECT_EQ(std::adjacent_find(expanded.begin(), expanded.end()), expanded.end());
    for (int s = 0; s < 2048; ++s)
        ASSERT_EQ(expanded[std::size_t(2048 + s)], -1 - expanded[std::size_t(2047 - s)]) << s;
    EXPECT_EQ(DvAudio12To16(0), 0);
    EXPECT_EQ(DvAudio12To16(511), 511);
    EXPECT_EQ(DvAudio12To16(512), 512);
    EXPECT_EQ(DvAudio12To16(767), 1022);
    EXPECT_EQ(DvAudio12To16(768), 1024);
    EXPECT_EQ(DvAudio12To16(0x7FF), 32704);
    EXPECT_EQ(DvAudio12To16(0xFFF), -1);
}

TEST(DvSplitterCore, RefusesOtherSizesAndSurvivesDamagedFrames) {
    // Setup
    const Bytes good = ClipFrames({.pal = true, .frames = 2}).at(0);
    DvSplitterCore splitter;
    std::mt19937 random(99);
    std::vector<Bytes> noise;
    for (int i = 0; i < 8; ++i) {
        Bytes n(i % 2 ? kPalFrameBytes : kNtscFrameBytes);
        for (auto& b : n)
            b = static_cast<std::uint8_t>(random());
        n[kAudioSourcePackByte] = kAudioSourcePackId; // reach the sample loops now and then
        noise.push_back(n);
    }

    // Exercise and verification
    for (std::size_t size : {std::size_t(0), std::size_t(4400), std::size_t(119999),
                             std::size_t(143999), std::size_t(144001), std::size_t(288000)}) {
        const Bytes frame(size, 0x50);
        const DvSplitResult r = splitter.Split(frame);
        EXPECT_FALSE(r.accepted) << size;
        EXPECT_TRUE(r.video.empty());
        EXPECT_TRUE(r.pcm.empty());
    }
    for (const Bytes& frame : noise) {
        const DvSplitResult r = splitter.Split(frame);
        EXPECT_TRUE(r.accepted);
        EXPECT_EQ(r.pcm.size(), std::size_t(r.audio.samples) * 4);
    }
    splitter.Reset();
    EXPECT_FALSE(splitter.audioFormat().has_value());
    EXPECT_EQ(splitter.Split(good).audioStatus, DvAudioStatus::Ok);
}

TEST(DvSplitterCore, JudgesTheAudioSourcePack) {
    // Setup
    const Bytes good = ClipFrames({.pal = false, .frames = 2}).at(0);
    auto withPack = [&](std::size_t byte, std::uint8_t value) {
        Bytes f(good);
        f[kAudioSourcePackByte + byte] = value;
        return f;
    };
    const Bytes noPack = withPack(0, 0xFF);
    const Bytes tooMany = withPack(1, std::uint8_t((good[kAudioSourcePackByte + 1] & 0xC0) | 0x3F));
    const Bytes rateCode3 =
        withPack(4, std::uint8_t((good[kAudioSourcePackByte + 4] & 0xC7) | 0x18));
    const Bytes twelveBitAt48k = withPack(4, std::uint8_t(good[kAudioSourcePackByte + 4] | 0x01));
    DvSplitterCore splitter;

    // Exercise
    const DvSplitResult missing = splitter.Split(noPack);
    const bool formatAfterMissing = splitter.audioFormat().has_value();
    const DvSplitResult overflowing = splitter.Split(tooMany);
    const DvSplitResult unknownRate = splitter.Split(rateCode3);
    const DvSplitResult oddQuantisation = splitter.Split(twelveBitAt48k);
    const DvSplitResult fine = splitter.Split(good);

    // Verification
    EXPECT_EQ(missing.audioStatus, DvAudioStatus::NoAudio);
    EXPECT_TRUE(missing.accepted);
    EXPECT_EQ(missing.video.size(), kNtscFrameBytes);
    EXPECT_TRUE(missing.pcm.empty());
    EXPECT_FALSE(formatAfterMissing);
    // 1580 + 63 samples do not fit into the 1620 places of a 525-line frame.
    EXPECT_EQ(overflowing.audioStatus, DvAudioStatus::Malformed);
    EXPECT_TRUE(overflowing.pcm.empty());
    EXPECT_EQ(unknownRate.audioStatus, DvAudioStatus::Unsupported);
    EXPECT_EQ(oddQuantisation.audioStatus, DvAudioStatus::Unsupported);
    EXPECT_EQ(fine.audioStatus, DvAudioStatus::Ok);
    EXPECT_EQ(fine.pcm.size(), std::size_t(fine.audio.samples) * 4);
    EXPECT_TRUE(fine.audio.samples == 1600 || fine.audio.samples == 1602);
}

TEST(DvSplitterCore, KeepsTheFirstFormatAndFlagsAFrameThatChangesIt) {
    // Setup
    const Bytes at48k = ClipFrames({.pal = true, .sampleRate = 48000, .frames = 2}).at(0);
    const Bytes at32k = ClipFrames({.pal = true, .sampleRate = 32000, .frames = 2}).at(0);
    DvSplitterCore splitter;

    // Exercise
    const DvSplitResult first = splitter.Split(at48k);
    const DvSplitResult changed = splitter.Split(at32k);

    // Verification
    EXPECT_TRUE(first.matchesOutput);
    EXPECT_FALSE(changed.matchesOutput);
    EXPECT_EQ(changed.audio.sampleRate, 32000);
    EXPECT_EQ(changed.pcm.size(), 1280u * 4);
    EXPECT_EQ(splitter.audioFormat()->nSamplesPerSec, 48000u);
}

TEST(DvAudio, WaveFormatFromTheDvFormatBlock) {
    // Setup
    const Bytes frame = ClipFrames({.pal = true, .sampleRate = 32000, .frames = 2}).at(0);
    DVINFO info;
    for (int i = 0; i < 4; ++i)
        info.dwDVAAuxSrc |= DWORD(frame[kAudioSourcePackByte + 1 + std::size_t(i)]) << (8 * i);
    DVINFO unknown = info;
    unknown.dwDVAAuxSrc |= DWORD(0x38) << 24; // rate code 7

    // Exercise
    const std::optional<WAVEFORMATEX> w = WaveFormatFromDvInfo(info);

    // Verification
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->nSamplesPerSec, 32000u);
    EXPECT_EQ(w->nChannels, 2);
    EXPECT_EQ(w->wBitsPerSample, 16);
    EXPECT_FALSE(WaveFormatFromDvInfo(unknown).has_value());
}

} // namespace
} // namespace talvence::dvcodec
