#pragma once
// Capture control's graph over the graph module: each request of ICaptureGraph goes to TdmCam,
// with the preferences the graph reads copied in before every build and "Standard DV" copied
// back after a preview.
//
// Application thread only (the scene report runs on the streaming thread, as ICaptureGraph says).

#include "app/capture/ICaptureGraph.h"
#include "graph/graph.h"
#include "prefs/Preferences.h"

namespace talvence {

class DmCamCaptureGraph : public ICaptureGraph {
public:
    // Both outlive this object; every preference of prefs is declared.
    DmCamCaptureGraph(TdmCam& cam, TPreferences& prefs) : cam_(cam), prefs_(prefs) {}

    bool StopGraph() override;
    bool RunGraph() override;
    bool BuildPreviewGraph(SourceKind kind) override;
    std::int64_t FrameDuration() const override { return cam_.FrameDuration(); }
    bool DeinterlacerInGraph() const override { return cam_.DeinterlacerInGraph(); }
    bool PreviewReady() const override { return cam_.PreviewReady(); }
    bool HasCaptureBuilder(SourceKind kind, int format) const override {
        return cam_.HasCaptureBuilder(kind, format);
    }
    void ReleaseCaptureWriter() override { cam_.ReleaseCaptureWriter(); }
    bool BuildCaptureGraph(SourceKind kind, int format, std::uint8_t tvStandard,
                           const std::string& captureFile) override;
    bool SwitchOutputFile(const std::string& path) override { return cam_.SwitchOutputFile(path); }
    // The profile of the stored choice: the system profile named "Profil wmv favori" in the
    // list of "Version wmv", else the default profile of "Profile wmv" (the window collects its
    // controls into these preferences before a capture).
    bool ConfigureWindowsMediaWriter(bool withAudio) override;
    bool ForceAcmOutputRate(int samplesPerSecond) override {
        return cam_.ForceAcmOutputRate(samplesPerSecond);
    }
    bool BuildAudioBranch() override;
    bool ForceDvAudio44100(int rate) override { return cam_.ForceDvAudio44100(rate); }
    bool SelectAudioSource(const std::string& friendlyName) override {
        return cam_.SelectAudioSource(friendlyName);
    }
    bool SourceFrameCounts(long& delivered, long& lost) const override {
        return cam_.SourceFrameCounts(delivered, lost);
    }
    std::optional<std::uint64_t> CapturedVideoFrames() const override {
        return cam_.CapturedVideoFrames();
    }
    std::string CaptureWriterError() const override { return cam_.CaptureWriterError(); }
    std::string LastError() const override { return cam_.LastError(); }
    void SetInlayFlip(bool flip) override { cam_.Superposer().SetInlayFlip(flip); }
    void SetClearTimesMode(Timestamper which) override { Stamper(which).SetClearTimesMode(); }
    void SetRestampOffset(Timestamper which, std::int64_t offset) override {
        Stamper(which).SetRestampOffset(offset);
    }
    void SetRestampMode(Timestamper which) override { Stamper(which).SetRestampMode(); }
    void SetOnStop(std::function<void()> onStop) override;
    void SetPassNext(bool pass) override { cam_.ControlFilter().SetPassNext(pass); }
    void SetSceneCallback(SceneReport report) override;

private:
    // First: the video timestamper, Second: the audio preview one, Third: the sound card's.
    Tvq_TimeStamper& Stamper(Timestamper which);
    void CopySettingsIn();

    TdmCam& cam_;
    TPreferences& prefs_;
};

} // namespace talvence
