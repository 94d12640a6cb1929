#pragma once
// Helpers for the AVI writer tests: DV frames made once by the ffmpeg command-line tool,
// ffprobe's view of a file, and a small RIFF reader to look at what was written; the file and
// tool helpers come with them.

#include "tests/support/TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::testing {

std::uint32_t Le32At(const Bytes& bytes, std::uint64_t offset);

// DV frames of a test picture with sound, made once per test run:
// 50 frames of 625/50 (144000 bytes) or 30 frames of 525/60 (120000 bytes).
const std::vector<Bytes>& PalDvFrames();
const std::vector<Bytes>& NtscDvFrames();

// 16-bit stereo PCM at 48 kHz for one PAL frame (1920 samples): a tone.
Bytes PcmForFrame(std::size_t frame);

// ffprobe's streams, each as its key=value fields (frames counted).
using ProbedStream = std::map<std::string, std::string>;
std::vector<ProbedStream> Probe(const std::filesystem::path& path);

// The video stream as ffmpeg copies it out ("-map 0:v -c copy -f rawvideo").
Bytes ExtractRawVideo(const std::filesystem::path& path);

// One RIFF chunk as found in a file; lists carry their type and children.
struct Chunk {
    std::string id;
    std::string listType;
    std::uint64_t offset = 0; // of the chunk header
    std::uint32_t size = 0;
    std::vector<Chunk> children;
    std::uint64_t dataOffset() const { return offset + (listType.empty() ? 8 : 12); }
    // First descendant (depth first) with this id or list type, skipping
    // what is inside a 'movi' list.
    const Chunk* find(std::string_view wanted) const;
    std::vector<const Chunk*> findAll(std::string_view wanted) const;
};
// The top-level chunks; 'movi' lists keep their children too. A chunk that
// runs past the end of the file ends the reading (as malformed).
std::vector<Chunk> ReadRiff(const Bytes& file, bool* malformed = nullptr);

// What a reader that trusts the header reaches: per stream of the first
// RIFF's 'indx', the chunks listed by its ix## chunks. Empty when anything
// listed lies outside the declared RIFF sizes or the file, or is not a chunk
// of that stream with that size.
std::optional<std::vector<std::size_t>> IndexedChunkCounts(const Bytes& file);

Bytes Concat(const std::vector<Bytes>& parts, std::size_t count);

} // namespace talvence::testing
