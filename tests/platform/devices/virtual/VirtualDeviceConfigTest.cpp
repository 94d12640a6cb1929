// TALVENCE_VIRTUAL_DEVICES: the device list, the dv options and the tape script syntax.

#include <fstream>

#include <gtest/gtest.h>

#include "platform/devices/virtual/VirtualDeviceConfig.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

TEST(VirtualDeviceList, SplitsDevicesAndOptionsKeepingUnknownKinds) {
    // Setup
    const char* text =
        " dv:file=tape.dv:PACE=fast , ,Webcam,dv:mode=vcr:name=My Cam:mode=camera,:x";

    // Exercise
    const VirtualDeviceList list = ParseVirtualDeviceList(text);

    // Verification
    ASSERT_EQ(list.devices.size(), 3u);
    EXPECT_EQ(list.devices[0].kind, "dv");
    ASSERT_EQ(list.devices[0].options.size(), 2u);
    EXPECT_EQ(list.devices[0].options[0], (std::pair<std::string, std::string>{"file", "tape.dv"}));
    EXPECT_EQ(*list.devices[0].Option("pace"), "fast");
    EXPECT_EQ(list.devices[1].kind, "webcam");
    EXPECT_TRUE(list.devices[1].options.empty());
    EXPECT_EQ(*list.devices[2].Option("mode"), "camera"); // the last one wins
    EXPECT_EQ(*list.devices[2].Option("name"), "My Cam");
    EXPECT_EQ(list.devices[2].Option("file"), nullptr);
    ASSERT_EQ(list.errors.size(), 1u); // ":x" names no kind
}

TEST(VirtualDeviceList, AnEmptyTextListsNothing) {
    EXPECT_TRUE(ParseVirtualDeviceList("").devices.empty());
    EXPECT_TRUE(ParseVirtualDeviceList(" , ").errors.empty());
}

TEST(DvCamcorderOptions, DefaultsAreACameraInRealTimeOnTheDefaultTape) {
    // Setup
    VirtualDeviceSpec spec{"dv", {}};
    std::string error;

    // Exercise
    const auto config = ParseDvCamcorderOptions(spec, error);

    // Verification
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->friendlyName, "Virtual DV Camcorder");
    EXPECT_EQ(config->mode, DvCamcorderMode::Camera);
    EXPECT_EQ(config->pacing, DvPacing::RealTime);
    EXPECT_TRUE(config->file.empty());
    EXPECT_EQ(config->tape.recordings.size(), DefaultDvTape().recordings.size());
}

TEST(DvCamcorderOptions, ReadsEveryOptionAndRefusesWhatItDoesNotKnow) {
    // Setup
    const auto list = ParseVirtualDeviceList(
        "dv:mode=VCR:pace=fast:name=Deck:tape=20240502T100000/250/ntsc/16x9/32k/notc;"
        "nodate/10,dv:file=/tmp/t.dv,dv:mode=tape,dv:speed=2,dv:file=a.dv:tape=nodate/1");
    std::string error;

    // Exercise
    const auto full = ParseDvCamcorderOptions(list.devices[0], error);
    const auto file = ParseDvCamcorderOptions(list.devices[1], error);
    std::string badMode, unknown, both;
    const auto r2 = ParseDvCamcorderOptions(list.devices[2], badMode);
    const auto r3 = ParseDvCamcorderOptions(list.devices[3], unknown);
    const auto r4 = ParseDvCamcorderOptions(list.devices[4], both);

    // Verification
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->mode, DvCamcorderMode::Vcr);
    EXPECT_EQ(full->pacing, DvPacing::AsFastAsPossible);
    EXPECT_EQ(full->friendlyName, "Deck");
    ASSERT_EQ(full->tape.recordings.size(), 2u);
    const DvRecording& r = full->tape.recordings[0];
    EXPECT_DOUBLE_EQ(r.start, EncodeDateTime(2024, 5, 2, 10, 0, 0, 0));
    EXPECT_EQ(r.frames, 250u);
    EXPECT_EQ(r.system, DvTapeSystem::Ntsc525);
    EXPECT_TRUE(r.wideScreen);
    EXPECT_EQ(r.audio, DvTapeAudio::Pcm32k12);
    EXPECT_FALSE(r.timecode);
    EXPECT_TRUE(r.recDate);
    const DvRecording& d = full->tape.recordings[1];
    EXPECT_FALSE(d.recDate);
    EXPECT_EQ(d.system, DvTapeSystem::Pal625); // omitted fields take their defaults
    EXPECT_FALSE(d.wideScreen);
    EXPECT_EQ(d.audio, DvTapeAudio::Pcm48k16);
    EXPECT_TRUE(d.timecode);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->file, "/tmp/t.dv");
    EXPECT_FALSE(r2);
    EXPECT_NE(badMode.find("mode=tape"), std::string::npos);
    EXPECT_FALSE(r3);
    EXPECT_NE(unknown.find("speed"), std::string::npos);
    EXPECT_FALSE(r4);
    EXPECT_FALSE(both.empty());
}

TEST(DvTapeScript, RefusesMalformedRecordings) {
    const char* bad[] = {"",
                         "20240502T100000",            // no length
                         "20240502T100000/0",          // empty recording
                         "20240502T100000/-5",         //
                         "20241302T100000/10",         // month 13
                         "2024-05-02 10:00:00/10",     // neither form
                         "20240502T100000/10/secam",   // unknown system
                         "20240502T100000/10/pal/5x4", // unknown aspect
                         "20240502T100000/10/pal/4x3/44k",
                         "20240502T100000/10/pal/4x3/48k/tc"};
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(ParseDvTapeScript(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(DvTapeScript, AScriptFileTakesOneRecordingPerLineWithCommentsAndColons) {
    // Setup
    testing::TempDir dir;
    const auto path = dir / "tape.txt";
    {
        std::ofstream out(path);
        out << "# holiday tape\n2023-12-31T23:59:50/300/pal/16x9\n\n20240101T000500/50/ntsc\n";
    }
    const auto list = ParseVirtualDeviceList("dv:tape=@" + path.string());
    std::string error;

    // Exercise
    const auto config = ParseDvCamcorderOptions(list.devices[0], error);
    std::string missing;
    const auto none = ParseDvCamcorderOptions(
        ParseVirtualDeviceList("dv:tape=@/nonexistent/x").devices[0], missing);

    // Verification
    ASSERT_TRUE(config) << error;
    ASSERT_EQ(config->tape.recordings.size(), 2u);
    EXPECT_DOUBLE_EQ(config->tape.recordings[0].start, EncodeDateTime(2023, 12, 31, 23, 59, 50, 0));
    EXPECT_TRUE(config->tape.recordings[0].wideScreen);
    EXPECT_EQ(config->tape.recordings[1].system, DvTapeSystem::Ntsc525);
    EXPECT_FALSE(none);
    EXPECT_NE(missing.find("/nonexistent/x"), std::string::npos);
}

} // namespace
} // namespace talvence
