#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/SampleCopy.h"
#include "platform/media/FilterRegistry.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvFilterIds.h"

#include <cstring>

namespace talvence {

using namespace colorconv;

namespace {

constexpr DWORD FourCC(char a, char b, char c, char d) {
    return DWORD(std::uint8_t(a)) | DWORD(std::uint8_t(b)) << 8 | DWORD(std::uint8_t(c)) << 16 |
           DWORD(std::uint8_t(d)) << 24;
}

using Packing = TColorSpaceConverter::Packing;

struct YuvKind {
    YuvLayout layout;
    Packing packing;
    GUID subtype;
    DWORD fourcc;
    WORD bits;
};
const YuvKind kYuvKinds[] = {
    {YuvLayout::Yuy2, Packing::Native, MEDIASUBTYPE_YUY2, FourCC('Y', 'U', 'Y', '2'), 16},
    {YuvLayout::Yuv420p, Packing::Native, MEDIASUBTYPE_I420, FourCC('I', '4', '2', '0'), 12},
    {YuvLayout::Yuv411p, Packing::Native, MEDIASUBTYPE_Y41B, FourCC('Y', '4', '1', 'B'), 12},
    {YuvLayout::Yuy2, Packing::Uyvy, MEDIASUBTYPE_UYVY, FourCC('U', 'Y', 'V', 'Y'), 16},
    {YuvLayout::Yuv420p, Packing::Nv12, MEDIASUBTYPE_NV12, FourCC('N', 'V', '1', '2'), 12},
};

const YuvKind* KindOf(YuvLayout layout, Packing packing) {
    for (const YuvKind& k : kYuvKinds)
        if (k.layout == layout && k.packing == packing) return &k;
    return nullptr;
}

// A camera's layout into the converters' own: UYVY's bytes swapped pairwise into YUY2, NV12's
// interleaved chroma split into I420's planes.
void Repack(const std::uint8_t* src, std::uint8_t* dst, const TColorSpaceConverter::Format& f) {
    if (f.packing == Packing::Uyvy) {
        for (std::size_t i = 0; i + 1 < f.bytes; i += 2) {
            dst[i] = src[i + 1];
            dst[i + 1] = src[i];
        }
        return;
    }
    const std::size_t luma = std::size_t(f.width) * std::size_t(f.height);
    std::memcpy(dst, src, luma);
    const std::size_t chroma = luma / 4;
    for (std::size_t i = 0; i < chroma; ++i) {
        dst[luma + i] = src[luma + 2 * i];
        dst[luma + chroma + i] = src[luma + 2 * i + 1];
    }
}

// The types offered for an input, in order of preference. RGB24 comes first for RGB24 input
// too: a downstream filter that takes anything (a tee) then keeps the picture as it is, and
// one that wants YUV picks its layout from the rest. YUV input offers its own layout after
// RGB24 (a copy): a chain that can draw into YUV asks for it and skips two full-frame
// conversions, while everything that connects without asking still gets RGB24.
std::vector<TColorSpaceConverter::Format> Offers(const TColorSpaceConverter::Format& in) {
    std::vector<TColorSpaceConverter::Format> out;
    TColorSpaceConverter::Format f;
    f.width = in.width;
    f.height = in.height;
    f.rgb = true;
    f.bottomUp = true;
    f.bytes = std::size_t(Rgb24Stride(in.width)) * std::size_t(in.height);
    out.push_back(f);
    if (!in.rgb) {
        f.rgb = false;
        f.bottomUp = false;
        f.yuv = in.yuv;
        f.packing = in.packing;
        f.bytes = in.bytes;
        out.push_back(f);
    } else {
        for (const YuvKind& k : kYuvKinds) {
            if (k.packing != Packing::Native) continue; // read only, never written
            f.rgb = false;
            f.bottomUp = false;
            f.yuv = k.layout;
            f.bytes = YuvFrameSize(k.layout, in.width, in.height);
            if (f.bytes != 0) out.push_back(f);
        }
    }
    return out;
}

Rgb24Frame RgbView(std::uint8_t* data, const TColorSpaceConverter::Format& f) {
    const std::ptrdiff_t row = Rgb24Stride(f.width);
    if (f.bottomUp) return BottomUpRgb24(data, f.width, f.height, row);
    return Rgb24Frame{data, f.width, f.height, row};
}

} // namespace

TColorSpaceConverter::TColorSpaceConverter()
    : TBCTransformFilter("Color Space Converter", nullptr, CLSID_Colour) {
    // Same picture, same size, other layout.
    keepsPictureOrigin_ = true;
}

TColorSpaceConverter::~TColorSpaceConverter() = default;

std::optional<TColorSpaceConverter::Format> TColorSpaceConverter::FormatOf(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Video) || !(mt.formattype == FORMAT_VideoInfo))
        return std::nullopt;
    const BITMAPINFOHEADER* header = VideoBitmapHeader(mt);
    if (!header) return std::nullopt;
    const BITMAPINFOHEADER& bmi = *header;
    constexpr LONG kLargest = 16384;
    if (bmi.biWidth <= 0 || bmi.biWidth > kLargest || bmi.biHeight == 0 ||
        bmi.biHeight < -kLargest || bmi.biHeight > kLargest)
        return std::nullopt;
    Format f;
    f.width = bmi.biWidth;
    f.height = bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight;
    if (mt.subtype == MEDIASUBTYPE_RGB24) {
        if (bmi.biBitCount != 24 || bmi.biCompression != BI_RGB) return std::nullopt;
        f.rgb = true;
        f.bottomUp = bmi.biHeight > 0;
        f.bytes = std::size_t(Rgb24Stride(f.width)) * std::size_t(f.height);
        return f;
    }
    for (const YuvKind& k : kYuvKinds) {
        if (!(mt.subtype == k.subtype)) continue;
        if (bmi.biCompression != k.fourcc || bmi.biBitCount != k.bits) return std::nullopt;
        // YUV pictures are stored top-down whatever the sign.
        f.yuv = k.layout;
        f.packing = k.packing;
        f.bytes = YuvFrameSize(k.layout, f.width, f.height);
        if (f.bytes == 0) return std::nullopt;
        return f;
    }
    return std::nullopt;
}

CMediaType TColorSpaceConverter::TypeOf(const Format& format, const CMediaType& like) {
    VIDEOINFOHEADER vih;
    if (const VIDEOINFOHEADER* in = like.FormatAs<VIDEOINFOHEADER>()) {
        vih.rcSource = in->rcSource;
        vih.rcTarget = in->rcTarget;
        vih.AvgTimePerFrame = in->AvgTimePerFrame;
    }
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = format.width;
    bmi.biHeight = format.rgb && !format.bottomUp ? -format.height : format.height;
    bmi.biPlanes = 1;
    bmi.biSizeImage = static_cast<DWORD>(format.bytes);
    GUID subtype = MEDIASUBTYPE_RGB24;
    if (format.rgb) {
        bmi.biBitCount = 24;
        bmi.biCompression = BI_RGB;
    } else {
        const YuvKind* k = KindOf(format.yuv, format.packing);
        bmi.biBitCount = k->bits;
        bmi.biCompression = k->fourcc;
        subtype = k->subtype;
    }
    if (vih.AvgTimePerFrame > 0)
        vih.dwBitRate = static_cast<DWORD>(std::uint64_t(format.bytes) * 8 * 10000000 /
                                           std::uint64_t(vih.AvgTimePerFrame));
    CMediaType mt(MEDIATYPE_Video, subtype);
    mt.SetFormatType(FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(static_cast<ULONG>(format.bytes));
    return mt;
}

HRESULT TColorSpaceConverter::CheckInputType(const CMediaType* mtIn) {
    return FormatOf(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TColorSpaceConverter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    const std::optional<Format> in = FormatOf(*mtIn);
    const std::optional<Format> out = FormatOf(*mtOut);
    if (!in || !out) return VFW_E_TYPE_NOT_ACCEPTED;
    if (in->width != out->width || in->height != out->height) return VFW_E_TYPE_NOT_ACCEPTED;
    // Between YUV layouts there is no converter: one side must be RGB, or both the same layout.
    if (!in->rgb && !out->rgb && (in->yuv != out->yuv || in->packing != out->packing))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (in->rgb && !out->rgb && out->packing != Packing::Native) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TColorSpaceConverter::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    const CMediaType& input = InputPin()->CurrentMediaType();
    const std::optional<Format> in = FormatOf(input);
    if (!in) return E_UNEXPECTED;
    const std::vector<Format> offers = Offers(*in);
    if (std::size_t(position) >= offers.size()) return VFW_S_NO_MORE_ITEMS;
    *mt = TypeOf(offers[std::size_t(position)], input);
    return S_OK;
}

HRESULT TColorSpaceConverter::DecideBufferSize(IMemAllocator* allocator,
                                               ALLOCATOR_PROPERTIES* request) {
    const std::optional<Format> out = FormatOf(OutputPin()->CurrentMediaType());
    if (!out) return E_UNEXPECTED;
    const auto bytes = static_cast<LONG>(out->bytes);
    return RequestBuffers(allocator, request, 2, bytes);
}

HRESULT TColorSpaceConverter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IPictureDemand::iid) return GetInterface(&demand_, ppv);
    return TBCTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

bool TColorSpaceConverter::IsCopy(const std::optional<Format>& from,
                                  const std::optional<Format>& to) {
    return from && to && !from->rgb && !to->rgb && from->yuv == to->yuv &&
           from->packing == Packing::Native && to->packing == Packing::Native &&
           from->width == to->width && from->height == to->height;
}

PictureNeed TColorSpaceConverter::NextPictureNeed() {
    if (share_.WillPassOver()) return PictureNeed::Nothing();
    if (IsCopy(FormatOf(InputPin()->CurrentMediaType()), FormatOf(OutputPin()->CurrentMediaType())))
        return NeedBehind(OutputPin());
    return PictureNeed{};
}

HRESULT TColorSpaceConverter::Receive(IMediaSample* sample) {
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        inputType_ = *changed;
        DeleteMediaType(changed);
    }
    if (InputPin()->SampleProps()->dwStreamId == AM_STREAM_MEDIA && share_.PassOver()) {
        ++passedOver_;
        return S_OK;
    }
    // The share may have grown since the decoder asked: a picture decoded for no conversion
    // is not converted.
    if (const auto origin = PictureOriginOf(sample);
        origin && origin->partial &&
        !IsCopy(FormatOf(inputType_), FormatOf(OutputPin()->CurrentMediaType()))) {
        ++passedOver_;
        return S_OK;
    }
    return TBCTransformFilter::Receive(sample);
}

HRESULT TColorSpaceConverter::StartStreaming() {
    inputType_ = InputPin()->CurrentMediaType();
    share_.Reset();
    return S_OK;
}

HRESULT TColorSpaceConverter::AlterQuality(const Quality& q) {
    if (q.Type != Flood && q.Type != Famine) return S_FALSE;
    IPin* upstream = InputPin()->GetConnected();
    ComPtr<IQualityControl> quality;
    if (upstream && SUCCEEDED(upstream->QueryInterface(IQualityControl::iid, quality.putVoid())) &&
        SUCCEEDED(quality->Notify(this, q))) {
        share_.Set(1000);
        return S_OK;
    }
    share_.Set(q.Proportion);
    return S_OK;
}

HRESULT TColorSpaceConverter::Transform(IMediaSample* in, IMediaSample* out) {
    const std::optional<Format> from = FormatOf(inputType_);
    const std::optional<Format> to = FormatOf(OutputPin()->CurrentMediaType());
    if (!from || !to) return E_UNEXPECTED;
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    if (!src || !dst || in->GetActualDataLength() < long(from->bytes)) {
        ++dropped_;
        return S_FALSE;
    }
    if (out->GetSize() < long(to->bytes)) return E_FAIL;

    bool ok = false;
    if (from->rgb && to->rgb) {
        const Rgb24Frame a = RgbView(src, *from);
        const Rgb24Frame b = RgbView(dst, *to);
        for (int y = 0; y < a.height; ++y)
            std::memcpy(b.top + b.stride * y, a.top + a.stride * y, std::size_t(a.width) * 3);
        ok = true;
    } else if (!from->rgb && !to->rgb) {
        const std::shared_ptr<const PictureOrigin> origin = PictureOriginOf(in);
        if (origin && origin->partial && IsCopy(from, to)) {
            // Only the decoded areas hold pixels; nobody reads the rest.
            const YuvFrame a = YuvFrameOver(src, from->yuv, from->width, from->height);
            const YuvFrame b = YuvFrameOver(dst, to->yuv, to->width, to->height);
            ok = true;
            for (const PixelRect& r : origin->held)
                ok = ok && CopyYuvArea(a, b, Rect{r.x, r.y, r.width, r.height});
        } else {
            std::memcpy(dst, src, to->bytes);
            ok = true;
        }
    } else if (from->rgb) {
        ok = converter_.Rgb24ToYuv(RgbView(src, *from),
                                   YuvFrameOver(dst, to->yuv, to->width, to->height));
    } else {
        if (from->packing != Packing::Native) {
            repacked_.resize(from->bytes);
            Repack(src, repacked_.data(), *from);
            src = repacked_.data();
        }
        ok = converter_.YuvToRgb24(YuvFrameOver(src, from->yuv, from->width, from->height),
                                   RgbView(dst, *to));
    }
    if (!ok) {
        ++dropped_;
        return S_FALSE;
    }
    out->SetActualDataLength(static_cast<long>(to->bytes));
    return S_OK;
}

void RegisterColorSpaceConverter(FilterRegistry& registry) {
    std::vector<REGPINTYPES> pictures = {
        {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}, {MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
        {MEDIATYPE_Video, MEDIASUBTYPE_I420},  {MEDIATYPE_Video, MEDIASUBTYPE_Y41B},
        {MEDIATYPE_Video, MEDIASUBTYPE_UYVY},  {MEDIATYPE_Video, MEDIASUBTYPE_NV12}};
    RegisteredFilter entry;
    entry.clsid = CLSID_Colour;
    entry.friendlyName = "Color Space Converter";
    entry.merit = MERIT_UNLIKELY;
    entry.pins = {RegisteredPin{PINDIR_INPUT, pictures}, RegisteredPin{PINDIR_OUTPUT, pictures}};
    entry.create = [] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TColorSpaceConverter));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

} // namespace talvence
