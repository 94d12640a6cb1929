#pragma once
// The scene detector's per-frame logic, apart from any media framework: it
// decodes each DV frame's auxiliary data into a frame record, cuts the stream
// into scenes (continuous camcorder recordings) and reports each finished
// scene to a callback, and keeps the last 100 frames' records and DV header
// bytes in a ring for the inlay and DV header filters. The filter wraps it.
//
// Threads:
// - ProcessFrame: the streaming thread, one frame at a time.
// - Stop: the thread that stops the graph, possibly while the streaming
//   thread still processes a last frame. The final report and the reset each
//   run under the same lock as ProcessFrame, so they see a record pair that no
//   frame is changing; the lock is released around the framework's stop so
//   that a streaming thread still in ProcessFrame can finish.
// - SetSceneCallback: any thread. It takes that lock too, so once it returns
//   the old callback is no longer running and will not be called again. The
//   callback runs under the lock: it must not call back into this object's
//   ProcessFrame, Stop or SetSceneCallback.
// - ReadEntry, ReadInfo, ReadDifHeaders, Pos, ReadPos, SetReadPos,
//   CurrentRecDateTime: any thread, without blocking the streaming thread.
//   Each ring entry is guarded by a sequence counter: a reader copies the
//   entry and retries when a write overlapped the copy, so it never sees an
//   entry half old and half new.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "filters/dvcodes/DvFrameInfo.h"
#include "filters/vq_scenedetect/SeqCounter.h"

namespace talvence {

inline constexpr int kSceneRingSize = 100;
inline constexpr int kSceneHeaderSequences = 10;
// Header block, two subcode blocks and three VAUX blocks of a DIF sequence.
inline constexpr std::size_t kSceneHeaderBytesPerSequence = 480;
inline constexpr std::size_t kSceneHeaderBytes =
    kSceneHeaderSequences * kSceneHeaderBytesPerSequence;

// Times are in 100-ns units.
inline constexpr std::int64_t kSceneGapThreshold = 2000000; // 0.2 s
inline constexpr std::int64_t kSceneFrameDuration625 = 400000;
inline constexpr std::int64_t kSceneFrameDuration525 = 333667;
inline constexpr std::int64_t kSceneDateJumpMs = 2000;       // 2 s
inline constexpr std::int64_t kSceneDateAppearDistance = 12; // frames

// Why a scene ended.
enum class SceneCut {
    Gap,          // the sample's start time is away from the previous stop time
    Format,       // aspect, video system or audio sampling changed
    DateLost,     // an undated frame after dated ones
    DateAppeared, // a dated frame after undated ones, far from the scene start
    DateJump,     // the recording date jumped by more than 2 s
    Stop,         // the stream stopped: the final scene of the run
};

// "gap", "format", "date" (all three date rules) or "end".
const char* SceneCutWord(SceneCut cut);

// A ring entry as copied out for a reader.
struct FrameRingEntry {
    DvFrameInfo info;
    // The first 480 bytes of DIF sequences 0..9, sequence l at l * 480.
    std::array<std::uint8_t, kSceneHeaderBytes> difHeaders{};
    std::int64_t startTime = 0;
};

struct SceneFrameResult {
    // The sample held at least 10 whole DIF sequences and was processed;
    // smaller samples pass untouched and change nothing.
    bool decoded = false;
    // The gap rule cut here: mark the sample as discontinuity and sync point.
    bool discontinuity = false;
    // Scenes reported by this frame (0, 1 or 2; counted with or without a callback).
    int cuts = 0;
};

// The frame duration the rules assume for a sample of this size.
std::int64_t SceneFrameDuration(std::size_t sampleBytes);

class SceneDetectCore {
public:
    // Receives the scene from sceneStart up to, not including, current.
    using SceneCallback = std::function<void(const DvFrameInfo& sceneStart,
                                             const DvFrameInfo& current, SceneCut reason)>;

    SceneDetectCore();
    SceneDetectCore(const SceneDetectCore&) = delete;
    SceneDetectCore& operator=(const SceneDetectCore&) = delete;

    // An empty callback detaches.
    void SetSceneCallback(SceneCallback callback);

    // One sample of the DV stream. start/stop are the sample's times;
    // timesValid = false when the sample carries none: the gap rule then
    // skips the sample, which leaves the previous stop time in place.
    SceneFrameResult ProcessFrame(const std::uint8_t* data, std::size_t size, std::int64_t start,
                                  std::int64_t stop, bool timesValid);

    // Reports the final scene, runs frameworkStop (may be empty), then resets
    // for the next run. The ring keeps its contents.
    void Stop(const std::function<void()>& frameworkStop = {});

    // Ring index of the last processed frame, 0..99.
    int Pos() const { return pos_.load(std::memory_order_acquire); }
    // Ring index published by the inlay filter for the DV header filter.
    int ReadPos() const { return readPos_.load(std::memory_order_acquire); }
    // Indices outside 0..99 are refused (false), so no reader can be sent
    // outside the ring.
    bool SetReadPos(int index);

    // Consistent copies of ring entry `index`; false for an index outside 0..99.
    bool ReadEntry(int index, FrameRingEntry& out) const;
    bool ReadInfo(int index, DvFrameInfo& out) const;
    bool ReadDifHeaders(int index, std::uint8_t* out /* kSceneHeaderBytes */) const;

    // Recording date of the last processed frame (0 when it had none).
    double CurrentRecDateTime() const {
        return currentRecDateTime_.load(std::memory_order_acquire);
    }

    // Copies of the state records, for the thread that streams or after stop.
    DvFrameInfo Current() const;
    DvFrameInfo SceneStart() const;

private:
    static constexpr std::size_t kInfoWords = (sizeof(DvFrameInfo) + 7) / 8;
    static constexpr std::size_t kHeaderWords = kSceneHeaderBytes / 8;

    struct Slot {
        SeqCounter sequence;
        std::array<std::atomic<std::uint64_t>, kInfoWords> info{};
        std::array<std::atomic<std::uint64_t>, kHeaderWords> headers{};
        std::atomic<std::int64_t> startTime{0};
    };

    void Cut(SceneCut reason, SceneFrameResult& result);
    void DecodeInto(const std::uint8_t* data);
    void WriteSlot(Slot& slot, const std::uint8_t* data, std::int64_t start);
    template <typename Copy> bool ReadSlot(int index, Copy copy) const;

    mutable std::mutex mutex_;
    SceneCallback callback_;

    DvFrameInfo current_;
    DvFrameInfo previous_;
    DvFrameInfo sceneStart_;
    bool firstFrame_ = true;
    std::int64_t prevStop_ = 0;
    double lastDate_ = 0.0;
    bool dateSeen_ = false;

    std::atomic<int> pos_{0};
    std::atomic<int> readPos_{0};
    std::atomic<double> currentRecDateTime_{0.0};
    std::array<Slot, kSceneRingSize> ring_;
};

} // namespace talvence
