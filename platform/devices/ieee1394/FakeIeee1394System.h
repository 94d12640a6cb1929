#pragma once
// A scripted IEEE 1394 bus for tests: its units, and for each what the reception brings, fed by
// the test (frames, frames with missing packets, a bus reset, the unit leaving). Transport
// commands are recorded; the timecode is what the test sets.
//
// Threads: Feed and the unit's calls from any thread; a reception is read by one thread.

#include "platform/devices/ieee1394/Ieee1394System.h"
#include "platform/media/CaptureInterfaces.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace talvence {

class FakeIeee1394System : public IIeee1394System,
                           public std::enable_shared_from_this<FakeIeee1394System> {
public:
    struct Event {
        enum Kind { Frame, Incomplete, BusReset, Gone } kind = Frame;
        std::vector<std::uint8_t> frame;
    };

    std::vector<Ieee1394Unit> units;

    void Feed(std::uint64_t guid, Event event) {
        std::lock_guard lock(mutex_);
        queues_[guid].push_back(std::move(event));
        changed_.notify_all();
    }
    long LastMode(std::uint64_t guid) {
        std::lock_guard lock(mutex_);
        return modes_.count(guid) ? modes_[guid] : ED_MODE_STOP;
    }
    int BusResets() {
        std::lock_guard lock(mutex_);
        return resets_;
    }
    std::optional<std::uint32_t> timecode;

    std::vector<Ieee1394Unit> Enumerate() override {
        std::lock_guard lock(mutex_);
        return units;
    }
    // A camcorder plugged in or out: the units change and the bus resets.
    void Replug(std::vector<Ieee1394Unit> now) {
        std::function<void()> watcher;
        {
            std::lock_guard lock(mutex_);
            units = std::move(now);
            gone_.clear();
            watcher = watcher_;
        }
        if (watcher) watcher();
    }
    void WatchBus(std::function<void()> onChange) override {
        std::lock_guard lock(mutex_);
        watcher_ = std::move(onChange);
    }

    std::unique_ptr<IDvReception> OpenReception(std::uint64_t guid, std::string& error) override {
        std::lock_guard lock(mutex_);
        if (gone_.count(guid)) {
            error = "the camcorder is not on the bus";
            return nullptr;
        }
        return std::make_unique<Reception>(shared_from_this(), guid);
    }

    std::unique_ptr<IAvcUnit> OpenUnit(std::uint64_t guid) override {
        return std::make_unique<Unit>(shared_from_this(), guid);
    }

private:
    class Reception : public IDvReception {
    public:
        Reception(std::shared_ptr<FakeIeee1394System> bus, std::uint64_t guid)
            : bus_(std::move(bus)), guid_(guid) {}
        Result Next(std::vector<std::uint8_t>& frame, int timeoutMs) override {
            std::unique_lock lock(bus_->mutex_);
            auto& queue = bus_->queues_[guid_];
            for (;;) {
                if (cancelled_) return Result::Stopped;
                if (!queue.empty()) break;
                if (!bus_->changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                             [&] { return cancelled_ || !queue.empty(); }))
                    return Result::Timeout;
            }
            Event e = std::move(queue.front());
            queue.pop_front();
            switch (e.kind) {
            case Event::Frame: frame = std::move(e.frame); return Result::Frame;
            case Event::Incomplete: return Result::Incomplete;
            case Event::BusReset: ++bus_->resets_; return Result::Timeout; // found again
            case Event::Gone: bus_->gone_.insert({guid_, true}); return Result::Gone;
            }
            return Result::Timeout;
        }
        void Cancel() override {
            std::lock_guard lock(bus_->mutex_);
            cancelled_ = true;
            bus_->changed_.notify_all();
        }

    private:
        std::shared_ptr<FakeIeee1394System> bus_;
        std::uint64_t guid_;
        bool cancelled_ = false; // bus mutex
    };

    class Unit : public IAvcUnit {
    public:
        Unit(std::shared_ptr<FakeIeee1394System> bus, std::uint64_t guid)
            : bus_(std::move(bus)), guid_(guid) {}
        bool SetMode(long mode) override {
            std::lock_guard lock(bus_->mutex_);
            bus_->modes_[guid_] = mode;
            return true;
        }
        long Mode() override { return bus_->LastMode(guid_); }
        std::optional<std::uint32_t> Timecode() override { return bus_->timecode; }

    private:
        std::shared_ptr<FakeIeee1394System> bus_;
        std::uint64_t guid_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, std::deque<Event>> queues_;
    std::map<std::uint64_t, long> modes_;
    std::map<std::uint64_t, bool> gone_;
    std::function<void()> watcher_;
    int resets_ = 0;
};

} // namespace talvence
