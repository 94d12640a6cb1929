// Writing audio into DV frames: the inverse of the extraction the splitter uses.

#include "platform/media/filters/dv/DvAudio.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace talvence::dvcodec {
namespace {

struct AudioCase {
    DvSystem system;
    int rate;
};

class WriteAudioRoundTrip : public ::testing::TestWithParam<AudioCase> {};

TEST_P(WriteAudioRoundTrip, ExtractGivesBackWhatWasWritten) {
    // Setup: a ramp in the left channel, its negation in the right, the extremes included.
    const auto [system, rate] = GetParam();
    std::vector<std::uint8_t> frame(FrameBytes(system), 0x5A);
    const int samples = AudioSamplesForFrame(system, rate, 3);
    std::vector<std::int16_t> pcm(2 * std::size_t(samples));
    for (int n = 0; n < samples; ++n) {
        pcm[2 * n] = static_cast<std::int16_t>(n * 37 - 30000);
        pcm[2 * n + 1] = static_cast<std::int16_t>(-(n * 37 - 30000));
    }
    pcm[0] = 32767;
    pcm[1] = -32767;

    // Exercise
    const DvAudioStatus written = WriteAudio(frame, system, rate, pcm, samples);
    std::vector<std::int16_t> back(2 * std::size_t(AudioCapacity(system, 16)));
    DvAudioSource source;
    const DvAudioStatus read = ExtractAudio(frame, system, 0, back, source);

    // Verification
    ASSERT_EQ(written, DvAudioStatus::Ok);
    ASSERT_EQ(read, DvAudioStatus::Ok);
    EXPECT_EQ(source.sampleRate, rate);
    EXPECT_EQ(source.bits, 16);
    EXPECT_EQ(source.samples, samples);
    back.resize(pcm.size());
    EXPECT_EQ(back, pcm);
    // Outside the audio blocks the frame is untouched.
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const std::size_t block = (i % 12000) / 80;
        if (!(block >= 6 && (block - 6) % 16 == 0)) {
            ASSERT_EQ(frame[i], 0x5A) << "byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Systems, WriteAudioRoundTrip,
    ::testing::Values(AudioCase{DvSystem::Pal625, 48000}, AudioCase{DvSystem::Pal625, 44100},
                      AudioCase{DvSystem::Pal625, 32000}, AudioCase{DvSystem::Ntsc525, 48000},
                      AudioCase{DvSystem::Ntsc525, 44100}, AudioCase{DvSystem::Ntsc525, 32000}));

TEST(WriteAudio, TheLostSampleCodeIsNeverWritten) {
    // Setup
    std::vector<std::uint8_t> frame(kPalFrameBytes);
    std::vector<std::int16_t> pcm(2 * 1920, -32768);

    // Exercise
    ASSERT_EQ(WriteAudio(frame, DvSystem::Pal625, 48000, pcm, 1920), DvAudioStatus::Ok);
    std::vector<std::int16_t> back(2 * 1944);
    DvAudioSource source;
    ASSERT_EQ(ExtractAudio(frame, DvSystem::Pal625, 0, back, source), DvAudioStatus::Ok);

    // Verification: read back as the loudest sample, not as a lost (silent) one.
    EXPECT_EQ(back[0], -32767);
    EXPECT_EQ(back[2 * 1919 + 1], -32767);
}

TEST(WriteAudio, RefusesCountsAFrameCannotCarryAndRatesDvLacks) {
    // Setup
    std::vector<std::uint8_t> frame(kPalFrameBytes);
    std::vector<std::int16_t> pcm(2 * 2000);

    // Exercise / Verification
    EXPECT_EQ(WriteAudio(frame, DvSystem::Pal625, 48000, pcm, 1895), DvAudioStatus::Malformed);
    EXPECT_EQ(WriteAudio(frame, DvSystem::Pal625, 48000, pcm, 1945), DvAudioStatus::Malformed);
    EXPECT_EQ(WriteAudio(frame, DvSystem::Pal625, 22050, pcm, 900), DvAudioStatus::Unsupported);
    std::vector<std::uint8_t> shortFrame(1000);
    EXPECT_EQ(WriteAudio(shortFrame, DvSystem::Pal625, 48000, pcm, 1920), DvAudioStatus::Malformed);
}

TEST(WriteNoAudio, LeavesAFrameWithoutAnAudioSourcePack) {
    // Setup
    std::vector<std::uint8_t> frame(kNtscFrameBytes);
    std::vector<std::int16_t> pcm(2 * 1602, 1000);
    ASSERT_EQ(WriteAudio(frame, DvSystem::Ntsc525, 48000, pcm, 1602), DvAudioStatus::Ok);

    // Exercise
    ASSERT_EQ(WriteNoAudio(frame, DvSystem::Ntsc525), DvAudioStatus::Ok);

    // Verification
    DvAudioSource source;
    EXPECT_EQ(ReadAudioSource(frame, DvSystem::Ntsc525, source), DvAudioStatus::NoAudio);
}

TEST(AudioSamplesForFrame, SpreadsTheNominalRateOverTheFrames) {
    // Exercise
    auto total = [](DvSystem s, int rate, int frames) {
        long sum = 0;
        for (int k = 0; k < frames; ++k) {
            const int n = AudioSamplesForFrame(s, rate, std::uint64_t(k));
            EXPECT_GE(n, MinimumAudioSamples(s, rate));
            EXPECT_LE(n, MinimumAudioSamples(s, rate) + 63);
            sum += n;
        }
        return sum;
    };

    // Verification: whole seconds' worth over a whole number of frame groups.
    EXPECT_EQ(total(DvSystem::Pal625, 48000, 25), 48000);
    EXPECT_EQ(total(DvSystem::Pal625, 44100, 25), 44100);
    EXPECT_EQ(total(DvSystem::Ntsc525, 48000, 5), 8008);
    EXPECT_EQ(total(DvSystem::Ntsc525, 32000, 15), 16016);
    EXPECT_EQ(total(DvSystem::Ntsc525, 44100, 100), 147147);
}

} // namespace
} // namespace talvence::dvcodec
