#pragma once
// Free space for the status bar: the file system that holds a path, or would hold it once its
// missing folders are made (the nearest existing ancestor), and that file system's mount point,
// which stands where a drive letter would.

#include <cstdint>
#include <string>

namespace talvence {

struct TDiskSpace {
    std::uint64_t available = 0; // bytes the user may still write; 0 when the question failed
    std::string mountPoint;      // empty when the question failed
};

// Any thread; touches only the file system's metadata.
TDiskSpace DiskSpaceFor(const std::string& path);

} // namespace talvence
