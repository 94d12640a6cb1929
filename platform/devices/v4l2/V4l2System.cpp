#include "platform/devices/v4l2/V4l2System.h"

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace talvence {

namespace {

namespace fs = std::filesystem;

class TKernelV4l2 final : public IV4l2System {
public:
    std::vector<std::string> Nodes() override {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/class/video4linux", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("video", 0) == 0) out.push_back("/dev/" + name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string StablePath(const std::string& node) override {
        std::error_code ec;
        const fs::path target = fs::canonical(node, ec);
        if (ec) return {};
        for (const auto& entry : fs::directory_iterator("/dev/v4l/by-path", ec)) {
            std::error_code ec2;
            if (fs::canonical(entry.path(), ec2) == target && !ec2) return entry.path().string();
        }
        return {};
    }

    int Open(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        return fd < 0 ? -errno : fd;
    }

    void Close(int fd) override { ::close(fd); }

    int Ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do {
            r = ::ioctl(fd, request, arg);
        } while (r < 0 && errno == EINTR);
        return r < 0 ? -errno : r;
    }

    void* Map(int fd, std::size_t length, std::int64_t offset) override {
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        return p == MAP_FAILED ? nullptr : p;
    }

    void Unmap(void* address, std::size_t length) override { ::munmap(address, length); }

    int Poll(int fd, int timeoutMs) override {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0) return errno == EINTR ? 0 : -errno;
        if (r == 0) return 0;
        // A device that went away wakes the poll with an error and no data.
        if ((p.revents & (POLLERR | POLLHUP)) && !(p.revents & POLLIN)) return -ENODEV;
        return 1;
    }

    long Read(int fd, void* buffer, std::size_t length) override {
        ssize_t r;
        do {
            r = ::read(fd, buffer, length);
        } while (r < 0 && errno == EINTR);
        return r < 0 ? -errno : static_cast<long>(r);
    }

    std::string SoundDevice(const std::string& node) override {
        return UsbSoundDeviceOf("/sys", node);
    }
};

// The USB device a class device belongs to: its "device" link leads to a USB interface
// ("1-1:1.0"), whose parent is the device ("1-1").
fs::path UsbDeviceOf(const fs::path& classDevice) {
    std::error_code ec;
    const fs::path interface = fs::canonical(classDevice / "device", ec);
    if (ec || interface.filename().string().find(':') == std::string::npos) return {};
    return interface.parent_path();
}

} // namespace

std::string UsbSoundDeviceOf(const std::string& sysRoot, const std::string& node) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(node, ec);
    if (ec) resolved = node;
    const fs::path root(sysRoot);
    const fs::path usb = UsbDeviceOf(root / "class/video4linux" / resolved.filename());
    if (usb.empty()) return {};
    for (const auto& entry : fs::directory_iterator(root / "class/sound", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("card", 0) != 0 || UsbDeviceOf(entry.path()) != usb) continue;
        std::string id;
        std::FILE* f = std::fopen((entry.path() / "id").c_str(), "r");
        if (!f) continue;
        char text[64] = {};
        if (std::fgets(text, sizeof text, f)) id = text;
        std::fclose(f);
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        if (!id.empty()) return "plughw:CARD=" + id + ",DEV=0";
    }
    return {};
}

std::shared_ptr<IV4l2System> MakeKernelV4l2() {
    return std::make_shared<TKernelV4l2>();
}

} // namespace talvence
