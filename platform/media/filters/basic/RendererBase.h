#pragma once

// The common body of the basic renderers (video, null, dump): one input pin and no output. Each
// media sample goes to RenderSample as it arrives; a renderer that waits there for the sample's
// presentation time ends the wait in CancelWait, which stop and flush call before they take the
// receive lock. End of stream is reported to the graph once per run as EC_COMPLETE.
//
// Locks, in this order: the filter lock (filterLock_) for state changes and the connection, then
// the receive lock (receiveLock_) for each sample, end of stream, and around starting and stopping
// streaming.

#include "filters/BaseClass/BaseFilter.h"

#include <atomic>

namespace talvence {

class TBasicRenderer;

class TRendererInputPin : public TBCBaseInputPin {
public:
    TRendererInputPin(TBasicRenderer* renderer, std::string name);

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Streaming thread; take the receive lock.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Application thread: a flush ends a wait for presentation time and forgets the end of
    // stream, which may then come again.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TBasicRenderer* renderer_;
};

class TBasicRenderer : public TBCBaseFilter {
public:
    TBasicRenderer(std::string name, const CLSID& clsid, std::string pinName = "In");
    ~TBasicRenderer() override;

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;
    TRendererInputPin* InputPin() { return &input_; }

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // Any thread: media samples rendered since the last start.
    long SamplesRendered() const { return rendered_; }

protected:
    friend class TRendererInputPin;

    // ---- Hooks ----
    // Must override (application or streaming thread): S_OK accepts the type.
    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    // Must override (streaming thread, receive lock): one media sample, in type (the connection's
    // type or the one the stream announced). S_FALSE: deliberately not rendered (upstream still
    // hears S_OK); a failure goes back upstream.
    virtual HRESULT RenderSample(IMediaSample* sample, const CMediaType& type) = 0;
    // May override (application thread, filter and receive locks): a run starts from stopped;
    // a failure refuses the pause.
    virtual HRESULT StartStreaming() { return S_OK; }
    // May override (application thread, filter and receive locks): streaming has ended.
    virtual void StopStreaming() {}
    // May override (application thread, no receive lock): end a wait in RenderSample at once, and
    // refuse to start one until AllowWait. Called by stop and by the start of a flush.
    virtual void CancelWait() {}
    // May override (application thread): waits may happen again; called at the end of a flush
    // and before StartStreaming.
    virtual void AllowWait() {}

    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // the receive lock

private:
    TRendererInputPin input_;
    CMediaType streamType_;    // receive lock: the type announced mid-stream, if any
    bool endOfStream_ = false; // receive lock: this run's end of stream was reported
    std::atomic<long> rendered_{0};
};

} // namespace talvence
