// The settings pages of a V4L2 source on the fake seam: the controls page changes the device
// live, cancels back, keeps its values per device and applies them again at the next opening;
// the format page narrows sizes and rates to the chosen format and fixes the pin; the crossbar
// page routes.

#include "platform/devices/v4l2/V4l2Pages.h"

#include "platform/devices/v4l2/FakeV4l2.h"
#include "tests/support/TempStore.h"

#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <linux/videodev2.h>

namespace talvence {
namespace {

TFakeV4l2DeviceConfig Camera() {
    TFakeV4l2DeviceConfig c;
    c.modes = {{V4L2_PIX_FMT_MJPEG, 640, 480, 1, 30},
               {V4L2_PIX_FMT_MJPEG, 640, 480, 1001, 30000},
               {V4L2_PIX_FMT_YUYV, 640, 480, 1, 15},
               {V4L2_PIX_FMT_YUYV, 320, 240, 2, 15}};
    c.controls = {
        {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}},
        {V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1,
         1, {}},
        {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1,
         {"Disabled", "50 Hz", "60 Hz"}}};
    c.picture = [](const TFakeV4l2Mode&, int, std::uint64_t, std::uint8_t*, std::size_t) {
        return std::size_t(0);
    };
    return c;
}

struct Rig {
    Rig() {
        system->Add("/dev/video0", device);
        source = Open();
    }
    ComPtr<TV4l2CaptureSource> Open() {
        return TV4l2CaptureSource::Create(system, "/dev/video0", "Camera", "usb-1-video");
    }
    testing::TempStore store;
    std::shared_ptr<TFakeV4l2System> system = std::make_shared<TFakeV4l2System>();
    std::shared_ptr<TFakeV4l2Device> device = std::make_shared<TFakeV4l2Device>(Camera());
    ComPtr<TV4l2CaptureSource> source;
};

TEST(V4l2Pages, ControlsChangeLiveCancelBackAndAreKeptForTheNextOpening) {
    // Setup
    Rig rig;
    TPageList pages = PagesOf(static_cast<IBaseFilter*>(rig.source.get()));
    ASSERT_EQ(pages.size(), 1u);
    IPageModel& page = *pages[0];
    const auto fields = page.Fields();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].kind, TPageField::Kind::Slider);
    EXPECT_EQ(fields[0].maximum, 255);
    EXPECT_EQ(fields[1].kind, TPageField::Kind::Check);
    EXPECT_EQ(fields[2].kind, TPageField::Kind::List);
    EXPECT_EQ(fields[2].items, (std::vector<std::string>{"Disabled", "50 Hz", "60 Hz"}));
    EXPECT_EQ(fields[2].value, 1);

    // Exercise / Verification: live, then cancelled.
    page.Change(0, 200);
    EXPECT_EQ(rig.device->ControlValue(V4L2_CID_BRIGHTNESS), 200);
    page.Cancel();
    EXPECT_EQ(rig.device->ControlValue(V4L2_CID_BRIGHTNESS), 128);

    // Applied: kept, and put back on the device when it is opened again.
    page.Change(0, 40);
    page.Change(2, 2);
    page.Apply();
    EXPECT_EQ(rig.device->ControlValue(V4L2_CID_POWER_LINE_FREQUENCY), 2);
    v4l2_control reset{V4L2_CID_BRIGHTNESS, 128}; // as a replug would
    rig.device->Ioctl(-1, VIDIOC_S_CTRL, &reset);
    auto again = rig.Open();
    EXPECT_EQ(rig.device->ControlValue(V4L2_CID_BRIGHTNESS), 40);
    EXPECT_EQ(again->KeptControls(),
              (TControlValues{{V4L2_CID_BRIGHTNESS, 40}, {V4L2_CID_POWER_LINE_FREQUENCY, 2}}));
    // Another device keeps its own.
    EXPECT_TRUE(LoadDeviceControls("usb-2-video").empty());
}

TEST(V4l2Pages, TheFormatPageOffersWhatTheChosenFormatHasAndFixesThePin) {
    // Setup
    Rig rig;
    TPageList pages = PagesOf(rig.source->OutputPin());
    ASSERT_EQ(pages.size(), 1u);
    IPageModel& page = *pages[0];
    auto fields = page.Fields();
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].items, (std::vector<std::string>{"MJPG", "YUYV"}));
    EXPECT_EQ(fields[2].items, (std::vector<std::string>{"30 fps", "29.97 fps"}));

    // Exercise: YUYV, then its smaller size.
    page.Change(0, 1);
    fields = page.Fields();
    EXPECT_EQ(fields[1].items, (std::vector<std::string>{"640 x 480", "320 x 240"}));
    EXPECT_EQ(fields[2].items, (std::vector<std::string>{"15 fps"}));
    page.Change(1, 1);
    EXPECT_EQ(page.Fields()[2].items, (std::vector<std::string>{"7.5 fps"}));
    page.Apply();

    // Verification: the pin offers only that mode now.
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(rig.source->Stream()->GetFormat(&mt), S_OK);
    auto mode = V4l2ModeOf(*mt);
    DeleteMediaType(mt);
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->pixelFormat, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(mode->width, 320u);
    EXPECT_EQ(mode->FrameTime(), 2 * 10'000'000 / 15);
}

TEST(V4l2Pages, TheCrossbarPageRoutesOnlyWhatTheCrossbarCanRoute) {
    // Setup
    TCrossbarConfig config;
    config.inputs = {{PhysConn_Video_Tuner, -1, "Tuner"},
                     {PhysConn_Video_Composite, -1, "Composite"},
                     {PhysConn_Audio_Tuner, -1, "Audio"}};
    config.outputs = {{PhysConn_Video_VideoDecoder, -1, "Decoder"}};
    std::vector<long> routed;
    config.route = [&](long, long input) {
        routed.push_back(input);
        return S_OK;
    };
    ComPtr<TCrossbarFilter> crossbar(new TCrossbarFilter("Crossbar", config));
    TPageList pages = PagesOf(static_cast<IBaseFilter*>(crossbar.get()));
    ASSERT_EQ(pages.size(), 1u);

    // Exercise: the audio input is refused, the composite one taken.
    pages[0]->Change(0, 2);
    pages[0]->Change(0, 1);
    pages[0]->Apply();

    // Verification
    EXPECT_EQ(pages[0]->Fields()[0].value, 1);
    EXPECT_EQ(routed, (std::vector<long>{1}));
}

TEST(V4l2Microphone, TheSoundCardOnTheWebcamsUsbDeviceIsItsMicrophone) {
    // Setup: a sysfs tree where video0 and card1 share USB device 1-1, card0 is elsewhere.
    testing::TempStore store; // a scratch directory
    namespace fs = std::filesystem;
    const fs::path root = fs::path(std::getenv("TALVENCE_REGISTRY_DIR")) / "sys";
    const fs::path usb = root / "devices/pci0000:00/usb1/1-1";
    for (const char* dir : {"1-1:1.0", "1-1:1.2"})
        fs::create_directories(usb / dir);
    fs::create_directories(root / "devices/pci0000:00/sound0");
    for (const char* dir : {"class/video4linux/video0", "class/sound/card0", "class/sound/card1"})
        fs::create_directories(root / dir);
    fs::create_directory_symlink(usb / "1-1:1.0", root / "class/video4linux/video0/device");
    fs::create_directory_symlink(root / "devices/pci0000:00/sound0",
                                 root / "class/sound/card0/device");
    fs::create_directory_symlink(usb / "1-1:1.2", root / "class/sound/card1/device");
    testing::TempStore::Write(root / "class/sound/card0/id", "PCH\n");
    testing::TempStore::Write(root / "class/sound/card1/id", "Webcam\n");

    // Exercise / Verification
    EXPECT_EQ(UsbSoundDeviceOf(root.string(), "/dev/video0"), "plughw:CARD=Webcam,DEV=0");
    EXPECT_EQ(UsbSoundDeviceOf(root.string(), "/dev/video1"), "");

    // The source of a node with a microphone has it as its audio pin.
    auto system = std::make_shared<TFakeV4l2System>();
    TFakeV4l2DeviceConfig config = Camera();
    config.microphone = "plughw:CARD=Webcam,DEV=0";
    system->Add("/dev/video0", std::make_shared<TFakeV4l2Device>(config));
    system->soundCapture = std::make_shared<TFakePcmCapture>();
    auto source = TV4l2CaptureSource::Create(system, "/dev/video0", "Camera");
    ASSERT_EQ(source->GetPinCount(), 2);
    CMediaType audio;
    ASSERT_EQ(source->GetPin(1)->GetMediaType(0, &audio), S_OK);
    EXPECT_EQ(audio.majortype, MEDIATYPE_Audio);
}

TEST(V4l2Pages, FrameRatesReadAsPeopleSayThem) {
    EXPECT_EQ(FrameRateText(1, 30), "30 fps");
    EXPECT_EQ(FrameRateText(1001, 30000), "29.97 fps");
    EXPECT_EQ(FrameRateText(2, 15), "7.5 fps");
    EXPECT_EQ(FourccText(V4L2_PIX_FMT_MJPEG), "MJPG");
}

} // namespace
} // namespace talvence
