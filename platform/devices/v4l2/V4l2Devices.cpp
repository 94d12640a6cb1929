#include "platform/devices/v4l2/V4l2Devices.h"

#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cctype>

namespace talvence {

namespace {
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}
} // namespace

std::vector<TV4l2CaptureDevice> ListV4l2CaptureDevices(IV4l2System& system) {
    std::vector<TV4l2CaptureDevice> out;
    for (const std::string& node : system.Nodes()) {
        TV4l2Handle handle(system, node);
        if (!handle.Valid()) continue;
        auto info = QueryV4l2Node(handle);
        if (!info || !info->capture) continue;
        if (info->readOnly && CapturableV4l2Modes(handle, *info).empty()) continue;
        const std::string base = info->card.empty() ? node : info->card;
        std::string name = base;
        for (int n = 2; std::any_of(
                 out.begin(), out.end(),
                 [&](const TV4l2CaptureDevice& d) { return SameName(d.friendlyName, name); });
             ++n)
            name = base + " (" + std::to_string(n) + ")";
        const std::string stable = system.StablePath(node);
        out.push_back({name, stable.empty() ? "v4l2:" + info->busInfo : stable,
                       stable.empty() ? node : stable});
    }
    return out;
}

void RegisterV4l2Device(FilterRegistry& registry, const std::shared_ptr<IV4l2System>& system,
                        const TV4l2CaptureDevice& device, const std::string& description) {
    RegisteredFilter entry;
    entry.clsid = device.filterClass;
    entry.friendlyName = device.friendlyName;
    entry.merit = MERIT_DO_NOT_USE;
    entry.pins = {RegisteredPin{PINDIR_OUTPUT, {REGPINTYPES{MEDIATYPE_Video, GUID_NULL}}}};
    entry.properties["DevicePath"] = device.devicePath;
    entry.properties["Description"] = description;
    entry.create = [system, device]() -> ComPtr<IBaseFilter> {
        auto source = TV4l2CaptureSource::Create(system, device.openPath, device.friendlyName,
                                                 device.devicePath, device.filterClass);
        return source ? ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(source.get())) : nullptr;
    };
    registry.Register(CLSID_VideoInputDeviceCategory, std::move(entry));
}

std::vector<std::string> RegisterV4l2Devices(FilterRegistry& registry,
                                             const std::shared_ptr<IV4l2System>& system,
                                             const std::string& description) {
    // A node unplugged since goes; one plugged in comes.
    for (const RegisteredFilter& entry : registry.Entries(CLSID_VideoInputDeviceCategory)) {
        auto path = entry.properties.find("DevicePath");
        if (entry.clsid == CLSID_V4l2Capture && path != entry.properties.end() &&
            path->second.rfind("virtual:", 0) != 0)
            registry.UnregisterByProperty(CLSID_VideoInputDeviceCategory, "DevicePath",
                                          path->second);
    }
    std::vector<std::string> paths;
    for (const TV4l2CaptureDevice& device : ListV4l2CaptureDevices(*system)) {
        RegisterV4l2Device(registry, system, device, description);
        paths.push_back(device.devicePath);
    }
    return paths;
}

} // namespace talvence
