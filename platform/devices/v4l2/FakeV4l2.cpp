#include "platform/devices/v4l2/FakeV4l2.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <utility>

namespace talvence {

namespace {

constexpr std::int64_t kOffsetStep = 1 << 24; // a buffer's map offset is its index times this
constexpr std::uint32_t kMaxBuffers = 16;

template <std::size_t N> void CopyName(std::uint8_t (&dst)[N], const std::string& src) {
    std::memset(dst, 0, N);
    std::memcpy(dst, src.data(), std::min(src.size(), N - 1));
}

bool Compressed(std::uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG ||
           fourcc == V4L2_PIX_FMT_MPEG;
}

std::size_t RawSize(const TFakeV4l2Mode& m) {
    const std::size_t pixels = std::size_t(m.width) * m.height;
    switch (m.pixelFormat) {
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return pixels * 3 / 2;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
        return pixels * 3;
    default:
        return pixels * 2;
    }
}

} // namespace

TFakeV4l2Device::TFakeV4l2Device(TFakeV4l2DeviceConfig config) : config_(std::move(config)) {
    if (!config_.modes.empty()) mode_ = config_.modes.front();
    for (const auto& c : config_.controls)
        values_[c.id] = c.defaultValue;
    if (!config_.inputs.empty()) {
        const std::uint64_t s = config_.inputs.front().standards;
        standard_ = (s & V4L2_STD_PAL) ? (s & V4L2_STD_PAL) : s;
    }
}

void TFakeV4l2Device::SetUnpluggedHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    unplugged_ = std::move(handler);
}

void TFakeV4l2Device::CallUnpluggedHandler() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (plugged_) return;
        handler = std::exchange(unplugged_, nullptr);
    }
    if (handler) handler();
}

void TFakeV4l2Device::Unplug() {
    {
        std::lock_guard lock(mutex_);
        plugged_ = false;
        changed_.notify_all();
    }
    CallUnpluggedHandler();
}

bool TFakeV4l2Device::Plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

int TFakeV4l2Device::CurrentInput() const {
    std::lock_guard lock(mutex_);
    return input_;
}

std::uint64_t TFakeV4l2Device::CurrentStandard() const {
    std::lock_guard lock(mutex_);
    return standard_;
}

std::int32_t TFakeV4l2Device::ControlValue(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(id);
    return it == values_.end() ? 0 : it->second;
}

std::uint64_t TFakeV4l2Device::FramesSent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

const TFakeV4l2Mode* TFakeV4l2Device::FindMode(std::uint32_t fourcc, std::uint32_t w,
                                               std::uint32_t h) const {
    const TFakeV4l2Mode* sameFormat = nullptr;
    for (const auto& m : config_.modes) {
        if (m.pixelFormat != fourcc) continue;
        if (m.width == w && m.height == h) return &m;
        if (!sameFormat) sameFormat = &m;
    }
    if (sameFormat) return sameFormat;
    return config_.modes.empty() ? nullptr : &config_.modes.front();
}

std::size_t TFakeV4l2Device::ImageSize() const {
    // A compressed picture is never larger than its raw one.
    return Compressed(mode_.pixelFormat) ? std::size_t(mode_.width) * mode_.height * 2
                                         : RawSize(mode_);
}

TFakeV4l2Device::Clock::time_point TFakeV4l2Device::Due() const {
    const auto period = std::chrono::nanoseconds(std::int64_t(1'000'000'000) * mode_.intervalNum /
                                                 mode_.intervalDen);
    return streamStart_ + period * static_cast<std::int64_t>(streamFrames_ + 1);
}

void TFakeV4l2Device::Closed(int fd) {
    std::lock_guard lock(mutex_);
    if (owner_ != fd) return;
    streaming_ = false;
    buffers_.clear();
    unread_.clear();
    owner_ = -1;
}

void* TFakeV4l2Device::Map(std::size_t length, std::int64_t offset) {
    std::lock_guard lock(mutex_);
    const auto index = static_cast<std::size_t>(offset / kOffsetStep);
    if (!plugged_ || offset % kOffsetStep || index >= buffers_.size() ||
        length > buffers_[index].data.size())
        return nullptr;
    return buffers_[index].data.data();
}

int TFakeV4l2Device::Poll(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!plugged_) return -ENODEV;
        // With read() I/O a stream not started yet is readable: the read starts it.
        const bool queued = config_.readIo ? streaming_
                                           : std::any_of(buffers_.begin(), buffers_.end(),
                                                         [](const Buffer& b) { return b.queued; });
        const auto now = Clock::now();
        if (config_.readIo && (!streaming_ || !unread_.empty())) return 1;
        if (streaming_ && queued && (!config_.realTime || now >= Due())) return 1;
        if (now >= deadline) return 0;
        const auto wake = streaming_ && queued ? std::min(Due(), deadline) : deadline;
        changed_.wait_until(lock, wake);
    }
}

int TFakeV4l2Device::Dequeue(void* arg) {
    auto* b = static_cast<v4l2_buffer*>(arg);
    if (!streaming_) return -EINVAL;
    auto it =
        std::find_if(buffers_.begin(), buffers_.end(), [](const Buffer& x) { return x.queued; });
    if (it == buffers_.end()) return -EAGAIN;
    if (config_.realTime) {
        const auto now = Clock::now();
        if (now < Due()) return -EAGAIN;
        // Frames whose time came while every buffer was full are lost by the driver.
        const auto period = std::chrono::nanoseconds(std::int64_t(1'000'000'000) *
                                                     mode_.intervalNum / mode_.intervalDen);
        const auto due = static_cast<std::uint64_t>((now - streamStart_) / period);
        const auto queued = static_cast<std::uint64_t>(std::count_if(
            buffers_.begin(), buffers_.end(), [](const Buffer& x) { return x.queued; }));
        if (due > streamFrames_ + queued) {
            const std::uint64_t lost = due - streamFrames_ - queued;
            sequence_ += static_cast<std::uint32_t>(lost);
            streamFrames_ += lost;
        }
    }
    if (config_.loseEvery && (streamFrames_ + 1) % config_.loseEvery == 0) {
        ++sequence_; // this frame never reaches a buffer
        ++streamFrames_;
    }
    Buffer& buf = *it;
    buf.bytesUsed = Produce(buf.data.data(), buf.data.size());
    buf.sequence = sequence_++;
    buf.queued = false;

    const std::uint32_t type = b->type;
    std::memset(b, 0, sizeof *b);
    b->type = type;
    b->memory = V4L2_MEMORY_MMAP;
    b->index = static_cast<std::uint32_t>(it - buffers_.begin());
    b->bytesused = buf.bytesUsed;
    b->sequence = buf.sequence;
    b->field = V4L2_FIELD_NONE;
    b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE;
    b->length = static_cast<std::uint32_t>(buf.data.size());
    b->m.offset = static_cast<std::uint32_t>(b->index * kOffsetStep);
    return 0;
}

std::uint32_t TFakeV4l2Device::Produce(std::uint8_t* out, std::size_t capacity) {
    const std::uint64_t n = streamFrames_;
    const auto used =
        config_.picture
            ? static_cast<std::uint32_t>(config_.picture(mode_, input_, n, out, capacity))
            : 0;
    ++streamFrames_;
    ++sent_;
    if (config_.unplugAfterFrames && sent_ >= config_.unplugAfterFrames) plugged_ = false;
    return used;
}

long TFakeV4l2Device::Read(int fd, void* buffer, std::size_t length) {
    const long r = ReadLocked(fd, buffer, length);
    CallUnpluggedHandler();
    return r;
}

long TFakeV4l2Device::ReadLocked(int fd, void* buffer, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (!plugged_) return -ENODEV;
    if (!config_.readIo) return -EINVAL;
    if (owner_ != -1 && owner_ != fd) return -EBUSY;
    if (owner_ == -1) {
        owner_ = fd;
        streaming_ = true;
        streamStart_ = Clock::now();
        streamFrames_ = 0;
        unread_.clear();
    }
    if (unread_.empty()) {
        if (config_.realTime && Clock::now() < Due()) return -EAGAIN;
        if (config_.loseEvery && (streamFrames_ + 1) % config_.loseEvery == 0)
            ++streamFrames_; // the driver's buffer overflowed: this picture is missing
        unread_.resize(ImageSize());
        unread_.resize(Produce(unread_.data(), unread_.size()));
        if (unread_.empty()) return -EAGAIN;
    }
    const std::size_t n = std::min(length, unread_.size());
    std::memcpy(buffer, unread_.data(), n);
    unread_.erase(unread_.begin(), unread_.begin() + std::ptrdiff_t(n));
    return static_cast<long>(n);
}

int TFakeV4l2Device::Ioctl(int fd, unsigned long request, void* arg) {
    const int r = IoctlLocked(fd, request, arg);
    CallUnpluggedHandler();
    return r;
}

int TFakeV4l2Device::IoctlLocked(int fd, unsigned long request, void* arg) {
    std::lock_guard lock(mutex_);
    if (!plugged_) return -ENODEV;
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* c = static_cast<v4l2_capability*>(arg);
        std::memset(c, 0, sizeof *c);
        CopyName(c->driver, config_.driver);
        CopyName(c->card, config_.card);
        CopyName(c->bus_info, config_.busInfo);
        const std::uint32_t io = config_.readIo ? V4L2_CAP_READWRITE : V4L2_CAP_STREAMING;
        c->device_caps = (config_.capture ? V4L2_CAP_VIDEO_CAPTURE : V4L2_CAP_META_CAPTURE) | io;
        c->capabilities = c->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* f = static_cast<v4l2_fmtdesc*>(arg);
        std::vector<std::uint32_t> formats;
        for (const auto& m : config_.modes)
            if (std::find(formats.begin(), formats.end(), m.pixelFormat) == formats.end())
                formats.push_back(m.pixelFormat);
        if (f->index >= formats.size()) return -EINVAL;
        f->pixelformat = formats[f->index];
        f->flags = Compressed(f->pixelformat) ? V4L2_FMT_FLAG_COMPRESSED : 0;
        CopyName(f->description, "fake");
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes;
        for (const auto& m : config_.modes)
            if (m.pixelFormat == s->pixel_format &&
                std::find(sizes.begin(), sizes.end(), std::pair(m.width, m.height)) == sizes.end())
                sizes.emplace_back(m.width, m.height);
        if (s->index >= sizes.size()) return -EINVAL;
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = sizes[s->index].first;
        s->discrete.height = sizes[s->index].second;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* v = static_cast<v4l2_frmivalenum*>(arg);
        std::uint32_t i = 0;
        for (const auto& m : config_.modes) {
            if (m.pixelFormat != v->pixel_format || m.width != v->width || m.height != v->height)
                continue;
            if (i++ != v->index) continue;
            v->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            v->discrete.numerator = m.intervalNum;
            v->discrete.denominator = m.intervalDen;
            return 0;
        }
        return -EINVAL;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
        TFakeV4l2Mode chosen = mode_;
        if (request != VIDIOC_G_FMT) {
            const TFakeV4l2Mode* m =
                FindMode(f->fmt.pix.pixelformat, f->fmt.pix.width, f->fmt.pix.height);
            if (!m) return -EINVAL;
            chosen = *m;
        }
        if (request == VIDIOC_S_FMT) {
            if (!buffers_.empty()) return -EBUSY;
            mode_ = chosen;
        }
        std::memset(&f->fmt.pix, 0, sizeof f->fmt.pix);
        f->fmt.pix.width = chosen.width;
        f->fmt.pix.height = chosen.height;
        f->fmt.pix.pixelformat = chosen.pixelFormat;
        f->fmt.pix.field = V4L2_FIELD_NONE;
        f->fmt.pix.sizeimage = static_cast<std::uint32_t>(
            Compressed(chosen.pixelFormat) ? std::size_t(chosen.width) * chosen.height * 2
                                           : RawSize(chosen));
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* p = static_cast<v4l2_streamparm*>(arg);
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
        if (request == VIDIOC_S_PARM) {
            if (streaming_) return -EBUSY;
            const auto& want = p->parm.capture.timeperframe;
            double best = 1e9;
            for (const auto& m : config_.modes) {
                if (m.pixelFormat != mode_.pixelFormat || m.width != mode_.width ||
                    m.height != mode_.height || !want.denominator)
                    continue;
                const double d = std::abs(double(m.intervalNum) / m.intervalDen -
                                          double(want.numerator) / want.denominator);
                if (d < best) {
                    best = d;
                    mode_ = m;
                }
            }
        }
        std::memset(&p->parm, 0, sizeof p->parm);
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe.numerator = mode_.intervalNum;
        p->parm.capture.timeperframe.denominator = mode_.intervalDen;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (r->memory != V4L2_MEMORY_MMAP || config_.readIo) return -EINVAL;
        if (streaming_ || (owner_ != -1 && owner_ != fd)) return -EBUSY;
        buffers_.clear();
        owner_ = -1;
        r->count = std::min(r->count, kMaxBuffers);
        if (r->count == 0) return 0;
        buffers_.resize(r->count);
        for (auto& b : buffers_)
            b.data.assign(ImageSize(), 0);
        owner_ = fd;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (owner_ != fd || b->index >= buffers_.size()) return -EINVAL;
        Buffer& buf = buffers_[b->index];
        if (request == VIDIOC_QBUF) {
            if (buf.queued) return -EINVAL;
            buf.queued = true;
            changed_.notify_all();
            return 0;
        }
        b->length = static_cast<std::uint32_t>(buf.data.size());
        b->m.offset = static_cast<std::uint32_t>(b->index * kOffsetStep);
        b->memory = V4L2_MEMORY_MMAP;
        return 0;
    }
    case VIDIOC_DQBUF:
        if (owner_ != fd) return -EINVAL;
        return Dequeue(arg);
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (owner_ != fd) return -EINVAL;
        if (request == VIDIOC_STREAMON) {
            if (!streaming_) {
                streaming_ = true;
                streamStart_ = Clock::now();
                streamFrames_ = 0;
            }
        } else {
            streaming_ = false;
            for (auto& b : buffers_)
                b.queued = false;
        }
        changed_.notify_all();
        return 0;
    case VIDIOC_ENUMINPUT: {
        auto* in = static_cast<v4l2_input*>(arg);
        const std::uint32_t index = in->index;
        const std::size_t count = config_.inputs.empty() ? 1 : config_.inputs.size();
        if (index >= count) return -EINVAL;
        std::memset(in, 0, sizeof *in);
        in->index = index;
        if (config_.inputs.empty()) {
            CopyName(in->name, "Camera 1");
            in->type = V4L2_INPUT_TYPE_CAMERA;
        } else {
            CopyName(in->name, config_.inputs[index].name);
            in->type = config_.inputs[index].type;
            in->std = config_.inputs[index].standards;
        }
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = input_;
        return 0;
    case VIDIOC_S_INPUT: {
        const int i = *static_cast<int*>(arg);
        const int count = config_.inputs.empty() ? 1 : static_cast<int>(config_.inputs.size());
        if (i < 0 || i >= count) return -EINVAL;
        input_ = i;
        return 0;
    }
    case VIDIOC_G_STD:
    case VIDIOC_S_STD: {
        if (config_.inputs.empty() || !config_.inputs[std::size_t(input_)].standards)
            return -ENODATA;
        auto* id = static_cast<v4l2_std_id*>(arg);
        if (request == VIDIOC_G_STD) {
            *id = standard_;
            return 0;
        }
        const std::uint64_t allowed = config_.inputs[std::size_t(input_)].standards & *id;
        if (!allowed) return -EINVAL;
        standard_ = allowed;
        return 0;
    }
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        const bool next = q->id & V4L2_CTRL_FLAG_NEXT_CTRL;
        const std::uint32_t id = q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        const TFakeV4l2Control* found = nullptr;
        for (const auto& c : config_.controls)
            if (next ? c.id > id && (!found || c.id < found->id) : c.id == id) found = &c;
        if (!found) return -EINVAL;
        std::memset(q, 0, sizeof *q);
        q->id = found->id;
        q->type = found->type;
        CopyName(q->name, found->name);
        q->minimum = found->minimum;
        q->maximum = found->maximum;
        q->step = found->step;
        q->default_value = found->defaultValue;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* m = static_cast<v4l2_querymenu*>(arg);
        for (const auto& c : config_.controls) {
            if (c.id != m->id) continue;
            if (m->index >= c.menu.size() || c.menu[m->index].empty()) return -EINVAL;
            std::uint8_t name[32];
            CopyName(name, c.menu[m->index]);
            std::memcpy(m->name, name, sizeof name);
            return 0;
        }
        return -EINVAL;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* c = static_cast<v4l2_control*>(arg);
        for (const auto& k : config_.controls) {
            if (k.id != c->id) continue;
            if (request == VIDIOC_G_CTRL) {
                c->value = values_[k.id];
                return 0;
            }
            if (c->value < k.minimum || c->value > k.maximum) return -ERANGE;
            values_[k.id] = c->value;
            return 0;
        }
        return -EINVAL;
    }
    default:
        return -ENOTTY;
    }
}

void TFakeV4l2System::Add(const std::string& node, std::shared_ptr<TFakeV4l2Device> device,
                          std::string stablePath) {
    std::lock_guard lock(mutex_);
    nodes_[node] = Node{std::move(device), std::move(stablePath)};
}

std::shared_ptr<TFakeV4l2Device> TFakeV4l2System::Device(const std::string& node) const {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(node);
    return it == nodes_.end() ? nullptr : it->second.device;
}

std::vector<std::string> TFakeV4l2System::Nodes() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [name, node] : nodes_)
        if (node.device->Plugged()) out.push_back(name);
    return out;
}

std::string TFakeV4l2System::StablePath(const std::string& node) {
    std::lock_guard lock(mutex_);
    auto it = nodes_.find(node);
    return it == nodes_.end() ? std::string() : it->second.stablePath;
}

std::string TFakeV4l2System::SoundDevice(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (const auto& [name, node] : nodes_)
        if (name == path || node.stablePath == path) return node.device->Config().microphone;
    return {};
}

int TFakeV4l2System::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (const auto& [name, node] : nodes_) {
        if (name != path && node.stablePath != path) continue;
        if (!node.device->Plugged()) return -ENODEV;
        open_[nextFd_] = node.device;
        return nextFd_++;
    }
    return -ENOENT;
}

std::shared_ptr<TFakeV4l2Device> TFakeV4l2System::Of(int fd) const {
    std::lock_guard lock(mutex_);
    auto it = open_.find(fd);
    return it == open_.end() ? nullptr : it->second;
}

void TFakeV4l2System::Close(int fd) {
    std::shared_ptr<TFakeV4l2Device> device;
    {
        std::lock_guard lock(mutex_);
        auto it = open_.find(fd);
        if (it == open_.end()) return;
        device = it->second;
        open_.erase(it);
    }
    device->Closed(fd);
}

int TFakeV4l2System::Ioctl(int fd, unsigned long request, void* arg) {
    auto device = Of(fd);
    return device ? device->Ioctl(fd, request, arg) : -EBADF;
}

void* TFakeV4l2System::Map(int fd, std::size_t length, std::int64_t offset) {
    auto device = Of(fd);
    return device ? device->Map(length, offset) : nullptr;
}

long TFakeV4l2System::Read(int fd, void* buffer, std::size_t length) {
    auto device = Of(fd);
    return device ? device->Read(fd, buffer, length) : -EBADF;
}

int TFakeV4l2System::Poll(int fd, int timeoutMs) {
    auto device = Of(fd);
    return device ? device->Poll(timeoutMs) : -EBADF;
}

} // namespace talvence
