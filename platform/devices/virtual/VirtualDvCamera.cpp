#include "platform/devices/virtual/VirtualDvCamera.h"

#include "filters/dvcodes/dvcodes.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstring>

namespace talvence {

namespace {

constexpr std::size_t kAudioBlockStride = 16 * kDvDifBlockBytes; // an audio block per 16
constexpr std::size_t kFirstAudioBlock = 6 * kDvDifBlockBytes;
constexpr std::size_t kFirstVauxBlock = 3 * kDvDifBlockBytes;
constexpr DWORD kNoInfo = 0xFFFFFFFF;
constexpr long kBuffers = 4;
// Frame periods in the live base's time base (1/30000 s).
constexpr std::int64_t kPeriod625 = 1200;
constexpr std::int64_t kPeriod525 = 1001;
constexpr long OATRUE = -1;
constexpr long OAFALSE = 0;

DWORD PackBytes(const std::uint8_t* pc) {
    return DWORD(pc[0]) | DWORD(pc[1]) << 8 | DWORD(pc[2]) << 16 | DWORD(pc[3]) << 24;
}

// The first pack of this type among the audio blocks of sequence s.
DWORD AudioPack(const std::uint8_t* frame, int s, std::uint8_t type) {
    const std::uint8_t* seq = frame + static_cast<std::size_t>(s) * kDvSequenceBytes;
    for (int a = 0; a < 9; ++a) {
        const std::uint8_t* pack = seq + kFirstAudioBlock + a * kAudioBlockStride + 3;
        if (pack[0] == type) return PackBytes(pack + 1);
    }
    return kNoInfo;
}

// The first pack of this type in the three VAUX blocks of sequence 0.
DWORD VideoPack(const std::uint8_t* frame, std::uint8_t type) {
    for (int block = 0; block < 3; ++block) {
        const std::uint8_t* data = frame + kFirstVauxBlock + block * kDvDifBlockBytes + 3;
        for (int slot = 0; slot < 15; ++slot)
            if (data[slot * 5] == type) return PackBytes(data + slot * 5 + 1);
    }
    return kNoInfo;
}

} // namespace

DVINFO DvInfoOfFrame(const std::uint8_t* frame, std::size_t size) {
    DVINFO info;
    info.dwDVAAuxSrc = info.dwDVAAuxCtl = info.dwDVAAuxSrc1 = info.dwDVAAuxCtl1 = kNoInfo;
    info.dwDVVAuxSrc = info.dwDVVAuxCtl = kNoInfo;
    if (size < kDvMinFrameBytes) return info;
    const bool pal = (frame[kDvHeaderSystemByte] & 0x80) != 0;
    const int half = pal ? 6 : 5;
    info.dwDVAAuxSrc = AudioPack(frame, 0, kDvPackAudioSource);
    info.dwDVAAuxCtl = AudioPack(frame, 0, kDvPackAudioControl);
    info.dwDVAAuxSrc1 = AudioPack(frame, half, kDvPackAudioSource);
    info.dwDVAAuxCtl1 = AudioPack(frame, half, kDvPackAudioControl);
    info.dwDVVAuxSrc = VideoPack(frame, kDvPackVideoSource);
    info.dwDVVAuxCtl = VideoPack(frame, kDvPackSourceControl);
    // The graph reads the system from this pack: make it agree with the frame's header.
    auto* bytes = reinterpret_cast<BYTE*>(&info);
    if (pal)
        bytes[DVINFO_SYSTEM_BYTE] |= DVINFO_50HZ_BIT;
    else
        bytes[DVINFO_SYSTEM_BYTE] &= static_cast<BYTE>(~DVINFO_50HZ_BIT);
    return info;
}

CMediaType DvMediaTypeOfFrame(const std::uint8_t* frame, std::size_t size) {
    CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_DvInfo);
    const DVINFO info = DvInfoOfFrame(frame, size);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    const bool pal = size >= kDvMinFrameBytes && (frame[kDvHeaderSystemByte] & 0x80) != 0;
    mt.SetSampleSize(static_cast<ULONG>(pal ? kDvFrameBytes625 : kDvFrameBytes525));
    mt.SetTemporalCompression(false);
    return mt;
}

DWORD PackTimecodeBcd(const DvTimecode& tc) {
    auto bcd = [](std::uint8_t v) { return DWORD((v / 10) << 4 | (v % 10)); };
    return bcd(tc.hours) << 24 | bcd(tc.minutes) << 16 | bcd(tc.seconds) << 8 | bcd(tc.frames);
}

// ---------------------------------------------------------------------------------------------
// The output pin

TVirtualDvStream::TVirtualDvStream(TVirtualDvCamera* filter,
                                   std::shared_ptr<DvCamcorderDevice> device)
    : TBCLiveSourceStream("Virtual DV output", filter, "DV A/V Out",
                          device->Config().pacing == DvPacing::RealTime
                              ? TBCLivePacing::Clock
                              : TBCLivePacing::AsFastAsPossible),
      device_(std::move(device)) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
}

bool TVirtualDvStream::IsPal(const DVINFO& info) {
    return (reinterpret_cast<const BYTE*>(&info)[DVINFO_SYSTEM_BYTE] & DVINFO_50HZ_BIT) != 0;
}

HRESULT TVirtualDvStream::CheckMediaType(const CMediaType* mt) {
    if (!mt || !(mt->majortype == MEDIATYPE_Interleaved) || !(mt->subtype == MEDIASUBTYPE_dvsd) ||
        !(mt->formattype == FORMAT_DvInfo) || mt->cbFormat < sizeof(DVINFO))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TVirtualDvStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    std::vector<std::uint8_t> frame;
    std::string error;
    if (!device_->PeekFrame(frame, error)) return E_FAIL;
    *mt = DvMediaTypeOfFrame(frame.data(), frame.size());
    return S_OK;
}

HRESULT TVirtualDvStream::SetMediaType(const CMediaType* mt) {
    HRESULT hr = TBCLiveSourceStream::SetMediaType(mt);
    if (SUCCEEDED(hr) && mt->cbFormat >= sizeof(DVINFO)) {
        DVINFO info;
        std::memcpy(&info, mt->pbFormat, sizeof info);
        connectedPal_ = IsPal(info);
    }
    return hr;
}

HRESULT TVirtualDvStream::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
    // Every buffer takes the larger frame, so a tape that changes system needs no new pool.
    return RequestBuffers(allocator, request, kBuffers, static_cast<LONG>(kDvFrameBytes625));
}

HRESULT TVirtualDvStream::Active() {
    announcedPal_ = connectedPal_; // the thread is not running yet
    SetFramePeriod(connectedPal_ ? kPeriod625 : kPeriod525);
    device_->StreamStarting();
    return TBCLiveSourceStream::Active();
}

void TVirtualDvStream::WakeDevice() {
    device_->Wake();
}

TBCFrameDue TVirtualDvStream::OnFrameDue() {
    const DvCamcorderDevice::Step step = device_->Advance();
    if (step.unplugged) return TBCFrameDue::DeviceLost;
    switch (step.kind) {
    case DvTransport::Step::Frame:
        step_ = step;
        return TBCFrameDue::Frame;
    case DvTransport::Step::EndOfTape:
        return TBCFrameDue::EndOfStream;
    case DvTransport::Step::Idle:
        break;
    }
    return TBCFrameDue::Nothing;
}

void TVirtualDvStream::WaitForDevice() {
    device_->WaitWhileStopped(Stopping()); // winding goes on at once
}

HRESULT TVirtualDvStream::FillFrame(IMediaSample* sample) {
    std::string error;
    if (!device_->Produce(step_, frame_, error)) return E_FAIL;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (static_cast<long>(frame_.size()) > sample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
    std::memcpy(data, frame_.data(), frame_.size());
    sample->SetActualDataLength(static_cast<long>(frame_.size()));

    // A recording of the other system changes the frame size: the sample carries the new type.
    // Aspect and sound changes stay in the packs, where the frames' readers look for them.
    const bool pal = (frame_[kDvHeaderSystemByte] & 0x80) != 0;
    if (pal != announcedPal_) {
        const CMediaType mt = DvMediaTypeOfFrame(frame_.data(), frame_.size());
        sample->SetMediaType(&mt);
        announcedPal_ = pal;
    }
    SetFramePeriod(pal ? kPeriod625 : kPeriod525);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The filter

TVirtualDvCamera::TVirtualDvCamera(std::shared_ptr<DvCamcorderDevice> device,
                                   std::string devicePath)
    : TBCLiveSource(device->Config().friendlyName, nullptr, CLSID_VirtualDvCamera), device_(device),
      devicePath_(std::move(devicePath)) {
    stream_ = static_cast<TVirtualDvStream*>(
        AddPin(std::make_unique<TVirtualDvStream>(this, std::move(device))));
}

HRESULT TVirtualDvCamera::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMExtDevice::iid) return GetInterface(static_cast<IAMExtDevice*>(this), ppv);
    if (riid == IAMExtTransport::iid) return GetInterface(static_cast<IAMExtTransport*>(this), ppv);
    if (riid == IAMTimecodeReader::iid)
        return GetInterface(static_cast<IAMTimecodeReader*>(this), ppv);
    return TBCLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

// IAMExtDevice

HRESULT TVirtualDvCamera::GetCapability(long capability, long* value, double*) {
    if (!value) return E_POINTER;
    switch (capability) {
    case ED_DEVCAP_DEVICE_TYPE:
        *value = device_->IsVcr() ? ED_DEVTYPE_VCR : ED_DEVTYPE_CAMERA;
        return S_OK;
    case ED_DEVCAP_HAS_AUDIO:
    case ED_DEVCAP_HAS_VIDEO:
    case ED_DEVCAP_TIMECODE_READ:
        *value = OATRUE;
        return S_OK;
    case ED_DEVCAP_CAN_RECORD:
        *value = OAFALSE;
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

HRESULT TVirtualDvCamera::get_ExternalDeviceID(std::string* id) {
    if (!id) return E_POINTER;
    *id = devicePath_;
    return S_OK;
}

HRESULT TVirtualDvCamera::get_ExternalDeviceVersion(std::string* version) {
    if (!version) return E_POINTER;
    *version = "1.0";
    return S_OK;
}

HRESULT TVirtualDvCamera::put_DevicePower(long powerMode) {
    return powerMode == ED_POWER_ON ? S_OK : E_NOTIMPL;
}

HRESULT TVirtualDvCamera::get_DevicePower(long* powerMode) {
    if (!powerMode) return E_POINTER;
    *powerMode = ED_POWER_ON;
    return S_OK;
}

// IAMExtTransport

HRESULT TVirtualDvCamera::put_Mode(long mode) {
    return device_->SetTransportMode(mode);
}

HRESULT TVirtualDvCamera::get_Mode(long* mode) {
    if (!mode) return E_POINTER;
    *mode = device_->TransportMode();
    return S_OK;
}

// IAMTimecodeReader

HRESULT TVirtualDvCamera::GetTimecode(TIMECODE_SAMPLE* sample) {
    if (!sample) return E_POINTER;
    const std::optional<DvTimecode> tc = device_->CurrentTimecode();
    sample->timecode.dwFrames = tc ? PackTimecodeBcd(*tc) : 0xFFFFFFFF;
    sample->timecode.wFrameFract = 0;
    // 525/60 DV counts its timecode in drop-frame fashion.
    sample->timecode.wFrameRate = device_->CurrentSystem() == DvTapeSystem::Pal625
                                      ? ED_FORMAT_SMPTE_25
                                      : ED_FORMAT_SMPTE_30DROP;
    return S_OK;
}

} // namespace talvence
