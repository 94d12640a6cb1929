#pragma once
// DV camcorders on IEEE 1394 behind a small seam: the bus's AV/C units with a tape or camera
// subunit, the reception of a unit's isochronous DV stream as whole frames, and the AV/C tape
// transport and timecode. The real system (MakeIeee1394System) stands on libraw1394 (the kernel's
// firewire stack, /dev/fw*), libiec61883 (connection management and DV frame reception) and
// libavc1394 (AV/C commands, configuration ROM); FakeIeee1394System (tests) scripts a bus.
//
// Threads: Enumerate and OpenUnit on the application thread; a reception belongs to the thread
// that reads it, except Cancel (any thread). Units may be commanded from any thread, one call at
// a time (the filter serialises them).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

struct Ieee1394Unit {
    std::uint64_t guid = 0; // stable across bus resets and re-plugging
    std::string vendor;     // from the configuration ROM; may be empty
    std::string model;
    bool tape = false;   // a VCR (tape) subunit: transport commands apply
    bool camera = false; // a camera subunit
};

// The unit's display name: "vendor model", else a generic name.
std::string Ieee1394UnitName(const Ieee1394Unit& unit);
// The device path of a unit: its GUID in 16 hex digits ("ieee1394:0080458800123456").
std::string Ieee1394DevicePath(std::uint64_t guid);

class IDvReception {
public:
    enum class Result {
        Frame,      // a whole frame is in `frame`
        Incomplete, // a frame lost packets: dropped, count it
        Gone,       // the unit left the bus (unplugged or switched off)
        Stopped,    // Cancel was called
        Timeout,    // nothing within the time given
    };
    virtual ~IDvReception() = default;
    // Blocks up to timeoutMs for what the stream brings next. Bus resets are handled inside: the
    // unit is found again by its GUID and its connection re-established.
    virtual Result Next(std::vector<std::uint8_t>& frame, int timeoutMs) = 0;
    // Any thread: Next returns Stopped, now or at its next call.
    virtual void Cancel() = 0;
};

class IAvcUnit {
public:
    virtual ~IAvcUnit() = default;
    // Transport modes as IAMExtTransport names them (ED_MODE_*); false when the unit refused or
    // is gone.
    virtual bool SetMode(long mode) = 0;
    virtual long Mode() = 0;
    // Packed-BCD timecode of the tape under the head; none when it cannot be read.
    virtual std::optional<std::uint32_t> Timecode() = 0;
};

class IIeee1394System {
public:
    virtual ~IIeee1394System() = default;
    // Every AV/C unit with a tape or camera subunit on every port; empty when there is no bus.
    virtual std::vector<Ieee1394Unit> Enumerate() = 0;
    // Null, with the reason in error, when the unit is not on the bus or cannot send.
    virtual std::unique_ptr<IDvReception> OpenReception(std::uint64_t guid, std::string& error) = 0;
    virtual std::unique_ptr<IAvcUnit> OpenUnit(std::uint64_t guid) = 0;
    // Why camcorders may be missing from Enumerate although the bus is there (a device file the
    // user may not open), one sentence naming the file; empty when nothing stands in the way.
    virtual std::string AccessProblem() { return {}; }
    // Why no camcorder can be listed at all (no firewire port on this computer); empty when
    // there is a bus to look on.
    virtual std::string Absence() { return {}; }
    // Calls `onChange` (on a thread of the system's) after each bus reset, which every plug and
    // unplug causes, until the system goes; an empty function stops the watch.
    virtual void WatchBus(std::function<void()> onChange) { (void)onChange; }
};

// The kernel's bus through libraw1394; a system without firewire ports enumerates nothing.
std::shared_ptr<IIeee1394System> MakeIeee1394System();

} // namespace talvence
