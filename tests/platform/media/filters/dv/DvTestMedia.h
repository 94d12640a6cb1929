#pragma once
// DV clips made by the ffmpeg command line, and the command line's own decoding of them, which
// the DV codec tests take as the reference.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence::dvcodec::testing {

using Bytes = std::vector<std::uint8_t>;

// A directory removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The directory the clips of this test process live in.
const std::filesystem::path& ClipDir();

// Runs a shell command; true when it exited with status 0.
bool Run(const std::string& command);
std::string Quote(const std::filesystem::path& path);
Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

struct ClipRecipe {
    bool pal = true;
    int sampleRate = 48000;
    int frames = 6;
    bool wide = false;
};

// A DV file of test picture and tone made by ffmpeg, made once per process and recipe; empty
// when ffmpeg failed (the caller's assertion then fails).
const std::filesystem::path& Clip(const ClipRecipe& recipe);
// The frames of a DV file.
std::vector<Bytes> SplitFrames(const Bytes& file, std::size_t frameBytes);
std::vector<Bytes> ClipFrames(const ClipRecipe& recipe);

// ffmpeg's decoding of a DV file: "-f dv -i <file> <outputArgs> <out>", the output's bytes;
// empty when ffmpeg failed.
Bytes FfmpegOutput(const std::filesystem::path& dvFile, const std::string& outputArgs);

} // namespace talvence::dvcodec::testing
