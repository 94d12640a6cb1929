#pragma once

// Filters and helpers for the audio filters' tests: a source that delivers a prepared PCM buffer
// in chunks with times counted from the frames, a sink that keeps every byte and time it receives,
// PCM signal makers and a frequency measure.

#include "tests/support/Waits.h"
#include "filters/BaseClass/SourceFilter.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/audio/PcmFormat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace talvence::testing {

class TPcmTestSource;

class TPcmTestStream : public TBCSourceStream {
public:
    explicit TPcmTestStream(TPcmTestSource* source);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override {
        offset_ = 0;
        return S_OK;
    }

private:
    TPcmTestSource* source_;
    long offset_ = 0; // streaming thread: frames delivered
};

// Set the members while stopped, before connecting.
class TPcmTestSource : public TBCSource {
public:
    TPcmTestSource()
        : TBCSource("PCM test source", nullptr, MakeGuid("0E7A51C2-3B44-4F0D-A1B2-6C7D8E9F0A01")) {
        AddPin(std::make_unique<TPcmTestStream>(this));
    }
    IPin* OutputPin() { return GetPin(0); }

    TPcmFormat format{48000, 2, 16};
    std::vector<BYTE> data;
    long chunkFrames = 1920; // one 25 fps frame of 48 kHz audio
    long bufferCount = 4;
    // From this chunk on the times jump by `gap` and the chunk is marked a discontinuity, as
    // after data lost upstream (-1: never).
    long gapAtChunk = -1;
    REFERENCE_TIME gap = 0;
};

inline TPcmTestStream::TPcmTestStream(TPcmTestSource* source)
    : TBCSourceStream("PCM test source pin", source, "Out"), source_(source) {}

inline HRESULT TPcmTestStream::CheckMediaType(const CMediaType* mt) {
    return PcmFormatOf(*mt) == source_->format ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

inline HRESULT TPcmTestStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = MakePcmType(source_->format);
    return S_OK;
}

inline HRESULT TPcmTestStream::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max<LONG>(request->cBuffers, source_->bufferCount);
    request->cbBuffer = std::max<LONG>(
        request->cbBuffer, static_cast<LONG>(source_->chunkFrames * source_->format.BlockAlign()));
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
}

inline HRESULT TPcmTestStream::FillBuffer(IMediaSample* sample) {
    const TPcmFormat& f = source_->format;
    const long block = static_cast<long>(f.BlockAlign());
    const long total = static_cast<long>(source_->data.size()) / block;
    if (offset_ >= total) return S_FALSE;
    const long n = std::min(source_->chunkFrames, total - offset_);
    BYTE* dst = nullptr;
    sample->GetPointer(&dst);
    std::memcpy(dst, source_->data.data() + offset_ * block, static_cast<std::size_t>(n * block));
    sample->SetActualDataLength(n * block);
    const long chunk = offset_ / source_->chunkFrames;
    const bool afterGap = source_->gapAtChunk >= 0 && chunk >= source_->gapAtChunk;
    const REFERENCE_TIME shift = afterGap ? source_->gap : 0;
    REFERENCE_TIME start = f.Duration(offset_) + shift, stop = f.Duration(offset_ + n) + shift;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(1);
    sample->SetDiscontinuity(chunk == source_->gapAtChunk ? 1 : 0);
    offset_ += n;
    return S_OK;
}

// Accepts PCM (or what `accept` says); keeps every byte and time received.
class TPcmTestSink : public TBCBaseFilter {
public:
    TPcmTestSink()
        : TBCBaseFilter("PCM test sink", nullptr, &lock_,
                        MakeGuid("0E7A51C2-3B44-4F0D-A1B2-6C7D8E9F0A02")),
          pin_(this) {}

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    IPin* InputPin() { return &pin_; }
    TPcmFormat Format() const { return *PcmFormatOf(pin_.CurrentMediaType()); }

    std::function<bool(const TPcmFormat&)> accept; // null: any PCM the filters handle

    struct Times {
        REFERENCE_TIME start = 0, stop = 0;
        bool valid = false;
        bool discontinuity = false;
    };
    std::vector<BYTE> Bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    std::vector<Times> SampleTimes() const {
        std::lock_guard lock(mutex_);
        return times_;
    }
    bool WaitForEndOfStream() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return ended_; });
    }

private:
    class Pin : public TBCBaseInputPin {
    public:
        explicit Pin(TPcmTestSink* sink)
            : TBCBaseInputPin("PCM test sink pin", sink, &sink->lock_, "In"), sink_(sink) {}
        HRESULT CheckMediaType(const CMediaType* mt) override {
            auto f = PcmFormatOf(*mt);
            if (!f) return VFW_E_TYPE_NOT_ACCEPTED;
            return !sink_->accept || sink_->accept(*f) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }
        HRESULT Receive(IMediaSample* sample) override {
            HRESULT hr = TBCBaseInputPin::Receive(sample);
            if (hr != S_OK) return hr;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            Times t;
            t.valid = sample->GetTime(&t.start, &t.stop) == S_OK;
            t.discontinuity = sample->IsDiscontinuity() == S_OK;
            std::lock_guard lock(sink_->mutex_);
            sink_->bytes_.insert(sink_->bytes_.end(), data, data + sample->GetActualDataLength());
            sink_->times_.push_back(t);
            return S_OK;
        }
        HRESULT EndOfStream() override {
            {
                std::lock_guard lock(sink_->mutex_);
                sink_->ended_ = true;
            }
            sink_->cv_.notify_all();
            return S_OK;
        }
        HRESULT BeginFlush() override { return TBCBaseInputPin::BeginFlush(); }
        HRESULT EndFlush() override { return TBCBaseInputPin::EndFlush(); }

    private:
        TPcmTestSink* sink_;
    };

    TBCCritSec lock_;
    Pin pin_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<BYTE> bytes_;
    std::vector<Times> times_;
    bool ended_ = false;
};

// A 16-bit sine of the given frequency on every channel.
inline std::vector<BYTE> MakeSine(const TPcmFormat& f, double seconds, double hz,
                                  double amplitude = 16000) {
    const long frames = std::lround(seconds * f.rate);
    std::vector<BYTE> out(static_cast<std::size_t>(frames) * f.BlockAlign());
    for (long i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * M_PI * hz * i / f.rate)));
        for (unsigned c = 0; c < f.channels; ++c)
            std::memcpy(&out[(static_cast<std::size_t>(i) * f.channels + c) * 2], &v, 2);
    }
    return out;
}

// Channel `channel` of 16-bit interleaved PCM.
inline std::vector<std::int16_t> Channel16(const std::vector<BYTE>& bytes, unsigned channels,
                                           unsigned channel = 0) {
    std::vector<std::int16_t> out;
    for (std::size_t i = channel * 2; i + 1 < bytes.size(); i += channels * 2) {
        std::int16_t v;
        std::memcpy(&v, &bytes[i], 2);
        out.push_back(v);
    }
    return out;
}

// The frequency from rising zero crossings, over the samples from `from` to `to`.
inline double MeasureFrequency(const std::vector<std::int16_t>& s, unsigned rate, std::size_t from,
                               std::size_t to) {
    std::size_t first = 0, last = 0;
    long crossings = 0;
    for (std::size_t i = from + 1; i < to && i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    if (crossings < 2) return 0;
    return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

// Runs the graph until EC_COMPLETE (bounded) and stops it.
inline HRESULT RunToCompletion(CFilterGraph* graph) {
    HRESULT hr = graph->Run();
    if (FAILED(hr)) return hr;
    long code = 0;
    hr = graph->WaitForCompletion(10000, &code);
    graph->Stop();
    if (hr != S_OK) return hr;
    return code == EC_COMPLETE ? S_OK : E_FAIL;
}

} // namespace talvence::testing
