#include "postproc/AviRepair.h"

#include "platform/media/filters/avi/AviFileWriter.h"
#include "postproc/ecrire_scnUnit.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace talvence {
namespace {

constexpr FourCc kRiff = MakeFourCc("RIFF");
constexpr FourCc kList = MakeFourCc("LIST");
// A stream format or an ix## chunk larger than this is not one a writer made.
constexpr std::uint32_t kMaxFormatBytes = 0xFFFF;
constexpr std::uint32_t kMaxIndexBytes = 64u << 20;

class Reader {
public:
    explicit Reader(AviSource& source) : source_(source), size_(source.size()) {}
    std::uint64_t size() const { return size_; }

    // Reads all of it or nothing.
    bool read(std::uint64_t at, void* into, std::size_t count) {
        return at <= size_ && count <= size_ - at && source_.readAt(at, into, count) == count;
    }
    bool le32(std::uint64_t at, std::uint32_t& v) {
        std::uint8_t b[4];
        if (!read(at, b, 4)) return false;
        v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
            std::uint32_t(b[3]) << 24;
        return true;
    }
    std::uint32_t le32At(const std::vector<std::uint8_t>& b, std::size_t at) {
        return at + 4 > b.size()
                   ? 0
                   : std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
                         std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
    }
    std::vector<std::uint8_t> bytes(std::uint64_t at, std::uint32_t count) {
        std::vector<std::uint8_t> b(count);
        if (!read(at, b.data(), count)) b.clear();
        return b;
    }

private:
    AviSource& source_;
    std::uint64_t size_;
};

bool Printable(FourCc id) {
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::uint64_t Padded(std::uint32_t size) {
    return std::uint64_t(size) + (size & 1);
}

// Stream number of a data chunk id ('00dc', '01wb', ...); -1 for other chunks.
int DataStream(FourCc id) {
    const char c[4] = {char(id & 0xFF), char((id >> 8) & 0xFF), char((id >> 16) & 0xFF),
                       char(id >> 24)};
    if (c[0] < '0' || c[0] > '9' || c[1] < '0' || c[1] > '9') return -1;
    const std::string kind{c[2], c[3]};
    if (kind != "dc" && kind != "db" && kind != "wb" && kind != "pc") return -1;
    return (c[0] - '0') * 10 + (c[1] - '0');
}

bool IsStdIndex(FourCc id) {
    return (id & 0xFFFF) == (MakeFourCc("ix00") & 0xFFFF);
}

// One 'strl': its stream, or a problem.
std::string ReadStream(Reader& in, std::uint64_t from, std::uint64_t to, AviStreamFormat& f) {
    std::vector<std::uint8_t> strh, strf;
    for (std::uint64_t pos = from; pos + 8 <= to;) {
        std::uint32_t id = 0, size = 0;
        if (!in.le32(pos, id) || !in.le32(pos + 4, size) || pos + 8 + size > to) break;
        if (id == MakeFourCc("strh") && size >= 48) strh = in.bytes(pos + 8, std::min(size, 64u));
        if (id == MakeFourCc("strf") && size <= kMaxFormatBytes) strf = in.bytes(pos + 8, size);
        pos += 8 + Padded(size);
    }
    if (strh.empty() || strf.empty()) return "a stream has no readable header or format";
    const FourCc type = in.le32At(strh, 0);
    if (type == kFccVids)
        f.role = AviStreamRole::Video;
    else if (type == kFccAuds)
        f.role = AviStreamRole::Audio;
    else if (type == kFccIavs)
        f.role = AviStreamRole::Interleaved;
    else
        return "a stream has the unknown type '" + FourCcText(type) + "'";
    f.fccHandler = in.le32At(strh, 4);
    f.scale = in.le32At(strh, 20);
    f.rate = in.le32At(strh, 24);
    f.sampleSize = in.le32At(strh, 44);
    f.width = std::uint16_t(in.le32At(strh, 52) & 0xFFFF);
    f.height = std::uint16_t(in.le32At(strh, 52) >> 16);
    f.format = std::move(strf);
    // BI_RGB and BI_BITFIELDS pictures are stored as '##db' chunks.
    const std::uint32_t compression = in.le32At(f.format, 16);
    f.uncompressed = f.role == AviStreamRole::Video && (compression == 0 || compression == 3);
    return AviStreamProblem(f);
}

std::string ReadHeaderList(Reader& in, std::uint64_t from, std::uint64_t to,
                           std::vector<AviStreamFormat>& streams) {
    for (std::uint64_t pos = from; pos + 12 <= to;) {
        std::uint32_t id = 0, size = 0, type = 0;
        if (!in.le32(pos, id) || !in.le32(pos + 4, size) || pos + 8 + size > to) break;
        if (id == kList && in.le32(pos + 8, type) && type == MakeFourCc("strl")) {
            AviStreamFormat f;
            const std::string problem = ReadStream(in, pos + 12, pos + 8 + size, f);
            if (!problem.empty())
                return "stream " + std::to_string(streams.size()) + ": " + problem;
            streams.push_back(std::move(f));
        }
        pos += 8 + Padded(size);
    }
    return streams.empty() ? "the header describes no stream" : "";
}

// Offsets (of the data) that an ix## chunk lists as delta frames.
void ReadDeltaFrames(Reader& in, std::uint64_t at, std::uint32_t size,
                     std::unordered_set<std::uint64_t>& deltas) {
    if (size < 24 || size > kMaxIndexBytes) return;
    const std::vector<std::uint8_t> ix = in.bytes(at + 8, size);
    if (ix.empty() || ix[3] != 1 /* index of chunks */) return;
    const std::uint64_t base = in.le32At(ix, 12) | std::uint64_t(in.le32At(ix, 16)) << 32;
    const std::uint32_t entries = std::min<std::uint32_t>(in.le32At(ix, 4), (size - 24) / 8);
    for (std::uint32_t e = 0; e < entries; ++e)
        if (in.le32At(ix, 24 + 8 * e + 4) & kAviStdIndexDeltaFrame)
            deltas.insert(base + in.le32At(ix, 24 + 8 * e));
}

} // namespace

std::vector<std::uint64_t> AviChunkScan::chunksPerStream() const {
    std::vector<std::uint64_t> counts(streams.size());
    for (const AviFoundChunk& c : chunks)
        ++counts[c.stream];
    return counts;
}

AviChunkScan ScanAviChunks(AviSource& source) {
    AviChunkScan scan;
    Reader in(source);
    std::uint32_t id = 0, size = 0, type = 0;
    if (!in.le32(0, id) || !in.le32(8, type) || id != kRiff || type != MakeFourCc("AVI ")) {
        scan.problem = "not an AVI file";
        return scan;
    }

    // The first RIFF's top level, up to 'movi'; its size is not trusted.
    std::uint64_t pos = 12;
    bool movi = false;
    while (!movi && pos + 12 <= in.size()) {
        if (!in.le32(pos, id) || !in.le32(pos + 4, size) || !in.le32(pos + 8, type)) break;
        if (id == kList && type == MakeFourCc("hdrl")) {
            if (pos + 8 + size > in.size()) break;
            scan.problem = ReadHeaderList(in, pos + 12, pos + 8 + size, scan.streams);
            if (!scan.problem.empty()) return scan;
        } else if (id == kList && type == MakeFourCc("movi")) {
            movi = true;
            pos += 12;
            break;
        } else if (!Printable(id)) {
            break;
        }
        pos += 8 + Padded(size);
    }
    if (scan.streams.empty()) {
        scan.problem = "the file has no complete header";
        return scan;
    }
    if (!movi) {
        scan.problem = "the file has no 'movi' list";
        return scan;
    }

    // The chunks one after the other, through every segment.
    std::unordered_set<std::uint64_t> deltas;
    while (pos + 8 <= in.size()) {
        if (!in.le32(pos, id) || !in.le32(pos + 4, size)) break;
        if (id == kRiff || id == kList) {
            // Step into a segment, its 'movi' or a 'rec ' list; skip other lists.
            if (!in.le32(pos + 8, type)) break;
            if (type == MakeFourCc("AVIX") || type == MakeFourCc("movi") ||
                type == MakeFourCc("rec ")) {
                pos += 12;
                continue;
            }
        } else if (!Printable(id)) {
            scan.dropped = std::to_string(in.size() - pos) + " bytes that are not chunks";
            break;
        }
        if (pos + 8 + size > in.size()) {
            scan.dropped = "a '" + FourCcText(id) + "' chunk cut short (" +
                           std::to_string(in.size() - pos - 8) + " of " + std::to_string(size) +
                           " bytes)";
            break;
        }
        const int stream = DataStream(id);
        if (stream >= 0 && std::size_t(stream) < scan.streams.size())
            scan.chunks.push_back({std::size_t(stream), pos, size, true});
        else if (IsStdIndex(id))
            ReadDeltaFrames(in, pos, size, deltas);
        pos += 8 + Padded(size);
    }
    if (pos < in.size()) {
        scan.droppedBytes = in.size() - pos;
        if (scan.dropped.empty())
            scan.dropped = std::to_string(scan.droppedBytes) + " bytes too few for a chunk";
    }
    for (AviFoundChunk& c : scan.chunks)
        c.keyframe = !deltas.contains(c.offset + 8);
    return scan;
}

AviRepairResult RepairAviFile(const std::filesystem::path& path) {
    AviRepairResult result;
    const std::unique_ptr<AviSource> source = LocalAviFileAccess().openForReading(path);
    if (!source) {
        result.error = "\"" + path.string() + "\" cannot be read";
        return result;
    }
    result.scan = ScanAviChunks(*source);
    if (!result.scan.problem.empty()) {
        result.error = "\"" + path.string() + "\" cannot be repaired: " + result.scan.problem;
        return result;
    }

    std::filesystem::path repairing = path;
    repairing += ".repairing";
    AviWriterOptions options;
    options.oldIndex = true;
    // One super-index entry per segment, whatever the size.
    options.superIndexEntries = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(source->size() / (options.segmentLimit / 2) + 4, 256, 65536));
    AviFileWriter writer;
    AviWriterStatus status = writer.open(repairing, result.scan.streams, options);
    std::vector<std::uint8_t> data;
    for (const AviFoundChunk& c : result.scan.chunks) {
        if (!status.ok()) break;
        data.resize(c.size);
        if (source->readAt(c.offset + 8, data.data(), c.size) != c.size) {
            status = {AviWriterError::WriteFailed, EIO,
                      "\"" + path.string() + "\" could not be read again"};
            break;
        }
        status = writer.writeSample(c.stream, data, c.keyframe);
    }
    const AviWriterStatus closed = writer.close();
    if (status.ok()) status = closed;

    // The repaired file is on the storage before it takes the original's place.
    if (status.ok()) {
        const int fd = ::open(repairing.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            status = {AviWriterError::WriteFailed, errno,
                      "\"" + repairing.string() +
                          "\" could not be synced: " + std::strerror(errno)};
        if (fd >= 0) ::close(fd);
    }
    if (status.ok() && std::rename(repairing.c_str(), path.c_str()) != 0)
        status = {AviWriterError::WriteFailed, errno,
                  "\"" + repairing.string() +
                      "\" could not replace the original: " + std::strerror(errno)};
    if (!status.ok()) {
        std::filesystem::remove(repairing);
        result.error = status.message;
        return result;
    }
    const int dir = ::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    result.ok = true;
    std::filesystem::path scene = path;
    scene.replace_extension(".scn");
    std::error_code exists;
    if (std::filesystem::is_regular_file(scene, exists)) {
        const std::vector<std::uint64_t> counts = result.scan.chunksPerStream();
        const auto frames = static_cast<std::uint32_t>(counts.empty() ? 0 : counts.front());
        result.sceneFile = scene.string();
        ScnEndAt(scene, frames, result.sceneError);
    }
    return result;
}

std::string AviRepairSummary(const AviRepairResult& result) {
    if (!result.ok) return result.error;
    std::string text = "kept";
    const std::vector<std::uint64_t> counts = result.scan.chunksPerStream();
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const AviStreamRole role = result.scan.streams[i].role;
        text += (i ? ", " : " ") + std::to_string(counts[i]) +
                (role == AviStreamRole::Audio ? " sound chunks" : " frames") + " of stream " +
                std::to_string(i);
    }
    text += "; dropped " + (result.scan.dropped.empty() ? "nothing" : result.scan.dropped);
    if (!result.sceneFile.empty())
        text += result.sceneError.empty()
                    ? "; scene file ended at the last frame"
                    : "; the scene file was left as it was: " + result.sceneError;
    return text;
}

std::vector<AviUnfinishedCapture> RepairUnfinishedCaptures(const std::filesystem::path& folder) {
    std::vector<AviUnfinishedCapture> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::string suffix = ".capturing";
        if (name.size() <= 1 + suffix.size() || name[0] != '.' || !name.ends_with(suffix) ||
            !entry.is_regular_file(error))
            continue;
        const std::filesystem::path file = folder / name.substr(1, name.size() - 1 - suffix.size());
        if (AviUnfinishedMarker(file) != entry.path()) continue;
        // A writer that still runs holds the lock: its file is not ours to touch.
        const int marker = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (marker < 0) continue;
        if (::flock(marker, LOCK_EX | LOCK_NB) != 0) {
            ::close(marker);
            continue;
        }
        AviUnfinishedCapture capture{file, {}};
        if (std::filesystem::exists(file, error))
            capture.repair = RepairAviFile(file);
        else
            capture.repair.ok = true;
        if (capture.repair.ok) std::filesystem::remove(entry.path(), error);
        ::close(marker);
        found.push_back(std::move(capture));
    }
    return found;
}

} // namespace talvence
