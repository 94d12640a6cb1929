#pragma once

// A fake of the V4L2 seam: devices that answer the ioctls a capture source uses (capabilities,
// formats, sizes and intervals, format and interval setting, memory-mapped streaming with
// sequence numbers, inputs, TV standards, controls and their menus) and make their pictures with
// a function they are given, or read() I/O alone as some MPEG encoder cards have. The tests and the
// virtual webcam and analogue card stand on it, so they run the real source filter's code.
//
// A device paces its frames by the steady clock at its frame interval (or hands them out as soon
// as they are asked for), may lose every Nth frame (a gap in the sequence numbers, as a driver
// that ran out of buffers), and may be unplugged, by a call or after a count of frames: from then
// on every call on it answers -ENODEV and the system no longer lists it.
//
// Threads: any. Each device guards its state with its own lock; a poll waits on it without
// holding it.

#include "platform/devices/v4l2/V4l2System.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

namespace talvence {

struct TFakeV4l2Mode {
    std::uint32_t pixelFormat = 0; // V4L2_PIX_FMT_*
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t intervalNum = 1; // seconds per frame, as a fraction
    std::uint32_t intervalDen = 30;
};

struct TFakeV4l2Input {
    std::string name;
    std::uint32_t type = 2; // V4L2_INPUT_TYPE_CAMERA; 1 is a tuner
    std::uint64_t standards = 0;
};

struct TFakeV4l2Control {
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t type = 1; // V4L2_CTRL_TYPE_INTEGER
    std::int32_t minimum = 0, maximum = 255, step = 1, defaultValue = 128;
    std::vector<std::string> menu; // for V4L2_CTRL_TYPE_MENU
};

// Fills `out` (capacity bytes) with frame `n` (counted from the stream's start) of input `input`
// in `mode`; answers the bytes used (0 when it cannot). Called on the thread that dequeues.
using TFakeV4l2Picture =
    std::function<std::size_t(const TFakeV4l2Mode& mode, int input, std::uint64_t n,
                              std::uint8_t* out, std::size_t capacity)>;

struct TFakeV4l2DeviceConfig {
    std::string card = "Fake Camera";
    std::string driver = "fake";
    std::string busInfo = "usb-0000:00:14.0-1";
    bool capture = true; // V4L2_CAP_VIDEO_CAPTURE and streaming
    // read() I/O instead of streaming (V4L2_CAP_READWRITE): the first read starts the stream,
    // each due picture's bytes are read in as many reads as it takes, and closing stops it.
    bool readIo = false;
    std::vector<TFakeV4l2Mode> modes;
    std::vector<TFakeV4l2Input> inputs; // empty: one camera input
    std::vector<TFakeV4l2Control> controls;
    TFakeV4l2Picture picture;
    bool realTime = true;
    std::uint64_t unplugAfterFrames = 0; // 0: never
    std::uint32_t loseEvery = 0;         // 0: never
    std::string microphone;              // its sound device (SoundDevice); empty: none
};

class TFakeV4l2Device {
public:
    explicit TFakeV4l2Device(TFakeV4l2DeviceConfig config);

    // Any thread. The handler is called once, on the thread whose call found the device gone,
    // without the device's lock.
    void SetUnpluggedHandler(std::function<void()> handler);
    void Unplug();
    bool Plugged() const;
    int CurrentInput() const;
    std::uint64_t CurrentStandard() const;
    std::int32_t ControlValue(std::uint32_t id) const;
    std::uint64_t FramesSent() const;
    const TFakeV4l2DeviceConfig& Config() const { return config_; }

    // The seam's calls on this device, for TFakeV4l2System.
    int Ioctl(int fd, unsigned long request, void* arg);
    int Poll(int timeoutMs);
    long Read(int fd, void* buffer, std::size_t length);
    void* Map(std::size_t length, std::int64_t offset);
    void Closed(int fd);

private:
    using Clock = std::chrono::steady_clock;
    struct Buffer {
        std::vector<std::uint8_t> data;
        bool queued = false;
        std::uint32_t bytesUsed = 0, sequence = 0;
    };
    const TFakeV4l2Mode* FindMode(std::uint32_t fourcc, std::uint32_t w, std::uint32_t h) const;
    std::size_t ImageSize() const;
    Clock::time_point Due() const; // lock held
    int Dequeue(void* arg);        // lock held
    long ReadLocked(int fd, void* buffer, std::size_t length);
    // The next picture's bytes (lock held); advances the stream's counts and may unplug.
    std::uint32_t Produce(std::uint8_t* out, std::size_t capacity);
    int IoctlLocked(int fd, unsigned long request, void* arg);
    void CallUnpluggedHandler();

    const TFakeV4l2DeviceConfig config_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool plugged_ = true;
    std::function<void()> unplugged_; // taken when called
    TFakeV4l2Mode mode_;
    int input_ = 0;
    std::uint64_t standard_ = 0;
    std::map<std::uint32_t, std::int32_t> values_;
    int owner_ = -1; // the descriptor that holds the buffers
    std::vector<Buffer> buffers_;
    bool streaming_ = false;
    Clock::time_point streamStart_;
    std::uint64_t streamFrames_ = 0; // frames due since STREAMON (sent or lost)
    std::uint32_t sequence_ = 0;
    std::uint64_t sent_ = 0;
    std::vector<std::uint8_t> unread_; // read() I/O: what the last picture still has
};

class TFakeV4l2System : public IV4l2System {
public:
    // Any thread. A stable path may be empty (the source then uses the bus information).
    void Add(const std::string& node, std::shared_ptr<TFakeV4l2Device> device,
             std::string stablePath = {});
    std::shared_ptr<TFakeV4l2Device> Device(const std::string& node) const;

    std::vector<std::string> Nodes() override;
    std::string StablePath(const std::string& node) override;
    int Open(const std::string& path) override;
    void Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    void* Map(int fd, std::size_t length, std::int64_t offset) override;
    void Unmap(void*, std::size_t) override {}
    int Poll(int fd, int timeoutMs) override;
    long Read(int fd, void* buffer, std::size_t length) override;
    std::string SoundDevice(const std::string& node) override;
    std::shared_ptr<TPcmCaptureBackend> SoundCapture() override { return soundCapture; }
    // What reads the devices' microphones; set before use.
    std::shared_ptr<TPcmCaptureBackend> soundCapture;

private:
    std::shared_ptr<TFakeV4l2Device> Of(int fd) const;
    struct Node {
        std::shared_ptr<TFakeV4l2Device> device;
        std::string stablePath;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::map<int, std::shared_ptr<TFakeV4l2Device>> open_;
    int nextFd_ = 100;
};

} // namespace talvence
