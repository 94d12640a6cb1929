// The AVI walker: the walk over the input as a file, then the frame-rate rewrite of it through a
// file access kept in memory. The rewrite may change the eight bytes of dwScale and dwRate of a
// video or interleaved stream header, inside the file, and nothing else.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "postproc/fpsunit.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence;

namespace {

// One file, held in memory; writes never extend it.
class MemoryFile : public AviFileAccess {
public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::unique_ptr<AviSource> openForReading(const std::filesystem::path&) override {
        return std::make_unique<MemoryAviSource>(bytes_);
    }
    AviWriteStatus writeAt(const std::filesystem::path&, std::uint64_t offset,
                           std::span<const std::uint8_t> bytes) override {
        FUZZ_CHECK(offset <= bytes_.size() && bytes.size() <= bytes_.size() - offset);
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + std::ptrdiff_t(offset));
        return AviWriteStatus::Written;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The stream header whose dwScale lies at scalePos: its chunk id 28 bytes before, its type
// 20 bytes before.
bool InVideoStreamHeader(const std::vector<std::uint8_t>& file, std::uint64_t scalePos) {
    if (scalePos < 28 || scalePos + 8 > file.size()) return false;
    const char* at = reinterpret_cast<const char*>(file.data() + scalePos);
    return std::memcmp(at - 28, "strh", 4) == 0 &&
           (std::memcmp(at - 20, "vids", 4) == 0 || std::memcmp(at - 20, "iavs", 4) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> original(data, data + size);
    MemoryFile file(original);
    AviWalker walker(file);

    MemoryAviSource source(original);
    const AviScanResult scan = walker.scan(source);
    if (scan.scalePos) FUZZ_CHECK(InVideoStreamHeader(original, *scan.scalePos));

    const AviRateResult rate = walker.setFrameRate("memory.avi", 29.97);
    FUZZ_CHECK(file.bytes().size() == original.size());
    if (rate.outcome != AviRateOutcome::Written) {
        FUZZ_CHECK(file.bytes() == original);
        return 0;
    }
    FUZZ_CHECK(rate.scalePos && InVideoStreamHeader(original, *rate.scalePos));
    for (std::size_t i = 0; i < original.size(); ++i)
        if (i < *rate.scalePos || i >= *rate.scalePos + 8)
            FUZZ_CHECK(file.bytes()[i] == original[i]);
    return 0;
}
