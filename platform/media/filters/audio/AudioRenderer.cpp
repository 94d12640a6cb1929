#include "platform/media/filters/audio/AudioRenderer.h"

#include "platform/media/EventCodes.h"
#include "platform/media/filters/audio/AudioFilterIds.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace talvence {

// ---------------------------------------------------------------------------------------------
// Input pin

TAudioRendererInputPin::TAudioRendererInputPin(TAudioRenderer* renderer)
    : TBCBaseInputPin("Audio renderer input pin", renderer, &renderer->filterLock_,
                      "Audio Input pin (rendered)", "In"),
      renderer_(renderer) {}

HRESULT TAudioRendererInputPin::CheckMediaType(const CMediaType* mt) {
    return mt && PcmFormatOf(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAudioRendererInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(renderer_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    // Nothing may follow the end of the stream until a flush or a new run.
    if (renderer_->endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
    if ((sampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && sampleProps_.pMediaType) {
        // The base checked the type: the device is opened again for it.
        auto format = PcmFormatOf(*sampleProps_.pMediaType);
        if (format && !(*format == renderer_->format_)) renderer_->OpenDevice(*format);
    }
    if (sampleProps_.dwStreamId != AM_STREAM_MEDIA) return S_OK;
    if (sampleProps_.dwSampleFlags & AM_SAMPLE_PREROLL) return S_OK;
    return renderer_->Render(sample);
}

HRESULT TAudioRendererInputPin::EndOfStream() {
    TBCAutoLock lock(renderer_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return renderer_->HandleEndOfStream();
}

HRESULT TAudioRendererInputPin::BeginFlush() {
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    renderer_->CancelWait();
    return hr;
}

HRESULT TAudioRendererInputPin::EndFlush() {
    {
        // The receive lock first: while the wait is cancelled and the device dropped, a streaming
        // thread still inside Render leaves it at once. Made writable before that, the device
        // would take that thread's write again and hold it, and us, until the device plays.
        TBCAutoLock lock(renderer_->receiveLock_);
        renderer_->endOfStream_ = false;
        renderer_->completeOnRun_ = false;
        renderer_->nextTime_ = 0;
        renderer_->AllowWait();
    }
    return TBCBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------------
// Filter

TAudioRenderer::TAudioRenderer(std::shared_ptr<TPcmPlaybackBackend> backend, std::string device)
    : TBCBaseFilter("Audio Renderer", nullptr, &filterLock_, CLSID_DSoundRender), input_(this),
      backend_(backend ? std::move(backend) : MakeAlsaPlaybackBackend()),
      deviceName_(std::move(device)) {}

TAudioRenderer::~TAudioRenderer() = default;

HRESULT TAudioRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IBasicAudio::iid) return GetInterface(static_cast<IBasicAudio*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

TBCBasePin* TAudioRenderer::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
}

HRESULT TAudioRenderer::Pause() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped && input_.IsConnected()) {
        TBCAutoLock receive(receiveLock_);
        auto format = PcmFormatOf(input_.CurrentMediaType());
        if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
        endOfStream_ = false;
        completeOnRun_ = false;
        rendered_ = 0;
        nextTime_ = 0;
        AllowWait();
        {
            std::lock_guard clockGuard(clockLock_);
            clocked_ = clock_ != nullptr;
        }
        OpenDevice(*format);
    }
    return TBCBaseFilter::Pause();
}

HRESULT TAudioRenderer::Run(REFERENCE_TIME tStart) {
    HRESULT hr = TBCBaseFilter::Run(tStart);
    // A sample held while paused may now be played.
    if (SUCCEEDED(hr)) due_.Set();
    if (SUCCEEDED(hr) && completeOnRun_.exchange(false)) NotifyComplete();
    return hr;
}

void TAudioRenderer::NotifyComplete() {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT TAudioRenderer::Stop() {
    TBCAutoLock lock(filterLock_);
    if (state_ == State_Stopped) return S_OK;
    if (!input_.IsConnected()) {
        state_ = State_Stopped;
        return S_OK;
    }
    // Decommitting releases an upstream thread blocked in GetBuffer; dropping the device releases
    // ours blocked in a write or a wait, so that the receive lock can be had.
    input_.Inactive();
    CancelWait();
    TBCAutoLock receive(receiveLock_);
    CloseDevice();
    state_ = State_Stopped;
    return S_OK;
}

void TAudioRenderer::OpenDevice(const TPcmFormat& format) {
    CloseDevice();
    format_ = format;
    // Without a clock the null device consumes samples at once; a device would hold the stream
    // to real time.
    std::shared_ptr<TPcmPlaybackDevice> device =
        clocked_ ? backend_->Open(deviceName_, format) : nullptr;
    nullDevice_ = device == nullptr;
    if (device && cancelled_) device->Drop();
    std::lock_guard lock(deviceLock_);
    device_ = std::move(device);
}

void TAudioRenderer::CloseDevice() {
    std::shared_ptr<TPcmPlaybackDevice> device;
    {
        std::lock_guard lock(deviceLock_);
        device = std::move(device_);
    }
    // Closed here, outside deviceLock_: closing a real device may take a moment.
}

void TAudioRenderer::CancelWait() {
    cancelled_ = true;
    due_.Set();
    std::shared_ptr<TPcmPlaybackDevice> device;
    {
        std::lock_guard lock(deviceLock_);
        device = device_;
    }
    if (device) device->Drop();
}

void TAudioRenderer::AllowWait() {
    cancelled_ = false;
    std::shared_ptr<TPcmPlaybackDevice> device;
    {
        std::lock_guard lock(deviceLock_);
        device = device_;
    }
    if (device) device->Prepare();
}

bool TAudioRenderer::WaitUntilRunning() {
    for (;;) {
        due_.Reset();
        if (cancelled_) return false; // after the reset: a cancel from now on sets the event
        if (State() == State_Running) return true;
        due_.Wait();
    }
}

bool TAudioRenderer::WaitUntilStreamTime(REFERENCE_TIME time) {
    // The clock changes only while stopped; clockLock_ rather than the filter lock, which a stop
    // holds while it waits for us.
    ComPtr<IReferenceClock> clock;
    {
        std::lock_guard lock(clockLock_);
        clock = clock_;
    }
    if (!clock) return true;
    for (;;) {
        if (!WaitUntilRunning()) return false;
        due_.Reset();
        if (cancelled_) return false;
        const REFERENCE_TIME base = StartTime();
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(base, time, &due_, &cookie))) return true;
        due_.Wait();
        clock->Unadvise(cookie);
        if (cancelled_) return false;
        REFERENCE_TIME now = 0;
        clock->GetTime(&now);
        // Woken by a new run (which moves the start time) rather than by the clock: wait again.
        if (now >= StartTime() + time) return true;
    }
}

bool TAudioRenderer::WaitFor(REFERENCE_TIME duration) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + microseconds(duration / 10);
    for (;;) {
        due_.Reset();
        if (cancelled_) return false;
        const auto now = steady_clock::now();
        if (now >= end) return true;
        due_.Wait(static_cast<DWORD>(duration_cast<milliseconds>(end - now).count() + 1));
    }
}

double TAudioRenderer::GainOf(long attenuation) {
    if (attenuation <= -10000) return 0.0;
    if (attenuation >= 0) return 1.0;
    return std::pow(10.0, static_cast<double>(attenuation) / 2000.0);
}

const BYTE* TAudioRenderer::Scaled(const BYTE* data, long length) {
    const double gain = GainOf(volume_);
    double left = gain, right = gain;
    if (format_.channels == 2) {
        const long balance = balance_;
        if (balance > 0) left *= GainOf(-balance);
        if (balance < 0) right *= GainOf(balance);
    }
    if (left == 1.0 && right == 1.0) return data;
    if (scratch_.size() < static_cast<std::size_t>(length))
        scratch_.resize(static_cast<std::size_t>(length));
    BYTE* out = scratch_.data();
    const unsigned channels = format_.channels;
    if (format_.bits == 16) {
        const long count = length / 2;
        for (long i = 0; i < count; ++i) {
            std::int16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            const double g = (channels == 2 && (i & 1)) ? right : left;
            const long v = std::clamp(std::lround(s * g), -32768L, 32767L);
            const std::int16_t o = static_cast<std::int16_t>(v);
            std::memcpy(out + 2 * i, &o, 2);
        }
    } else {
        for (long i = 0; i < length; ++i) {
            const double g = (channels == 2 && (i & 1)) ? right : left;
            const long v = 128 + std::lround((static_cast<int>(data[i]) - 128) * g);
            out[i] = static_cast<BYTE>(std::clamp(v, 0L, 255L));
        }
    }
    return out;
}

HRESULT TAudioRenderer::Render(IMediaSample* sample) {
    // Paused: nothing is heard before the run.
    if (!WaitUntilRunning()) return S_OK;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long block = static_cast<long>(format_.BlockAlign());
    const long frames = block > 0 ? sample->GetActualDataLength() / block : 0;
    if (frames <= 0) return S_OK;

    if (!nullDevice_) {
        std::shared_ptr<TPcmPlaybackDevice> device;
        {
            std::lock_guard lock(deviceLock_);
            device = device_;
        }
        if (device) {
            const long written = device->Write(Scaled(data, frames * block), frames);
            if (written == frames) {
                ++rendered_;
                return S_OK;
            }
            if (written >= 0) return S_OK; // dropped by a stop or flush: not played
            // The device failed for good (unplugged): the stream goes on against the clock.
            CloseDevice();
            nullDevice_ = true;
        }
    }

    // The null device: the sample is consumed when the clock reaches its end.
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    if (FAILED(timed)) start = nextTime_;
    stop = start + format_.Duration(frames);
    nextTime_ = stop;
    if (!WaitUntilStreamTime(stop)) return S_OK;
    ++rendered_;
    return S_OK;
}

HRESULT TAudioRenderer::HandleEndOfStream() {
    if (endOfStream_) return S_OK;
    endOfStream_ = true;
    // Renderers complete while running. An end that comes while paused (an upstream filter ends
    // its stream as the graph pauses, on the application thread) must not wait here for a Run
    // that thread would never get to make: Run posts the completion instead.
    completeOnRun_ = true;
    if (State() != State_Running || !completeOnRun_.exchange(false)) return S_OK;
    std::shared_ptr<TPcmPlaybackDevice> device;
    {
        std::lock_guard lock(deviceLock_);
        device = device_;
    }
    // The end is reached when the device has played what it holds.
    if (device && !nullDevice_) {
        const long pending = device->Pending();
        if (pending > 0 && !WaitFor(format_.Duration(pending))) return S_OK;
    }
    NotifyComplete();
    return S_OK;
}

HRESULT TAudioRenderer::put_Volume(long volume) {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    volume_ = volume;
    return S_OK;
}

HRESULT TAudioRenderer::get_Volume(long* volume) {
    if (!volume) return E_POINTER;
    *volume = volume_;
    return S_OK;
}

HRESULT TAudioRenderer::put_Balance(long balance) {
    if (balance < -10000 || balance > 10000) return E_INVALIDARG;
    balance_ = balance;
    return S_OK;
}

HRESULT TAudioRenderer::get_Balance(long* balance) {
    if (!balance) return E_POINTER;
    *balance = balance_;
    return S_OK;
}

} // namespace talvence
