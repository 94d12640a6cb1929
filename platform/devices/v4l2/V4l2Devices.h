#pragma once

// V4L2 video nodes as the video input category lists them: one entry per node that captures
// video with streaming I/O (a webcam's metadata node is left out), named by the card name,
// numbered " (2)", " (3)"... when names repeat, so that two identical webcams stay apart. Its
// "DevicePath" is the node's /dev/v4l/by-path link, which survives reboots and plugging order,
// else "v4l2:" and the bus information; the source opens that path (the node when there is no
// link). Binding an entry creates a TV4l2CaptureSource; a node gone since answers no filter.
//
// Threads: the application thread, at start-up and when the list is rebuilt.

#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/devices/v4l2/V4l2System.h"
#include "platform/media/FilterRegistry.h"

namespace talvence {

struct TV4l2CaptureDevice {
    std::string friendlyName;
    std::string devicePath; // as listed
    std::string openPath;   // what the source opens
    // The class id of the entry and of its source filter; the platform's V4L2 source unless a
    // device stands for a maker's own capture filter (the virtual MovieBox).
    CLSID filterClass = CLSID_V4l2Capture;
};

std::vector<TV4l2CaptureDevice> ListV4l2CaptureDevices(IV4l2System& system);

// Registers one device in CLSID_VideoInputDeviceCategory.
void RegisterV4l2Device(FilterRegistry& registry, const std::shared_ptr<IV4l2System>& system,
                        const TV4l2CaptureDevice& device, const std::string& description);

// Registers every capture node in CLSID_VideoInputDeviceCategory with `description`, in place of
// the nodes registered before (the virtual devices, "virtual:..." paths, stay); answers their
// device paths.
std::vector<std::string> RegisterV4l2Devices(FilterRegistry& registry,
                                             const std::shared_ptr<IV4l2System>& system,
                                             const std::string& description = "V4L2 capture");

} // namespace talvence
