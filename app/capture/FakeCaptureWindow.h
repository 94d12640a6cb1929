#pragma once
// A window for tests: keeps what it was last told to show.

#include "app/capture/ICaptureWindow.h"

namespace talvence {

class FakeCaptureWindow : public ICaptureWindow {
public:
    std::string videoLabel;
    std::string imageLabel;
    int grabImage = -1;
    std::vector<std::string> formats;
    int formatSelected = -1;
    bool formatsVisible = false;
    FormatOptionsView formatOptions;
    std::vector<std::string> audioTypes;
    int audioSelected = -1;
    bool listen = false;
    bool auxiliary = false;
    bool audioGroupEnabled = true;
    bool audioGroupExpanded = false;
    bool volumeVisible = false;
    int tvStandard = -1;
    std::string framerateText;
    bool confirmVideo = true;
    CaptureStateView stateView;
    int toggleUnchecked = 0;
    int alarmDisarmed = 0;
    bool flipChecked = false;
    int flipRuns = 0;

    void ShowNextVideoName(const std::string& name) override { videoLabel = name; }
    void ShowNextImageName(const std::string& text) override { imageLabel = text; }
    void ShowGrabImage(int imageIndex) override { grabImage = imageIndex; }
    void ShowCaptureFormats(const std::vector<std::string>& entries, int selected,
                            bool visible) override {
        formats = entries;
        formatSelected = selected;
        formatsVisible = visible;
    }
    void ShowFormatOptions(const FormatOptionsView& view) override { formatOptions = view; }
    void ShowAudioTypes(const std::vector<std::string>& entries, int selected) override {
        audioTypes = entries;
        audioSelected = selected;
    }
    void ShowAudioToggles(bool l, bool a) override {
        listen = l;
        auxiliary = a;
    }
    void SetAudioGroupEnabled(bool enabled) override { audioGroupEnabled = enabled; }
    void SetAudioGroupExpanded(bool expanded) override { audioGroupExpanded = expanded; }
    void SetVolumeControlsVisible(bool visible) override { volumeVisible = visible; }
    void ShowTvStandard(std::uint8_t standard) override { tvStandard = standard; }
    void ShowFramerateText(const std::string& text) override { framerateText = text; }
    void ShowConfirmVideo(bool checked) override { confirmVideo = checked; }
    void ApplyStateView(const CaptureStateView& view) override { stateView = view; }
    void UncheckCaptureToggle() override { ++toggleUnchecked; }
    void ApplyVolume() override {}
    void StartInlay() override {}
    void StopInlay() override {}
    bool FlipChecked() const override { return flipChecked; }
    void RunFlipAction() override {
        flipChecked = !flipChecked;
        ++flipRuns;
    }
    void DisarmAlarm() override { ++alarmDisarmed; }
    void RefreshWindowsMediaProfileChoice() override {}
    void AudioSourceApplied() override {}
};

} // namespace talvence
