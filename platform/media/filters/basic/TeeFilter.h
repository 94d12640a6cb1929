#pragma once

// The common body of the two tees: one input pin and a list of output pins that hand on the very
// sample they received. An output shares the upstream allocator (read-only, since several
// branches may read one buffer) whenever its downstream pin accepts it; only an output whose
// downstream insists on its own allocator, or one that wants its own buffers (the Smart Tee's
// preview), copies.
//
// Locks, in this order: the filter lock (filterLock_) for state changes, connections and the pin
// list; the receive lock (receiveLock_) for each sample, end of stream and around stopping.
// The pin list changes only while the filter is stopped (connections need a stopped filter), so
// the streaming thread walks it without the filter lock.
//
// Output pins are reference counted on their own as well as through the filter: a tee may drop a
// pin from its list while a caller still holds it (the Infinite Pin Tee prunes spare pins), and
// such a pin lives on, unlisted, until its last reference goes.

#include "filters/BaseClass/BaseFilter.h"

#include <atomic>
#include <memory>
#include <vector>

namespace talvence {

class TTeeFilter;

class TTeeInputPin : public TBCBaseInputPin {
public:
    TTeeInputPin(TTeeFilter* tee, std::string name);

    // Application thread (filter lock): any type every connected output's peer accepts.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Application thread: outputs connected with another type are reconnected with this one.
    HRESULT CompleteConnect(IPin* receivePin) override;
    // Application thread: passes the new allocator on to the outputs that share it.
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;

    // Streaming thread; take the receive lock.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    // Application thread; filter lock.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TTeeFilter* tee_;
};

class TTeeOutputPin : public TBCBaseOutputPin, public IQualityControl {
public:
    TTeeOutputPin(TTeeFilter* tee, std::string name);

    FORWARD_IUNKNOWN(TBCBaseOutputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // External references count on the pin and on the filter (any thread).
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;
    // The tee's own reference while the pin is listed (filter lock).
    void Hold() { ++pinRefs_; }
    void Drop();

    // Application thread (filter lock). The input must be connected first; the output carries
    // exactly the input's type.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Disconnect() override;
    // Offers the upstream allocator first (unless the pin wants its own buffers).
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    // The input allocator's buffer count and size, at least 1 each.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // Application thread (filter lock): after the input's allocator changed.
    void RenegotiateAllocator(IMemAllocator* previous, IMemAllocator* current);

    // Streaming thread: the sample itself when the allocator is shared, else a copy in one of our
    // buffers (waiting for one unless flags say AM_GBF_NOWAIT).
    virtual HRESULT DeliverSample(IMediaSample* sample);
    // Streaming thread: a copy of sample in one of our buffers; clearTimes drops its times.
    HRESULT CopySample(IMediaSample* sample, DWORD getBufferFlags, bool clearTimes,
                       bool discontinuity, IMediaSample** out);
    // Streaming thread: end of stream in order with the samples (overridden by queueing pins).
    virtual HRESULT DeliverEndOfStreamInOrder() { return DeliverEndOfStream(); }

    // IQualityControl (streaming thread). Thinning the tee's input thins every branch, so a
    // message passes upstream only from a tee with one connected output; otherwise it stops here.
    HRESULT Notify(IBaseFilter* self, Quality q) override;
    HRESULT SetSink(IQualityControl* sink) override;

    // Any thread: whether samples travel without a copy, and how many were copied so far.
    bool SharesInputAllocator() const;
    long Copies() const { return copies_; }

protected:
    // May override: a pin that must never hold upstream's buffers copies into its own.
    virtual bool WantsOwnBuffers() const { return false; }

    TTeeFilter* tee_;

private:
    std::atomic<ULONG> pinRefs_{0};
    std::atomic<long> copies_{0};
    IQualityControl* qualitySink_ = nullptr; // not owned (the platform's rule for quality sinks)
};

class TTeeFilter : public TBCBaseFilter {
public:
    TTeeFilter(std::string name, const CLSID& clsid);
    ~TTeeFilter() override;

    // Pin 0 is the input, then the outputs in order (any thread; filter lock inside).
    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;

    TTeeInputPin* InputPin() { return input_.get(); }
    // Application thread, or the streaming thread while the filter is active.
    int OutputCount() const { return static_cast<int>(outputs_.size()); }
    TTeeOutputPin* Output(int index) const { return outputs_[index]; }

protected:
    friend class TTeeInputPin;
    friend class TTeeOutputPin;

    // ---- Hooks ----
    // Must override (streaming thread, receive lock): hands one sample to the outputs.
    virtual HRESULT ReceiveSample(IMediaSample* sample) = 0;
    // May override (application thread, filter lock): an output connected / disconnected.
    virtual void OutputConnected(TTeeOutputPin*) {}
    virtual void OutputDisconnected(TTeeOutputPin*) {}
    // May override (application thread, filter and receive locks): a run starts from stopped.
    virtual void StartStreaming() {}
    // Whether outputs hand samples on read-only whatever upstream said (several readers).
    virtual bool OutputsShareSamples() const { return true; }

    // Application thread, from the constructor or under the filter lock.
    TTeeOutputPin* AddOutput(std::unique_ptr<TTeeOutputPin> pin);
    void RemoveOutput(TTeeOutputPin* pin);
    bool IsListed(TTeeOutputPin* pin) const;
    // Asks the graph to reconnect pin with mt; VFW_E_NOT_IN_GRAPH outside a graph.
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt);

    TBCCritSec filterLock_;               // the filter lock
    TBCCritSec receiveLock_;              // the receive lock
    std::unique_ptr<TTeeInputPin> input_; // made by the constructor
    std::vector<TTeeOutputPin*> outputs_; // filter lock; each holds one pin reference
    bool eosDelivered_ = false;           // filter lock: the end of stream of an unconnected input
};

} // namespace talvence
