#include "tests/platform/dvfilters/FilterTestSupport.h"

#include <cstring>

namespace talvence::dvtest {

TBufferSourceStream::TBufferSourceStream(TBufferSource* filter)
    : TBCSourceStream("Buffer source pin", filter, "Out"), source_(filter) {}

HRESULT TBufferSourceStream::CheckMediaType(const CMediaType* mt) {
    return *mt == source_->type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TBufferSourceStream::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->type;
    return S_OK;
}

HRESULT TBufferSourceStream::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    LONG largest = 1;
    for (const Bytes& b : source_->buffers)
        largest = std::max<LONG>(largest, static_cast<LONG>(b.size()));
    request->cBuffers = std::max<LONG>(request->cBuffers, 3);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, largest);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= largest ? S_OK : E_FAIL;
}

HRESULT TBufferSourceStream::OnThreadCreate() {
    next_ = 0;
    return S_OK;
}

HRESULT TBufferSourceStream::FillBuffer(IMediaSample* sample) {
    if (next_ >= source_->buffers.size()) return S_FALSE;
    const Bytes& b = source_->buffers[next_];
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!b.empty()) std::memcpy(data, b.data(), b.size());
    sample->SetActualDataLength(static_cast<long>(b.size()));
    REFERENCE_TIME start = REFERENCE_TIME(next_) * source_->frameTime;
    REFERENCE_TIME stop = start + source_->frameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(1);
    ++next_;
    return S_OK;
}

TBufferSource::TBufferSource(CMediaType t, std::vector<Bytes> b, REFERENCE_TIME ft)
    : TBCSource("Buffer source", nullptr, CLSID_TBufferSource), type(std::move(t)),
      buffers(std::move(b)), frameTime(ft) {
    AddPin(std::make_unique<TBufferSourceStream>(this));
}

TRecordingPin::TRecordingPin(TRecordingSink* filter)
    : TBCBaseInputPin("Recording pin", filter, &filter->filterLock_, "In"), sink_(filter) {}

HRESULT TRecordingPin::CheckMediaType(const CMediaType* mt) {
    return sink_->accept && sink_->accept(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TRecordingPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    TRecord r;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = sample->GetActualDataLength();
    if (data && length > 0) r.bytes.assign(data, data + length);
    r.hasTime = (sampleProps_.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
    r.start = sampleProps_.tStart;
    r.stop = sampleProps_.tStop;
    r.discontinuity = (sampleProps_.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0;
    std::size_t count = 0;
    {
        std::lock_guard g(sink_->mutex_);
        sink_->records_.push_back(std::move(r));
        count = sink_->records_.size();
    }
    sink_->changed_.notify_all();
    if (sink_->afterSample) sink_->afterSample(count);
    return S_OK;
}

HRESULT TRecordingPin::EndOfStream() {
    TBCAutoLock lock(sink_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    {
        std::lock_guard g(sink_->mutex_);
        ++sink_->endOfStreams_;
    }
    sink_->changed_.notify_all();
    return S_OK;
}

HRESULT TRecordingPin::BeginFlush() {
    return TBCBaseInputPin::BeginFlush();
}
HRESULT TRecordingPin::EndFlush() {
    return TBCBaseInputPin::EndFlush();
}

TRecordingSink::TRecordingSink(std::function<bool(const CMediaType&)> a)
    : TBCBaseFilter("Recording sink", nullptr, &filterLock_, CLSID_TRecordingSink),
      accept(std::move(a)), input_(this) {}

std::vector<TRecord> TRecordingSink::Records() const {
    std::lock_guard g(mutex_);
    return records_;
}

Bytes TRecordingSink::AllBytes() const {
    std::lock_guard g(mutex_);
    Bytes all;
    for (const TRecord& r : records_)
        all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    return all;
}

long TRecordingSink::EndOfStreams() const {
    std::lock_guard g(mutex_);
    return endOfStreams_;
}

bool TRecordingSink::WaitForEndOfStream(std::chrono::milliseconds timeout) {
    std::unique_lock g(mutex_);
    return changed_.wait_for(g, timeout, [&] { return endOfStreams_ > 0; });
}

std::function<bool(const CMediaType&)> Accepting(const GUID& major, const GUID& sub) {
    return
        [major, sub](const CMediaType& mt) { return mt.majortype == major && mt.subtype == sub; };
}

std::vector<std::pair<long, LONG_PTR>> DrainEvents(CFilterGraph* graph) {
    std::vector<std::pair<long, LONG_PTR>> out;
    long code;
    LONG_PTR p1, p2;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.emplace_back(code, p1);
        graph->FreeEventParams(code, p1, p2);
    }
    return out;
}

long CountEvents(const std::vector<std::pair<long, LONG_PTR>>& events, long code) {
    long n = 0;
    for (const auto& e : events)
        if (e.first == code) ++n;
    return n;
}

std::string FilterNameOf(IPin* pin) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info)) || !info.pFilter) return {};
    ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Attach(info.pFilter);
    FILTER_INFO fi;
    if (FAILED(filter->QueryFilterInfo(&fi))) return {};
    if (fi.pGraph) fi.pGraph->Release();
    return fi.achName;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, const std::string& id) {
    ComPtr<IPin> pin;
    filter->FindPin(id, pin.put());
    return pin;
}

bool RunToEnd(CFilterGraph* graph, std::vector<TRecordingSink*> sinks) {
    if (FAILED(graph->Run())) return false;
    bool ok = true;
    for (TRecordingSink* s : sinks)
        ok = s->WaitForEndOfStream() && ok;
    graph->Stop();
    return ok;
}

bool InAudioBlock(std::size_t offset) {
    const std::size_t block = (offset % 12000) / 80;
    return block >= 6 && (block - 6) % 16 == 0;
}

} // namespace talvence::dvtest
