#pragma once

// The base filter, its pins and the enumerators. Derived classes supply the pins (GetPinCount,
// GetPin) and the media-type hooks; the framework supplies the connection protocol, allocator
// negotiation, the activation of pins on state changes and event posting.
//
// Locks: the filter lock (given to the base filter and shared by its pins) guards connection and
// state changes; a derived filter that streams adds a receive lock taken after the filter lock.
// A pin never holds its filter lock while it calls another filter's pin to connect (types,
// ReceiveConnection, allocators, a reconnection through the graph): the peer takes its own lock
// and may call back, so two neighbours' locks are never taken in both orders. The protocol checks
// and reserves under the lock, asks the peer without it, and re-checks before it commits.
// Threads: "application thread" is the one driving the graph; "streaming thread" is the upstream
// filter's thread that delivers samples; "any thread" needs no particular one.

#include "filters/BaseClass/BaseObjects.h"
#include "platform/media/Interfaces.h"
#include "platform/media/MediaType.h"

#include <atomic>
#include <mutex>
#include <string>
#include <type_traits>

namespace talvence {

class TBCBasePin;

class TBCBaseFilter : public TBCUnknown, public IBaseFilter {
public:
    // lock is the filter lock, owned by the derived class; null is a programming error.
    TBCBaseFilter(std::string name, IUnknown* outer, TBCCritSec* lock, const CLSID& clsid);
    ~TBCBaseFilter() override;

    TBC_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist (any thread).
    HRESULT GetClassID(CLSID* clsid) override;

    // IMediaFilter (application thread; filter lock). May override.
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter (application thread).
    HRESULT EnumPins(IEnumPins** out) override;
    HRESULT FindPin(const std::string& id, IPin** out) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;
    HRESULT QueryVendorInfo(std::string* info) override;

    // Must override: the pins, created by the filter (index 0..count-1).
    virtual int GetPinCount() = 0;
    virtual TBCBasePin* GetPin(int index) = 0;

    // Bumped whenever the set of pins changes, so enumerators notice (filter lock).
    virtual LONG GetPinVersion() { return pinVersion_; }
    void IncrementPinVersion() { ++pinVersion_; }

    // Stream time = clock time - start time; VFW_E_NO_CLOCK without a clock (any thread).
    virtual HRESULT StreamTime(REFERENCE_TIME* time);

    // Posts a graph event; E_NOTIMPL outside a graph (any thread).
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

    // Any thread: the state is read without the filter lock by streaming threads.
    bool IsStopped() const { return state_ == State_Stopped; }
    bool IsActive() const { return state_ != State_Stopped; }
    FILTER_STATE State() const { return state_; }
    REFERENCE_TIME StartTime() const { return startTime_; }
    IFilterGraph* Graph() const { return graph_; }
    const std::string& NameInGraph() const { return nameInGraph_; }
    TBCCritSec* FilterLock() const { return lock_; }

protected:
    // Calls visit(TBCBasePin*) for each pin in index order, as ForEachPin (PinWalk.h) walks an
    // IBaseFilter: a visit may return true to stop the walk, which then returns true. It takes
    // no enumerator and no reference, so it also serves while the filter's count is zero
    // (application thread, filter lock).
    template <class Visit> bool ForEachOwnPin(Visit&& visit) {
        for (int i = 0; i < GetPinCount(); ++i) {
            TBCBasePin* pin = GetPin(i);
            if (!pin) continue;
            if constexpr (std::is_void_v<std::invoke_result_t<Visit&, TBCBasePin*>>)
                visit(pin);
            else if (visit(pin))
                return true;
        }
        return false;
    }

    TBCCritSec* lock_;                               // the filter lock
    std::atomic<FILTER_STATE> state_{State_Stopped}; // written under the filter lock
    std::atomic<REFERENCE_TIME> startTime_{0};       // written under the filter lock
    // Written under the filter lock and clockLock_, read under either: the
    // streaming threads ask for the stream time under the receive lock, and
    // the filter lock after it would invert the lock order against Stop.
    ComPtr<IReferenceClock> clock_;
    mutable std::mutex clockLock_;
    CLSID clsid_;

private:
    IFilterGraph* graph_ = nullptr;   // not owned: the graph owns the filter (filter lock)
    IMediaEventSink* sink_ = nullptr; // not owned, same object as graph_ (filter lock)
    std::string nameInGraph_;         // filter lock
    std::atomic<LONG> pinVersion_{1};
};

class TBCBasePin : public TBCUnknown, public IPin {
public:
    // The pin lives inside its filter: its references are the filter's.
    TBCBasePin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, std::string pinName,
               PIN_DIRECTION dir, std::string id = {});
    ~TBCBasePin() override;

    TBC_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // IPin connection (application thread). Connect and ReceiveConnection take the filter lock
    // around the hooks only; a failed attempt leaves both pins unconnected.
    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryId(std::string* id) override;
    // Any thread; takes no lock, so a hook may ask a neighbour under its own filter lock.
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    // Stream control defaults: accepted and ignored (streaming thread). May override.
    HRESULT EndOfStream() override { return S_OK; }
    HRESULT BeginFlush() override = 0;
    HRESULT EndFlush() override = 0;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

    // Hooks (application thread, filter lock held).
    // Must override: S_OK to accept the type, a failure to refuse it.
    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    // May override: the types offered, position 0.. until VFW_S_NO_MORE_ITEMS.
    virtual HRESULT GetMediaType(int position, CMediaType* mt);
    // May override: records the agreed type.
    virtual HRESULT SetMediaType(const CMediaType* mt);
    // May override: the peer is acceptable (the base checks the direction).
    virtual HRESULT CheckConnect(IPin* pin);
    // May override: undo CheckConnect/CompleteConnect.
    virtual HRESULT BreakConnect();
    // May override: what a connection asks of the peer or of other filters (the allocator, a
    // reconnection through the graph). Called WITHOUT the filter lock, once the type is agreed
    // and the peer has accepted it, before CompleteConnect; a failure undoes the connection.
    virtual HRESULT NegotiateWithPeer(IPin* peer);
    // May override: last step of a connection.
    virtual HRESULT CompleteConnect(IPin* receivePin);
    // May override: called on pause from stopped / on stop / on run (filter lock).
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    // Any thread, but stable only while the filter is stopped.
    bool IsConnected() const { return connected_ != nullptr; }
    IPin* GetConnected() const { return connected_.get(); }
    const CMediaType& CurrentMediaType() const { return mt_; }
    const std::string& Name() const { return name_; }
    PIN_DIRECTION Direction() const { return dir_; }
    bool IsFlushing() const { return flushing_; }
    TBCBaseFilter* Filter() const { return filter_; }
    REFERENCE_TIME CurrentStartTime() const { return segmentStart_; }
    REFERENCE_TIME CurrentStopTime() const { return segmentStop_; }
    double CurrentRate() const { return segmentRate_; }

protected:
    // Tries the given (complete) type with the receiving pin.
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);
    // Tries the types of one enumerator that match the partial type.
    HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
    // Complete type: tried as is; partial or null: the receiving pin's types, then ours.
    HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* pmt);
    // Forgets the peer and the type (filter lock).
    void ClearConnection();
    // Under the filter lock: our checks and the type for this peer, the pin then counting as
    // connected; undone on failure.
    HRESULT Reserve(IPin* peer, const CMediaType* mt);
    // Under the filter lock, after the peer was asked without it: still reserved for this peer
    // and stopped, then CompleteConnect.
    HRESULT Commit(IPin* peer);

    TBCBaseFilter* filter_; // not owned: the filter owns the pin
    TBCCritSec* lock_;      // the filter lock
    std::string name_;
    std::string id_;
    PIN_DIRECTION dir_;
    ComPtr<IPin> connected_;            // filter lock
    bool connecting_ = false;           // filter lock: Connect is agreeing a type
    CMediaType mt_;                     // filter lock
    std::atomic<bool> flushing_{false}; // set under the filter lock, read by the streaming thread
    REFERENCE_TIME segmentStart_ = 0;   // streaming thread
    REFERENCE_TIME segmentStop_ = 0x7FFFFFFFFFFFFFFF;
    double segmentRate_ = 1.0;
};

class TBCBaseOutputPin : public TBCBasePin {
public:
    TBCBaseOutputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                     std::string pinName, std::string id = {});

    // Hooks.
    // Must override: sets buffer count and size on the allocator (application thread, filter
    // lock). RequestBuffers and RequestBuffersLike below are the usual bodies.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // May override: which allocator the connection uses. Default: the input pin's, else our own.
    // Application thread, without the filter lock: it asks the input pin.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // May override: makes our own allocator.
    virtual HRESULT InitAllocator(IMemAllocator** allocator);

    HRESULT CheckConnect(IPin* pin) override;
    // Agrees the allocator with the input pin (NegotiateAllocator).
    HRESULT NegotiateWithPeer(IPin* peer) override;
    // VFW_E_NO_ALLOCATOR when none was agreed.
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    // Commits / decommits the connection's allocator.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Input-pin calls are meaningless on an output pin.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    // Streaming thread: a buffer from the connection's allocator (blocks while none is free).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* stop, DWORD flags);
    // Streaming thread: hands a sample to the connected input pin.
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);
    // Application thread (flush travels with the filter lock held).
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();

    IMemAllocator* Allocator() const { return allocator_.get(); }
    IMemInputPin* ConnectedIMemInputPin() const { return inputPin_.get(); }
    // Replaces the connection's allocator (in-place sharing; filter lock).
    void SetAllocator(IMemAllocator* allocator) { allocator_ = allocator; }

protected:
    // Without the filter lock: decides the allocator with the connected input pin and keeps it.
    // mayPassOn: through DecideAllocator as overridden (which may pass on another pin's
    // allocator); else the base choice, the input pin's or our own.
    HRESULT NegotiateAllocator(bool mayPassOn);

    ComPtr<IMemAllocator> allocator_; // filter lock; used by the streaming thread while active
    ComPtr<IMemInputPin> inputPin_;   // filter lock; used by the streaming thread while active
};

// The usual body of DecideBufferSize (application thread, filter lock): raises the request to at
// least count buffers of size bytes aligned to align, sets it on the allocator, and refuses
// (E_FAIL) an allocator that grants fewer, smaller or less aligned buffers than asked.
HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, LONG count,
                       LONG size, LONG align = 1);
// The same with the buffer count and size of another allocator, at least one buffer of one byte
// (one of one byte when there is none or it does not answer): for outputs that pass their
// input's samples on or mirror them.
HRESULT RequestBuffersLike(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request,
                           IMemAllocator* model);

class TBCBaseInputPin : public TBCBasePin, public IMemInputPin {
public:
    TBCBaseInputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                    std::string pinName, std::string id = {});

    FORWARD_IUNKNOWN(TBCBasePin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin. Allocator calls: application thread (filter lock).
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    // Streaming thread. The base checks the stream state and a type change carried by the sample
    // and fills SampleProps(); derived pins take their receive lock and then process the sample.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    HRESULT ReceiveCanBlock() override;

    // Application thread (filter lock): flushing refuses samples until EndFlush.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    // Decommits the allocator, which releases an upstream thread blocked in GetBuffer.
    HRESULT Inactive() override;
    HRESULT BreakConnect() override;

    // Streaming thread: S_OK to accept a sample; VFW_E_WRONG_STATE stopped, S_FALSE flushing,
    // VFW_E_RUNTIME_ERROR after a failure, VFW_E_NOT_CONNECTED unconnected.
    virtual HRESULT CheckStreaming();

    bool IsReadOnly() const { return readOnly_; }
    IMemAllocator* PeekAllocator() const { return allocator_.get(); }
    // Properties of the sample being received (streaming thread, receive lock).
    const AM_SAMPLE2_PROPERTIES* SampleProps() const { return &sampleProps_; }

protected:
    ComPtr<IMemAllocator> allocator_;       // filter lock
    bool readOnly_ = false;                 // filter lock
    std::atomic<bool> runTimeError_{false}; // streaming thread; cleared on EndFlush and stop
    AM_SAMPLE2_PROPERTIES sampleProps_;     // streaming thread
};

// Enumerates a filter's pins; out of sync once the filter's pin version changes.
class TBCEnumPins : public TBCUnknown, public IEnumPins {
public:
    explicit TBCEnumPins(TBCBaseFilter* filter, int position = 0);
    TBC_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** out) override;

private:
    ComPtr<IBaseFilter> filterRef_;
    TBCBaseFilter* filter_;
    int position_;
    LONG version_;
};

// Enumerates the types a pin offers through TBCBasePin::GetMediaType.
class TBCEnumMediaTypes : public TBCUnknown, public IEnumMediaTypes {
public:
    explicit TBCEnumMediaTypes(TBCBasePin* pin, int position = 0);
    TBC_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** out) override;

private:
    ComPtr<IPin> pinRef_;
    TBCBasePin* pin_;
    int position_;
};

} // namespace talvence
