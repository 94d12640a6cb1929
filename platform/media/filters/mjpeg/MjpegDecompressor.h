#pragma once
// The MJPEG Decompressor: the JPEG pictures a webcam sends ('MJPG') into bottom-up RGB24 of the
// same size, with libjpeg-turbo (which supplies the standard Huffman tables that cameras leave
// out). Registered for intelligent connection, so that an MJPEG source previews, inlays and
// encodes to DV like any other. A picture that does not decode is dropped (EC_QUALITY_CHANGE
// once per run, by the framework) and counted.
//
// Threads: the application thread connects and drives states; Transform runs on the upstream's
// streaming thread under the receive lock, which guards the decompressor.

#include "filters/BaseClass/TransformFilter.h"

#include <atomic>

namespace talvence {

class FilterRegistry;

inline constexpr CLSID CLSID_MjpegDec = MakeGuid("301056D0-6DFF-11D2-9EEB-006008039E37");

class TMjpegDecompressor : public TBCTransformFilter {
public:
    TMjpegDecompressor();
    ~TMjpegDecompressor() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

    // Any thread: pictures dropped since the filter was made.
    long FramesDropped() const { return dropped_; }

private:
    void* decompressor_ = nullptr; // receive lock; libjpeg-turbo's handle
    std::atomic<long> dropped_{0};
};

void RegisterMjpegDecompressor(FilterRegistry& registry);

} // namespace talvence
