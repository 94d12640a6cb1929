#include "app/core/ApplicationCore.h"

#include "app/core/InlayPreferences.h"
#include "graph/BuiltInFilters.h"
#include "graph/DeviceCategories.h"
#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/devices/ieee1394/Ieee1394DvCamera.h"
#include "platform/devices/v4l2/V4l2Devices.h"
#include "platform/log/Log.h"
#include "platform/media/EventCodes.h"
#include "postproc/AviRepair.h"
#include "system/PSFunctions.h"

namespace talvence {

// The window's inlay actions for a face without a window: the inlay preferences straight onto
// the superposer.
class TApplicationCore::HeadlessWindow : public NullCaptureWindow {
public:
    HeadlessWindow(TdmCam& cam, const TPreferences& prefs) : cam_(cam), prefs_(prefs) {}
    void StartInlay() override { StartInlayFromPreferences(cam_.Superposer(), prefs_); }
    void StopInlay() override { cam_.Superposer().SetInlayActive(false); }

private:
    TdmCam& cam_;
    const TPreferences& prefs_;
};

namespace {

std::shared_ptr<FilterRegistry> RegisteredFilters(std::shared_ptr<TPcmPlaybackBackend> playback,
                                                  std::vector<std::string>& warnings) {
    auto registry = std::make_shared<FilterRegistry>();
    warnings = RegisterBuiltInFilters(*registry, std::move(playback));
    return registry;
}

} // namespace

TApplicationCore::TApplicationCore(IDialogs& dialogs, Options options)
    : dialogs_(dialogs), registry_(RegisteredFilters(options.playback, startupWarnings_)),
      ieee1394_(options.ieee1394 ? options.ieee1394 : MakeIeee1394System()),
      v4l2_(options.v4l2 ? options.v4l2 : MakeKernelV4l2()),
      deviceMonitor_(options.deviceMonitor ? options.deviceMonitor
                                           : std::shared_ptr<IDeviceMonitor>(MakeUdevMonitor())),
      cam_(std::make_unique<TdmCam>(registry_, previewWindow_)),
      preferenceList_(PreferencesKeyPath(), PreferencesSignature()), graph_(*cam_, prefs_) {
    if (options.pollEvents) cam_->Graph().SetEventWakeup([] {});
    cam_->SetDialogs(&dialogs_);
    previewWindow_.UseDefaultRenderer(cam_->DeviceEnumerator());
    DeclarePreferences(preferenceList_, prefs_, options.environment);
    window_ = options.window;
    if (!window_) {
        headlessWindow_ = std::make_unique<HeadlessWindow>(*cam_, prefs_);
        window_ = headlessWindow_.get();
        cam_->Graph().OnGraphDeviceLost = [this](IUnknown*, bool inserted) {
            if (!inserted) deviceLost_ = true;
        };
    }
    control_ = std::make_unique<TCaptureControl>(prefs_, dialogs_, graph_, files_, *window_);
    // A MovieBox graph replaced under StopGraph: the source is selected again (analysed anew),
    // then capture control builds the preview and takes a running capture on.
    cam_->SetGraphReplacedHandler([this] {
        if (!SelectVideoSource(selectedSource_)) {
            TLOG(Capture) << "the replaced graph's source cannot be analysed again: "
                          << cam_->LastError();
            control_->FallBackToNoSource();
            return;
        }
        control_->GraphReplaced();
    });
    // Windows Media captures are offered when the profile manager could be made.
    control_->SetWmvAvailable(cam_->ProfileManager() != nullptr);
    // Every dated name of the run carries the moment the preferences were applied.
    control_->StartNaming(NowLocal());
    LoadSources();
    if (std::string problem = ieee1394_->AccessProblem(); !problem.empty())
        startupWarnings_.push_back(std::move(problem));
}

TApplicationCore::~TApplicationCore() {
    ieee1394_->WatchBus({});
    if (deviceMonitor_) deviceMonitor_->Stop();
    // The graph calls capture control's handlers while it stops: stop it while both exist. A
    // MovieBox graph is only emptied: nothing is built again at the end.
    cam_->SetGraphReplacedHandler({});
    cam_->StopGraph();
}

void TApplicationCore::WatchDevices(std::function<void()> onChange) {
    ieee1394_->WatchBus(std::move(onChange));
}

void TApplicationCore::WatchPluggedDevices(std::function<void()> onChange) {
    if (deviceMonitor_) deviceMonitor_->Watch(std::move(onChange));
}

std::vector<std::string> TApplicationCore::RepairUnfinishedCaptures() {
    std::vector<std::string> lines;
    if (prefs_.videoDirectory->value.empty()) return lines;
    for (const AviUnfinishedCapture& c :
         talvence::RepairUnfinishedCaptures(prefs_.videoDirectory->value)) {
        const std::string name = "the unfinished capture " + c.file.string();
        if (c.repair.ok && c.repair.scan.streams.empty())
            lines.push_back(name + " is gone");
        else
            lines.push_back(name + (c.repair.ok ? " was repaired: " : " could not be repaired: ") +
                            AviRepairSummary(c.repair));
    }
    return lines;
}

bool TApplicationCore::LoadSources() {
    RegisterIeee1394Cameras(*registry_, ieee1394_);
    // Webcams, cards and sound devices plugged in or out since the last listing.
    RegisterV4l2Devices(*registry_, v4l2_);
    RegisterAlsaCaptureDevices(*registry_, *MakeAlsaSystem());
    // The known sources stay: a device seen before keeps its display name.
    const bool listed =
        EnumerateVideoSources(cam_->DeviceEnumerator(), knownSources_, displayedSources_);
    audioDevices_.clear();
    ListAudioDevices(cam_->DeviceEnumerator(), audioDevices_);
    control_->SetAudioDevicesPresent(!audioDevices_.empty());
    return listed;
}

std::vector<std::string> TApplicationCore::VideoSourceNames() const {
    std::vector<std::string> names;
    for (const TVideoSourceItem& item : displayedSources_)
        names.push_back(item.Name);
    return names;
}

int TApplicationCore::StoredVideoSource() const {
    return IndexOrFirst(prefs_.sourceVideo->value, VideoSourceNames());
}

bool TApplicationCore::SelectVideoSource(int index) {
    if (index < 0 || index >= static_cast<int>(displayedSources_.size())) return false;
    const TVideoSourceItem& source = displayedSources_[static_cast<std::size_t>(index)];
    cam_->Settings().useCirrus = prefs_.utiliserCirrus->value;
    if (!cam_->AnalyseSource(*source.Source)) return false;
    selectedSource_ = index;
    // The sound card, as the window applies it: the stored one, else the first.
    if (!audioDevices_.empty()) {
        control_->SetAudioSourceName(audioDevices_[static_cast<std::size_t>(
            IndexOrFirst(prefs_.sourceAudio->value, audioDevices_))]);
        control_->ApplyAudioSource();
    }
    control_->SourceSelected(cam_->Kind(), cam_->HasAudioPin());
    return true;
}

bool TApplicationCore::StartPreview() {
    if (control_->BuildPreview() && graph_.RunGraph() && control_->EnterPreviewState()) return true;
    cam_->StopGraph();
    return false;
}

void TApplicationCore::StopGraph() {
    cam_->StopGraph();
}

TCaptureStatus TApplicationCore::Status() const {
    return ReadCaptureStatus(*control_, graph_, files_);
}

TCaptureStatus TApplicationCore::FrameCounts() const {
    return ReadFrameCounts(*control_, graph_);
}

RunEnd TApplicationCore::TakeRunEnd() {
    const long ended = cam_->TakeCompletion();
    if (deviceLost_) {
        deviceLost_ = false;
        return RunEnd::DeviceLost;
    }
    if (ended == 0) return RunEnd::None;
    return ended == EC_COMPLETE ? RunEnd::SourceEnded : RunEnd::Failed;
}

} // namespace talvence
