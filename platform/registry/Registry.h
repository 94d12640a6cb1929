#pragma once
// The registry-like store: two hives (current user, local machine), each kept
// as one ".reg" text file ("Windows Registry Editor Version 5.00"), holding
// keys with sub-keys and typed values. The application reaches it through
// `TRegistry`, a handle with one current key, as it would the system registry.
//
// Where the files live: $TALVENCE_REGISTRY_DIR when set, else
// $XDG_CONFIG_HOME/Brannock (XDG_CONFIG_HOME defaulting to ~/.config).
// Files: HKEY_CURRENT_USER.reg and HKEY_LOCAL_MACHINE.reg.
//
// Persistence: a handle reads the hive file when it opens its first key and
// records its changes in a journal; `CloseKey` (and the destructor) commit the
// journal under an exclusive file lock: the file is read again, the journal is
// replayed onto it, and the result is written to a temporary file, flushed and
// renamed over the old one. Other processes' changes in between are kept.
//
// Damage: a file that does not parse is read as far as it is valid (lines that
// make no sense are skipped, a value the file ends in without a line break
// counts as cut short), a copy of it is kept aside as "<file>.bad", and the
// good values survive the next save. Only regular files are read: anything
// else at a hive's path (a FIFO, a device, a directory) reads as an empty
// hive at once. A save writes through a symbolic link and removes the
// temporary files a killed save left.
//
// Thread: all members are for the application thread; two handles on one
// hive in one process are safe (commits are serialised by the file lock).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvence::registry {

enum class Hive { CurrentUser, LocalMachine };

// Value types with their Windows numbers.
enum class ValueType : std::uint32_t {
    None = 0,
    String = 1,       // REG_SZ
    ExpandString = 2, // REG_EXPAND_SZ
    Binary = 3,       // REG_BINARY
    DWord = 4,        // REG_DWORD
};

// A value as the registry holds it: its type and its bytes in the Windows
// layout (strings as UTF-16LE with a terminating zero, a DWORD as 4 bytes
// little-endian). Types other than the four above are kept as they are.
struct RegValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Raised by the write operations of `TRegistry` and by reads that find a
// value of the wrong type, so callers can apply their own read rules.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Directory that holds the hive files (see above).
std::filesystem::path RegistryDirectory();
// File of one hive inside `RegistryDirectory()`.
std::filesystem::path HiveFile(Hive hive);
// "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE".
const char* HiveName(Hive hive);

// The media layer's version, answered by the local-machine hive under
// "\Software\Microsoft\DirectX" "Version" while its file does not exist yet.
inline constexpr const char* kMediaLayerVersion = "4.09.00.0904";

// Keeps the hive file as it is now as "<file>.bad" (see KeepDamagedCopy), for
// damage only a reader of its values can see: values missing that a save
// always writes. Gives the copy's path; raises RegistryError when it cannot be
// made.
std::filesystem::path KeepHiveAside(Hive hive);

// Key paths are relative to the hive root, with "\" between names; a leading
// "\" is allowed and ignored. Key and value names compare without regard to
// ASCII letter case, as on Windows, and keep the case they were created with.
class TRegistry {
public:
    explicit TRegistry(Hive root = Hive::CurrentUser);
    ~TRegistry(); // commits like CloseKey; a failing commit is swallowed here
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    Hive RootKey() const { return root_; }

    // Makes `path` the current key. With canCreate the key and its missing
    // ancestors are created; without it a missing key gives false and leaves
    // no key open.
    bool OpenKey(const std::string& path, bool canCreate);
    // Commits the journal (see above) and closes the current key.
    // Raises RegistryError when the commit cannot be written.
    void CloseKey();
    bool HasCurrentKey() const { return hasCurrent_; }
    // Path of the current key without leading "\" ("" for the root).
    std::string CurrentPath() const { return currentPath_; }

    // What was wrong with the hive file when this handle last read it: empty
    // when it was sound or missing. A damaged file has been kept aside by then
    // (the text says so); an unreadable one (not a regular file, say) reads as
    // an empty hive.
    const std::string& LoadProblem() const;

    bool KeyExists(const std::string& path);
    bool ValueExists(const std::string& name) const;
    // Type and data size in bytes of a value of the current key; nullopt when missing.
    std::optional<ValueType> GetDataType(const std::string& name) const;
    std::optional<std::size_t> GetDataSize(const std::string& name) const;
    std::optional<RegValue> ReadRaw(const std::string& name) const;

    // Typed reads of the current key. Missing value: nullopt.
    // Wrong type: RegistryError.
    // ReadString accepts REG_SZ and REG_EXPAND_SZ (no expansion) and gives UTF-8.
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<std::int32_t> ReadInteger(const std::string& name) const;
    std::optional<std::vector<std::uint8_t>> ReadBinaryData(const std::string& name) const;

    // Writes to the current key; RegistryError when no key is open.
    void WriteString(const std::string& name, const std::string& utf8);
    void WriteExpandString(const std::string& name, const std::string& utf8);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data);
    void WriteRaw(const std::string& name, const RegValue& value);
    bool DeleteValue(const std::string& name);

    // Names of the sub-keys / values of the current key, in stored order.
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;
    bool HasSubKeys() const;

    // Deletes `path` (relative to the root when it starts with "\", else to
    // the current key) with everything below it; false when it did not exist.
    bool DeleteKey(const std::string& path);

private:
    struct State;
    Hive root_;
    bool hasCurrent_ = false;
    std::string currentPath_;
    std::unique_ptr<State> state_; // loaded hive and journal
};

} // namespace talvence::registry
