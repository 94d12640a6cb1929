#pragma once
// A graph module for tests: records every call in order, answers builds and
// runs from settings, and behaves like the graph where capture control
// depends on it: PreviewReady follows the builds, and stopping a running
// graph reports the final scene and runs the control filter's stop handler
// when a capture branch is in it.

#include "app/capture/ICaptureGraph.h"
#include "graph/CaptureFormats.h"

#include <string>
#include <vector>

namespace talvence {

class FakeCaptureGraph : public ICaptureGraph {
public:
    // Answers.
    bool previewBuilds = true;
    bool captureBuilds = true;
    bool runs = true;
    bool switchesFile = true;
    bool deinterlacerInGraph = false;
    std::int64_t frameDuration = 400000;
    bool keepsFrameCounts = true;
    std::optional<std::uint64_t> videoFrames; // of the capture file
    std::string writerError;
    std::string lastError;
    long delivered = 0;
    long lost = 0;

    // What happened.
    std::vector<std::string> calls;
    bool running = false;
    bool captureBranch = false;
    std::string writerFile; // the file the capture writer writes
    std::int64_t restampOffset = 0;
    bool passNext = false;
    int dvAudioRate = -1;
    int acmRate = 0;
    int wmvConfigured = -1; // -1 none, 0 without audio, 1 with audio
    bool wmvConfigures = true; // what ConfigureWindowsMediaWriter answers

    bool StopGraph() override {
        calls.push_back("StopGraph");
        if (running) {
            running = false;
            if (sceneReport_) sceneReport_(DvFrameInfo{}, DvFrameInfo{});
            if (captureBranch && onStop_) onStop_();
        }
        return true;
    }
    bool RunGraph() override {
        calls.push_back("RunGraph");
        running = runs;
        return runs;
    }
    bool BuildPreviewGraph(SourceKind) override {
        calls.push_back("BuildPreviewGraph");
        captureBranch = false;
        previewReady_ = previewBuilds;
        return previewBuilds;
    }
    std::int64_t FrameDuration() const override { return frameDuration; }
    bool DeinterlacerInGraph() const override { return deinterlacerInGraph; }
    bool PreviewReady() const override { return previewReady_; }
    // Every recipe of the table is built.
    bool HasCaptureBuilder(SourceKind kind, int format) const override {
        return CaptureRecipeFor(kind, format) != CaptureRecipe::None;
    }
    void ReleaseCaptureWriter() override { calls.push_back("ReleaseCaptureWriter"); }
    bool BuildCaptureGraph(SourceKind, int format, std::uint8_t,
                           const std::string& captureFile) override {
        calls.push_back("BuildCaptureGraph " + std::to_string(format) + " " + captureFile);
        if (!captureBuilds || !previewReady_) return false;
        previewReady_ = false;
        captureBranch = true;
        writerFile = captureFile;
        return true;
    }
    bool SwitchOutputFile(const std::string& path) override {
        calls.push_back("SwitchOutputFile " + path);
        if (!switchesFile || !captureBranch) return false;
        writerFile = path;
        return true;
    }
    bool ConfigureWindowsMediaWriter(bool withAudio) override {
        wmvConfigured = withAudio ? 1 : 0;
        return wmvConfigures;
    }
    bool ForceAcmOutputRate(int samplesPerSecond) override {
        acmRate = samplesPerSecond;
        return true;
    }
    bool BuildAudioBranch() override {
        calls.push_back("BuildAudioBranch");
        return true;
    }
    bool ForceDvAudio44100(int rate) override {
        dvAudioRate = rate;
        return true;
    }
    bool SelectAudioSource(const std::string& name) override {
        calls.push_back("SelectAudioSource " + name);
        return true;
    }
    std::optional<std::uint64_t> CapturedVideoFrames() const override { return videoFrames; }
    std::string CaptureWriterError() const override { return writerError; }
    std::string LastError() const override { return lastError; }
    bool SourceFrameCounts(long& d, long& l) const override {
        d = delivered;
        l = lost;
        return keepsFrameCounts;
    }
    void SetInlayFlip(bool) override {}
    void SetClearTimesMode(Timestamper) override {}
    void SetRestampOffset(Timestamper which, std::int64_t offset) override {
        if (which == Timestamper::Third) restampOffset = offset;
    }
    void SetRestampMode(Timestamper) override {}
    void SetOnStop(std::function<void()> onStop) override { onStop_ = std::move(onStop); }
    void SetPassNext(bool pass) override { passNext = pass; }
    void SetSceneCallback(SceneReport report) override { sceneReport_ = std::move(report); }

    // A scene cut while the graph streams.
    void EmitScene() {
        if (running && sceneReport_) sceneReport_(DvFrameInfo{}, DvFrameInfo{});
    }
    bool SceneCallbackSet() const { return static_cast<bool>(sceneReport_); }
    void ClearCalls() { calls.clear(); }

private:
    bool previewReady_ = false;
    std::function<void()> onStop_;
    SceneReport sceneReport_;
};

} // namespace talvence
