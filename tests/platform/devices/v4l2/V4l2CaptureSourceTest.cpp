// The V4L2 capture source on the fake seam: which nodes are listed and how they are named, the
// modes offered, frames streamed with the driver's losses counted, an encoder read with read(),
// inputs, controls and a device that goes away.

#include "platform/devices/v4l2/V4l2Devices.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/devices/v4l2/FakeV4l2.h"
#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

namespace talvence {
namespace {

// Each picture starts with its frame number and its input.
std::size_t Numbered(const TFakeV4l2Mode& mode, int input, std::uint64_t n, std::uint8_t* out,
                     std::size_t capacity) {
    const std::size_t bytes =
        std::min<std::size_t>(capacity, std::size_t(mode.width) * mode.height * 2);
    std::fill(out, out + bytes, 0);
    out[0] = static_cast<std::uint8_t>(n);
    out[1] = static_cast<std::uint8_t>(input);
    return bytes;
}

TFakeV4l2DeviceConfig Camera(std::string card = "Fake Camera") {
    TFakeV4l2DeviceConfig c;
    c.card = std::move(card);
    c.modes = {{V4L2_PIX_FMT_YUYV, 64, 48, 1, 30},
               {V4L2_PIX_FMT_YUYV, 64, 48, 1, 15},
               {V4L2_PIX_FMT_MJPEG, 64, 48, 1, 30},
               {V4L2_PIX_FMT_UYVY, 32, 24, 1, 30}};
    c.picture = Numbered;
    c.realTime = false;
    return c;
}

struct Rig {
    explicit Rig(TFakeV4l2DeviceConfig config) {
        device = std::make_shared<TFakeV4l2Device>(std::move(config));
        system->Add("/dev/video0", device, "/dev/v4l/by-path/usb-1-video-index0");
        source = TV4l2CaptureSource::Create(system, "/dev/video0", "Fake Camera");
        sink->accept = [](const CMediaType&) { return true; };
        sink->keepBytes = true;
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~Rig() { graph->Stop(); }
    HRESULT Connect() {
        return graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr);
    }
    long Dropped() {
        long n = -1;
        ComPtr<IPin>(source->OutputPin()).As<IAMDroppedFrames>()->GetNumDropped(&n);
        return n;
    }

    std::shared_ptr<TFakeV4l2System> system = std::make_shared<TFakeV4l2System>();
    std::shared_ptr<TFakeV4l2Device> device;
    ComPtr<TV4l2CaptureSource> source;
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSink> sink{new TCountingSink};
};

TEST(V4l2Devices, CaptureNodesAreListedByCardNameAndStablePath) {
    // Setup: two identical webcams (one without a by-path link), a metadata node.
    TFakeV4l2System system;
    auto meta = Camera();
    meta.capture = false;
    system.Add("/dev/video0", std::make_shared<TFakeV4l2Device>(Camera("HD Webcam")),
               "/dev/v4l/by-path/usb-1-video-index0");
    system.Add("/dev/video1", std::make_shared<TFakeV4l2Device>(meta));
    auto second = Camera("HD Webcam");
    second.busInfo = "usb-0000:00:14.0-2";
    system.Add("/dev/video2", std::make_shared<TFakeV4l2Device>(second));

    // Exercise
    auto list = ListV4l2CaptureDevices(system);

    // Verification
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].friendlyName, "HD Webcam");
    EXPECT_EQ(list[0].devicePath, "/dev/v4l/by-path/usb-1-video-index0");
    EXPECT_EQ(list[1].friendlyName, "HD Webcam (2)");
    EXPECT_EQ(list[1].devicePath, "v4l2:usb-0000:00:14.0-2");
    EXPECT_EQ(list[1].openPath, "/dev/video2");
}

TEST(V4l2Devices, TheRegisteredEntryBindsASourceOfferingEveryModeOfTheDevice) {
    // Setup
    auto system = std::make_shared<TFakeV4l2System>();
    system->Add("/dev/video0", std::make_shared<TFakeV4l2Device>(Camera()));
    auto registry = std::make_shared<FilterRegistry>();
    ComPtr<CSystemDeviceEnum> devEnum{new CSystemDeviceEnum(registry)};

    // Exercise
    RegisterV4l2Devices(*registry, system);
    ComPtr<IEnumMoniker> e;
    devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.put(), 0);
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(e->Next(1, moniker.put(), nullptr), S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid()), S_OK);
    auto* source = static_cast<TV4l2CaptureSource*>(filter.get());
    auto config = ComPtr<IPin>(source->OutputPin()).As<IAMStreamConfig>();
    int count = 0, size = 0;
    config->GetNumberOfCapabilities(&count, &size);
    AM_MEDIA_TYPE* mt = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    ASSERT_EQ(config->GetStreamCaps(2, &mt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    const CMediaType third(*mt);
    DeleteMediaType(mt);

    // Verification
    EXPECT_EQ(count, 4);
    EXPECT_EQ(size, int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    EXPECT_EQ(third.subtype, MEDIASUBTYPE_MJPG);
    EXPECT_FALSE(third.IsFixedSize());
    EXPECT_EQ(caps.MaxOutputSize.cx, 64);
    EXPECT_EQ(caps.MinFrameInterval, 333333);
}

TEST(V4l2CaptureSource, FramesStreamInTheFixedFormatAndTheDriversGapsAreCountedLost) {
    // Setup: the driver loses every third frame; the half rate is fixed.
    auto config = Camera();
    config.loseEvery = 3;
    Rig rig(config);
    CMediaType half = V4l2ModeType({V4L2_PIX_FMT_YUYV, 64, 48, 1, 15});
    ASSERT_EQ(ComPtr<IPin>(rig.source->OutputPin()).As<IAMStreamConfig>()->SetFormat(&half), S_OK);
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.sink->WaitForSamples(6));
    rig.graph->Stop();
    const auto samples = rig.sink->Samples();

    // Verification: frames 0 1 _ 3 4 _ 6 7 ...; stamped from the clock, an interval long.
    EXPECT_EQ(rig.sink->InputType(), half);
    ASSERT_GE(samples.size(), 6u);
    EXPECT_EQ(samples[0].length, 64 * 48 * 2);
    EXPECT_TRUE(samples[0].discontinuity);
    EXPECT_FALSE(samples[1].discontinuity);
    const std::vector<int> numbers{samples[0].bytes[0], samples[1].bytes[0], samples[2].bytes[0],
                                   samples[3].bytes[0]};
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 3, 4}));
    EXPECT_GE(rig.Dropped(), 2);
    EXPECT_EQ(samples[1].stop - samples[1].start, 666666);
    EXPECT_GE(samples[1].start, samples[0].start);
}

TEST(V4l2CaptureSource, TheSelectedInputAndControlsReachTheDevice) {
    // Setup: an analogue card with two inputs and a brightness control.
    auto config = Camera("Fake TV");
    config.inputs = {{"Television", V4L2_INPUT_TYPE_TUNER, V4L2_STD_PAL | V4L2_STD_NTSC},
                     {"Composite1", V4L2_INPUT_TYPE_CAMERA, V4L2_STD_PAL | V4L2_STD_NTSC}};
    config.controls = {
        {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 128, {}}};
    Rig rig(config);
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    const HRESULT routed = rig.source->SelectInput(1);
    const HRESULT outOfRange = rig.source->SelectInput(2);
    const HRESULT ntsc = rig.source->SetStandard(V4L2_STD_NTSC_M);
    const auto standardAfterNtsc = rig.device->CurrentStandard();
    const HRESULT pal = rig.source->put_TVFormat(AnalogVideo_PAL_B);
    long format = 0, formats = 0;
    rig.source->get_TVFormat(&format);
    rig.source->get_AvailableTVFormats(&formats);
    const HRESULT set = rig.source->SetControl(V4L2_CID_BRIGHTNESS, 200);
    const HRESULT tooBright = rig.source->SetControl(V4L2_CID_BRIGHTNESS, 300);
    std::int32_t value = 0;
    rig.source->GetControl(V4L2_CID_BRIGHTNESS, &value);
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.sink->WaitForSamples(1));

    // Verification
    EXPECT_EQ(routed, S_OK);
    EXPECT_EQ(outOfRange, E_INVALIDARG);
    EXPECT_EQ(ntsc, S_OK);
    EXPECT_EQ(standardAfterNtsc, V4L2_STD_NTSC_M);
    EXPECT_EQ(pal, S_OK);
    EXPECT_EQ(rig.device->CurrentStandard(), V4L2_STD_PAL);
    EXPECT_EQ(format, AnalogVideo_PAL_B);
    EXPECT_EQ(formats, AnalogVideo_PAL_B | AnalogVideo_NTSC_M);
    EXPECT_EQ(set, S_OK);
    EXPECT_EQ(tooBright, E_INVALIDARG);
    EXPECT_EQ(value, 200);
    ASSERT_EQ(rig.source->Controls().size(), 1u);
    EXPECT_EQ(rig.source->Controls()[0].name, "Brightness");
    EXPECT_EQ(rig.sink->Samples()[0].bytes[1], 1); // the picture of the second input
}

TEST(V4l2CaptureSource, ADeviceThatGoesAwayPostsDeviceLostWithoutEndingTheStream) {
    // Setup
    auto config = Camera();
    config.unplugAfterFrames = 3;
    Rig rig(config);
    ASSERT_EQ(rig.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    HRESULT got = S_OK;
    while (SUCCEEDED(got = rig.graph->GetEvent(&code, &p1, &p2, 10000)) && code != EC_DEVICE_LOST)
        rig.graph->FreeEventParams(code, p1, p2);
    const HRESULT stopped = rig.graph->Stop();
    const HRESULT rerun = rig.graph->Pause();

    // Verification
    EXPECT_EQ(got, S_OK);
    EXPECT_EQ(code, EC_DEVICE_LOST);
    EXPECT_EQ(rig.sink->received.load(), 3);
    EXPECT_EQ(rig.sink->endOfStreams.load(), 0);
    EXPECT_EQ(stopped, S_OK);
    EXPECT_TRUE(FAILED(rerun)); // the device cannot be opened again
}

TEST(V4l2CaptureSource, AnEncoderWithoutStreamingIsReadWithReadAndItsStreamArrivesWhole) {
    // Setup: read() I/O alone; an encoder with a picture mode too, and a grabber with pictures
    // only, which read() cannot frame.
    auto encoder = Camera("Fake Encoder");
    encoder.readIo = true;
    encoder.modes = {{V4L2_PIX_FMT_YUYV, 64, 48, 1, 30}, {V4L2_PIX_FMT_MPEG, 64, 48, 1, 25}};
    encoder.picture = [](const TFakeV4l2Mode&, int, std::uint64_t n, std::uint8_t* out,
                         std::size_t capacity) {
        const std::size_t bytes = std::min<std::size_t>(capacity, 100 + n % 50 * 37);
        std::fill(out, out + bytes, static_cast<std::uint8_t>(n));
        return bytes;
    };
    auto grabber = Camera("Fake Grabber");
    grabber.readIo = true;
    Rig rig(encoder);
    rig.system->Add("/dev/video1", std::make_shared<TFakeV4l2Device>(grabber));
    int count = 0, size = 0;
    ComPtr<IPin>(rig.source->OutputPin())
        .As<IAMStreamConfig>()
        ->GetNumberOfCapabilities(&count, &size);

    // Exercise
    const auto listed = ListV4l2CaptureDevices(*rig.system);
    ASSERT_EQ(rig.Connect(), S_OK);
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(rig.sink->WaitForSamples(5));
    rig.graph->Stop();

    // Verification: the stream's bytes in order, none lost.
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].friendlyName, "Fake Encoder");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rig.sink->InputType().majortype, MEDIATYPE_Stream);
    std::vector<BYTE> received, expected;
    for (const auto& sample : rig.sink->Samples())
        received.insert(received.end(), sample.bytes.begin(), sample.bytes.end());
    for (std::uint64_t n = 0; expected.size() < received.size(); ++n)
        expected.insert(expected.end(), 100 + n % 50 * 37, static_cast<BYTE>(n));
    EXPECT_EQ(received, expected);
    EXPECT_EQ(rig.Dropped(), 0);
}

} // namespace
} // namespace talvence
