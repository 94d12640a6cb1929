#include "platform/devices/ieee1394/Ieee1394DvCamera.h"

#include "platform/devices/virtual/VirtualDvCamera.h"
#include "platform/log/Log.h"
#include "platform/media/DvConstants.h"
#include "platform/media/MediaGuids.h"

#include <chrono>
#include <cstring>

namespace talvence {

namespace {

constexpr long OATRUE = -1;
constexpr long OAFALSE = 0;
constexpr long kBuffers = 4;
constexpr std::int64_t kPeriod625 = 1200; // units of 1/30000 s: 40 ms
constexpr std::int64_t kPeriod525 = 1001; // 33.367 ms
constexpr int kTypeWaitMs = 1500;         // for the first frame, to type the connection
constexpr int kReadSliceMs = 100;         // the streaming thread looks at the stop this often

bool FrameIsPal(const std::vector<std::uint8_t>& frame) {
    return frame.size() >= kDvMinFrameBytes && (frame[kDvHeaderSystemByte] & 0x80) != 0;
}

// A 625-line frame without packs: the type of a connection made before any frame came.
std::vector<std::uint8_t> BlankPalFrame() {
    std::vector<std::uint8_t> frame(kDvFrameBytes625, 0xFF);
    frame[kDvHeaderSystemByte] = 0xBF;
    return frame;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The output pin

TIeee1394DvStream::TIeee1394DvStream(TIeee1394DvCamera* filter,
                                     std::shared_ptr<IIeee1394System> system, std::uint64_t guid)
    : TBCLiveSourceStream("IEEE 1394 DV output", filter, "DV A/V Out", TBCLivePacing::Device),
      system_(std::move(system)), guid_(guid) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
}

HRESULT TIeee1394DvStream::CheckMediaType(const CMediaType* mt) {
    if (!mt || !(mt->majortype == MEDIATYPE_Interleaved) || !(mt->subtype == MEDIASUBTYPE_dvsd) ||
        !(mt->formattype == FORMAT_DvInfo) || mt->cbFormat < sizeof(DVINFO))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TIeee1394DvStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    // The type comes from the first frame the unit sends, asked once; a unit that sends nothing
    // yet (a stopped tape) is taken as 625 lines, and a 525-line stream then types its first
    // sample.
    if (!firstFrameType_) {
        std::vector<std::uint8_t> frame;
        std::string error;
        auto reception = system_->OpenReception(guid_, error);
        if (!reception) {
            TLOG(Device) << "IEEE 1394: " << error;
            return E_FAIL;
        }
        IDvReception::Result r = IDvReception::Result::Timeout;
        for (int waited = 0; waited < kTypeWaitMs; waited += kReadSliceMs) {
            r = reception->Next(frame, kReadSliceMs);
            if (r == IDvReception::Result::Frame || r == IDvReception::Result::Gone) break;
        }
        if (r != IDvReception::Result::Frame) frame = BlankPalFrame();
        firstFrameType_ = DvMediaTypeOfFrame(frame.data(), frame.size());
    }
    *mt = *firstFrameType_;
    return S_OK;
}

HRESULT TIeee1394DvStream::SetMediaType(const CMediaType* mt) {
    HRESULT hr = TBCLiveSourceStream::SetMediaType(mt);
    if (SUCCEEDED(hr) && mt->cbFormat >= sizeof(DVINFO))
        connectedPal_ = (mt->pbFormat[DVINFO_SYSTEM_BYTE] & DVINFO_50HZ_BIT) != 0;
    return hr;
}

HRESULT TIeee1394DvStream::DecideBufferSize(IMemAllocator* allocator,
                                            ALLOCATOR_PROPERTIES* request) {
    return RequestBuffers(allocator, request, kBuffers, static_cast<LONG>(kDvFrameBytes625));
}

HRESULT TIeee1394DvStream::Active() {
    std::string error;
    auto reception = system_->OpenReception(guid_, error);
    if (!reception) {
        TLOG(Device) << "IEEE 1394: " << error;
        return VFW_E_NO_CAPTURE_HARDWARE;
    }
    {
        std::lock_guard lock(receptionMutex_);
        reception_ = std::move(reception);
    }
    announcedPal_ = connectedPal_;
    SetFramePeriod(connectedPal_ ? kPeriod625 : kPeriod525);
    return TBCLiveSourceStream::Active();
}

HRESULT TIeee1394DvStream::Inactive() {
    {
        std::lock_guard lock(receptionMutex_);
        if (reception_) reception_->Cancel();
    }
    const HRESULT hr = TBCLiveSourceStream::Inactive(); // joins the thread
    std::lock_guard lock(receptionMutex_);
    reception_.reset();
    return hr;
}

HRESULT TIeee1394DvStream::FillFrame(IMediaSample* sample) {
    IDvReception* reception = nullptr;
    {
        std::lock_guard lock(receptionMutex_);
        reception = reception_.get(); // stays until Inactive has joined this thread
    }
    if (!reception) return E_UNEXPECTED;
    for (;;) {
        if (StopRequested() || Stopping()) return S_FALSE;
        switch (reception->Next(frame_, kReadSliceMs)) {
        case IDvReception::Result::Frame: break;
        case IDvReception::Result::Incomplete:
            ReportLost(1); // a frame with missing packets is never passed on half-filled
            continue;
        case IDvReception::Result::Timeout: continue;
        case IDvReception::Result::Stopped: return S_FALSE;
        case IDvReception::Result::Gone:
            static_cast<TIeee1394DvCamera*>(Source())->UnitGone();
            return TBC_E_DEVICE_LOST;
        }
        break;
    }
    if (static_cast<long>(frame_.size()) > sample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, frame_.data(), frame_.size());
    sample->SetActualDataLength(static_cast<long>(frame_.size()));

    const bool pal = FrameIsPal(frame_);
    if (pal != announcedPal_) {
        const CMediaType mt = DvMediaTypeOfFrame(frame_.data(), frame_.size());
        sample->SetMediaType(&mt);
        announcedPal_ = pal;
    }
    const std::int64_t period = pal ? kPeriod625 : kPeriod525;
    SetFramePeriod(period);
    // The graph clock's time at the frame's arrival; without a clock, consecutive times.
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(ClockStreamTime(&now))) {
        REFERENCE_TIME stop = now + UnitsToTime(period);
        sample->SetTime(&now, &stop);
    } else {
        StampFromCount(sample, period);
    }
    sample->SetSyncPoint(1);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The AV/C worker

TAvcWorker::TAvcWorker(std::unique_ptr<IAvcUnit> unit)
    : unit_(std::move(unit)), thread_([this] { Run(); }) {}

TAvcWorker::~TAvcWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true; // commands still queued (a Stop at exit) are sent first
    }
    wake_.notify_all();
    thread_.join();
}

void TAvcWorker::Send(long mode) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(mode);
        mode_ = mode; // what the caller asked for, until the unit says otherwise
    }
    wake_.notify_all();
}

long TAvcWorker::Mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

std::optional<std::uint32_t> TAvcWorker::Timecode() const {
    std::lock_guard lock(mutex_);
    return timecode_;
}

void TAvcWorker::Run() {
    constexpr auto kPoll = std::chrono::milliseconds(200);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kPoll, [&] { return quit_ || !commands_.empty(); });
        while (!commands_.empty()) {
            const long mode = commands_.front();
            commands_.pop_front();
            lock.unlock();
            if (unit_ && !unit_->SetMode(mode))
                TLOG(Device) << "IEEE 1394: the camcorder did not take the transport command "
                             << mode;
            lock.lock();
        }
        if (quit_) return;
        lock.unlock();
        const long mode = unit_ ? unit_->Mode() : ED_MODE_STOP;
        const auto timecode = unit_ ? unit_->Timecode() : std::nullopt;
        lock.lock();
        if (commands_.empty()) mode_ = mode; // a newer command wins over an older reading
        timecode_ = timecode;
    }
}

// ---------------------------------------------------------------------------------------------
// The filter

TIeee1394DvCamera::TIeee1394DvCamera(std::shared_ptr<IIeee1394System> system, Ieee1394Unit unit,
                                     FilterRegistry* registry)
    : TBCLiveSource(Ieee1394UnitName(unit), nullptr, CLSID_Ieee1394DvCamera), unit_(unit),
      registry_(registry), avc_(system->OpenUnit(unit.guid)) {
    AddPin(std::make_unique<TIeee1394DvStream>(this, std::move(system), unit.guid));
}

HRESULT TIeee1394DvCamera::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMExtDevice::iid) return GetInterface(static_cast<IAMExtDevice*>(this), ppv);
    if (riid == IAMExtTransport::iid) return GetInterface(static_cast<IAMExtTransport*>(this), ppv);
    if (riid == IAMTimecodeReader::iid)
        return GetInterface(static_cast<IAMTimecodeReader*>(this), ppv);
    return TBCLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

void TIeee1394DvCamera::UnitGone() {
    TLOG(Device) << "IEEE 1394: " << Ieee1394DevicePath(unit_.guid) << " was unplugged";
    if (registry_)
        registry_->UnregisterByProperty(CLSID_VideoInputDeviceCategory, "DevicePath",
                                        Ieee1394DevicePath(unit_.guid));
}

HRESULT TIeee1394DvCamera::GetCapability(long capability, long* value, double*) {
    if (!value) return E_POINTER;
    switch (capability) {
    case ED_DEVCAP_DEVICE_TYPE: *value = unit_.tape ? ED_DEVTYPE_VCR : ED_DEVTYPE_CAMERA; return S_OK;
    case ED_DEVCAP_HAS_AUDIO:
    case ED_DEVCAP_HAS_VIDEO:
    case ED_DEVCAP_TIMECODE_READ: *value = OATRUE; return S_OK;
    case ED_DEVCAP_CAN_RECORD: *value = OAFALSE; return S_OK;
    default: return E_NOTIMPL;
    }
}

HRESULT TIeee1394DvCamera::get_ExternalDeviceID(std::string* id) {
    if (!id) return E_POINTER;
    *id = Ieee1394DevicePath(unit_.guid);
    return S_OK;
}

HRESULT TIeee1394DvCamera::get_ExternalDeviceVersion(std::string* version) {
    if (!version) return E_POINTER;
    *version = "AV/C";
    return S_OK;
}

HRESULT TIeee1394DvCamera::put_DevicePower(long powerMode) {
    return powerMode == ED_POWER_ON ? S_OK : E_NOTIMPL;
}

HRESULT TIeee1394DvCamera::get_DevicePower(long* powerMode) {
    if (!powerMode) return E_POINTER;
    *powerMode = ED_POWER_ON;
    return S_OK;
}

HRESULT TIeee1394DvCamera::put_Mode(long mode) {
    if (!unit_.tape) return E_FAIL; // a camera moves no tape
    avc_.Send(mode);
    return S_OK;
}

HRESULT TIeee1394DvCamera::get_Mode(long* mode) {
    if (!mode) return E_POINTER;
    *mode = avc_.Mode();
    return S_OK;
}

HRESULT TIeee1394DvCamera::GetTimecode(TIMECODE_SAMPLE* sample) {
    if (!sample) return E_POINTER;
    const auto timecode = avc_.Timecode();
    sample->timecode.dwFrames = timecode.value_or(0xFFFFFFFF);
    return timecode ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------------
// Registration

int RegisterIeee1394Cameras(FilterRegistry& registry, std::shared_ptr<IIeee1394System> system) {
    registry.Unregister(CLSID_VideoInputDeviceCategory, CLSID_Ieee1394DvCamera);
    int count = 0;
    for (const Ieee1394Unit& unit : system->Enumerate()) {
        RegisteredFilter entry;
        entry.clsid = CLSID_Ieee1394DvCamera;
        entry.friendlyName = Ieee1394UnitName(unit);
        entry.merit = MERIT_DO_NOT_USE;
        entry.pins.push_back({PINDIR_OUTPUT, {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}}});
        entry.properties["DevicePath"] = Ieee1394DevicePath(unit.guid);
        entry.properties["Description"] = unit.tape ? "DV camcorder on IEEE 1394 (VCR mode)"
                                                    : "DV camcorder on IEEE 1394 (camera mode)";
        entry.create = [system, unit, registry = &registry] {
            return ComPtr<IBaseFilter>(new TIeee1394DvCamera(system, unit, registry));
        };
        registry.Register(CLSID_VideoInputDeviceCategory, std::move(entry));
        ++count;
    }
    return count;
}

} // namespace talvence
