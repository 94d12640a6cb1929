#include "platform/media/filters/deinterlace/Deinterlacer.h"

#include "platform/log/Log.h"
#include "platform/media/FilterRegistry.h"
#include "platform/media/MediaGuids.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>
#include <optional>
#include <string>

namespace talvence {

namespace {

constexpr LONG kLargest = 4096;

struct Picture {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    LONG width = 0, height = 0;
    REFERENCE_TIME frameTime = 0;
    DWORD bytes = 0;
};

LONG RgbRowBytes(LONG width) {
    return (width * 3 + 3) & ~3;
}

std::optional<Picture> PictureOf(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Video) || !(mt.formattype == FORMAT_VideoInfo)) return {};
    const VIDEOINFOHEADER* vih = mt.FormatAs<VIDEOINFOHEADER>();
    if (!vih) return {};
    Picture p;
    p.width = vih->bmiHeader.biWidth;
    p.height = vih->bmiHeader.biHeight;
    p.frameTime = vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame : 400000;
    if (mt.subtype == MEDIASUBTYPE_RGB24) {
        // Bottom-up rows only: top-down RGB would need its own flag through the chain.
        if (vih->bmiHeader.biBitCount != 24 || p.height <= 0) return {};
        p.format = AV_PIX_FMT_BGR24;
    } else if (mt.subtype == MEDIASUBTYPE_I420) {
        p.format = AV_PIX_FMT_YUV420P;
    } else if (mt.subtype == MEDIASUBTYPE_YUY2) {
        p.format = AV_PIX_FMT_YUYV422;
    } else {
        return {};
    }
    if (p.height < 0) p.height = -p.height;
    if (p.width <= 0 || p.width > kLargest || p.height <= 0 || p.height > kLargest ||
        p.width % 2 || p.height % 4)
        return {};
    switch (p.format) {
    case AV_PIX_FMT_BGR24: p.bytes = DWORD(RgbRowBytes(p.width) * p.height); break;
    case AV_PIX_FMT_YUV420P: p.bytes = DWORD(p.width * p.height * 3 / 2); break;
    default: p.bytes = DWORD(p.width * p.height * 2); break;
    }
    return p;
}

// Points a frame's planes at a picture in a sample's buffer (bottom-up RGB from its last row).
void PointAt(AVFrame& f, const Picture& p, BYTE* data) {
    std::memset(f.data, 0, sizeof f.data);
    std::memset(f.linesize, 0, sizeof f.linesize);
    switch (p.format) {
    case AV_PIX_FMT_BGR24:
        f.linesize[0] = -RgbRowBytes(p.width);
        f.data[0] = data + std::ptrdiff_t(RgbRowBytes(p.width)) * (p.height - 1);
        break;
    case AV_PIX_FMT_YUV420P:
        f.data[0] = data;
        f.data[1] = data + p.width * p.height;
        f.data[2] = f.data[1] + (p.width / 2) * (p.height / 2);
        f.linesize[0] = p.width;
        f.linesize[1] = f.linesize[2] = p.width / 2;
        break;
    default:
        f.data[0] = data;
        f.linesize[0] = p.width * 2;
        break;
    }
}

} // namespace

TDeinterlacer::TDeinterlacer()
    : TBCTransformFilter(kDeinterlacerFilterName, nullptr, CLSID_VideoDeinterlacer) {}

TDeinterlacer::~TDeinterlacer() {
    CloseGraph();
}

HRESULT TDeinterlacer::CheckInputType(const CMediaType* mtIn) {
    return PictureOf(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDeinterlacer::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    const CMediaType& input = InputPin()->CurrentMediaType();
    const auto in = PictureOf(input);
    if (!in) return E_UNEXPECTED;
    if (position == 0) {
        *mt = input;
        return S_OK;
    }
    if (position > 1 || in->format == AV_PIX_FMT_BGR24) return VFW_S_NO_MORE_ITEMS;
    VIDEOINFOHEADER vih = *input.FormatAs<VIDEOINFOHEADER>();
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biHeight = in->height;
    bmi.biBitCount = 24;
    bmi.biCompression = BI_RGB;
    bmi.biSizeImage = DWORD(RgbRowBytes(in->width) * in->height);
    *mt = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt->SetFormatType(FORMAT_VideoInfo);
    mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt->SetSampleSize(bmi.biSizeImage);
    return S_OK;
}

HRESULT TDeinterlacer::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    const auto in = PictureOf(*mtIn), out = PictureOf(*mtOut);
    if (!in || !out || in->width != out->width || in->height != out->height)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return out->format == in->format || out->format == AV_PIX_FMT_BGR24 ? S_OK
                                                                         : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDeinterlacer::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const auto out = PictureOf(OutputPin()->CurrentMediaType());
    if (!out) return E_UNEXPECTED;
    return RequestBuffers(allocator, request, 3, LONG(out->bytes));
}

bool TDeinterlacer::OpenGraph() {
    CloseGraph();
    const auto in = PictureOf(InputPin()->CurrentMediaType());
    const auto out = PictureOf(OutputPin()->CurrentMediaType());
    if (!in || !out) return false;
    frameTime_ = in->frameTime;
    graph_ = avfilter_graph_alloc();
    in_ = av_frame_alloc();
    ready_ = av_frame_alloc();
    if (!graph_ || !in_ || !ready_) return false;
    // The deinterlacer's own work on one thread, as the decoders.
    graph_->nb_threads = 1;
    const std::string args = "video_size=" + std::to_string(in->width) + "x" +
                             std::to_string(in->height) + ":pix_fmt=" + std::to_string(in->format) +
                             ":time_base=1/10000000:pixel_aspect=1/1";
    if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args.c_str(),
                                     nullptr, graph_) < 0 ||
        avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph_) < 0)
        return false;
    const std::string chain = std::string("bwdif=mode=send_frame:parity=tff:deint=all,format=") +
                              av_get_pix_fmt_name(out->format);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return false;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    const bool ok = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
                    avfilter_graph_config(graph_, nullptr) >= 0;
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (!ok) TLOG(Codec) << "deinterlacer: the filter graph cannot be made";
    return ok;
}

void TDeinterlacer::CloseGraph() {
    avfilter_graph_free(&graph_);
    source_ = sink_ = nullptr;
    av_frame_free(&in_);
    av_frame_free(&ready_);
}

HRESULT TDeinterlacer::StartStreaming() {
    firstOfRun_ = true;
    return OpenGraph() ? S_OK : E_FAIL;
}

HRESULT TDeinterlacer::StopStreaming() {
    CloseGraph();
    return S_OK;
}

HRESULT TDeinterlacer::Receive(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES* props = InputPin()->SampleProps();
    if (!OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (props->dwStreamId != AM_STREAM_MEDIA) return OutputPin()->Deliver(sample);
    if (!graph_) return VFW_E_WRONG_STATE;
    const auto in = PictureOf(InputPin()->CurrentMediaType());
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!in || !data || sample->GetActualDataLength() < LONG(in->bytes)) return S_OK; // not a picture
    in_->format = in->format;
    in_->width = in->width;
    in_->height = in->height;
    PointAt(*in_, *in, data);
    REFERENCE_TIME start = 0, stop = 0;
    in_->pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
    in_->interlaced_frame = 1;
    in_->top_field_first = 1;
    // The buffer source copies a frame it does not own.
    if (av_buffersrc_add_frame_flags(source_, in_, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return S_OK;
    return DeliverReady();
}

HRESULT TDeinterlacer::DeliverReady() {
    const auto out = PictureOf(OutputPin()->CurrentMediaType());
    if (!out) return E_UNEXPECTED;
    while (av_buffersink_get_frame(sink_, ready_) >= 0) {
        ComPtr<IMediaSample> sample;
        HRESULT hr = OutputPin()->GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0);
        if (FAILED(hr)) {
            av_frame_unref(ready_);
            return hr;
        }
        BYTE* dst = nullptr;
        sample->GetPointer(&dst);
        if (!dst || sample->GetSize() < LONG(out->bytes) || ready_->width != out->width ||
            ready_->height != out->height) {
            av_frame_unref(ready_);
            return E_FAIL;
        }
        AVFrame target{};
        PointAt(target, *out, dst);
        av_image_copy(target.data, target.linesize, const_cast<const std::uint8_t**>(ready_->data),
                      ready_->linesize, out->format, out->width, out->height);
        sample->SetActualDataLength(LONG(out->bytes));
        if (ready_->pts != AV_NOPTS_VALUE) {
            // The filter counts in field times: back to 100 ns units.
            REFERENCE_TIME start =
                av_rescale_q(ready_->pts, av_buffersink_get_time_base(sink_), {1, 10'000'000});
            REFERENCE_TIME stop = start + frameTime_;
            sample->SetTime(&start, &stop);
        }
        sample->SetSyncPoint(1);
        sample->SetDiscontinuity(firstOfRun_ ? 1 : 0);
        firstOfRun_ = false;
        av_frame_unref(ready_);
        ++out_;
        hr = OutputPin()->Deliver(sample.get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT TDeinterlacer::EndOfStream() {
    if (graph_ && av_buffersrc_add_frame_flags(source_, nullptr, 0) >= 0) DeliverReady();
    return TBCTransformFilter::EndOfStream();
}

HRESULT TDeinterlacer::EndFlush() {
    {
        // What the filter graph holds belongs before the flush.
        TBCAutoLock receive(csReceive_);
        if (graph_) OpenGraph();
        firstOfRun_ = true;
    }
    return TBCTransformFilter::EndFlush();
}

void RegisterDeinterlacer(FilterRegistry& registry) {
    RegisteredFilter entry;
    entry.clsid = CLSID_VideoDeinterlacer;
    entry.friendlyName = kDeinterlacerFilterName;
    entry.merit = MERIT_DO_NOT_USE;
    entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_I420},
                                              {MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
                                              {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}}},
                  RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_I420},
                                               {MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
                                               {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}}}};
    entry.create = [] { return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TDeinterlacer)); };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

} // namespace talvence
