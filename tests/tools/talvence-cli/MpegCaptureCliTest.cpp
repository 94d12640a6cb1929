// talvence-cli with the virtual MPEG-2 encoder box: "Native Video" writes the program stream
// exactly as the device delivered it, "DV type 2 (with inlay)" decodes, inlays and encodes it
// to DV with the box's sound at the DV recording rate, "Image by Image" keeps a DV frame per
// grab; with either numbering of the stream ids. ffprobe is the oracle.

#include "platform/devices/virtual/MpegBoxStream.h"
#include "tests/support/CliCapture.h"
#include "tests/support/TempStore.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace talvence {
namespace {

// The first stream of the kind ("v" or "a"): codec, then width, height and frames read for
// pictures, the rate for sound.
std::string Probe(const std::string& file, const std::string& kind) {
    return testing::RunTool("ffprobe -v quiet -count_frames -select_streams " + kind +
                            ":0 -show_entries stream=codec_name," +
                            (kind == "v" ? "width,height,nb_read_frames" : "sample_rate") +
                            " -of csv=p=0 " + testing::Quote(file))
        .out;
}

class MpegCaptureCliTest : public ::testing::Test {
protected:
    MpegCaptureCliTest() {
        testing::TempStore::Write(store.UserHive(),
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                  "\"Video Date\"=dword:00000000\n"
                                  "\"Video Racine\"=\"Box\"\n"
                                  "\"Audio Type\"=\"Audio from the MPEG2 stream\"\n"
                                  "\"Ecouter Audio inclus\"=dword:00000001\n"
                                  "\"FrequenceDV\"=dword:00000001\n");
        folder = (store.Dir() / "videos").string();
    }
    using Capture = testing::CliCapture;
    Capture Take(const std::string& devices, const std::string& format, const std::string& more) {
        Capture c;
        c.out = testing::RunTool("TALVENCE_VIRTUAL_DEVICES='" + devices +
                                 "' QT_QPA_PLATFORM=offscreen timeout 120 " TALVENCE_CLI_PATH
                                 " capture --source 'Virtual MPEG-2 Encoder' --format '" +
                                 format + "' --yes --folder '" + folder + "/" +
                                 std::to_string(takes++) + "' " + more + " 2>&1")
                    .out;
        return testing::ReadCliCapture(std::move(c.out));
    }
    testing::TempStore store;
    std::string folder;
    int takes = 0;
};

// "Native Video" from the box: the file is the stream a fresh box hands over, whole pieces of
// it, and ffprobe reads its MPEG-2 video and MPEG audio.
void ExpectTheDevicesStream(const testing::CliCapture& native) {
    ASSERT_FALSE(native.file.empty()) << native.out;
    const testing::Bytes file = testing::ReadBytes(native.file);
    ASSERT_GT(file.size(), 20000u);
    TMpegBoxStream box;
    testing::Bytes delivered;
    while (delivered.size() < file.size()) {
        const std::vector<std::uint8_t> chunk = box.NextChunk();
        delivered.insert(delivered.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(delivered.size(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), delivered.begin()));
    EXPECT_EQ(Probe(native.file, "v").substr(0, 19), "mpeg2video,720,576,");
    EXPECT_EQ(Probe(native.file, "a").substr(0, 10), "mp2,48000\n");
}

TEST_F(MpegCaptureCliTest, NativeVideoIsTheDevicesProgramStreamByteForByte) {
    ExpectTheDevicesStream(Take("mpeg2", "Native Video", "--seconds 2"));
}

// A box without streaming I/O is read with read(): the same stream, in the pieces reads give.
TEST_F(MpegCaptureCliTest, ABoxReadWithReadGivesTheSameStream) {
    ExpectTheDevicesStream(Take("mpeg2:io=read", "Native Video", "--seconds 2"));
}

TEST_F(MpegCaptureCliTest, DvWithInlayAndImagesFromEitherNumbering) {
    // Exercise
    const Capture dv = Take("mpeg2:ids=e1", "DV type 2 (with inlay)", "--seconds 2 --inlay");
    const Capture images = Take("mpeg2", "Image by Image", "--grab-every 0.4 --seconds 2");
    // Verification: DV pictures of the decoded stream, the sound resampled to 32 kHz
    // ("FrequenceDV" 1); one DV frame per grab.
    ASSERT_FALSE(dv.file.empty()) << dv.out;
    const std::string video = Probe(dv.file, "v");
    EXPECT_EQ(video.substr(0, 16), "dvvideo,720,576,") << dv.out;
    EXPECT_GT(std::stoi(video.substr(video.rfind(',') + 1)), 20);
    EXPECT_EQ(Probe(dv.file, "a").substr(0, 16), "pcm_s16le,32000\n") << dv.out;
    ASSERT_FALSE(images.file.empty()) << images.out;
    ASSERT_FALSE(images.frames.empty()) << images.out;
    const std::string frames = Probe(images.file, "v");
    EXPECT_EQ(frames.substr(0, 16), "dvvideo,720,576,") << images.out;
    // The last shot may still be on its way when the capture stops.
    const int kept = std::stoi(frames.substr(frames.rfind(',') + 1));
    EXPECT_GE(kept, 3);
    EXPECT_LE(kept, std::stoi(images.frames));
}

TEST_F(MpegCaptureCliTest, WindowsMediaWithTheBoxsSound) {
    // Exercise
    const Capture wmv = Take("mpeg2", "Wmv (with inlay)", "--seconds 2 --inlay");
    // Verification: the decoded pictures and the box's decoded sound, both re-encoded.
    ASSERT_FALSE(wmv.file.empty()) << wmv.out;
    const std::string video = Probe(wmv.file, "v");
    EXPECT_EQ(video.substr(0, 5), "wmv2,") << wmv.out;
    EXPECT_GT(std::stoi(video.substr(video.rfind(',') + 1)), 20);
    EXPECT_EQ(Probe(wmv.file, "a").substr(0, 6), "wmav2,") << wmv.out;
}

} // namespace
} // namespace talvence
