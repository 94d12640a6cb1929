#pragma once

// The Sample Grabber: an in-place filter that passes every sample on untouched and, on request,
// keeps a copy of the last one for the application (the still-image grab) or hands each sample
// to a callback. The accepted type is set before connecting (the preview sets video RGB24 with a
// VIDEOINFOHEADER); fields left GUID_NULL accept anything.
//
// Locks: the framework's filter and receive locks, plus a leaf lock (grabLock_) for the copy, the
// type it is in and the callback, so that the application thread reads the copy without waiting
// for a streaming thread that may be blocked downstream while it holds the receive lock.

#include "filters/BaseClass/TransInPlaceFilter.h"

#include <mutex>
#include <vector>

namespace talvence {

// Called on the streaming thread for each sample (the platform's interface).
struct ISampleGrabberCB : IUnknown {
    static constexpr GUID iid = MakeGuid("0579154A-2B53-4994-B0D0-E773148EFF85");
    // time: the sample's start time in seconds (0 without times).
    virtual HRESULT SampleCB(double time, IMediaSample* sample) = 0;
    virtual HRESULT BufferCB(double time, BYTE* buffer, long length) = 0;
};

// The platform's interface, with a byte pointer where it declares a long pointer.
struct ISampleGrabber : IUnknown {
    static constexpr GUID iid = MakeGuid("6B652FFF-11FE-4FCE-92AD-0266B5D7C78F");
    // Any thread. TRUE: after the first sample the stream ends (end of stream downstream) and
    // later samples are refused with S_FALSE until the next start.
    virtual HRESULT SetOneShot(BOOL oneShot) = 0;
    // Application thread: the type the next connection must match (null: any type).
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pmt) = 0;
    // Application thread: the type of the current stream; VFW_E_NOT_CONNECTED unconnected.
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pmt) = 0;
    // Any thread: keep a copy of the last media sample (not preroll, not control samples).
    virtual HRESULT SetBufferSamples(BOOL bufferThem) = 0;
    // Any thread. buffer null: *bufferSize receives the size needed. Else *bufferSize gives the
    // room and receives the bytes copied. E_INVALIDARG when not buffering, VFW_E_NOT_CONNECTED
    // unconnected, VFW_E_WRONG_STATE when no sample arrived since the last start, E_OUTOFMEMORY
    // when the room is too small.
    virtual HRESULT GetCurrentBuffer(long* bufferSize, BYTE* buffer) = 0;
    // E_NOTIMPL, as on the platform: the copy is read with GetCurrentBuffer.
    virtual HRESULT GetCurrentSample(IMediaSample** sample) = 0;
    // Application thread: whichMethod 0 calls SampleCB, 1 BufferCB; null removes the callback.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) = 0;
};

class TSampleGrabberFilter : public TBCTransInPlaceFilter, public ISampleGrabber {
public:
    TSampleGrabberFilter();

    FORWARD_IUNKNOWN(TBCTransInPlaceFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetOneShot(BOOL oneShot) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT SetBufferSamples(BOOL bufferThem) override;
    HRESULT GetCurrentBuffer(long* bufferSize, BYTE* buffer) override;
    HRESULT GetCurrentSample(IMediaSample** sample) override;
    HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) override;

    // Framework hooks.
    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT Transform(IMediaSample* sample) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT StartStreaming() override;
    HRESULT BreakConnect(PIN_DIRECTION dir) override;

private:
    CMediaType acceptType_;            // filter lock; GUID_NULL fields are wildcards
    std::atomic<bool> oneShot_{false}; // any thread
    std::atomic<bool> bufferSamples_{false};
    bool oneShotDone_ = false; // receive lock; cleared at each start

    mutable std::mutex grabLock_; // leaf lock for the members below
    std::vector<BYTE> copy_;      // the last media sample's bytes
    bool haveCopy_ = false;       // a sample arrived since the last start
    CMediaType streamType_;       // the type announced by the stream, when it changed
    ComPtr<ISampleGrabberCB> callback_;
    long callbackMethod_ = 0;
};

} // namespace talvence
