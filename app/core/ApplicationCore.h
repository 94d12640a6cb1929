#pragma once
// The application core: everything a face of Talvence (the main window, talvence-cli) drives,
// wired once. It registers the built-in filters and devices, declares and loads the preferences
// from the store, holds the graph module with its own filters and the preview window's slot,
// keeps the source catalogue (video sources and sound cards), and runs capture control over the
// graph module and the real file system. The face brings the dialogs and, when it has one, its
// window; without a window the core answers the window's inlay actions itself.
//
// Threads: application thread only. Destroying the core stops the graph first, so that no
// handler given to the graph outlives capture control.

#include "app/capture/CaptureFiles.h"
#include "app/capture/CaptureStatus.h"
#include "app/capture/DmCamCaptureGraph.h"
#include "app/capture/ICaptureWindow.h"
#include "app/capture/TCaptureControl.h"
#include "graph/VideoWindow.h"
#include "graph/graph.h"
#include "graph/videosources.h"
#include "platform/devices/hotplug/DeviceMonitor.h"
#include "platform/devices/ieee1394/Ieee1394System.h"
#include "platform/devices/v4l2/V4l2System.h"
#include "platform/media/filters/audio/PcmPlayback.h"
#include "platform/shell/Dialogs.h"
#include "prefs/Parameters.h"
#include "prefs/Preferences.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

// Why a run of the graph ended by itself.
enum class RunEnd { None, SourceEnded, Failed, DeviceLost };

class TApplicationCore {
public:
    struct Options {
        // The facts the computed preference defaults are made of.
        PreferenceEnvironment environment;
        // The face's window; null: none (the core runs the inlay actions on the superposer).
        ICaptureWindow* window = nullptr;
        // Where the audio renderer plays (null: ALSA); tests give a fake.
        std::shared_ptr<TPcmPlaybackBackend> playback;
        // The face takes the graph's events itself (TakeRunEnd) instead of having them posted
        // to its event loop.
        bool pollEvents = false;
        // The IEEE 1394 bus (null: the kernel's); tests give a scripted one.
        std::shared_ptr<IIeee1394System> ieee1394;
        // The V4L2 nodes (null: the kernel's) and what tells of devices plugged in or out (null:
        // udev); tests give fakes.
        std::shared_ptr<IV4l2System> v4l2;
        std::shared_ptr<IDeviceMonitor> deviceMonitor;
    };

    // Registers the filters and devices, declares and loads the preferences and starts the
    // run's naming. `dialogs` outlives the core.
    TApplicationCore(IDialogs& dialogs, Options options);
    ~TApplicationCore();
    TApplicationCore(const TApplicationCore&) = delete;
    TApplicationCore& operator=(const TApplicationCore&) = delete;

    // What could not be registered at start-up (a virtual device with a wrong option, ...).
    const std::vector<std::string>& StartupWarnings() const { return startupWarnings_; }
    // Why no DV camcorder on IEEE 1394 can be listed (no port); empty when there is a bus.
    std::string Ieee1394Absence() const { return ieee1394_->Absence(); }
    // What was wrong with the store when the preferences were loaded, and which of them kept
    // their defaults because of it; the face tells the user once (StoreLoadReportText).
    const StoreLoadReport& StoreReport() const { return preferenceList_.LoadReport(); }

    // Repairs the captures a crash left unfinished in the video folder (their markers, see
    // postproc/AviRepair.h): one line per capture for the user, saying what was kept. The faces
    // call it at start-up, once the folder is final; the CLI prints the lines, the window shows
    // them.
    std::vector<std::string> RepairUnfinishedCaptures();

    TPreferences& Prefs() { return prefs_; }
    TparameterList& PreferenceList() { return preferenceList_; }
    TdmCam& Cam() { return *cam_; }
    TCaptureControl& Control() { return *control_; }
    TVideoWindow& PreviewWindow() { return previewWindow_; }
    // The filters and devices the catalogue and the graph find (tests add their own devices).
    FilterRegistry& Registry() { return *registry_; }

    // --- The catalogue -----------------------------------------------------------------------
    // Enumerates the video sources (the IEEE 1394 camcorders looked for again) and the sound
    // cards again; false when the video sources cannot be enumerated.
    bool LoadSources();
    // Calls `onChange` (on another thread) whenever a device may have come or gone; the face
    // then reloads its sources. An empty function stops the watch.
    void WatchDevices(std::function<void()> onChange);
    // The same for webcams, capture cards and sound devices plugged in or out (hot-plug).
    void WatchPluggedDevices(std::function<void()> onChange);
    const TVideoSourceDisplayList& VideoSources() const { return displayedSources_; }
    std::vector<std::string> VideoSourceNames() const;
    const std::vector<std::string>& AudioDevices() const { return audioDevices_; }
    // The entry named by "Source video", else the first; -1 when there is none.
    int StoredVideoSource() const;

    // --- Source and preview ------------------------------------------------------------------
    // Analyses the source of that catalogue entry, hands the graph the sound card named by
    // "Source Audio" (else the first) and refills the audio-type and format lists for the
    // source's kind. False, with LastError, when the source cannot be previewed. The entry is
    // selected again when the graph module replaces a MovieBox graph.
    bool SelectVideoSource(int index);
    // Builds and runs the preview and enters the preview state; false, with LastError, when the
    // preview cannot be built or run.
    bool StartPreview();
    void StopGraph();

    // --- What the faces show -----------------------------------------------------------------
    TCaptureStatus Status() const;
    // The state and frame counts alone (no file-system question), for a display refreshed often.
    TCaptureStatus FrameCounts() const;
    // Handles the graph's queued events; why the run ended since the last call. A face without a
    // window learns here that the video device went away (DeviceLost); the window handles the
    // graph's device-lost event itself.
    RunEnd TakeRunEnd();
    // Why the last graph operation failed.
    const std::string& LastError() const { return cam_->LastError(); }

private:
    class HeadlessWindow;

    IDialogs& dialogs_;
    std::vector<std::string> startupWarnings_;
    std::shared_ptr<FilterRegistry> registry_;
    std::shared_ptr<IIeee1394System> ieee1394_;
    std::shared_ptr<IV4l2System> v4l2_;
    std::shared_ptr<IDeviceMonitor> deviceMonitor_; // null: no hot-plug
    TVideoWindow previewWindow_;
    std::unique_ptr<TdmCam> cam_;
    TparameterList preferenceList_;
    TPreferences prefs_;
    TvideoSourceList knownSources_;
    TVideoSourceDisplayList displayedSources_;
    std::vector<std::string> audioDevices_;
    std::unique_ptr<HeadlessWindow> headlessWindow_;
    ICaptureWindow* window_ = nullptr;
    DmCamCaptureGraph graph_;
    mutable LocalCaptureFiles files_;
    std::unique_ptr<TCaptureControl> control_;
    bool deviceLost_ = false;
    int selectedSource_ = -1; // the catalogue entry last analysed successfully
};

} // namespace talvence
