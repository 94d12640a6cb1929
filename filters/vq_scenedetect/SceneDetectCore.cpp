#include "filters/vq_scenedetect/SceneDetectCore.h"

#include <cstdlib>
#include <cstring>

#include "filters/dvcodes/dvcodes.h"
#include "platform/shell/DateTime.h"

namespace talvence {

namespace {

// |a - b| without overflow for any two 64-bit times.
std::uint64_t Distance(std::int64_t a, std::int64_t b) {
    const auto ua = static_cast<std::uint64_t>(a);
    const auto ub = static_cast<std::uint64_t>(b);
    return a > b ? ua - ub : ub - ua;
}

std::int64_t DistanceMs(TDateTime a, TDateTime b) {
    return std::abs(MillisecondsBetween(a, b));
}

} // namespace

const char* SceneCutWord(SceneCut cut) {
    switch (cut) {
    case SceneCut::Gap:
        return "gap";
    case SceneCut::Format:
        return "format";
    case SceneCut::DateLost:
    case SceneCut::DateAppeared:
    case SceneCut::DateJump:
        return "date";
    case SceneCut::Stop:
        return "end";
    }
    return "?";
}

std::int64_t SceneFrameDuration(std::size_t sampleBytes) {
    return sampleBytes == kDvFrameBytes625 ? kSceneFrameDuration625 : kSceneFrameDuration525;
}

SceneDetectCore::SceneDetectCore() {
    current_.hasRecDate = true;
}

void SceneDetectCore::SetSceneCallback(SceneCallback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

bool SceneDetectCore::SetReadPos(int index) {
    if (index < 0 || index >= kSceneRingSize) return false;
    readPos_.store(index, std::memory_order_release);
    return true;
}

void SceneDetectCore::Cut(SceneCut reason, SceneFrameResult& result) {
    if (callback_) callback_(sceneStart_, current_, reason);
    sceneStart_ = current_;
    ++result.cuts;
}

void SceneDetectCore::DecodeInto(const std::uint8_t* data) {
    DvFrameInfo& cur = current_;

    cur.hasRecDate = false;
    cur.recDateTime = 0.0;
    for (int s = 0; s < kDvMinSequences; ++s) {
        DvRecDateTime rec;
        DvReadRecDateTime(data, s, rec);
        if (rec.year < 0) continue;
        TDateTime value = 0;
        if (TryEncodeDateTime(rec.year, rec.month, rec.day, rec.hour, rec.minute, rec.second, 0,
                              value)) {
            cur.hasRecDate = true;
            cur.recDateTime = value;
        }
        break;
    }

    cur.hasTimecode = false;
    for (int s = 0; s < kDvMinSequences; ++s) {
        const DvTimecode tc = DvReadTimecode(data, s);
        if (tc.hours & 0x80) continue;
        cur.timecode = tc;
        cur.hasTimecode = true;
        break;
    }

    cur.audioSampleRate = DvAudioSampleRate(data);
    cur.audioBits = DvAudioQuantization(data);
    cur.wideScreen = DvIsWideScreen(data);
    cur.videoSystem = DvVideoSystem(data);
    cur.infoComplete = cur.hasTimecode && DvHasSourceControl(data) && cur.audioSampleRate != -1;
}

SceneFrameResult SceneDetectCore::ProcessFrame(const std::uint8_t* data, std::size_t size,
                                               std::int64_t start, std::int64_t stop,
                                               bool timesValid) {
    SceneFrameResult result;
    if (data == nullptr || size < kDvMinFrameBytes) return result;
    result.decoded = true;

    std::lock_guard lock(mutex_);
    const std::int64_t duration = SceneFrameDuration(size);
    previous_ = current_;
    DecodeInto(data);

    // Gap: the stream jumped in time (tape stopped, frames lost).
    if (timesValid && prevStop_ > 0 && start > duration &&
        Distance(start, prevStop_) > static_cast<std::uint64_t>(kSceneGapThreshold)) {
        Cut(SceneCut::Gap, result);
        dateSeen_ = false;
        result.discontinuity = true;
    }

    // Format: only trusted when both frames carry complete auxiliary data.
    if (sceneStart_.infoComplete && current_.infoComplete &&
        (current_.wideScreen != sceneStart_.wideScreen ||
         current_.videoSystem != sceneStart_.videoSystem ||
         current_.audioSampleRate != sceneStart_.audioSampleRate ||
         current_.audioBits != sceneStart_.audioBits)) {
        Cut(SceneCut::Format, result);
        dateSeen_ = false;
    }

    // Recording date: lost, appeared, or jumped.
    if (!current_.hasRecDate && previous_.hasRecDate) {
        if (current_.frameCount > 0) Cut(SceneCut::DateLost, result);
    } else if (!previous_.hasRecDate && current_.hasRecDate) {
        const std::int64_t distance = static_cast<std::int64_t>(current_.frameCount) -
                                      static_cast<std::int64_t>(sceneStart_.frameCount);
        if (std::abs(distance) > kSceneDateAppearDistance) Cut(SceneCut::DateAppeared, result);
        lastDate_ = current_.recDateTime;
    } else if (previous_.hasRecDate && current_.hasRecDate) {
        if (dateSeen_ && DistanceMs(current_.recDateTime, lastDate_) > kSceneDateJumpMs)
            Cut(SceneCut::DateJump, result);
        lastDate_ = current_.recDateTime;
        dateSeen_ = true;
    }

    current_.frameCount += 1;

    // The entry is written before pos moves to it, so a reader that follows
    // pos finds the new frame, never the one from 100 frames earlier.
    const int next = (pos_.load(std::memory_order_relaxed) + 1) % kSceneRingSize;
    WriteSlot(ring_[next], data, start);
    pos_.store(next, std::memory_order_release);
    currentRecDateTime_.store(current_.recDateTime, std::memory_order_release);

    if (timesValid) prevStop_ = stop;

    if (firstFrame_) {
        sceneStart_ = current_;
        firstFrame_ = false;
    }
    return result;
}

void SceneDetectCore::Stop(const std::function<void()>& frameworkStop) {
    {
        std::lock_guard lock(mutex_);
        if (callback_) callback_(sceneStart_, current_, SceneCut::Stop);
    }
    if (frameworkStop) frameworkStop();
    std::lock_guard lock(mutex_);
    pos_.store(0, std::memory_order_release);
    readPos_.store(0, std::memory_order_release);
    sceneStart_.frameCount = 0;
    sceneStart_.hasRecDate = false;
    sceneStart_.hasTimecode = false;
    sceneStart_.infoComplete = false;
    firstFrame_ = true;
    current_.frameCount = 0;
    current_.hasRecDate = true;
    lastDate_ = 0.0;
    prevStop_ = 0;
    dateSeen_ = false;
}

DvFrameInfo SceneDetectCore::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

DvFrameInfo SceneDetectCore::SceneStart() const {
    std::lock_guard lock(mutex_);
    return sceneStart_;
}

void SceneDetectCore::WriteSlot(Slot& slot, const std::uint8_t* data, std::int64_t start) {
    slot.sequence.BeginWrite();

    std::uint64_t infoWords[kInfoWords] = {};
    std::memcpy(infoWords, &current_, sizeof(DvFrameInfo));
    for (std::size_t i = 0; i < kInfoWords; ++i)
        slot.info[i].store(infoWords[i], std::memory_order_relaxed);

    constexpr std::size_t kWordsPerSequence = kSceneHeaderBytesPerSequence / 8;
    for (std::size_t l = 0; l < kSceneHeaderSequences; ++l) {
        std::uint64_t words[kWordsPerSequence];
        std::memcpy(words, data + l * kDvSequenceBytes, kSceneHeaderBytesPerSequence);
        for (std::size_t i = 0; i < kWordsPerSequence; ++i)
            slot.headers[l * kWordsPerSequence + i].store(words[i], std::memory_order_relaxed);
    }
    slot.startTime.store(start, std::memory_order_relaxed);

    slot.sequence.EndWrite();
}

template <typename Copy> bool SceneDetectCore::ReadSlot(int index, Copy copy) const {
    if (index < 0 || index >= kSceneRingSize) return false;
    const Slot& slot = ring_[static_cast<std::size_t>(index)];
    slot.sequence.Read([&] { copy(slot); });
    return true;
}

bool SceneDetectCore::ReadInfo(int index, DvFrameInfo& out) const {
    std::uint64_t words[kInfoWords] = {};
    const bool ok = ReadSlot(index, [&words](const Slot& slot) {
        for (std::size_t i = 0; i < kInfoWords; ++i)
            words[i] = slot.info[i].load(std::memory_order_relaxed);
    });
    if (ok) std::memcpy(&out, words, sizeof(DvFrameInfo));
    return ok;
}

bool SceneDetectCore::ReadDifHeaders(int index, std::uint8_t* out) const {
    std::uint64_t words[kHeaderWords];
    const bool ok = ReadSlot(index, [&words](const Slot& slot) {
        for (std::size_t i = 0; i < kHeaderWords; ++i)
            words[i] = slot.headers[i].load(std::memory_order_relaxed);
    });
    if (ok) std::memcpy(out, words, kSceneHeaderBytes);
    return ok;
}

bool SceneDetectCore::ReadEntry(int index, FrameRingEntry& out) const {
    std::uint64_t info[kInfoWords] = {};
    std::uint64_t headers[kHeaderWords];
    std::int64_t startTime = 0;
    const bool ok = ReadSlot(index, [&](const Slot& slot) {
        for (std::size_t i = 0; i < kInfoWords; ++i)
            info[i] = slot.info[i].load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < kHeaderWords; ++i)
            headers[i] = slot.headers[i].load(std::memory_order_relaxed);
        startTime = slot.startTime.load(std::memory_order_relaxed);
    });
    if (!ok) return false;
    std::memcpy(&out.info, info, sizeof(DvFrameInfo));
    std::memcpy(out.difHeaders.data(), headers, kSceneHeaderBytes);
    out.startTime = startTime;
    return true;
}

} // namespace talvence
