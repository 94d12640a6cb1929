// talvence-cli with the virtual V4L2 devices: from the webcam the device's own stream in AVI, DV
// with inlay at the DV size, image by image; the analogue card's inputs listed and captured by
// name. ffprobe and ffmpeg are the oracles.

#include "tests/support/CliCapture.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

namespace talvence {
namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// The first video stream: codec, width, height, frame rate, frames read.
std::string ProbeVideo(const std::string& file) {
    return Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                 "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
                 file + "'");
}

class V4l2CaptureCliTest : public ::testing::Test {
protected:
    V4l2CaptureCliTest() {
        testing::TempStore::Write(store.UserHive(),
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                  "\"Video Date\"=dword:00000000\n"
                                  "\"Video Racine\"=\"Cam\"\n"
                                  "\"Ecouter Audio inclus\"=dword:00000000\n");
        folder = (store.Dir() / "videos").string();
    }
    // The output, the file written and the last count of frames captured.
    using Capture = testing::CliCapture;
    Capture Take(const std::string& devices, const std::string& format, const std::string& more,
                 const std::string& source = "Virtual Webcam") {
        Capture c;
        c.out = Shell("TALVENCE_VIRTUAL_DEVICES='" + devices +
                      "' QT_QPA_PLATFORM=offscreen timeout 120 " TALVENCE_CLI_PATH
                      " capture --source '" +
                      source + "' --format '" + format + "' --yes --folder '" + folder + "/" +
                      std::to_string(takes++) + "' " + more); // a folder each: names repeat
        return testing::ReadCliCapture(std::move(c.out));
    }
    testing::TempStore store;
    std::string folder;
    int takes = 0;
};

TEST_F(V4l2CaptureCliTest, NativeVideoKeepsTheDevicesStreamRateAndEveryFrame) {
    // Exercise
    const Capture mjpeg = Take("webcam", "Native Video", "--seconds 1");
    const Capture yuyv = Take("webcam:format=yuyv", "Native Video", "--seconds 1");

    // Verification
    ASSERT_FALSE(mjpeg.file.empty()) << mjpeg.out;
    ASSERT_FALSE(mjpeg.frames.empty()) << mjpeg.out;
    EXPECT_EQ(ProbeVideo(mjpeg.file), "mjpeg,640,480,30/1," + mjpeg.frames + "\n");
    ASSERT_FALSE(yuyv.file.empty()) << yuyv.out;
    EXPECT_EQ(ProbeVideo(yuyv.file), "rawvideo,640,480,30/1," + yuyv.frames + "\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_tag_string -of csv=p=0 '" +
                    yuyv.file + "'"),
              "YUY2\n");
}

TEST_F(V4l2CaptureCliTest, DvWithInlayAndImageByImageFromTheWebcam) {
    // Exercise
    const Capture dv = Take("webcam", "DV type 2 (with inlay)", "--seconds 1");
    const Capture images =
        Take("webcam:format=yuyv", "Image by Image", "--grab-every 0.3 --seconds 1");

    // Verification: DV at the PAL frame size; one image per grab, in the device's layout.
    ASSERT_FALSE(dv.file.empty()) << dv.out;
    EXPECT_EQ(ProbeVideo(dv.file).substr(0, 20), "dvvideo,720,576,25/1") << dv.out;
    ASSERT_FALSE(images.file.empty()) << images.out;
    ASSERT_FALSE(images.frames.empty()) << images.out;
    EXPECT_NE(images.frames, "0");
    EXPECT_EQ(ProbeVideo(images.file).rfind("rawvideo,640,480,"), 0u) << images.out;
    const std::string probed = ProbeVideo(images.file);
    EXPECT_EQ(probed.substr(probed.rfind(',') + 1), images.frames + "\n");
}

TEST_F(V4l2CaptureCliTest, TheAnalogueCardsInputsAreListedAndEachGivesItsOwnPicture) {
    // Exercise
    const std::string sources =
        Shell("TALVENCE_VIRTUAL_DEVICES=analog " TALVENCE_CLI_PATH " sources");
    const Capture composite =
        Take("analog", "Native Video", "--seconds 0.5 --input 'Video Composite'",
             "Virtual Analog Capture");
    const Capture svideo = Take("analog", "Native Video", "--seconds 0.5 --input 'Video SVideo'",
                                "Virtual Analog Capture");
    const Capture none = Take("analog", "Native Video", "--seconds 0.5 --input 'Video RGB'",
                              "Virtual Analog Capture");

    // Verification: the first pixel pair of the first frame: a white bar, a checkerboard square.
    EXPECT_NE(sources.find("video capture Virtual Analog Capture\n  input Video Tuner\n"
                           "  input Video Composite\n  input Video SVideo\n"),
              std::string::npos)
        << sources;
    auto firstPixels = [&](const std::string& file) {
        return Shell("ffmpeg -v error -i '" + file +
                     "' -frames:v 1 -f rawvideo - | head -c 4 | xxd -p");
    };
    ASSERT_FALSE(composite.file.empty()) << composite.out;
    EXPECT_EQ(ProbeVideo(composite.file).substr(0, 21), "rawvideo,720,576,25/1");
    EXPECT_EQ(firstPixels(composite.file), "b480b480\n");
    ASSERT_FALSE(svideo.file.empty()) << svideo.out;
    const std::string square = firstPixels(svideo.file);
    EXPECT_TRUE(square == "a22ca28e\n" || square == "23d42372\n") << square;
    EXPECT_NE(none.out.find("no input \"Video RGB\""), std::string::npos) << none.out;
}

} // namespace
} // namespace talvence
