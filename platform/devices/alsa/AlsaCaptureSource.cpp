#include "platform/devices/alsa/AlsaCaptureSource.h"

#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>

namespace talvence {

namespace {
constexpr TPcmFormat kOffered[] = {{48000, 2, 16}, {44100, 2, 16}, {32000, 2, 16}};
constexpr unsigned kSamplesPerSecond = 10;
constexpr long kBufferCount = 4;

long FramesPerSample(const TPcmFormat& format) {
    return std::max<long>(static_cast<long>(format.rate / kSamplesPerSecond), 1);
}
} // namespace

TAlsaCaptureStream::TAlsaCaptureStream(TAlsaCaptureSource* source)
    : TBCLiveSourceStream("ALSA capture pin", source, "Capture", TBCLivePacing::Device),
      source_(source) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
}

HRESULT TAlsaCaptureStream::CheckMediaType(const CMediaType* mt) {
    return mt && PcmFormatOf(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAlsaCaptureStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position >= static_cast<int>(std::size(kOffered))) return VFW_S_NO_MORE_ITEMS;
    *mt = MakePcmType(kOffered[position]);
    return S_OK;
}

HRESULT TAlsaCaptureStream::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    auto format = PcmFormatOf(CurrentMediaType());
    if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
    const long block = static_cast<long>(format->BlockAlign());
    return RequestBuffers(allocator, request, kBufferCount, FramesPerSample(*format) * block);
}

HRESULT TAlsaCaptureStream::Active() {
    auto format = PcmFormatOf(CurrentMediaType());
    if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
    format_ = *format;
    device_ = source_->backend_->Open(source_->devicePath_, format_);
    if (!device_) return E_FAIL;
    // Times count the device's frames.
    SetTimeBase(format_.rate);
    SetFramePeriod(FramesPerSample(format_));
    HRESULT hr = TBCLiveSourceStream::Active();
    if (FAILED(hr)) device_.reset();
    return hr;
}

HRESULT TAlsaCaptureStream::Inactive() {
    // The thread may be blocked in a read: dropping the device lets it see the stop.
    if (device_) device_->Drop();
    HRESULT hr = TBCLiveSourceStream::Inactive();
    device_.reset();
    return hr;
}

HRESULT TAlsaCaptureStream::FillFrame(IMediaSample* sample) {
    if (!device_) return E_UNEXPECTED;
    const long block = static_cast<long>(format_.BlockAlign());
    const long wanted = std::min<long>(sample->GetSize() / block, FramesPerSample(format_));
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long n = device_->Read(data, wanted);
    if (n < 0) return E_FAIL; // the device went away: the stream ends with an error
    if (n < wanted || StopRequested()) return S_FALSE;
    ReportLost(device_->TakeOverruns());
    sample->SetActualDataLength(n * block);
    StampFromCount(sample, n);
    sample->SetSyncPoint(1);
    return S_OK;
}

TAlsaCaptureSource::TAlsaCaptureSource(std::shared_ptr<TPcmCaptureBackend> backend,
                                       std::string devicePath, std::string name)
    : TBCLiveSource(std::move(name), nullptr, CLSID_AudioRecord),
      backend_(backend ? std::move(backend) : MakeAlsaCaptureBackend()),
      devicePath_(std::move(devicePath)) {
    AddPin(std::make_unique<TAlsaCaptureStream>(this));
}

} // namespace talvence
