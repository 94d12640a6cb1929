#pragma once
// The hive files on disk: reading (with the local-machine seed and the
// keeping aside of damaged files), the locked commit of a journal and the
// atomic replacement of a file.

#include "platform/registry/RegTree.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::registry {

// What one read of a hive file found.
struct HiveSnapshot {
    RegKey root;
    bool existed = false;
    // The file is there but could not be read (permissions, not a regular
    // file, absurd size): it must not be replaced by what we hold.
    bool unreadable = false;
    std::string error;
    bool damaged = false;
    std::string bytes; // the file as read, for the copy kept aside
};

// Reads `file` as the hive `hive`. A missing local-machine file gives the
// hive as installed (the media layer's version).
HiveSnapshot ReadHive(const std::filesystem::path& file, Hive hive);

// The hive as a handle sees it on opening: the file's content, empty when
// unreadable. A damaged file is kept aside (best effort). `problem` says what
// was wrong with the file, empty when it was sound or missing.
RegKey LoadHive(Hive hive, std::string& problem);

// Under the hive's lock: removes the temporary files a killed save left, reads the file again,
// replays `journal` onto it and replaces the file atomically. Gives the hive as written. Raises
// RegistryError, leaving the file as it was, when anything fails.
RegKey CommitHive(Hive hive, const std::vector<RegChange>& journal);

// Keeps `bytes` as "<file>.bad". An existing copy with other content is moved
// to "<file>.bad.1" first, so the two newest damaged versions are kept.
void KeepDamagedCopy(const std::filesystem::path& file, std::string_view bytes);

// Writes a temporary file next to `file`, syncs it and renames it over
// `file` (keeping the old file's permissions). A symbolic link is written
// through: its final target gets the content and the link stays. Raises
// RegistryError and removes the temporary file on failure.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// The final target of `file` when it is a symbolic link (which may not exist
// yet), else `file`.
std::filesystem::path FollowLinks(const std::filesystem::path& file);

// Removes the temporary files WriteFileAtomically leaves beside `file` (and
// beside its ".bad" copy) when the process is killed mid-save. Only under the
// hive's lock, where no other save can be writing one.
void RemoveLeftTemporaries(const std::filesystem::path& file);

} // namespace talvence::registry
