// talvence-cli with the virtual MovieBox, whose graph is replaced at every stop: a "Native Video"
// capture cut while it runs goes on through each replacement, every file holding the device's
// stream byte for byte from its start; "DV type 2 (with inlay)" carries the box's sound at the DV
// recording rate; with "Utiliser Cirrus" and no Cirrus splitter the source is refused with its
// message. ffprobe is the oracle.

#include "platform/devices/virtual/MpegBoxStream.h"
#include "resources/Strings.h"
#include "tests/support/CliCapture.h"
#include "tests/support/TempStore.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace talvence {
namespace {

// The first stream of the kind ("v" or "a"): codec, then width and height for pictures, the
// rate for sound.
std::string Probe(const std::string& file, const std::string& kind) {
    return testing::RunTool("ffprobe -v quiet -select_streams " + kind +
                            ":0 -show_entries stream=codec_name," +
                            (kind == "v" ? "width,height" : "sample_rate") + " -of csv=p=0 " +
                            testing::Quote(file))
        .out;
}

class MovieBoxCaptureCliTest : public ::testing::Test {
protected:
    MovieBoxCaptureCliTest() { folder = (store.Dir() / "videos").string(); }
    void Store(bool useCirrus) {
        testing::TempStore::Write(store.UserHive(),
                                  std::string("Windows Registry Editor Version 5.00\n\n"
                                              "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                              "\"Video Date\"=dword:00000000\n"
                                              "\"Video Racine\"=\"Box\"\n"
                                              "\"Audio Type\"=\"Audio from the MovieBox\"\n"
                                              "\"Ecouter Audio inclus\"=dword:00000001\n"
                                              "\"FrequenceDV\"=dword:00000001\n"
                                              "\"Utiliser Cirrus\"=dword:0000000") +
                                      (useCirrus ? "1" : "0") + "\n");
    }
    std::string Take(const std::string& devices, const std::string& format,
                     const std::string& more) {
        return testing::RunTool("TALVENCE_VIRTUAL_DEVICES='" + devices +
                                "' QT_QPA_PLATFORM=offscreen timeout 120 " TALVENCE_CLI_PATH
                                " capture --source 'Virtual MovieBox' --format '" +
                                format + "' --yes --folder '" + folder + "/" +
                                std::to_string(takes++) + "' " + more + " 2>&1")
            .out;
    }
    testing::TempStore store;
    std::string folder;
    int takes = 0;
};

TEST_F(MovieBoxCaptureCliTest, NativeCaptureGoesOnThroughEveryReplacedGraph) {
    // Setup
    Store(false);
    // Exercise: each cut stops the graph, which replaces it; the capture starts again.
    const std::string out = Take("moviebox", "Native Video", "--seconds 3.5 --cut-every 1.2");
    // Verification: three whole files, each the stream a fresh box hands over.
    std::vector<std::string> files;
    const std::regex wrote("wrote (.*\\.mpg)");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), wrote);
         it != std::sregex_iterator(); ++it)
        files.push_back((*it)[1]);
    ASSERT_EQ(files.size(), 3u) << out;
    for (const std::string& name : files) {
        const testing::Bytes file = testing::ReadBytes(name);
        ASSERT_GT(file.size(), 20000u) << name;
        TMpegBoxStream box;
        testing::Bytes delivered;
        while (delivered.size() < file.size()) {
            const std::vector<std::uint8_t> chunk = box.NextChunk();
            delivered.insert(delivered.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(delivered.size(), file.size()) << name;
        EXPECT_TRUE(std::equal(file.begin(), file.end(), delivered.begin())) << name;
        EXPECT_EQ(Probe(name, "v").substr(0, 19), "mpeg2video,720,576,") << name;
        EXPECT_EQ(Probe(name, "a").substr(0, 10), "mp2,48000\n") << name;
    }
}

TEST_F(MovieBoxCaptureCliTest, DvWithInlayCarriesTheBoxsSoundAtTheDvRate) {
    // Setup
    Store(true);
    // Exercise
    const testing::CliCapture dv = testing::ReadCliCapture(
        Take("moviebox:ids=e1", "DV type 2 (with inlay)", "--seconds 2 --inlay"));
    // Verification: DV pictures of the decoded stream, the sound resampled to 32 kHz.
    ASSERT_FALSE(dv.file.empty()) << dv.out;
    EXPECT_EQ(Probe(dv.file, "v"), "dvvideo,720,576\n") << dv.out;
    EXPECT_EQ(Probe(dv.file, "a"), "pcm_s16le,32000\n") << dv.out;
}

TEST_F(MovieBoxCaptureCliTest, WithoutTheChosenDemultiplexerTheSourceIsRefused) {
    // Setup: "Utiliser Cirrus" true, and only the MovieBox's own demultiplexer installed.
    Store(true);
    // Exercise
    const std::string out = Take("moviebox:demux=mbx", "Native Video", "--seconds 1");
    // Verification: the Cirrus message on its two lines, and no capture.
    EXPECT_NE(out.find(std::string(strings::kCirrusSplitterMissing[0]) + "\n" +
                       strings::kCirrusSplitterMissing[1]),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("wrote "), std::string::npos) << out;
}

} // namespace
} // namespace talvence
