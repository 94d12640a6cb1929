#include "platform/media/filters/dv/DvVideoDecoderFilter.h"

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/SampleCopy.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvSegmentCodec.h"

namespace talvence {

using namespace dvcodec;

namespace {
// Cheapest first: the codec's own layout is a plain copy.
PixelLayout OfferedLayout(DvSystem system, int position) {
    switch (position) {
    case 0:
        return NativeLayout(system);
    case 1:
        return PixelLayout::Yuy2;
    case 2:
        return PixelLayout::Rgb24;
    default:
        return PixelLayout::Rgb32;
    }
}
constexpr int kOfferedLayouts = 4;
} // namespace

TDvVideoDecoder::TDvVideoDecoder()
    : TBCTransformFilter("DV Video Decoder", nullptr, CLSID_DVVideoCodec) {}

TDvVideoDecoder::~TDvVideoDecoder() = default;

HRESULT TDvVideoDecoder::CheckInputType(const CMediaType* mtIn) {
    if (!(mtIn->majortype == MEDIATYPE_Video)) return VFW_E_TYPE_NOT_ACCEPTED;
    return SystemOfDvsdType(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDvVideoDecoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    const std::optional<DvSystem> system = SystemOfDvsdType(*mtIn);
    const std::optional<PictureFormat> out = PictureFormatOf(*mtOut);
    if (!system || !out) return VFW_E_TYPE_NOT_ACCEPTED;
    // Whole frames only: the picture is the frame's full size.
    if (out->width != kDvWidth || out->height != FrameHeight(*system))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TDvVideoDecoder::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position >= kOfferedLayouts) return VFW_S_NO_MORE_ITEMS;
    const std::optional<DvSystem> system = SystemOfDvsdType(InputPin()->CurrentMediaType());
    if (!system) return E_UNEXPECTED;
    *mt = PictureType(*system, OfferedLayout(*system, position));
    // Keep the source's frame time (a DV source may run slightly off nominal).
    const VIDEOINFOHEADER* in = InputPin()->CurrentMediaType().FormatAs<VIDEOINFOHEADER>();
    if (in && InputPin()->CurrentMediaType().formattype == FORMAT_VideoInfo &&
        in->AvgTimePerFrame > 0)
        mt->FormatAs<VIDEOINFOHEADER>()->AvgTimePerFrame = in->AvgTimePerFrame;
    return S_OK;
}

HRESULT TDvVideoDecoder::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const std::optional<PictureFormat> out = PictureFormatOf(OutputPin()->CurrentMediaType());
    if (!out) return E_UNEXPECTED;
    const auto bytes = static_cast<LONG>(PictureBytes(out->layout, out->width, out->height));
    return RequestBuffers(allocator, request, 2, bytes);
}

HRESULT TDvVideoDecoder::StartStreaming() {
    inputType_ = InputPin()->CurrentMediaType();
    share_.Reset();
    // Half the CPUs at most: the DV encoder downstream codes whole frames side by side on the
    // others, and slices that wait for each other every frame cost more than they save there.
    core_ = std::make_unique<DvVideoDecoderCore>(
        DvDecoderOptions{std::max(1, CodecThreadsForCaller() / 2)});
    return core_->ready() ? S_OK : E_FAIL;
}

HRESULT TDvVideoDecoder::StopStreaming() {
    core_.reset();
    return S_OK;
}

HRESULT TDvVideoDecoder::Receive(IMediaSample* sample) {
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        inputType_ = *changed;
        DeleteMediaType(changed);
    }
    const AM_SAMPLE2_PROPERTIES* props = InputPin()->SampleProps();
    if (props->dwStreamId == AM_STREAM_MEDIA && share_.PassOver()) {
        ++passedOver_;
        return S_OK;
    }
    return TBCTransformFilter::Receive(sample);
}

HRESULT TDvVideoDecoder::AlterQuality(const Quality& q) {
    if (q.Type != Flood && q.Type != Famine) return S_FALSE;
    share_.Set(q.Proportion);
    return S_OK;
}

std::shared_ptr<const std::vector<std::uint8_t>>
TDvVideoDecoder::KeepFrame(std::span<const std::uint8_t> frame) {
    // A buffer nobody downstream holds any more is reused: no allocation per frame.
    for (auto& kept : keptFrames_)
        if (kept.use_count() == 1) {
            kept->assign(frame.begin(), frame.end());
            return kept;
        }
    auto fresh = std::make_shared<std::vector<std::uint8_t>>(frame.begin(), frame.end());
    if (keptFrames_.size() < kKeptFrames) keptFrames_.push_back(fresh);
    return fresh;
}

DvDecodeStatus TDvVideoDecoder::DecodePart(std::span<const std::uint8_t> frame,
                                           const PictureNeed& need, const PictureFormat& format,
                                           BYTE* out, PictureOrigin& origin) {
    const colorconv::YuvLayout layout = format.layout == PixelLayout::Yuv411p
                                            ? colorconv::YuvLayout::Yuv411p
                                            : colorconv::YuvLayout::Yuv420p;
    // Whole chroma blocks lie inside the macroblocks that hold any of their pixels, so the
    // grown areas are decoded as well.
    for (const PixelRect& a : need.areas) {
        const colorconv::Rect r = colorconv::AlignToChromaBlocks(
            colorconv::Rect{a.x, a.y, a.width, a.height}, layout, format.width, format.height);
        if (r.width > 0) origin.asked.push_back(PixelRect{r.x, r.y, r.width, r.height});
    }
    const DvDecodeStatus status = core_->DecodePart(frame, origin.asked);
    if (status != DvDecodeStatus::Ok) return status;
    // Every macroblock of the decoded segments goes out: an encoder codes them again whole.
    origin.held = SegmentAreas(core_->info().system, core_->lastSegments());
    const ConstPicture picture = core_->picture();
    colorconv::YuvFrame from{layout, picture.width, picture.height, {}, {}};
    for (int p = 0; p < 3; ++p) {
        from.planes[p] = const_cast<std::uint8_t*>(picture.planes[p]);
        from.strides[p] = picture.strides[p];
    }
    const colorconv::YuvFrame to =
        colorconv::YuvFrameOver(out, layout, format.width, format.height);
    for (const PixelRect& a : origin.held)
        if (!colorconv::CopyYuvArea(from, to, colorconv::Rect{a.x, a.y, a.width, a.height}))
            return DvDecodeStatus::BadOutput;
    return DvDecodeStatus::Ok;
}

HRESULT TDvVideoDecoder::Transform(IMediaSample* in, IMediaSample* out) {
    if (!core_) return E_UNEXPECTED;
    const std::optional<DvSystem> system = SystemOfDvsdType(inputType_);
    const std::optional<PictureFormat> format = PictureFormatOf(OutputPin()->CurrentMediaType());
    if (!system || !format) return E_UNEXPECTED;

    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    const long length = in->GetActualDataLength();
    // A frame of another size (or of the other system) is not decoded into this connection.
    if (!src || !dst || length <= 0 || SystemForFrameSize(std::size_t(length)) != system) {
        ++dropped_;
        return S_FALSE;
    }
    const std::span<const std::uint8_t> frame(src, std::size_t(length));
    // Asked before decoding: a picture nobody reads whole is decoded only where it is read.
    const PictureNeed need = NeedBehind(OutputPin());
    const bool part =
        !need.whole && format->layout == NativeLayout(*system) &&
        out->GetSize() >= long(PictureBytes(format->layout, format->width, format->height));
    auto origin = std::make_shared<PictureOrigin>();
    const DvDecodeStatus status =
        part ? DecodePart(frame, need, *format, dst, *origin)
             : core_->DecodeTo(frame, format->layout,
                               std::span<std::uint8_t>(dst, std::size_t(out->GetSize())));
    if (status == DvDecodeStatus::NotReady || status == DvDecodeStatus::BadOutput) return E_FAIL;
    if (status != DvDecodeStatus::Ok) {
        ++dropped_;
        return S_FALSE;
    }
    out->SetActualDataLength(
        static_cast<long>(PictureBytes(format->layout, format->width, format->height)));
    out->SetSyncPoint(1);
    // The picture is the whole frame, unchanged: an encoder downstream may keep its bits.
    origin->sourceFrame = KeepFrame(frame);
    origin->width = format->width;
    origin->height = format->height;
    if (part) {
        ++decodedInPart_;
        origin->partial = true;
    }
    SetPictureOrigin(out, std::move(origin));
    return S_OK;
}

} // namespace talvence
