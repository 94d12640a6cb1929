#pragma once
// Facts about the running system: its version information (in the Windows
// form the diagnostics expect, with a Linux platform added), the user's
// standard folders and the path of the running program.

#include <cstdint>
#include <string>

namespace talvence {

// Platform identifiers: the three Windows ones and ours.
enum class OsPlatform : std::uint32_t {
    Win32s = 0,
    Windows9x = 1, // "Win32 Windows"
    WindowsNT = 2,
    Linux = 100,
};

struct OsVersionInfo {
    OsPlatform platform = OsPlatform::Linux;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::string servicePack; // the service-pack text; on Linux the kernel release
    std::string prettyName;  // Linux: the distribution's pretty name
};

// Reads /etc/os-release and uname(): platform Linux, the kernel's version
// numbers, the kernel release as service-pack text and the kernel's build
// number (the "#N" of its version string) as build.
OsVersionInfo CurrentOsVersion();

// Parses the PRETTY_NAME of an os-release text (quotes removed); "Linux" when absent.
std::string PrettyNameFromOsRelease(const std::string& osRelease);

// The user's folders from the XDG user directories; empty when not known.
struct UserFolders {
    std::string home;
    std::string movies;
    std::string pictures;
};
UserFolders SystemUserFolders();

// Full path of the running executable.
std::string ExecutablePath();

} // namespace talvence
