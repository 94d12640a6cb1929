#pragma once

// A playback backend for tests: records what is opened and written. A device holds at most
// `capacity` frames (negative: no limit); a write that would exceed it blocks, as a full sound
// card does, until the test plays frames (Play) or the device is dropped.
//
// Threads: configure before use; the records are guarded by the backend's mutex and read from
// any thread.

#include "platform/media/filters/audio/PcmPlayback.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace talvence {

class TFakePcmPlayback : public TPcmPlaybackBackend,
                         public std::enable_shared_from_this<TFakePcmPlayback> {
public:
    // Settings.
    bool failOpen = false;
    long capacity = -1;

    std::unique_ptr<TPcmPlaybackDevice> Open(const std::string& device,
                                             const TPcmFormat& format) override;

    // Records.
    std::vector<BYTE> Written() const;
    std::vector<std::string> OpenedDevices() const;
    TPcmFormat LastFormat() const;
    long Drops() const;
    long Pendings() const; // calls of Pending (the renderer's wait for the end of playback)
    // True once a write is blocked on a full device; false when the time runs out.
    bool WaitForBlockedWrite(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Frees room for this many frames, as if the card had played them.
    void Play(long frames);

private:
    friend class TFakePcmDevice;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<BYTE> written_;
    std::vector<std::string> opened_;
    TPcmFormat format_;
    long queued_ = 0; // frames written and not yet played
    long drops_ = 0;
    long pendings_ = 0;
    int blocked_ = 0;
};

} // namespace talvence
