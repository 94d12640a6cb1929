#include "platform/devices/virtual/VirtualDevices.h"

#include "platform/devices/virtual/VirtualDvCamera.h"
#include "platform/media/MediaGuids.h"

#include <cstdlib>
#include <mutex>

namespace talvence {

namespace {

// The device behind one registration, made when first bound and then shared.
struct DeviceSlot {
    DvCamcorderConfig config;
    std::string devicePath;
    std::mutex mutex;
    std::shared_ptr<DvCamcorderDevice> device; // mutex
};

ComPtr<IBaseFilter> BindDevice(const std::shared_ptr<DeviceSlot>& slot) {
    std::shared_ptr<DvCamcorderDevice> device;
    {
        std::lock_guard lock(slot->mutex);
        if (!slot->device) {
            std::string error;
            slot->device = DvCamcorderDevice::Open(slot->config, error);
        }
        device = slot->device;
    }
    if (!device) return nullptr; // the moniker answers REGDB_E_CLASSNOTREG
    return ComPtr<IBaseFilter>(new TVirtualDvCamera(device, slot->devicePath));
}

} // namespace

VirtualDeviceRegistration RegisterVirtualDevices(FilterRegistry& registry,
                                                 const VirtualDeviceList& devices) {
    VirtualDeviceRegistration result;
    for (const std::string& error : devices.errors)
        result.warnings.push_back(std::string(kVirtualDevicesVariable) + ": " + error);
    int dvCount = 0;
    for (const VirtualDeviceSpec& spec : devices.devices) {
        if (spec.kind != "dv") {
            result.warnings.push_back("virtual device \"" + spec.kind + "\": not built yet");
            continue;
        }
        std::string error;
        auto config = ParseDvCamcorderOptions(spec, error);
        if (!config) {
            result.warnings.push_back("virtual device \"dv\": " + error);
            continue;
        }
        auto slot = std::make_shared<DeviceSlot>();
        slot->devicePath = "virtual:dv:" + std::to_string(dvCount);
        if (!config->file.empty()) {
            slot->device = DvCamcorderDevice::Open(*config, error);
            if (!slot->device) {
                result.warnings.push_back("virtual device \"dv\": " + error);
                continue;
            }
        }
        const bool vcr = config->mode == DvCamcorderMode::Vcr;
        slot->config = std::move(*config);
        ++dvCount;

        RegisteredFilter entry;
        entry.clsid = CLSID_VirtualDvCamera;
        entry.friendlyName = slot->config.friendlyName;
        entry.merit = MERIT_DO_NOT_USE;
        entry.pins.push_back({PINDIR_OUTPUT, {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}}});
        entry.properties["DevicePath"] = slot->devicePath;
        entry.properties["Description"] =
            vcr ? "Virtual DV camcorder (VCR mode)" : "Virtual DV camcorder (camera mode)";
        entry.create = [slot] { return BindDevice(slot); };
        registry.Register(CLSID_VideoInputDeviceCategory, std::move(entry));
        result.devicePaths.push_back(slot->devicePath);
    }
    return result;
}

VirtualDeviceRegistration RegisterVirtualDevicesFromEnvironment(FilterRegistry& registry) {
    const char* text = std::getenv(kVirtualDevicesVariable);
    if (!text || !*text) return {};
    return RegisterVirtualDevices(registry, ParseVirtualDeviceList(text));
}

} // namespace talvence
