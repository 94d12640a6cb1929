#include "filters/BaseClass/CountingFilters.h"

#include "platform/media/EventCodes.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <cstring>

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

// ---------------------------------------------------------------------------------------------
// Source

TCountingSourceStream::TCountingSourceStream(TCountingSource* filter)
    : TBCSourceStream("Counting source pin", filter, "Out"), source_(filter) {}

HRESULT TCountingSourceStream::CheckMediaType(const CMediaType* mt) {
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
    return RequestBuffers(allocator, request, source_->bufferCount, source_->sampleSize);
}

HRESULT TCountingSourceStream::FillBuffer(IMediaSample* sample) {
    const long index = source_->filled;
    if (source_->sampleLimit >= 0 && index >= source_->sampleLimit) return S_FALSE;
    if (source_->failAt >= 0 && index >= source_->failAt) return source_->failWith;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = std::min<long>(source_->sampleSize, sample->GetSize());
    std::memset(data, static_cast<int>(index & 0xFF), static_cast<std::size_t>(length));
    sample->SetActualDataLength(length);
    REFERENCE_TIME start = index * source_->frameTime;
    REFERENCE_TIME stop = start + source_->frameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(1);
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

TCountingSource::TCountingSource() : TBCSource("Counting source", nullptr, CLSID_TCountingSource) {
    AddPin(std::make_unique<TCountingSourceStream>(this));
}

HRESULT TCountingSourceStream::OnThreadCreate() {
    // Counting restarts with every run, like the stream times.
    source_->filled = 0;
    source_->delivered = 0;
    return S_OK;
}

HRESULT TCountingSourceStream::Deliver(IMediaSample* sample) {
    HRESULT hr = TBCSourceStream::Deliver(sample);
    source_->lastDeliverResult = hr;
    if (hr == S_OK) ++source_->delivered;
    return hr;
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

HRESULT TCountingSink::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (audio && riid == IBasicAudio::iid)
        return GetInterface(static_cast<IBasicAudio*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

TBCBasePin* TCountingSink::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
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

void TCountingSink::Record(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props) {
    TReceivedSample r;
    r.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (data && r.length > 0) r.firstByte = data[0];
    r.hasTime = (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
    r.start = props.tStart;
    r.stop = props.tStop;
    r.syncPoint = (props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0;
    r.discontinuity = (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0;
    r.typeChanged = (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
    r.streamId = props.dwStreamId;
    r.identity = sample;
    {
        std::lock_guard lock(recordMutex_);
        samples_.push_back(r);
        if (holdSamples) held_.emplace_back(sample);
    }
    ++received;
    Signal();
}

void TCountingSink::Signal() {
    std::lock_guard lock(recordMutex_);
    recorded_.notify_all();
}

std::vector<TReceivedSample> TCountingSink::Samples() const {
    std::lock_guard lock(recordMutex_);
    return samples_;
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
