// talvence-cli capture, run as a program against the virtual DV camcorder with a scratch store.

#include "tests/support/TempStore.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace talvence {
namespace {

struct Result {
    int status = -1;
    std::string out; // standard output and error together
};

// interruptAfter: seconds after which the program gets SIGINT (Ctrl+C); its own exit status is
// kept.
Result RunCapture(const std::string& devices, const std::string& arguments,
                  const std::string& interruptAfter = "") {
    const std::string timeout = interruptAfter.empty()
                                    ? std::string("timeout 120 ")
                                    : "timeout --preserve-status -s INT " + interruptAfter + " ";
    const std::string command = "TALVENCE_VIRTUAL_DEVICES='" + devices +
                                "' QT_QPA_PLATFORM=offscreen " + timeout +
                                TALVENCE_CLI_PATH " capture " + arguments + " 2>&1";
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int rc = pclose(pipe);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

std::string Probe(const std::string& file) {
    Result r;
    FILE* pipe = popen(("ffprobe -v error -count_frames -show_entries "
                        "stream=codec_type,nb_read_frames -of csv=p=0 '" +
                        file + "' 2>&1")
                           .c_str(),
                       "r");
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    pclose(pipe);
    return r.out;
}

std::vector<std::string> Written(const std::string& out) {
    std::vector<std::string> files;
    const std::regex line("wrote (.*)");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
         ++it)
        files.push_back((*it)[1]);
    return files;
}

class CaptureCliTest : public ::testing::Test {
protected:
    CaptureCliTest() {
        // Names without the date, so that a second run proposes the same file; the included
        // audio is not listened to, so that the tests stay silent on a machine with speakers.
        testing::TempStore::Write(store.UserHive(),
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                  "\"Video Date\"=dword:00000000\n"
                                  "\"Video Racine\"=\"Tape\"\n"
                                  "\"Ecouter Audio inclus\"=dword:00000000\n");
        folder = (store.Dir() / "videos").string();
    }
    testing::TempStore store;
    std::string folder;
};

TEST_F(CaptureCliTest, WrongOptionsAreUsageErrors) {
    // Exercise
    const Result unknown = RunCapture("dv:pace=fast", "--frobnicate");
    const Result both = RunCapture("dv:pace=fast", "--yes --no");
    const Result badNumber = RunCapture("dv:pace=fast", "--seconds soon");
    const Result grabWithoutImages =
        RunCapture("dv:pace=fast", "--format 1 --grab-every 1 --folder '" + folder + "'");
    const Result hugeIndex = RunCapture("dv:pace=fast", "--format 99999999999");
    const Result noFormat = RunCapture("dv:pace=fast", "--format 'DV type 3'");

    // Verification
    EXPECT_EQ(unknown.status, 2) << unknown.out;
    EXPECT_EQ(both.status, 2) << both.out;
    EXPECT_EQ(badNumber.status, 2) << badNumber.out;
    EXPECT_EQ(grabWithoutImages.status, 2) << grabWithoutImages.out;
    EXPECT_EQ(hugeIndex.status, 2) << hugeIndex.out;
    EXPECT_NE(hugeIndex.out.find("--format"), std::string::npos) << hugeIndex.out;
    EXPECT_EQ(noFormat.status, 2) << noFormat.out;
}

TEST_F(CaptureCliTest, ADamagedStoreIsToldInOneLineAtStart) {
    // Setup: a store cut inside its last value.
    testing::TempStore::Write(store.UserHive(),
                              "Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                              "\"Video Racine\"=\"Tape\"\n"
                              "\"Top\"=dword:0000");

    // Exercise: a run that ends right after the start.
    const Result result = RunCapture("dv:pace=fast", "--source nothing");

    // Verification
    const std::regex told("capture: The preferences store is damaged: .*\\.bad\\. These values "
                          "fell back to their defaults: \"Top\", \"Left\".*\n");
    EXPECT_TRUE(std::regex_search(result.out, told)) << result.out;
    EXPECT_EQ(result.out.find("\"Video Racine\""), std::string::npos) << result.out;
}

TEST_F(CaptureCliTest, PlayedTapeIsCapturedToItsEndWithItsSceneFile) {
    // Exercise
    const Result r = RunCapture(
        "dv:pace=fast:mode=vcr:tape=20240101T100000/12;20240101T130000/8",
        "--format 'DV type 1 (no inlay)' --scn --play --seconds 60 --folder '" + folder + "'");

    // Verification
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("the source ended"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames 20 lost 0"), std::string::npos) << r.out;
    const auto files = Written(r.out);
    ASSERT_EQ(files.size(), 2u) << r.out;
    EXPECT_EQ(files[0], folder + "/Tape_0.avi");
    EXPECT_EQ(files[1], folder + "/Tape_0.scn");
    EXPECT_EQ(Probe(files[0]).substr(0, 9), "video,20\n");
}

TEST_F(CaptureCliTest, CtrlCEndsTheCaptureAndFinishesTheFile) {
    // Exercise
    const Result r = RunCapture("dv", "--format 1 --folder '" + folder + "'", "1.5");

    // Verification
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("interrupted"), std::string::npos) << r.out;
    const auto files = Written(r.out);
    ASSERT_EQ(files.size(), 1u) << r.out;
    EXPECT_EQ(Probe(files[0]).rfind("video,", 0), 0u);
}

TEST_F(CaptureCliTest, AnUnpluggedCamcorderEndsTheCaptureWithACompleteFile) {
    const Result r = RunCapture("dv:unplug=40", "--format 2 --seconds 20 --folder '" + folder + "'");

    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("the video source was lost"), std::string::npos) << r.out;
    const auto files = Written(r.out);
    ASSERT_EQ(files.size(), 1u) << r.out;
    EXPECT_EQ(Probe(files[0]).rfind("video,", 0), 0u);
}

TEST_F(CaptureCliTest, TheSceneFileEndsAtTheLastFrameOfTheInlaidVideo) {
    // Exercise: the inlay re-encode lags behind the scene detector when the capture stops.
    const Result r =
        RunCapture("dv", "--format 'DV type 2 (with inlay)' --scn --inlay --seconds 2 --folder '" +
                             folder + "'");

    // Verification: the last scene's last frame is the video's last frame.
    ASSERT_EQ(r.status, 0) << r.out;
    const auto files = Written(r.out);
    ASSERT_EQ(files.size(), 2u) << r.out;
    const std::string listing =
        testing::RunTool(TALVENCE_CLI_PATH " scn " + testing::Quote(files[1])).out;
    const std::regex scene("start=(\\d+) frames=(\\d+)");
    std::smatch last;
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), scene);
         it != std::sregex_iterator(); ++it)
        last = *it;
    ASSERT_FALSE(last.empty()) << listing;
    const long lastFrame = std::stol(last[1]) + std::stol(last[2]) - 1;
    EXPECT_EQ(Probe(files[0]).substr(0, 6 + std::to_string(lastFrame).size() + 1),
              "video," + std::to_string(lastFrame) + "\n");
}

TEST_F(CaptureCliTest, AFileThatCannotBeMadeIsNamedWithItsReasonAndLeavesNoSceneFile) {
    // Setup: a folder where the video file would be.
    std::filesystem::create_directories(folder + "/Tape_0.avi");

    // Exercise
    const Result r = RunCapture("dv:pace=fast", "--format 2 --scn --yes --folder '" + folder + "'");

    // Verification
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("the capture did not start: Cannot create the file \"" + folder +
                         "/Tape_0.avi\": Is a directory"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder + "/Tape_0.scn"));
}

TEST_F(CaptureCliTest, RefusesToOverwriteWithoutYes) {
    // Setup
    std::filesystem::create_directories(folder);
    testing::TempStore::Write(folder + "/Tape_0.avi", "keep me");

    // Exercise
    const Result refused =
        RunCapture("dv:pace=fast", "--format 2 --seconds 0.5 --folder '" + folder + "'");
    const std::string kept = testing::TempStore::Read(folder + "/Tape_0.avi");
    const Result allowed =
        RunCapture("dv:pace=fast", "--format 2 --seconds 0.5 --yes --folder '" + folder + "'");

    // Verification
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_EQ(kept, "keep me");
    ASSERT_EQ(allowed.status, 0) << allowed.out;
    EXPECT_EQ(Written(allowed.out), std::vector<std::string>{folder + "/Tape_0.avi"});
    EXPECT_NE(Probe(folder + "/Tape_0.avi").find("video,"), std::string::npos);
}

TEST_F(CaptureCliTest, ImageByImageGrabsAndCutsEachGiveCompleteFiles) {
    // Exercise
    const Result images = RunCapture("dv:pace=fast", "--format 'Image by Image' --grab-every 0.3 "
                                                     "--seconds 1 --folder '" +
                                                         folder + "'");
    const Result cut = RunCapture("dv:pace=fast", "--format 2 --cut-every 0.4 --seconds 1 --yes "
                                                  "--folder '" +
                                                      folder + "/cut'");

    // Verification: the last progress line counts the grabs the file holds.
    ASSERT_EQ(images.status, 0) << images.out;
    const std::regex frames("frames (\\d+)");
    std::string last;
    for (auto it = std::sregex_iterator(images.out.begin(), images.out.end(), frames);
         it != std::sregex_iterator(); ++it)
        last = (*it)[1];
    ASSERT_FALSE(last.empty());
    const auto imageFiles = Written(images.out);
    ASSERT_EQ(imageFiles.size(), 1u) << images.out;
    EXPECT_EQ(Probe(imageFiles[0]).substr(0, 6 + last.size() + 1), "video," + last + "\n");

    ASSERT_EQ(cut.status, 0) << cut.out;
    const auto cutFiles = Written(cut.out);
    ASSERT_GE(cutFiles.size(), 2u) << cut.out;
    // Each file written is named once, in the order of the cuts.
    for (std::size_t i = 0; i < cutFiles.size(); ++i)
        EXPECT_EQ(cutFiles[i], folder + "/cut/Tape_" + std::to_string(i) + ".avi") << cut.out;
    for (const std::string& file : cutFiles)
        EXPECT_NE(Probe(file).find("audio,"), std::string::npos) << file;
}

} // namespace
} // namespace talvence
