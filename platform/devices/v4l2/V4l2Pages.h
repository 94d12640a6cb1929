#pragma once

// The settings pages of a V4L2 capture source (platform/media/PropertyPages.h):
// - the filter's controls (brightness, contrast, white balance, focus... as the driver lists them
//   through VIDIOC_QUERYCTRL/QUERYMENU): sliders, check boxes, lists and buttons, each change
//   sent to the device at once, kept for the device on OK and put back on Cancel;
// - the capture pin's format: pixel format, size and frame rate among the modes the device
//   offers, fixed on the pin on OK (IAMStreamConfig), so the next graph build uses it;
// - a crossbar's routing: for each output, the input routed to it, switched on OK.
// Also the store of the control values kept per device, in the user's registry hive under the
// device's stable path, so that they survive restarts and re-plugging.
//
// Threads: the application thread.

#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/media/PropertyPages.h"

#include <map>

namespace talvence {

using TControlValues = std::map<std::uint32_t, std::int32_t>;

// The values kept for the device; empty for an empty key or a device never set.
TControlValues LoadDeviceControls(const std::string& deviceKey);
// Replaces the values kept for the device; false when the store cannot be written.
bool SaveDeviceControls(const std::string& deviceKey, const TControlValues& values);

class TV4l2ControlsPage : public IPageModel {
public:
    explicit TV4l2ControlsPage(ComPtr<TV4l2CaptureSource> source);

    std::string Title() const override { return "Controls"; }
    std::vector<TPageField> Fields() const override;
    void Change(std::size_t index, int value) override;
    void Apply() override;
    void Cancel() override;

private:
    // The device value of a field value (a menu's entry number for its position in the list).
    std::int32_t DeviceValue(std::size_t index, int value) const;

    ComPtr<TV4l2CaptureSource> source_;
    std::vector<TV4l2Control> controls_;
    std::vector<int> opened_, values_; // field values when the page opened, and now
};

class TV4l2FormatPage : public IPageModel {
public:
    explicit TV4l2FormatPage(ComPtr<TV4l2CaptureSource> source);

    std::string Title() const override { return "Format"; }
    // "Format", "Size" and "Frame rate", each listing what the choice before it allows.
    std::vector<TPageField> Fields() const override;
    void Change(std::size_t index, int value) override;
    void Apply() override;
    void Cancel() override {}
    // The mode chosen.
    TV4l2Mode Chosen() const;

private:
    std::vector<std::uint32_t> Formats() const;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Sizes() const; // of the format
    std::vector<TV4l2Mode> Rates() const;                                // of format and size

    ComPtr<TV4l2CaptureSource> source_;
    TV4l2Mode chosen_;
};

class TCrossbarPage : public IPageModel {
public:
    TCrossbarPage(ComPtr<IAMCrossbar> crossbar, std::vector<std::string> inputs,
                  std::vector<std::string> outputs);

    std::string Title() const override { return "Inputs"; }
    // One list per output: the input routed to it.
    std::vector<TPageField> Fields() const override;
    void Change(std::size_t index, int value) override;
    void Apply() override;
    void Cancel() override {}

private:
    ComPtr<IAMCrossbar> crossbar_;
    std::vector<std::string> inputs_, outputs_;
    std::vector<int> routed_; // per output; -1 none
};

// "YUYV", "MJPG": the four characters of a pixel format.
std::string FourccText(std::uint32_t pixelFormat);
// "30 fps", "29.97 fps", "7.5 fps" for a frame interval.
std::string FrameRateText(std::uint32_t intervalNum, std::uint32_t intervalDen);

} // namespace talvence
