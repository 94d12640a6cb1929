#include "platform/devices/v4l2/V4l2CaptureSource.h"

#include "platform/devices/alsa/AlsaCaptureSource.h"
#include "platform/devices/v4l2/V4l2Pages.h"
#include "platform/log/Log.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/videodev2.h>

namespace talvence {

namespace {
constexpr std::uint32_t kDeviceBuffers = 4;
constexpr long kSampleBuffers = 4;
constexpr int kPollMs = 100; // how late the streaming thread may see a stop

double Seconds(const TV4l2Mode& m) {
    return m.intervalDen ? double(m.intervalNum) / m.intervalDen : 0;
}
} // namespace

TV4l2CaptureStream::TV4l2CaptureStream(TV4l2CaptureSource* source, std::vector<TV4l2Mode> modes)
    : TBCLiveSourceStream("V4L2 capture pin", source, "Capture", TBCLivePacing::Device),
      source_(source), modes_(std::move(modes)) {
    SetPinCategory(PIN_CATEGORY_CAPTURE);
    SetTimeBase(10'000'000);
}

HRESULT TV4l2CaptureStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMStreamConfig::iid) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    if (riid == ISpecifyPropertyPages::iid)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return TBCLiveSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TV4l2CaptureStream::GetPages(TPageList* pages) {
    if (!pages) return E_POINTER;
    pages->clear();
    if (modes_.empty()) return S_FALSE;
    pages->push_back(std::make_shared<TV4l2FormatPage>(ComPtr<TV4l2CaptureSource>(source_)));
    return S_OK;
}

std::optional<TV4l2Mode> TV4l2CaptureStream::Match(const AM_MEDIA_TYPE& mt,
                                                   bool ignoreFixed) const {
    auto wanted = V4l2ModeOf(mt);
    if (!wanted) return std::nullopt;
    const TV4l2Mode* best = nullptr;
    for (const TV4l2Mode& m : modes_) {
        const GUID* sub = V4l2Subtype(m.pixelFormat);
        if (!sub || !(*sub == mt.subtype) || m.width != wanted->width || m.height != wanted->height)
            continue;
        if (!best ||
            std::abs(Seconds(m) - Seconds(*wanted)) < std::abs(Seconds(*best) - Seconds(*wanted)))
            best = &m;
    }
    if (!best) return std::nullopt;
    if (!ignoreFixed && fixed_ &&
        !(fixed_->SameLayout(*best) && fixed_->intervalNum == best->intervalNum &&
          fixed_->intervalDen == best->intervalDen))
        return std::nullopt;
    return *best;
}

HRESULT TV4l2CaptureStream::CheckMediaType(const CMediaType* mt) {
    return mt && Match(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TV4l2CaptureStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (fixed_) {
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = V4l2ModeType(*fixed_);
        return S_OK;
    }
    if (position >= static_cast<int>(modes_.size())) return VFW_S_NO_MORE_ITEMS;
    *mt = V4l2ModeType(modes_[std::size_t(position)]);
    return S_OK;
}

HRESULT TV4l2CaptureStream::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    auto mode = Match(CurrentMediaType());
    if (!mode) return VFW_E_TYPE_NOT_ACCEPTED;
    return RequestBuffers(allocator, request, kSampleBuffers,
                          static_cast<LONG>(mode->BufferBytes()));
}

HRESULT TV4l2CaptureStream::OpenDevice() {
    auto mode = Match(CurrentMediaType());
    if (!mode) return VFW_E_TYPE_NOT_ACCEPTED;
    mode_ = *mode;
    device_ = std::make_unique<TV4l2Handle>(*source_->system_, source_->path_);
    if (!device_->Valid()) {
        TLOG(Device) << "V4L2: " << source_->path_
                     << " cannot be opened: " << std::strerror(-device_->Error());
        return E_FAIL;
    }
    source_->ApplyRouting(*device_);
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = mode_.width;
    fmt.fmt.pix.height = mode_.height;
    fmt.fmt.pix.pixelformat = mode_.pixelFormat;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (device_->Ioctl(VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != mode_.pixelFormat ||
        fmt.fmt.pix.width != mode_.width || fmt.fmt.pix.height != mode_.height) {
        TLOG(Device) << "V4L2: " << source_->path_ << " refused the format";
        return E_FAIL;
    }
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = mode_.intervalNum;
    parm.parm.capture.timeperframe.denominator = mode_.intervalDen;
    device_->Ioctl(VIDIOC_S_PARM, &parm); // a driver without intervals runs at its own rate
    SetFramePeriod(mode_.FrameTime());
    if (source_->readIo_) {
        // The driver starts encoding at the first read and stops when the node is closed.
        readBuffer_.assign(mode_.BufferBytes(), 0);
        return S_OK;
    }

    v4l2_requestbuffers req{};
    req.count = kDeviceBuffers;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (device_->Ioctl(VIDIOC_REQBUFS, &req) != 0 || req.count == 0) return E_FAIL;
    for (std::uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.index = i;
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (device_->Ioctl(VIDIOC_QUERYBUF, &b) != 0) return E_FAIL;
        void* p = source_->system_->Map(device_->Fd(), b.length, b.m.offset);
        if (!p) return E_FAIL;
        buffers_.push_back({p, b.length});
    }
    return S_OK;
}

void TV4l2CaptureStream::CloseDevice() {
    if (!device_) return;
    if (source_->readIo_) {
        readBuffer_.clear();
        readBuffer_.shrink_to_fit();
        device_.reset();
        return;
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device_->Ioctl(VIDIOC_STREAMOFF, &type);
    for (const Mapped& m : buffers_)
        source_->system_->Unmap(m.data, m.length);
    buffers_.clear();
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    device_->Ioctl(VIDIOC_REQBUFS, &req);
    device_.reset();
}

HRESULT TV4l2CaptureStream::Active() {
    HRESULT hr = OpenDevice();
    if (SUCCEEDED(hr)) hr = TBCLiveSourceStream::Active();
    if (FAILED(hr)) CloseDevice();
    return hr;
}

HRESULT TV4l2CaptureStream::Inactive() {
    HRESULT hr = TBCLiveSourceStream::Inactive(); // joins the thread
    CloseDevice();
    return hr;
}

void TV4l2CaptureStream::OnRunStart() {
    // A fresh stream each run: what the driver captured while paused is not this run's.
    pending_ = -1;
    haveSequence_ = false;
    firstOfRun_ = true;
    if (source_->readIo_) return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    device_->Ioctl(VIDIOC_STREAMOFF, &type);
    for (std::uint32_t i = 0; i < buffers_.size(); ++i) {
        v4l2_buffer b{};
        b.index = i;
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        device_->Ioctl(VIDIOC_QBUF, &b);
    }
    device_->Ioctl(VIDIOC_STREAMON, &type);
}

void TV4l2CaptureStream::Requeue() {
    if (pending_ < 0) return;
    if (source_->readIo_) {
        pending_ = -1;
        return;
    }
    v4l2_buffer b{};
    b.index = static_cast<std::uint32_t>(pending_);
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    device_->Ioctl(VIDIOC_QBUF, &b);
    pending_ = -1;
}

TBCFrameDue TV4l2CaptureStream::OnFrameDue() {
    Requeue(); // a frame dequeued in a run that ended before it was filled
    const int ready = source_->system_->Poll(device_->Fd(), kPollMs);
    if (ready == -ENODEV) return TBCFrameDue::DeviceLost;
    if (ready <= 0) return TBCFrameDue::Nothing;
    if (source_->readIo_) return ReadDue();
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    const int r = device_->Ioctl(VIDIOC_DQBUF, &b);
    if (r == -ENODEV) return TBCFrameDue::DeviceLost;
    if (r != 0 || b.index >= buffers_.size()) return TBCFrameDue::Nothing;
    pending_ = static_cast<int>(b.index);
    pendingBytes_ = std::min<std::uint32_t>(b.bytesused, std::uint32_t(buffers_[b.index].length));
    pendingSequence_ = b.sequence;
    if (pendingBytes_ == 0 && IsV4l2StreamFormat(mode_.pixelFormat)) {
        // An encoder with nothing to hand over yet: no sample, and no frame lost.
        haveSequence_ = true;
        lastSequence_ = pendingSequence_;
        Requeue();
        return TBCFrameDue::Nothing;
    }
    return TBCFrameDue::Frame;
}

TBCFrameDue TV4l2CaptureStream::ReadDue() {
    const long n = source_->system_->Read(device_->Fd(), readBuffer_.data(), readBuffer_.size());
    if (n == -ENODEV) return TBCFrameDue::DeviceLost;
    if (n <= 0) {
        if (n != -EAGAIN && n != 0)
            TLOG(Device) << "V4L2: reading " << source_->path_
                         << " failed: " << std::strerror(static_cast<int>(-n));
        return TBCFrameDue::Nothing;
    }
    // What a read gives is a piece of the stream, sent as it came: there is no sequence to lose.
    pending_ = 0;
    pendingBytes_ = static_cast<std::uint32_t>(n);
    return TBCFrameDue::Frame;
}

HRESULT TV4l2CaptureStream::FillFrame(IMediaSample* sample) {
    if (pending_ < 0) return E_UNEXPECTED;
    if (!source_->readIo_) {
        if (haveSequence_ && pendingSequence_ > lastSequence_ + 1)
            ReportLost(static_cast<long>(pendingSequence_ - lastSequence_ - 1));
        haveSequence_ = true;
        lastSequence_ = pendingSequence_;
    }

    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const auto* in = source_->readIo_
                         ? readBuffer_.data()
                         : static_cast<const std::uint8_t*>(buffers_[std::size_t(pending_)].data);
    const long n = std::min<long>(static_cast<long>(pendingBytes_), sample->GetSize());
    if (mode_.pixelFormat == V4L2_PIX_FMT_RGB24) {
        for (long i = 0; i + 2 < n; i += 3) { // to the engine's blue-first order
            out[i] = in[i + 2];
            out[i + 1] = in[i + 1];
            out[i + 2] = in[i];
        }
    } else {
        std::memcpy(out, in, std::size_t(n));
    }
    Requeue();
    sample->SetActualDataLength(n);

    REFERENCE_TIME now = 0;
    if (ClockStreamTime(&now) == S_OK) {
        REFERENCE_TIME stop = now + mode_.FrameTime();
        sample->SetTime(&now, &stop);
    } else {
        StampFromCount(sample, mode_.FrameTime());
    }
    sample->SetSyncPoint(1);
    sample->SetDiscontinuity(firstOfRun_ ? 1 : 0);
    firstOfRun_ = false;
    return S_OK;
}

// IAMStreamConfig

HRESULT TV4l2CaptureStream::SetFormat(AM_MEDIA_TYPE* pmt) {
    TBCAutoLock lock(*lock_);
    if (!source_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (!pmt) {
        fixed_.reset();
        return S_OK;
    }
    auto mode = Match(*pmt, true);
    if (!mode) return VFW_E_INVALIDMEDIATYPE;
    // A connection in another format keeps it until the graph reconnects the pin.
    if (IsConnected()) {
        auto current = Match(CurrentMediaType(), true);
        if (!current || !current->SameLayout(*mode)) return VFW_E_ALREADY_CONNECTED;
    }
    fixed_ = mode;
    return S_OK;
}

HRESULT TV4l2CaptureStream::GetFormat(AM_MEDIA_TYPE** pmt) {
    if (!pmt) return E_POINTER;
    TBCAutoLock lock(*lock_);
    CMediaType type;
    if (IsConnected())
        type = CurrentMediaType();
    else if (fixed_)
        type = V4l2ModeType(*fixed_);
    else if (!modes_.empty())
        type = V4l2ModeType(modes_.front());
    else
        return VFW_E_NOT_CONNECTED;
    *pmt = CreateMediaType(&type);
    return *pmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT TV4l2CaptureStream::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = static_cast<int>(modes_.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT TV4l2CaptureStream::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) {
    if (!pmt || !caps) return E_POINTER;
    *pmt = nullptr;
    if (index < 0) return E_INVALIDARG;
    if (index >= static_cast<int>(modes_.size())) return S_FALSE;
    const TV4l2Mode& m = modes_[std::size_t(index)];
    CMediaType type = V4l2ModeType(m);
    *pmt = CreateMediaType(&type);
    if (!*pmt) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS c;
    c.guid = FORMAT_VideoInfo;
    const SIZE size{static_cast<LONG>(m.width), static_cast<LONG>(m.height)};
    c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = size;
    c.MinFrameInterval = c.MaxFrameInterval = m.FrameTime();
    const LONG bits =
        static_cast<LONG>(std::min<double>(double(m.BufferBytes()) * 8 * 10'000'000 /
                                               double(std::max<REFERENCE_TIME>(m.FrameTime(), 1)),
                                           2147483647.0));
    c.MinBitsPerSecond = c.MaxBitsPerSecond = bits;
    std::memcpy(caps, &c, sizeof c);
    return S_OK;
}

// The filter

TV4l2CaptureSource::TV4l2CaptureSource(std::shared_ptr<IV4l2System> system, std::string path,
                                       std::string name, const CLSID& filterClass)
    : TBCLiveSource(std::move(name), nullptr, filterClass), system_(std::move(system)),
      path_(std::move(path)) {}

ComPtr<TV4l2CaptureSource> TV4l2CaptureSource::Create(std::shared_ptr<IV4l2System> system,
                                                      std::string path, std::string name,
                                                      std::string settingsKey,
                                                      const CLSID& filterClass) {
    TV4l2Handle handle(*system, path);
    if (!handle.Valid()) return nullptr;
    auto info = QueryV4l2Node(handle);
    if (!info || !info->capture) return nullptr;
    std::vector<TV4l2Mode> modes = CapturableV4l2Modes(handle, *info);
    if (info->readOnly && modes.empty()) return nullptr;
    ComPtr<TV4l2CaptureSource> source(
        new TV4l2CaptureSource(std::move(system), std::move(path), std::move(name), filterClass));
    source->inputs_ = QueryV4l2Inputs(handle);
    source->controls_ = QueryV4l2Controls(handle);
    source->settingsKey_ = std::move(settingsKey);
    source->kept_ = LoadDeviceControls(source->settingsKey_);
    for (const auto& [id, value] : source->kept_) {
        v4l2_control c{id, value};
        handle.Ioctl(VIDIOC_S_CTRL, &c);
    }
    int input = 0;
    if (handle.Ioctl(VIDIOC_G_INPUT, &input) == 0) source->input_ = input;
    source->readIo_ = info->readOnly;
    source->AddPin(std::make_unique<TV4l2CaptureStream>(source.get(), std::move(modes)));
    // A webcam's own microphone is its audio pin.
    if (const std::string mic = source->system_->SoundDevice(source->path_); !mic.empty())
        source->AddPin(std::make_unique<TAlsaCaptureStream>(
            source.get(), source->system_->SoundCapture(), mic, "Audio"));
    const auto& in = source->inputs_;
    if (in.size() > 1 || std::any_of(in.begin(), in.end(), [](const TV4l2Input& i) {
            return i.type == V4L2_INPUT_TYPE_TUNER;
        }))
        source->analogIn_ =
            std::make_unique<TAnalogVideoInputPin>(source.get(), &source->stateLock_);
    return source;
}

HRESULT TV4l2CaptureSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMUpstreamCrossbars::iid && analogIn_)
        return GetInterface(static_cast<IAMUpstreamCrossbars*>(this), ppv);
    if (riid == IAMAnalogVideoDecoder::iid && analogIn_)
        return GetInterface(static_cast<IAMAnalogVideoDecoder*>(this), ppv);
    if (riid == ISpecifyPropertyPages::iid)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return TBCLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TV4l2CaptureSource::GetPages(TPageList* pages) {
    if (!pages) return E_POINTER;
    pages->clear();
    if (controls_.empty()) return S_FALSE;
    pages->push_back(std::make_shared<TV4l2ControlsPage>(ComPtr<TV4l2CaptureSource>(this)));
    return S_OK;
}

void TV4l2CaptureSource::KeepControls(std::map<std::uint32_t, std::int32_t> values) {
    kept_ = std::move(values);
    if (!settingsKey_.empty() && !SaveDeviceControls(settingsKey_, kept_))
        TLOG(Device) << "V4L2: the control values of " << settingsKey_ << " cannot be stored";
}

int TV4l2CaptureSource::GetPinCount() {
    return TBCLiveSource::GetPinCount() + (analogIn_ ? 1 : 0);
}

TBCBasePin* TV4l2CaptureSource::GetPin(int index) {
    if (analogIn_ && index == TBCLiveSource::GetPinCount()) return analogIn_.get();
    return TBCLiveSource::GetPin(index);
}

HRESULT TV4l2CaptureSource::AddUpstreamCrossbars() {
    IFilterGraph* graph = Graph();
    if (!analogIn_) return S_FALSE;
    if (!graph) return VFW_E_NOT_IN_GRAPH;
    if (analogIn_->IsConnected()) return S_OK;
    TCrossbarConfig config;
    for (const TV4l2Input& input : inputs_) {
        std::string lower = input.name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        long type = PhysConn_Video_Composite;
        if (input.type == V4L2_INPUT_TYPE_TUNER)
            type = PhysConn_Video_Tuner;
        else if (lower.find("s-video") != std::string::npos ||
                 lower.find("svideo") != std::string::npos)
            type = PhysConn_Video_SVideo;
        config.inputs.push_back({type, -1, input.name});
    }
    config.outputs.push_back({PhysConn_Video_VideoDecoder, -1, "Video Decoder Out"});
    // The crossbar keeps the source alive: routing switches its device's input.
    config.route = [self = ComPtr<TV4l2CaptureSource>(this)](long, long input) {
        return self->SelectInput(static_cast<int>(input));
    };
    ComPtr<TCrossbarFilter> crossbar(new TCrossbarFilter("Crossbar", std::move(config)));
    HRESULT hr = graph->AddFilter(crossbar.get(), "Crossbar");
    if (FAILED(hr)) return hr;
    return graph->ConnectDirect(crossbar->OutputPin(0), analogIn_.get(), nullptr);
}

void TV4l2CaptureSource::ApplyRouting(TV4l2Handle& handle) {
    int input = input_;
    if (!inputs_.empty()) handle.Ioctl(VIDIOC_S_INPUT, &input);
    v4l2_std_id id = standard_;
    if (id) handle.Ioctl(VIDIOC_S_STD, &id);
    // A device re-plugged or reset by another program forgot them.
    for (const auto& [control, value] : kept_) {
        v4l2_control c{control, value};
        handle.Ioctl(VIDIOC_S_CTRL, &c);
    }
}

HRESULT TV4l2CaptureSource::get_AvailableTVFormats(long* formats) {
    if (!formats) return E_POINTER;
    *formats = 0;
    for (const TV4l2Input& input : inputs_) {
        if (input.standards & V4L2_STD_PAL) *formats |= AnalogVideo_PAL_B;
        if (input.standards & V4L2_STD_NTSC) *formats |= AnalogVideo_NTSC_M;
    }
    return S_OK;
}

HRESULT TV4l2CaptureSource::put_TVFormat(long format) {
    if (format & AnalogVideo_PAL_Mask) return SetStandard(V4L2_STD_PAL);
    if (format & AnalogVideo_NTSC_Mask) return SetStandard(V4L2_STD_NTSC);
    return E_INVALIDARG;
}

HRESULT TV4l2CaptureSource::get_TVFormat(long* format) {
    if (!format) return E_POINTER;
    *format = (standard_ & V4L2_STD_PAL)    ? AnalogVideo_PAL_B
              : (standard_ & V4L2_STD_NTSC) ? AnalogVideo_NTSC_M
                                            : 0;
    return S_OK;
}

HRESULT TV4l2CaptureSource::SelectInput(int index) {
    if (index < 0 || index >= static_cast<int>(inputs_.size())) return E_INVALIDARG;
    TV4l2Handle handle(*system_, path_);
    if (!handle.Valid()) return E_FAIL;
    int i = index;
    // Drivers refuse to switch while streaming; the run restart applies it then.
    if (handle.Ioctl(VIDIOC_S_INPUT, &i) != 0 && IsStopped()) return E_FAIL;
    input_ = index;
    return S_OK;
}

HRESULT TV4l2CaptureSource::SetStandard(std::uint64_t standard) {
    if (inputs_.empty() || !(inputs_[std::size_t(input_)].standards & standard)) return E_NOTIMPL;
    TV4l2Handle handle(*system_, path_);
    if (!handle.Valid()) return E_FAIL;
    v4l2_std_id id = standard;
    if (handle.Ioctl(VIDIOC_S_STD, &id) != 0 && IsStopped()) return E_FAIL;
    standard_ = standard;
    return S_OK;
}

HRESULT TV4l2CaptureSource::GetControl(std::uint32_t id, std::int32_t* value) {
    if (!value) return E_POINTER;
    TV4l2Handle handle(*system_, path_);
    v4l2_control c{id, 0};
    if (!handle.Valid() || handle.Ioctl(VIDIOC_G_CTRL, &c) != 0) return E_FAIL;
    *value = c.value;
    return S_OK;
}

HRESULT TV4l2CaptureSource::SetControl(std::uint32_t id, std::int32_t value) {
    TV4l2Handle handle(*system_, path_);
    v4l2_control c{id, value};
    if (!handle.Valid()) return E_FAIL;
    const int r = handle.Ioctl(VIDIOC_S_CTRL, &c);
    return r == 0 ? S_OK : r == -ERANGE ? E_INVALIDARG : E_FAIL;
}

} // namespace talvence
