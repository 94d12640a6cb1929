// talvence-cli capture ended the hard ways, against the virtual DV camcorder at real-time pace:
// read while it runs, killed with SIGKILL, ended by SIGTERM or SIGHUP. A reader that trusts the
// header and index must find every frame but the last second's without a repair.

#include "platform/media/filters/avi/AviFileWriter.h"
#include "postproc/AviRepair.h"
#include "postproc/ecrire_scnUnit.h"
#include "tests/support/AviWriterTestSupport.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace talvence::testing;

class CaptureCrashCliTest : public ::testing::Test {
protected:
    CaptureCrashCliTest() {
        TempStore::Write(store.UserHive(), "Windows Registry Editor Version 5.00\n\n"
                                           "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                           "\"Video Date\"=dword:00000000\n"
                                           "\"Video Racine\"=\"Tape\"\n"
                                           "\"Ecouter Audio inclus\"=dword:00000000\n");
        folder = store.Dir() / "videos";
        file = folder / "Tape_0.avi";
    }

    // The tool as a shell command line, its output and exit status; `then` runs beside it (the
    // tool's pid is $!).
    ToolRun run(const std::string& arguments, const std::string& then = "") const {
        const std::string tool = "TALVENCE_VIRTUAL_DEVICES=dv QT_QPA_PLATFORM=offscreen " +
                                 std::string(TALVENCE_CLI_PATH) + " " + arguments;
        if (then.empty()) return RunTool(tool + " 2>&1");
        const auto log = store.Dir() / "tool.log";
        const ToolRun r = RunTool("(" + tool + " >" + Quote(log) + " 2>&1 & pid=$!; " + then +
                                  "; wait $pid 2>/dev/null; echo $?)");
        return {std::atoi(r.out.c_str()), TempStore::Read(log)};
    }

    static std::vector<std::uint64_t> OnDisk(const Bytes& bytes) {
        MemoryAviSource source(bytes);
        return ScanAviChunks(source).chunksPerStream();
    }

    // Every frame but the last second's is found through the header (25 frames a second, and
    // one more second while that checkpoint's header is being written).
    static void expectReadableUpToTheLastSecond(const std::filesystem::path& path) {
        const Bytes bytes = ReadBytes(path);
        const auto indexed = IndexedChunkCounts(bytes);
        const auto onDisk = OnDisk(bytes);
        ASSERT_TRUE(indexed.has_value()) << path;
        ASSERT_FALSE(onDisk.empty());
        EXPECT_GE(indexed->at(0), 25u) << path;
        EXPECT_LT(onDisk[0] - indexed->at(0), 50u) << path;
        const ToolRun probe = RunTool("ffprobe -v error -select_streams v:0 -count_packets "
                                      "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                      Quote(path));
        EXPECT_GE(std::stoul("0" + probe.out), indexed->at(0)) << probe.out;
    }

    TempStore store;
    std::filesystem::path folder;
    std::filesystem::path file;
};

TEST_F(CaptureCrashCliTest, TheFileIsReadableWhileTheCaptureRuns) {
    // Exercise: a copy at 3 s, as a crash then would leave the file.
    const auto copy = store.Dir() / "copy.avi";
    const ToolRun r =
        run("capture --format 'DV type 1 (no inlay)' --seconds 4 --folder " + Quote(folder),
            "sleep 3; cp " + Quote(file) + " " + Quote(copy));

    // Verification
    EXPECT_EQ(r.status, 0) << r.out;
    expectReadableUpToTheLastSecond(copy);
    const auto onDisk = OnDisk(ReadBytes(file));
    EXPECT_EQ(IndexedChunkCounts(ReadBytes(file)),
              std::vector<std::size_t>(onDisk.begin(), onDisk.end()));
}

TEST_F(CaptureCrashCliTest, AKilledCaptureIsReadableAndRepairKeepsEveryWholeFrame) {
    // Exercise
    const auto killed = store.Dir() / "killed.avi";
    run("capture --format 'DV type 2 (with inlay)' --scn --folder " + Quote(folder),
        "sleep 4; kill -KILL $pid");
    std::filesystem::copy_file(file, killed);
    const bool marked = std::filesystem::exists(AviUnfinishedMarker(file));
    const ToolRun repaired = run("repair " + Quote(file));
    const Bytes repairedBytes = ReadBytes(file);
    std::filesystem::path sceneFile = file;
    const ScnContents scenes = ScnRead(sceneFile.replace_extension(".scn"));
    const ToolRun next = run(
        "capture --format 'DV type 1 (no inlay)' --seconds 0.3 --yes --folder " + Quote(folder));

    // Verification
    expectReadableUpToTheLastSecond(killed);
    EXPECT_TRUE(marked);
    const auto onDisk = OnDisk(ReadBytes(killed));
    ASSERT_EQ(repaired.status, 0) << repaired.out;
    EXPECT_NE(repaired.out.find("kept " + std::to_string(onDisk[0]) + " frames"), std::string::npos)
        << repaired.out;
    EXPECT_EQ(IndexedChunkCounts(repairedBytes),
              std::vector<std::size_t>(onDisk.begin(), onDisk.end()));
    // The scene file, whose final scene the crash never wrote, ends at the last frame.
    ASSERT_FALSE(scenes.scenes.empty()) << scenes.error;
    EXPECT_EQ(scenes.scenes.back().start + scenes.scenes.back().frames - 1, onDisk[0]);
    // The capture at the next start found the marker, repaired again and removed it.
    EXPECT_NE(next.out.find("the unfinished capture " + file.string() + " was repaired"),
              std::string::npos)
        << next.out;
    EXPECT_FALSE(std::filesystem::exists(AviUnfinishedMarker(file)));
}

TEST_F(CaptureCrashCliTest, TermAndHangUpFinishTheFileAndSayWhyInTheExitCode) {
    for (const auto& [signal, code, ending] :
         {std::tuple{"TERM", "143", "terminated (SIGTERM)"}, {"HUP", "129", "hung up (SIGHUP)"}}) {
        // Exercise
        const ToolRun r =
            run("capture --format 'DV type 1 (no inlay)' --yes --folder " + Quote(folder),
                std::string("sleep 2; kill -") + signal + " $pid");

        // Verification
        EXPECT_EQ(std::to_string(r.status), code) << signal;
        EXPECT_NE(r.out.find(ending), std::string::npos) << r.out;
        const Bytes bytes = ReadBytes(file);
        const auto onDisk = OnDisk(bytes);
        EXPECT_EQ(IndexedChunkCounts(bytes),
                  std::vector<std::size_t>(onDisk.begin(), onDisk.end()));
        EXPECT_FALSE(std::filesystem::exists(AviUnfinishedMarker(file)));
    }
}

} // namespace
} // namespace talvence
