#include "postproc/ecrire_scnUnit.h"

#include "postproc/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence {

namespace {

constexpr std::uint8_t kHeadFixed[] = {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00,
                                       0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00};
constexpr std::string_view kSourceTape = "SourceTape";
constexpr std::uint8_t kClipTag[] = {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00};
constexpr std::string_view kClipP = "ClipP";
constexpr std::uint8_t kAfterClipP[] = {0x00, 0x00, 0x00};
constexpr std::uint8_t kSceneTag[] = {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00};
constexpr std::string_view kScene = "Scene";
constexpr std::uint8_t kAfterScene[] = {0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kFirstSceneMid[] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x80};
constexpr std::uint8_t kLaterSceneHead[] = {0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00};
constexpr std::uint8_t kLaterSceneMid[] = {0x00, 0x00, 0x00, 0x00, 0x07, 0x00};
constexpr std::size_t kZeros = 8;
constexpr std::size_t kLaterSceneSize = 35;

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N> void Put(Bytes& out, const std::uint8_t (&bytes)[N]) {
    out.insert(out.end(), bytes, bytes + N);
}
void Put(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}
void PutZeros(Bytes& out, std::size_t n) {
    out.insert(out.end(), n, 0);
}
void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}
void PutPath(Bytes& out, std::string_view path) {
    out.push_back(std::uint8_t(path.size()));
    Put(out, path);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool WriteAllAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// Reading cursor over the bytes of a scene file; never reads past the end.
class Cursor {
public:
    explicit Cursor(const Bytes& bytes) : bytes_(bytes) {}

    std::size_t pos() const { return pos_; }
    std::size_t left() const { return bytes_.size() - pos_; }

    bool expect(const std::uint8_t* data, std::size_t size) {
        if (left() < size || !std::equal(data, data + size, bytes_.begin() + pos_)) return false;
        pos_ += size;
        return true;
    }
    template <std::size_t N> bool expect(const std::uint8_t (&data)[N]) { return expect(data, N); }
    bool expect(std::string_view text) {
        return expect(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    bool expectZeros(std::size_t n) {
        if (left() < n || std::any_of(bytes_.begin() + pos_, bytes_.begin() + pos_ + n,
                                      [](std::uint8_t b) { return b != 0; }))
            return false;
        pos_ += n;
        return true;
    }
    bool byte(std::uint8_t& v) {
        if (left() < 1) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (left() < 2) return false;
        v = std::uint16_t(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (left() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(bytes_[pos_ + i]) << (8 * i);
        pos_ += 4;
        return true;
    }
    bool text(std::size_t n, std::string& out) {
        if (left() < n) return false;
        out.assign(bytes_.begin() + pos_, bytes_.begin() + pos_ + n);
        pos_ += n;
        return true;
    }

private:
    const Bytes& bytes_;
    std::size_t pos_ = 0;
};

std::string At(std::size_t offset) {
    return " at offset " + std::to_string(offset);
}

} // namespace

std::size_t ScnCountPos(std::string_view path) {
    return 33 + path.size();
}

std::vector<std::uint8_t> ScnHeaderBytes(std::string_view path, std::uint16_t count) {
    Bytes out;
    Put(out, kHeadFixed);
    Put(out, kSourceTape);
    PutPath(out, path);
    PutZeros(out, kZeros);
    out.push_back(std::uint8_t(count));
    out.push_back(std::uint8_t(count >> 8));
    Put(out, kClipTag);
    Put(out, kClipP);
    Put(out, kAfterClipP);
    Put(out, kSceneTag);
    Put(out, kScene);
    Put(out, kAfterScene);
    return out;
}

std::vector<std::uint8_t> ScnFirstSceneBytes(std::string_view path, std::uint32_t e) {
    Bytes out;
    Put32(out, e);
    Put(out, kFirstSceneMid);
    PutPath(out, path);
    PutZeros(out, kZeros);
    Put32(out, e);
    return out;
}

std::vector<std::uint8_t> ScnLaterSceneBytes(std::uint32_t s, std::uint32_t n) {
    Bytes out;
    Put(out, kLaterSceneHead);
    Put32(out, s);
    Put32(out, n);
    Put(out, kLaterSceneMid);
    Put32(out, s);
    Put32(out, n);
    Put32(out, s);
    return out;
}

bool ScnWriter::create(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    // Readers open the video beside the file by this path, from wherever they run.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    path_ = ec ? path.string() : full.string();
    sceneCount_ = 0;
    active_ = false;
    entries_.clear();
    runStart_ = 0;
    if (path_.size() > kScnMaxPathBytes) return false;

    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const Bytes header = ScnHeaderBytes(path_, 0);
    const bool written = WriteAll(fd, header.data(), header.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) return false;
    countPos_ = ScnCountPos(path_);
    active_ = true;
    return true;
}

void ScnWriter::appendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current) {
    // Copies first: the detector may change its records while we write.
    const DvFrameInfo start = sceneStart;
    const DvFrameInfo now = current;

    std::lock_guard lock(mutex_);
    // Without a header of ours (create failed or was refused) the count
    // position is unknown: writing would damage whatever file is there.
    if (!active_) return;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (sceneCount_ >= kScnMaxScenes || ::fstat(fd, &st) != 0 ||
        std::uint64_t(st.st_size) < countPos_ + 2) {
        ::close(fd);
        return;
    }

    const std::uint64_t end = std::uint64_t(st.st_size);
    const std::int32_t count = sceneCount_ + 1;
    const Entry scene = count == 1
                            ? Entry{1, now.frameCount, end}
                            : Entry{start.frameCount + 1, now.frameCount - start.frameCount, end};
    const Bytes entry = ScnSceneBytes(path_, entries_.size(), scene.first, scene.length);
    if (!WriteAllAt(fd, entry.data(), entry.size(), end)) {
        // A half-written entry would shift every later one: give the bytes back
        // so the file keeps its last good layout and the scene is just dropped.
        [[maybe_unused]] const int ignored = ::ftruncate(fd, off_t(end));
        ::close(fd);
        return;
    }
    // The entry is in the file, so it is counted even if the count word below
    // cannot be written now; the next scene writes the count again.
    sceneCount_ = count;
    entries_.push_back(scene);
    const std::uint8_t countBytes[2] = {std::uint8_t(count), std::uint8_t(count >> 8)};
    WriteAllAt(fd, countBytes, sizeof countBytes, countPos_);
    ::close(fd);
}

std::vector<std::uint8_t> ScnSceneBytes(std::string_view path, std::size_t index,
                                        std::uint32_t start, std::uint32_t frames) {
    return index == 0 ? ScnFirstSceneBytes(path, frames + 1) : ScnLaterSceneBytes(start, frames);
}

void ScnWriter::endRun(std::uint32_t framesInFile) {
    std::lock_guard lock(mutex_);
    if (!active_) return;
    const std::size_t runStart = runStart_;
    std::size_t keep = entries_.size();
    while (keep > runStart && entries_[keep - 1].first > framesInFile)
        --keep;
    if (keep == 0) {
        // Not one frame of the capture reached its file.
        if (framesInFile == 0 && ::unlink(path_.c_str()) == 0) {
            active_ = false;
            sceneCount_ = 0;
        }
        entries_.clear();
        runStart_ = 0;
        return;
    }
    const bool lastOfRun = keep > runStart;
    Entry last = entries_[keep - 1];
    if (lastOfRun) last.length = framesInFile - last.first + 1;
    if (keep == entries_.size() && (!lastOfRun || last.length == entries_[keep - 1].length)) {
        runStart_ = entries_.size();
        return;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    // Cut back to the last scene kept and write it again with its new length.
    const Bytes entry = ScnSceneBytes(path_, keep - 1, last.first, last.length);
    if (::ftruncate(fd, off_t(last.offset)) == 0 &&
        WriteAllAt(fd, entry.data(), entry.size(), last.offset)) {
        entries_.resize(keep);
        entries_.back() = last;
        sceneCount_ = std::int32_t(keep);
        const std::uint8_t countBytes[2] = {std::uint8_t(keep), std::uint8_t(keep >> 8)};
        WriteAllAt(fd, countBytes, sizeof countBytes, countPos_);
    }
    ::close(fd);
    runStart_ = entries_.size();
}

std::int32_t ScnWriter::sceneCount() const {
    std::lock_guard lock(mutex_);
    return sceneCount_;
}

bool ScnEndAt(const std::filesystem::path& path, std::uint32_t frames, std::string& error) {
    const ScnContents read = ScnRead(path);
    if (!read.ok || !read.error.empty()) {
        error = read.error.empty() ? "not a scene file" : read.error;
        return false;
    }
    std::vector<ScnScene> scenes = read.scenes;
    while (!scenes.empty() && scenes.back().start > frames)
        scenes.pop_back();
    if (!scenes.empty()) {
        ScnScene& last = scenes.back();
        const std::uint32_t lastFrame = last.start + last.frames - 1;
        if (lastFrame > frames)
            last.frames = frames - last.start + 1;
        else if (lastFrame < frames)
            scenes.push_back({lastFrame + 1, frames - lastFrame});
    } else if (frames > 0) {
        scenes.push_back({1, frames});
    }
    Bytes bytes =
        ScnHeaderBytes(read.path, std::uint16_t(std::min<std::size_t>(scenes.size(), 0x8000)));
    for (std::size_t k = 0; k < scenes.size(); ++k) {
        const Bytes entry = ScnSceneBytes(read.path, k, scenes[k].start, scenes[k].frames);
        bytes.insert(bytes.end(), entry.begin(), entry.end());
    }
    const std::string temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const bool written = fd >= 0 && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    const bool closed = fd >= 0 && ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::string("\"") + path.string() + "\" cannot be written: " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void ScnEndRun(std::uint32_t framesInFile) {
    ApplicationScnWriter().endRun(framesInFile);
}

ScnWriter& ApplicationScnWriter() {
    static ScnWriter writer;
    return writer;
}

bool ScnCreate(const std::filesystem::path& path) {
    return ApplicationScnWriter().create(path);
}

void ScnAppendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current) {
    ApplicationScnWriter().appendScene(sceneStart, current);
}

ScnContents ScnParse(const std::vector<std::uint8_t>& bytes) {
    ScnContents out;
    Cursor c(bytes);
    std::uint8_t length = 0;
    if (!c.expect(kHeadFixed) || !c.expect(kSourceTape) || !c.byte(length) ||
        !c.text(length, out.path)) {
        out.error = "not a scene file header" + At(c.pos());
        return out;
    }
    if (!c.expectZeros(kZeros) || !c.u16(out.count) || !c.expect(kClipTag) || !c.expect(kClipP) ||
        !c.expect(kAfterClipP) || !c.expect(kSceneTag) || !c.expect(kScene) ||
        !c.expect(kAfterScene)) {
        out.error = "damaged scene file header" + At(c.pos());
        return out;
    }
    out.ok = true;

    for (std::uint32_t k = 0; k < out.count; ++k) {
        const std::size_t entryStart = c.pos();
        if (c.left() == 0) {
            out.error = "the file holds " + std::to_string(k) + " of " + std::to_string(out.count) +
                        " scenes";
            return out;
        }
        if (k == 0) {
            std::uint32_t e = 0, e2 = 0;
            std::uint8_t length2 = 0;
            std::string path2;
            if (!c.u32(e) || !c.expect(kFirstSceneMid) || !c.byte(length2) ||
                !c.text(length2, path2) || !c.expectZeros(kZeros) || !c.u32(e2) || e != e2 ||
                path2 != out.path || e == 0) {
                out.error = "damaged entry of scene 1" + At(entryStart);
                return out;
            }
            out.scenes.push_back({1, e - 1});
        } else {
            std::uint32_t s = 0, n = 0, s2 = 0, n2 = 0, s3 = 0;
            if (!c.expect(kLaterSceneHead) || !c.u32(s) || !c.u32(n) || !c.expect(kLaterSceneMid) ||
                !c.u32(s2) || !c.u32(n2) || !c.u32(s3) || s != s2 || s != s3 || n != n2) {
                out.error = "damaged entry of scene " + std::to_string(k + 1) + At(entryStart);
                return out;
            }
            out.scenes.push_back({s, n});
        }
    }
    if (c.left() > 0) {
        const std::size_t extra = c.left();
        out.error = std::to_string(extra) + " bytes after the last counted scene";
        if (extra % kLaterSceneSize == 0)
            out.error += " (" + std::to_string(extra / kLaterSceneSize) + " uncounted entries?)";
    }
    return out;
}

ScnContents ScnRead(const std::filesystem::path& path) {
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        ScnContents out;
        out.error = "cannot open " + path.string() + ": " + why;
        return out;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ScnContents out;
        out.error = "cannot open " + path.string();
        return out;
    }
    // The largest valid file is the header, one first entry and 32767 later
    // ones; anything much longer is not ours and is not read whole.
    constexpr std::size_t kReadLimit = 2 * 1024 * 1024;
    Bytes bytes;
    bytes.reserve(4096);
    char block[4096];
    while (bytes.size() < kReadLimit && in.read(block, sizeof block).gcount() > 0)
        bytes.insert(bytes.end(), block, block + in.gcount());
    return ScnParse(bytes);
}

} // namespace talvence
