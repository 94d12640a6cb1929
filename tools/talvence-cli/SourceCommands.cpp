#include "tools/talvence-cli/SourceCommands.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "graph/DeviceCategories.h"
#include "graph/videosources.h"
#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/devices/alsa/AlsaSystem.h"
#include "platform/devices/ieee1394/Ieee1394DvCamera.h"
#include "platform/media/MediaGuids.h"
#include "platform/devices/virtual/VirtualDevices.h"
#include "platform/media/DeviceEnum.h"

namespace talvence::cli {

namespace {

const char* KindWord(SourceKind kind) {
    switch (kind) {
    case SourceKind::skDv:
        return "dv";
    case SourceKind::skMovieBox:
        return "moviebox";
    case SourceKind::skCapturePin:
        return "capture";
    case SourceKind::skMpeg2Stream:
        return "mpeg2";
    case SourceKind::skNone:
        break;
    }
    return "-";
}

// The kind the analysis would give the source, read from its filter's pins without a graph;
// "-" with the reason in why when it cannot be told.
std::string KindOf(ICreateDevEnum* devEnum, const TvideoSource& source, std::string& why) {
    TFilter slot("Video Source");
    if (!BindVideoSource(devEnum, source, slot) || !slot.BaseFilter()) {
        why = "the device is not present any more";
        return "-";
    }
    ComPtr<IBaseFilter> filter;
    if (FAILED(slot.BaseFilter()->BindToObject(nullptr, nullptr, IBaseFilter::iid,
                                               filter.putVoid())) ||
        !filter) {
        why = "the device's filter cannot be made";
        return "-";
    }
    CLSID classId = GUID_NULL;
    filter->GetClassID(&classId);
    const TSourcePinChoice choice = ChooseSourcePins(ReadSourcePins(filter.get()), classId);
    if (choice.MainPin < 0) {
        why = "no output pin to preview";
        return "-";
    }
    return KindWord(choice.Kind);
}

} // namespace

int ListSources(ICreateDevEnum* devEnum, std::ostream& out, std::ostream& err) {
    TvideoSourceList known;
    TVideoSourceDisplayList display;
    if (!EnumerateVideoSources(devEnum, known, display)) {
        err << "sources: the video input devices cannot be enumerated\n";
        return kExitFailed;
    }
    for (const TVideoSourceItem& item : display) {
        std::string why;
        out << "video " << KindOf(devEnum, *item.Source, why) << " " << item.Name << "\n";
        if (!why.empty()) err << "sources: \"" << item.Name << "\": " << why << "\n";
    }

    std::vector<std::string> audio;
    if (!ListAudioDevices(devEnum, audio)) {
        err << "sources: the audio input devices cannot be enumerated\n";
        return kExitFailed;
    }
    for (const std::string& name : audio)
        out << "audio " << name << "\n";
    return kExitOk;
}

int RunSources(Args args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        err << "usage: talvence-cli sources\n";
        return kExitUsage;
    }
    auto registry = std::make_shared<FilterRegistry>();
    for (const std::string& warning : RegisterVirtualDevicesFromEnvironment(*registry).warnings)
        err << "sources: " << warning << "\n";
    RegisterAlsaCaptureDevices(*registry, *MakeAlsaSystem());
    const std::shared_ptr<IIeee1394System> bus = MakeIeee1394System();
    RegisterIeee1394Cameras(*registry, bus);
    // An empty list says why no camcorder on FireWire is in it, when something can be said.
    if (registry->Entries(CLSID_VideoInputDeviceCategory).empty()) {
        const std::string problem = bus->AccessProblem();
        const std::string why = problem.empty() ? bus->Absence() : problem;
        if (!why.empty()) err << "sources: " << why << "\n";
    }
    ComPtr<CSystemDeviceEnum> devEnum(new CSystemDeviceEnum(registry));
    return ListSources(devEnum.get(), out, err);
}

void AddSourceCommands(CommandTable& table) {
    table.add({"sources", "",
               "list the video sources (with their source kind) and the audio input devices",
               RunSources});
}

} // namespace talvence::cli
