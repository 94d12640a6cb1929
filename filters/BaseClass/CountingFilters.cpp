#include "filters/BaseClass/CountingFilters.h"

#include "filters/BaseClass/SampleCopy.h"

#include "platform/media/EventCodes.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace talvence {

CMediaType MakeTestVideoType(LONG width, LONG height, REFERENCE_TIME frameTime) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = frameTime;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = BI_RGB;
    vih.bmiHeader.biSizeImage = DibImageSize(vih.bmiHeader);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

TypeTest Accepting(const GUID& major, const GUID& subtype) {
    return [major, subtype](const CMediaType& mt) {
        return mt.majortype == major && mt.subtype == subtype;
    };
}

TypeTest AcceptingAny() {
    return [](const CMediaType&) { return true; };
}

std::vector<TTestFrame> TimedFrames(std::vector<std::vector<BYTE>> buffers,
                                    REFERENCE_TIME frameTime) {
    std::vector<TTestFrame> frames(buffers.size());
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        frames[i].bytes = std::move(buffers[i]);
        frames[i].start = REFERENCE_TIME(i) * frameTime;
        frames[i].stop = *frames[i].start + frameTime;
        frames[i].syncPoint = true;
    }
    return frames;
}

// ---------------------------------------------------------------------------------------------
// Source

TCountingSourceStream::TCountingSourceStream(TCountingSource* filter)
    : TBCSourceStream("Counting source pin", filter, "Out"), source_(filter) {}

HRESULT TCountingSourceStream::CheckMediaType(const CMediaType* mt) {
    if (source_->accept) return source_->accept(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    if (*mt == source_->mediaType) return S_OK;
    if (source_->changedType.IsValid() && *mt == source_->changedType) return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TCountingSourceStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->mediaType;
    return S_OK;
}

HRESULT TCountingSourceStream::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
    long size = source_->bufferSize;
    if (size <= 0 && source_->feed == TCountingSource::Feed::Counting) size = source_->sampleSize;
    if (size <= 0) {
        size = 1;
        for (const TTestFrame& f : source_->frames)
            size = std::max(size, static_cast<long>(f.bytes.size()));
    }
    return RequestBuffers(allocator, request, source_->bufferCount, size);
}

bool TCountingSourceStream::WaitForStop() {
    // The stop joins this thread, so it is polled rather than waited for.
    while (!StopRequested())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

std::optional<TTestFrame> TCountingSourceStream::NextListed(long index) {
    const std::vector<TTestFrame>& list = source_->frames;
    const auto count = static_cast<long>(list.size());
    if (count == 0 || (!source_->repeat && index >= count)) return std::nullopt;
    TTestFrame frame = list[static_cast<std::size_t>(index % count)];
    // A repeated list follows on in time: each pass is shifted by the list's span.
    if (index >= count && frame.start && list.front().start) {
        const REFERENCE_TIME end = list.back().stop.value_or(list.back().start.value_or(0));
        const REFERENCE_TIME shift = (index / count) * (end - *list.front().start);
        *frame.start += shift;
        if (frame.stop) *frame.stop += shift;
    }
    return frame;
}

std::optional<TTestFrame> TCountingSourceStream::NextQueued() {
    std::unique_lock lock(source_->queueMutex_);
    while (source_->queue_.empty()) {
        if (StopRequested()) return std::nullopt;
        source_->queued_.wait_for(lock, std::chrono::milliseconds(5));
    }
    std::optional<TTestFrame> frame = std::move(source_->queue_.front());
    source_->queue_.pop_front();
    return frame;
}

HRESULT TCountingSourceStream::FillBuffer(IMediaSample* sample) {
    const long index = source_->filled;
    const bool ended = source_->sampleLimit >= 0 && index >= source_->sampleLimit;
    if (!ended && source_->failAt >= 0 && index >= source_->failAt) return source_->failWith;
    std::optional<TTestFrame> frame;
    if (!ended && source_->feed == TCountingSource::Feed::List) frame = NextListed(index);
    if (!ended && source_->feed == TCountingSource::Feed::Queue) {
        frame = NextQueued();
        if (!frame) return S_FALSE; // the queue's end, or the stop
    }
    if (ended || (source_->feed == TCountingSource::Feed::List && !frame)) {
        if (source_->holdAtEnd) WaitForStop();
        return S_FALSE;
    }

    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!frame) {
        const long length = std::min<long>(source_->sampleSize, sample->GetSize());
        std::memset(data, static_cast<int>(index & 0xFF), static_cast<std::size_t>(length));
        sample->SetActualDataLength(length);
        REFERENCE_TIME start = index * source_->frameTime;
        REFERENCE_TIME stop = start + source_->frameTime;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(1);
    } else {
        const long length =
            std::min<long>(static_cast<long>(frame->bytes.size()), sample->GetSize());
        if (length > 0) std::memcpy(data, frame->bytes.data(), static_cast<std::size_t>(length));
        sample->SetActualDataLength(length);
        if (frame->start) {
            REFERENCE_TIME start = *frame->start;
            REFERENCE_TIME stop = frame->stop.value_or(0);
            sample->SetTime(&start, frame->stop ? &stop : nullptr);
        }
        if (frame->mediaTimes) {
            LONGLONG start = frame->mediaTimes->first, stop = frame->mediaTimes->second;
            sample->SetMediaTime(&start, &stop);
        }
        sample->SetSyncPoint(frame->syncPoint ? 1 : 0);
        sample->SetDiscontinuity(frame->discontinuity ? 1 : 0);
        if (frame->newType) sample->SetMediaType(&*frame->newType);
    }
    if (index == source_->typeChangeAt) sample->SetMediaType(&source_->changedType);
    if (index == source_->controlSampleAt) {
        ComPtr<IMediaSample2> s2;
        sample->QueryInterface(IMediaSample2::iid, s2.putVoid());
        AM_SAMPLE2_PROPERTIES props;
        s2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props));
        props.dwStreamId = AM_STREAM_CONTROL;
        s2->SetProperties(sizeof props, reinterpret_cast<const BYTE*>(&props));
    }
    ++source_->filled;
    return S_OK;
}

HRESULT TCountingSourceStream::Deliver(IMediaSample* sample) {
    if (source_->beforeDeliver) source_->beforeDeliver(source_->filled - 1);
    HRESULT hr = TBCSourceStream::Deliver(sample);
    source_->lastDeliverResult = hr;
    if (hr == S_OK) ++source_->delivered;
    return hr;
}

TCountingSource::TCountingSource() : TBCSource("Counting source", nullptr, CLSID_TCountingSource) {
    AddPin(std::make_unique<TCountingSourceStream>(this));
}

TCountingSource::TCountingSource(CMediaType type, std::vector<std::vector<BYTE>> buffers,
                                 REFERENCE_TIME time)
    : TCountingSource() {
    mediaType = std::move(type);
    frameTime = time;
    SetFrames(TimedFrames(std::move(buffers), time));
}

HRESULT TCountingSource::Pause() {
    if (IsStopped()) {
        filled = 0;
        delivered = 0;
        lastDeliverResult = S_OK;
    }
    return TBCSource::Pause();
}

HRESULT TCountingSource::Stop() {
    const HRESULT hr = TBCSource::Stop();
    if (afterStop) afterStop();
    return hr;
}

void TCountingSource::SetFrames(std::vector<TTestFrame> list) {
    feed = Feed::List;
    frames = std::move(list);
}

void TCountingSource::Push(TTestFrame frame) {
    std::lock_guard lock(queueMutex_);
    queue_.emplace_back(std::move(frame));
    queued_.notify_all();
}

void TCountingSource::End() {
    std::lock_guard lock(queueMutex_);
    queue_.emplace_back(std::nullopt);
    queued_.notify_all();
}

bool TCountingSource::WaitForDelivered(long count, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (delivered < count) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Sink

TCountingInputPin::TCountingInputPin(TCountingSink* filter)
    : TBCBaseInputPin("Counting sink pin", filter, &filter->filterLock_, "In"), sink_(filter) {}

HRESULT TCountingInputPin::CheckMediaType(const CMediaType* mt) {
    if (sink_->accept) return sink_->accept(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    if (mt->majortype == MEDIATYPE_Video &&
        (mt->subtype == MEDIASUBTYPE_RGB24 || mt->subtype == MEDIASUBTYPE_RGB32))
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TCountingInputPin::GetMediaType(int position, CMediaType*) {
    // A sink proposes nothing: the upstream pin's types are tried.
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT TCountingInputPin::GetAllocator(IMemAllocator** allocator) {
    HRESULT hr = TBCBaseInputPin::GetAllocator(allocator);
    if (SUCCEEDED(hr)) sink_->madeAllocator_ = *allocator;
    return hr;
}

HRESULT TCountingInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (sink_->ownAllocatorOnly && allocator != sink_->madeAllocator_) return E_FAIL;
    sink_->lastReadOnly = readOnly != 0;
    return TBCBaseInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT TCountingInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    if (sink_->requirements.cBuffers == 0) return E_NOTIMPL;
    *props = sink_->requirements;
    return S_OK;
}

HRESULT TCountingInputPin::Receive(IMediaSample* sample) {
    // The gate is passed before the receive lock, which a stop or a flush may need meanwhile.
    sink_->WaitAtGate();
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    sink_->Record(sample, sampleProps_);
    return S_OK;
}

HRESULT TCountingInputPin::EndOfStream() {
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    ++sink_->endOfStreams;
    if (sink_->reportComplete) sink_->NotifyEvent(EC_COMPLETE, S_OK, 0);
    sink_->Signal();
    return S_OK;
}

HRESULT TCountingInputPin::BeginFlush() {
    ++sink_->beginFlushes;
    return TBCBaseInputPin::BeginFlush();
}

HRESULT TCountingInputPin::EndFlush() {
    ++sink_->endFlushes;
    return TBCBaseInputPin::EndFlush();
}

TCountingSink::TCountingSink()
    : TBCBaseFilter("Counting sink", nullptr, &filterLock_, CLSID_TCountingSink), input_(this) {}

TCountingSink::~TCountingSink() = default;

ComPtr<TCountingSink> TCountingSink::Recording(TypeTest accept) {
    ComPtr<TCountingSink> sink(new TCountingSink);
    sink->accept = std::move(accept);
    sink->keepBytes = true;
    return sink;
}

HRESULT TCountingSink::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (audio && riid == IBasicAudio::iid)
        return GetInterface(static_cast<IBasicAudio*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

TBCBasePin* TCountingSink::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
}

HRESULT TCountingSink::Stop() {
    Open();
    return TBCBaseFilter::Stop();
}

HRESULT TCountingSink::put_Volume(long v) {
    if (v < -10000 || v > 0) return E_INVALIDARG;
    volume = v;
    return S_OK;
}

HRESULT TCountingSink::get_Volume(long* v) {
    if (!v) return E_POINTER;
    *v = volume;
    return S_OK;
}

HRESULT TCountingSink::put_Balance(long b) {
    if (b < -10000 || b > 10000) return E_INVALIDARG;
    balance_ = b;
    return S_OK;
}

HRESULT TCountingSink::get_Balance(long* b) {
    if (!b) return E_POINTER;
    *b = balance_;
    return S_OK;
}

void TCountingSink::Shut() {
    std::lock_guard lock(recordMutex_);
    shut_ = true;
}

void TCountingSink::Open() {
    {
        std::lock_guard lock(recordMutex_);
        shut_ = false;
    }
    recorded_.notify_all();
}

bool TCountingSink::WaitForWaiter(std::chrono::milliseconds timeout) {
    std::unique_lock lock(recordMutex_);
    return recorded_.wait_for(lock, timeout, [&] { return waiting_ > 0; });
}

void TCountingSink::WaitAtGate() {
    std::unique_lock lock(recordMutex_);
    if (!shut_) return;
    ++waiting_;
    recorded_.notify_all();
    // Bounded: a test that forgets to open the gate fails rather than hangs.
    recorded_.wait_for(lock, std::chrono::seconds(10), [&] { return !shut_; });
    --waiting_;
}

void TCountingSink::Record(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props) {
    TReceivedSample r;
    r.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (data && r.length > 0) {
        r.firstByte = data[0];
        if (keepBytes) r.bytes.assign(data, data + r.length);
    }
    const HRESULT times = sample->GetTime(&r.start, &r.stop);
    r.hasTime = SUCCEEDED(times);
    r.hasStop = times == S_OK;
    r.hasMediaTime = sample->GetMediaTime(&r.mediaStart, &r.mediaStop) == S_OK;
    r.origin = PictureOriginOf(sample);
    r.syncPoint = (props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0;
    r.discontinuity = (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0;
    r.preroll = (props.dwSampleFlags & AM_SAMPLE_PREROLL) != 0;
    r.typeChanged = (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
    AM_MEDIA_TYPE* announced = nullptr;
    if (sample->GetMediaType(&announced) == S_OK && announced) {
        r.newType = CMediaType(*announced);
        DeleteMediaType(announced);
    }
    r.streamId = props.dwStreamId;
    r.identity = sample;
    std::size_t count = 0;
    {
        std::lock_guard lock(recordMutex_);
        samples_.push_back(std::move(r));
        count = samples_.size();
        if (holdSamples) held_.emplace_back(sample);
    }
    ++received;
    Signal();
    if (afterSample) afterSample(count);
}

void TCountingSink::Signal() {
    std::lock_guard lock(recordMutex_);
    recorded_.notify_all();
}

std::vector<TReceivedSample> TCountingSink::Samples() const {
    std::lock_guard lock(recordMutex_);
    return samples_;
}

std::vector<BYTE> TCountingSink::AllBytes() const {
    std::lock_guard lock(recordMutex_);
    std::vector<BYTE> all;
    for (const TReceivedSample& s : samples_)
        all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
}

void TCountingSink::ReleaseHeldSamples() {
    std::vector<ComPtr<IMediaSample>> held;
    {
        std::lock_guard lock(recordMutex_);
        held.swap(held_);
    }
}

bool TCountingSink::WaitForSamples(long count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(recordMutex_);
    return recorded_.wait_for(lock, timeout, [&] { return received >= count; });
}

bool TCountingSink::WaitForEndOfStream(long count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(recordMutex_);
    return recorded_.wait_for(lock, timeout, [&] { return endOfStreams >= count; });
}

} // namespace talvence
