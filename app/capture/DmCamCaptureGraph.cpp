#include "app/capture/DmCamCaptureGraph.h"

#include "graph/WindowsMediaProfiles.h"

namespace talvence {

void DmCamCaptureGraph::CopySettingsIn() {
    TdmCamSettings& s = cam_.Settings();
    s.listenIncludedAudio = prefs_.ecouterAudioInclus->value;
    s.recordSoundCard = prefs_.enregistrerSourceAudio->value;
    s.deinterlacerOn = prefs_.deinterlacerOn->value;
    s.standardDv = prefs_.standardDv->value;
}

bool DmCamCaptureGraph::StopGraph() {
    cam_.StopGraph();
    return true;
}

bool DmCamCaptureGraph::RunGraph() {
    return cam_.RunGraph();
}

bool DmCamCaptureGraph::BuildPreviewGraph(SourceKind kind) {
    CopySettingsIn();
    const bool built = cam_.BuildPreviewGraph(kind);
    if (built) prefs_.standardDv->value = cam_.Settings().standardDv;
    return built;
}

bool DmCamCaptureGraph::BuildCaptureGraph(SourceKind kind, int format, std::uint8_t tvStandard,
                                          const std::string& captureFile) {
    CopySettingsIn();
    return cam_.BuildCaptureGraph(kind, format, tvStandard, captureFile);
}

bool DmCamCaptureGraph::ConfigureWindowsMediaWriter(bool withAudio) {
    TWmProfileManager* manager = cam_.ProfileManager();
    if (!manager) return cam_.ConfigureAsfWriter(nullptr);
    const int version = prefs_.versionWmv->value;
    const int entry = ProfileEntryIndex(ListWindowsMediaProfiles(manager, version),
                                        prefs_.profilWmvFavori->value);
    const std::optional<TWmProfile> profile =
        ProfileForCapture(*manager, entry, version, prefs_.profileWmv->value, withAudio);
    return cam_.ConfigureAsfWriter(profile ? &*profile : nullptr);
}

bool DmCamCaptureGraph::BuildAudioBranch() {
    CopySettingsIn();
    return cam_.BuildAudioBranch();
}

void DmCamCaptureGraph::SetOnStop(std::function<void()> onStop) {
    cam_.ControlFilter().SetOnStop(std::move(onStop));
}

void DmCamCaptureGraph::SetSceneCallback(SceneReport report) {
    if (!report) {
        cam_.SceneDetect().SetSceneCallback({});
        return;
    }
    cam_.SceneDetect().SetSceneCallback(
        [report = std::move(report)](const DvFrameInfo& sceneStart, const DvFrameInfo& current,
                                     SceneCut) { report(sceneStart, current); });
}

Tvq_TimeStamper& DmCamCaptureGraph::Stamper(Timestamper which) {
    switch (which) {
    case Timestamper::First:
        return cam_.TsVideo();
    case Timestamper::Second:
        return cam_.TsAudio();
    case Timestamper::Third:
        break;
    }
    return cam_.TsAuto();
}

} // namespace talvence
