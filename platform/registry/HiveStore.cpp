#include "platform/registry/HiveStore.h"

#include "platform/log/Log.h"
#include "platform/registry/RegFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence::registry {

namespace {

// A hive is a few kilobytes; anything this large is not ours to parse or
// to replace.
constexpr off_t kMaxHiveBytes = 64 * 1024 * 1024;

std::string ErrorText(const std::string& what, const std::filesystem::path& path, int err) {
    return what + " " + path.string() + ": " + std::strerror(err);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Exclusive lock on "<hive>.lock" for the time of a commit; serialises
// handles of this and of other processes.
class HiveLock {
public:
    explicit HiveLock(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (fd_.get() < 0) throw RegistryError(ErrorText("Cannot open the lock", path, errno));
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) throw RegistryError(ErrorText("Cannot lock", path, errno));
        }
    }
    ~HiveLock() { ::flock(fd_.get(), LOCK_UN); }

private:
    Fd fd_;
};

std::filesystem::path LockFile(Hive hive) {
    return RegistryDirectory() / (std::string(HiveName(hive)) + ".lock");
}

void SeedInstalledValues(Hive hive, RegKey& root) {
    if (hive != Hive::LocalMachine) return;
    RegValue version;
    version.type = static_cast<std::uint32_t>(ValueType::String);
    version.data = StringData(kMediaLayerVersion);
    root.GetOrAdd({"Software", "Microsoft", "DirectX"}).SetValue("Version", std::move(version));
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadBytes(const std::filesystem::path& file, std::string& bytes, std::string& error) {
    bytes.clear();
    // Looked at before opening: opening a FIFO for reading waits for a writer.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ReadStatus::Missing;
        error = ErrorText("Cannot read", file, errno);
        return ReadStatus::Failed;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxHiveBytes) {
        error = "Not a readable hive file: " + file.string();
        return ReadStatus::Failed;
    }
    // O_NONBLOCK in case the name was replaced by a FIFO meanwhile.
    Fd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ReadStatus::Missing;
        error = ErrorText("Cannot read", file, errno);
        return ReadStatus::Failed;
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxHiveBytes) {
        error = "Not a readable hive file: " + file.string();
        return ReadStatus::Failed;
    }
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = ErrorText("Cannot read", file, errno);
            return ReadStatus::Failed;
        }
        if (n == 0) return ReadStatus::Ok;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > static_cast<std::size_t>(kMaxHiveBytes)) {
            error = "Not a readable hive file: " + file.string();
            return ReadStatus::Failed;
        }
    }
}

// "." name "." pid "." counter ".tmp", as WriteFileAtomically names them.
std::filesystem::path TemporaryName(const std::filesystem::path& file, unsigned counter) {
    return file.parent_path() / ("." + file.filename().string() + "." + std::to_string(::getpid()) +
                                 "." + std::to_string(counter) + ".tmp");
}

bool IsDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

std::filesystem::path FollowLinks(const std::filesystem::path& file) {
    std::filesystem::path path = file;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit
        std::error_code ec;
        if (!std::filesystem::is_symlink(path, ec)) return path;
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec) return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

void RemoveLeftTemporaries(const std::filesystem::path& file) {
    const std::string prefix = "." + file.filename().string() + ".";
    std::error_code ec;
    std::filesystem::directory_iterator it(file.parent_path(), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string fileName = it->path().filename().string();
        std::string_view name = fileName;
        if (name.size() <= prefix.size() + 4 || name.substr(0, prefix.size()) != prefix ||
            name.substr(name.size() - 4) != ".tmp")
            continue;
        // What is left: "pid.counter", or "bad.pid.counter" for the copy kept aside.
        std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (middle.substr(0, 4) == "bad.") middle.remove_prefix(4);
        const std::size_t dot = middle.find('.');
        if (dot == std::string_view::npos || !IsDigits(middle.substr(0, dot)) ||
            !IsDigits(middle.substr(dot + 1)))
            continue;
        std::error_code removeError;
        if (std::filesystem::remove(it->path(), removeError))
            TLOG(Store) << "Removed " << it->path().string() << ", left by a save that was cut";
    }
}

HiveSnapshot ReadHive(const std::filesystem::path& file, Hive hive) {
    HiveSnapshot snap;
    switch (ReadBytes(file, snap.bytes, snap.error)) {
    case ReadStatus::Missing:
        SeedInstalledValues(hive, snap.root);
        return snap;
    case ReadStatus::Failed:
        snap.existed = true;
        snap.unreadable = true;
        return snap;
    case ReadStatus::Ok:
        break;
    }
    snap.existed = true;
    RegParseResult parsed = ParseRegFile(snap.bytes, HiveName(hive));
    snap.root = std::move(parsed.root);
    // A save never leaves a hive without a key (the preferences' deletion
    // leaves "Software"): a file holding no key was cut after its header.
    snap.damaged =
        parsed.Damaged() || (snap.root.SubKeyCount() == 0 && snap.root.ValueCount() == 0);
    return snap;
}

RegKey LoadHive(Hive hive, std::string& problem) {
    problem.clear();
    std::filesystem::path file = HiveFile(hive);
    HiveSnapshot snap = ReadHive(file, hive);
    if (snap.unreadable) {
        TLOG(Store) << snap.error;
        problem = snap.error;
    }
    if (snap.damaged) {
        problem = file.string() + " is damaged";
        try {
            HiveLock lock(LockFile(hive));
            KeepDamagedCopy(file, snap.bytes);
            problem += "; kept as " + file.string() + ".bad";
        } catch (const RegistryError& e) {
            // Reading goes on; the commit tries again and refuses to replace
            // the damaged file without its copy.
            TLOG(Store) << "Damaged " << file.string() << " not kept aside yet: " << e.what();
        }
    }
    return std::move(snap.root);
}

RegKey CommitHive(Hive hive, const std::vector<RegChange>& journal) {
    std::filesystem::path file = HiveFile(hive);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        throw RegistryError("Cannot create " + file.parent_path().string() + ": " + ec.message());

    HiveLock lock(LockFile(hive));
    // The copy kept aside lies beside the name, the hive beside the link's target.
    RemoveLeftTemporaries(file);
    if (const std::filesystem::path target = FollowLinks(file); target != file)
        RemoveLeftTemporaries(target);
    HiveSnapshot snap = ReadHive(file, hive);
    if (snap.unreadable) throw RegistryError(snap.error);
    if (snap.damaged) KeepDamagedCopy(file, snap.bytes);
    for (const RegChange& change : journal)
        ApplyChange(snap.root, change);
    WriteFileAtomically(file, FormatRegFile(snap.root, HiveName(hive)));
    return std::move(snap.root);
}

std::filesystem::path KeepHiveAside(Hive hive) {
    const std::filesystem::path file = HiveFile(hive);
    HiveLock lock(LockFile(hive));
    std::string bytes, error;
    if (ReadBytes(file, bytes, error) != ReadStatus::Ok)
        throw RegistryError(error.empty() ? "No file " + file.string() : error);
    KeepDamagedCopy(file, bytes);
    return file.string() + ".bad";
}

void KeepDamagedCopy(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::path bad = file;
    bad += ".bad";
    std::string previous, error;
    ReadStatus status = ReadBytes(bad, previous, error);
    if (status != ReadStatus::Missing) {
        if (status == ReadStatus::Ok && previous == bytes) return;
        std::filesystem::path older = bad;
        older += ".1";
        if (::rename(bad.c_str(), older.c_str()) != 0)
            throw RegistryError(ErrorText("Cannot move aside", bad, errno));
    }
    WriteFileAtomically(bad, bytes);
}

void WriteFileAtomically(const std::filesystem::path& name, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path file = FollowLinks(name);
    const std::filesystem::path dir = file.parent_path();
    std::filesystem::path temp;
    Fd fd;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temp = TemporaryName(file, counter++);
        fd = Fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100))
            throw RegistryError(ErrorText("Cannot create", temp, errno));
    }

    struct stat old {};
    if (::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd.get(), old.st_mode & 07777); // a hand-set mode stays

    int err = 0;
    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) err = errno;
    if (::close(fd.release()) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), file.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        throw RegistryError(ErrorText("Cannot write", file, err));
    }
    // Make the rename itself durable; the data is safe either way.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

} // namespace talvence::registry
