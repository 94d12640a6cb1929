#pragma once

// The memory allocator: a fixed pool of equally sized buffers wrapped in media samples. Samples are
// owned by the pool; a sample handed out comes back to the pool when its last reference goes.
// Thread use: SetProperties/Commit/Decommit on the application thread (through pin activation),
// GetBuffer on a streaming thread, sample releases on any thread.

#include "platform/media/Interfaces.h"
#include "platform/media/SampleSideData.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace talvence {

class CMemAllocator;

class CMediaSample : public IMediaSample2, public ISampleSideData {
public:
    CMediaSample(CMemAllocator* allocator, std::vector<BYTE> buffer, LONG prefix);
    ~CMediaSample() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(BYTE** buffer) override;
    long GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(BOOL sync) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(BOOL preroll) override;
    long GetActualDataLength() override;
    HRESULT SetActualDataLength(long length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** pmt) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(BOOL discontinuity) override;
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    HRESULT SetMediaTime(const LONGLONG* start, const LONGLONG* end) override;
    HRESULT GetProperties(DWORD size, BYTE* props) override;
    HRESULT SetProperties(DWORD size, const BYTE* props) override;

    std::shared_ptr<const PictureOrigin> GetPictureOrigin() override { return origin_; }
    void SetPictureOrigin(std::shared_ptr<const PictureOrigin> origin) override {
        origin_ = std::move(origin);
    }

private:
    friend class CMemAllocator;
    // Back to the state of a fresh buffer before it is handed out again.
    void ResetForReuse();

    CMemAllocator* allocator_; // not owned: the allocator owns the sample
    std::atomic<ULONG> refs_{0};
    std::vector<BYTE> storage_;
    LONG prefix_;
    // The fields below are touched only by the thread that holds the sample.
    DWORD flags_ = 0;
    DWORD typeSpecificFlags_ = 0;
    DWORD streamId_ = AM_STREAM_MEDIA;
    LONG actual_ = 0;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    bool mediaTimeValid_ = false;
    LONGLONG mediaStart_ = 0;
    LONGLONG mediaEnd_ = 0;
    AM_MEDIA_TYPE* mediaType_ = nullptr;
    std::shared_ptr<const PictureOrigin> origin_;
};

class CMemAllocator : public IMemAllocator {
public:
    CMemAllocator();
    ~CMemAllocator() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                      DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

    // For tests and diagnostics.
    bool IsCommitted() const;
    int FreeCount() const;

private:
    void FreeMemoryLocked();

    std::atomic<ULONG> refs_{0};
    mutable std::mutex mutex_;
    std::condition_variable bufferFreed_;
    // Guarded by mutex_.
    ALLOCATOR_PROPERTIES props_;
    bool propsSet_ = false;
    bool committed_ = false;
    bool decommitPending_ = false; // memory goes when the last outstanding sample returns
    std::vector<std::unique_ptr<CMediaSample>> samples_;
    std::vector<CMediaSample*> free_;
};

} // namespace talvence
