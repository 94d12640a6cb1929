#include "platform/media/filters/audio/AlsaPcm.h"

#include "platform/shell/AlsaDiagnostics.h"

namespace talvence {

namespace {
constexpr unsigned kLatencyMicroseconds = 200000;
} // namespace

snd_pcm_t* OpenAlsaPcm(const std::string& device, snd_pcm_stream_t stream,
                       const TPcmFormat& format) {
    SilenceAlsaDiagnostics();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device.c_str(), stream, 0) < 0) return nullptr;
    const snd_pcm_format_t sampleFormat =
        format.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                           format.rate, 1, kLatencyMicroseconds) < 0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

} // namespace talvence
