#include "platform/devices/alsa/AlsaDevices.h"

#include "platform/devices/alsa/AlsaCaptureSource.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cctype>

namespace talvence {

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool Taken(const std::vector<TAlsaCaptureDevice>& list, const std::string& name) {
    const std::string key = Lower(name);
    return std::any_of(list.begin(), list.end(),
                       [&](const TAlsaCaptureDevice& d) { return Lower(d.friendlyName) == key; });
}
} // namespace

std::vector<TAlsaCaptureDevice> ListAlsaCaptureDevices(TAlsaSystem& system) {
    std::vector<TAlsaCaptureDevice> out;
    for (const TAlsaCard& card : system.Cards()) {
        for (const TAlsaPcm& pcm : system.CapturePcms(card.index)) {
            std::string base = card.name.empty() ? card.id : card.name;
            if (!pcm.name.empty()) base += ": " + pcm.name;
            std::string name = base;
            for (int n = 2; Taken(out, name); ++n)
                name = base + " (" + std::to_string(n) + ")";
            const std::string cardRef = card.id.empty() ? std::to_string(card.index) : card.id;
            out.push_back(TAlsaCaptureDevice{name, "plughw:CARD=" + cardRef +
                                                       ",DEV=" + std::to_string(pcm.device)});
        }
    }
    return out;
}

int RegisterAlsaCaptureDevices(FilterRegistry& registry, TAlsaSystem& system,
                               std::shared_ptr<TPcmCaptureBackend> capture) {
    if (!capture) capture = MakeAlsaCaptureBackend();
    // Registering again lists what is plugged in now.
    registry.Unregister(CLSID_AudioInputDeviceCategory, CLSID_AudioRecord);
    int count = 0;
    for (const TAlsaCaptureDevice& device : ListAlsaCaptureDevices(system)) {
        RegisteredFilter entry;
        entry.clsid = CLSID_AudioRecord;
        entry.friendlyName = device.friendlyName;
        entry.merit = MERIT_DO_NOT_USE;
        entry.pins = {
            RegisteredPin{PINDIR_OUTPUT, {REGPINTYPES{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}}};
        entry.properties["DevicePath"] = device.devicePath;
        entry.create = [capture, device] {
            return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(
                new TAlsaCaptureSource(capture, device.devicePath, device.friendlyName)));
        };
        registry.Register(CLSID_AudioInputDeviceCategory, std::move(entry));
        ++count;
    }
    return count;
}

} // namespace talvence
