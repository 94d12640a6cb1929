#include "postproc/fpsunit.h"

#include "postproc/RegularFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence {

namespace {

using FourCC = std::array<char, 4>;

constexpr FourCC Fcc(const char (&text)[5]) {
    return {text[0], text[1], text[2], text[3]};
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

FourCC ToFcc(const std::uint8_t* p) {
    return {char(p[0]), char(p[1]), char(p[2]), char(p[3])};
}

// Byte counts read to move over the known leaf chunks.
constexpr std::uint32_t kStreamHeaderBytes = 56;
constexpr std::uint32_t kMainHeaderBytes = 56;
constexpr std::uint32_t kBitmapHeaderBytes = 40;
constexpr std::uint32_t kDvInfoBytes = 32;
constexpr std::uint32_t kWaveFormatBytes = 18;
constexpr std::uint32_t kIndexReadBytes = 16384;
// dwScale and dwRate must both lie inside the stream header chunk's own data
// before their position is taken: writing them otherwise would change bytes
// of whatever follows a too-short header.
constexpr std::uint64_t kScaleOffset = 20;
constexpr std::uint64_t kRateFieldsEnd = 28;
// Moves inside a chunk are signed 32-bit.
constexpr std::uint64_t kLargestChunk = 0x7FFFFFFF;
// RIFF > hdrl > strl is as deep as AVI goes; a few levels more are tolerated,
// beyond that a list is skipped whole: recursing on would exhaust the stack.
constexpr int kMaxListDepth = 32;
// How far past a chunk whose size runs out of its parent the walk looks for
// the next list of that parent.
constexpr std::size_t kResyncBytes = 4096;

// Where a chunk lies: only a stream header inside RIFF "AVI " > LIST "hdrl" >
// LIST "strl" describes a stream of the file.
enum class Place { Top, Avi, Header, StreamList, Elsewhere };

Place PlaceInside(Place outer, const FourCC& id, const FourCC& type) {
    if (outer == Place::Top && id == Fcc("RIFF") && type == Fcc("AVI ")) return Place::Avi;
    if (outer == Place::Avi && id == Fcc("LIST") && type == Fcc("hdrl")) return Place::Header;
    if (outer == Place::Header && id == Fcc("LIST") && type == Fcc("strl"))
        return Place::StreamList;
    return Place::Elsewhere;
}

// One walk over one source: the cursor, the stop flag and what was found.
class Walk {
public:
    Walk(AviSource& source, AviStreamKind& kind, const std::function<void()>& pump)
        : source_(source), size_(source.size()), kind_(kind), pump_(pump) {}

    AviScanResult run() {
        std::uint64_t remaining = size_;
        while (remaining > 0) {
            const std::uint64_t n = walkChunk(true, 0, Place::Top, remaining);
            if (stopped_ || n == 8) break;
            if (n >= remaining) break;
            remaining -= n;
        }
        AviScanResult result;
        result.end = end_;
        if (end_ != AviScanEnd::ChunkTooLarge) result.scalePos = scalePos_;
        return result;
    }

private:
    void pump() {
        if (pump_) pump_();
    }

    void stop(AviScanEnd why) {
        stopped_ = true;
        end_ = why;
    }

    // Damage the walk goes on after; the first is reported.
    void note(AviScanEnd what) {
        if (end_ == AviScanEnd::Complete) end_ = what;
    }

    // The cursor onto the next "LIST" header that fits before `end`, looked
    // for at even offsets from `from`; onto `end` when there is none.
    void resync(std::uint64_t from, std::uint64_t end) {
        std::uint8_t* const window = buffer_.data();
        const std::size_t wanted = std::size_t(std::min<std::uint64_t>(end - from, kResyncBytes));
        const std::size_t got = source_.readAt(from, window, wanted);
        for (std::size_t o = 0; o + 12 <= got; o += 2) {
            if (ToFcc(window + o) != Fcc("LIST")) continue;
            const std::uint64_t size = ReadLe32(window + o + 4);
            if (size >= 4 && from + o + 8 + size <= end) {
                pos_ = std::int64_t(from + o);
                return;
            }
        }
        pos_ = std::int64_t(end);
    }

    // Reads count bytes at the cursor and advances it; a short read stops the
    // walk.
    bool read(void* buffer, std::size_t count) {
        std::size_t got = 0;
        if (pos_ >= 0 && std::uint64_t(pos_) < size_)
            got = source_.readAt(std::uint64_t(pos_), buffer, count);
        pos_ += std::int64_t(got);
        if (got < count) {
            stop(AviScanEnd::ShortRead);
            return false;
        }
        return true;
    }

    // A skip may leave the cursor past the end; the next read then stops.
    void skip(std::uint32_t count) { pos_ += std::int64_t(count); }

    // Returns the bytes the chunk occupies, header included (0 on a short
    // read of its header). `room` is what is left of the parent from the
    // chunk's header on: a chunk declared larger is damaged, clamped to it
    // and flagged in damaged_.
    std::uint64_t walkChunk(bool topLevel, int depth, Place place, std::uint64_t room) {
        pump();
        std::uint8_t head[8];
        if (!read(head, sizeof head)) return 0;
        const FourCC id = ToFcc(head);
        if (topLevel && id != Fcc("RIFF")) {
            stop(AviScanEnd::NotRiff);
            return 8;
        }
        std::uint64_t declared = ReadLe32(head + 4);
        declared += declared & 1;
        const std::uint64_t dataStart = std::uint64_t(pos_);
        declared = std::min(declared, size_ - dataStart);
        if (!topLevel && declared > room - 8) {
            declared = room - 8;
            damaged_ = true;
        }
        const std::uint64_t result = declared + 8;
        if (declared > kLargestChunk) {
            stop(AviScanEnd::ChunkTooLarge);
            return result;
        }
        if (declared == 0) return result;

        // Kept modulo 2^32 on purpose: reading a fixed-size structure out of a
        // smaller chunk makes it "negative", and the signed move at the end
        // gives the extra bytes back.
        std::uint32_t size = std::uint32_t(declared);
        std::uint8_t* const buffer = buffer_.data();

        if (id == Fcc("RIFF") || id == Fcc("LIST")) {
            if (depth >= kMaxListDepth) {
                // Nothing of the file's own lies this deep: the list is passed over.
                note(AviScanEnd::TooDeep);
                damaged_ = false;
                skip(size);
                return result;
            }
            // A damaged list is walked within its parent: its children may be sound.
            damaged_ = false;
            if (!read(buffer, 4)) return result;
            size -= 4;
            const FourCC type = ToFcc(buffer);
            if (type == Fcc("movi")) {
                skip(size);
                return result;
            }
            const Place inner = PlaceInside(place, id, type);
            const std::uint64_t end = dataStart + declared;
            while (size > 7) {
                const std::uint64_t childStart = std::uint64_t(pos_);
                const std::uint64_t n = walkChunk(false, depth + 1, inner, size);
                if (stopped_) return result;
                if (damaged_) {
                    // Its size is not to be trusted: the parent's next list
                    // may lie inside what it claims.
                    damaged_ = false;
                    resync(childStart + 8, end);
                    size = std::uint32_t(end - std::uint64_t(pos_));
                    continue;
                }
                size -= std::uint32_t(n);
            }
        } else if (id == Fcc("strh")) {
            if (!read(buffer, kStreamHeaderBytes)) return result;
            size -= kStreamHeaderBytes;
            const FourCC type = ToFcc(buffer);
            if (type == Fcc("vids") || type == Fcc("iavs")) {
                kind_ = type == Fcc("vids") ? AviStreamKind::Video : AviStreamKind::Interleaved;
                // A header anywhere else (a decoy in some other list) is not the file's.
                if (declared >= kRateFieldsEnd && place == Place::StreamList)
                    scalePos_ = dataStart + kScaleOffset;
            } else if (type == Fcc("auds")) {
                kind_ = AviStreamKind::Audio;
            } else {
                kind_ = AviStreamKind::Other;
            }
        } else if (id == Fcc("avih")) {
            if (!read(buffer, kMainHeaderBytes)) return result;
            size -= kMainHeaderBytes;
        } else if (id == Fcc("strf")) {
            if (kind_ == AviStreamKind::Video) {
                if (!read(buffer, kBitmapHeaderBytes)) return result;
                size -= kBitmapHeaderBytes;
                std::string code(reinterpret_cast<const char*>(buffer + 16), 4);
                for (char& c : code)
                    c = char(std::tolower(static_cast<unsigned char>(c)));
                if (size > 31 && (code == "dvsd" || code == "dsvd" || code == "csvd")) {
                    if (!read(buffer, kDvInfoBytes)) return result;
                    size -= kDvInfoBytes;
                }
            } else if (kind_ == AviStreamKind::Audio) {
                if (!read(buffer, kWaveFormatBytes)) return result;
                size -= kWaveFormatBytes;
            } else if (kind_ == AviStreamKind::Interleaved) {
                if (!read(buffer, kDvInfoBytes)) return result;
                size -= kDvInfoBytes;
            }
        } else if (id == Fcc("indx") || (id[0] == 'i' && id[1] == 'x')) {
            if (!read(buffer, kIndexReadBytes)) return result;
            size -= kIndexReadBytes;
        } else if (id == Fcc("idx1")) {
            skip(size);
            return result;
        }

        if (size != 0) {
            pos_ += std::int64_t(std::int32_t(size));
            pump();
        }
        return result;
    }

    AviSource& source_;
    const std::uint64_t size_;
    AviStreamKind& kind_;
    const std::function<void()>& pump_;
    std::int64_t pos_ = 0;
    bool stopped_ = false;
    AviScanEnd end_ = AviScanEnd::Complete;
    std::optional<std::uint64_t> scalePos_;
    // The chunk just walked ran past its parent (see walkChunk).
    bool damaged_ = false;
    // One buffer for the whole walk, off the stack: the walk recurses.
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kIndexReadBytes);
};

class FdSource : public AviSource {
public:
    FdSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FdSource() override { ::close(fd_); }
    FdSource(const FdSource&) = delete;
    FdSource& operator=(const FdSource&) = delete;

    std::uint64_t size() const override { return size_; }

    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset >= size_) return 0;
        count = std::size_t(std::min<std::uint64_t>(count, size_ - offset));
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n =
                ::pread(fd_, static_cast<char*>(buffer) + done, count - done, off_t(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += std::size_t(n);
        }
        return done;
    }

private:
    int fd_;
    std::uint64_t size_;
};

class LocalFiles : public AviFileAccess {
public:
    std::unique_ptr<AviSource> openForReading(const std::filesystem::path& path) override {
        std::string error;
        const int fd = OpenRegularFileForReading(path, error);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<FdSource>(fd, std::uint64_t(st.st_size));
    }

    AviWriteStatus writeAt(const std::filesystem::path& path, std::uint64_t offset,
                           std::span<const std::uint8_t> bytes) override {
        // Non-blocking: a FIFO that took the name since the walk must not hang the write.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return AviWriteStatus::CannotOpen;
        // The file may have shrunk since it was walked: never extend it.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            offset + bytes.size() > std::uint64_t(st.st_size)) {
            ::close(fd);
            return AviWriteStatus::CannotOpen;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += std::size_t(n);
        }
        const bool closed = ::close(fd) == 0;
        return done == bytes.size() && closed ? AviWriteStatus::Written : AviWriteStatus::Failed;
    }
};

} // namespace

std::size_t MemoryAviSource::readAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= bytes_.size()) return 0;
    count = std::size_t(std::min<std::uint64_t>(count, bytes_.size() - offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

AviFileAccess& LocalAviFileAccess() {
    static LocalFiles files;
    return files;
}

std::optional<std::uint32_t> AviScaleForFps(double fps) {
    if (!std::isfinite(fps) || fps <= 0) return std::nullopt;
    const double exact = 1000000.0 / fps;
    if (!std::isfinite(exact) || exact >= 4294967295.5) return std::nullopt;
    // Halves to even, whatever rounding mode the process runs in.
    double whole = std::floor(exact);
    const double fraction = exact - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < 1.0 || whole > 4294967295.0) return std::nullopt;
    return std::uint32_t(whole);
}

AviWalker::AviWalker(AviFileAccess& files) : files_(files) {}

void AviWalker::setPumpEvents(std::function<void()> hook) {
    pumpEvents_ = std::move(hook);
}

AviScanResult AviWalker::scan(AviSource& source) {
    return Walk(source, lastKind_, pumpEvents_).run();
}

AviScanResult AviWalker::scanFile(const std::filesystem::path& path) {
    const std::unique_ptr<AviSource> source = files_.openForReading(path);
    if (!source) {
        AviScanResult result;
        std::error_code ec;
        const auto type = std::filesystem::status(path, ec).type();
        result.end = !ec && type != std::filesystem::file_type::regular ? AviScanEnd::NotRegular
                                                                        : AviScanEnd::NoFile;
        return result;
    }
    return scan(*source);
}

AviRateResult AviWalker::setFrameRate(const std::filesystem::path& path, double fps) {
    AviRateResult result;
    const std::optional<std::uint32_t> scale = AviScaleForFps(fps);
    if (!scale) {
        result.outcome = AviRateOutcome::BadFps;
        return result;
    }
    result.scale = *scale;
    result.rate = kAviRewriteRate;

    const AviScanResult scan = scanFile(path);
    result.scanEnd = scan.end;
    result.scalePos = scan.scalePos;
    if (!scan.scalePos) {
        result.outcome = AviRateOutcome::NoVideoHeader;
        return result;
    }

    std::array<std::uint8_t, 8> fields{};
    for (int i = 0; i < 4; ++i) {
        fields[i] = std::uint8_t(result.scale >> (8 * i));
        fields[4 + i] = std::uint8_t(result.rate >> (8 * i));
    }
    switch (files_.writeAt(path, *scan.scalePos, fields)) {
    case AviWriteStatus::Written:
        result.outcome = AviRateOutcome::Written;
        break;
    case AviWriteStatus::CannotOpen:
        result.outcome = AviRateOutcome::CannotOpenForWriting;
        break;
    case AviWriteStatus::Failed:
        result.outcome = AviRateOutcome::WriteFailed;
        break;
    }
    return result;
}

AviWalker& ApplicationAviWalker() {
    static AviWalker walker;
    return walker;
}

AviScanResult AviScanStreams(const std::filesystem::path& path) {
    return ApplicationAviWalker().scanFile(path);
}

AviRateResult AviSetFrameRate(const std::filesystem::path& path, double fps) {
    return ApplicationAviWalker().setFrameRate(path, fps);
}

std::string AviScanEndText(AviScanEnd end) {
    switch (end) {
    case AviScanEnd::Complete:
        return "walked to the end";
    case AviScanEnd::NoFile:
        return "the file cannot be read";
    case AviScanEnd::NotRegular:
        return "not a regular file (a FIFO, a device or a directory)";
    case AviScanEnd::NotRiff:
        return "stopped at a top-level chunk that is not RIFF";
    case AviScanEnd::ShortRead:
        return "the file ends inside a chunk";
    case AviScanEnd::ChunkTooLarge:
        return "a chunk of 2 GiB or more is outside the walker's range";
    case AviScanEnd::TooDeep:
        return "lists nested too deeply";
    }
    return "unknown";
}

std::string AviRateOutcomeText(AviRateOutcome outcome) {
    switch (outcome) {
    case AviRateOutcome::Written:
        return "frame rate written";
    case AviRateOutcome::BadFps:
        return "the frame rate must be a positive number giving a scale of 1 to 4294967295";
    case AviRateOutcome::NoVideoHeader:
        return "no video stream header found";
    case AviRateOutcome::CannotOpenForWriting:
        return "the file cannot be opened for writing";
    case AviRateOutcome::WriteFailed:
        return "writing the stream header failed";
    }
    return "unknown";
}

} // namespace talvence
