#pragma once
// DV clips made by the ffmpeg command line, and the command line's own decoding of them, which
// the DV codec tests take as the reference.

#include "tests/support/TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence::dvcodec::testing {

using talvence::testing::Bytes;
using talvence::testing::Quote;
using talvence::testing::ReadBytes;
using talvence::testing::RunTool;
using talvence::testing::TempDir;
using talvence::testing::WriteBytes;

// The directory the clips of this test process live in.
const std::filesystem::path& ClipDir();

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

// Peak signal-to-noise ratio of two equally long byte strings, in dB (99 when equal).
double Psnr(const Bytes& a, const Bytes& b);

} // namespace talvence::dvcodec::testing
