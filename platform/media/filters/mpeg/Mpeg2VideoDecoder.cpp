#include "platform/media/filters/mpeg/Mpeg2VideoDecoder.h"

#include "platform/media/FilterRegistry.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace talvence {

namespace {

constexpr LONG kLargest = 4096;

struct Announced {
    LONG width = 0, height = 0;
    REFERENCE_TIME frameTime = 0;
};

std::optional<Announced> AnnouncedPicture(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Video) ||
        !(mt.subtype == MEDIASUBTYPE_MPEG2_VIDEO || mt.subtype == MEDIASUBTYPE_MPEG1Video))
        return std::nullopt;
    Announced a;
    if (!MpegVideoSize(mt, a.width, a.height, a.frameTime)) return std::nullopt;
    if (a.height < 0) a.height = -a.height;
    if (a.width <= 0 || a.width > kLargest || a.height <= 0 || a.height > kLargest ||
        a.width % 2 || a.height % 2)
        return std::nullopt;
    if (a.frameTime <= 0) a.frameTime = 400000;
    return a;
}

LONG RgbRowBytes(LONG width) {
    return (width * 3 + 3) & ~3;
}

} // namespace

TMpeg2VideoDecoder::TMpeg2VideoDecoder()
    : TAvDecoderFilter(kMpeg2VideoDecoderName, CLSID_Mpeg2VideoDecoder, AV_CODEC_ID_MPEG2VIDEO) {}

TMpeg2VideoDecoder::~TMpeg2VideoDecoder() {
    sws_freeContext(scaler_);
}

void TMpeg2VideoDecoder::Configure(AVCodecContext& codec) {
    // One core: the graph has other streaming threads to feed.
    codec.thread_count = 1;
}

HRESULT TMpeg2VideoDecoder::StopStreaming() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    return TAvDecoderFilter::StopStreaming();
}

HRESULT TMpeg2VideoDecoder::CheckInputType(const CMediaType* mtIn) {
    return AnnouncedPicture(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpeg2VideoDecoder::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    const auto a = AnnouncedPicture(InputPin()->CurrentMediaType());
    if (!a) return E_UNEXPECTED;
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = a->frameTime;
    vih.rcSource = {0, 0, a->width, a->height};
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = a->width;
    bmi.biHeight = a->height;
    bmi.biPlanes = 1;
    if (position == 0) {
        bmi.biBitCount = 12;
        bmi.biCompression = 0x30323449; // 'I420'
        bmi.biSizeImage = DWORD(a->width * a->height * 3 / 2);
        *mt = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_I420);
    } else {
        bmi.biBitCount = 24;
        bmi.biCompression = BI_RGB;
        bmi.biSizeImage = DWORD(RgbRowBytes(a->width) * a->height);
        *mt = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    }
    mt->SetFormatType(FORMAT_VideoInfo);
    mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt->SetSampleSize(bmi.biSizeImage);
    return S_OK;
}

HRESULT TMpeg2VideoDecoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    const auto a = AnnouncedPicture(*mtIn);
    if (!a) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* out = VideoBitmapHeader(*mtOut);
    if (!(mtOut->majortype == MEDIATYPE_Video) || !(mtOut->formattype == FORMAT_VideoInfo) ||
        !out || out->biWidth != a->width)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (mtOut->subtype == MEDIASUBTYPE_I420 && std::abs(out->biHeight) == a->height) return S_OK;
    if (mtOut->subtype == MEDIASUBTYPE_RGB24 && out->biBitCount == 24 &&
        out->biCompression == BI_RGB && out->biHeight == a->height)
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpeg2VideoDecoder::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(OutputPin()->CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    return RequestBuffers(allocator, request, 3, LONG(bmi->biSizeImage));
}

HRESULT TMpeg2VideoDecoder::StartStreaming() {
    const auto a = AnnouncedPicture(InputPin()->CurrentMediaType());
    frameTime_ = a ? a->frameTime : 400000;
    return TAvDecoderFilter::StartStreaming();
}

REFERENCE_TIME TMpeg2VideoDecoder::FrameDuration(const AVFrame&) const {
    return frameTime_;
}

HRESULT TMpeg2VideoDecoder::DeliverFrame(const AVFrame& frame, REFERENCE_TIME start) {
    const CMediaType& type = OutputPin()->CurrentMediaType();
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(type);
    if (!bmi) return E_UNEXPECTED;
    const int w = bmi->biWidth, h = std::abs(bmi->biHeight);
    const bool rgb = type.subtype == MEDIASUBTYPE_RGB24;
    // A stream whose pictures differ from the announced size is scaled to it.
    scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, AVPixelFormat(frame.format),
                                   w, h, rgb ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_YUV420P,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) return S_OK;

    ComPtr<IMediaSample> out;
    HRESULT hr = OutputPin()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    if (!dst || out->GetSize() < LONG(bmi->biSizeImage)) return E_FAIL;
    std::uint8_t* planes[4] = {};
    int strides[4] = {};
    if (rgb) {
        // Bottom-up rows: the first picture row goes last.
        const int row = RgbRowBytes(w);
        planes[0] = dst + std::ptrdiff_t(row) * (h - 1);
        strides[0] = -row;
    } else {
        planes[0] = dst;
        planes[1] = dst + w * h;
        planes[2] = planes[1] + (w / 2) * (h / 2);
        strides[0] = w;
        strides[1] = strides[2] = w / 2;
    }
    sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, planes, strides);
    out->SetActualDataLength(LONG(bmi->biSizeImage));
    REFERENCE_TIME stop = start + FrameDuration(frame);
    out->SetTime(&start, &stop);
    out->SetSyncPoint(1);
    out->SetDiscontinuity(firstOfRun_ ? 1 : 0);
    return OutputPin()->Deliver(out.get());
}

void RegisterMpeg2VideoDecoder(FilterRegistry& registry) {
    RegisteredFilter entry;
    entry.clsid = CLSID_Mpeg2VideoDecoder;
    entry.friendlyName = kMpeg2VideoDecoderName;
    entry.merit = MERIT_NORMAL;
    entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO},
                                              {MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Video}}},
                  RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_I420},
                                               {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}}}};
    entry.create = [] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TMpeg2VideoDecoder));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

} // namespace talvence
