#include "platform/shell/DiskSpace.h"

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace talvence {

namespace fs = std::filesystem;

namespace {

bool DeviceOf(const fs::path& path, dev_t& device) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    device = st.st_dev;
    return true;
}

} // namespace

TDiskSpace DiskSpaceFor(const std::string& path) {
    TDiskSpace result;
    std::error_code ec;
    fs::path existing = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ec);
    if (ec) return result;
    existing = existing.lexically_normal();
    while (!fs::exists(existing, ec)) {
        if (!existing.has_relative_path()) return result;
        existing = existing.parent_path();
    }
    const fs::space_info space = fs::space(existing, ec);
    if (ec) return result;
    dev_t device{};
    if (!DeviceOf(existing, device)) return result;
    // The mount point is the highest ancestor still on the same device.
    fs::path mount = existing;
    while (mount.has_relative_path()) {
        dev_t parentDevice{};
        if (!DeviceOf(mount.parent_path(), parentDevice) || parentDevice != device) break;
        mount = mount.parent_path();
    }
    result.available = space.available;
    result.mountPoint = mount.string();
    return result;
}

} // namespace talvence
