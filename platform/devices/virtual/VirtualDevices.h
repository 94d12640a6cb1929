#pragma once

// Puts the virtual devices named by TALVENCE_VIRTUAL_DEVICES into the device enumerator's video
// input category. Each "dv" item becomes a DV camcorder entry ("FriendlyName", "CLSID",
// "DevicePath" virtual:dv:N with N counting the dv items from 0, "Description"); binding its
// moniker makes a TVirtualDvCamera on a device shared by every bind of that entry. The device and
// its tape are made at the first bind (a DV file is opened at registration, so that a wrong path
// is reported at once). Each "webcam", "analog", "mpeg2" and "moviebox" item becomes a fake V4L2
// device (VirtualV4l2.h) registered as a V4L2 capture node with "DevicePath" virtual:KIND:N,
// bound to the real V4L2 source filter; the MovieBox's entry and filter carry the MovieBox
// capture filter's class id, and it brings the stand-ins of its two demultiplexers
// (RegisterMovieBoxDemultiplexers) as its "demux" option says. Other kinds are reported, not
// registered.
//
// Threads: the application thread, at start-up (the registry locks itself).

#include "platform/devices/virtual/VirtualDeviceConfig.h"
#include "platform/media/FilterRegistry.h"

#include <string>
#include <vector>

namespace talvence {

struct VirtualDeviceRegistration {
    std::vector<std::string> devicePaths; // what was registered, in order
    std::vector<std::string> warnings;    // what was not, and why
};

VirtualDeviceRegistration RegisterVirtualDevices(FilterRegistry& registry,
                                                 const VirtualDeviceList& devices);

// The list from the environment; nothing when the variable is unset or empty.
VirtualDeviceRegistration RegisterVirtualDevicesFromEnvironment(FilterRegistry& registry);

} // namespace talvence
