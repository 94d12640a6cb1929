#include "tests/support/AviWriterTestSupport.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace talvence::testing {
namespace {

std::vector<Bytes> SplitFrames(const Bytes& file, std::size_t frameBytes) {
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at + frameBytes <= file.size(); at += frameBytes)
        frames.emplace_back(file.begin() + at, file.begin() + at + frameBytes);
    return frames;
}

std::vector<Bytes> MakeDvFrames(const std::string& input, const std::string& pixFmt,
                                std::size_t frameBytes) {
    TempDir dir;
    const auto clip = dir / "clip.dv";
    const ToolRun run =
        RunTool("ffmpeg -nostdin -v error -y " + input +
                " -f lavfi -i sine=sample_rate=48000 -ac 2 -shortest -pix_fmt " + pixFmt +
                " -c:v dvvideo -c:a pcm_s16le -f dv " + Quote(clip) + " 2>&1");
    if (run.status != 0) throw std::runtime_error("ffmpeg could not make DV frames: " + run.out);
    return SplitFrames(ReadBytes(clip), frameBytes);
}

void CollectAll(const Chunk& c, std::string_view wanted, std::vector<const Chunk*>& out) {
    for (const Chunk& child : c.children) {
        if (child.id == wanted || child.listType == wanted) out.push_back(&child);
        if (child.listType != "movi") CollectAll(child, wanted, out);
    }
}

std::string Fcc(const Bytes& b, std::uint64_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

bool ReadChunks(const Bytes& file, std::uint64_t from, std::uint64_t to, std::vector<Chunk>& out) {
    std::uint64_t at = from;
    while (at + 8 <= to) {
        Chunk c;
        c.id = Fcc(file, at);
        c.offset = at;
        c.size = Le32At(file, at + 4);
        const std::uint64_t end = at + 8 + c.size;
        if (end > to) return false;
        if (c.id == "RIFF" || c.id == "LIST") {
            if (c.size < 4) return false;
            c.listType = Fcc(file, at + 8);
            if (!ReadChunks(file, at + 12, end, c.children)) return false;
        }
        const std::uint64_t next = end + (c.size & 1);
        out.push_back(std::move(c));
        at = next;
    }
    return true;
}

} // namespace

std::uint32_t Le32At(const Bytes& b, std::uint64_t at) {
    return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 |
           std::uint32_t(b.at(at + 2)) << 16 | std::uint32_t(b.at(at + 3)) << 24;
}

const std::vector<Bytes>& PalDvFrames() {
    static const std::vector<Bytes> frames =
        MakeDvFrames("-f lavfi -i testsrc=size=720x576:rate=25:duration=2", "yuv420p", 144000);
    return frames;
}

const std::vector<Bytes>& NtscDvFrames() {
    static const std::vector<Bytes> frames = MakeDvFrames(
        "-f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=1.001", "yuv411p", 120000);
    return frames;
}

Bytes PcmForFrame(std::size_t frame) {
    Bytes pcm;
    pcm.reserve(1920 * 4);
    for (std::size_t i = 0; i < 1920; ++i) {
        const double t = double(frame * 1920 + i) / 48000.0;
        const auto v = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * t)));
        for (int ch = 0; ch < 2; ++ch) {
            pcm.push_back(std::uint8_t(v));
            pcm.push_back(std::uint8_t(std::uint16_t(v) >> 8));
        }
    }
    return pcm;
}

std::vector<ProbedStream> Probe(const std::filesystem::path& path) {
    const ToolRun run = RunTool(
        "ffprobe -v error -count_frames -show_entries "
        "stream=index,codec_type,codec_name,r_frame_rate,avg_frame_rate,nb_frames,nb_read_frames,"
        "sample_rate,channels,width,height -of compact=p=0 " +
        Quote(path) + " 2>&1");
    std::vector<ProbedStream> streams;
    if (run.status != 0) return streams;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("index=") != 0) continue;
        ProbedStream stream;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            const auto eq = field.find('=');
            if (eq != std::string::npos) stream[field.substr(0, eq)] = field.substr(eq + 1);
        }
        streams.push_back(stream);
    }
    return streams;
}

Bytes ExtractRawVideo(const std::filesystem::path& path) {
    const auto out = path.string() + ".raw";
    const ToolRun run = RunTool("ffmpeg -nostdin -v error -y -i " + Quote(path) +
                                " -map 0:v -c copy -f rawvideo " + Quote(out) + " 2>&1");
    if (run.status != 0) return {};
    Bytes bytes = ReadBytes(out);
    std::filesystem::remove(out);
    return bytes;
}

const Chunk* Chunk::find(std::string_view wanted) const {
    const auto all = findAll(wanted);
    return all.empty() ? nullptr : all.front();
}

std::vector<const Chunk*> Chunk::findAll(std::string_view wanted) const {
    std::vector<const Chunk*> out;
    CollectAll(*this, wanted, out);
    return out;
}

std::vector<Chunk> ReadRiff(const Bytes& file, bool* malformed) {
    std::vector<Chunk> chunks;
    const bool ok = ReadChunks(file, 0, file.size(), chunks);
    if (malformed) *malformed = !ok;
    return chunks;
}

std::optional<std::vector<std::size_t>> IndexedChunkCounts(const Bytes& file) {
    const auto top = ReadRiff(file);
    auto declared = [&](std::uint64_t from, std::uint64_t bytes) {
        for (const Chunk& riff : top)
            if (riff.id == "RIFF" && from >= riff.offset &&
                from + bytes <= riff.offset + 8 + riff.size &&
                riff.offset + 8 + riff.size <= file.size())
                return true;
        return false;
    };
    auto le64 = [&](std::uint64_t at) {
        return Le32At(file, at) | std::uint64_t(Le32At(file, at + 4)) << 32;
    };
    if (top.empty() || top[0].listType != "AVI ") return std::nullopt;
    std::vector<std::size_t> counts;
    for (const Chunk* indx : top[0].findAll("indx")) {
        const std::uint64_t data = indx->dataOffset();
        const std::uint32_t used = Le32At(file, data + 4);
        const std::string id = Fcc(file, data + 8);
        std::size_t count = 0;
        for (std::uint32_t k = 0; k < used; ++k) {
            const std::uint64_t ix = le64(data + 24 + 16 * k);
            if (!declared(ix, 8 + 24) || !declared(ix, 8 + Le32At(file, ix + 4)))
                return std::nullopt;
            const std::uint32_t entries = Le32At(file, ix + 8 + 4);
            const std::uint64_t base = le64(ix + 8 + 12);
            for (std::uint32_t e = 0; e < entries; ++e) {
                const std::uint64_t at = base + Le32At(file, ix + 32 + 8 * e);
                const std::uint32_t size = Le32At(file, ix + 36 + 8 * e) & 0x7FFFFFFFu;
                if (at < 8 || !declared(at - 8, 8 + size) || Fcc(file, at - 8) != id ||
                    Le32At(file, at - 4) != size)
                    return std::nullopt;
                ++count;
            }
        }
        counts.push_back(count);
    }
    return counts;
}

Bytes Concat(const std::vector<Bytes>& parts, std::size_t count) {
    Bytes out;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i)
        out.insert(out.end(), parts[i].begin(), parts[i].end());
    return out;
}

} // namespace talvence::testing
