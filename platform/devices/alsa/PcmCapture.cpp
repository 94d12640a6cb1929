#include "platform/devices/alsa/PcmCapture.h"

#include "platform/media/filters/audio/AlsaPcm.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace talvence {

namespace {

class TAlsaCaptureDevice : public TPcmCaptureDevice {
public:
    TAlsaCaptureDevice(snd_pcm_t* pcm, const TPcmFormat& format) : pcm_(pcm), format_(format) {}
    ~TAlsaCaptureDevice() override { snd_pcm_close(pcm_); }

    long Read(BYTE* data, long frames) override {
        const long block = static_cast<long>(format_.BlockAlign());
        long done = 0;
        while (done < frames) {
            if (dropped_) return done;
            snd_pcm_sframes_t n = snd_pcm_readi(pcm_, data + done * block,
                                                static_cast<snd_pcm_uframes_t>(frames - done));
            if (n >= 0) {
                done += n;
                continue;
            }
            if (dropped_ || n == -EBADFD) return done;
            // Overrun (the stream was not read in time) or a suspend: recover and go on.
            if (n == -EPIPE) ++overruns_;
            if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return -1;
        }
        return done;
    }

    long TakeOverruns() override { return std::exchange(overruns_, 0); }

    void Drop() override {
        dropped_ = true;
        snd_pcm_drop(pcm_);
    }

private:
    snd_pcm_t* pcm_;
    TPcmFormat format_;
    std::atomic<bool> dropped_{false};
    long overruns_ = 0; // streaming thread
};

class TAlsaCaptureBackend : public TPcmCaptureBackend {
public:
    std::unique_ptr<TPcmCaptureDevice> Open(const std::string& device,
                                            const TPcmFormat& format) override {
        snd_pcm_t* pcm = OpenAlsaPcm(device, SND_PCM_STREAM_CAPTURE, format);
        if (!pcm) return nullptr;
        return std::make_unique<TAlsaCaptureDevice>(pcm, format);
    }
};

} // namespace

std::shared_ptr<TPcmCaptureBackend> MakeAlsaCaptureBackend() {
    return std::make_shared<TAlsaCaptureBackend>();
}

// ---------------------------------------------------------------------------------------------
// Fake

class TFakePcmCaptureDevice : public TPcmCaptureDevice {
public:
    // Made under the owner's mutex.
    TFakePcmCaptureDevice(std::shared_ptr<TFakePcmCapture> owner, const TPcmFormat& format)
        : owner_(std::move(owner)), format_(format), overruns_(owner_->overruns) {}

    long Read(BYTE* data, long frames) override {
        TFakePcmCapture& o = *owner_;
        std::unique_lock lock(o.mutex_);
        const std::size_t block = format_.BlockAlign();
        const std::size_t left = o.data.size() - std::min(o.data.size(), offset_);
        const long n = std::min<long>(frames, static_cast<long>(left / block));
        // An empty recording has no buffer at all, and memcpy may not be given a null source.
        if (n > 0) std::memcpy(data, o.data.data() + offset_, static_cast<std::size_t>(n) * block);
        offset_ += static_cast<std::size_t>(n) * block;
        read_ = true;
        if (n == frames) return n;
        // Nothing more to give: a live device waits for sound, here until dropped.
        o.changed_.wait(lock, [&] { return dropped_; });
        return n;
    }

    long TakeOverruns() override { return read_ ? std::exchange(overruns_, 0) : 0; }

    void Drop() override {
        {
            std::lock_guard lock(owner_->mutex_);
            dropped_ = true;
            ++owner_->drops_;
        }
        owner_->changed_.notify_all();
    }

private:
    std::shared_ptr<TFakePcmCapture> owner_;
    TPcmFormat format_;
    std::size_t offset_ = 0; // streaming thread
    long overruns_;          // streaming thread: still to report after the first read
    bool read_ = false;      // streaming thread
    bool dropped_ = false;   // owner's mutex
};

std::unique_ptr<TPcmCaptureDevice> TFakePcmCapture::Open(const std::string& device,
                                                         const TPcmFormat& format) {
    std::lock_guard lock(mutex_);
    if (failOpen) return nullptr;
    opened_.push_back(device);
    format_ = format;
    return std::make_unique<TFakePcmCaptureDevice>(shared_from_this(), format);
}

std::vector<std::string> TFakePcmCapture::OpenedDevices() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

TPcmFormat TFakePcmCapture::LastFormat() const {
    std::lock_guard lock(mutex_);
    return format_;
}

long TFakePcmCapture::Drops() const {
    std::lock_guard lock(mutex_);
    return drops_;
}

} // namespace talvence
