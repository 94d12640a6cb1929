// A DV camcorder on a scripted IEEE 1394 bus, through the graph module as the window uses it:
// catalogue entries, the preview and a capture of its frames, frames with missing packets
// dropped and counted, a bus reset that changes nothing, an unplug that ends the stream with the
// device lost and leaves a complete file, and the AV/C transport and timecode.

#include "platform/devices/ieee1394/FakeIeee1394System.h"
#include "platform/devices/ieee1394/Ieee1394DvCamera.h"
#include "platform/media/DvConstants.h"
#include "platform/media/EventCodes.h"
#include "tests/support/AviWriterTestSupport.h"
#include "tests/support/DmCamTestSupport.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace dmcamtest;

constexpr std::uint64_t kGuid = 0x0080458800ABCDEFull;

class Ieee1394Test : public ::testing::Test {
protected:
    void SetUp() override {
        bus->units = {{kGuid, "Brannock", "DV-1", true, true}, {0x1234, "", "", false, true}};
        RegisterIeee1394Cameras(*platform.registry, bus);
        const auto bytes = ReadFile(MakeDvFile(dir, 10));
        for (std::size_t at = 0; at + kDvFrameBytes625 <= bytes.size(); at += kDvFrameBytes625)
            frames.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + kDvFrameBytes625));
    }
    void FeedFrames(int count) {
        for (int i = 0; i < count; ++i)
            bus->Feed(kGuid, {FakeIeee1394System::Event::Frame, frames[std::size_t(i) % frames.size()]});
    }

    TempDir dir;
    DmCamPlatform platform{""};
    std::shared_ptr<FakeIeee1394System> bus = std::make_shared<FakeIeee1394System>();
    std::vector<std::vector<std::uint8_t>> frames;
};

TEST_F(Ieee1394Test, UnitsAreListedByNameWithTheirGuidAsDevicePath) {
    const auto entries = platform.registry->Entries(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].friendlyName, "Brannock DV-1");
    EXPECT_EQ(entries[0].properties.at("DevicePath"), "ieee1394:0080458800ABCDEF");
    EXPECT_EQ(entries[1].friendlyName, "DV Camcorder"); // a ROM without names
}

TEST_F(Ieee1394Test, CapturesWhatArrivesDropsBrokenFramesAndEndsCleanlyWhenUnplugged) {
    TdmCam& cam = *platform.cam;
    bool lost = false;
    cam.Graph().OnGraphDeviceLost = [&](IUnknown*, bool inserted) { lost = !inserted; };
    FeedFrames(1); // the connection is typed from the first frame
    ASSERT_TRUE(AnalyseByName(cam, "Brannock DV-1"));
    EXPECT_EQ(cam.Kind(), SourceKind::skDv);
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();
    EXPECT_TRUE(cam.Camcorder().vcrMode);
    const std::string file = dir.File("tape.avi");
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2, 0, file)) << cam.LastError();
    ASSERT_TRUE(cam.RunGraph());

    FeedFrames(20);
    bus->Feed(kGuid, {FakeIeee1394System::Event::Incomplete, {}});
    bus->Feed(kGuid, {FakeIeee1394System::Event::Incomplete, {}});
    bus->Feed(kGuid, {FakeIeee1394System::Event::BusReset, {}});
    FeedFrames(15);
    bus->Feed(kGuid, {FakeIeee1394System::Event::Gone, {}});
    ASSERT_TRUE(WaitUntil([&] {
        cam.TakeCompletion();
        return lost;
    }));
    long delivered = 0, dropped = 0;
    ASSERT_TRUE(cam.SourceFrameCounts(delivered, dropped));
    cam.StopGraph();

    EXPECT_EQ(delivered, 35);
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(bus->BusResets(), 1);
    EXPECT_EQ(ProbeStreams(file)[0], "video dvvideo 35");
    // The unit left the catalogue; analysing it again fails.
    EXPECT_EQ(platform.registry->Entries(CLSID_VideoInputDeviceCategory).size(), 1u);
}

class Ieee1394MinuteTest : public Ieee1394Test, public ::testing::WithParamInterface<CaptureFormat> {};

// A minute of frames in each DV capture format: every frame reaches the file, and a type 1 file
// holds the frames received byte for byte.
TEST_P(Ieee1394MinuteTest, AMinuteIsCapturedWhole) {
    TdmCam& cam = *platform.cam;
    FeedFrames(1);
    ASSERT_TRUE(AnalyseByName(cam, "Brannock DV-1"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("minute.avi");
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, GetParam(), 0, file)) << cam.LastError();
    ASSERT_TRUE(cam.RunGraph());
    constexpr int kMinute = 1500; // 60 s of PAL
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < kMinute; ++i) {
        const auto& frame = frames[std::size_t(i) % frames.size()];
        sent.insert(sent.end(), frame.begin(), frame.end());
        bus->Feed(kGuid, {FakeIeee1394System::Event::Frame, frame});
    }
    long delivered = 0, dropped = 0;
    ASSERT_TRUE(WaitUntil([&] { return cam.SourceFrameCounts(delivered, dropped) && delivered == kMinute; }, 90));
    ASSERT_TRUE(WaitUntil([&] { return cam.CapturedVideoFrames().value_or(0) == kMinute; }, 90));
    cam.StopGraph();
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(ProbeStreams(file)[0], "video dvvideo " + std::to_string(kMinute));
    if (GetParam() == cfDvType1) {
        const auto written = testing::ExtractRawVideo(file);
        ASSERT_EQ(written.size(), sent.size());
        EXPECT_TRUE(written == sent);
    }
}

INSTANTIATE_TEST_SUITE_P(DvFormats, Ieee1394MinuteTest,
                         ::testing::Values(cfDvType1, cfDvType2, cfDvType2Inlay));

TEST_F(Ieee1394Test, TransportAndTimecodeGoThroughAvc) {
    TdmCam& cam = *platform.cam;
    FeedFrames(1);
    ASSERT_TRUE(AnalyseByName(cam, "Brannock DV-1"));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const TCamcorderLink& link = cam.Camcorder();
    ASSERT_TRUE(link.transportAvailable && link.timecodeAvailable);
    // Commands go out on the unit's own thread; the caller does not wait for the camcorder.
    EXPECT_EQ(link.transport->put_Mode(ED_MODE_PLAY), S_OK);
    EXPECT_TRUE(WaitUntil([&] { return bus->LastMode(kGuid) == ED_MODE_PLAY; }, 5));
    bus->timecode = 0x01234512;
    TIMECODE_SAMPLE sample;
    EXPECT_TRUE(WaitUntil([&] {
        return link.timecodeReader->GetTimecode(&sample) == S_OK &&
               sample.timecode.dwFrames == 0x01234512u;
    }, 5));
    bus->timecode.reset(); // a tape without timecode
    EXPECT_TRUE(WaitUntil([&] {
        link.timecodeReader->GetTimecode(&sample);
        return sample.timecode.dwFrames == 0xFFFFFFFFu;
    }, 5));
}

} // namespace
} // namespace talvence
