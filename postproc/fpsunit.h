#pragma once
// Frame-rate rewrite of AVI files made image by image: a walk over the RIFF
// chunk tree finds where the video stream header's dwScale and dwRate lie,
// then those eight bytes are overwritten in place. Nothing else in the file
// is touched and the file is never rewritten as a whole. Only a stream header
// reached through RIFF "AVI " > LIST "hdrl" > LIST "strl" counts; one in any
// other list is not the file's.
//
// Damage does not hide a sound header: a chunk whose size runs past its
// parent is clamped to it (a list is still walked inside; after another chunk
// the walk looks for the parent's next list), and lists nested too deeply are
// passed over whole.
//
// The walk reads only headers: "movi" lists and "idx1" chunks are skipped
// with a seek, so a file of any size costs a few kilobytes of reading. It
// reads through `AviSource`, which never hands out bytes past the end of the
// file, so a damaged or hostile file can end the walk early but never make it
// read outside the file, loop or recurse without bound.
//
// Thread: an `AviWalker` is for one thread at a time (the application thread).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace talvence {

// Random-access reading of one file. `readAt` returns how many bytes it could
// read (fewer than asked at or past the end of the file, or on an error).
class AviSource {
public:
    virtual ~AviSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// A source over bytes in memory; the bytes must outlive it.
class MemoryAviSource : public AviSource {
public:
    explicit MemoryAviSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    std::span<const std::uint8_t> bytes_;
};

enum class AviWriteStatus {
    Written,
    CannotOpen, // the file could not be opened for writing; it is unchanged
    Failed,     // opened, but the bytes could not all be written
};

// How the walker reaches the file system; tests replace it to fail writes.
class AviFileAccess {
public:
    virtual ~AviFileAccess() = default;
    // nullptr when the file does not exist, cannot be read or is not a
    // regular file.
    virtual std::unique_ptr<AviSource> openForReading(const std::filesystem::path& path) = 0;
    // Overwrites bytes of an existing file; never creates, truncates or
    // extends it.
    virtual AviWriteStatus writeAt(const std::filesystem::path& path, std::uint64_t offset,
                                   std::span<const std::uint8_t> bytes) = 0;
};

// The local file system (POSIX open/pread/pwrite).
AviFileAccess& LocalAviFileAccess();

// Kind of the last stream header ("strh") seen, by its fccType.
enum class AviStreamKind : std::uint8_t {
    Video = 0,       // "vids"
    Audio = 1,       // "auds"
    Interleaved = 2, // "iavs" (DV type 1)
    Other = 3,
};

// Why a walk ended, or the first damage it went on after (TooDeep).
enum class AviScanEnd {
    Complete,      // the whole top level was walked
    NoFile,        // the file does not exist or cannot be read
    NotRegular,    // a FIFO, a device or a directory: never opened for reading
    NotRiff,       // a top-level chunk other than "RIFF" was met
    ShortRead,     // the file ended inside a chunk (truncated or malformed)
    ChunkTooLarge, // a chunk of 2^31 bytes or more; nothing is reported found
    TooDeep,       // lists nested deeper than any AVI file has them were passed over
};

struct AviScanResult {
    // File offset of dwScale in the last "vids" or "iavs" stream header of
    // hdrl > strl; dwRate follows it. Empty when none was found.
    std::optional<std::uint64_t> scalePos;
    AviScanEnd end = AviScanEnd::Complete;
};

enum class AviRateOutcome {
    Written,              // scale and rate written at scalePos
    BadFps,               // fps not a positive finite number giving a 32-bit scale >= 1
    NoVideoHeader,        // no video or interleaved stream header was found
    CannotOpenForWriting, // the file is unchanged
    WriteFailed,          // opened for writing but the write did not complete
};

struct AviRateResult {
    AviRateOutcome outcome = AviRateOutcome::NoVideoHeader;
    std::uint32_t scale = 0; // dwScale to write (0 with BadFps)
    std::uint32_t rate = 0;  // dwRate to write
    std::optional<std::uint64_t> scalePos;
    AviScanEnd scanEnd = AviScanEnd::Complete;
};

// dwRate written with every rewrite; dwScale is this divided by fps.
inline constexpr std::uint32_t kAviRewriteRate = 1000000;

// 1000000 / fps rounded to the nearest integer, halves to even. Empty when
// fps is not a positive finite number or the result is 0 or needs more than
// 32 bits (such a header would make players divide by zero or read garbage).
std::optional<std::uint32_t> AviScaleForFps(double fps);

class AviWalker {
public:
    explicit AviWalker(AviFileAccess& files = LocalAviFileAccess());

    // Called at every chunk so that a user interface stays responsive during
    // the walk; no-op by default.
    void setPumpEvents(std::function<void()> hook);

    // The walk alone, over an opened source.
    AviScanResult scan(AviSource& source);
    // The walk over a file; NoFile when it cannot be opened for reading.
    AviScanResult scanFile(const std::filesystem::path& path);
    // Walks the file, then overwrites dwScale and dwRate of the video stream
    // header found. On any outcome but Written the file is unchanged, except
    // WriteFailed, where the write may have been partial.
    AviRateResult setFrameRate(const std::filesystem::path& path, double fps);

    // Kind of the last stream header seen. It is kept from one walk to the
    // next: a "strf" met before any "strh" of a walk is read as belonging to
    // the previous walk's last stream.
    AviStreamKind lastKind() const { return lastKind_; }

private:
    AviFileAccess& files_;
    std::function<void()> pumpEvents_;
    AviStreamKind lastKind_ = AviStreamKind::Video;
};

// The walker the application uses (one per process), with its pump hook set
// by the application once at start-up.
AviWalker& ApplicationAviWalker();

// Shorthands on ApplicationAviWalker().
AviScanResult AviScanStreams(const std::filesystem::path& path);
AviRateResult AviSetFrameRate(const std::filesystem::path& path, double fps);

// One-line English descriptions, for tools and logs.
std::string AviScanEndText(AviScanEnd end);
std::string AviRateOutcomeText(AviRateOutcome outcome);

} // namespace talvence
