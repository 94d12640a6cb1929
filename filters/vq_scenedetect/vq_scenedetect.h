#pragma once
// Tvq_SceneDetect: the in-place filter on the raw DV stream that records every frame in the
// scene detector's ring and cuts the stream into scenes. It never changes sample data; a sample
// that opens a scene after a time gap leaves marked as discontinuity and sync point.
//
// Threads and locks: the framework's filter lock (state changes, application thread), then its
// receive lock (Transform, streaming thread). The scene state lives in SceneDetectCore, which
// guards its records with its own lock and serves the ring to readers on any thread without
// blocking the streaming thread.

#include "filters/BaseClass/TransInPlaceFilter.h"
#include "filters/vq_scenedetect/SceneDetectCore.h"

#include <cstdint>

namespace talvence {

inline constexpr CLSID CLSID_vq_SceneDetect = MakeGuid("E87CC8D6-571D-4927-AC63-AEE089DF6B39");
inline constexpr char kSceneDetectObjectName[] = "Brannock vq_SceneDetect";

// Raw DV: interleaved audio-video of any subtype, or video with subtype 'dvsd'. The DV header
// filter takes the same types.
bool IsDvMediaType(const CMediaType& mt);

class Tvq_SceneDetect : public TBCTransInPlaceFilter {
public:
    Tvq_SceneDetect();

    // Any thread. Attach the scene callback, or detach it with an empty one. It runs on the
    // streaming thread for a cut and on the stopping thread for the final scene of a run; once
    // this returns the previous callback is neither running nor called again.
    void SetSceneCallback(SceneDetectCore::SceneCallback callback);

    // Readers (any thread, lock-free for the streaming thread; each copy is consistent).
    int Pos() const { return core_.Pos(); }
    int ReadPos() const { return core_.ReadPos(); }
    // Published by the superposer for the DV header filter; false outside 0..99.
    bool SetReadPos(int index) { return core_.SetReadPos(index); }
    bool ReadEntry(int index, FrameRingEntry& out) const { return core_.ReadEntry(index, out); }
    bool ReadInfo(int index, DvFrameInfo& out) const { return core_.ReadInfo(index, out); }
    bool ReadDifHeaders(int index, std::uint8_t* out) const {
        return core_.ReadDifHeaders(index, out);
    }
    // Recording date of the last frame, 0 when it had none (the status area shows it).
    double CurrentRecDateTime() const { return core_.CurrentRecDateTime(); }
    // Copies of the scene records, for tests and for the thread that stops the graph.
    DvFrameInfo Current() const { return core_.Current(); }
    DvFrameInfo SceneStart() const { return core_.SceneStart(); }

    // Application thread. Reports the final scene of the run before the framework stops (samples
    // may still arrive meanwhile), then resets for the next run. A stop of a filter that is
    // already stopped ends no run and reports nothing.
    HRESULT Stop() override;

    // Raw DV as IsDvMediaType says (application thread, filter lock).
    HRESULT CheckInputType(const CMediaType* mt) override;
    // Streaming thread, receive lock.
    HRESULT Transform(IMediaSample* sample) override;

private:
    SceneDetectCore core_; // its own lock; see SceneDetectCore.h
};

} // namespace talvence
