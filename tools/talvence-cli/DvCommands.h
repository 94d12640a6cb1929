#pragma once
// Commands over DV material: dvinfo lists each frame's auxiliary data and the
// scenes the scene detector cuts the file into.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
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
// "scene K start=S frames=N reason=R". The first scene of a run starts at
// frame 0 and holds current.frameCount frames: the detector's record of its
// start already counts its first frame.
std::string DvInfoSceneLine(int k, const DvFrameInfo& sceneStart, const DvFrameInfo& current,
                            SceneCut reason);

} // namespace talvence::cli
