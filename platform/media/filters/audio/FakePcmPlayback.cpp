#include "platform/media/filters/audio/FakePcmPlayback.h"

#include <algorithm>

namespace talvence {

class TFakePcmDevice : public TPcmPlaybackDevice {
public:
    TFakePcmDevice(std::shared_ptr<TFakePcmPlayback> owner, const TPcmFormat& format)
        : owner_(std::move(owner)), format_(format) {}

    long Write(const BYTE* data, long frames) override {
        TFakePcmPlayback& o = *owner_;
        std::unique_lock lock(o.mutex_);
        const long block = static_cast<long>(format_.BlockAlign());
        long done = 0;
        while (done < frames) {
            if (dropped_) return done;
            long room = o.capacity < 0 ? frames - done : o.capacity - o.queued_;
            if (room <= 0) {
                ++o.blocked_;
                o.changed_.notify_all();
                o.changed_.wait(lock, [&] { return dropped_ || o.queued_ < o.capacity; });
                --o.blocked_;
                continue;
            }
            const long n = std::min(room, frames - done);
            o.written_.insert(o.written_.end(), data + done * block, data + (done + n) * block);
            o.queued_ += n;
            done += n;
        }
        return done;
    }

    long Pending() override {
        std::lock_guard lock(owner_->mutex_);
        ++owner_->pendings_;
        return owner_->capacity < 0 ? 0 : owner_->queued_;
    }

    void Drop() override {
        std::lock_guard lock(owner_->mutex_);
        dropped_ = true;
        owner_->queued_ = 0;
        ++owner_->drops_;
        owner_->changed_.notify_all();
    }

    bool Prepare() override {
        std::lock_guard lock(owner_->mutex_);
        dropped_ = false;
        return true;
    }

private:
    std::shared_ptr<TFakePcmPlayback> owner_;
    TPcmFormat format_;
    bool dropped_ = false; // owner's mutex
};

std::unique_ptr<TPcmPlaybackDevice> TFakePcmPlayback::Open(const std::string& device,
                                                           const TPcmFormat& format) {
    std::lock_guard lock(mutex_);
    if (failOpen) return nullptr;
    opened_.push_back(device);
    format_ = format;
    queued_ = 0;
    return std::make_unique<TFakePcmDevice>(shared_from_this(), format);
}

std::vector<BYTE> TFakePcmPlayback::Written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::vector<std::string> TFakePcmPlayback::OpenedDevices() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

TPcmFormat TFakePcmPlayback::LastFormat() const {
    std::lock_guard lock(mutex_);
    return format_;
}

long TFakePcmPlayback::Drops() const {
    std::lock_guard lock(mutex_);
    return drops_;
}

long TFakePcmPlayback::Pendings() const {
    std::lock_guard lock(mutex_);
    return pendings_;
}

bool TFakePcmPlayback::WaitForBlockedWrite(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return blocked_ > 0; });
}

void TFakePcmPlayback::Play(long frames) {
    {
        std::lock_guard lock(mutex_);
        queued_ = std::max(0L, queued_ - frames);
    }
    changed_.notify_all();
}

} // namespace talvence
