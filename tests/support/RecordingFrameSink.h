#pragma once
// Stands in for the preview window behind the video renderer: records what each frame handed
// over looked like and the window options it was given.
//
// Threads: the renderer calls it on its streaming thread (frames) and the application thread
// (options); the test thread reads the records at any time (one mutex guards them).

#include "platform/media/filters/basic/VideoRenderer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace talvence::testing {

class TRecordingFrameSink : public IVideoFrameSink {
public:
    struct Frame {
        LONG width = 0;
        LONG height = 0;
        GUID subtype;
        long length = 0;
        BYTE firstByte = 0;
        bool hasTime = false;
    };

    void RenderFrame(const TVideoFrame& frame) override {
        Frame f;
        if (auto* vih = frame.type->FormatAs<VIDEOINFOHEADER>()) {
            f.width = vih->bmiHeader.biWidth;
            f.height = vih->bmiHeader.biHeight;
        }
        f.subtype = frame.type->subtype;
        f.length = frame.length;
        f.firstByte = frame.length > 0 ? frame.data[0] : 0;
        f.hasTime = frame.hasTime;
        std::lock_guard lock(mutex_);
        frames_.push_back(f);
        arrived_.notify_all();
    }
    void ApplyWindowOptions(const TVideoWindowOptions& options) override {
        std::lock_guard lock(mutex_);
        options_.push_back(options);
    }

    std::vector<Frame> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<TVideoWindowOptions> Options() const {
        std::lock_guard lock(mutex_);
        return options_;
    }
    // Bounded: false when the time runs out.
    bool WaitForFrames(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Frame> frames_;
    std::vector<TVideoWindowOptions> options_;
};

} // namespace talvence::testing
