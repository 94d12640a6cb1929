#pragma once
// What capture control shows and asks in the main window: labels, the two
// lists of the sources panel, the audio toggles and group, the state
// appearance, and the window's own actions (inlay, flip, volume, alarm).
// The main window implements it; a headless caller can use NullCaptureWindow.
//
// Application thread only.

#include "app/capture/CaptureRules.h"

#include <cstdint>
#include <string>
#include <vector>

namespace talvence {

class ICaptureWindow {
public:
    virtual ~ICaptureWindow() = default;

    // The next video's file name without folder, in the folders panel's and
    // the sources panel's labels.
    virtual void ShowNextVideoName(const std::string& name) = 0;
    // The folders panel's image label and the grab panel's destination label.
    virtual void ShowNextImageName(const std::string& text) = 0;
    // The grab button's image from the action image list.
    virtual void ShowGrabImage(int imageIndex) = 0;

    // cbFormatCapture: its entries, the selected one (-1 none), shown or hidden.
    virtual void ShowCaptureFormats(const std::vector<std::string>& entries, int selected,
                                    bool visible) = 0;
    virtual void ShowFormatOptions(const FormatOptionsView& view) = 0;
    // cboxAudioType: its entries and the selected one (-1: no selection, empty text).
    virtual void ShowAudioTypes(const std::vector<std::string>& entries, int selected) = 0;
    // The checked states of the listen and auxiliary-source toggles.
    virtual void ShowAudioToggles(bool listen, bool auxiliary) = 0;
    virtual void SetAudioGroupEnabled(bool enabled) = 0;
    virtual void SetAudioGroupExpanded(bool expanded) = 0;
    // Volume label, slider and gauge.
    virtual void SetVolumeControlsVisible(bool visible) = 0;
    virtual void ShowTvStandard(std::uint8_t standard) = 0;
    virtual void ShowFramerateText(const std::string& text) = 0;
    // The settings panel's "Confirm before replacing a video" box.
    virtual void ShowConfirmVideo(bool checked) = 0;

    // Colours, enabled controls, captions and hints of a capture state; the
    // status texts and the camcorder button follow from view.state.
    virtual void ApplyStateView(const CaptureStateView& view) = 0;
    virtual void UncheckCaptureToggle() = 0;

    // The window's actions that capture control runs.
    virtual void ApplyVolume() = 0;
    virtual void StartInlay() = 0;
    virtual void StopInlay() = 0;
    virtual bool FlipChecked() const = 0;
    virtual void RunFlipAction() = 0;
    virtual void DisarmAlarm() = 0;
    // The Windows Media profile choice's visibility handling.
    virtual void RefreshWindowsMediaProfileChoice() = 0;
    // After an audio source was handed to the graph: the device-settings menu.
    virtual void AudioSourceApplied() = 0;
};

// Shows nothing and has no actions of its own: for callers without a window.
class NullCaptureWindow : public ICaptureWindow {
public:
    void ShowNextVideoName(const std::string&) override {}
    void ShowNextImageName(const std::string&) override {}
    void ShowGrabImage(int) override {}
    void ShowCaptureFormats(const std::vector<std::string>&, int, bool) override {}
    void ShowFormatOptions(const FormatOptionsView&) override {}
    void ShowAudioTypes(const std::vector<std::string>&, int) override {}
    void ShowAudioToggles(bool, bool) override {}
    void SetAudioGroupEnabled(bool) override {}
    void SetAudioGroupExpanded(bool) override {}
    void SetVolumeControlsVisible(bool) override {}
    void ShowTvStandard(std::uint8_t) override {}
    void ShowFramerateText(const std::string&) override {}
    void ShowConfirmVideo(bool) override {}
    void ApplyStateView(const CaptureStateView&) override {}
    void UncheckCaptureToggle() override {}
    void ApplyVolume() override {}
    void StartInlay() override {}
    void StopInlay() override {}
    bool FlipChecked() const override { return false; }
    void RunFlipAction() override {}
    void DisarmAlarm() override {}
    void RefreshWindowsMediaProfileChoice() override {}
    void AudioSourceApplied() override {}
};

} // namespace talvence
