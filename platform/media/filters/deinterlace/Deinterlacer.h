#pragma once
// The video deinterlacer: each interlaced picture in, one progressive picture out (libavfilter's
// bwdif, both fields weighed, the top field first), one picture behind the input since the
// filter looks at the next picture too; the last comes out at the end of the stream. Inputs:
// I420, YUY2 and RGB24 (bottom-up), of any size; outputs, in order of preference: the input's
// own layout, then RGB24 bottom-up (what the inlay and the preview take). Each picture keeps
// its time and lasts the input type's frame time.
//
// It is registered under the name the application looks its deinterlacer up by, never for
// intelligent connection.
//
// Threads: the application thread connects and drives states (the filter graph is made on pause
// from stopped and freed on stop); Receive and EndOfStream run on the upstream's streaming
// thread under the receive lock, which guards the filter graph.

#include "filters/BaseClass/TransformFilter.h"

#include <atomic>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace talvence {

class FilterRegistry;

inline constexpr CLSID CLSID_VideoDeinterlacer = MakeGuid("3C6E6A52-1F0B-4E8D-B7A4-92D05C1E7F33");
inline constexpr const char* kDeinterlacerFilterName = "Pinnacle Video Deinterlacer";

class TDeinterlacer : public TBCTransformFilter {
public:
    TDeinterlacer();
    ~TDeinterlacer() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    // Any thread: pictures delivered since the filter was made.
    long PicturesOut() const { return out_; }

private:
    bool OpenGraph();
    void CloseGraph();
    // Takes what the filter graph has ready and delivers it (receive lock).
    HRESULT DeliverReady();

    AVFilterGraph* graph_ = nullptr; // receive lock
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* in_ = nullptr;
    AVFrame* ready_ = nullptr;
    REFERENCE_TIME frameTime_ = 400000; // receive lock: the input type's, per run
    bool firstOfRun_ = true;
    std::atomic<long> out_{0};
};

void RegisterDeinterlacer(FilterRegistry& registry);

} // namespace talvence
