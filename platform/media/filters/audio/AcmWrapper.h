#pragma once

// The ACM Wrapper: a PCM to PCM converter (rate, channels, 8/16 bits) on libswresample. Its
// output pin answers IAMStreamConfig, through which graphs fix the output format: before the
// connection SetFormat decides the type the pin will connect with; on a connected pin (stopped
// graph) it reconnects the pin with the new type through the graph, after checking that the
// downstream pin accepts it.
//
// Each input sample is converted as it arrives into as many output buffers as it fills. Output
// times are counted from the frames delivered, from a base taken at the first timed sample of the
// stream and again after each discontinuity, flush or new segment (the resampler's history is
// dropped then): output times are therefore contiguous and exact at the output rate, whatever
// rounding the upstream's times carry. End of stream first delivers what the resampler still
// holds.
//
// Locks, in this order: the filter lock (csFilter_) for state, connection and the fixed format;
// the receive lock (csReceive_) for the converter and the time counters.
// Threads: IAMStreamConfig and state changes on the application thread; Receive, EndOfStream and
// NewSegment on the upstream's streaming thread.

#include "filters/BaseClass/TransformFilter.h"
#include "platform/media/filters/audio/PcmConverter.h"
#include "platform/media/CaptureInterfaces.h"

#include <atomic>
#include <optional>
#include <vector>

namespace talvence {

class TAcmWrapper;

class TAcmOutputPin : public TBCTransformOutputPin, public IAMStreamConfig {
public:
    explicit TAcmOutputPin(TAcmWrapper* filter);

    FORWARD_IUNKNOWN(TBCTransformOutputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IAMStreamConfig (application thread).
    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** pmt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) override;

private:
    TAcmWrapper* acm_;
};

class TAcmWrapper : public TBCTransformFilter {
public:
    TAcmWrapper();
    ~TAcmWrapper() override;

    // Application thread: the format SetFormat fixed, if any.
    std::optional<TPcmFormat> FixedFormat() const;

protected:
    void CreatePins() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

private:
    friend class TAcmOutputPin;

    // The output formats offered for the connected input, preferred first (filter lock).
    std::vector<TPcmFormat> OfferedFormats() const;
    // Converts frames (null: the end of the stream) and delivers the output (receive lock).
    HRESULT ConvertAndDeliver(const BYTE* data, int frames, bool endOfStream);

    std::optional<TPcmFormat> fixed_; // filter lock

    TPcmConverter converter_;                // receive lock
    bool timeKnown_ = false;                 // receive lock: base_ is valid
    REFERENCE_TIME base_ = 0;                // receive lock: time of the first frame counted
    long long produced_ = 0;                 // receive lock: frames delivered since base_
    bool discontinuity_ = true;              // receive lock: mark the next output sample
    std::atomic<bool> restartPending_{true}; // set by flush / new segment, taken by Receive
};

} // namespace talvence
