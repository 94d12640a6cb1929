#pragma once
// Tvq_TimeStamper: rewrites or removes the presentation times of the samples that pass. Clear
// mode removes them (a renderer then shows each sample on arrival); restamp mode gives each
// sample the graph clock's stream time less an offset, lasting 40 ms; pass-through leaves them.
//
// Threads and locks: the framework's filter lock (application thread), then its receive lock
// (Transform, streaming thread). The mode and the offset are atomics written by the application
// thread; a change takes effect from the next sample.

#include "filters/BaseClass/TransInPlaceFilter.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace talvence {

inline constexpr CLSID CLSID_vq_TimeStamper = MakeGuid("E5307FC4-8823-4F58-A01D-D8C863F8BBA8");
inline constexpr char kTimeStamperObjectName[] = "Brannock vq_Timestamper";

// Every restamped sample lasts this long, whatever the stream (100-ns units).
inline constexpr std::int64_t kRestampDuration = 400000;

enum class StampMode : std::uint8_t { PassThrough, Restamp, ClearTimes };

// What to do with one sample's times.
struct StampAction {
    enum Kind { Keep, Clear, Set } kind = Keep;
    std::int64_t start = 0;
    std::int64_t stop = 0;
};

// The timestamper's rules, apart from the framework.
class TimeStampRule {
public:
    // Any thread (the application thread in practice). One word holds the mode, so a sample
    // never sees half of a mode change.
    void SetMode(StampMode mode) { mode_.store(mode); }
    void SetOffset(std::int64_t offset) { offset_.store(offset); }
    StampMode Mode() const { return mode_.load(); }
    std::int64_t Offset() const { return offset_.load(); }

    // Streaming thread. `times` are the sample's (start, stop) when it has them (stop given only
    // when the sample carries one); `streamTime` is the clock's time less the run's start time,
    // absent without a clock (restamping then keeps the times).
    StampAction Next(std::optional<std::int64_t> start, std::optional<std::int64_t> stop,
                     std::optional<std::int64_t> streamTime);

    // Times of the last sample as finally stamped (any thread).
    std::int64_t LastStart() const { return lastStart_.load(); }
    std::int64_t LastStop() const { return lastStop_.load(); }

private:
    std::atomic<StampMode> mode_{StampMode::PassThrough};
    std::atomic<std::int64_t> offset_{0};
    std::atomic<std::int64_t> lastStart_{0};               // written by the streaming thread
    std::atomic<std::int64_t> lastStop_{kRestampDuration}; // written by the streaming thread
};

class Tvq_TimeStamper : public TBCTransInPlaceFilter {
public:
    Tvq_TimeStamper();

    // Application thread; no lock on the streaming side.
    void SetRestampMode() { rule_.SetMode(StampMode::Restamp); }
    void SetPassThroughMode() { rule_.SetMode(StampMode::PassThrough); }
    void SetClearTimesMode() { rule_.SetMode(StampMode::ClearTimes); }
    // Subtracted from the clock-derived start time (100-ns units).
    void SetRestampOffset(std::int64_t offset) { rule_.SetOffset(offset); }

    const TimeStampRule& Rule() const { return rule_; }

    // Every media type passes (application thread, filter lock).
    HRESULT CheckInputType(const CMediaType* mt) override;
    // Streaming thread, receive lock. Always S_OK.
    HRESULT Transform(IMediaSample* sample) override;
    // Receive lock held (under the filter lock): take / drop the run's clock.
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    TimeStampRule rule_; // atomics, see TimeStampRule
    // The graph's clock for this run, so the streaming thread never needs the filter lock
    // (StreamTime takes it, which would invert the lock order against Stop). Receive lock.
    ComPtr<IReferenceClock> runClock_;
};

} // namespace talvence
