// ALSA capture devices in the audio input category, listed through the fake system.

#include "platform/devices/alsa/AlsaDevices.h"

#include "platform/devices/alsa/AlsaCaptureSource.h"
#include "tests/support/PcmTestSupport.h"

#include "platform/media/DeviceEnum.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

std::vector<std::string> Names(const std::vector<TAlsaCaptureDevice>& list) {
    std::vector<std::string> out;
    for (auto& d : list)
        out.push_back(d.friendlyName);
    return out;
}

std::vector<std::string> Paths(const std::vector<TAlsaCaptureDevice>& list) {
    std::vector<std::string> out;
    for (auto& d : list)
        out.push_back(d.devicePath);
    return out;
}

TEST(AlsaCaptureDevices, EachCapturePcmIsNamedByCardAndPcmAndOpenedByCardId) {
    // Setup: a laptop's codec with two capture PCMs (one unnamed), a playback-only HDMI card,
    // and a USB microphone.
    TFakeAlsaSystem system;
    system.cards = {{0, "PCH", "HDA Intel PCH"}, {1, "HDMI", "HDA ATI HDMI"}, {2, "Mic", "Yeti"}};
    system.capture[0] = {{0, "ALC3246 Analog"}, {2, ""}};
    system.capture[2] = {{0, "USB Audio"}};

    // Exercise
    auto list = ListAlsaCaptureDevices(system);

    // Verification
    EXPECT_EQ(Names(list), (std::vector<std::string>{"HDA Intel PCH: ALC3246 Analog",
                                                     "HDA Intel PCH", "Yeti: USB Audio"}));
    EXPECT_EQ(Paths(list),
              (std::vector<std::string>{"plughw:CARD=PCH,DEV=0", "plughw:CARD=PCH,DEV=2",
                                        "plughw:CARD=Mic,DEV=0"}));
}

TEST(AlsaCaptureDevices, RepeatedNamesAreNumberedInListingOrderWhateverTheirCase) {
    // Setup: two identical USB microphones and a third whose name differs only in case.
    TFakeAlsaSystem system;
    system.cards = {{0, "Device", "USB PnP Sound Device"},
                    {1, "Device_1", "USB PnP Sound Device"},
                    {2, "Other", "usb pnp sound device"}};
    system.capture[0] = {{0, ""}};
    system.capture[1] = {{0, ""}};
    system.capture[2] = {{0, ""}};

    // Exercise
    auto list = ListAlsaCaptureDevices(system);

    // Verification
    EXPECT_EQ(Names(list),
              (std::vector<std::string>{"USB PnP Sound Device", "USB PnP Sound Device (2)",
                                        "usb pnp sound device (3)"}));
    EXPECT_EQ(list[1].devicePath, "plughw:CARD=Device_1,DEV=0");
}

TEST(AlsaCaptureDevices, RegisteredEntriesCarryTheirPropertiesAndBindToASourceOnTheirDevice) {
    // Setup
    TFakeAlsaSystem system;
    system.cards = {{0, "PCH", "HDA Intel PCH"}};
    system.capture[0] = {{0, "ALC3246 Analog"}};
    auto registry = std::make_shared<FilterRegistry>();
    ComPtr<CSystemDeviceEnum> devEnum{new CSystemDeviceEnum(registry)};
    auto capture = std::make_shared<TFakePcmCapture>();

    // Exercise
    const int count = RegisterAlsaCaptureDevices(*registry, system, capture);
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, e.put(), 0), S_OK);
    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    ASSERT_EQ(e->Next(1, moniker.put(), &fetched), S_OK);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid()), S_OK);
    VARIANT name, clsid, path;
    bag->Read("FriendlyName", &name, nullptr);
    bag->Read("CLSID", &clsid, nullptr);
    bag->Read("DevicePath", &path, nullptr);
    std::string display;
    moniker->GetDisplayName(nullptr, nullptr, &display);
    ComPtr<IBaseFilter> filter;
    const HRESULT bind =
        moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid());

    // Verification
    EXPECT_EQ(count, 1);
    EXPECT_EQ(name.bstrVal, "HDA Intel PCH: ALC3246 Analog");
    EXPECT_EQ(clsid.bstrVal, "{E30629D2-27E5-11CE-875D-00608CB78066}");
    EXPECT_EQ(path.bstrVal, "plughw:CARD=PCH,DEV=0");
    EXPECT_EQ(display, "@device:pnp:plughw:CARD=PCH,DEV=0");
    ASSERT_EQ(bind, S_OK);
    CLSID filterClass;
    filter->GetClassID(&filterClass);
    EXPECT_EQ(filterClass, CLSID_AudioRecord);
    auto* source = dynamic_cast<TAlsaCaptureSource*>(filter.get());
    ASSERT_NE(source, nullptr);
}

TEST(AlsaCaptureDevices, NoCardLeavesTheCategoryEmpty) {
    // Setup
    TFakeAlsaSystem system;
    auto registry = std::make_shared<FilterRegistry>();
    ComPtr<CSystemDeviceEnum> devEnum{new CSystemDeviceEnum(registry)};

    // Exercise
    const int count = RegisterAlsaCaptureDevices(*registry, system);
    ComPtr<IEnumMoniker> e;
    const HRESULT hr = devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, e.put(), 0);

    // Verification
    EXPECT_EQ(count, 0);
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_FALSE(e);
}

// A capture source on a fake device feeding a recording sink, in a graph.
struct CaptureGraph {
    std::shared_ptr<TFakePcmCapture> capture = std::make_shared<TFakePcmCapture>();
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TAlsaCaptureSource> source{
        new TAlsaCaptureSource(capture, "plughw:CARD=PCH,DEV=0", "HDA Intel PCH")};
    ComPtr<TCountingSink> sink{testing::MakePcmSink()};

    CaptureGraph() {
        graph->AddFilter(source.get(), "AudioSource");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~CaptureGraph() { graph->Stop(); }
};

TEST(AlsaCaptureSource, DeliversWhatTheDeviceGivesAndStopReleasesAWaitingRead) {
    // Setup: a quarter second at 44100 Hz, after which the device has nothing more.
    CaptureGraph g;
    const TPcmFormat cd{44100, 2, 16};
    g.capture->data = testing::MakeSine(cd, 0.25, 1000.0);
    g.sink->accept = testing::AcceptingPcm([&](const TPcmFormat& f) { return f == cd; });
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.sink->InputPin(), nullptr), S_OK);

    // Exercise: run until two whole tenths have arrived; the third read then waits for sound.
    ASSERT_EQ(g.graph->Run(), S_OK);
    const bool arrived = [&] {
        for (int i = 0; i < 5000 && g.sink->AllBytes().size() < 2 * 4410 * 4; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return g.sink->AllBytes().size() == 2 * 4410 * 4;
    }();
    const HRESULT stopped = testing::CallWithin([&] { return g.graph->Stop(); });

    // Verification
    EXPECT_TRUE(arrived);
    EXPECT_EQ(stopped, S_OK);
    EXPECT_EQ(g.capture->OpenedDevices(), std::vector<std::string>{"plughw:CARD=PCH,DEV=0"});
    EXPECT_EQ(g.capture->LastFormat(), cd);
    EXPECT_GE(g.capture->Drops(), 1);
    auto bytes = g.sink->AllBytes();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), g.capture->data.begin()));
    auto times = testing::SampleTimes(*g.sink);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0].start, 0);
    EXPECT_EQ(times[0].stop, 1000000);
    EXPECT_EQ(times[1].start, 1000000);
    EXPECT_EQ(times[1].stop, 2000000);
}

TEST(AlsaCaptureSource, ADeviceThatCannotBeOpenedFailsTheStart) {
    // Setup
    CaptureGraph g;
    g.capture->failOpen = true;
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.sink->InputPin(), nullptr), S_OK);

    // Exercise
    const HRESULT hr = g.graph->Run();

    // Verification: the graph is back to stopped and nothing was delivered.
    EXPECT_TRUE(FAILED(hr));
    OAFilterState state;
    g.graph->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_TRUE(g.sink->AllBytes().empty());
}

TEST(AlsaCaptureSource, IsALiveSourceCountingTheOverrunsTheDeviceReportsAsLostSamples) {
    // Setup: a device that reports two overruns with its first read.
    CaptureGraph g;
    const TPcmFormat cd{44100, 2, 16};
    g.capture->data = testing::MakeSine(cd, 0.25, 1000.0);
    g.capture->overruns = 2;
    g.sink->accept = testing::AcceptingPcm([&](const TPcmFormat& f) { return f == cd; });
    ASSERT_EQ(g.graph->ConnectDirect(g.source->OutputPin(), g.sink->InputPin(), nullptr), S_OK);
    ComPtr<IPin> pin(g.source->OutputPin());
    auto push = pin.As<IAMPushSource>();
    auto counters = pin.As<IAMDroppedFrames>();
    ASSERT_TRUE(push);
    ASSERT_TRUE(counters);

    // Exercise: the two whole tenths the device has.
    ASSERT_EQ(g.graph->Run(), S_OK);
    long sent = 0;
    const bool delivered = testing::WaitUntil(
        [&] { return SUCCEEDED(counters->GetNumNotDropped(&sent)) && sent == 2; });
    ULONG flags = 99;
    REFERENCE_TIME latency = 0;
    push->GetPushSourceFlags(&flags);
    push->GetLatency(&latency);
    long dropped = 0, copied = 0;
    long numbers[4] = {};
    counters->GetNumDropped(&dropped);
    counters->GetDroppedInfo(4, numbers, &copied);

    // Verification: live, a tenth of a second late; each overrun a lost sample before the first.
    EXPECT_TRUE(delivered);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(latency, 1000000);
    EXPECT_EQ(dropped, 2);
    ASSERT_EQ(copied, 2);
    EXPECT_EQ(numbers[0], 0);
    EXPECT_EQ(numbers[1], 1);
}

TEST(AlsaCaptureDevices, TheRealSystemListsWellFormedEntries) {
    // Setup: whatever this machine has (often nothing at all).
    auto system = MakeAlsaSystem();

    // Exercise
    auto list = ListAlsaCaptureDevices(*system);

    // Verification
    for (const auto& d : list) {
        EXPECT_FALSE(d.friendlyName.empty());
        EXPECT_EQ(d.devicePath.rfind("plughw:CARD=", 0), 0u) << d.devicePath;
    }
}

} // namespace
} // namespace talvence
