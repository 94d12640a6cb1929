#include "platform/media/MemAllocator.h"

#include <cstring>

namespace talvence {

// ---------------------------------------------------------------------------------------------
// CMediaSample

CMediaSample::CMediaSample(CMemAllocator* allocator, std::vector<BYTE> buffer, LONG prefix)
    : allocator_(allocator), storage_(std::move(buffer)), prefix_(prefix) {
    actual_ = GetSize();
}

CMediaSample::~CMediaSample() {
    DeleteMediaType(mediaType_);
}

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IMediaSample::iid || riid == IMediaSample2::iid) {
        *ppv = static_cast<IMediaSample2*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == ISampleSideData::iid) {
        *ppv = static_cast<ISampleSideData*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() {
    return ++refs_;
}

ULONG CMediaSample::Release() {
    const ULONG n = --refs_;
    // The pool owns the sample: the last reference hands it back instead of deleting it.
    if (n == 0) allocator_->ReleaseBuffer(this);
    return n;
}

void CMediaSample::ResetForReuse() {
    flags_ = 0;
    typeSpecificFlags_ = 0;
    streamId_ = AM_STREAM_MEDIA;
    actual_ = GetSize();
    start_ = stop_ = 0;
    mediaTimeValid_ = false;
    DeleteMediaType(mediaType_);
    mediaType_ = nullptr;
    origin_.reset();
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = storage_.data() + prefix_;
    return S_OK;
}

long CMediaSample::GetSize() {
    return static_cast<long>(storage_.size()) - prefix_;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start || !stop) return E_POINTER;
    if (!(flags_ & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    if (!(flags_ & AM_SAMPLE_STOPVALID)) {
        *stop = start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *stop = stop_;
    return S_OK;
}

HRESULT CMediaSample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) {
    flags_ &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
    if (!start) return S_OK;
    start_ = *start;
    flags_ |= AM_SAMPLE_TIMEVALID;
    if (stop) {
        stop_ = *stop;
        flags_ |= AM_SAMPLE_STOPVALID;
    }
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() {
    return (flags_ & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetSyncPoint(BOOL sync) {
    flags_ = sync ? (flags_ | AM_SAMPLE_SPLICEPOINT) : (flags_ & ~AM_SAMPLE_SPLICEPOINT);
    return S_OK;
}

HRESULT CMediaSample::IsPreroll() {
    return (flags_ & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetPreroll(BOOL preroll) {
    flags_ = preroll ? (flags_ | AM_SAMPLE_PREROLL) : (flags_ & ~AM_SAMPLE_PREROLL);
    return S_OK;
}

long CMediaSample::GetActualDataLength() {
    return actual_;
}

HRESULT CMediaSample::SetActualDataLength(long length) {
    if (length < 0 || length > GetSize()) return VFW_E_BUFFER_OVERFLOW;
    actual_ = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** pmt) {
    if (!pmt) return E_POINTER;
    *pmt = nullptr;
    if (!(flags_ & AM_SAMPLE_TYPECHANGED) || !mediaType_) return S_FALSE;
    *pmt = CreateMediaType(mediaType_);
    return *pmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(const AM_MEDIA_TYPE* pmt) {
    // Copy before freeing: pmt may be our own type (a GetProperties /
    // SetProperties round trip hands it straight back).
    AM_MEDIA_TYPE* copy = nullptr;
    if (pmt) {
        copy = CreateMediaType(pmt);
        if (!copy) return E_OUTOFMEMORY;
    }
    DeleteMediaType(mediaType_);
    mediaType_ = copy;
    if (copy) flags_ |= AM_SAMPLE_TYPECHANGED;
    else flags_ &= ~AM_SAMPLE_TYPECHANGED;
    return S_OK;
}

HRESULT CMediaSample::IsDiscontinuity() {
    return (flags_ & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
    flags_ = discontinuity ? (flags_ | AM_SAMPLE_DATADISCONTINUITY)
                           : (flags_ & ~AM_SAMPLE_DATADISCONTINUITY);
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
    if (!start || !end) return E_POINTER;
    if (!mediaTimeValid_) return VFW_E_MEDIA_TIME_NOT_SET;
    *start = mediaStart_;
    *end = mediaEnd_;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(const LONGLONG* start, const LONGLONG* end) {
    if (!start) {
        mediaTimeValid_ = false;
        return S_OK;
    }
    if (!end) return E_POINTER;
    mediaStart_ = *start;
    mediaEnd_ = *end;
    mediaTimeValid_ = true;
    return S_OK;
}

HRESULT CMediaSample::GetProperties(DWORD size, BYTE* out) {
    if (!out) return E_POINTER;
    AM_SAMPLE2_PROPERTIES p;
    p.dwTypeSpecificFlags = typeSpecificFlags_;
    p.dwSampleFlags = flags_;
    p.lActual = actual_;
    p.tStart = start_;
    p.tStop = stop_;
    p.dwStreamId = streamId_;
    p.pMediaType = (flags_ & AM_SAMPLE_TYPECHANGED) ? mediaType_ : nullptr;
    p.pbBuffer = storage_.data() + prefix_;
    p.cbBuffer = GetSize();
    std::memcpy(out, &p, size < sizeof p ? size : sizeof p);
    return S_OK;
}

HRESULT CMediaSample::SetProperties(DWORD size, const BYTE* in) {
    if (!in) return E_POINTER;
    if (size < offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer)) return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES p;
    std::memcpy(&p, in, size < sizeof p ? size : sizeof p);
    if (p.lActual < 0 || p.lActual > GetSize()) return VFW_E_BUFFER_OVERFLOW;
    HRESULT hr = SetMediaType((p.dwSampleFlags & AM_SAMPLE_TYPECHANGED) ? p.pMediaType : nullptr);
    if (FAILED(hr)) return hr;
    typeSpecificFlags_ = p.dwTypeSpecificFlags;
    flags_ = (p.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) | (flags_ & AM_SAMPLE_TYPECHANGED);
    actual_ = p.lActual;
    start_ = p.tStart;
    stop_ = p.tStop;
    streamId_ = p.dwStreamId;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// CMemAllocator

CMemAllocator::CMemAllocator() = default;
CMemAllocator::~CMemAllocator() = default;

HRESULT CMemAllocator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IMemAllocator::iid) {
        *ppv = static_cast<IMemAllocator*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMemAllocator::AddRef() {
    return ++refs_;
}

ULONG CMemAllocator::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (!request || !actual) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (committed_) return VFW_E_ALREADY_COMMITTED;
    if (free_.size() != samples_.size()) return VFW_E_BUFFERS_OUTSTANDING;
    ALLOCATOR_PROPERTIES p = *request;
    if (p.cbAlign == 0) p.cbAlign = 1;
    if (p.cbAlign < 0 || (p.cbAlign & (p.cbAlign - 1)) != 0) return VFW_E_BADALIGN;
    if (p.cBuffers < 0 || p.cbBuffer < 0 || p.cbPrefix < 0) return E_INVALIDARG;
    // Buffers are whole multiples of the alignment, so their total length honours it.
    const LONG total = p.cbBuffer + p.cbPrefix;
    const LONG rem = total % p.cbAlign;
    if (rem != 0) p.cbBuffer += p.cbAlign - rem;
    if (propsSet_ && (p.cBuffers != props_.cBuffers || p.cbBuffer != props_.cbBuffer ||
                      p.cbPrefix != props_.cbPrefix || p.cbAlign != props_.cbAlign))
        FreeMemoryLocked();
    props_ = p;
    propsSet_ = true;
    *actual = p;
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
    if (!props) return E_POINTER;
    std::lock_guard lock(mutex_);
    *props = props_;
    return S_OK;
}

HRESULT CMemAllocator::Commit() {
    std::lock_guard lock(mutex_);
    if (committed_) return S_OK;
    if (!propsSet_ || props_.cBuffers <= 0 || props_.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    decommitPending_ = false;
    if (samples_.empty()) {
        try {
            for (LONG i = 0; i < props_.cBuffers; ++i) {
                std::vector<BYTE> buffer(static_cast<std::size_t>(props_.cbBuffer) +
                                         static_cast<std::size_t>(props_.cbPrefix));
                samples_.push_back(
                    std::make_unique<CMediaSample>(this, std::move(buffer), props_.cbPrefix));
                free_.push_back(samples_.back().get());
            }
        } catch (const std::bad_alloc&) {
            free_.clear();
            samples_.clear();
            return E_OUTOFMEMORY;
        }
    }
    committed_ = true;
    return S_OK;
}

HRESULT CMemAllocator::Decommit() {
    {
        std::lock_guard lock(mutex_);
        if (!committed_) return S_OK;
        committed_ = false;
        if (free_.size() == samples_.size())
            FreeMemoryLocked();
        else
            decommitPending_ = true;
    }
    bufferFreed_.notify_all();
    return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*,
                                 DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    CMediaSample* s = nullptr;
    {
        std::unique_lock lock(mutex_);
        if (!committed_) return VFW_E_NOT_COMMITTED;
        if (free_.empty() && (flags & AM_GBF_NOWAIT)) return VFW_E_TIMEOUT;
        bufferFreed_.wait(lock, [&] { return !committed_ || !free_.empty(); });
        if (!committed_) return VFW_E_NOT_COMMITTED;
        s = free_.back();
        free_.pop_back();
    }
    s->ResetForReuse();
    if (flags & AM_GBF_PREVFRAMESKIPPED) s->SetDiscontinuity(1);
    // Each outstanding sample keeps its pool alive.
    AddRef();
    s->AddRef();
    *sample = s;
    return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    {
        std::lock_guard lock(mutex_);
        free_.push_back(static_cast<CMediaSample*>(sample));
        if (decommitPending_ && free_.size() == samples_.size()) FreeMemoryLocked();
    }
    bufferFreed_.notify_one();
    Release(); // may delete this: nothing may follow
    return S_OK;
}

bool CMemAllocator::IsCommitted() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

int CMemAllocator::FreeCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(free_.size());
}

void CMemAllocator::FreeMemoryLocked() {
    free_.clear();
    samples_.clear();
    decommitPending_ = false;
}

} // namespace talvence
