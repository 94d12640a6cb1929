// The virtual DV camcorder as a capture device: its registration in the video input category,
// the type its pin offers, the frames it sends in camera and VCR mode (checked through their
// packs), the transport and timecode reader, pacing against the graph clock with dropped frames,
// and DV file playback ending the stream.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "filters/BaseClass/CountingFilters.h"
#include "filters/dvcodes/dvcodes.h"
#include "platform/devices/virtual/VirtualDevices.h"
#include "platform/devices/virtual/VirtualDvCamera.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

constexpr REFERENCE_TIME kPalPeriod = 400000;

// What a sink saw of one DV sample.
struct SeenFrame {
    long length = 0;
    DvTimecode tc;
    DvRecDateTime rec;
    std::uint8_t system = kDvSystemUnknown;
    bool wide = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool typeChanged = false;
    bool discontinuity = false;
    bool syncPoint = false;
};

bool WaitFor(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// What the sink saw of each DV sample, its packs read from the bytes it kept.
std::vector<SeenFrame> SeenFrames(const TCountingSink& sink) {
    std::vector<SeenFrame> frames;
    for (const TReceivedSample& s : sink.Samples()) {
        SeenFrame f;
        f.length = s.length;
        if (f.length >= static_cast<long>(kDvMinFrameBytes)) {
            f.tc = DvReadTimecode(s.bytes.data(), 0);
            DvReadRecDateTime(s.bytes.data(), 0, f.rec);
            f.system = DvVideoSystem(s.bytes.data());
            f.wide = DvIsWideScreen(s.bytes.data());
        }
        f.start = s.start;
        f.stop = s.stop;
        f.typeChanged = s.typeChanged;
        f.discontinuity = s.discontinuity;
        f.syncPoint = s.syncPoint;
        frames.push_back(f);
    }
    return frames;
}

DvRecording Recording(TDateTime start, std::uint32_t frames,
                      DvTapeSystem system = DvTapeSystem::Pal625, bool wide = false,
                      DvTapeAudio audio = DvTapeAudio::Pcm48k16) {
    DvRecording r;
    r.start = start;
    r.frames = frames;
    r.system = system;
    r.wideScreen = wide;
    r.audio = audio;
    return r;
}

DvCamcorderConfig Config(DvCamcorderMode mode, DvPacing pacing, std::vector<DvRecording> tape) {
    DvCamcorderConfig c;
    c.mode = mode;
    c.pacing = pacing;
    c.tape.recordings = std::move(tape);
    return c;
}

std::shared_ptr<DvCamcorderDevice> Open(const DvCamcorderConfig& config) {
    std::string error;
    auto device = DvCamcorderDevice::Open(config, error);
    EXPECT_TRUE(device) << error;
    return device;
}

// Virtual camcorder → capture sink in a graph, optionally on a clock the test moves.
struct Rig {
    explicit Rig(std::shared_ptr<DvCamcorderDevice> device, bool fakeClock = false)
        : camera(new TVirtualDvCamera(std::move(device), "virtual:dv:0")) {
        if (fakeClock) {
            clock = new FakeReferenceClock;
            graph->SetSyncSource(clock.get());
        }
        // A renderer of interleaved DV: it keeps the bytes and reports the end of the stream.
        sink->accept = [](const CMediaType& mt) { return mt.majortype == MEDIATYPE_Interleaved; };
        sink->keepBytes = true;
        sink->reportComplete = true;
        graph->AddFilter(camera.get(), "Virtual DV");
        graph->AddFilter(sink.get(), "Sink");
        connected = graph->ConnectDirect(camera->Stream(), sink->InputPin(), nullptr);
    }
    ~Rig() { graph->Stop(); }
    void Periods(REFERENCE_TIME n) { clock->Advance(n * kPalPeriod); }
    bool WaitForPeriods(std::uint64_t n) {
        return WaitFor([&] { return camera->Stream()->Periods() >= n; });
    }
    DWORD Timecode() {
        TIMECODE_SAMPLE s;
        s.dwFlags = ED_DEVCAP_TIMECODE_READ;
        camera->GetTimecode(&s);
        return s.timecode.dwFrames;
    }

    ComPtr<CFilterGraph> graph{new CFilterGraph()};
    ComPtr<TVirtualDvCamera> camera;
    ComPtr<TCountingSink> sink{new TCountingSink};
    ComPtr<FakeReferenceClock> clock;
    HRESULT connected = E_FAIL;
};

bool SameTimecode(const DvTimecode& a, const DvTimecode& b) {
    return a.hours == b.hours && a.minutes == b.minutes && a.seconds == b.seconds &&
           a.frames == b.frames;
}

std::string Text(const DvRecDateTime& r) {
    char s[40];
    std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour,
                  r.minute, r.second);
    return s;
}

std::string ReadString(IMoniker* m, const std::string& name) {
    ComPtr<IPropertyBag> bag;
    m->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.putVoid());
    VARIANT v;
    return bag && SUCCEEDED(bag->Read(name, &v, nullptr)) ? v.bstrVal : "<none>";
}

ComPtr<IPin> FirstPin(IBaseFilter* filter) {
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.put());
    IPin* pin = nullptr;
    ULONG n = 0;
    if (!pins || pins->Next(1, &pin, &n) != S_OK) return nullptr;
    return ComPtr<IPin>::Attach(pin);
}

TEST(VirtualDevices, DvItemsJoinTheVideoInputCategoryAndOtherKindsAreReported) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    const auto list = ParseVirtualDeviceList(
        "dv:name=Deck:mode=vcr:tape=20240502T100000/5/ntsc,scanner,dv:tape=20240502T100000/5,"
        "dv:mode=later,dv:file=/nonexistent/tape.dv");

    // Exercise
    const VirtualDeviceRegistration result = RegisterVirtualDevices(*registry, list);
    ComPtr<CSystemDeviceEnum> devEnum(new CSystemDeviceEnum(registry));
    ComPtr<IEnumMoniker> monikers;
    devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
    std::vector<ComPtr<IMoniker>> entries;
    IMoniker* m = nullptr;
    ULONG n = 0;
    while (monikers && monikers->Next(1, &m, &n) == S_OK)
        entries.push_back(ComPtr<IMoniker>::Attach(m));

    // Verification
    EXPECT_EQ(result.devicePaths, (std::vector<std::string>{"virtual:dv:0", "virtual:dv:1"}));
    ASSERT_EQ(result.warnings.size(), 3u);
    EXPECT_NE(result.warnings[0].find("scanner"), std::string::npos);
    EXPECT_NE(result.warnings[0].find("not built"), std::string::npos);
    EXPECT_NE(result.warnings[1].find("mode=later"), std::string::npos);
    EXPECT_NE(result.warnings[2].find("/nonexistent/tape.dv"), std::string::npos);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(ReadString(entries[0].get(), "FriendlyName"), "Deck");
    EXPECT_EQ(ReadString(entries[0].get(), "DevicePath"), "virtual:dv:0");
    EXPECT_EQ(ReadString(entries[0].get(), "CLSID"), FormatGuid(CLSID_VirtualDvCamera));
    EXPECT_EQ(ReadString(entries[0].get(), "Description"), "Virtual DV camcorder (VCR mode)");
    EXPECT_EQ(ReadString(entries[1].get(), "FriendlyName"), "Virtual DV Camcorder");
    EXPECT_EQ(ReadString(entries[1].get(), "DevicePath"), "virtual:dv:1");
    EXPECT_EQ(ReadString(entries[1].get(), "Description"), "Virtual DV camcorder (camera mode)");
}

TEST(VirtualDevices, ABoundDeviceAnswersItsTypeAndOffersTheDvTypeTheAnalysisLooksFor) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    RegisterVirtualDevices(*registry,
                           ParseVirtualDeviceList("dv:mode=vcr:tape=20240502T100000/5/ntsc,"
                                                  "dv:tape=20240502T100000/5/pal/16x9"));
    const auto entries = registry->Entries(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(entries.size(), 2u);

    for (int i = 0; i < 2; ++i) {
        const bool vcr = i == 0;
        // Exercise
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(MakeMoniker(CLSID_VideoInputDeviceCategory, entries[i])
                      ->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid()),
                  S_OK);
        long type = 0;
        filter.As<IAMExtDevice>()->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr);
        ComPtr<IPin> pin = FirstPin(filter.get());
        ASSERT_TRUE(pin);
        GUID category;
        DWORD returned = 0;
        pin.As<IKsPropertySet>()->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                      &category, sizeof category, &returned);
        ComPtr<IEnumMediaTypes> types;
        pin->EnumMediaTypes(types.put());
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG fetched = 0;
        ASSERT_EQ(types->Next(1, &mt, &fetched), S_OK);

        // Verification
        EXPECT_EQ(type, vcr ? ED_DEVTYPE_VCR : ED_DEVTYPE_CAMERA);
        EXPECT_TRUE(filter.As<IAMExtTransport>());
        EXPECT_TRUE(filter.As<IAMTimecodeReader>());
        EXPECT_TRUE(pin.As<IAMDroppedFrames>());
        EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
        EXPECT_EQ(mt->majortype, MEDIATYPE_Interleaved);
        EXPECT_EQ(mt->subtype, MEDIASUBTYPE_dvsd);
        EXPECT_EQ(mt->formattype, FORMAT_DvInfo);
        ASSERT_GE(mt->cbFormat, 32u);
        const bool fiftyHz = (mt->pbFormat[DVINFO_SYSTEM_BYTE] & DVINFO_50HZ_BIT) != 0;
        EXPECT_EQ(fiftyHz, !vcr) << "the NTSC tape is on the VCR";
        EXPECT_EQ(mt->lSampleSize, vcr ? 120000u : 144000u);
        const auto* info = reinterpret_cast<const DVINFO*>(mt->pbFormat);
        EXPECT_EQ((info->dwDVVAuxCtl >> 8) & 7, vcr ? 0u : 2u); // 16:9 display select
        // The packs of the frame itself: the encoder's video source pack, the tape's sound.
        EXPECT_EQ(info->dwDVVAuxSrc, vcr ? 0xFFC0FFFFu : 0xFFE0FFFFu)
            << std::hex << info->dwDVVAuxSrc;
        EXPECT_EQ(info->dwDVAAuxSrc & 0x38000000, 0u) << "48 kHz";
        EXPECT_EQ(info->dwDVAAuxSrc1, info->dwDVAAuxSrc);
        DeleteMediaType(mt);
    }
}

TEST(VirtualDevices, EveryBindOfOneEntrySharesItsTape) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    RegisterVirtualDevices(*registry, ParseVirtualDeviceList("dv:mode=vcr:tape=nodate/5"));
    const auto entry = registry->Entries(CLSID_VideoInputDeviceCategory).at(0);
    ComPtr<IBaseFilter> first, second;
    MakeMoniker(CLSID_VideoInputDeviceCategory, entry)
        ->BindToObject(nullptr, nullptr, IBaseFilter::iid, first.putVoid());
    MakeMoniker(CLSID_VideoInputDeviceCategory, entry)
        ->BindToObject(nullptr, nullptr, IBaseFilter::iid, second.putVoid());

    // Exercise
    first.As<IAMExtTransport>()->put_Mode(ED_MODE_PLAY);
    long mode = 0;
    second.As<IAMExtTransport>()->get_Mode(&mode);

    // Verification
    EXPECT_FALSE(first == second);
    EXPECT_EQ(mode, ED_MODE_PLAY);
}

TEST(VirtualDevices, TheEnvironmentVariableNamesTheDevices) {
    // Setup
    FilterRegistry registry;
    const char* before = std::getenv(kVirtualDevicesVariable);
    const std::string saved = before ? before : "";
    ::setenv(kVirtualDevicesVariable, "dv:name=From Env:tape=nodate/3", 1);

    // Exercise
    const auto result = RegisterVirtualDevicesFromEnvironment(registry);
    ::unsetenv(kVirtualDevicesVariable);
    FilterRegistry empty;
    const auto none = RegisterVirtualDevicesFromEnvironment(empty);
    if (before) ::setenv(kVirtualDevicesVariable, saved.c_str(), 1);

    // Verification
    ASSERT_EQ(result.devicePaths.size(), 1u);
    EXPECT_EQ(registry.Entries(CLSID_VideoInputDeviceCategory).at(0).friendlyName, "From Env");
    EXPECT_TRUE(none.devicePaths.empty());
    EXPECT_TRUE(empty.Entries(CLSID_VideoInputDeviceCategory).empty());
}

TEST(VirtualDvCamera, CameraModeStampsTheClockAndCountsItsFramesOverTheLoopingTape) {
    // Setup: each frame reads the clock once; the clock moves a second per reading.
    const TDateTime base = EncodeDateTime(2025, 1, 2, 3, 4, 5, 0);
    auto readings = std::make_shared<std::atomic<int>>(0);
    DvCamcorderConfig config = Config(DvCamcorderMode::Camera, DvPacing::AsFastAsPossible,
                                      {Recording(EncodeDateTime(2000, 1, 1, 0, 0, 0, 0), 30)});
    config.clock = [=] { return base + (*readings)++ / 86400.0; };
    Rig rig(Open(config));
    ASSERT_EQ(rig.connected, S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return rig.sink->received >= 40; }));
    rig.graph->Stop();
    const auto frames = SeenFrames(*rig.sink);

    // Verification
    DateTimeFields first;
    ASSERT_EQ(frames[0].rec.year, 2025) << Text(frames[0].rec);
    for (int i = 0; i < 40; ++i) {
        const SeenFrame& f = frames[i];
        EXPECT_EQ(f.length, 144000) << i;
        EXPECT_TRUE(SameTimecode(f.tc, DvTapeSynthesiser::TapeTimecode(i, DvTapeSystem::Pal625)))
            << i;
        const int shift = (frames[0].rec.second + i) - f.rec.second;
        EXPECT_TRUE(shift == 0 || shift == 60) << i << " " << Text(f.rec);
        EXPECT_EQ(f.start, i * kPalPeriod) << i;
        EXPECT_EQ(f.stop, (i + 1) * kPalPeriod) << i;
        EXPECT_EQ(f.discontinuity, i == 0) << i;
        EXPECT_TRUE(f.syncPoint);
        EXPECT_FALSE(f.typeChanged);
    }
    (void)first;
}

TEST(VirtualDvCamera, VcrPlayCarriesTheScriptedPacksChangesTypeAndEndsWithTheTape) {
    // Setup: 20 PAL frames, then 10 NTSC 16:9 frames with 32 kHz sound.
    const std::vector<DvRecording> tape = {Recording(EncodeDateTime(2024, 5, 2, 10, 0, 0, 0), 20),
                                           Recording(EncodeDateTime(2024, 5, 2, 14, 30, 0, 0), 10,
                                                     DvTapeSystem::Ntsc525, true,
                                                     DvTapeAudio::Pcm32k12)};
    DvTapeSynthesiser expected(DvTapeScript{tape});
    Rig rig(Open(Config(DvCamcorderMode::Vcr, DvPacing::AsFastAsPossible, tape)));
    ASSERT_EQ(rig.connected, S_OK);
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_PLAY), S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    long completion = 0;
    ASSERT_EQ(rig.graph->WaitForCompletion(10000, &completion), S_OK);
    long mode = 0;
    rig.camera->get_Mode(&mode);
    const auto frames = SeenFrames(*rig.sink);

    // Verification
    EXPECT_EQ(completion, EC_COMPLETE);
    EXPECT_EQ(rig.sink->endOfStreams, 1);
    EXPECT_EQ(mode, ED_MODE_STOP);
    TIMECODE_SAMPLE reading;
    rig.camera->GetTimecode(&reading);
    EXPECT_EQ(reading.timecode.wFrameRate, ED_FORMAT_SMPTE_30DROP);
    EXPECT_EQ(rig.Timecode(),
              PackTimecodeBcd(DvTapeSynthesiser::TapeTimecode(29, DvTapeSystem::Ntsc525)));
    ASSERT_EQ(frames.size(), 30u);
    for (std::uint64_t i = 0; i < 30; ++i) {
        const SeenFrame& f = frames[i];
        const bool pal = i < 20;
        const DvTapeSystem system = pal ? DvTapeSystem::Pal625 : DvTapeSystem::Ntsc525;
        EXPECT_EQ(f.length, pal ? 144000 : 120000) << i;
        EXPECT_EQ(f.system, pal ? kDvSystem625 : kDvSystem525) << i;
        EXPECT_EQ(f.wide, !pal) << i;
        EXPECT_TRUE(SameTimecode(f.tc, DvTapeSynthesiser::TapeTimecode(i, system))) << i;
        EXPECT_EQ(Text(f.rec), Text(expected.recDateTime(i))) << i;
        EXPECT_EQ(f.typeChanged, i == 20) << i;
        const REFERENCE_TIME length = f.stop - f.start;
        if (pal)
            EXPECT_EQ(length, kPalPeriod) << i;
        else
            EXPECT_TRUE(length == 333666 || length == 333667) << i << " " << length;
        if (i > 0) {
            EXPECT_EQ(f.start, frames[i - 1].stop) << i;
        }
    }
}

TEST(VirtualDvCamera, TheVcrTapeMovesOnlyOnTransportCommandsAtTheClocksPace) {
    // Setup: a 100-frame PAL tape on a clock the test moves period by period.
    Rig rig(Open(Config(DvCamcorderMode::Vcr, DvPacing::RealTime,
                        {Recording(EncodeDateTime(2024, 5, 2, 10, 0, 0, 0), 100)})),
            true);
    ASSERT_EQ(rig.connected, S_OK);
    ASSERT_EQ(rig.graph->Run(), S_OK);

    // Exercise / Verification: stopped, ten periods go by without a frame.
    rig.Periods(10);
    ASSERT_TRUE(rig.WaitForPeriods(10));
    EXPECT_EQ(rig.sink->received, 0);
    EXPECT_EQ(rig.Timecode(), 0x00000000u);

    // Play: one frame per period, from the beginning of the tape.
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_PLAY), S_OK);
    rig.Periods(5);
    ASSERT_TRUE(WaitFor([&] { return rig.sink->received >= 5; }));
    EXPECT_EQ(rig.Timecode(), 0x00000005u);

    // Pause: the same frame again and again.
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_FREEZE), S_OK);
    rig.Periods(3);
    ASSERT_TRUE(WaitFor([&] { return rig.sink->received >= 8; }));
    EXPECT_EQ(rig.Timecode(), 0x00000005u);

    // Stop, then wind forward two periods: 40 frames further, no picture.
    rig.camera->put_Mode(ED_MODE_STOP);
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_FF), S_OK);
    rig.Periods(2);
    ASSERT_TRUE(rig.WaitForPeriods(20))
        << rig.camera->Stream()->Periods() << " periods, " << rig.sink->received << " frames";
    EXPECT_EQ(rig.Timecode(), 0x00000120u); // 45 frames: 0:00:01:20

    // Fast play forward shows every tenth frame.
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_PLAY_FASTEST_FWD), S_OK);
    rig.Periods(2);
    ASSERT_TRUE(WaitFor([&] { return rig.sink->received >= 10; }));
    EXPECT_EQ(rig.Timecode(), 0x00000215u); // 65 frames: 0:00:02:15

    // Rewind to the beginning, where the transport stops by itself.
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_REW), S_OK);
    rig.Periods(5);
    ASSERT_TRUE(rig.WaitForPeriods(27));
    long mode = 0;
    rig.camera->get_Mode(&mode);
    const auto frames = SeenFrames(*rig.sink);

    EXPECT_EQ(mode, ED_MODE_STOP);
    EXPECT_EQ(rig.Timecode(), 0x00000000u);
    ASSERT_EQ(frames.size(), 10u);
    const int expectedFrames[] = {0, 1, 2, 3, 4, 5, 5, 5, 45, 55};
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(SameTimecode(
            frames[i].tc, DvTapeSynthesiser::TapeTimecode(expectedFrames[i], DvTapeSystem::Pal625)))
            << i;
        // Stamped with the clock periods in which they were sent.
        const REFERENCE_TIME period = i < 8 ? 10 + i : 10 + 5 + 3 + 2 + (i - 8);
        EXPECT_EQ(frames[i].start, period * kPalPeriod) << i;
    }
    EXPECT_EQ(rig.camera->put_Mode(12345), E_INVALIDARG);
}

TEST(VirtualDvCamera, AFrameDueWhileEveryBufferIsHeldDownstreamIsDropped) {
    // Setup: a camera on a clock the test moves; the sink keeps every sample it gets.
    Rig rig(Open(Config(DvCamcorderMode::Camera, DvPacing::RealTime, {Recording(0, 50)})), true);
    ASSERT_EQ(rig.connected, S_OK);
    rig.sink->holdSamples = true;
    ComPtr<IAMDroppedFrames> counters = ComPtr<IPin>(rig.camera->Stream()).As<IAMDroppedFrames>();
    ASSERT_TRUE(counters);
    ASSERT_EQ(rig.graph->Run(), S_OK);

    // Exercise: ten periods with the pool of four buffers held, then two with them back.
    rig.Periods(10);
    ASSERT_TRUE(rig.WaitForPeriods(10));
    long droppedWhileHeld = 0, sentWhileHeld = 0;
    counters->GetNumDropped(&droppedWhileHeld);
    counters->GetNumNotDropped(&sentWhileHeld);
    rig.sink->ReleaseHeldSamples();
    rig.sink->holdSamples = false;
    rig.Periods(2);
    ASSERT_TRUE(WaitFor([&] { return rig.sink->received >= 6; }));
    long dropped = 0, sent = 0, average = 0, copied = 0;
    long numbers[16] = {};
    counters->GetNumDropped(&dropped);
    counters->GetNumNotDropped(&sent);
    counters->GetDroppedInfo(16, numbers, &copied);
    counters->GetAverageFrameSize(&average);
    const auto frames = SeenFrames(*rig.sink);

    // Verification
    EXPECT_EQ(sentWhileHeld, 4);
    EXPECT_EQ(droppedWhileHeld, 6);
    EXPECT_EQ(sent, 6);
    EXPECT_EQ(dropped, 6);
    ASSERT_EQ(copied, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(numbers[i], 4 + i);
    EXPECT_EQ(average, 144000);
    // The camera kept counting through the lost frames.
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[4].tc.frames, 10);
    EXPECT_EQ(frames[4].start, 10 * kPalPeriod);
}

TEST(VirtualDvCamera, ADvFileIsPlayedAsItIsAndItsEndCompletesTheGraph) {
    // Setup: a 12-frame tape dump starting at timecode 0:00:00:00.
    testing::TempDir dir;
    const auto path = dir / "dump.dv";
    DvTapeSynthesiser synth(
        DvTapeScript{{Recording(EncodeDateTime(2021, 7, 8, 9, 10, 11, 0), 12)}});
    std::vector<std::uint8_t> all, frame;
    for (std::uint64_t i = 0; i < 12; ++i) {
        ASSERT_TRUE(synth.frame(i, frame));
        all.insert(all.end(), frame.begin(), frame.end());
    }
    all.resize(all.size() + 5000, 0); // a cut-off last frame is not played
    testing::WriteBytes(path, all);
    DvCamcorderConfig config = Config(DvCamcorderMode::Camera, DvPacing::AsFastAsPossible, {});
    config.file = path.string();
    Rig rig(Open(config));
    ASSERT_EQ(rig.connected, S_OK);

    // Exercise
    ASSERT_EQ(rig.graph->Run(), S_OK);
    long completion = 0;
    ASSERT_EQ(rig.graph->WaitForCompletion(10000, &completion), S_OK);
    const auto frames = SeenFrames(*rig.sink);

    rig.graph->Stop();
    ASSERT_EQ(rig.graph->Run(), S_OK); // a new start plays the file again
    long again = 0;
    ASSERT_EQ(rig.graph->WaitForCompletion(10000, &again), S_OK);

    // Verification
    EXPECT_EQ(completion, EC_COMPLETE);
    EXPECT_EQ(again, EC_COMPLETE);
    EXPECT_EQ(rig.sink->received, 24);
    ASSERT_GE(frames.size(), 12u);
    for (std::uint64_t i = 0; i < 12; ++i) {
        EXPECT_TRUE(
            SameTimecode(frames[i].tc, DvTapeSynthesiser::TapeTimecode(i, DvTapeSystem::Pal625)));
        EXPECT_EQ(Text(frames[i].rec), Text(synth.recDateTime(i))) << "the file's own date";
    }
}

TEST(VirtualDvCamera, AVcrWindsAndPlaysADvFileByItsOwnTimecode) {
    // Setup
    testing::TempDir dir;
    const auto path = dir / "dump.dv";
    DvTapeSynthesiser synth(DvTapeScript{
        {Recording(EncodeDateTime(2021, 7, 8, 9, 10, 11, 0), 8, DvTapeSystem::Ntsc525)}});
    std::vector<std::uint8_t> all, frame;
    for (std::uint64_t i = 0; i < 8; ++i) {
        ASSERT_TRUE(synth.frame(i, frame));
        all.insert(all.end(), frame.begin(), frame.end());
    }
    testing::WriteBytes(path, all);
    DvCamcorderConfig config = Config(DvCamcorderMode::Vcr, DvPacing::AsFastAsPossible, {});
    config.file = path.string();
    Rig rig(Open(config));
    ASSERT_EQ(rig.connected, S_OK);
    ASSERT_EQ(rig.graph->Run(), S_OK);

    // Exercise: as fast as possible, winding reaches the end at once.
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_FF), S_OK);
    long mode = 0;
    ASSERT_TRUE(WaitFor([&] {
        rig.camera->get_Mode(&mode);
        return mode == ED_MODE_STOP;
    }));
    const DWORD atEnd = rig.Timecode();
    ASSERT_EQ(rig.camera->put_Mode(ED_MODE_PLAY), S_OK);
    long completion = 0;
    ASSERT_EQ(rig.graph->WaitForCompletion(10000, &completion), S_OK);

    // Verification
    EXPECT_EQ(atEnd, PackTimecodeBcd(DvTapeSynthesiser::TapeTimecode(7, DvTapeSystem::Ntsc525)));
    EXPECT_EQ(completion, EC_COMPLETE);
    const auto frames = SeenFrames(*rig.sink);
    ASSERT_EQ(frames.size(), 1u); // the last frame, then the end of the tape
    EXPECT_EQ(frames[0].length, 120000);
    EXPECT_TRUE(
        SameTimecode(frames[0].tc, DvTapeSynthesiser::TapeTimecode(7, DvTapeSystem::Ntsc525)));
}

TEST(VirtualDvCamera, TimecodeReaderAnswersAllOnesWhereTheTapeHasNoTimecode) {
    // Setup
    DvRecording untimed = Recording(0, 5);
    untimed.timecode = false;
    Rig rig(Open(Config(DvCamcorderMode::Vcr, DvPacing::AsFastAsPossible, {untimed})));

    // Exercise / Verification
    EXPECT_EQ(rig.Timecode(), 0xFFFFFFFFu);
    EXPECT_EQ(rig.camera->put_Mode(ED_MODE_PLAY), S_OK);
}

TEST(VirtualDvCamera, ACameraHasNoTransportToMove) {
    // Setup
    Rig rig(Open(Config(DvCamcorderMode::Camera, DvPacing::AsFastAsPossible, {Recording(0, 5)})));

    // Exercise
    const HRESULT hr = rig.camera->put_Mode(ED_MODE_PLAY);
    long mode = 0;
    rig.camera->get_Mode(&mode);

    // Verification
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(mode, ED_MODE_STOP);
}

} // namespace
} // namespace talvence
