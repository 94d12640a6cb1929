#pragma once

// ALSA capture devices as the audio input category lists them: one entry per capture PCM device
// of each card, named "<card name>: <PCM name>" (the card name alone when the PCM has none), with
// the ALSA device name to open as "DevicePath" ("plughw:CARD=<card id>,DEV=<n>": the card id
// survives a change in card order, and the plug layer converts to what the card takes).
//
// Names that would repeat (two identical USB microphones) get " (2)", " (3)"... in listing
// order, compared without regard to letter case: devices are selected by friendly name, and a
// repeated name could only ever select one of them.
//
// Binding an entry creates a TAlsaCaptureSource on the entry's device.
//
// Threads: any; one call at a time per TAlsaSystem.

#include "platform/devices/alsa/AlsaSystem.h"
#include "platform/devices/alsa/PcmCapture.h"
#include "platform/media/FilterRegistry.h"

namespace talvence {

// The platform's class id of audio capture filters, given as the entries' "CLSID".
inline constexpr GUID CLSID_AudioRecord = MakeGuid("E30629D2-27E5-11CE-875D-00608CB78066");

struct TAlsaCaptureDevice {
    std::string friendlyName;
    std::string devicePath;
};

std::vector<TAlsaCaptureDevice> ListAlsaCaptureDevices(TAlsaSystem& system);

// Registers every capture device in CLSID_AudioInputDeviceCategory, in place of those registered
// before; answers how many. The sources the entries create read through `capture` (null: ALSA).
int RegisterAlsaCaptureDevices(FilterRegistry& registry, TAlsaSystem& system,
                               std::shared_ptr<TPcmCaptureBackend> capture = nullptr);

} // namespace talvence
