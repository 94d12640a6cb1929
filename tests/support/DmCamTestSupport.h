#pragma once

// What the graph module's end-to-end tests share: a process-wide offscreen QGuiApplication for
// the inlay, the virtual DV camcorder named by TALVENCE_VIRTUAL_DEVICES, a preview window whose
// frame sink counts frames, bounded waits and the ffprobe oracle.

#include "graph/graph.h"
#include "platform/media/filters/audio/FakePcmPlayback.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace talvence::dmcamtest {

// Any thread: counts the frames the preview renderer hands over.
class CountingFrameSink : public IVideoFrameSink {
public:
    void RenderFrame(const TVideoFrame&) override { ++frames; }
    void ApplyWindowOptions(const TVideoWindowOptions&) override {}
    std::atomic<long> frames{0};
};

// Makes the offscreen QGuiApplication once per process.
void EnsureGuiApplication();

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return dir_; }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// The registry with every built-in filter and the virtual devices of `devices` (the value of
// TALVENCE_VIRTUAL_DEVICES for this platform), the preview window and the graph module.
struct DmCamPlatform {
    explicit DmCamPlatform(const std::string& devices);
    ~DmCamPlatform();

    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
    // Where the audio renderer plays: no sound card in tests.
    std::shared_ptr<TFakePcmPlayback> playback = std::make_shared<TFakePcmPlayback>();
    CountingFrameSink sink;
    TVideoWindow window;
    std::unique_ptr<TdmCam> cam;
};

// Analyses the source the catalogue lists under that display name; false when none is.
bool AnalyseByName(TdmCam& cam, const std::string& displayName);

// Polls `done` every few milliseconds for at most `seconds`; true when it held.
bool WaitUntil(const std::function<bool()>& done, double seconds = 30);

// Runs the graph until the source ends (the run completes); false after `seconds`.
bool RunToCompletion(TdmCam& cam, double seconds = 60);

// ffprobe: "codec_type codec_name frames" for each stream, counting the frames read.
std::vector<std::string> ProbeStreams(const std::string& file);
// A shell command's standard output; the exit status in *status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// A raw DV file of `frames` frames made by ffmpeg from its test pattern and a tone (PAL).
std::string MakeDvFile(const TempDir& dir, int frames);

std::vector<std::uint8_t> ReadFile(const std::string& path);

} // namespace talvence::dmcamtest
