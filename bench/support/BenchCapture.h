#pragma once
// A capture as the capture program builds it, for the benchmarks: the graph module's DV preview
// fed by the virtual DV camcorder reading a clip as fast as it goes, a capture added by the
// caller, run to the clip's end and timed.
//
// Threads: the benchmark's main thread (the graph's streaming threads run inside Run).

#include "bench/support/BenchProcess.h"
#include "graph/BuiltInFilters.h"
#include "graph/graph.h"
#include "graph/videosources.h"
#include "platform/devices/virtual/VirtualDeviceConfig.h"
#include "platform/media/EventCodes.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace talvence::bench {

struct CaptureRun {
    bool ok = false;
    std::string error;
    double cpuSeconds = 0; // this process, around the run
    double wallSeconds = 0;
};

// addCapture builds the capture onto the stopped preview (false: it could not). With
// timeTheStop the graph's stop, which finishes the capture's file, is part of the time.
inline CaptureRun RunCaptureOfClip(const std::filesystem::path& clip,
                                   const std::function<bool(TdmCam&)>& addCapture,
                                   bool timeTheStop) {
    CaptureRun r;
    auto registry = std::make_shared<FilterRegistry>();
    const std::string devices = "dv:pace=fast:file=" + clip.string();
    setenv(kVirtualDevicesVariable, devices.c_str(), 1);
    const auto problems = RegisterBuiltInFilters(*registry);
    unsetenv(kVirtualDevicesVariable);
    if (!problems.empty()) {
        r.error = problems.front();
        return r;
    }
    struct NoWindow : IVideoFrameSink {
        void RenderFrame(const TVideoFrame&) override {}
        void ApplyWindowOptions(const TVideoWindowOptions&) override {}
    } sink;
    TVideoWindow window;
    TdmCam cam(registry, window);
    cam.Graph().SetEventWakeup([] {});
    window.UseDefaultRenderer(cam.DeviceEnumerator());
    window.SetFrameSink(&sink);
    TvideoSourceList known;
    TVideoSourceDisplayList display;
    EnumerateVideoSources(cam.DeviceEnumerator(), known, display);
    if (display.empty() || !cam.AnalyseSource(*display.front().Source) ||
        !cam.BuildPreviewGraph(SourceKind::skDv) || !addCapture(cam)) {
        r.error = "the capture graph cannot be built: " + cam.LastError();
        window.SetFrameSink(nullptr);
        return r;
    }

    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    long code = 0;
    const bool ran = cam.RunGraph();
    const HRESULT done =
        ran ? cam.Graph().Query<IMediaEvent>()->WaitForCompletion(600000, &code) : E_FAIL;
    if (timeTheStop) cam.StopGraph();
    const double cpu1 = ProcessCpuSeconds();
    const double wall1 = WallSeconds();
    cam.StopGraph();
    window.SetFrameSink(nullptr);
    if (done != S_OK || code != EC_COMPLETE) {
        r.error = "the capture did not complete (code " + std::to_string(code) + ")";
        return r;
    }
    r.ok = true;
    r.cpuSeconds = cpu1 - cpu0;
    r.wallSeconds = wall1 - wall0;
    return r;
}

} // namespace talvence::bench
