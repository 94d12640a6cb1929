#pragma once
// Helpers for tests over real files: a temporary folder, whole-file reading and writing, and
// running command-line tools (ffmpeg, ffprobe, the program itself).
//
// Threads: any; each object belongs to the thread that made it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talvence::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its contents when the object
// goes.
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

// Runs a shell command line; its exit status and standard output.
struct ToolRun {
    int status = -1;
    std::string out;
};
ToolRun RunTool(const std::string& commandLine);
// True when the program is found on PATH.
bool HaveTool(const std::string& name);
// The path quoted for a shell command line.
std::string Quote(const std::filesystem::path& path);

} // namespace talvence::testing
