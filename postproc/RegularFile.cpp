#include "postproc/RegularFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvence {

namespace {

std::string KindOf(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISFIFO(mode)) return "not a regular file (a FIFO)";
    if (S_ISDIR(mode)) return "not a regular file (a directory)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "not a regular file (a device)";
    if (S_ISSOCK(mode)) return "not a regular file (a socket)";
    return "not a regular file";
}

} // namespace

std::string NotARegularFile(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return KindOf(st.st_mode);
}

int OpenRegularFileForReading(const std::filesystem::path& path, std::string& error) {
    error = NotARegularFile(path);
    if (!error.empty()) return -1;
    // Non-blocking in case a FIFO took the name since the look above.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    error = ::fstat(fd, &st) != 0 ? std::strerror(errno) : KindOf(st.st_mode);
    if (!error.empty()) {
        ::close(fd);
        return -1;
    }
    // Regular files ignore O_NONBLOCK; cleared all the same for the readers after us.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace talvence
