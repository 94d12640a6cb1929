#pragma once
// The MPEG program-stream parser of the MPEG-2 Demultiplexer: bytes in, in chunks of any size
// (as a device or a file hands them over), whole PES packets out, each with its stream id, its
// payload and its presentation time. MPEG-1 and MPEG-2 pack and PES headers are read.
//
// Damage is skipped, never read past: bytes that are no start code (garbage between packs) are
// passed over up to the next start code; a pack or PES header that does not hold together, or a
// PES whose length runs into the next pack header (a packet cut short by the device), is
// dropped and counted, and parsing resumes at the next start code inside it. At the end of the
// stream a packet cut in the middle is dropped and counted.
//
// Pure: no threads of its own; one caller at a time.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace talvence::mpeg {

// Stream ids of the PES packets.
inline constexpr std::uint8_t kFirstAudioStream = 0xC0; // MPEG audio 0xC0..0xDF
inline constexpr std::uint8_t kLastAudioStream = 0xDF;
inline constexpr std::uint8_t kFirstVideoStream = 0xE0; // MPEG video 0xE0..0xEF
inline constexpr std::uint8_t kLastVideoStream = 0xEF;
inline constexpr bool IsVideoStream(std::uint8_t id) {
    return id >= kFirstVideoStream && id <= kLastVideoStream;
}
inline constexpr bool IsAudioStream(std::uint8_t id) {
    return id >= kFirstAudioStream && id <= kLastAudioStream;
}

struct PesPacket {
    std::uint8_t streamId = 0;
    std::span<const std::uint8_t> payload; // valid during the callback only
    std::optional<std::int64_t> pts;       // 90 kHz, 33 bits
    // The system clock reference of the last pack header before the packet (90 kHz, 33 bits).
    std::optional<std::int64_t> scr;
    // The whole packet, start code included (for writers that keep PES packets).
    std::span<const std::uint8_t> packet;
};

struct ProgramStreamCounters {
    std::uint64_t packs = 0;
    std::uint64_t packets = 0;      // PES packets delivered (all stream ids)
    std::uint64_t damaged = 0;      // headers and packets dropped as damaged or cut
    std::uint64_t skippedBytes = 0; // bytes passed over between start codes
};

class ProgramStreamParser {
public:
    using Sink = std::function<void(const PesPacket&)>;

    // Parses what the bytes complete; keeps an unfinished packet for the next call.
    void Push(std::span<const std::uint8_t> bytes, const Sink& sink);
    // The end of the stream: what is left is a packet cut short (counted) or garbage.
    void Finish();
    // Forgets buffered bytes (a flush, a new run); the counters stay.
    void Reset();

    const ProgramStreamCounters& Counters() const { return counters_; }

private:
    enum class Step { NeedMore, Consumed };
    Step ParseOne(const Sink& sink);
    void Skip(std::size_t bytes);

    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::optional<std::int64_t> scr_;
    ProgramStreamCounters counters_;
};

// The presentation time of an MPEG-2 or MPEG-1 PES header, and where its payload starts; none
// when the header is damaged. packet starts with the 00 00 01 start code and holds the whole
// packet.
struct PesHeader {
    std::size_t payloadOffset = 0;
    std::optional<std::int64_t> pts;
};
std::optional<PesHeader> ReadPesHeader(std::span<const std::uint8_t> packet);

} // namespace talvence::mpeg
