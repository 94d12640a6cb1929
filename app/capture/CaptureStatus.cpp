#include "app/capture/CaptureStatus.h"

namespace talvence {

TCaptureStatus ReadFrameCounts(const TCaptureControl& control, const ICaptureGraph& graph) {
    TCaptureStatus s;
    s.state = control.State();
    s.capturing =
        s.state == CaptureState::Capturing || s.state == CaptureState::ScheduledCapture;
    s.imageByImage = control.ImageByImageMode();
    long delivered = 0, lost = 0;
    if (s.imageByImage) {
        s.framesKnown = true;
        s.frames = static_cast<long>(control.ImageByImageCount());
    } else if (graph.SourceFrameCounts(delivered, lost)) {
        s.framesKnown = true;
        s.frames = delivered;
        s.lost = lost;
    }
    return s;
}

TCaptureStatus ReadCaptureStatus(const TCaptureControl& control, const ICaptureGraph& graph,
                                 ICaptureFiles& files) {
    TCaptureStatus s = ReadFrameCounts(control, graph);
    // While capturing, the next video file is the one being written (a cut moves it on).
    s.file = control.NextVideoFile();
    if (s.capturing) s.fileBytes = files.FileSize(s.file);
    s.freeSpace = files.FreeSpace(s.file);
    if (control.SceneFileAttached()) s.scenes = files.SceneCount();
    return s;
}

} // namespace talvence
