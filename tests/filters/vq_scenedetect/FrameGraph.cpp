#include "tests/filters/vq_scenedetect/FrameGraph.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace talvence::testgraph {

CMediaType MakeDvType(bool interleaved, bool pal) {
    const ULONG frameBytes = pal ? 144000 : 120000;
    if (interleaved) {
        CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
        mt.SetFormatType(FORMAT_DvInfo);
        DVINFO info;
        mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
        mt.SetSampleSize(frameBytes);
        return mt;
    }
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = pal ? 400000 : 333667;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 720;
    vih.bmiHeader.biHeight = pal ? 576 : 480;
    vih.bmiHeader.biCompression = 0x64737664; // 'dvsd'
    vih.bmiHeader.biSizeImage = frameBytes;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(frameBytes);
    return mt;
}

// ---------------------------------------------------------------------------------------------
// Source

TFrameSourceStream::TFrameSourceStream(TFrameSource* filter)
    : TBCSourceStream("Frame source pin", filter, "Out"), source_(filter) {}

HRESULT TFrameSourceStream::CheckMediaType(const CMediaType* mt) {
    return *mt == source_->mediaType ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TFrameSourceStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->mediaType;
    return S_OK;
}

HRESULT TFrameSourceStream::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max<LONG>(request->cBuffers, source_->bufferCount);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, source_->bufferSize);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

HRESULT TFrameSourceStream::FillBuffer(IMediaSample* sample) {
    std::optional<QueuedFrame> frame;
    {
        std::unique_lock lock(source_->mutex_);
        // Polls the stop request: the stop joins this thread.
        while (source_->queue_.empty()) {
            if (StopRequested()) return S_FALSE;
            source_->queued_.wait_for(lock, std::chrono::milliseconds(5));
        }
        frame = std::move(source_->queue_.front());
        source_->queue_.pop_front();
    }
    if (!frame) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = std::min<long>(static_cast<long>(frame->bytes.size()), sample->GetSize());
    std::memcpy(data, frame->bytes.data(), static_cast<std::size_t>(length));
    sample->SetActualDataLength(length);
    if (frame->start) {
        REFERENCE_TIME start = *frame->start;
        REFERENCE_TIME stop = frame->stop.value_or(0);
        sample->SetTime(&start, frame->stop ? &stop : nullptr);
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    sample->SetSyncPoint(frame->syncPoint ? 1 : 0);
    sample->SetDiscontinuity(frame->discontinuity ? 1 : 0);
    sample->SetMediaType(frame->newType ? &*frame->newType : nullptr);
    return S_OK;
}

HRESULT TFrameSourceStream::Deliver(IMediaSample* sample) {
    const HRESULT hr = TBCSourceStream::Deliver(sample);
    ++source_->delivered_;
    return hr;
}

bool TFrameSource::WaitForDelivered(long count, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (delivered_.load() < count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TFrameSource::TFrameSource() : TBCSource("Frame source", nullptr, CLSID_TFrameSource) {
    AddPin(std::make_unique<TFrameSourceStream>(this));
}

void TFrameSource::Push(QueuedFrame frame) {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(frame));
    queued_.notify_all();
}

void TFrameSource::End() {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::nullopt);
    queued_.notify_all();
}

// ---------------------------------------------------------------------------------------------
// Sink

TFrameSinkPin::TFrameSinkPin(TFrameSink* filter)
    : TBCBaseInputPin("Frame sink pin", filter, &filter->filterLock_, "In"), sink_(filter) {}

HRESULT TFrameSinkPin::CheckMediaType(const CMediaType* mt) {
    if (!sink_->accept) return S_OK;
    return sink_->accept(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TFrameSinkPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    SeenSample seen;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = sample->GetActualDataLength();
    if (data && length > 0) seen.bytes.assign(data, data + length);
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT times = sample->GetTime(&start, &stop);
    seen.hasStart = SUCCEEDED(times);
    seen.hasStop = times == S_OK;
    seen.start = start;
    seen.stop = stop;
    LONGLONG mStart = 0, mStop = 0;
    seen.hasMediaTime = sample->GetMediaTime(&mStart, &mStop) == S_OK;
    seen.mediaStart = mStart;
    seen.mediaStop = mStop;
    seen.syncPoint = sample->IsSyncPoint() == S_OK;
    seen.discontinuity = sample->IsDiscontinuity() == S_OK;
    seen.preroll = sample->IsPreroll() == S_OK;
    AM_MEDIA_TYPE* announced = nullptr;
    if (sample->GetMediaType(&announced) == S_OK && announced) {
        seen.newType = CMediaType(*announced);
        DeleteMediaType(announced);
    }
    std::lock_guard record(sink_->recordMutex_);
    sink_->samples_.push_back(std::move(seen));
    sink_->recorded_.notify_all();
    return S_OK;
}

HRESULT TFrameSinkPin::EndOfStream() {
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    std::lock_guard record(sink_->recordMutex_);
    ++sink_->endOfStreams_;
    sink_->recorded_.notify_all();
    return S_OK;
}

TFrameSink::TFrameSink()
    : TBCBaseFilter("Frame sink", nullptr, &filterLock_, CLSID_TFrameSink), input_(this) {}

TFrameSink::~TFrameSink() = default;

TBCBasePin* TFrameSink::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
}

std::vector<SeenSample> TFrameSink::Samples() const {
    std::lock_guard lock(recordMutex_);
    return samples_;
}

long TFrameSink::EndOfStreams() const {
    std::lock_guard lock(recordMutex_);
    return endOfStreams_;
}

bool TFrameSink::WaitForSamples(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(recordMutex_);
    return recorded_.wait_for(lock, timeout, [&] { return samples_.size() >= count; });
}

bool TFrameSink::WaitForEndOfStream(std::chrono::milliseconds timeout) {
    std::unique_lock lock(recordMutex_);
    return recorded_.wait_for(lock, timeout, [&] { return endOfStreams_ > 0; });
}

// ---------------------------------------------------------------------------------------------
// Graph

FrameGraph::FrameGraph() {
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
}

FrameGraph::~FrameGraph() {
    graph->Stop();
}

HRESULT FrameGraph::Build(const std::vector<std::pair<IBaseFilter*, std::string>>& filters) {
    IPin* out = source->OutputPin();
    for (const auto& [filter, name] : filters) {
        HRESULT hr = graph->AddFilter(filter, name);
        if (FAILED(hr)) return hr;
        hr = graph->ConnectDirect(out, InPin(filter), nullptr);
        if (FAILED(hr)) return hr;
        out = OutPin(filter);
    }
    return graph->ConnectDirect(out, sink->InputPin(), nullptr);
}

std::vector<std::pair<long, LONG_PTR>> FrameGraph::Events() {
    std::vector<std::pair<long, LONG_PTR>> out;
    long code;
    LONG_PTR p1, p2;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.emplace_back(code, p1);
        graph->FreeEventParams(code, p1, p2);
    }
    return out;
}

namespace {

IPin* PinOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put()))) return nullptr;
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        ComPtr<IPin> held = ComPtr<IPin>::Attach(pin);
        PIN_DIRECTION dir;
        // The pin lives as long as its filter, which the caller holds.
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted) return pin;
    }
    return nullptr;
}

} // namespace

IPin* InPin(IBaseFilter* filter) {
    return PinOf(filter, PINDIR_INPUT);
}
IPin* OutPin(IBaseFilter* filter) {
    return PinOf(filter, PINDIR_OUTPUT);
}

} // namespace talvence::testgraph
