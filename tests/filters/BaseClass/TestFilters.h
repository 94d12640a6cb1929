#pragma once

// Two small filters on the framework for its tests: a copying transform that inverts every byte,
// and an in-place transform that passes samples on (inverting them when it modifies data). Each
// asks `decide` what to answer for the n-th sample of a run.

#include "filters/BaseClass/TransInPlaceFilter.h"

#include <atomic>
#include <functional>

namespace talvence {

using SampleDecision = std::function<HRESULT(long index)>;

class TInvert : public TBCTransformFilter {
public:
    TInvert();

    SampleDecision decide;
    std::atomic<long> transforms{0};
    std::atomic<long> startStreamingCalls{0};
    std::atomic<long> stopStreamingCalls{0};

    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
};

class TPassInPlace : public TBCTransInPlaceFilter {
public:
    explicit TPassInPlace(bool modifiesData);

    SampleDecision decide;
    std::atomic<long> transforms{0};
    std::atomic<long> copies{0}; // samples transformed in a buffer other than the one received

    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT Transform(IMediaSample* sample) override;
    HRESULT Receive(IMediaSample* sample) override;

private:
    IMediaSample* received_ = nullptr; // identity only (receive lock)
};

} // namespace talvence
