#pragma once

// TALVENCE_VIRTUAL_DEVICES: which virtual devices to list, and how each one behaves.
//
//   list    := device { "," device }
//   device  := kind { ":" key [ "=" value ] }
//
// for example "dv:mode=vcr:pace=fast,webcam". Blanks around items are ignored, as are empty items.
// Kinds are kept whatever they are: the registration decides which it can build. The DV
// camcorder's options and its tape script are parsed here too, so that a typo is reported when the
// list is read rather than when a graph is built.
//
// Pure functions, any thread (a "tape=@FILE" script is read from the file system).

#include "platform/devices/virtual/DvTapeSynthesiser.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvence {

inline constexpr const char* kVirtualDevicesVariable = "TALVENCE_VIRTUAL_DEVICES";

struct VirtualDeviceSpec {
    std::string kind;                                         // lower case: "dv", "webcam", ...
    std::vector<std::pair<std::string, std::string>> options; // as written; keys lower case

    // The value of the last option with this key, or null.
    const std::string* Option(std::string_view key) const;
};

struct VirtualDeviceList {
    std::vector<VirtualDeviceSpec> devices;
    std::vector<std::string> errors; // items that could not be read (they are left out)
};

VirtualDeviceList ParseVirtualDeviceList(std::string_view text);

enum class DvCamcorderMode { Camera, Vcr };
enum class DvPacing { RealTime, AsFastAsPossible };

struct DvCamcorderConfig {
    std::string friendlyName = "Virtual DV Camcorder";
    DvCamcorderMode mode = DvCamcorderMode::Camera;
    DvPacing pacing = DvPacing::RealTime;
    std::string file; // a raw DV file played as the tape; empty: the scripted tape
    DvTapeScript tape;
    // Camera mode's recording date and time; null: the local clock. Called on the streaming
    // thread once per frame.
    std::function<TDateTime()> clock;
    // The cable comes out once the device has sent this many frames in all its streams (0:
    // never): the stream ends with the device lost and the device leaves the catalogue.
    std::uint64_t unplugAfterFrames = 0;
};

// The tape a "dv" device plays when no tape is given: two recordings a few hours apart, the
// second in 16:9 with 32 kHz sound, so that date and format cuts both occur.
DvTapeScript DefaultDvTape();

// Recordings separated by ";" (or by line ends in a script file), each
//   START/FRAMES[/pal|ntsc[/4x3|16x9[/48k|32k|none[/notc]]]]
// START is YYYYMMDDTHHMMSS or YYYY-MM-DDTHH:MM:SS (the latter only in script files, since ":"
// separates options), or "nodate" for a recording without date packs. Omitted fields default to
// pal, 4x3, 48k; "notc" leaves the timecode pack out. Lines starting with "#" are comments.
std::optional<DvTapeScript> ParseDvTapeScript(std::string_view text, std::string& error);

// Options of a "dv" device: mode=camera|vcr, pace=real|fast, file=PATH, tape=SCRIPT or
// tape=@SCRIPTFILE, name=FRIENDLY NAME, unplug=FRAMES. Unknown options and bad values are errors.
std::optional<DvCamcorderConfig> ParseDvCamcorderOptions(const VirtualDeviceSpec& spec,
                                                         std::string& error);

// The V4L2 devices on the fake seam: a webcam (640 x 480 at 30 frames a second, MJPEG and
// YUYV), an analogue capture card (PAL 720 x 576 YUYV, a tuner, composite and S-Video inputs)
// an MPEG-2 encoder box (a program stream of PAL MPEG-2 video and MPEG audio) and the MovieBox
// (the same stream from a device whose capture filter answers the MovieBox's class id).
enum class VirtualV4l2Kind { Webcam, Analog, Mpeg2Box, MovieBox };

struct VirtualV4l2Config {
    VirtualV4l2Kind kind = VirtualV4l2Kind::Webcam;
    std::string friendlyName; // empty: the kind's own
    bool mjpeg = true;        // the webcam's formats (the card has YUYV only)
    bool yuyv = true;
    DvPacing pacing = DvPacing::RealTime;
    std::uint64_t unplugAfterFrames = 0; // 0: never
    bool microphone = false;             // the webcam's microphone, playing a tone
    bool alternateIds = false;           // the box's stream ids: 0xE1/0xC1, else 0xE0/0xC0
    bool readIo = false;                 // the box is read with read(), without streaming I/O
    // The MovieBox's demultiplexers registered with it (stand-ins for the makers' filters).
    bool cirrusSplitter = true;
    bool movieBoxDemux = true;
};

// Options of a "webcam" (format=mjpeg|yuyv|both, name=, pace=real|fast, unplug=FRAMES, mic), an
// "analog" device (name=, pace=, unplug=), an "mpeg2" box (ids=e0|e1, io=mmap|read, name=, pace=,
// unplug=) or a "moviebox" (the mpeg2 box's options and demux=both|cirrus|mbx|none: which of its two
// demultiplexers are installed). Unknown options and bad values are errors.
std::optional<VirtualV4l2Config> ParseVirtualV4l2Options(const VirtualDeviceSpec& spec,
                                                         std::string& error);

} // namespace talvence
