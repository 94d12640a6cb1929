#pragma once

// The copying transform: one input pin, one output pin, one output sample per input sample.
//
// Locks, in this order: the filter lock (csFilter_) for state changes and connections, then the
// receive lock (csReceive_) for each sample and around starting and stopping streaming. Streaming
// hooks (Transform, Receive, EndOfStream, NewSegment) run on the upstream's streaming thread with
// the receive lock held, so they run one at a time.
//
// A new filter overrides CheckInputType, CheckTransform, DecideBufferSize, GetMediaType and
// Transform(in, out); the rest may be overridden.

#include "filters/BaseClass/BaseFilter.h"

#include <memory>

namespace talvence {

class TBCTransformFilter;

class TBCTransformInputPin : public TBCBaseInputPin {
public:
    TBCTransformInputPin(std::string objectName, TBCTransformFilter* filter, std::string pinName);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;

    // Streaming thread; takes the receive lock.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    // Application thread; filter lock.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

protected:
    TBCTransformFilter* transform_;
};

class TBCTransformOutputPin : public TBCBaseOutputPin, public IQualityControl {
public:
    TBCTransformOutputPin(std::string objectName, TBCTransformFilter* filter, std::string pinName);

    FORWARD_IUNKNOWN(TBCBaseOutputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IQualityControl, any thread: the filter's AlterQuality first, else passed upstream.
    HRESULT Notify(IBaseFilter* self, Quality q) override;
    HRESULT SetSink(IQualityControl* sink) override;

protected:
    TBCTransformFilter* transform_;
    IQualityControl* qualitySink_ = nullptr; // not owned (the platform's rule for quality sinks)
};

class TBCTransformFilter : public TBCBaseFilter {
public:
    TBCTransformFilter(std::string name, IUnknown* outer, const CLSID& clsid);
    ~TBCTransformFilter() override;

    // Pins "XForm In" / "XForm Out" (ids "In" / "Out"), created on the first request.
    int GetPinCount() override { return 2; }
    TBCBasePin* GetPin(int index) override;
    HRESULT FindPin(const std::string& id, IPin** out) override;

    // Application thread. May override; an override calls the base.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // ---- Hooks (called by the framework) ----
    // Must override: accept or refuse an input type (VFW_E_TYPE_NOT_ACCEPTED).
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    // Must override: output type mt_out is acceptable for input type mt_in.
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    // Must override: buffer count/size/alignment on the output allocator.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Must override: output types offered, E_INVALIDARG / VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;
    // Must override for a copying transform (streaming thread, receive lock): S_OK delivers,
    // S_FALSE drops the sample, a failure goes back upstream.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    // May override: around streaming (receive lock held, under the filter lock).
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    // May override: S_FALSE passes the quality message upstream.
    virtual HRESULT AlterQuality(const Quality&) { return S_FALSE; }
    // May override: connection notifications per direction (filter lock).
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    // May override (streaming thread, receive lock): one sample.
    virtual HRESULT Receive(IMediaSample* sample);
    // May override (streaming thread): a buffer from the output allocator with the input's
    // times, sync point, discontinuity, preroll and media times.
    virtual HRESULT InitializeOutputSample(IMediaSample* in, IMediaSample** out);
    // May override: passed downstream.
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);

    TBCTransformInputPin* InputPin() { return input_.get(); }
    TBCTransformOutputPin* OutputPin() { return output_.get(); }
    TBCCritSec* ReceiveLock() { return &csReceive_; }

protected:
    // Creates the two pins; in-place filters make their own kinds.
    virtual void CreatePins();
    // After Transform: delivers, or drops and reports the first drop of the run.
    HRESULT DeliverOrSkip(HRESULT transformResult, IMediaSample* sample);

    TBCCritSec csFilter_;                           // the filter lock
    TBCCritSec csReceive_;                          // the receive lock
    std::unique_ptr<TBCTransformInputPin> input_;   // created under the filter lock
    std::unique_ptr<TBCTransformOutputPin> output_; // created under the filter lock
    bool sampleSkipped_ = false;                    // receive lock; cleared on every pause
    bool qualityChanged_ = false;                   // receive lock; cleared on every pause
    bool eosDelivered_ = false; // filter lock: end of stream given for an unconnected input
    // Set by a filter whose output is the input's picture, pixel for pixel where it does not
    // say otherwise: the input's picture origin then goes on with it. Any other filter drops it,
    // so that nothing downstream trusts an origin the filter may have made untrue.
    bool keepsPictureOrigin_ = false;

    friend class TBCTransformInputPin;
    friend class TBCTransformOutputPin;
};

} // namespace talvence
