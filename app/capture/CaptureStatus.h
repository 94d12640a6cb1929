#pragma once
// The capture status that the status bar and the command-line progress line both show: the
// state, the frames that reached the capture and those the source lost, the file being written
// and its size, the free space where it goes and the scenes written so far. Read from capture
// control, the graph and the files in one place, so that every face shows the same numbers.
//
// Application thread (it reads capture control); the counts themselves are any-thread reads.

#include "app/capture/CaptureFiles.h"
#include "app/capture/ICaptureGraph.h"
#include "app/capture/TCaptureControl.h"

#include <cstdint>
#include <string>

namespace talvence {

struct TCaptureStatus {
    CaptureState state = CaptureState::NoSource;
    bool capturing = false;    // states 2 and 4
    bool imageByImage = false; // frames count the grabs let into the file
    // Frames that reached the capture since its start: the source's delivered count, or the
    // grabs of an image-by-image capture; lost: frames the source dropped. Unknown when the
    // source keeps no count.
    bool framesKnown = false;
    long frames = 0;
    long lost = 0;
    // The file being written while capturing, else the one the next capture will write.
    std::string file;
    std::uint64_t fileBytes = 0; // 0 while nothing is being written
    TDiskSpace freeSpace;        // on the file system of `file`
    int scenes = 0;              // scenes written to the capture's scene file (0 without one)
};

TCaptureStatus ReadCaptureStatus(const TCaptureControl& control, const ICaptureGraph& graph,
                                 ICaptureFiles& files);
// The state and the frame counts only, without touching the file system: what the status bar's
// 50 ms timer needs.
TCaptureStatus ReadFrameCounts(const TCaptureControl& control, const ICaptureGraph& graph);

} // namespace talvence
