#include "platform/media/filters/avi/AviOutputFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace talvence {
namespace {

class PosixAviOutputFile : public AviOutputFile {
public:
    explicit PosixAviOutputFile(int fd) : fd_(fd) {}
    ~PosixAviOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    std::uint64_t end() const { return end_; }

    AviIoResult append(std::span<const AviBytes> pieces) override {
        std::vector<iovec> iov;
        iov.reserve(pieces.size());
        for (const AviBytes& p : pieces)
            if (!p.empty()) iov.push_back({const_cast<std::uint8_t*>(p.data()), p.size()});
        AviIoResult result;
        std::size_t first = 0;
        while (first < iov.size()) {
            const int count = static_cast<int>(std::min<std::size_t>(iov.size() - first, IOV_MAX));
            const ssize_t n = ::pwritev(fd_, iov.data() + first, count, static_cast<off_t>(end_));
            if (n < 0) {
                if (errno == EINTR) continue;
                result.error = errno;
                return result;
            }
            if (n == 0) {
                result.error = ENOSPC;
                return result;
            }
            end_ += static_cast<std::uint64_t>(n);
            result.bytes += static_cast<std::size_t>(n);
            // Step over what went out; a short write resumes mid-piece.
            std::size_t done = static_cast<std::size_t>(n);
            while (first < iov.size() && done >= iov[first].iov_len) {
                done -= iov[first].iov_len;
                ++first;
            }
            if (done > 0) {
                iov[first].iov_base = static_cast<std::uint8_t*>(iov[first].iov_base) + done;
                iov[first].iov_len -= done;
            }
        }
        return result;
    }

    AviIoResult writeAt(std::uint64_t offset, AviBytes bytes) override {
        AviIoResult result;
        while (result.bytes < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd_, bytes.data() + result.bytes, bytes.size() - result.bytes,
                         static_cast<off_t>(offset + result.bytes));
            if (n < 0) {
                if (errno == EINTR) continue;
                result.error = errno;
                return result;
            }
            if (n == 0) {
                result.error = ENOSPC;
                return result;
            }
            result.bytes += static_cast<std::size_t>(n);
        }
        // Only the owning thread writes past the end; the checkpoint thread patches below it.
        if (offset + bytes.size() > end_) end_ = offset + bytes.size();
        return result;
    }

    AviIoResult truncate(std::uint64_t size) override {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return {0, errno};
        end_ = size;
        return {};
    }

    AviIoResult syncData() override {
        if (::fdatasync(fd_) != 0) return {0, errno};
        return {};
    }

    AviIoResult close() override {
        if (fd_ < 0) return {};
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return {0, errno};
        return {};
    }

private:
    int fd_;
    std::atomic<std::uint64_t> end_{0};
};

std::unique_ptr<PosixAviOutputFile> CreatePosixFile(const std::filesystem::path& path, int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::make_unique<PosixAviOutputFile>(fd);
}

class LocalFiles : public AviOutputFiles {
public:
    std::unique_ptr<AviOutputFile> create(const std::filesystem::path& path, int& error) override {
        return CreatePosixFile(path, error);
    }
    bool remove(const std::filesystem::path& path) override { return ::unlink(path.c_str()) == 0; }
};

class CappedAviOutputFile : public AviOutputFile {
public:
    CappedAviOutputFile(CappedAviOutputFiles& owner, std::unique_ptr<PosixAviOutputFile> file)
        : owner_(owner), file_(std::move(file)) {}

    AviIoResult append(std::span<const AviBytes> pieces) override {
        const std::uint64_t room =
            owner_.capacity() > file_->end() ? owner_.capacity() - file_->end() : 0;
        std::uint64_t total = 0;
        for (const AviBytes& p : pieces)
            total += p.size();
        if (total <= room) return file_->append(pieces);
        // Write what fits, then fail the way a full disk does.
        std::vector<AviBytes> fitting;
        std::uint64_t left = room;
        for (const AviBytes& p : pieces) {
            if (left == 0) break;
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, p.size()));
            fitting.push_back(p.first(n));
            left -= n;
        }
        AviIoResult result = file_->append(fitting);
        if (result.ok()) result.error = ENOSPC;
        return result;
    }

    AviIoResult writeAt(std::uint64_t offset, AviBytes bytes) override {
        if (owner_.writeAtError() != 0) return {0, owner_.writeAtError()};
        if (offset + bytes.size() > file_->end()) return {0, EINVAL};
        return file_->writeAt(offset, bytes);
    }

    AviIoResult truncate(std::uint64_t size) override { return file_->truncate(size); }
    AviIoResult syncData() override { return file_->syncData(); }

    AviIoResult close() override {
        AviIoResult result = file_->close();
        if (result.ok() && owner_.closeError() != 0) result.error = owner_.closeError();
        return result;
    }

private:
    CappedAviOutputFiles& owner_;
    std::unique_ptr<PosixAviOutputFile> file_;
};

} // namespace

AviOutputFiles& LocalAviOutputFiles() {
    static LocalFiles files;
    return files;
}

std::unique_ptr<AviOutputFile> CappedAviOutputFiles::create(const std::filesystem::path& path,
                                                            int& error) {
    if (createError_ != 0) {
        error = createError_;
        return nullptr;
    }
    auto file = CreatePosixFile(path, error);
    if (!file) return nullptr;
    return std::make_unique<CappedAviOutputFile>(*this, std::move(file));
}

bool CappedAviOutputFiles::remove(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0;
}

} // namespace talvence
