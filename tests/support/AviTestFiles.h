#pragma once
// Helpers for tests over real files: a temporary folder, whole-file reading
// and writing, hand-built RIFF trees, and running ffmpeg/ffprobe.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

// RIFF pieces. `declared` replaces the size field (the data stays as given).
Bytes Le32(std::uint32_t v);
Bytes Fcc(std::string_view fourcc);
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Leaf(std::string_view id, const Bytes& data, std::optional<std::uint32_t> declared = {});
Bytes List(std::string_view id, std::string_view type, std::initializer_list<Bytes> children,
           std::optional<std::uint32_t> declared = {});
// A 56-byte "strh" chunk of the given fccType; fccHandler is `marker`, so a
// test can find the header with ScaleFieldOf.
Bytes Strh(std::string_view type, std::string_view marker, std::uint32_t scale = 1,
           std::uint32_t rate = 25);
// Offset of dwScale in the stream header whose fccHandler is marker.
std::uint64_t ScaleFieldOf(const Bytes& file, std::string_view marker);
// dwScale and dwRate as stored at offset.
std::pair<std::uint32_t, std::uint32_t> RateFieldsAt(const Bytes& file, std::uint64_t offset);

// Runs a shell command line; its exit status and standard output.
struct ToolRun {
    int status = -1;
    std::string out;
};
ToolRun RunTool(const std::string& commandLine);
// True when the program is found on PATH.
bool HaveTool(const std::string& name);
std::string Quote(const std::filesystem::path& path);

} // namespace talvence::testing
