#pragma once
// The ".scn" scene file written beside a DV capture: fixed byte strings
// around the file's own path, the scene count and one entry per scene, in the
// layout that editing programs and the clip browser read.
//
//   header   63 26 01 00 | 04 00 00 00 | FF FF 03 00 0A 00 "SourceTape" | L | P
//            | 00 x8 | count (u16, at countPos = 33 + L) | FF FF 01 00 04 00 "ClipP"
//            | 00 00 00 | FF FF 01 00 05 00 "Scene" | 00 x5          (65 + L bytes)
//   scene 1  e | 00 00 00 00 01 80 | L | P | 00 x8 | e                (23 + L bytes)
//   scene k  03 80 F0 00 00 00 05 80 00 | s | n | 00 00 00 00 07 00 | s | n | s
//                                                                     (35 bytes)
// P is the scene file's full path (a relative one is completed from the
// working directory), bytes unchanged (UTF-8 on Linux), and L its length in
// one byte. Numbers are little-endian u32. Frames count from 1:
// e is the first frame after scene 1, s the first frame of scene k and n its
// length in frames.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dvcodes/DvFrameInfo.h"

namespace talvence {

// Scenes written per file at most; later ones are dropped and the count word
// stays at 0x8000.
inline constexpr std::int32_t kScnMaxScenes = 32768;
// The path length is one byte; longer paths are refused (see ScnWriter::create).
inline constexpr std::size_t kScnMaxPathBytes = 254;

// The layout as bytes, for a path of at most kScnMaxPathBytes bytes.
std::vector<std::uint8_t> ScnHeaderBytes(std::string_view path, std::uint16_t count);
std::size_t ScnCountPos(std::string_view path);
std::vector<std::uint8_t> ScnFirstSceneBytes(std::string_view path, std::uint32_t e);
std::vector<std::uint8_t> ScnLaterSceneBytes(std::uint32_t s, std::uint32_t n);
// Entry `index` (0: the first scene's layout) for the scene of `frames` frames from `start`.
std::vector<std::uint8_t> ScnSceneBytes(std::string_view path, std::size_t index,
                                        std::uint32_t start, std::uint32_t frames);

// Writes one scene file at a time. `create` starts a file, `appendScene` is
// the scene detector's scene callback. The file is closed between calls.
//
// Thread: `appendScene` runs on the scene detector's streaming thread and
// once on the thread that stops the graph, possibly at the same time as a
// last frame's cut; `create` runs on the application thread while no capture
// runs. One mutex serialises them all.
class ScnWriter {
public:
    // Creates or truncates the file and writes the header. False when it
    // cannot be written, or when the path has more than kScnMaxPathBytes bytes:
    // the length byte cannot hold it, and a truncated path would send readers
    // to another file, so no file is written at all. After a false return the
    // writer drops every scene until the next successful create.
    bool create(const std::filesystem::path& path);

    // Appends one scene: the scene from sceneStart up to, not including,
    // current. Failures are swallowed: a file that cannot be opened drops the
    // scene; a write that fails leaves the file as it was before the call.
    void appendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current);

    // Ends the scenes of one run of the capture (a capture cut into several
    // files has one run per file) at the frames its video file received. The
    // detector sees frames before the file does, so its last scene may count
    // frames the file never got (a re-encode lagging at the stop, a full
    // disk): the run's scenes that start after the file's last frame are
    // removed and its last scene ends at that frame. A file without any scene
    // left is removed, so a capture that wrote no frame leaves no scene file.
    // Application thread, after the graph stopped.
    void endRun(std::uint32_t framesInFile);

    // Scenes written to the current file.
    std::int32_t sceneCount() const;

private:
    struct Entry {
        std::uint32_t first;  // 1-based
        std::uint32_t length; // frames
        std::uint64_t offset; // in the file
    };

    mutable std::mutex mutex_;
    std::string path_;
    bool active_ = false; // a header was written for path_
    std::int32_t sceneCount_ = 0;
    std::uint64_t countPos_ = 0;
    std::vector<Entry> entries_; // as in the file
    std::size_t runStart_ = 0;   // first entry of the current run
};

// The writer the application uses, and the two operations on it.
ScnWriter& ApplicationScnWriter();
bool ScnCreate(const std::filesystem::path& path);
void ScnAppendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current);
void ScnEndRun(std::uint32_t framesInFile);

// A scene file read back.
struct ScnScene {
    std::uint32_t start = 0;  // first frame, counted from 1
    std::uint32_t frames = 0; // length in frames
};

struct ScnContents {
    bool ok = false;         // header read; scenes holds every entry that was whole
    std::string error;       // why reading stopped early (empty when all is well)
    std::string path;        // P as stored
    std::uint16_t count = 0; // the count word
    std::vector<ScnScene> scenes;
};

// Reads a scene file. Never reads past the end of the bytes; a damaged file
// gives what could be read before the damage and says why it stopped.
ScnContents ScnParse(const std::vector<std::uint8_t>& bytes);
ScnContents ScnRead(const std::filesystem::path& path);

// Ends a scene file left by a capture that never stopped (a crash: its final
// scene was never written) at the frames its video file holds: scenes that
// start after them go, the last one ends at the last frame, and frames after
// the last scene make one more. Written to "FILE.tmp" and renamed over FILE.
// False, with the reason, when the file cannot be read whole or written.
bool ScnEndAt(const std::filesystem::path& path, std::uint32_t frames, std::string& error);

} // namespace talvence
