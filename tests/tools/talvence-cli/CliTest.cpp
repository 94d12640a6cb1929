// talvence-cli: the dispatcher, the post-processing commands, and the
// program itself run once end to end.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "postproc/ecrire_scnUnit.h"
#include "tests/support/AviTestFiles.h"
#include "tools/talvence-cli/CommandTable.h"
#include "tools/talvence-cli/DvCommands.h"
#include "tools/talvence-cli/PostprocCommands.h"

namespace talvence::cli {
namespace {

using namespace talvence::testing;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

Output Dispatch(const CommandTable& table, std::vector<std::string> args) {
    std::ostringstream out, err;
    Output result;
    result.status = table.run(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

Bytes SmallAvi() {
    return List("RIFF", "AVI ",
                {List("LIST", "hdrl",
                      {Leaf("avih", Bytes(56, 0)), List("LIST", "strl", {Strh("vids", "MRKV")})}),
                 List("LIST", "movi", {Leaf("00dc", Bytes(100, 0))})});
}

class CliTest : public ::testing::Test {
protected:
    CliTest() { AddPostprocCommands(table_, walker_); }

    TempDir dir_;
    AviWalker walker_;
    CommandTable table_{"talvence-cli"};
};

TEST_F(CliTest, DispatchesByNameAndExplainsItself) {
    // Exercise
    const Output none = Dispatch(table_, {});
    const Output help = Dispatch(table_, {"help"});
    const Output helpSetFps = Dispatch(table_, {"help", "setfps"});
    const Output unknown = Dispatch(table_, {"capture-everything"});
    const Output badArgs = Dispatch(table_, {"setfps", "only-a-file"});

    // Verification
    EXPECT_EQ(none.status, kExitUsage);
    EXPECT_NE(none.out.find("setfps FILE FPS"), std::string::npos);
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("scn FILE"), std::string::npos);
    EXPECT_EQ(helpSetFps.out.rfind("usage: talvence-cli setfps FILE FPS\n", 0), 0u);
    EXPECT_EQ(unknown.status, kExitUsage);
    EXPECT_NE(unknown.err.find("unknown command \"capture-everything\""), std::string::npos);
    EXPECT_EQ(badArgs.status, kExitUsage);
    EXPECT_THROW(table_.add({"scn", "", "", nullptr}), std::logic_error);
}

TEST_F(CliTest, SetFpsPrintsWhatItWroteOrWhyNot) {
    // Setup
    const std::string avi = (dir_ / "clip.avi").string();
    const Bytes before = SmallAvi();
    WriteBytes(avi, before);
    const std::string pos = std::to_string(ScaleFieldOf(before, "MRKV"));

    // Exercise
    const Output written = Dispatch(table_, {"setfps", avi, "30"});
    const Output zero = Dispatch(table_, {"setfps", avi, "0"});
    const Output notANumber = Dispatch(table_, {"setfps", avi, "25fps"});
    const Output noFile = Dispatch(table_, {"setfps", (dir_ / "absent.avi").string(), "25"});

    // Verification
    EXPECT_EQ(written.status, kExitOk);
    EXPECT_EQ(written.out, avi + ": dwScale 33333, dwRate 1000000 written at offset " + pos + "\n");
    EXPECT_EQ(zero.status, kExitFailed);
    EXPECT_NE(zero.err.find("nothing written"), std::string::npos);
    EXPECT_EQ(notANumber.status, kExitUsage);
    EXPECT_EQ(noFile.status, kExitFailed);
    EXPECT_NE(noFile.err.find("no video stream header found"), std::string::npos);
}

TEST_F(CliTest, ScnListsTheScenesAndFlagsDamage) {
    // Setup
    const std::string scn = (dir_ / "clip.scn").string();
    ScnWriter writer;
    ASSERT_TRUE(writer.create(scn));
    DvFrameInfo a, b, c;
    a.frameCount = 1;
    b.frameCount = 100;
    c.frameCount = 130;
    writer.appendScene(a, b);
    writer.appendScene(b, c);
    Bytes cut = ReadBytes(scn);
    cut.resize(cut.size() - 1);
    WriteBytes(dir_ / "cut.scn", cut);

    // Exercise
    const Output listed = Dispatch(table_, {"scn", scn});
    const Output damaged = Dispatch(table_, {"scn", (dir_ / "cut.scn").string()});

    // Verification
    EXPECT_EQ(listed.status, kExitOk);
    EXPECT_EQ(listed.out, "path: " + scn +
                              "\ncount: 2\nscene 1 start=1 frames=100\n"
                              "scene 2 start=101 frames=30\n");
    EXPECT_EQ(damaged.status, kExitFailed);
    EXPECT_EQ(damaged.out, "path: " + scn + "\ncount: 2\nscene 1 start=1 frames=100\n");
    EXPECT_NE(damaged.err.find("damaged entry of scene 2"), std::string::npos);
}

TEST_F(CliTest, FilesThatAreNotRegularAreRefusedAtOnce) {
    // Setup: nothing ever writes into the FIFO; /dev/zero never ends.
    const std::string fifo = (dir_ / "clip.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    // Exercise
    const Output setFps = Dispatch(table_, {"setfps", fifo, "25"});
    const Output scnFifo = Dispatch(table_, {"scn", fifo});
    const Output scnFolder = Dispatch(table_, {"scn", dir_.path().string()});
    std::ostringstream out, dvErr;
    const std::vector<std::string> zero = {"/dev/zero"};
    const int dvStatus = RunDvInfo(zero, out, dvErr);

    // Verification
    EXPECT_EQ(setFps.status, kExitFailed);
    EXPECT_NE(setFps.err.find("nothing written: not a regular file"), std::string::npos);
    EXPECT_NE(scnFifo.err.find("not a regular file (a FIFO)"), std::string::npos);
    EXPECT_NE(scnFolder.err.find("not a regular file (a directory)"), std::string::npos);
    EXPECT_EQ(dvStatus, kExitFailed);
    EXPECT_EQ(dvErr.str(), "/dev/zero: cannot open the file: not a regular file (a device)\n");
}

TEST_F(CliTest, ProgramRunsTheCommands) {
    // Setup
    const auto avi = dir_ / "clip.avi";
    WriteBytes(avi, SmallAvi());

    // Exercise
    const ToolRun setfps =
        RunTool(std::string(TALVENCE_CLI_PATH) + " setfps " + Quote(avi) + " 25");
    const ToolRun usage = RunTool(std::string(TALVENCE_CLI_PATH) + " 2>/dev/null");

    // Verification
    EXPECT_EQ(setfps.status, 0);
    EXPECT_NE(setfps.out.find("dwScale 40000, dwRate 1000000"), std::string::npos);
    EXPECT_EQ(RateFieldsAt(ReadBytes(avi), ScaleFieldOf(SmallAvi(), "MRKV")),
              std::make_pair(40000u, 1000000u));
    EXPECT_EQ(usage.status, kExitUsage);
    EXPECT_NE(usage.out.find("usage: talvence-cli COMMAND"), std::string::npos);
}

} // namespace
} // namespace talvence::cli
