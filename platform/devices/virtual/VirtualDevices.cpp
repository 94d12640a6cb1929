#include "platform/devices/virtual/VirtualDevices.h"

#include "platform/devices/v4l2/V4l2Devices.h"
#include "platform/devices/virtual/VirtualDvCamera.h"
#include "platform/devices/virtual/VirtualV4l2.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace talvence {

namespace {

// The device behind one registration, made when first bound and then shared.
struct DeviceSlot {
    DvCamcorderConfig config;
    std::string devicePath;
    FilterRegistry* registry = nullptr; // outlives its entries
    std::mutex mutex;
    std::shared_ptr<DvCamcorderDevice> device; // mutex
};

// A device whose cable comes out leaves the catalogue, as a real one does.
void WatchCable(DeviceSlot& slot) {
    slot.device->SetUnpluggedHandler([registry = slot.registry, path = slot.devicePath] {
        registry->UnregisterByProperty(CLSID_VideoInputDeviceCategory, "DevicePath", path);
    });
}

ComPtr<IBaseFilter> BindDevice(const std::shared_ptr<DeviceSlot>& slot) {
    std::shared_ptr<DvCamcorderDevice> device;
    {
        std::lock_guard lock(slot->mutex);
        if (!slot->device) {
            std::string error;
            slot->device = DvCamcorderDevice::Open(slot->config, error);
            if (slot->device) WatchCable(*slot);
        }
        device = slot->device;
    }
    // An unplugged device cannot be bound: the moniker answers REGDB_E_CLASSNOTREG.
    if (!device || !device->Plugged()) return nullptr;
    return ComPtr<IBaseFilter>(new TVirtualDvCamera(device, slot->devicePath));
}

} // namespace

VirtualDeviceRegistration RegisterVirtualDevices(FilterRegistry& registry,
                                                 const VirtualDeviceList& devices) {
    VirtualDeviceRegistration result;
    for (const std::string& error : devices.errors)
        result.warnings.push_back(std::string(kVirtualDevicesVariable) + ": " + error);
    int dvCount = 0;
    std::map<std::string, int> v4l2Count;
    std::shared_ptr<TFakeV4l2System> v4l2;
    for (const VirtualDeviceSpec& spec : devices.devices) {
        if (spec.kind == "webcam" || spec.kind == "analog" || spec.kind == "mpeg2" ||
            spec.kind == "moviebox") {
            std::string error;
            auto config = ParseVirtualV4l2Options(spec, error);
            if (!config) {
                result.warnings.push_back("virtual device \"" + spec.kind + "\": " + error);
                continue;
            }
            if (!v4l2) v4l2 = std::make_shared<TFakeV4l2System>();
            if (config->microphone)
                v4l2->soundCapture = MakeVirtualMicrophone(config->pacing == DvPacing::RealTime);
            auto device = std::make_shared<TFakeV4l2Device>(MakeVirtualV4l2Device(*config));
            const std::string path =
                "virtual:" + spec.kind + ":" + std::to_string(v4l2Count[spec.kind]++);
            v4l2->Add(path, device, path);
            // A device that goes away leaves the catalogue, as a real one does.
            device->SetUnpluggedHandler([&registry, path] {
                registry.UnregisterByProperty(CLSID_VideoInputDeviceCategory, "DevicePath", path);
            });
            const bool movieBox = config->kind == VirtualV4l2Kind::MovieBox;
            RegisterV4l2Device(registry, v4l2,
                               {device->Config().card, path, path,
                                movieBox ? CLSID_MovieBoxUsbCapture : CLSID_V4l2Capture},
                               spec.kind == "analog"  ? "Virtual analogue capture card"
                               : spec.kind == "mpeg2" ? "Virtual MPEG-2 encoder box"
                               : movieBox             ? "Virtual MovieBox"
                                                      : "Virtual webcam");
            // The makers' demultiplexers the MovieBox needs exist only with it.
            if (movieBox)
                RegisterMovieBoxDemultiplexers(registry, config->cirrusSplitter,
                                               config->movieBoxDemux);
            result.devicePaths.push_back(path);
            continue;
        }
        if (spec.kind != "dv") {
            result.warnings.push_back("virtual device \"" + spec.kind + "\": not built");
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
        slot->registry = &registry;
        if (!config->file.empty()) {
            slot->device = DvCamcorderDevice::Open(*config, error);
            if (!slot->device) {
                result.warnings.push_back("virtual device \"dv\": " + error);
                continue;
            }
            WatchCable(*slot);
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
