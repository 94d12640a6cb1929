#include "filters/vq_superposer/vq_superposer.h"

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/SampleCopy.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/shell/DateTime.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace talvence {

int DisplayDotsPerInch() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    const QScreen* screen = app ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen) return 96;
    const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
    return dpi > 0 ? dpi : 96;
}

namespace {

// The image size of an RGB24 picture whose rows are padded to 32 bits, as bitmaps store them.
ULONG Rgb24ImageSize(const BITMAPINFOHEADER& h) {
    const std::int64_t rows = std::llabs(static_cast<std::int64_t>(h.biHeight));
    return static_cast<ULONG>(colorconv::Rgb24Stride(h.biWidth) * rows);
}

// The YUV layouts the inlay draws into without a full RGB round trip, by subtype.
std::optional<colorconv::YuvLayout> YuvLayoutOf(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_I420) return colorconv::YuvLayout::Yuv420p;
    if (subtype == MEDIASUBTYPE_Y41B) return colorconv::YuvLayout::Yuv411p;
    if (subtype == MEDIASUBTYPE_YUY2) return colorconv::YuvLayout::Yuy2;
    return std::nullopt;
}

} // namespace

CMediaType Tvq_Superposer::OutputTypeFor(const CMediaType& input) {
    // A YUV picture goes out in its own layout, as it came.
    if (YuvLayoutOf(input.subtype)) return input;
    CMediaType mt = input;
    mt.SetType(MEDIATYPE_Video);
    mt.SetSubtype(MEDIASUBTYPE_RGB24);
    if (BITMAPINFOHEADER* h = VideoBitmapHeader(mt)) {
        // Rows of a 24-bit bitmap are padded to 32 bits: width × 3 × height would be short
        // whenever width × 3 is not a multiple of 4.
        h->biSizeImage = Rgb24ImageSize(*h);
        mt.SetSampleSize(h->biSizeImage);
    }
    return mt;
}

Tvq_Superposer::Picture Tvq_Superposer::PictureOf(const CMediaType& input) {
    Picture p;
    BITMAPINFOHEADER h;
    if (VideoBitmapHeader(input, h)) {
        p.hasFormat = true;
        p.width = h.biWidth;
        p.yuv = YuvLayoutOf(input.subtype);
        if (p.yuv) {
            // YUV pictures are stored top-down whatever the sign of the height.
            p.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
            p.bytes = colorconv::YuvFrameSize(*p.yuv, p.width, p.height);
        } else {
            p.height = h.biHeight;
            p.stride = colorconv::Rgb24Stride(h.biWidth);
            p.bytes = static_cast<std::size_t>(p.stride) * static_cast<std::size_t>(p.height);
        }
    }
    return p;
}

Tvq_Superposer::Tvq_Superposer(Tvq_SceneDetect* sceneDetect, LocaleFormats locale, int dotsPerInch)
    : TBCTransformFilter(kSuperposerObjectName, nullptr, CLSID_vq_Superposer),
      sceneDetect_(sceneDetect),
      core_([this] { return sourceFrameDuration_.load(); }, std::move(locale),
            dotsPerInch > 0 ? dotsPerInch : DisplayDotsPerInch()) {
    // The picture goes on with its origin, amended below by what the text and flip changed.
    keepsPictureOrigin_ = true;
}

HRESULT Tvq_Superposer::CheckInputType(const CMediaType* mt) {
    if (!mt) return E_POINTER;
    if (mt->majortype != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
    BITMAPINFOHEADER h;
    if (const std::optional<colorconv::YuvLayout> yuv = YuvLayoutOf(mt->subtype)) {
        if (!yuvInput_.load()) return VFW_E_TYPE_NOT_ACCEPTED;
        // The DV decoder's own layouts (and YUY2), drawn into through the text's area only.
        if (!VideoBitmapHeader(*mt, h)) return S_OK;
        constexpr LONG kLargest = 16384;
        if (h.biWidth <= 0 || h.biWidth > kLargest || h.biHeight == 0 || h.biHeight > kLargest ||
            h.biHeight < -kLargest ||
            colorconv::YuvFrameSize(*yuv, h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight) ==
                0)
            return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }
    if (mt->subtype != MEDIASUBTYPE_RGB24) return VFW_E_TYPE_NOT_ACCEPTED;
    // Without a format block the type is taken and its frames are skipped; with one, it must be
    // a picture the inlay can be drawn into: top-down rows would come out upside down.
    if (VideoBitmapHeader(*mt, h) && (h.biWidth <= 0 || h.biHeight <= 0 || h.biBitCount != 24))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT Tvq_Superposer::CheckTransform(const CMediaType* in, const CMediaType* out) {
    if (!in || !out) return E_POINTER;
    if (in->majortype != out->majortype || in->subtype != out->subtype)
        return VFW_E_TYPE_NOT_ACCEPTED;
    BITMAPINFOHEADER hin, hout;
    if (VideoBitmapHeader(*in, hin) && VideoBitmapHeader(*out, hout) &&
        (hin.biWidth != hout.biWidth || hin.biHeight != hout.biHeight ||
         hin.biBitCount != hout.biBitCount))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT Tvq_Superposer::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!InputPin() || !InputPin()->IsConnected()) return E_UNEXPECTED;
    IMemAllocator* inputAllocator = InputPin()->PeekAllocator();
    if (!inputAllocator) return E_UNEXPECTED;
    return RequestBuffersLike(allocator, request, inputAllocator);
}

HRESULT Tvq_Superposer::GetMediaType(int position, CMediaType* mt) {
    if (!mt) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (!InputPin() || !InputPin()->IsConnected()) return E_UNEXPECTED;
    *mt = OutputTypeFor(InputPin()->CurrentMediaType());
    return S_OK;
}

HRESULT Tvq_Superposer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IPictureDemand::iid) return GetInterface(&demand_, ppv);
    return TBCTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

PictureNeed Tvq_Superposer::NextPictureNeed() {
    const std::shared_ptr<const SuperposerSettings> s = core_.Settings();
    if (!picture_.yuv || s->flip) return PictureNeed{};
    PictureNeed need = NeedBehind(OutputPin());
    if (need.whole || !s->active) return need;
    const std::optional<colorconv::Rect> text = core_.ExpectedTextArea();
    if (!text) return PictureNeed{};
    need.areas.push_back(PixelRect{text->x, text->y, text->width, text->height});
    return need;
}

HRESULT Tvq_Superposer::StartStreaming() {
    picture_ = PictureOf(InputPin()->CurrentMediaType());
    core_.StartStreaming();
    return S_OK;
}

HRESULT Tvq_Superposer::Transform(IMediaSample* in, IMediaSample* out) {
    if (!in || !out) return E_POINTER;
    // The output is a sync point and a discontinuity as the input is, and never preroll. A
    // discontinuity the framework marked after a dropped frame is kept.
    out->SetSyncPoint(in->IsSyncPoint() == S_OK ? 1 : 0);
    out->SetPreroll(0);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK || out->IsDiscontinuity() == S_OK ? 1 : 0);

    // A type change the input pin accepted keeps the picture size (CheckTransform against the
    // output's type sees to that); it is taken from this frame on and announced downstream.
    const AM_SAMPLE2_PROPERTIES* props = InputPin()->SampleProps();
    if ((props->dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props->pMediaType) {
        const CMediaType changed(*props->pMediaType);
        picture_ = PictureOf(changed);
        const CMediaType outType = OutputTypeFor(changed);
        out->SetMediaType(&outType);
    }

    // Reading the latest record publishes its index: the DV header filter restores the header
    // bytes of the very frame whose date or timecode this frame shows.
    DvFrameInfo rec;
    if (sceneDetect_) {
        const int pos = sceneDetect_->Pos();
        sceneDetect_->SetReadPos(pos);
        sceneDetect_->ReadInfo(pos, rec);
    }

    BYTE* inData = nullptr;
    BYTE* outData = nullptr;
    in->GetPointer(&inData);
    out->GetPointer(&outData);
    const long inLength = in->GetActualDataLength();
    const long outSize = out->GetSize();

    InlayFrame frame;
    frame.hasFormat = picture_.hasFormat;
    frame.input = inData;
    frame.inputSize = inLength > 0 ? static_cast<std::size_t>(inLength) : 0;
    frame.output = outData;
    frame.outputSize = outSize > 0 ? static_cast<std::size_t>(outSize) : 0;
    frame.width = picture_.width;
    frame.height = picture_.height;
    frame.stride = picture_.stride;
    // A picture decoded in part holds pixels only where it was decoded.
    const std::shared_ptr<const PictureOrigin> origin = PictureOriginOf(in);
    InlayFrame::Part part;
    if (origin && origin->partial && picture_.yuv) {
        for (const PixelRect& r : origin->held)
            part.held.push_back(colorconv::Rect{r.x, r.y, r.width, r.height});
        for (const PixelRect& r : origin->asked)
            part.asked.push_back(colorconv::Rect{r.x, r.y, r.width, r.height});
        frame.part = &part;
    }

    const HRESULT hr = picture_.yuv ? core_.Compose(frame, *picture_.yuv, rec, NowLocal())
                                    : core_.Compose(frame, rec, NowLocal());
    if (hr == S_OK) {
        out->SetActualDataLength(static_cast<long>(picture_.bytes));
        AmendOrigin(out);
    }
    return hr;
}

void Tvq_Superposer::AmendOrigin(IMediaSample* out) const {
    const std::shared_ptr<const PictureOrigin> origin = PictureOriginOf(out);
    if (!origin) return;
    const bool flipped = core_.LastFrameFlipped();
    if (!flipped && !core_.LastFrameHadText()) return; // the picture is unchanged
    auto amended = std::make_shared<PictureOrigin>(*origin);
    if (flipped || origin->width != picture_.width || origin->height != picture_.height) {
        amended->wholeChanged = true;
        amended->changed.clear();
    } else {
        const colorconv::Rect a = core_.LastTextArea();
        amended->changed.push_back(PixelRect{a.x, a.y, a.width, a.height});
    }
    SetPictureOrigin(out, std::move(amended));
}

} // namespace talvence
