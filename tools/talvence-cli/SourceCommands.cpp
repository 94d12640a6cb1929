#include "tools/talvence-cli/SourceCommands.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "graph/CrossBar.h"
#include "graph/DeviceCategories.h"
#include "graph/videosources.h"
#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/devices/alsa/AlsaSystem.h"
#include "platform/devices/ieee1394/Ieee1394DvCamera.h"
#include "platform/media/MediaGuids.h"
#include "platform/devices/v4l2/CrossbarFilter.h"
#include "platform/devices/v4l2/V4l2Devices.h"
#include "platform/devices/virtual/VirtualDevices.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/FilterGraph.h"

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
// The routes of the source's crossbars, found in a graph of its own; none for most sources.
std::vector<std::string> RoutesOf(IBaseFilter* filter) {
    ComPtr<IAMUpstreamCrossbars> upstream;
    if (FAILED(filter->QueryInterface(IAMUpstreamCrossbars::iid, upstream.putVoid()))) return {};
    ComPtr<CFilterGraph> graph(new CFilterGraph);
    graph->AddFilter(filter, "Video Source");
    upstream->AddUpstreamCrossbars();
    std::vector<std::string> names;
    if (auto crossbar = CrossbarOfSource(filter))
        for (int i = 0; i < crossbar->RouteCount(); ++i) {
            std::string name;
            if (SUCCEEDED(crossbar->RouteName(i, &name))) names.push_back(name);
        }
    graph->RemoveFilter(filter);
    return names;
}

std::string KindOf(ICreateDevEnum* devEnum, const TvideoSource& source, std::string& why,
                   std::vector<std::string>& routes) {
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
    routes = RoutesOf(filter.get());
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
        std::vector<std::string> routes;
        out << "video " << KindOf(devEnum, *item.Source, why, routes) << " " << item.Name << "\n";
        for (const std::string& route : routes)
            out << "  input " << route << "\n";
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
    RegisterV4l2Devices(*registry, MakeKernelV4l2());
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
