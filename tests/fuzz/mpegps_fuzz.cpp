// The program-stream parser of the MPEG-2 Demultiplexer: the input in chunks whose sizes the
// input's first byte chooses, every packet it delivers lying inside the bytes it was given, and
// the same packets whatever the chunking.

#include "platform/media/filters/mpeg/ProgramStreamParser.h"
#include "tests/fuzz/FuzzCheck.h"

#include <vector>

using namespace talvence::mpeg;

namespace {
struct Seen {
    std::uint8_t id;
    std::size_t bytes;
    bool timed;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> Run(const std::uint8_t* data, std::size_t size, std::size_t chunk) {
    std::vector<Seen> seen;
    ProgramStreamParser parser;
    // Each chunk is a copy of its own, so a packet read past what was pushed hits the sanitizers.
    for (std::size_t at = 0; at < size; at += chunk) {
        const std::vector<std::uint8_t> piece(data + at, data + std::min(size, at + chunk));
        parser.Push(piece, [&](const PesPacket& pes) {
            FUZZ_CHECK(pes.packet.size() >= 6 && pes.packet.size() <= 65541);
            FUZZ_CHECK(pes.payload.data() >= pes.packet.data());
            FUZZ_CHECK(pes.payload.data() + pes.payload.size() ==
                       pes.packet.data() + pes.packet.size());
            FUZZ_CHECK(pes.streamId == pes.packet[3]);
            seen.push_back({pes.streamId, pes.payload.size(), pes.pts.has_value()});
        });
    }
    parser.Finish();
    return seen;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = 1 + data[0] % 64 * 97;
    FUZZ_CHECK(Run(data + 1, size - 1, chunk) == Run(data + 1, size - 1, size));
    return 0;
}
