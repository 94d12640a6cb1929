#include "platform/media/filters/mjpeg/MjpegDecompressor.h"

#include "platform/media/FilterRegistry.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <turbojpeg.h>

namespace talvence {

namespace {

constexpr LONG kLargest = 8192;

// Width and height of an MJPEG input type; false for anything else.
bool PictureSize(const CMediaType& mt, LONG& width, LONG& height) {
    if (!(mt.majortype == MEDIATYPE_Video) || !(mt.subtype == MEDIASUBTYPE_MJPG)) return false;
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(mt);
    if (!bmi || bmi->biWidth <= 0 || bmi->biWidth > kLargest || bmi->biHeight == 0 ||
        bmi->biHeight > kLargest || bmi->biHeight < -kLargest)
        return false;
    width = bmi->biWidth;
    height = bmi->biHeight < 0 ? -bmi->biHeight : bmi->biHeight;
    return true;
}

LONG RowBytes(LONG width) {
    return (width * 3 + 3) & ~3;
}

} // namespace

TMjpegDecompressor::TMjpegDecompressor()
    : TBCTransformFilter("MJPEG Decompressor", nullptr, CLSID_MjpegDec) {}

TMjpegDecompressor::~TMjpegDecompressor() {
    if (decompressor_) tjDestroy(decompressor_);
}

HRESULT TMjpegDecompressor::CheckInputType(const CMediaType* mtIn) {
    LONG w = 0, h = 0;
    return PictureSize(*mtIn, w, h) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMjpegDecompressor::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    LONG w = 0, h = 0;
    if (!PictureSize(*mtIn, w, h)) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* out = VideoBitmapHeader(*mtOut);
    if (!(mtOut->majortype == MEDIATYPE_Video) || !(mtOut->subtype == MEDIASUBTYPE_RGB24) ||
        !(mtOut->formattype == FORMAT_VideoInfo) || !out || out->biBitCount != 24 ||
        out->biCompression != BI_RGB || out->biWidth != w || out->biHeight != h)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TMjpegDecompressor::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const CMediaType& input = InputPin()->CurrentMediaType();
    LONG w = 0, h = 0;
    if (!PictureSize(input, w, h)) return E_UNEXPECTED;
    VIDEOINFOHEADER vih;
    if (const VIDEOINFOHEADER* in = input.FormatAs<VIDEOINFOHEADER>()) {
        vih.AvgTimePerFrame = in->AvgTimePerFrame;
        vih.rcSource = in->rcSource;
        vih.rcTarget = in->rcTarget;
    }
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = w;
    bmi.biHeight = h; // bottom-up
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = BI_RGB;
    bmi.biSizeImage = static_cast<DWORD>(RowBytes(w) * h);
    *mt = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt->SetFormatType(FORMAT_VideoInfo);
    mt->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt->SetSampleSize(bmi.biSizeImage);
    return S_OK;
}

HRESULT TMjpegDecompressor::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(OutputPin()->CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    return RequestBuffers(allocator, request, 2, static_cast<LONG>(bmi->biSizeImage));
}

HRESULT TMjpegDecompressor::Transform(IMediaSample* in, IMediaSample* out) {
    const BITMAPINFOHEADER* bmi = VideoBitmapHeader(OutputPin()->CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    const LONG w = bmi->biWidth, h = bmi->biHeight;
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    if (out->GetSize() < RowBytes(w) * h) return E_FAIL;
    if (!decompressor_) decompressor_ = tjInitDecompress();
    int jw = 0, jh = 0, sub = 0, space = 0;
    const auto length = static_cast<unsigned long>(in->GetActualDataLength());
    // A picture of another size than the type says is as broken as one that does not decode.
    if (!src || !decompressor_ ||
        tjDecompressHeader3(decompressor_, src, length, &jw, &jh, &sub, &space) != 0 || jw != w ||
        jh != h ||
        tjDecompress2(decompressor_, src, length, dst, w, RowBytes(w), h, TJPF_BGR,
                      TJFLAG_BOTTOMUP | TJFLAG_FASTDCT) != 0) {
        ++dropped_;
        return S_FALSE;
    }
    out->SetActualDataLength(RowBytes(w) * h);
    return S_OK;
}

void RegisterMjpegDecompressor(FilterRegistry& registry) {
    RegisteredFilter entry;
    entry.clsid = CLSID_MjpegDec;
    entry.friendlyName = "MJPEG Decompressor";
    entry.merit = MERIT_NORMAL;
    entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_MJPG}}},
                  RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_RGB24}}}};
    entry.create = [] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TMjpegDecompressor));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

} // namespace talvence
