#include "platform/devices/alsa/AlsaCaptureSource.h"

#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstring>

namespace talvence {

namespace {
constexpr TPcmFormat kOffered[] = {{48000, 2, 16}, {44100, 2, 16}, {32000, 2, 16}};
constexpr unsigned kSamplesPerSecond = 10;
constexpr long kBufferCount = 4;

long FramesPerSample(const TPcmFormat& format) {
    return std::max<long>(static_cast<long>(format.rate / kSamplesPerSecond), 1);
}
} // namespace

TAlsaCaptureStream::TAlsaCaptureStream(TBCLiveSource* filter,
                                       std::shared_ptr<TPcmCaptureBackend> backend,
                                       std::string device, std::string pinName)
    : TBCLiveSourceStream("ALSA capture pin", filter, std::move(pinName), TBCLivePacing::Device),
      backend_(backend ? std::move(backend) : MakeAlsaCaptureBackend()),
      devicePath_(std::move(device)) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
}

HRESULT TAlsaCaptureStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMStreamConfig::iid) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    if (riid == ISpecifyPropertyPages::iid)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return TBCLiveSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TAlsaCaptureStream::CheckMediaType(const CMediaType* mt) {
    auto format = mt ? PcmFormatOf(*mt) : std::nullopt;
    if (!format || (fixed_ && !(*format == *fixed_))) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TAlsaCaptureStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (fixed_) {
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = MakePcmType(*fixed_);
        return S_OK;
    }
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
    device_ = backend_->Open(devicePath_, format_);
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

HRESULT TAlsaCaptureStream::SetFormat(AM_MEDIA_TYPE* pmt) {
    TBCAutoLock lock(*lock_);
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (!pmt) {
        fixed_.reset();
        return S_OK;
    }
    auto format = PcmFormatOf(*pmt);
    if (!format) return VFW_E_INVALIDMEDIATYPE;
    fixed_ = format;
    return S_OK;
}

HRESULT TAlsaCaptureStream::GetFormat(AM_MEDIA_TYPE** pmt) {
    if (!pmt) return E_POINTER;
    TBCAutoLock lock(*lock_);
    CMediaType type = IsConnected() ? CurrentMediaType() : MakePcmType(fixed_.value_or(kOffered[0]));
    *pmt = CreateMediaType(&type);
    return *pmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT TAlsaCaptureStream::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = static_cast<int>(std::size(kOffered));
    *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT TAlsaCaptureStream::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) {
    if (!pmt || !caps) return E_POINTER;
    *pmt = nullptr;
    if (index < 0) return E_INVALIDARG;
    if (index >= static_cast<int>(std::size(kOffered))) return S_FALSE;
    const TPcmFormat& f = kOffered[index];
    CMediaType type = MakePcmType(f);
    *pmt = CreateMediaType(&type);
    if (!*pmt) return E_OUTOFMEMORY;
    // ALSA's plug layer converts: any channel count up to two, 8 or 16 bits.
    AUDIO_STREAM_CONFIG_CAPS c;
    c.guid = MEDIATYPE_Audio;
    c.MinimumChannels = 1;
    c.MaximumChannels = 2;
    c.ChannelsGranularity = 1;
    c.MinimumBitsPerSample = 8;
    c.MaximumBitsPerSample = 16;
    c.BitsPerSampleGranularity = 8;
    c.MinimumSampleFrequency = c.MaximumSampleFrequency = f.rate;
    std::memcpy(caps, &c, sizeof c);
    return S_OK;
}

namespace {

// Rate and channels of the capture pin, fixed on it on OK.
class TAlsaFormatPage : public IPageModel {
public:
    explicit TAlsaFormatPage(ComPtr<IAMStreamConfig> config) : config_(std::move(config)) {
        AM_MEDIA_TYPE* mt = nullptr;
        if (SUCCEEDED(config_->GetFormat(&mt)) && mt) {
            if (auto f = PcmFormatOf(*mt)) format_ = *f;
            DeleteMediaType(mt);
        }
    }
    std::string Title() const override { return "Format"; }
    std::vector<TPageField> Fields() const override {
        TPageField rate;
        rate.kind = TPageField::Kind::List;
        rate.label = "Sample rate";
        for (std::size_t i = 0; i < std::size(kOffered); ++i) {
            rate.items.push_back(std::to_string(kOffered[i].rate) + " Hz");
            if (kOffered[i].rate == format_.rate) rate.value = int(i);
        }
        TPageField channels;
        channels.kind = TPageField::Kind::List;
        channels.label = "Channels";
        channels.items = {"Mono", "Stereo"};
        channels.value = format_.channels == 1 ? 0 : 1;
        return {rate, channels};
    }
    void Change(std::size_t index, int value) override {
        if (index == 0 && value >= 0 && std::size_t(value) < std::size(kOffered))
            format_.rate = kOffered[value].rate;
        if (index == 1 && (value == 0 || value == 1)) format_.channels = unsigned(value) + 1;
    }
    void Apply() override {
        CMediaType mt = MakePcmType(format_);
        config_->SetFormat(&mt);
    }
    void Cancel() override {}

private:
    ComPtr<IAMStreamConfig> config_;
    TPcmFormat format_ = kOffered[0];
};

} // namespace

HRESULT TAlsaCaptureStream::GetPages(TPageList* pages) {
    if (!pages) return E_POINTER;
    *pages = {std::make_shared<TAlsaFormatPage>(ComPtr<IAMStreamConfig>(this))};
    return S_OK;
}

TAlsaCaptureSource::TAlsaCaptureSource(std::shared_ptr<TPcmCaptureBackend> backend,
                                       std::string devicePath, std::string name,
                                       std::shared_ptr<TAlsaMixer> mixer)
    : TBCLiveSource(std::move(name), nullptr, CLSID_AudioRecord),
      backend_(backend ? std::move(backend) : MakeAlsaCaptureBackend()),
      mixer_(mixer ? std::move(mixer) : MakeAlsaMixer()), devicePath_(std::move(devicePath)) {
    AddPin(std::make_unique<TAlsaCaptureStream>(this, backend_, devicePath_));
}

HRESULT TAlsaCaptureSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == ISpecifyPropertyPages::iid)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return TBCLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TAlsaCaptureSource::GetPages(TPageList* pages) {
    if (!pages) return E_POINTER;
    pages->clear();
    auto levels = std::make_shared<TAlsaLevelsPage>(mixer_, AlsaMixerCard(devicePath_));
    if (levels->Fields().empty()) return S_FALSE;
    pages->push_back(std::move(levels));
    return S_OK;
}

} // namespace talvence
