#include "platform/devices/virtual/MpegBoxStream.h"
#include "platform/media/filters/mpeg/ProgramStreamParser.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace talvence::mpeg {
namespace {

using testing::Bytes;

struct Parsed {
    std::map<std::uint8_t, Bytes> payloads; // by stream id, concatenated
    std::map<std::uint8_t, int> packets;
    int timed = 0;
    ProgramStreamCounters counters;
};

// Parses the stream in chunks of random sizes up to maxChunk.
Parsed Parse(const Bytes& stream, std::size_t maxChunk = 0, unsigned seed = 1) {
    Parsed out;
    ProgramStreamParser parser;
    auto sink = [&](const PesPacket& pes) {
        out.payloads[pes.streamId].insert(out.payloads[pes.streamId].end(), pes.payload.begin(),
                                          pes.payload.end());
        ++out.packets[pes.streamId];
        if (pes.pts) ++out.timed;
    };
    std::mt19937 random(seed);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = maxChunk ? std::min<std::size_t>(1 + random() % maxChunk,
                                                               stream.size() - at)
                                       : stream.size();
        parser.Push(std::span(stream).subspan(at, n), sink);
        at += n;
    }
    parser.Finish();
    out.counters = parser.Counters();
    return out;
}

const Bytes& Program() {
    static const Bytes program = MakeMpegBoxProgram(30);
    return program;
}

// The offset of each pack header of a stream the muxer wrote (packs of 2048 bytes).
std::vector<std::size_t> PackOffsets(const Bytes& s) {
    std::vector<std::size_t> packs;
    for (std::size_t i = 0; i + 4 <= s.size(); i += 2048)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xBA) packs.push_back(i);
    return packs;
}

TEST(ProgramStreamParserTest, VideoPayloadsAreTheElementaryStreamFfmpegExtracts) {
    // Setup
    const Bytes& program = Program();
    ASSERT_GT(program.size(), 100000u);
    testing::TempDir dir;
    testing::WriteBytes(dir / "box.mpg", program);
    const auto run = testing::RunTool("ffmpeg -v error -y -i " + testing::Quote(dir / "box.mpg") +
                                      " -map 0:v -c copy -f mpeg2video " +
                                      testing::Quote(dir / "video.m2v"));
    ASSERT_EQ(run.status, 0);
    // Exercise
    const Parsed whole = Parse(program);
    const Parsed pieces = Parse(program, 3000);
    // Verification
    EXPECT_EQ(whole.payloads.at(0xE0), testing::ReadBytes(dir / "video.m2v"));
    EXPECT_GT(whole.packets.at(0xC0), 10);
    EXPECT_GT(whole.timed, 30);
    EXPECT_EQ(whole.counters.damaged, 0u);
    EXPECT_EQ(whole.counters.skippedBytes, 0u);
    EXPECT_EQ(pieces.payloads, whole.payloads);
}

TEST(ProgramStreamParserTest, AlternateIdsAreRewrittenEverywhere) {
    const Parsed parsed = Parse(MakeMpegBoxProgram(10, true));
    EXPECT_EQ(parsed.payloads.count(0xE0) + parsed.payloads.count(0xC0), 0u);
    EXPECT_GT(parsed.packets.at(0xE1), 0);
    EXPECT_GT(parsed.packets.at(0xC1), 0);
    EXPECT_EQ(parsed.payloads.at(0xE1), Parse(MakeMpegBoxProgram(10)).payloads.at(0xE0));
}

TEST(ProgramStreamParserTest, DamageIsSkippedAndCounted) {
    const Bytes& clean = Program();
    const Parsed reference = Parse(clean);
    const std::vector<std::size_t> packs = PackOffsets(clean);
    ASSERT_GT(packs.size(), 20u);

    // Garbage between packs: passed over, nothing lost.
    Bytes garbage = clean;
    std::mt19937 random(7);
    for (std::size_t i = packs.size() - 1; i > 0; i -= 5) {
        Bytes junk(1 + random() % 700);
        for (auto& b : junk) b = std::uint8_t(random() % 3 ? random() : 0);
        garbage.insert(garbage.begin() + std::ptrdiff_t(packs[i]), junk.begin(), junk.end());
        if (i < 5) break;
    }
    const Parsed withGarbage = Parse(garbage, 5000);
    EXPECT_EQ(withGarbage.packets, reference.packets);
    EXPECT_GT(withGarbage.counters.skippedBytes, 0u);

    // A PES length that runs into the next pack: that packet alone is lost.
    Bytes longPacket = clean;
    std::size_t pes = 0; // the first packet of a pack that starts with a PES packet
    for (std::size_t i = 10; i < packs.size() && !pes; ++i) {
        const std::size_t at = packs[i] + 14 + (clean[packs[i] + 13] & 7);
        if (clean[at + 3] == 0xE0 || clean[at + 3] == 0xC0) pes = at;
    }
    ASSERT_NE(pes, 0u);
    longPacket[pes + 4] = 0xFF;
    longPacket[pes + 5] = 0xF0;
    const Parsed withLong = Parse(longPacket, 4096);
    int lost = 0;
    for (const auto& [id, n] : reference.packets) lost += n - withLong.packets.at(id);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(withLong.counters.damaged, 1u);

    // A stream cut in the middle of a pack ends cleanly, the cut packet counted.
    Bytes cut(clean.begin(), clean.begin() + std::ptrdiff_t(packs[12] + 1000));
    const Parsed withCut = Parse(cut, 777);
    EXPECT_EQ(withCut.counters.damaged, 1u);
    EXPECT_GT(withCut.packets.at(0xE0), 0);
}

TEST(ProgramStreamParserTest, MalformedHeadersNeverReadPastTheirEnd) {
    // MPEG-2 PES header whose header length exceeds the packet; MPEG-1 packet of stuffing only;
    // a pack header of neither kind; a packet of length zero.
    const Bytes odd = {0, 0, 1, 0xE0, 0, 4, 0x80, 0x80, 0x20, 0x21, 0, 0, 1, 0xC0, 0, 3,
                       0xFF, 0xFF, 0xFF, 0, 0, 1, 0xBA, 0x00, 0, 0, 1, 0xE0, 0, 0};
    const Parsed parsed = Parse(odd, 3);
    EXPECT_TRUE(parsed.packets.empty());
    EXPECT_EQ(parsed.counters.damaged, 4u);
    EXPECT_FALSE(ReadPesHeader(std::span(odd).first(10)).has_value());
}

} // namespace
} // namespace talvence::mpeg
