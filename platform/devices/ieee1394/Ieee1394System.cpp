#include "platform/devices/ieee1394/Ieee1394System.h"

#include "platform/log/Log.h"
#include "platform/media/CaptureInterfaces.h"

#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/raw1394.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace talvence {

std::string Ieee1394UnitName(const Ieee1394Unit& unit) {
    std::string name = unit.vendor;
    if (!unit.model.empty()) name += (name.empty() ? "" : " ") + unit.model;
    return name.empty() ? "DV Camcorder" : name;
}

std::string Ieee1394DevicePath(std::uint64_t guid) {
    char text[40];
    std::snprintf(text, sizeof text, "ieee1394:%016llX", static_cast<unsigned long long>(guid));
    return text;
}

namespace {

constexpr int kMaxPorts = 16;

// The node's id as the bus addresses it (local bus, physical id).
nodeid_t NodeId(int node) {
    return static_cast<nodeid_t>(0xffc0 | node);
}

struct Location {
    int port = -1;
    int node = -1;
};

// The kernel's firewire device files (/dev/fw0, /dev/fw1, ...): one per port and node.
std::vector<std::string> FirewireDeviceFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 2 && name.rfind("fw", 0) == 0 && std::isdigit(name[2]))
            files.push_back(entry.path().string());
    }
    return files;
}

// Where the unit with this GUID is now; port -1 when it is on no bus.
Location FindUnit(std::uint64_t guid) {
    raw1394handle_t probe = raw1394_new_handle();
    if (!probe) return {};
    raw1394_portinfo ports[kMaxPorts];
    const int portCount = raw1394_get_port_info(probe, ports, kMaxPorts);
    raw1394_destroy_handle(probe);
    for (int port = 0; port < portCount; ++port) {
        raw1394handle_t h = raw1394_new_handle_on_port(port);
        if (!h) continue;
        const int nodes = raw1394_get_nodecount(h);
        for (int node = 0; node < nodes; ++node) {
            if (rom1394_get_guid(h, node) == guid) {
                raw1394_destroy_handle(h);
                return {port, node};
            }
        }
        raw1394_destroy_handle(h);
    }
    return {};
}

// Reception of one unit's DV stream: the connection made with the plug-control registers (or
// the broadcast channel when the unit has none), frames handed over whole by libiec61883.
class RawDvReception : public IDvReception {
public:
    ~RawDvReception() override { Close(); }

    bool Open(std::uint64_t guid, std::string& error) {
        guid_ = guid;
        cancel_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        const Location at = FindUnit(guid);
        if (at.port < 0) {
            error = "the camcorder is not on the bus";
            return false;
        }
        handle_ = raw1394_new_handle_on_port(at.port);
        if (!handle_) {
            error = std::string("cannot open the IEEE 1394 port: ") + std::strerror(errno);
            return false;
        }
        port_ = at.port;
        node_ = at.node;
        raw1394_set_userdata(handle_, this);
        raw1394_set_bus_reset_handler(handle_, &RawDvReception::OnBusReset);
        channel_ = iec61883_cmp_connect(handle_, NodeId(node_), &oplug_,
                                        raw1394_get_local_id(handle_), &iplug_, &bandwidth_);
        connected_ = channel_ >= 0;
        if (!connected_) channel_ = 63; // a unit without plug registers sends on broadcast
        frames_ = iec61883_dv_fb_init(handle_, &RawDvReception::OnFrame, this);
        if (!frames_ || iec61883_dv_fb_start(frames_, channel_) != 0) {
            error = "cannot receive the camcorder's DV stream";
            return false;
        }
        TLOG(Device) << "IEEE 1394: receiving " << Ieee1394DevicePath(guid) << " on channel "
                     << channel_;
        return true;
    }

    Result Next(std::vector<std::uint8_t>& frame, int timeoutMs) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (cancelled_) return Result::Stopped;
            if (incomplete_ > 0) {
                --incomplete_;
                return Result::Incomplete;
            }
            if (!ready_.empty()) {
                frame.swap(ready_.front());
                ready_.pop_front();
                return Result::Frame;
            }
            if (busReset_) {
                busReset_ = false;
                if (!Reconnect()) return Result::Gone;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return Result::Timeout;
            pollfd fds[2] = {{raw1394_get_fd(handle_), POLLIN, 0}, {cancel_, POLLIN, 0}};
            const int n = poll(fds, 2, static_cast<int>(left.count()));
            if (n < 0 && errno != EINTR) return Result::Gone;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return Result::Gone;
            if ((fds[0].revents & POLLIN) && raw1394_loop_iterate(handle_) < 0 && errno == ENODEV)
                return Result::Gone;
        }
    }

    void Cancel() override {
        cancelled_ = true;
        const std::uint64_t one = 1;
        if (cancel_ >= 0) (void)!write(cancel_, &one, sizeof one);
    }

private:
    static int OnFrame(unsigned char* data, int length, int complete, void* self) {
        auto* me = static_cast<RawDvReception*>(self);
        if (!complete) {
            ++me->incomplete_; // a frame with missing packets is never passed on
            return 0;
        }
        if (me->ready_.size() < 4) me->ready_.emplace_back(data, data + length);
        return 0;
    }

    static int OnBusReset(raw1394handle_t handle, unsigned int generation) {
        raw1394_update_generation(handle, generation);
        static_cast<RawDvReception*>(raw1394_get_userdata(handle))->busReset_ = true;
        return 0;
    }

    // After a bus reset node ids may have changed: find the unit by its GUID on our port and
    // restore its connection on the same channel.
    bool Reconnect() {
        const int nodes = raw1394_get_nodecount(handle_);
        for (int node = 0; node < nodes; ++node) {
            if (rom1394_get_guid(handle_, node) != guid_) continue;
            node_ = node;
            if (connected_)
                iec61883_cmp_reconnect(handle_, NodeId(node_), &oplug_,
                                       raw1394_get_local_id(handle_), &iplug_, &bandwidth_,
                                       channel_);
            TLOG(Device) << "IEEE 1394: bus reset, " << Ieee1394DevicePath(guid_)
                         << " found again as node " << node_;
            return true;
        }
        TLOG(Device) << "IEEE 1394: " << Ieee1394DevicePath(guid_) << " left the bus";
        return false;
    }

    void Close() {
        if (frames_) iec61883_dv_fb_close(frames_);
        if (handle_ && connected_)
            iec61883_cmp_disconnect(handle_, NodeId(node_), oplug_, raw1394_get_local_id(handle_),
                                    iplug_, channel_, bandwidth_);
        if (handle_) raw1394_destroy_handle(handle_);
        if (cancel_ >= 0) close(cancel_);
        frames_ = nullptr;
        handle_ = nullptr;
        cancel_ = -1;
    }

    std::uint64_t guid_ = 0;
    raw1394handle_t handle_ = nullptr;
    iec61883_dv_fb_t frames_ = nullptr;
    int port_ = -1, node_ = -1;
    int oplug_ = -1, iplug_ = -1, bandwidth_ = 0, channel_ = -1;
    bool connected_ = false;
    int cancel_ = -1;
    std::atomic<bool> cancelled_{false};
    // Reading thread only (the callbacks run inside raw1394_loop_iterate).
    std::deque<std::vector<std::uint8_t>> ready_;
    int incomplete_ = 0;
    bool busReset_ = false;
};

class RawAvcUnit : public IAvcUnit {
public:
    explicit RawAvcUnit(std::uint64_t guid) : guid_(guid) {}
    ~RawAvcUnit() override {
        if (handle_) raw1394_destroy_handle(handle_);
    }

    bool SetMode(long mode) override {
        std::lock_guard lock(mutex_);
        if (!Reach()) return false;
        const nodeid_t n = NodeId(node_);
        switch (mode) {
        case ED_MODE_PLAY: avc1394_vcr_play(handle_, n); break;
        case ED_MODE_STOP: avc1394_vcr_stop(handle_, n); break;
        case ED_MODE_FREEZE: avc1394_vcr_pause(handle_, n); break;
        case ED_MODE_FF: avc1394_vcr_forward(handle_, n); break;
        case ED_MODE_REW: avc1394_vcr_rewind(handle_, n); break;
        case ED_MODE_PLAY_FASTEST_FWD: avc1394_vcr_trick_play(handle_, n, 14); break;
        case ED_MODE_PLAY_SLOWEST_FWD: avc1394_vcr_trick_play(handle_, n, 1); break;
        case ED_MODE_PLAY_FASTEST_REV: avc1394_vcr_trick_play(handle_, n, -14); break;
        case ED_MODE_PLAY_SLOWEST_REV: avc1394_vcr_trick_play(handle_, n, -1); break;
        default: return false;
        }
        return true;
    }

    long Mode() override {
        std::lock_guard lock(mutex_);
        if (!Reach()) return ED_MODE_STOP;
        const int playing = avc1394_vcr_is_playing(handle_, NodeId(node_));
        if (playing == AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE) return ED_MODE_FREEZE;
        return playing ? ED_MODE_PLAY : ED_MODE_STOP;
    }

    std::optional<std::uint32_t> Timecode() override {
        std::lock_guard lock(mutex_);
        if (!Reach()) return std::nullopt;
        char text[16] = {};
        if (avc1394_vcr_get_timecode2(handle_, NodeId(node_), text) < 0) return std::nullopt;
        unsigned h = 0, m = 0, s = 0, f = 0;
        if (std::sscanf(text, "%2x:%2x:%2x:%2x", &h, &m, &s, &f) != 4) return std::nullopt;
        return h << 24 | m << 16 | s << 8 | f; // the digits are already BCD
    }

private:
    // The unit's current node on the bus; false when it is gone.
    bool Reach() {
        if (handle_ && node_ >= 0 && rom1394_get_guid(handle_, node_) == guid_) return true;
        if (handle_) raw1394_destroy_handle(handle_);
        handle_ = nullptr;
        const Location at = FindUnit(guid_);
        if (at.port < 0) return false;
        handle_ = raw1394_new_handle_on_port(at.port);
        node_ = at.node;
        return handle_ != nullptr;
    }

    std::uint64_t guid_;
    std::mutex mutex_;
    raw1394handle_t handle_ = nullptr;
    int node_ = -1;
};

// Bus resets on every port, from a thread of its own.
class RawBusWatch {
public:
    explicit RawBusWatch(std::function<void()> onChange) : onChange_(std::move(onChange)) {
        stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
    }
    ~RawBusWatch() {
        const std::uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
        close(stop_);
    }

private:
    static int OnReset(raw1394handle_t handle, unsigned int generation) {
        raw1394_update_generation(handle, generation);
        *static_cast<bool*>(raw1394_get_userdata(handle)) = true;
        return 0;
    }

    void Run() {
        std::vector<raw1394handle_t> handles;
        if (raw1394handle_t probe = raw1394_new_handle()) {
            raw1394_portinfo ports[kMaxPorts];
            const int count = raw1394_get_port_info(probe, ports, kMaxPorts);
            raw1394_destroy_handle(probe);
            for (int port = 0; port < count; ++port)
                if (raw1394handle_t h = raw1394_new_handle_on_port(port)) {
                    raw1394_busreset_notify(h, RAW1394_NOTIFY_ON);
                    raw1394_set_bus_reset_handler(h, &RawBusWatch::OnReset);
                    handles.push_back(h);
                }
        }
        bool reset = false;
        for (raw1394handle_t h : handles)
            raw1394_set_userdata(h, &reset);
        for (;;) {
            std::vector<pollfd> fds{{stop_, POLLIN, 0}};
            for (raw1394handle_t h : handles)
                fds.push_back({raw1394_get_fd(h), POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
            if (fds[0].revents) break;
            for (std::size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & POLLIN) raw1394_loop_iterate(handles[i - 1]);
            if (reset) {
                reset = false;
                onChange_();
            }
        }
        for (raw1394handle_t h : handles)
            raw1394_destroy_handle(h);
    }

    std::function<void()> onChange_;
    int stop_ = -1;
    std::thread thread_;
};

class RawIeee1394System : public IIeee1394System {
public:
    void WatchBus(std::function<void()> onChange) override {
        watch_.reset();
        if (onChange) watch_ = std::make_unique<RawBusWatch>(std::move(onChange));
    }

    std::vector<Ieee1394Unit> Enumerate() override {
        std::vector<Ieee1394Unit> units;
        raw1394handle_t probe = raw1394_new_handle();
        if (!probe) return units; // no firewire stack: no camcorder
        raw1394_portinfo ports[kMaxPorts];
        const int portCount = raw1394_get_port_info(probe, ports, kMaxPorts);
        raw1394_destroy_handle(probe);
        for (int port = 0; port < portCount; ++port) {
            raw1394handle_t h = raw1394_new_handle_on_port(port);
            if (!h) continue;
            const int nodes = raw1394_get_nodecount(h);
            for (int node = 0; node < nodes; ++node) {
                rom1394_directory dir{};
                if (rom1394_get_directory(h, node, &dir) < 0) continue;
                if (rom1394_get_node_type(&dir) == ROM1394_NODE_TYPE_AVC) {
                    Ieee1394Unit unit;
                    unit.guid = rom1394_get_guid(h, node);
                    unit.tape = avc1394_check_subunit_type(h, node, AVC1394_SUBUNIT_TYPE_VCR);
                    unit.camera = avc1394_check_subunit_type(h, node, AVC1394_SUBUNIT_TYPE_VIDEO_CAMERA);
                    if (dir.label) unit.model = dir.label;
                    if (unit.tape || unit.camera) units.push_back(unit);
                }
                rom1394_free_directory(&dir);
            }
            raw1394_destroy_handle(h);
        }
        return units;
    }

    std::unique_ptr<IDvReception> OpenReception(std::uint64_t guid, std::string& error) override {
        auto reception = std::make_unique<RawDvReception>();
        if (!reception->Open(guid, error)) return nullptr;
        return reception;
    }

    std::unique_ptr<IAvcUnit> OpenUnit(std::uint64_t guid) override {
        return std::make_unique<RawAvcUnit>(guid);
    }

    std::string Absence() override {
        if (!FirewireDeviceFiles().empty()) return {};
        return "no IEEE 1394 (FireWire) port on this computer (no /dev/fw* device): DV "
               "camcorders on FireWire cannot be listed";
    }

    std::string AccessProblem() override {
        for (const std::string& file : FirewireDeviceFiles()) {
            if (access(file.c_str(), R_OK | W_OK) == 0) continue;
            const int why = errno;
            return "the IEEE 1394 device " + file + " cannot be opened (" + std::strerror(why) +
                   "): DV camcorders on it are not listed; add yourself to the group that owns it "
                   "(see ls -l " + file +
                   ") or install a udev rule that gives it to your user, then log in again";
        }
        return {};
    }

private:
    std::unique_ptr<RawBusWatch> watch_;
};

} // namespace

std::shared_ptr<IIeee1394System> MakeIeee1394System() {
    return std::make_shared<RawIeee1394System>();
}

} // namespace talvence
