#pragma once
// Plays short wave sounds (the program's beeps) synchronously: a call returns
// when the sound has finished. No sound device means no sound and no error.

#include <cstdint>
#include <optional>
#include <span>

namespace talvence {

// The PCM format and samples of a RIFF/WAVE file.
struct WaveData {
    std::uint16_t formatTag = 0; // 1 = PCM
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::span<const std::uint8_t> samples;
};

// Reads the "fmt " and "data" chunks of a wave file held in memory; nullopt
// when it is not a wave file this player understands (PCM, 8 or 16 bits).
// The samples point into `file`.
std::optional<WaveData> ParseWave(std::span<const std::uint8_t> file);

class IWavePlayer {
public:
    virtual ~IWavePlayer() = default;
    // Any thread; blocks until played. Failures are ignored.
    virtual void PlaySync(std::span<const std::uint8_t> waveFile) = 0;
};

// ALSA "default" playback device.
class AlsaWavePlayer : public IWavePlayer {
public:
    void PlaySync(std::span<const std::uint8_t> waveFile) override;
};

// The player the program uses.
IWavePlayer& DefaultWavePlayer();

} // namespace talvence
