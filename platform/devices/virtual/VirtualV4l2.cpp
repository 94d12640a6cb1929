#include "platform/devices/virtual/VirtualV4l2.h"

#include "platform/devices/virtual/MpegBoxStream.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <linux/videodev2.h>
#include <turbojpeg.h>

namespace talvence {

namespace {

constexpr TVirtualYuv kBars[] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                                 {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

TVirtualYuv Bar(int x, int width) {
    return kBars[x * 8 / width];
}

TVirtualYuv WebcamPixel(int x, int y, int width, int height, std::uint64_t n) {
    constexpr int kBox = 64;
    const int left = static_cast<int>(n * 8 % std::uint64_t(width - kBox));
    const int top = height / 2 - kBox / 2;
    if (x >= left && x < left + kBox && y >= top && y < top + kBox) return {235, 128, 128};
    return Bar(x, width);
}

// Paints a 4:2:2 picture pair by pair into YUYV.
template <class Pixel> void PaintYuyv(std::uint8_t* out, int width, int height, Pixel pixel) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2, out += 4) {
            const TVirtualYuv a = pixel(x, y), b = pixel(x + 1, y);
            out[0] = a.y;
            out[1] = a.u;
            out[2] = b.y;
            out[3] = a.v;
        }
}

// JPEG compression of a 4:2:2 picture, one compressor per thread.
std::size_t CompressJpeg(const std::uint8_t* yuyv, int width, int height, std::uint8_t* out,
                         std::size_t capacity) {
    struct Compressor {
        tjhandle handle = tjInitCompress();
        std::vector<std::uint8_t> y, u, v;
        ~Compressor() { tjDestroy(handle); }
    };
    thread_local Compressor c;
    const std::size_t pixels = std::size_t(width) * height;
    c.y.resize(pixels);
    c.u.resize(pixels / 2);
    c.v.resize(pixels / 2);
    for (std::size_t i = 0; i < pixels / 2; ++i) {
        c.y[2 * i] = yuyv[4 * i];
        c.u[i] = yuyv[4 * i + 1];
        c.y[2 * i + 1] = yuyv[4 * i + 2];
        c.v[i] = yuyv[4 * i + 3];
    }
    const unsigned char* planes[] = {c.y.data(), c.u.data(), c.v.data()};
    const int strides[] = {width, width / 2, width / 2};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompressFromYUVPlanes(c.handle, planes, width, strides, height, TJSAMP_422, &jpeg, &size,
                                80, TJFLAG_FASTDCT) != 0) {
        tjFree(jpeg);
        return 0;
    }
    const std::size_t used = size <= capacity ? size : 0;
    if (used) std::memcpy(out, jpeg, used);
    tjFree(jpeg);
    return used;
}

} // namespace

TVirtualYuv VirtualAnalogPixel(int input, int x, int y, std::uint64_t frame) {
    constexpr int kWidth = 720;
    switch (input) {
    case 0: // the tuner
        return {static_cast<std::uint8_t>(16 + (x + frame * 4) % kWidth * 219 / kWidth), 128, 128};
    case 1:
        return Bar(x, kWidth);
    default: {
        const bool odd = ((x + int(frame % 80) * 2) / 40 + y / 40) % 2;
        return odd ? TVirtualYuv{35, 212, 114} : TVirtualYuv{162, 44, 142};
    }
    }
}

TFakeV4l2DeviceConfig MakeVirtualV4l2Device(const VirtualV4l2Config& config) {
    TFakeV4l2DeviceConfig d;
    d.realTime = config.pacing == DvPacing::RealTime;
    d.unplugAfterFrames = config.unplugAfterFrames;
    if (config.kind == VirtualV4l2Kind::Mpeg2Box || config.kind == VirtualV4l2Kind::MovieBox) {
        const bool movieBox = config.kind == VirtualV4l2Kind::MovieBox;
        d.card = !config.friendlyName.empty() ? config.friendlyName
                 : movieBox                   ? "Virtual MovieBox"
                                              : "Virtual MPEG-2 Encoder";
        d.driver = movieBox ? "virtual-moviebox" : "virtual-mpeg2";
        d.busInfo = movieBox ? "virtual:moviebox" : "virtual:mpeg2";
        d.readIo = config.readIo;
        d.modes = {{V4L2_PIX_FMT_MPEG, 720, 576, 1, 25}};
        d.inputs = {{"Composite1", V4L2_INPUT_TYPE_CAMERA, V4L2_STD_PAL}};
        // One program stream per streaming run, a picture's worth per buffer; what a buffer
        // cannot hold goes into the next, so the stream is never cut.
        struct Box {
            std::unique_ptr<TMpegBoxStream> stream;
            std::vector<std::uint8_t> pending;
        };
        auto box = std::make_shared<Box>();
        const bool alternate = config.alternateIds;
        d.picture = [box, alternate](const TFakeV4l2Mode&, int, std::uint64_t n, std::uint8_t* out,
                                     std::size_t capacity) -> std::size_t {
            if (n == 0 || !box->stream) {
                box->stream = std::make_unique<TMpegBoxStream>(alternate);
                box->pending.clear();
            }
            const std::vector<std::uint8_t> chunk = box->stream->NextChunk();
            box->pending.insert(box->pending.end(), chunk.begin(), chunk.end());
            const std::size_t used = std::min(capacity, box->pending.size());
            std::memcpy(out, box->pending.data(), used);
            box->pending.erase(box->pending.begin(), box->pending.begin() + std::ptrdiff_t(used));
            return used;
        };
        return d;
    }
    if (config.kind == VirtualV4l2Kind::Analog) {
        d.card = config.friendlyName.empty() ? "Virtual Analog Capture" : config.friendlyName;
        d.driver = "virtual-analog";
        d.busInfo = "virtual:analog";
        d.modes = {{V4L2_PIX_FMT_YUYV, 720, 576, 1, 25}};
        const std::uint64_t tv = V4L2_STD_PAL | V4L2_STD_NTSC;
        d.inputs = {{"Television", V4L2_INPUT_TYPE_TUNER, tv},
                    {"Composite1", V4L2_INPUT_TYPE_CAMERA, tv},
                    {"S-Video", V4L2_INPUT_TYPE_CAMERA, tv}};
        d.controls = {
            {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}},
            {V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 127, 1, 64, {}},
            {V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, 0, 127, 1, 64, {}},
            {V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -128, 127, 1, 0, {}}};
        d.picture = [](const TFakeV4l2Mode& m, int input, std::uint64_t n, std::uint8_t* out,
                       std::size_t capacity) -> std::size_t {
            const std::size_t bytes = std::size_t(m.width) * m.height * 2;
            if (bytes > capacity) return 0;
            PaintYuyv(out, int(m.width), int(m.height),
                      [&](int x, int y) { return VirtualAnalogPixel(input, x, y, n); });
            return bytes;
        };
        return d;
    }
    d.card = config.friendlyName.empty() ? "Virtual Webcam" : config.friendlyName;
    if (config.microphone) d.microphone = kVirtualMicrophone;
    d.driver = "virtual-webcam";
    d.busInfo = "virtual:webcam";
    if (config.mjpeg)
        d.modes.insert(d.modes.end(), {{V4L2_PIX_FMT_MJPEG, 640, 480, 1, 30},
                                       {V4L2_PIX_FMT_MJPEG, 640, 480, 1, 15}});
    if (config.yuyv)
        d.modes.insert(d.modes.end(), {{V4L2_PIX_FMT_YUYV, 640, 480, 1, 30},
                                       {V4L2_PIX_FMT_YUYV, 640, 480, 1, 15}});
    d.controls = {{V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}},
                  {V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}},
                  {V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}},
                  {V4L2_CID_AUTO_WHITE_BALANCE,
                   "White Balance, Automatic",
                   V4L2_CTRL_TYPE_BOOLEAN,
                   0,
                   1,
                   1,
                   1,
                   {}},
                  {V4L2_CID_POWER_LINE_FREQUENCY,
                   "Power Line Frequency",
                   V4L2_CTRL_TYPE_MENU,
                   0,
                   2,
                   1,
                   1,
                   {"Disabled", "50 Hz", "60 Hz"}}};
    d.picture = [](const TFakeV4l2Mode& m, int, std::uint64_t n, std::uint8_t* out,
                   std::size_t capacity) -> std::size_t {
        const int w = int(m.width), h = int(m.height);
        const std::size_t raw = std::size_t(w) * h * 2;
        auto paint = [&](std::uint8_t* to) {
            PaintYuyv(to, w, h, [&](int x, int y) { return WebcamPixel(x, y, w, h, n); });
        };
        if (m.pixelFormat == V4L2_PIX_FMT_YUYV) {
            if (raw > capacity) return 0;
            paint(out);
            return raw;
        }
        thread_local std::vector<std::uint8_t> picture;
        picture.resize(raw);
        paint(picture.data());
        return CompressJpeg(picture.data(), w, h, out, capacity);
    };
    return d;
}

namespace {

class TToneDevice : public TPcmCaptureDevice {
public:
    TToneDevice(const TPcmFormat& format, bool realTime)
        : format_(format), realTime_(realTime), start_(std::chrono::steady_clock::now()) {}
    long Read(BYTE* data, long frames) override {
        if (realTime_) {
            // The frames are there once the clock has passed their end.
            const auto due = start_ + std::chrono::microseconds(
                                          (position_ + frames) * 1'000'000 / format_.rate);
            std::unique_lock lock(mutex_);
            if (changed_.wait_until(lock, due, [this] { return dropped_; })) return 0;
        } else if (dropped_) {
            return 0;
        }
        for (long i = 0; i < frames; ++i, ++position_) {
            const double v = 0.5 * std::sin(2 * 3.14159265358979 * 1000 * double(position_) /
                                             format_.rate);
            for (unsigned c = 0; c < format_.channels; ++c) {
                if (format_.bits == 16) {
                    const auto s = static_cast<std::int16_t>(v * 32767);
                    std::memcpy(data, &s, 2);
                    data += 2;
                } else {
                    *data++ = static_cast<BYTE>(128 + v * 127);
                }
            }
        }
        return frames;
    }
    long TakeOverruns() override { return 0; }
    void Drop() override {
        std::lock_guard lock(mutex_);
        dropped_ = true;
        changed_.notify_all();
    }

private:
    const TPcmFormat format_;
    const bool realTime_;
    const std::chrono::steady_clock::time_point start_;
    long long position_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool dropped_ = false;
};

class TToneCapture : public TPcmCaptureBackend {
public:
    explicit TToneCapture(bool realTime) : realTime_(realTime) {}
    std::unique_ptr<TPcmCaptureDevice> Open(const std::string&, const TPcmFormat& format) override {
        if (format.rate == 0 || format.channels == 0 || (format.bits != 8 && format.bits != 16))
            return nullptr;
        return std::make_unique<TToneDevice>(format, realTime_);
    }

private:
    const bool realTime_;
};

} // namespace

std::shared_ptr<TPcmCaptureBackend> MakeVirtualMicrophone(bool realTime) {
    return std::make_shared<TToneCapture>(realTime);
}

} // namespace talvence
