// The frame-rate rewrite on AVI files made by the ffmpeg command-line tool,
// checked with ffprobe and byte for byte outside the rewritten fields.

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "postproc/fpsunit.h"
#include "tests/support/AviTestFiles.h"

namespace talvence {
namespace {

using namespace talvence::testing;

struct ProbedStream {
    std::string codecType;
    std::uint64_t rateNum = 0; // avg_frame_rate
    std::uint64_t rateDen = 0;
};

class AviFfmpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        // CI installs both; a missing tool is a broken setup, not a skip.
        ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg not found on PATH";
        ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe not found on PATH";
    }

    std::filesystem::path makeAvi(const std::string& name, const std::string& inputAndCodec) {
        const std::filesystem::path path = dir_ / name;
        const ToolRun run =
            RunTool("ffmpeg -nostdin -v error -y " + inputAndCodec + " " + Quote(path) + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        return path;
    }

    static std::vector<ProbedStream> probe(const std::filesystem::path& path) {
        const ToolRun run =
            RunTool("ffprobe -v error -show_entries stream=codec_type,avg_frame_rate "
                    "-of compact=p=0 " +
                    Quote(path));
        EXPECT_EQ(run.status, 0) << run.out;
        std::vector<ProbedStream> streams;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            ProbedStream stream;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '|');) {
                const auto eq = field.find('=');
                const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
                if (key == "codec_type") stream.codecType = value;
                if (key == "avg_frame_rate") {
                    const auto slash = value.find('/');
                    stream.rateNum = std::stoull(value.substr(0, slash));
                    stream.rateDen = std::stoull(value.substr(slash + 1));
                }
            }
            streams.push_back(stream);
        }
        return streams;
    }

    // The stream plays at rate / scale frames per second.
    static bool playsAt(const ProbedStream& s, std::uint32_t scale, std::uint32_t rate) {
        return s.rateDen != 0 && s.rateNum * scale == s.rateDen * rate;
    }

    static void expectOnlyRateFieldsChanged(const Bytes& before, const Bytes& after,
                                            const AviRateResult& result) {
        ASSERT_EQ(result.outcome, AviRateOutcome::Written);
        ASSERT_EQ(after.size(), before.size());
        const std::uint64_t pos = *result.scalePos;
        ASSERT_LE(pos + 8, after.size());
        EXPECT_EQ(RateFieldsAt(after, pos), std::make_pair(result.scale, result.rate));
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + pos, after.begin()));
        EXPECT_TRUE(std::equal(before.begin() + pos + 8, before.end(), after.begin() + pos + 8));
    }

    TempDir dir_;
};

TEST_F(AviFfmpegTest, DvTypeTwoWithAudioTakesTheNewRate) {
    // Setup
    const auto path = makeAvi("dv.avi", "-f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                                        "sine -t 1 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le");
    const Bytes before = ReadBytes(path);
    AviWalker walker;

    for (const auto& [fps, scale] : std::vector<std::pair<double, std::uint32_t>>{
             {30.0, 33333}, {0.5, 2000000}, {25.0, 40000}}) {
        // Exercise
        const AviRateResult result = walker.setFrameRate(path, fps);

        // Verification
        EXPECT_EQ(result.scale, scale);
        expectOnlyRateFieldsChanged(before, ReadBytes(path), result);
        const auto streams = probe(path);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0].codecType, "video");
        EXPECT_TRUE(playsAt(streams[0], scale, 1000000))
            << streams[0].rateNum << "/" << streams[0].rateDen;
    }
}

TEST_F(AviFfmpegTest, OfTwoVideoStreamsTheLaterTakesTheNewRate) {
    // Setup
    const auto path = makeAvi("two.avi", "-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i "
                                         "testsrc2=size=64x48:rate=10 -t 1 -map 0:v -map 1:v "
                                         "-c:v mjpeg");
    const Bytes before = ReadBytes(path);
    AviWalker walker;

    // Exercise
    const AviRateResult result = walker.setFrameRate(path, 30.0);

    // Verification
    expectOnlyRateFieldsChanged(before, ReadBytes(path), result);
    const auto streams = probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_TRUE(playsAt(streams[0], 1, 10));
    EXPECT_TRUE(playsAt(streams[1], 33333, 1000000))
        << streams[1].rateNum << "/" << streams[1].rateDen;
}

// Streams a file once: a hash of every byte outside [skip, skip + 8) and
// whether some four-character codes occur in it.
struct FileSummary {
    std::uint64_t hash = 1469598103934665603ull;
    std::uint64_t size = 0;
    bool hasIndx = false;
    bool hasAvix = false;
};

FileSummary Summarise(const std::filesystem::path& path, std::uint64_t skip) {
    FileSummary s;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    std::string tail; // the last three bytes of the previous block
    while (in.read(block.data(), std::streamsize(block.size())), in.gcount() > 0) {
        const std::size_t n = std::size_t(in.gcount());
        for (std::size_t i = 0; i < n; ++i, ++s.size) {
            if (s.size >= skip && s.size < skip + 8) continue;
            s.hash = (s.hash ^ std::uint8_t(block[i])) * 1099511628211ull;
        }
        std::string window = tail + std::string(block.data(), std::min<std::size_t>(n, 8));
        const std::string_view body(block.data(), n);
        s.hasIndx = s.hasIndx || window.find("indx") != std::string::npos ||
                    body.find("indx") != std::string_view::npos;
        s.hasAvix = s.hasAvix || window.find("AVIX") != std::string::npos ||
                    body.find("AVIX") != std::string_view::npos;
        tail = std::string(body.substr(n >= 3 ? n - 3 : 0));
    }
    return s;
}

TEST_F(AviFfmpegTest, OpenDmlFileWithIndexesTakesTheNewRate) {
    // Setup: past 1 GiB the muxer writes OpenDML: "indx" in the headers,
    // "ix00" chunks and a second RIFF "AVIX".
    const auto path = makeAvi("big.avi", "-f lavfi -i color=c=blue:size=3840x2160:rate=25 "
                                         "-frames:v 46 -c:v rawvideo -pix_fmt bgr24");
    AviWalker walker;
    const std::uint64_t scalePos = walker.scanFile(path).scalePos.value_or(0);
    const FileSummary before = Summarise(path, scalePos);
    ASSERT_TRUE(before.hasIndx && before.hasAvix) << "ffmpeg did not write an OpenDML file";

    // Exercise
    const AviRateResult result = walker.setFrameRate(path, 0.5);

    // Verification
    ASSERT_EQ(result.outcome, AviRateOutcome::Written);
    EXPECT_EQ(result.scalePos, scalePos);
    EXPECT_EQ(result.scale, 2000000u);
    const FileSummary after = Summarise(path, scalePos);
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.hash, before.hash);
    Bytes fields(8);
    std::ifstream(path, std::ios::binary)
        .seekg(std::streamoff(scalePos))
        .read(reinterpret_cast<char*>(fields.data()), 8);
    EXPECT_EQ(RateFieldsAt(fields, 0), std::make_pair(2000000u, 1000000u));
    const auto streams = probe(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_TRUE(playsAt(streams[0], 2000000, 1000000))
        << streams[0].rateNum << "/" << streams[0].rateDen;
}

} // namespace
} // namespace talvence
