// The AVI walk over hand-built chunk trees: where dwScale is found, how the
// walk moves over each kind of chunk, and what it does with damaged files.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>

#include "postproc/fpsunit.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

using namespace talvence::testing;

Bytes Avih() {
    return Leaf("avih", Bytes(56, 0));
}

Bytes StrfVideo(std::string_view code) {
    Bytes data(40, 0);
    std::copy(code.begin(), code.end(), data.begin() + 16);
    return Leaf("strf", data);
}

Bytes StrfAudio() {
    return Leaf("strf", Bytes(18, 0));
}
Bytes StrfDvInfo() {
    return Leaf("strf", Bytes(32, 0));
}

Bytes Movi(std::size_t payload) {
    return List("LIST", "movi", {Leaf("00dc", Bytes(payload, 0))});
}

// DV type 2: a "vids" and an "auds" stream.
Bytes TypeTwoFile() {
    return List("RIFF", "AVI ",
                {List("LIST", "hdrl",
                      {Avih(), List("LIST", "strl", {Strh("vids", "MRKV"), StrfVideo("dvsd")}),
                       List("LIST", "strl", {Strh("auds", "MRKA"), StrfAudio()})}),
                 Movi(1000), Leaf("idx1", Bytes(32, 0))});
}

AviScanResult ScanBytes(AviWalker& walker, const Bytes& bytes) {
    MemoryAviSource source(bytes);
    return walker.scan(source);
}

// Reads through the local files but cannot open any for writing.
class ReadOnlyFiles : public AviFileAccess {
public:
    std::unique_ptr<AviSource> openForReading(const std::filesystem::path& path) override {
        return LocalAviFileAccess().openForReading(path);
    }
    AviWriteStatus writeAt(const std::filesystem::path&, std::uint64_t,
                           std::span<const std::uint8_t>) override {
        return AviWriteStatus::CannotOpen;
    }
};

TEST(AviWalker, FindsTheVideoHeaderBesideAnAudioOne) {
    // Setup
    const Bytes file = TypeTwoFile();
    AviWalker walker;
    int pumps = 0;
    walker.setPumpEvents([&] { ++pumps; });

    // Exercise
    const AviScanResult result = ScanBytes(walker, file);

    // Verification
    EXPECT_EQ(result.end, AviScanEnd::Complete);
    ASSERT_TRUE(result.scalePos);
    EXPECT_EQ(*result.scalePos, ScaleFieldOf(file, "MRKV"));
    EXPECT_EQ(walker.lastKind(), AviStreamKind::Audio);
    EXPECT_GE(pumps, 9); // at least once per chunk
}

TEST(AviWalker, LaterOfTwoVideoHeadersWins) {
    // Setup
    const Bytes file =
        List("RIFF", "AVI ",
             {List("LIST", "hdrl",
                   {Avih(), List("LIST", "strl", {Strh("vids", "MRK1"), StrfVideo("MJPG")}),
                    List("LIST", "strl", {Strh("vids", "MRK2"), StrfVideo("MJPG")})}),
              Movi(100)});
    AviWalker walker;

    // Exercise
    const AviScanResult result = ScanBytes(walker, file);

    // Verification
    ASSERT_TRUE(result.scalePos);
    EXPECT_EQ(*result.scalePos, ScaleFieldOf(file, "MRK2"));
}

TEST(AviWalker, RewritesTheInterleavedHeaderOfATypeOneFileAndNothingElse) {
    // Setup
    TempDir dir;
    const Bytes before =
        List("RIFF", "AVI ",
             {List("LIST", "hdrl",
                   {Avih(), List("LIST", "strl", {Strh("iavs", "MRKI", 1, 25), StrfDvInfo()})}),
              Movi(5000), Leaf("idx1", Bytes(16, 0xEE))});
    WriteBytes(dir / "type1.avi", before);
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "type1.avi", 25.0);

    // Verification
    ASSERT_EQ(result.outcome, AviRateOutcome::Written);
    EXPECT_EQ(result.scale, 40000u);
    EXPECT_EQ(result.rate, 1000000u);
    const std::uint64_t pos = ScaleFieldOf(before, "MRKI");
    EXPECT_EQ(result.scalePos, pos);
    Bytes after = ReadBytes(dir / "type1.avi");
    EXPECT_EQ(RateFieldsAt(after, pos), std::make_pair(40000u, 1000000u));
    std::copy(before.begin() + pos, before.begin() + pos + 8, after.begin() + pos);
    EXPECT_EQ(after, before);
}

TEST(AviWalker, StopsAtATopLevelChunkThatIsNotRiff) {
    // Setup: a stream header that would be found if the walk went on.
    TempDir dir;
    const Bytes before =
        Cat({Leaf("JUNK", Bytes(10, 0)),
             List("RIFF", "AVI ", {List("LIST", "strl", {Strh("vids", "MRKV")})})});
    WriteBytes(dir / "junk.avi", before);
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "junk.avi", 25.0);

    // Verification
    EXPECT_EQ(result.outcome, AviRateOutcome::NoVideoHeader);
    EXPECT_EQ(result.scanEnd, AviScanEnd::NotRiff);
    EXPECT_EQ(ReadBytes(dir / "junk.avi"), before);
}

TEST(AviWalker, ContinuesAfterIndexChunksSmallerThanTheirRead) {
    // Setup: the index read runs over the next stream's header; the walk
    // must give those bytes back and still see that header as a chunk. The
    // index data itself holds something that looks like a stream header.
    Bytes indexData = Strh("vids", "FAKE");
    indexData.resize(4120, 0);
    const Bytes file =
        List("RIFF", "AVI ",
             {List("LIST", "hdrl",
                   {Avih(),
                    List("LIST", "strl",
                         {Strh("vids", "MRK1"), StrfVideo("dvsd"), Leaf("indx", indexData)}),
                    List("LIST", "strl",
                         {Strh("vids", "MRK2"), StrfVideo("dvsd"), Leaf("ix01", Bytes(24, 0))}),
                    Leaf("JUNK", Bytes(100, 0))}),
              Movi(20000)});
    AviWalker walker;

    // Exercise
    const AviScanResult result = ScanBytes(walker, file);

    // Verification
    EXPECT_EQ(result.end, AviScanEnd::Complete);
    ASSERT_TRUE(result.scalePos);
    EXPECT_EQ(*result.scalePos, ScaleFieldOf(file, "MRK2"));
}

TEST(AviWalker, DamagedTreesKeepTheHeaderFoundBeforeTheDamage) {
    // Setup
    const Bytes strl = List("LIST", "strl", {Strh("vids", "MRKV"), StrfVideo("MJPG")});
    // A "movi" list declared far past the end of the file.
    const Bytes oversizedMovi = List(
        "RIFF", "AVI ",
        {List("LIST", "hdrl", {Avih(), strl}), List("LIST", "movi", {Bytes(64, 1)}, 0x7FFFFF00)});
    // The header list itself runs past the end of the file.
    const Bytes oversizedList =
        List("RIFF", "AVI ", {List("LIST", "hdrl", {Avih(), strl}, 0x10000000)}, 0x7FFFFFF0);
    // Cut in the middle of the stream format that follows the header.
    Bytes truncated = List("RIFF", "AVI ", {List("LIST", "hdrl", {Avih(), strl}), Movi(100)});
    truncated.resize(ScaleFieldOf(truncated, "MRKV") + 56);

    for (const Bytes* file :
         std::initializer_list<const Bytes*>{&oversizedMovi, &oversizedList, &truncated}) {
        AviWalker walker;

        // Exercise
        const AviScanResult result = ScanBytes(walker, *file);

        // Verification
        ASSERT_TRUE(result.scalePos);
        EXPECT_EQ(*result.scalePos, ScaleFieldOf(*file, "MRKV"));
    }
    AviWalker walker;
    EXPECT_EQ(ScanBytes(walker, truncated).end, AviScanEnd::ShortRead);
}

TEST(AviWalker, WalksASecondTopLevelRiffButNotItsMediaData) {
    // Setup: the extension RIFF's "movi" carries bytes shaped like a stream
    // header (they must be skipped); the walk goes on after it, but a header
    // in an extension RIFF is not the file's (only hdrl > strl holds those).
    const Bytes file =
        Cat({List("RIFF", "AVI ",
                  {List("LIST", "hdrl", {Avih(), List("LIST", "strl", {Strh("vids", "MRK1")})}),
                   Movi(50)}),
             List("RIFF", "AVIX",
                  {List("LIST", "movi", {List("LIST", "strl", {Strh("vids", "FAKE")})})}),
             List("RIFF", "AVIX", {List("LIST", "strl", {Strh("vids", "MRK3")}), Movi(50)})});
    AviWalker walker;

    // Exercise
    const AviScanResult result = ScanBytes(walker, file);

    // Verification
    EXPECT_EQ(result.end, AviScanEnd::Complete);
    ASSERT_TRUE(result.scalePos);
    EXPECT_EQ(*result.scalePos, ScaleFieldOf(file, "MRK1"));
}

TEST(AviWalker, OnlyTheHeaderOfHdrlStrlIsTakenWhateverTheUnrelatedChunksAround) {
    // Setup: the real header after a decoy, after lists nested 40 deep, after
    // a list whose child runs past it, after a main header whose size runs
    // past hdrl; a decoy after it in an unrelated list of hdrl.
    const Bytes strl = List("LIST", "strl", {Strh("vids", "MRKV"), StrfVideo("MJPG")});
    const Bytes decoy = List("LIST", "INFO", {Strh("vids", "FAKE")});
    Bytes deep = List("LIST", "deep", {Leaf("JUNK", Bytes(4, 0))});
    for (int i = 0; i < 40; ++i)
        deep = List("LIST", "deep", {deep});
    const Bytes overrun = List("LIST", "INFO", {Leaf("ISFT", Bytes(6, 'x'), 5000)});
    const Bytes longAvih = Leaf("avih", Bytes(56, 0), 0x100000);
    const auto Avi = [](std::initializer_list<Bytes> hdrl) {
        return List("RIFF", "AVI ", {List("LIST", "hdrl", hdrl), Movi(100)});
    };
    const std::vector<Bytes> files = {
        Avi({Avih(), decoy, strl}),   Avi({Avih(), strl, decoy}), Avi({Avih(), deep, strl}),
        Avi({Avih(), overrun, strl}), Avi({longAvih, strl}),
    };

    for (std::size_t i = 0; i < files.size(); ++i) {
        AviWalker walker;

        // Exercise
        const AviScanResult result = ScanBytes(walker, files[i]);

        // Verification
        EXPECT_EQ(result.scalePos, std::optional<std::uint64_t>(ScaleFieldOf(files[i], "MRKV")))
            << "file " << i;
    }
}

TEST(AviWalker, ChunkOfTwoGibibytesOrMoreLeavesTheFileUnchanged) {
    // Setup: a sparse file long enough that the clamped size stays >= 2^31.
    TempDir dir;
    const Bytes head =
        List("RIFF", "AVI ", {List("LIST", "strl", {Strh("vids", "MRKV")})}, 0x90000000);
    WriteBytes(dir / "huge.avi", head);
    std::filesystem::resize_file(dir / "huge.avi", 0x90000008ull);
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "huge.avi", 25.0);

    // Verification
    EXPECT_EQ(result.outcome, AviRateOutcome::NoVideoHeader);
    EXPECT_EQ(result.scanEnd, AviScanEnd::ChunkTooLarge);
    Bytes start(head.size());
    std::ifstream(dir / "huge.avi", std::ios::binary)
        .read(reinterpret_cast<char*>(start.data()), std::streamsize(start.size()));
    EXPECT_EQ(start, head);
}

TEST(AviWalker, StreamHeaderTooShortToHoldTheRateIsNotRewritten) {
    // Setup: a 20-byte "vids" header; its rate fields would be the next
    // chunk's bytes.
    TempDir dir;
    const Bytes before = List("RIFF", "AVI ",
                              {List("LIST", "strl",
                                    {Leaf("strh", Cat({Fcc("vids"), Fcc("MRKV"), Bytes(12, 0)})),
                                     Leaf("JUNK", Bytes(64, 7))}),
                               Movi(100)});
    WriteBytes(dir / "short.avi", before);
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "short.avi", 25.0);

    // Verification
    EXPECT_EQ(result.outcome, AviRateOutcome::NoVideoHeader);
    EXPECT_EQ(ReadBytes(dir / "short.avi"), before);
}

TEST(AviWalker, DeeplyNestedListsEndTheWalk) {
    // Setup: 200000 lists each inside the previous one, a header innermost.
    constexpr std::uint32_t kLevels = 200000;
    const Bytes inner = List("LIST", "strl", {Strh("vids", "MRKV")});
    Bytes file;
    file.reserve(kLevels * 12 + inner.size());
    for (std::uint32_t i = 0; i < kLevels; ++i) {
        const std::uint32_t size = (kLevels - i) * 12 - 8 + std::uint32_t(inner.size());
        const Bytes head = Cat({Fcc(i == 0 ? "RIFF" : "LIST"), Le32(size), Fcc("nest")});
        file.insert(file.end(), head.begin(), head.end());
    }
    file.insert(file.end(), inner.begin(), inner.end());
    AviWalker walker;

    // Exercise
    const AviScanResult result = ScanBytes(walker, file);

    // Verification
    EXPECT_EQ(result.end, AviScanEnd::TooDeep);
    EXPECT_FALSE(result.scalePos);
}

TEST(AviWalker, KindOfTheLastStreamHeaderCarriesOverToTheNextWalk) {
    // Setup: a stream format at the very end of a file, before any stream
    // header of that file. As a wave format (after "auds") it is read whole;
    // as a bitmap header (after "vids") the read runs past the end.
    const Bytes endsWithAudio = TypeTwoFile();
    const Bytes formatFirst = List("RIFF", "AVI ", {StrfAudio()});
    AviWalker fresh;
    AviWalker afterAudio;
    ScanBytes(afterAudio, endsWithAudio);

    // Exercise
    const AviScanResult freshResult = ScanBytes(fresh, formatFirst);
    const AviScanResult carriedResult = ScanBytes(afterAudio, formatFirst);

    // Verification
    EXPECT_EQ(freshResult.end, AviScanEnd::ShortRead);
    EXPECT_EQ(carriedResult.end, AviScanEnd::Complete);
}

TEST(AviSetFrameRate, ScaleIsOneMillionOverFpsRoundedHalfToEven) {
    EXPECT_EQ(AviScaleForFps(25.0), 40000u);
    EXPECT_EQ(AviScaleForFps(0.5), 2000000u);
    EXPECT_EQ(AviScaleForFps(30.0), 33333u);
    EXPECT_EQ(AviScaleForFps(29.97), 33367u);
    EXPECT_EQ(AviScaleForFps(400000.0), 2u); // 2.5
    EXPECT_EQ(AviScaleForFps(16000.0), 62u); // 62.5
    EXPECT_EQ(AviScaleForFps(1000000.0 / 4294967295.0), 4294967295u);
}

TEST(AviSetFrameRate, UnusableFpsLeavesTheFileUnchanged) {
    // Setup
    TempDir dir;
    const Bytes before = TypeTwoFile();
    WriteBytes(dir / "clip.avi", before);
    AviWalker walker;
    const double unusable[] = {0.0,
                               -25.0,
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               1e-4, // scale beyond 32 bits
                               3e6}; // scale rounds to 0

    for (double fps : unusable) {
        // Exercise
        const AviRateResult result = walker.setFrameRate(dir / "clip.avi", fps);

        // Verification
        EXPECT_EQ(result.outcome, AviRateOutcome::BadFps) << fps;
        EXPECT_FALSE(AviScaleForFps(fps)) << fps;
    }
    EXPECT_EQ(ReadBytes(dir / "clip.avi"), before);
}

TEST(AviSetFrameRate, ReportsAFileThatCannotBeOpenedForWriting) {
    // Setup
    TempDir dir;
    const Bytes before = TypeTwoFile();
    WriteBytes(dir / "clip.avi", before);
    ReadOnlyFiles files;
    AviWalker walker(files);

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "clip.avi", 25.0);

    // Verification
    EXPECT_EQ(result.outcome, AviRateOutcome::CannotOpenForWriting);
    EXPECT_EQ(result.scalePos, ScaleFieldOf(before, "MRKV"));
    EXPECT_EQ(ReadBytes(dir / "clip.avi"), before);
}

TEST(AviSetFrameRate, MissingFileIsNotCreated) {
    // Setup
    TempDir dir;
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(dir / "absent.avi", 25.0);

    // Verification
    EXPECT_EQ(result.outcome, AviRateOutcome::NoVideoHeader);
    EXPECT_EQ(result.scanEnd, AviScanEnd::NoFile);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.avi"));
}

} // namespace
} // namespace talvence
