#include "platform/devices/hotplug/DeviceMonitor.h"

#include "platform/log/Log.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace talvence {

namespace {

class TUdevMonitor : public IDeviceMonitor {
public:
    TUdevMonitor(udev* context, udev_monitor* monitor, int wake)
        : udev_(context), monitor_(monitor), wake_(wake) {}
    ~TUdevMonitor() override {
        Stop();
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
        close(wake_);
    }

    void Watch(std::function<void()> onChange) override {
        {
            std::lock_guard lock(mutex_);
            onChange_ = std::move(onChange);
        }
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }

    void Stop() override {
        if (!thread_.joinable()) return;
        const std::uint64_t one = 1;
        if (write(wake_, &one, sizeof one) < 0) TLOG(Device) << "hot-plug: cannot wake the monitor";
        thread_.join();
        std::uint64_t drained = 0;
        if (read(wake_, &drained, sizeof drained) < 0) drained = 0;
    }

private:
    void Run() {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {wake_, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (!(fds[0].revents & POLLIN)) continue;
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (!device) continue;
            const char* action = udev_device_get_action(device);
            // Only arrivals and removals change the lists; "change" events come in streams.
            const bool listed =
                action && (!std::strcmp(action, "add") || !std::strcmp(action, "remove"));
            udev_device_unref(device);
            if (!listed) continue;
            std::lock_guard lock(mutex_);
            if (onChange_) onChange_();
        }
    }

    udev* udev_;
    udev_monitor* monitor_;
    const int wake_;
    std::mutex mutex_;
    std::function<void()> onChange_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<IDeviceMonitor> MakeUdevMonitor() {
    udev* context = udev_new();
    if (!context) return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "video4linux",
                                                                    nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "sound", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        TLOG(Device) << "hot-plug: udev cannot be listened to; plugged devices need a refresh";
        return nullptr;
    }
    const int wake = eventfd(0, EFD_CLOEXEC);
    if (wake < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<TUdevMonitor>(context, monitor, wake);
}

} // namespace talvence
