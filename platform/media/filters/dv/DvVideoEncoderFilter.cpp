#include "platform/media/filters/dv/DvVideoEncoderFilter.h"

#include "filters/BaseClass/SampleCopy.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "platform/media/filters/dv/DvVideoDecoderCore.h"

namespace talvence {

using namespace dvcodec;

namespace {

// RGB24 pictures of the full DV size (what the inlay delivers) go to the codec's planar layout
// through the colorconv converters: no staging copy and no filter taps, several times cheaper
// per frame than libswscale's bicubic path. Anything that needs scaling or another layout still
// goes through libswscale.
class EncoderPictureConverter final : public PictureConverter {
public:
    bool Convert(const ConstPicture& src, const Picture& dst) override {
        if (const auto views = ViewsOf(src, dst);
            views && converter_.Rgb24ToYuv(views->rgb, views->yuv))
            return true;
        return sws_.Convert(src, dst);
    }

    // The areas of the segments coded anew, when only a few changed.
    bool ConvertArea(const ConstPicture& src, const Picture& dst, int x, int y, int width,
                     int height) override {
        const auto views = ViewsOf(src, dst);
        return views && converter_.Rgb24ToYuvRect(views->rgb, views->yuv,
                                                  colorconv::Rect{x, y, width, height});
    }

private:
    struct Views {
        colorconv::Rgb24Frame rgb;
        colorconv::YuvFrame yuv;
    };
    // The colorconv views of an RGB24 source and a planar destination of the same size.
    static std::optional<Views> ViewsOf(const ConstPicture& src, const Picture& dst) {
        std::optional<colorconv::YuvLayout> layout;
        if (dst.layout == PixelLayout::Yuv420p) layout = colorconv::YuvLayout::Yuv420p;
        if (dst.layout == PixelLayout::Yuv411p) layout = colorconv::YuvLayout::Yuv411p;
        if (src.layout != PixelLayout::Rgb24 || !layout || src.width != dst.width ||
            src.height != dst.height)
            return std::nullopt;
        Views v{{const_cast<std::uint8_t*>(src.planes[0]), src.width, src.height, src.strides[0]},
                {}};
        v.yuv.layout = *layout;
        v.yuv.width = dst.width;
        v.yuv.height = dst.height;
        for (int p = 0; p < 3; ++p) {
            v.yuv.planes[p] = dst.planes[p];
            v.yuv.strides[p] = dst.strides[p];
        }
        return v;
    }

    colorconv::ColorConverter converter_;
    SwsPictureConverter sws_;
};

} // namespace

TDvVideoEncoder::TDvVideoEncoder()
    : TBCTransformFilter("DV Video Encoder", nullptr, CLSID_DVVideoEnc),
      core_(std::make_unique<DvVideoEncoderCore>(DvEncoderOptions{},
                                                 std::make_unique<EncoderPictureConverter>())),
      system_(core_->system()) {}

TDvVideoEncoder::~TDvVideoEncoder() = default;

void TDvVideoEncoder::CreatePins() {
    const std::size_t queued =
        CodecThreadsForCaller() > 1 ? kQueuedPictures : kQueuedPicturesOneCpu;
    input_ = std::make_unique<TBCQueuedTransformInputPin>("DV encoder input pin", this, "XForm In",
                                                          queued);
    output_ = std::make_unique<TBCTransformOutputPin>("Transform output pin", this, "XForm Out");
}

HRESULT TDvVideoEncoder::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IDVEnc::iid) return GetInterface(static_cast<IDVEnc*>(this), ppv);
    if (riid == IPictureDemand::iid) return GetInterface(&demand_, ppv);
    return TBCTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TDvVideoEncoder::get_IFormatResolution(int* videoFormat, int* dvFormat, int* resolution,
                                               BYTE fDVInfo, DVINFO* sDVInfo) {
    if (!videoFormat || !dvFormat || !resolution) return E_POINTER;
    if (fDVInfo && !sDVInfo) return E_POINTER;
    TBCAutoLock lock(csFilter_);
    *videoFormat =
        System() == DvSystem::Pal625 ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC;
    *dvFormat = DVENCODERFORMAT_DVSD;
    *resolution = DVENCODERRESOLUTION_720x480;
    if (fDVInfo) *sDVInfo = MakeDvInfo(System(), std::nullopt);
    return S_OK;
}

HRESULT TDvVideoEncoder::put_IFormatResolution(int videoFormat, int dvFormat, int resolution,
                                               BYTE fDVInfo, DVINFO*) {
    TBCAutoLock lock(csFilter_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    TBCAutoLock receive(csReceive_);
    const DvSystem before = core_->system();
    HRESULT hr = core_->SetFormatResolution(videoFormat, dvFormat, resolution, fDVInfo != 0);
    if (FAILED(hr)) return hr;
    if (core_->system() != before && output_ && output_->IsConnected()) {
        // The connection announces the old frame size: keep it consistent.
        core_->SetFormatResolution(before == DvSystem::Pal625 ? DVENCODERVIDEOFORMAT_PAL
                                                              : DVENCODERVIDEOFORMAT_NTSC,
                                   DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, false);
        return VFW_E_ALREADY_CONNECTED;
    }
    system_ = core_->system();
    return S_OK;
}

PictureNeed TDvVideoEncoder::NextPictureNeed() {
    // The connection's picture size; the system changes only while stopped.
    const std::optional<PictureFormat> format = PictureFormatOf(InputPin()->CurrentMediaType());
    if (format && format->width == kDvWidth && format->height == FrameHeight(System()))
        return PictureNeed::Nothing();
    return PictureNeed{};
}

HRESULT TDvVideoEncoder::CheckInputType(const CMediaType* mtIn) {
    return PictureFormatOf(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDvVideoEncoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    if (!PictureFormatOf(*mtIn)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (!(mtOut->majortype == MEDIATYPE_Video)) return VFW_E_TYPE_NOT_ACCEPTED;
    return SystemOfDvsdType(*mtOut) == System() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDvVideoEncoder::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = DvsdVideoType(System());
    return S_OK;
}

HRESULT TDvVideoEncoder::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const auto bytes = static_cast<LONG>(FrameBytes(System()));
    return RequestBuffers(allocator, request, 2, bytes);
}

HRESULT TDvVideoEncoder::Receive(IMediaSample* sample) {
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        inputType_ = *changed;
        DeleteMediaType(changed);
    }
    return TBCTransformFilter::Receive(sample);
}

HRESULT TDvVideoEncoder::StartStreaming() {
    inputType_ = InputPin()->CurrentMediaType();
    // Each codec codes whole frames on one thread: the worker's own and, with more CPUs, one lane
    // per CPU (as many as the queue holds pictures for).
    core_->SetThreads(1);
    lanes_.reset();
    const int cpus = CodecThreadsForCaller();
    lanesWanted_ = cpus > 1 ? std::min<std::size_t>(std::size_t(cpus), kQueuedPictures) : 0;
    return S_OK;
}

HRESULT TDvVideoEncoder::StopStreaming() {
    // The worker has ended: the lanes' samples go back to upstream's allocator.
    lanes_.reset();
    return S_OK;
}

HRESULT TDvVideoEncoder::Transform(IMediaSample* in, IMediaSample* out) {
    const std::optional<PictureFormat> format = PictureFormatOf(inputType_);
    if (!format) return E_UNEXPECTED;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    if (!dst) {
        ++dropped_;
        return S_FALSE;
    }
    const std::span<std::uint8_t> frame(dst, std::size_t(out->GetSize()));
    if (!lanes_ && lanesWanted_ > 0) {
        const DvEncoderOptions options = core_->options();
        lanes_ = std::make_unique<DvEncodeLanes>(
            *static_cast<TBCQueuedTransformInputPin*>(input_.get()), lanesWanted_,
            [options] {
                return std::make_unique<DvVideoEncoderCore>(
                    options, std::make_unique<EncoderPictureConverter>());
            },
            codedByLanes_);
        // This worker codes what no lane claimed, at the lanes' priority (it ends with the run);
        // lowered after the lanes are made, which would inherit it.
        DvEncodeLanes::GiveWayToTheSource();
    }
    std::optional<DvEncodeResult> taken;
    if (lanes_) {
        lanes_->SetFormat(*format);
        taken = lanes_->Take(in, frame);
    }
    const DvEncodeResult result = taken ? *taken : EncodeSampleInto(*core_, in, *format, frame);
    switch (result.status) {
    case DvEncodeStatus::Ok:
        out->SetActualDataLength(static_cast<long>(result.bytes));
        out->SetSyncPoint(1); // every DV frame stands alone
        return S_OK;
    case DvEncodeStatus::NotReady:
    case DvEncodeStatus::BadOutput:
        return E_FAIL;
    default:
        ++dropped_;
        return S_FALSE;
    }
}

} // namespace talvence
