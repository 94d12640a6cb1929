#pragma once

// Hot-plug: capture devices that come and go (webcams, analogue cards, USB sound cards) told as
// they happen, so that the source lists are made again. The real monitor listens to udev for the
// video4linux and sound subsystems; the fake beside it is raised by tests.
//
// Threads: Watch and Stop on the application thread; the handler runs on the monitor's own
// thread (the owner posts it on), never after Stop or the destructor returned.

#include <functional>
#include <memory>
#include <mutex>

namespace talvence {

class IDeviceMonitor {
public:
    virtual ~IDeviceMonitor() = default;
    // From now on `onChange` is called once for every device added or removed; a later call
    // replaces the handler.
    virtual void Watch(std::function<void()> onChange) = 0;
    virtual void Stop() = 0;
};

// The udev monitor; null when udev cannot be reached (no hot-plug then).
std::unique_ptr<IDeviceMonitor> MakeUdevMonitor();

class TFakeDeviceMonitor : public IDeviceMonitor {
public:
    void Watch(std::function<void()> onChange) override {
        std::lock_guard lock(mutex_);
        onChange_ = std::move(onChange);
    }
    void Stop() override { Watch({}); }
    // A device came or went: the handler, on the calling thread.
    void Raise() {
        std::lock_guard lock(mutex_);
        if (onChange_) onChange_();
    }

private:
    std::mutex mutex_;
    std::function<void()> onChange_;
};

} // namespace talvence
