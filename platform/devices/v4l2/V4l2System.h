#pragma once

// The V4L2 system calls the capture devices need, as an interface: the kernel's (MakeKernelV4l2)
// and a fake beside it (FakeV4l2.h) that the tests and the virtual devices drive. Results are
// errno-style: 0 or a count on success, a negated errno on failure (-ENODEV once the device has
// gone), so that callers never read errno.
//
// Threads: any; an implementation guards its own state. One descriptor is used by one thread at a
// time, except Ioctl for controls, which the application thread may call while the streaming
// thread polls.

#include "platform/devices/alsa/PcmCapture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

class IV4l2System {
public:
    virtual ~IV4l2System() = default;
    // The video nodes ("/dev/video0", ...), in name order.
    virtual std::vector<std::string> Nodes() = 0;
    // A name of the node that survives reboots and re-plugging in another order (the
    // /dev/v4l/by-path link); empty when there is none.
    virtual std::string StablePath(const std::string& node) = 0;
    // A descriptor, or -errno. Opened non-blocking.
    virtual int Open(const std::string& path) = 0;
    virtual void Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    // Maps a buffer the driver gave (offset from VIDIOC_QUERYBUF); null on failure.
    virtual void* Map(int fd, std::size_t length, std::int64_t offset) = 0;
    virtual void Unmap(void* address, std::size_t length) = 0;
    // 1 when a buffer can be dequeued (or, on a node read with read(), bytes can be read), 0
    // when the time ran out, -errno.
    virtual int Poll(int fd, int timeoutMs) = 0;
    // read() on a node without streaming I/O: the bytes read, -EAGAIN when none are ready yet.
    virtual long Read(int fd, void* buffer, std::size_t length) = 0;
    // The ALSA capture device of the same USB device as the node (a webcam's microphone), as
    // ALSA opens it; empty when there is none.
    virtual std::string SoundDevice(const std::string& node) = 0;
    // What reads that device (null: ALSA).
    virtual std::shared_ptr<TPcmCaptureBackend> SoundCapture() { return nullptr; }
};

std::shared_ptr<IV4l2System> MakeKernelV4l2();

// The capture device of the sound card that sits on the same USB device as the video node,
// looked up in the sysfs tree under `sysRoot` ("/sys"): "plughw:CARD=<card id>,DEV=0", or empty.
// The node may be a link (/dev/v4l/by-path/...).
std::string UsbSoundDeviceOf(const std::string& sysRoot, const std::string& node);

} // namespace talvence
