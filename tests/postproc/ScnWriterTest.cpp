// The scene file: its bytes for the usual captures, its limits, its
// behaviour when the file goes away or a write fails, and reading it back.

#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "postproc/ecrire_scnUnit.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

using namespace talvence::testing;

// The layout written out by hand, independently of the writer's tables.
Bytes ExpectedHeader(const std::string& p, std::uint16_t count) {
    Bytes out = {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00,
                 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00};
    for (char c : std::string("SourceTape"))
        out.push_back(std::uint8_t(c));
    out.push_back(std::uint8_t(p.size()));
    out.insert(out.end(), p.begin(), p.end());
    out.insert(out.end(), 8, 0);
    out.push_back(std::uint8_t(count));
    out.push_back(std::uint8_t(count >> 8));
    const Bytes tail = {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C',  'l',  'i',  'p',
                        'P',  0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00,
                        'S',  'c',  'e',  'n',  'e',  0x00, 0x00, 0x00, 0x00, 0x00};
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

Bytes ExpectedFirst(const std::string& p, std::uint32_t e) {
    return Cat({Le32(e), Bytes{0, 0, 0, 0, 0x01, 0x80}, Bytes{std::uint8_t(p.size())},
                Bytes(p.begin(), p.end()), Bytes(8, 0), Le32(e)});
}

Bytes ExpectedLater(std::uint32_t s, std::uint32_t n) {
    return Cat({Bytes{0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00}, Le32(s), Le32(n),
                Bytes{0, 0, 0, 0, 0x07, 0x00}, Le32(s), Le32(n), Le32(s)});
}

DvFrameInfo Frame(std::uint32_t frameCount) {
    DvFrameInfo info;
    info.frameCount = frameCount;
    return info;
}

TEST(ScnLayout, HeaderOfAThirteenBytePathIs78BytesWithTheCountAt46) {
    // Setup
    const std::string p = "C:\\v\\clip.scn";

    // Exercise
    const Bytes header = ScnHeaderBytes(p, 0);

    // Verification
    EXPECT_EQ(header.size(), 78u);
    EXPECT_EQ(ScnCountPos(p), 46u);
    EXPECT_EQ(header, ExpectedHeader(p, 0));
    EXPECT_EQ(ScnFirstSceneBytes(p, 251), ExpectedFirst(p, 251));
    EXPECT_EQ(ScnFirstSceneBytes(p, 251).size(), 23u + 13u);
    EXPECT_EQ(ScnLaterSceneBytes(101, 150), ExpectedLater(101, 150));
}

class ScnWriterTest : public ::testing::Test {
protected:
    std::string path() const { return (dir_ / "clip.scn").string(); }
    Bytes file() const { return ReadBytes(path()); }

    TempDir dir_;
    ScnWriter writer_;
};

TEST_F(ScnWriterTest, OneSceneEndingAtStop) {
    // Setup: 250 frames; the first frame's record already counts 1.
    ASSERT_TRUE(writer_.create(path()));

    // Exercise
    writer_.appendScene(Frame(1), Frame(250));

    // Verification
    EXPECT_EQ(file(), Cat({ExpectedHeader(path(), 1), ExpectedFirst(path(), 251)}));
}

TEST_F(ScnWriterTest, ThreeScenesThenReadBack) {
    // Setup: cuts at frame indexes 100 and 250, stop after 400 frames.
    ASSERT_TRUE(writer_.create(path()));

    // Exercise
    writer_.appendScene(Frame(1), Frame(100));
    writer_.appendScene(Frame(100), Frame(250));
    writer_.appendScene(Frame(250), Frame(400));
    const ScnContents read = ScnRead(path());

    // Verification
    EXPECT_EQ(file(), Cat({ExpectedHeader(path(), 3), ExpectedFirst(path(), 101),
                           ExpectedLater(101, 150), ExpectedLater(251, 150)}));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.path, path());
    EXPECT_EQ(read.count, 3);
    ASSERT_EQ(read.scenes.size(), 3u);
    EXPECT_EQ(read.scenes[0].start, 1u);
    EXPECT_EQ(read.scenes[0].frames, 100u);
    EXPECT_EQ(read.scenes[1].start, 101u);
    EXPECT_EQ(read.scenes[2].start, 251u);
    EXPECT_EQ(read.scenes[2].frames, 150u);
}

TEST_F(ScnWriterTest, TwoCutsInOneFrameAndAStopBeforeAnyFrame) {
    // Setup
    ASSERT_TRUE(writer_.create(path()));
    ScnWriter second;
    const std::string emptyPath = (dir_ / "empty.scn").string();
    ASSERT_TRUE(second.create(emptyPath));

    // Exercise
    writer_.appendScene(Frame(1), Frame(40));
    writer_.appendScene(Frame(40), Frame(40));
    second.appendScene(Frame(0), Frame(0));

    // Verification
    EXPECT_EQ(file(),
              Cat({ExpectedHeader(path(), 2), ExpectedFirst(path(), 41), ExpectedLater(41, 0)}));
    EXPECT_EQ(ReadBytes(emptyPath),
              Cat({ExpectedHeader(emptyPath, 1), ExpectedFirst(emptyPath, 1)}));
}

TEST_F(ScnWriterTest, EachRunEndsAtTheFramesItsFileReceived) {
    // Setup: a run whose detector counted 400 frames, cut twice; a file that got none.
    ASSERT_TRUE(writer_.create(path()));
    writer_.appendScene(Frame(1), Frame(100));
    writer_.appendScene(Frame(100), Frame(250));
    writer_.appendScene(Frame(250), Frame(400));
    ScnWriter early, empty;
    const std::string earlyPath = (dir_ / "early.scn").string();
    const std::string emptyPath = (dir_ / "empty.scn").string();
    ASSERT_TRUE(early.create(earlyPath));
    early.appendScene(Frame(1), Frame(100));
    early.appendScene(Frame(100), Frame(250));
    ASSERT_TRUE(empty.create(emptyPath));
    empty.appendScene(Frame(0), Frame(0));

    // Exercise: the files got 398, 90 and 0 frames; then a second run of the first capture
    // (cut into a new video file) counts 30 frames where its file got 28.
    writer_.endRun(398);
    early.endRun(90);
    empty.endRun(0);
    writer_.appendScene(Frame(0), Frame(30));
    writer_.endRun(28);

    // Verification
    EXPECT_EQ(file(),
              Cat({ExpectedHeader(path(), 4), ExpectedFirst(path(), 101), ExpectedLater(101, 150),
                   ExpectedLater(251, 148), ExpectedLater(1, 28)}));
    EXPECT_EQ(writer_.sceneCount(), 4);
    EXPECT_EQ(ReadBytes(earlyPath),
              Cat({ExpectedHeader(earlyPath, 1), ExpectedFirst(earlyPath, 91)}));
    EXPECT_FALSE(std::filesystem::exists(emptyPath));
}

TEST_F(ScnWriterTest, AFileLeftByACrashEndsAtTheFramesOfItsRepairedVideo) {
    // Setup: two scenes cut before the crash; the final one was never written.
    ASSERT_TRUE(writer_.create(path()));
    writer_.appendScene(Frame(1), Frame(100));
    writer_.appendScene(Frame(100), Frame(250));
    std::string error;

    // Exercise + Verification: the frames after the last scene make one more...
    ASSERT_TRUE(ScnEndAt(path(), 300, error)) << error;
    EXPECT_EQ(file(), Cat({ExpectedHeader(path(), 3), ExpectedFirst(path(), 101),
                           ExpectedLater(101, 150), ExpectedLater(251, 50)}));
    // ...and a video holding fewer frames than the scenes cuts them back.
    ASSERT_TRUE(ScnEndAt(path(), 90, error)) << error;
    EXPECT_EQ(file(), Cat({ExpectedHeader(path(), 1), ExpectedFirst(path(), 91)}));
}

TEST_F(ScnWriterTest, SceneAfterThe32768thIsIgnored) {
    // Setup
    ASSERT_TRUE(writer_.create(path()));
    for (std::uint32_t k = 0; k < 32768; ++k)
        writer_.appendScene(Frame(k), Frame(k + 1));
    const Bytes full = file();

    // Exercise
    writer_.appendScene(Frame(32768), Frame(32769));

    // Verification
    EXPECT_EQ(file(), full);
    EXPECT_EQ(full.size(), 78u - 13u + path().size() + 23 + path().size() + 32767u * 35);
    EXPECT_EQ(RateFieldsAt(full, ScnCountPos(path())).first & 0xFFFF, 0x8000u);
    EXPECT_EQ(writer_.sceneCount(), 32768);
    const ScnContents read = ScnRead(path());
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.scenes.size(), 32768u);
}

TEST_F(ScnWriterTest, ARelativePathIsStoredInFull) {
    // Setup: the capture folder given relatively to the working directory.
    const std::filesystem::path relative =
        std::filesystem::relative(dir_.path() / "clip.scn", std::filesystem::current_path());
    ASSERT_TRUE(relative.is_relative());

    // Exercise
    ASSERT_TRUE(writer_.create(relative));
    writer_.appendScene(Frame(1), Frame(10));

    // Verification: readers find the file from anywhere.
    EXPECT_EQ(ScnRead(path()).path, path());
}

TEST_F(ScnWriterTest, PathTooLongForTheLengthByteIsRefused) {
    // Setup: 254 bytes is the longest path the length byte can announce.
    const std::string base = (dir_.path() / "").string();
    const std::string longest = base + std::string(254 - base.size() - 4, 'a') + ".scn";
    const std::string tooLong = base + std::string(255 - base.size() - 4, 'b') + ".scn";
    ASSERT_EQ(longest.size(), 254u);
    ScnWriter other;

    // Exercise
    const bool longestMade = other.create(longest);
    const bool tooLongMade = writer_.create(tooLong);
    writer_.appendScene(Frame(1), Frame(10));

    // Verification
    EXPECT_TRUE(longestMade);
    EXPECT_EQ(ReadBytes(longest), ExpectedHeader(longest, 0));
    EXPECT_FALSE(tooLongMade);
    EXPECT_FALSE(std::filesystem::exists(tooLong));
}

TEST_F(ScnWriterTest, FailedCreateDropsScenesInsteadOfWritingIntoTheOldFile) {
    // Setup: the previous capture's file, then a create that cannot succeed.
    ASSERT_TRUE(writer_.create(path()));
    writer_.appendScene(Frame(1), Frame(10));
    const Bytes previous = file();

    // Exercise
    const bool made = writer_.create(dir_ / "missing" / "clip.scn");
    writer_.appendScene(Frame(1), Frame(20));

    // Verification
    EXPECT_FALSE(made);
    EXPECT_EQ(file(), previous);
}

TEST_F(ScnWriterTest, ScenesAreDroppedWhileTheFileIsAwayAndAppendedOnceItIsBack) {
    // Setup
    ASSERT_TRUE(writer_.create(path()));
    std::filesystem::rename(path(), dir_ / "away.scn");

    // Exercise
    writer_.appendScene(Frame(1), Frame(10));
    std::filesystem::rename(dir_ / "away.scn", path());
    writer_.appendScene(Frame(10), Frame(30));

    // Verification: the dropped scene is not counted, so the one that made it
    // is written as the first scene.
    EXPECT_EQ(file(), Cat({ExpectedHeader(path(), 1), ExpectedFirst(path(), 31)}));
}

// Limits the size of files this process may write, for the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(ScnWriterTest, EntryThatCannotBeWrittenWholeIsTakenBackAndNotCounted) {
    // Setup: room for only part of the second entry.
    ASSERT_TRUE(writer_.create(path()));
    writer_.appendScene(Frame(1), Frame(10));
    const Bytes oneScene = file();

    // Exercise
    {
        FileSizeLimit limit(oneScene.size() + 20);
        writer_.appendScene(Frame(10), Frame(30));
    }
    writer_.appendScene(Frame(30), Frame(50));

    // Verification
    EXPECT_EQ(file(),
              Cat({ExpectedHeader(path(), 2), ExpectedFirst(path(), 11), ExpectedLater(31, 20)}));
}

TEST_F(ScnWriterTest, ConcurrentCallsKeepTheFileWhole) {
    // Setup: the final scene of a stop can race the last frame's cut.
    ASSERT_TRUE(writer_.create(path()));
    auto append = [this](std::uint32_t base) {
        for (std::uint32_t k = 0; k < 300; ++k)
            writer_.appendScene(Frame(base + k), Frame(base + k + 1));
    };

    // Exercise
    std::thread streaming(append, 0);
    std::thread stopping(append, 100000);
    streaming.join();
    stopping.join();

    // Verification
    const ScnContents read = ScnRead(path());
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.count, 600);
    EXPECT_EQ(read.scenes.size(), 600u);
}

TEST(ScnRead, DamagedFilesAreReadUpToTheDamage) {
    // Setup
    TempDir dir;
    const std::string p = "/v/clip.scn";
    const Bytes good = Cat({ExpectedHeader(p, 2), ExpectedFirst(p, 11), ExpectedLater(11, 5)});
    std::mt19937 random(7);

    for (std::size_t length = 0; length <= good.size(); ++length) {
        // Exercise
        const ScnContents read = ScnParse(Bytes(good.begin(), good.begin() + length));

        // Verification
        EXPECT_EQ(read.ok, length >= ExpectedHeader(p, 2).size()) << length;
        EXPECT_EQ(read.error.empty(), length == good.size()) << length;
    }
    for (int i = 0; i < 2000; ++i) {
        Bytes damaged = good;
        damaged[random() % damaged.size()] ^= std::uint8_t(1 + random() % 255);
        const ScnContents read = ScnParse(damaged);
        EXPECT_LE(read.scenes.size(), 2u);
    }
    Bytes hugeCount = ExpectedHeader(p, 0xFFFF);
    const ScnContents read = ScnParse(hugeCount);
    EXPECT_TRUE(read.ok);
    EXPECT_TRUE(read.scenes.empty());
    EXPECT_NE(read.error, "");
    EXPECT_FALSE(ScnRead(dir / "absent.scn").ok);
}

} // namespace
} // namespace talvence
