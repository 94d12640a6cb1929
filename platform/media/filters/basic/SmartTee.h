#pragma once

// The Smart Tee: pins "Input", "Capture" and "Preview". The capture output hands on every sample
// itself, at full rate. The preview output must never hold the capture back: it copies a sample
// into a buffer of its own pool only when one is free at once and its delivery thread is idle,
// and drops it otherwise. Preview copies carry no presentation times (a renderer shows them on
// arrival instead of waiting for times that dropped frames have already overtaken).
//
// Threads: the preview pin owns one delivery thread, started when the filter pauses from stopped
// and joined by the stop (the graph stops downstream first, so that thread is never left blocked
// in a downstream Receive). Locks: those of TTeeFilter; the preview hand-over has a leaf mutex of
// its own that is never held while calling out.

#include "platform/media/filters/basic/TeeFilter.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace talvence {

class TSmartTee;

class TSmartTeePreviewPin : public TTeeOutputPin {
public:
    explicit TSmartTeePreviewPin(TSmartTee* tee);
    ~TSmartTeePreviewPin() override;

    // Application thread (filter lock): commit our pool and start / stop and join the thread.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread (receive lock): copies and queues the sample, or drops it. True when
    // queued.
    bool Offer(IMediaSample* sample);
    // Streaming thread: queued behind the pending sample.
    HRESULT DeliverEndOfStreamInOrder() override;
    // Application thread: a flush discards the pending sample.
    HRESULT DeliverBeginFlush() override;

    // Any thread: counts since the last start.
    long Delivered() const { return delivered_; }
    long Dropped() const { return dropped_; }

protected:
    bool WantsOwnBuffers() const override { return true; }

private:
    void ThreadProc();
    void StopThread();

    std::thread thread_; // application thread starts and joins it
    std::mutex mutex_;   // leaf lock for the members below
    std::condition_variable wake_;
    ComPtr<IMediaSample> pending_;
    bool endOfStream_ = false;
    bool busy_ = false; // the thread is delivering downstream
    bool quit_ = false;
    bool skipped_ = false; // streaming thread: a drop since the last queued sample
    std::atomic<long> delivered_{0};
    std::atomic<long> dropped_{0};
};

class TSmartTee : public TTeeFilter {
public:
    TSmartTee();

    TTeeOutputPin* CapturePin() const { return outputs_[0]; }
    TSmartTeePreviewPin* PreviewPin() const { return preview_; }

protected:
    // Streaming thread, receive lock: preview first (never blocks), then capture, whose result
    // goes back upstream.
    HRESULT ReceiveSample(IMediaSample* sample) override;
    void StartStreaming() override;
    // Only the capture output passes samples on; read-only exactly when upstream says so.
    bool OutputsShareSamples() const override { return false; }

private:
    friend class TSmartTeePreviewPin;
    // Streaming thread, receive lock: the graph hears of preview drops once per run.
    void ReportDrop();

    TSmartTeePreviewPin* preview_;
    bool qualityChanged_ = false; // receive lock; cleared at each start
};

} // namespace talvence
