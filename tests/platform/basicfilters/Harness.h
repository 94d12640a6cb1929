#pragma once

// Helpers for the basic filters' tests: bounded waits that fail instead of hanging, the graph's
// queued events, a sample of our own, a sink whose Receive can be held shut, and a frame sink
// that records what the video renderer hands over.

#include "tests/support/Waits.h"
#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MemAllocator.h"
#include "platform/media/filters/basic/VideoRenderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace talvence::testing {

using Events = std::vector<std::pair<long, LONG_PTR>>;

// Every queued event code with its first parameter, taken from the queue.
inline Events TakeEvents(CFilterGraph* graph) {
    Events out;
    long code;
    LONG_PTR p1, p2;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.emplace_back(code, p1);
        graph->FreeEventParams(code, p1, p2);
    }
    return out;
}

inline long CountEvents(const Events& events, long code) {
    long n = 0;
    for (auto& e : events)
        if (e.first == code) ++n;
    return n;
}

// A sample of our own for calling Receive directly; keep holds its pool.
inline ComPtr<IMediaSample> MakeSample(ComPtr<IMemAllocator>& keep, LONG length) {
    keep = new CMemAllocator;
    ALLOCATOR_PROPERTIES request{1, length, 1, 0}, actual;
    keep->SetProperties(&request, &actual);
    keep->Commit();
    ComPtr<IMediaSample> sample;
    keep->GetBuffer(sample.put(), nullptr, nullptr, 0);
    sample->SetActualDataLength(length);
    return sample;
}

// The allocator a probe can take a buffer from without waiting: VFW_E_NOT_COMMITTED tells a
// decommitted pool.
inline HRESULT Probe(IMemAllocator* allocator) {
    ComPtr<IMediaSample> s;
    return allocator->GetBuffer(s.put(), nullptr, nullptr, AM_GBF_NOWAIT);
}

// A sink that accepts any type and whose Receive waits while the gate is shut. Its stop opens
// the gate, as a renderer's stop releases a waiting delivery.
class TGateSink : public TBCBaseFilter {
public:
    TGateSink()
        : TBCBaseFilter("Gate sink", nullptr, &lock_,
                        MakeGuid("6F1B2A3C-1111-4E2D-9C3B-0A1B2C3D4E5F")),
          pin_(this) {}

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    IPin* InputPin() { return &pin_; }

    HRESULT Stop() override {
        Open();
        return TBCBaseFilter::Stop();
    }

    void Shut() {
        std::lock_guard lock(mutex_);
        shut_ = true;
    }
    void Open() {
        {
            std::lock_guard lock(mutex_);
            shut_ = false;
        }
        changed_.notify_all();
    }
    // True once a delivery is waiting at the shut gate.
    bool WaitForWaiter() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return waiting_ > 0; });
    }

    std::atomic<long> received{0};
    std::atomic<long> timed{0}; // received samples that carried presentation times
    std::atomic<long> endOfStreams{0};
    std::vector<BYTE> firstBytes; // of each sample; streaming thread until stopped

private:
    class Pin : public TBCBaseInputPin {
    public:
        explicit Pin(TGateSink* sink)
            : TBCBaseInputPin("Gate sink pin", sink, &sink->lock_, "In"), sink_(sink) {}
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        HRESULT Receive(IMediaSample* sample) override {
            HRESULT hr = TBCBaseInputPin::Receive(sample);
            if (hr != S_OK) return hr;
            {
                std::unique_lock lock(sink_->mutex_);
                ++sink_->waiting_;
                sink_->changed_.notify_all();
                // Bounded: a test that forgets to open the gate fails rather than hangs.
                sink_->changed_.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return !sink_->shut_; });
                --sink_->waiting_;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            sink_->firstBytes.push_back(sample->GetActualDataLength() > 0 ? data[0] : 0);
            if (sampleProps_.dwSampleFlags & AM_SAMPLE_TIMEVALID) ++sink_->timed;
            ++sink_->received;
            return S_OK;
        }
        HRESULT EndOfStream() override {
            ++sink_->endOfStreams;
            return S_OK;
        }

    private:
        TGateSink* sink_;
    };

    TBCCritSec lock_;
    Pin pin_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool shut_ = false;
    int waiting_ = 0;
};

// What the video renderer handed over.
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

private:
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
    std::vector<TVideoWindowOptions> options_;
};

} // namespace talvence::testing
