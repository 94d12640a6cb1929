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
constexpr long kMaxDroppedKept = 1024;
constexpr long kBuffers = 4;
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

// Stream time of a count of 1/30000 s units.
REFERENCE_TIME UnitsToTime(std::int64_t units) {
    return units * 1000 / 3;
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
    : TBCSourceStream("Virtual DV output", filter, "DV A/V Out"), device_(std::move(device)) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
}

HRESULT TVirtualDvStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMDroppedFrames::iid)
        return GetInterface(static_cast<IAMDroppedFrames*>(this), ppv);
    if (riid == IAMPushSource::iid || riid == IAMLatency::iid)
        return GetInterface(static_cast<IAMPushSource*>(this), ppv);
    return TBCSourceStream::NonDelegatingQueryInterface(riid, ppv);
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
    HRESULT hr = TBCSourceStream::SetMediaType(mt);
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
    request->cBuffers = std::max<LONG>(request->cBuffers, kBuffers);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, static_cast<LONG>(kDvFrameBytes625));
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= static_cast<LONG>(kDvFrameBytes625) ? S_OK : E_FAIL;
}

HRESULT TVirtualDvStream::Active() {
    {
        std::lock_guard lock(streamMutex_);
        stopping_ = false;
        running_ = false;
    }
    tick_.Reset();
    produced_ = 0;
    delivered_ = 0;
    dropped_ = 0;
    deliveredBytes_ = 0;
    {
        std::lock_guard lock(droppedMutex_);
        droppedFrames_.clear();
    }
    announcedPal_ = connectedPal_; // the thread is not running yet
    periodUnits_ = connectedPal_ ? 1200 : 1001;
    endPending_ = false;
    device_->StreamStarting();
    return TBCSourceStream::Active();
}

HRESULT TVirtualDvStream::Inactive() {
    {
        std::lock_guard lock(streamMutex_);
        stopping_ = true;
        running_ = false;
    }
    runChanged_.notify_all();
    tick_.Set();
    device_->Wake();
    HRESULT hr = TBCSourceStream::Inactive(); // decommits and joins
    std::lock_guard lock(streamMutex_);
    clock_ = nullptr;
    return hr;
}

void TVirtualDvStream::Started(IReferenceClock* clock, REFERENCE_TIME startTime) {
    {
        std::lock_guard lock(streamMutex_);
        clock_ = clock;
        startTime_ = startTime;
        running_ = true;
        ++runGeneration_;
    }
    runChanged_.notify_all();
}

void TVirtualDvStream::Paused() {
    {
        std::lock_guard lock(streamMutex_);
        running_ = false;
    }
    tick_.Set();
    device_->Wake();
}

bool TVirtualDvStream::StillRunning(std::uint64_t generation) {
    std::lock_guard lock(streamMutex_);
    return !stopping_ && running_ && runGeneration_ == generation;
}

HRESULT TVirtualDvStream::WaitUntil(IReferenceClock* clock, REFERENCE_TIME startTime,
                                    REFERENCE_TIME due) {
    for (;;) {
        REFERENCE_TIME now = 0;
        if (FAILED(clock->GetTime(&now))) return E_FAIL;
        if (now >= startTime + due) return S_OK;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(startTime, due, &tick_, &cookie))) return E_FAIL;
        tick_.Wait();
        clock->Unadvise(cookie);
        if (!StillRunning(seenGeneration_)) return S_FALSE;
    }
}

HRESULT TVirtualDvStream::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                            REFERENCE_TIME* stop, DWORD) {
    const bool realTime = device_->Config().pacing == DvPacing::RealTime;
    for (;;) {
        ComPtr<IReferenceClock> clock;
        REFERENCE_TIME startTime = 0;
        {
            std::unique_lock lock(streamMutex_);
            runChanged_.wait(lock, [&] { return stopping_ || running_; });
            if (stopping_) return VFW_E_NOT_COMMITTED;
            if (runGeneration_ != seenGeneration_) {
                // Each run starts its stream time at zero.
                seenGeneration_ = runGeneration_;
                runUnits_ = 0;
                discontinuity_ = true;
            }
            clock = clock_;
            startTime = startTime_;
        }
        const bool paced = realTime && clock;
        if (paced) {
            HRESULT hr = WaitUntil(clock.get(), startTime, UnitsToTime(runUnits_));
            if (FAILED(hr)) return hr;
            if (hr == S_FALSE) continue;
        }
        const DvCamcorderDevice::Step step = device_->Advance();
        ++periods_;
        if (step.kind == DvTransport::Step::Idle) {
            if (paced)
                runUnits_ += periodUnits_;
            else
                device_->WaitWhileStopped(stopping_); // winding goes on at once
            continue;
        }
        if (step.kind == DvTransport::Step::EndOfTape) {
            HRESULT hr = TBCSourceStream::GetDeliveryBuffer(sample, start, stop, 0);
            if (SUCCEEDED(hr)) endPending_ = true; // FillBuffer ends the stream
            return hr;
        }
        const long frameNumber = produced_++;
        HRESULT hr =
            TBCSourceStream::GetDeliveryBuffer(sample, start, stop, paced ? AM_GBF_NOWAIT : 0);
        if (paced && hr == VFW_E_TIMEOUT) {
            // Every buffer is still downstream when the frame is due: it is lost.
            ++dropped_;
            {
                std::lock_guard lock(droppedMutex_);
                if (static_cast<long>(droppedFrames_.size()) < kMaxDroppedKept)
                    droppedFrames_.push_back(frameNumber);
            }
            runUnits_ += periodUnits_;
            continue;
        }
        if (SUCCEEDED(hr)) step_ = step;
        return hr;
    }
}

HRESULT TVirtualDvStream::FillBuffer(IMediaSample* sample) {
    if (endPending_) {
        endPending_ = false;
        return S_FALSE;
    }
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
    periodUnits_ = pal ? 1200 : 1001;
    REFERENCE_TIME tStart = UnitsToTime(runUnits_);
    runUnits_ += periodUnits_;
    REFERENCE_TIME tStop = UnitsToTime(runUnits_);
    sample->SetTime(&tStart, &tStop);
    sample->SetSyncPoint(1);
    sample->SetDiscontinuity(discontinuity_ ? 1 : 0);
    discontinuity_ = false;
    return S_OK;
}

HRESULT TVirtualDvStream::GetLatency(REFERENCE_TIME* latency) {
    if (!latency) return E_POINTER;
    // A frame is handed over once it has been read whole: one period.
    *latency = UnitsToTime(periodUnits_);
    return S_OK;
}

HRESULT TVirtualDvStream::GetPushSourceFlags(ULONG* flags) {
    if (!flags) return E_POINTER;
    *flags = device_->Config().pacing == DvPacing::RealTime ? 0 : AM_PUSHSOURCECAPS_NOT_LIVE;
    return S_OK;
}

HRESULT TVirtualDvStream::SetPushSourceFlags(ULONG) {
    return E_NOTIMPL; // the pacing is the device's, chosen when it was configured
}

// Nothing downstream shifts this source's times: the offset stays zero.
HRESULT TVirtualDvStream::SetStreamOffset(REFERENCE_TIME) {
    return E_NOTIMPL;
}

HRESULT TVirtualDvStream::GetStreamOffset(REFERENCE_TIME* offset) {
    if (!offset) return E_POINTER;
    *offset = 0;
    return S_OK;
}

HRESULT TVirtualDvStream::GetMaxStreamOffset(REFERENCE_TIME* maxOffset) {
    if (!maxOffset) return E_POINTER;
    *maxOffset = 0;
    return S_OK;
}

HRESULT TVirtualDvStream::SetMaxStreamOffset(REFERENCE_TIME) {
    return E_NOTIMPL;
}

HRESULT TVirtualDvStream::Deliver(IMediaSample* sample) {
    const long length = sample->GetActualDataLength();
    HRESULT hr = TBCSourceStream::Deliver(sample);
    if (hr == S_OK) {
        deliveredBytes_ += length;
        ++delivered_;
    }
    return hr;
}

HRESULT TVirtualDvStream::GetNumDropped(long* dropped) {
    if (!dropped) return E_POINTER;
    *dropped = dropped_;
    return S_OK;
}

HRESULT TVirtualDvStream::GetNumNotDropped(long* notDropped) {
    if (!notDropped) return E_POINTER;
    *notDropped = delivered_;
    return S_OK;
}

HRESULT TVirtualDvStream::GetDroppedInfo(long size, long* frames, long* copied) {
    if (!frames || !copied) return E_POINTER;
    if (size <= 0) return E_INVALIDARG;
    std::lock_guard lock(droppedMutex_);
    const long n = std::min<long>(size, static_cast<long>(droppedFrames_.size()));
    std::copy_n(droppedFrames_.begin(), n, frames);
    *copied = n;
    return S_OK;
}

HRESULT TVirtualDvStream::GetAverageFrameSize(long* averageSize) {
    if (!averageSize) return E_POINTER;
    const long n = delivered_;
    *averageSize = n == 0 ? 0 : static_cast<long>(deliveredBytes_ / n);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The filter

TVirtualDvCamera::TVirtualDvCamera(std::shared_ptr<DvCamcorderDevice> device,
                                   std::string devicePath)
    : TBCSource(device->Config().friendlyName, nullptr, CLSID_VirtualDvCamera), device_(device),
      devicePath_(std::move(devicePath)) {
    stream_ = static_cast<TVirtualDvStream*>(
        AddPin(std::make_unique<TVirtualDvStream>(this, std::move(device))));
}

TVirtualDvCamera::~TVirtualDvCamera() {
    // The pin's thread uses the device: end it while this filter is whole.
    if (stream_->ThreadExists()) stream_->Inactive();
}

HRESULT TVirtualDvCamera::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMExtDevice::iid) return GetInterface(static_cast<IAMExtDevice*>(this), ppv);
    if (riid == IAMExtTransport::iid) return GetInterface(static_cast<IAMExtTransport*>(this), ppv);
    if (riid == IAMTimecodeReader::iid)
        return GetInterface(static_cast<IAMTimecodeReader*>(this), ppv);
    return TBCSource::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TVirtualDvCamera::Pause() {
    TBCAutoLock lock(stateLock_);
    HRESULT hr = TBCSource::Pause();
    if (SUCCEEDED(hr)) stream_->Paused();
    return hr;
}

HRESULT TVirtualDvCamera::Run(REFERENCE_TIME tStart) {
    TBCAutoLock lock(stateLock_);
    HRESULT hr = TBCSource::Run(tStart);
    if (SUCCEEDED(hr) && stream_->IsConnected()) stream_->Started(clock_.get(), tStart);
    return hr;
}

HRESULT TVirtualDvCamera::GetState(DWORD msTimeout, FILTER_STATE* state) {
    HRESULT hr = TBCSource::GetState(msTimeout, state);
    if (hr == S_OK && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
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
