#include "platform/media/filters/audio/PcmPlayback.h"

#include "platform/shell/AlsaDiagnostics.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>

namespace talvence {

namespace {

// Latency asked of ALSA: enough to ride out scheduling hiccups, short enough for a preview.
constexpr unsigned kLatencyMicroseconds = 200000;

class TAlsaPlaybackDevice : public TPcmPlaybackDevice {
public:
    TAlsaPlaybackDevice(snd_pcm_t* pcm, const TPcmFormat& format) : pcm_(pcm), format_(format) {}
    ~TAlsaPlaybackDevice() override { snd_pcm_close(pcm_); }

    long Write(const BYTE* data, long frames) override {
        long done = 0;
        const long block = static_cast<long>(format_.BlockAlign());
        while (done < frames) {
            if (dropped_) return done;
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data + done * block,
                                                 static_cast<snd_pcm_uframes_t>(frames - done));
            if (n >= 0) {
                done += n;
                continue;
            }
            // A drop from the application thread leaves the stream in the set-up state.
            if (dropped_ || n == -EBADFD) return done;
            // Underrun (the graph paused, or the thread was late) or a suspend: recover and go on.
            if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return -1;
        }
        return done;
    }

    long Pending() override {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) < 0) return -1;
        return delay < 0 ? 0 : static_cast<long>(delay);
    }

    void Drop() override {
        dropped_ = true;
        snd_pcm_drop(pcm_);
    }

    bool Prepare() override {
        dropped_ = false;
        return snd_pcm_prepare(pcm_) >= 0;
    }

private:
    snd_pcm_t* pcm_;
    TPcmFormat format_;
    std::atomic<bool> dropped_{false};
};

class TAlsaPlaybackBackend : public TPcmPlaybackBackend {
public:
    std::unique_ptr<TPcmPlaybackDevice> Open(const std::string& device,
                                             const TPcmFormat& format) override {
        snd_pcm_t* pcm = nullptr;
        SilenceAlsaDiagnostics();
        if (snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
        const snd_pcm_format_t sampleFormat =
            format.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
        if (snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                               format.rate, 1, kLatencyMicroseconds) < 0) {
            snd_pcm_close(pcm);
            return nullptr;
        }
        return std::make_unique<TAlsaPlaybackDevice>(pcm, format);
    }
};

} // namespace

std::shared_ptr<TPcmPlaybackBackend> MakeAlsaPlaybackBackend() {
    return std::make_shared<TAlsaPlaybackBackend>();
}

} // namespace talvence
