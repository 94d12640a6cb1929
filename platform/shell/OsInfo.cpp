#include "platform/shell/OsInfo.h"

#include <QStandardPaths>

#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace talvence {

std::string PrettyNameFromOsRelease(const std::string& osRelease) {
    std::istringstream in(osRelease);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string v = line.substr(12);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        if (!v.empty()) return v;
    }
    return "Linux";
}

OsVersionInfo CurrentOsVersion() {
    OsVersionInfo info;
    info.platform = OsPlatform::Linux;
    std::string osRelease;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream f(path);
        if (f) {
            std::stringstream ss;
            ss << f.rdbuf();
            osRelease = ss.str();
            break;
        }
    }
    info.prettyName = PrettyNameFromOsRelease(osRelease);
    utsname u{};
    if (uname(&u) == 0) {
        info.servicePack = u.release;
        char* end = nullptr;
        info.major = static_cast<std::uint32_t>(std::strtoul(u.release, &end, 10));
        if (end && *end == '.')
            info.minor = static_cast<std::uint32_t>(std::strtoul(end + 1, nullptr, 10));
        const char* hash = u.version[0] == '#' ? u.version + 1 : nullptr;
        if (hash) info.build = static_cast<std::uint32_t>(std::strtoul(hash, nullptr, 10));
    }
    return info;
}

UserFolders SystemUserFolders() {
    UserFolders f;
    f.home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toStdString();
    // Qt answers the home folder when an XDG user directory is not set up;
    // that is not a movies or pictures folder, so it is left empty here.
    auto own = [&](QStandardPaths::StandardLocation loc) {
        std::string p = QStandardPaths::writableLocation(loc).toStdString();
        return p == f.home ? std::string() : p;
    };
    f.movies = own(QStandardPaths::MoviesLocation);
    f.pictures = own(QStandardPaths::PicturesLocation);
    return f;
}

std::string ExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

} // namespace talvence
