#pragma once
// Commands over DV material: dvinfo lists each frame's auxiliary data and the
// scenes the scene detector cuts the file into.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filters/dvcodes/DvFrameInfo.h"
#include "filters/vq_scenedetect/SceneDetectCore.h"
#include "tools/talvence-cli/CommandTable.h"

namespace talvence::cli {

void AddDvCommands(CommandTable& table);

// dvinfo FILE: raw DV, or DV type-1/type-2 AVI. One line per frame, then one
// line per scene (format in the README). kExitFailed when the file cannot be
// read as either.
int RunDvInfo(Args args, std::ostream& out, std::ostream& err);

// The frames of a DV file in file order, each as a whole buffer. A raw file's
// last frame may come short; it is handed out as it is.
class DvFrameSource {
public:
    virtual ~DvFrameSource() = default;
    // False at the end of the file or on a read error (error() then says why).
    virtual bool next(std::vector<std::uint8_t>& frame) = 0;
    const std::string& error() const { return error_; }

protected:
    std::string error_;
};

// An AVI (RIFF) file goes through libavformat; anything else is read as raw
// DV, a frame being 12 DIF sequences when its header says 625/50 and 10 else.
std::unique_ptr<DvFrameSource> OpenDvFrameSource(const std::string& path, std::string& error);

// "frame N tc=... rec=... sys=... aspect=... audio=..."
std::string DvInfoFrameLine(std::uint64_t index, const DvFrameInfo& info);
// A frame the scene detector did not decode (fewer than 10 DIF sequences).
std::string DvInfoShortFrameLine(std::uint64_t index, std::size_t bytes);
// "scene K start=S frames=N reason=R", S and N in frame positions of the file
// (the numbers of the frame lines): the scene runs from position `start` up to,
// not including, `end`.
std::string DvInfoSceneLine(int k, std::uint64_t start, std::uint64_t end, SceneCut reason);

// The positions of the scene the detector reported as (sceneStart, current), K
// counted from 1. The detector counts only the frames it decoded; decodedAt
// holds their positions in order. A frame too short to decode keeps its
// position inside the scene around it; short frames after the last decoded
// one belong to no scene.
std::pair<std::uint64_t, std::uint64_t>
DvInfoScenePositions(int k, const DvFrameInfo& sceneStart, const DvFrameInfo& current,
                     const std::vector<std::uint64_t>& decodedAt);

} // namespace talvence::cli
