#pragma once

// Push sources: a filter of output pins, each with its own streaming thread that fills buffers
// from its allocator and delivers them downstream.
//
// Threads: the application thread creates the filter and drives its states; each pin's streaming
// thread is created when the filter pauses from stopped, runs FillBuffer and delivery, and is
// joined by the stop (the stop decommits the allocator first, which releases the thread if it is
// waiting for a buffer). The filter lock guards the pin list and the state.

#include "filters/BaseClass/BaseFilter.h"

#include <memory>
#include <thread>
#include <vector>

namespace talvence {

// A FillBuffer answer: the device went away. The streaming thread ends without an end of stream
// and without an error event: the filter has told the graph with EC_DEVICE_LOST.
inline constexpr HRESULT TBC_E_DEVICE_LOST = HRESULT_FROM_WIN32(1167); // ERROR_DEVICE_NOT_CONNECTED

class TBCSourceStream;

class TBCSource : public TBCBaseFilter {
public:
    TBCSource(std::string name, IUnknown* outer, const CLSID& clsid);
    ~TBCSource() override;

    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    // Application thread, from the derived filter's constructor or while stopped.
    TBCSourceStream* AddPin(std::unique_ptr<TBCSourceStream> pin);

protected:
    TBCCritSec stateLock_;                               // the filter lock
    std::vector<std::unique_ptr<TBCSourceStream>> pins_; // filter lock
};

class TBCSourceStream : public TBCBaseOutputPin, public IKsPropertySet {
public:
    TBCSourceStream(std::string objectName, TBCSource* filter, std::string pinName);
    ~TBCSourceStream() override;

    FORWARD_IUNKNOWN(TBCBaseOutputPin)
    // IKsPropertySet is answered once the pin has a category.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Application thread, before the pin is used: the pin category (PIN_CATEGORY_CAPTURE, ...)
    // read through IKsPropertySet by the capture graph builder.
    void SetPinCategory(const GUID& category) { category_ = category; }
    const GUID& PinCategory() const { return category_; }

    // IKsPropertySet (any thread): the category is read-only.
    HRESULT Set(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                void* propertyData, DWORD dataLength) override;
    HRESULT Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                void* propertyData, DWORD dataLength, DWORD* returned) override;
    HRESULT QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) override;

    // ---- Hooks ----
    // Must override (streaming thread): fills one buffer. S_OK delivers it, S_FALSE ends the
    // stream (end of stream is delivered), a failure ends it and posts EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    // Must override (application thread): CheckMediaType, GetMediaType, DecideBufferSize.
    // May override (streaming thread): around the thread's life and before the first buffer.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    // Commits the allocator and starts the thread / decommits and joins it (application thread).
    HRESULT Active() override;
    HRESULT Inactive() override;

    // True while the streaming thread exists (any thread).
    bool ThreadExists() const { return thread_.joinable(); }

protected:
    // Streaming thread: true once the stop asked the thread to end.
    bool StopRequested() const { return stopRequested_; }
    TBCSource* Source() const { return source_; }

private:
    void ThreadProc();
    void Join();

    TBCSource* source_;
    GUID category_;      // GUID_NULL: none
    std::thread thread_; // created and joined on the application thread
    std::atomic<bool> stopRequested_{false};
};

} // namespace talvence
