#include "platform/shell/WavePlayer.h"

#include "platform/shell/AlsaDiagnostics.h"

#include <alsa/asoundlib.h>

#include <cstring>

namespace talvence {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

std::optional<WaveData> ParseWave(std::span<const std::uint8_t> file) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    WaveData wave;
    bool haveFormat = false, haveData = false;
    std::size_t pos = 12;
    while (pos + 8 <= file.size()) {
        const std::uint8_t* chunk = file.data() + pos;
        std::uint64_t size = Le32(chunk + 4);
        std::size_t avail = file.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && avail >= 16) {
            wave.formatTag = Le16(chunk + 8);
            wave.channels = Le16(chunk + 10);
            wave.sampleRate = Le32(chunk + 12);
            wave.bitsPerSample = Le16(chunk + 22);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            wave.samples = file.subspan(
                pos + 8, static_cast<std::size_t>(std::min<std::uint64_t>(size, avail)));
            haveData = true;
        }
        pos += 8 + size + (size & 1);
    }
    if (!haveFormat || !haveData || wave.formatTag != 1 || wave.channels == 0 ||
        wave.sampleRate == 0 || (wave.bitsPerSample != 8 && wave.bitsPerSample != 16))
        return std::nullopt;
    return wave;
}

void AlsaWavePlayer::PlaySync(std::span<const std::uint8_t> waveFile) {
    auto wave = ParseWave(waveFile);
    if (!wave) return;
    SilenceAlsaDiagnostics();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return;
    const snd_pcm_format_t format =
        wave->bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    const unsigned frameBytes = wave->channels * wave->bitsPerSample / 8;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, wave->channels,
                           wave->sampleRate, 1, 100000) == 0) {
        const std::uint8_t* p = wave->samples.data();
        snd_pcm_uframes_t left = wave->samples.size() / frameBytes;
        while (left > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, p, left);
            if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0) break;
            p += static_cast<std::size_t>(n) * frameBytes;
            left -= static_cast<snd_pcm_uframes_t>(n);
        }
        snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
}

IWavePlayer& DefaultWavePlayer() {
    static AlsaWavePlayer player;
    return player;
}

} // namespace talvence
