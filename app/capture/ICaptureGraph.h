#pragma once
// What capture control asks of the graph module: building, stopping and
// running the preview and capture graphs, switching the output file at a cut,
// the audio branch, and the settings of the own filters that a preview or a
// capture needs. The graph module implements it; tests use FakeCaptureGraph.
//
// Application thread only, except where a member says otherwise.

#include "app/capture/CaptureRules.h"
#include "filters/dvcodes/DvFrameInfo.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace talvence {

// The scene detector's report of one finished scene: from sceneStart up to,
// not including, current. Runs on the streaming thread, and once more inside
// StopGraph for the final scene.
using SceneReport = std::function<void(const DvFrameInfo& sceneStart, const DvFrameInfo& current)>;

enum class Timestamper { First, Second, Third };

class ICaptureGraph {
public:
    virtual ~ICaptureGraph() = default;

    // Stops the graph; a capture graph's filters finish their files here (the
    // control filter's stop handler and the final scene report run inside).
    virtual bool StopGraph() = 0;
    virtual bool RunGraph() = 0;

    // The preview graph of a source kind. The frame duration of the source
    // (100 ns units) is known after a successful build; "Standard DV" is set
    // by the build for DV sources.
    virtual bool BuildPreviewGraph(SourceKind kind) = 0;
    virtual std::int64_t FrameDuration() const = 0;
    // The other maker's deinterlacer is part of the graph (MovieBox previews).
    virtual bool DeinterlacerInGraph() const = 0;
    // A completed preview graph with no capture branch added yet.
    virtual bool PreviewReady() const = 0;

    // Whether the graph module has built the recipe of the pair (kCaptureFormats).
    // Asked before the graph is stopped, so that a pair without a builder does
    // not interrupt the preview.
    virtual bool HasCaptureBuilder(SourceKind kind, int format) const = 0;
    // Drops the writer and file sink of an earlier capture.
    virtual void ReleaseCaptureWriter() = 0;
    // Adds the capture branch of the pair to the stopped preview graph,
    // writing `captureFile`. `tvStandard` ("Standard DV") matters to the
    // builders that encode DV.
    virtual bool BuildCaptureGraph(SourceKind kind, int format, std::uint8_t tvStandard,
                                   const std::string& captureFile) = 0;
    // Gives the stopped capture graph's writer a new file, written from the
    // next run; false when the writer cannot be told.
    virtual bool SwitchOutputFile(const std::string& path) = 0;
    // Configures the Windows Media writer of a capture with the profile for
    // capture, without audio streams when `withAudio` is false.
    virtual bool ConfigureWindowsMediaWriter(bool withAudio) = 0;
    // Forces the ACM wrapper's output to 16-bit stereo PCM at `samplesPerSecond`;
    // false when no ACM wrapper is in the graph.
    virtual bool ForceAcmOutputRate(int samplesPerSecond) = 0;

    // Builds or removes the included-audio branch after "Ecouter Audio inclus".
    virtual bool BuildAudioBranch() = 0;
    // Listening rate of DV audio; 0 follows the stream.
    virtual bool ForceDvAudio44100(int rate) = 0;
    virtual bool SelectAudioSource(const std::string& friendlyName) = 0;

    // Frames the source delivered and lost since its last start; false when it
    // keeps no count. Any thread.
    virtual bool SourceFrameCounts(long& delivered, long& lost) const = 0;
    // Frames of the video stream in the capture file being or last written;
    // nothing without a writer that counts them. Application thread.
    virtual std::optional<std::uint64_t> CapturedVideoFrames() const = 0;
    // Why the capture writer failed last (the file and the system's reason);
    // empty when it did not. Application thread.
    virtual std::string CaptureWriterError() const = 0;
    // Why the last failing build or run failed; empty after a success.
    virtual std::string LastError() const = 0;

    // Own filters.
    virtual void SetInlayFlip(bool flip) = 0;
    virtual void SetClearTimesMode(Timestamper which) = 0;
    virtual void SetRestampOffset(Timestamper which, std::int64_t offset) = 0;
    virtual void SetRestampMode(Timestamper which) = 0;
    // The control filter: its stop handler (empty removes it) and the arm
    // that lets exactly one frame into the file.
    virtual void SetOnStop(std::function<void()> onStop) = 0;
    virtual void SetPassNext(bool pass) = 0;
    // The scene detector's report (empty detaches). Once it returns, the old
    // report is not running and is not called again.
    virtual void SetSceneCallback(SceneReport report) = 0;
};

} // namespace talvence
