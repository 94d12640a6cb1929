#pragma once

// The virtual DV camcorder itself, apart from any filter: its tape (the scripted one or a raw DV
// file), the transport in VCR mode and the frame counter of camera mode. One exists per
// registered device and every filter bound to it shares it, so the tape keeps its place when the
// graph is rebuilt, as a real tape does.
//
// Camera mode: one frame per period, endlessly; the picture and format follow the tape script
// (from its start, over and over), the timecode counts the frames sent and the recording date and
// time is the clock. A DV file in camera mode is sent from its start to its end, then the tape
// ends; each new start of the stream plays it again from the start.
// VCR mode: the tape starts stopped at its beginning and moves only on transport commands; the
// frames are the tape's own.
//
// Threads: any; the device locks itself with one lock of its own, taken after any filter lock
// and never held while calling out.

#include "platform/devices/virtual/DvTransport.h"
#include "platform/devices/virtual/VirtualDeviceConfig.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

class DvCamcorderDevice {
public:
    // Null, with the reason in error, when the file cannot be read as DV or the tape is empty.
    static std::shared_ptr<DvCamcorderDevice> Open(DvCamcorderConfig config, std::string& error);
    ~DvCamcorderDevice();

    const DvCamcorderConfig& Config() const { return config_; }
    bool IsVcr() const { return config_.mode == DvCamcorderMode::Vcr; }
    std::uint64_t TapeLength() const { return length_; }

    struct Step {
        DvTransport::Step::Kind kind = DvTransport::Step::Idle;
        std::uint64_t tapeFrame = 0;
        std::uint64_t cameraFrame = 0; // camera mode: frames sent before this one
        bool unplugged = false;        // the cable is out: nothing comes any more
    };
    // A stream starts (the filter leaves the stopped state).
    void StreamStarting();
    // One frame period of the device.
    Step Advance();
    // The bytes of a Frame step (144000 for 625/50, 120000 for 525/60).
    bool Produce(const Step& step, std::vector<std::uint8_t>& out, std::string& error);
    // The frame the next period would send if the tape moved: what a connection is typed after.
    bool PeekFrame(std::vector<std::uint8_t>& out, std::string& error);

    // Transport (VCR mode only; E_FAIL in camera mode, E_INVALIDARG for an unknown mode).
    HRESULT SetTransportMode(long mode);
    long TransportMode() const;
    // The timecode under the head (VCR) or of the last frame sent (camera); none when that frame
    // carries no timecode pack.
    std::optional<DvTimecode> CurrentTimecode();
    // The system of that same frame.
    DvTapeSystem CurrentSystem() const;

    // The cable: out after the configured number of frames, or when pulled. Pulling it calls the
    // handler once (on the caller's thread, no lock held); the device then sends nothing more.
    bool Plugged() const { return plugged_; }
    void Unplug();
    void SetUnpluggedHandler(std::function<void()> handler);

    // Blocks while a VCR's tape is stopped, until a transport command or until cancel is set and
    // Wake called. Streaming thread.
    void WaitWhileStopped(const std::atomic<bool>& cancel);
    void Wake();

private:
    explicit DvCamcorderDevice(DvCamcorderConfig config);
    Step AdvanceTape();
    bool OpenFile(std::string& error);
    bool ReadFileFrame(std::uint64_t index, std::vector<std::uint8_t>& out, std::string& error);
    std::optional<DvTimecode> TimecodeOf(std::uint64_t tapeFrame); // mutex_ held
    std::uint64_t CurrentFrame() const;                            // mutex_ held
    DvTapeSystem SystemOf(std::uint64_t tapeFrame) const;          // mutex_ held
    DvRecDateTime ClockNow() const;

    const DvCamcorderConfig config_;
    mutable std::mutex mutex_; // guards everything below
    std::condition_variable commanded_;
    std::unique_ptr<DvTapeSynthesiser> synth_; // null for a file tape
    int fd_ = -1;                              // the file tape
    std::size_t fileFrameBytes_ = 0;
    std::uint64_t length_ = 0; // frames on the tape
    DvTransport transport_{0};
    std::uint64_t cameraFrames_ = 0; // frames camera mode has sent
    std::uint64_t framesSent_ = 0;   // in every mode, for the configured unplugging
    std::atomic<bool> plugged_{true};
    std::function<void()> onUnplugged_;
};

} // namespace talvence
