// Damaged AVI files fed to the frame-rate rewrite: truncations, byte flips
// and chunk sizes set to awkward values, from a fixed seed so a failure
// repeats. Whatever the damage, the walk ends, and the file is either left
// as it was or changed in exactly the eight bytes of dwScale and dwRate.

#include <algorithm>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "postproc/fpsunit.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

using namespace talvence::testing;

Bytes HandBuiltCorpusFile() {
    Bytes dvInfo(32, 0);
    Bytes bitmap(40, 0);
    std::copy_n("dvsd", 4, bitmap.begin() + 16);
    Bytes dvBitmap = bitmap;
    dvBitmap.resize(72, 0); // bitmap header followed by a DV information block
    Bytes index = Strh("vids", "FAKE");
    index.resize(4120, 0);
    return Cat(
        {List(
             "RIFF", "AVI ",
             {List(
                  "LIST", "hdrl",
                  {Leaf("avih", Bytes(56, 0)),
                   List("LIST", "strl",
                        {Strh("iavs", "MRK1"), Leaf("strf", dvInfo), Leaf("indx", index)}),
                   List("LIST", "strl",
                        {Strh("vids", "MRK2"), Leaf("strf", dvBitmap), Leaf("ix01", Bytes(24, 0))}),
                   List("LIST", "strl", {Strh("auds", "MRK3"), Leaf("strf", Bytes(18, 0))}),
                   List("LIST", "odml", {Leaf("dmlh", Bytes(248, 0))})}),
              List("LIST", "movi", {Leaf("00dc", Bytes(9000, 0x55))}), Leaf("idx1", Bytes(48, 0))}),
         List("RIFF", "AVIX", {List("LIST", "movi", {Leaf("00dc", Bytes(5000, 0x66))})})});
}

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : random_(seed) {}

    Bytes mutate(Bytes file) {
        const int steps = pick(1, 4);
        for (int i = 0; i < steps && !file.empty(); ++i) {
            switch (pick(0, 3)) {
            case 0: // truncate
                file.resize(std::size_t(pick(0, int(file.size()) - 1)));
                break;
            case 1: // flip a few bytes
                for (int k = pick(1, 8); k > 0; --k)
                    file[std::size_t(pick(0, int(file.size()) - 1))] ^= std::uint8_t(pick(1, 255));
                break;
            default: // rewrite the size field of a chunk
                mutateSize(file);
                break;
            }
        }
        return file;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // Size fields follow a four-character code of letters, digits or spaces.
    void mutateSize(Bytes& file) {
        std::vector<std::size_t> sizeFields;
        for (std::size_t i = 0; i + 8 <= file.size(); i += 2) {
            if (std::all_of(file.begin() + i, file.begin() + i + 4,
                            [](std::uint8_t c) { return std::isalnum(c) || c == ' '; }))
                sizeFields.push_back(i + 4);
        }
        if (sizeFields.empty()) return;
        const std::size_t at = sizeFields[std::size_t(pick(0, int(sizeFields.size()) - 1))];
        std::uint32_t current = 0;
        for (int k = 0; k < 4; ++k)
            current |= std::uint32_t(file[at + k]) << (8 * k);
        const std::uint32_t awkward[] = {0,
                                         1,
                                         3,
                                         4,
                                         7,
                                         55,
                                         57,
                                         16383,
                                         0x7FFFFFFF,
                                         0x80000000u,
                                         0xFFFFFFFFu,
                                         0xFFFFFFF8u,
                                         current + 1,
                                         current - 1,
                                         current + 8,
                                         current - 8,
                                         std::uint32_t(file.size()),
                                         std::uint32_t(random_())};
        const std::uint32_t value = awkward[pick(0, int(std::size(awkward)) - 1)];
        for (int k = 0; k < 4; ++k)
            file[at + k] = std::uint8_t(value >> (8 * k));
    }

    std::mt19937 random_;
};

TEST(AviFuzz, DamagedFilesChangeAtMostTheRateFields) {
    // Setup
    ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg not found on PATH";
    TempDir dir;
    const ToolRun made = RunTool(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=32x24:rate=5 -f lavfi -i sine "
        "-t 0.6 -map 0:v -map 1:a -map 0:v -c:v mjpeg -c:a pcm_s16le " +
        Quote(dir / "made.avi") + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
    const std::vector<Bytes> corpus = {ReadBytes(dir / "made.avi"), HandBuiltCorpusFile()};
    Mutator mutator(20240611);
    AviWalker carried; // keeps the last stream kind from file to file
    const auto path = dir / "fuzz.avi";
    int written = 0;

    for (int iteration = 0; iteration < 3000; ++iteration) {
        const Bytes before = mutator.mutate(corpus[std::size_t(iteration % 2)]);
        WriteBytes(path, before);
        AviWalker fresh;
        AviWalker& walker = iteration % 3 == 0 ? carried : fresh;
        // Every chunk costs at least 8 bytes of forward progress and at most
        // two pumps, so more pumps than this means the walk is going round.
        const std::uint64_t pumpLimit = 2 * (before.size() / 8 + 2);
        std::uint64_t pumps = 0;
        walker.setPumpEvents([&] {
            if (++pumps > pumpLimit) throw std::runtime_error("walk does not progress");
        });

        // Exercise
        AviRateResult result;
        ASSERT_NO_THROW(result = walker.setFrameRate(path, 12.5)) << "iteration " << iteration;

        // Verification
        const Bytes after = ReadBytes(path);
        ASSERT_EQ(after.size(), before.size()) << "iteration " << iteration;
        if (result.outcome != AviRateOutcome::Written) {
            ASSERT_EQ(after, before) << "iteration " << iteration;
            continue;
        }
        ++written;
        const std::uint64_t pos = *result.scalePos;
        ASSERT_LE(pos + 8, before.size()) << "iteration " << iteration;
        ASSERT_EQ(RateFieldsAt(after, pos), std::make_pair(80000u, 1000000u));
        ASSERT_TRUE(std::equal(before.begin(), before.begin() + pos, after.begin()) &&
                    std::equal(before.begin() + pos + 8, before.end(), after.begin() + pos + 8))
            << "iteration " << iteration;
    }
    // Most damage leaves the headers readable: the run must exercise writes.
    EXPECT_GT(written, 300);
}

} // namespace
} // namespace talvence
