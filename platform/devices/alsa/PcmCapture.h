#pragma once

// The seam between the ALSA capture source and the sound system: a capture backend opens a PCM
// device by name; the opened device hands out interleaved frames with blocking reads. The ALSA
// backend is the real one; TFakePcmCapture serves tests.
//
// Threads: Read and TakeOverruns belong to the source's streaming thread; Drop may come from any
// thread while a Read blocks, and makes it return at once.

#include "platform/media/filters/audio/PcmFormat.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvence {

class TPcmCaptureDevice {
public:
    virtual ~TPcmCaptureDevice() = default;
    // Blocks until `frames` frames are read. Answers the frames read: fewer when Drop ended the
    // read, -1 when the device failed for good.
    virtual long Read(BYTE* data, long frames) = 0;
    // The overruns since the last call: times the device lost sound because it was not read in
    // time (the reads recovered and went on). How much was lost is not known.
    virtual long TakeOverruns() = 0;
    // Any thread: ends a blocked Read; reads fail from then on.
    virtual void Drop() = 0;
};

class TPcmCaptureBackend {
public:
    virtual ~TPcmCaptureBackend() = default;
    // Null when the device cannot be opened with the format.
    virtual std::unique_ptr<TPcmCaptureDevice> Open(const std::string& device,
                                                    const TPcmFormat& format) = 0;
};

std::shared_ptr<TPcmCaptureBackend> MakeAlsaCaptureBackend();

// For tests: every device opened reads `data` from its start, then blocks as a live device with
// nothing more to give, until dropped; it reports `overruns` once, after its first read.
// Configure before use; records under the mutex.
class TFakePcmCapture : public TPcmCaptureBackend,
                        public std::enable_shared_from_this<TFakePcmCapture> {
public:
    bool failOpen = false;
    std::vector<BYTE> data;
    long overruns = 0;

    std::unique_ptr<TPcmCaptureDevice> Open(const std::string& device,
                                            const TPcmFormat& format) override;

    std::vector<std::string> OpenedDevices() const;
    TPcmFormat LastFormat() const;
    long Drops() const;

private:
    friend class TFakePcmCaptureDevice;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> opened_;
    TPcmFormat format_;
    long drops_ = 0;
};

} // namespace talvence
