#include "platform/media/filters/audio/PcmPlayback.h"

#include "platform/media/filters/audio/AlsaPcm.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>

namespace talvence {

namespace {

// Latency asked of ALSA: enough to ride out scheduling hiccups, short enough for a preview.

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
        snd_pcm_t* pcm = OpenAlsaPcm(device, SND_PCM_STREAM_PLAYBACK, format);
        if (!pcm) return nullptr;
        return std::make_unique<TAlsaPlaybackDevice>(pcm, format);
    }
};

} // namespace

std::shared_ptr<TPcmPlaybackBackend> MakeAlsaPlaybackBackend() {
    return std::make_shared<TAlsaPlaybackBackend>();
}

} // namespace talvence
