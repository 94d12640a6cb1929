#pragma once

// The media-graph interfaces. Names, ids and semantics follow the platform's; text parameters are
// UTF-8 std::string instead of wide-character arrays. Each method comment says what callers may
// rely on where it differs from or sharpens the platform's documentation.

#include "platform/media/MediaType.h"
#include "platform/media/SyncObjects.h"
#include "platform/media/Unknown.h"

#include <functional>
#include <string>

namespace talvence {

struct IBaseFilter;
struct IFilterGraph;
struct IMemAllocator;
struct IMediaSample;
struct IPin;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
using OAFilterState = long;
using REFGUID = const GUID&;

struct PIN_INFO {
    IBaseFilter* pFilter = nullptr; // holds a reference: the caller releases it
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::string achName;
};

struct FILTER_INFO {
    std::string achName;
    IFilterGraph* pGraph = nullptr; // holds a reference when not null: the caller releases it
};

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers = 0;
    LONG cbBuffer = 0;
    LONG cbAlign = 0;
    LONG cbPrefix = 0;
};

// Sample flags of AM_SAMPLE2_PROPERTIES::dwSampleFlags.
inline constexpr DWORD AM_SAMPLE_SPLICEPOINT = 0x01;
inline constexpr DWORD AM_SAMPLE_PREROLL = 0x02;
inline constexpr DWORD AM_SAMPLE_DATADISCONTINUITY = 0x04;
inline constexpr DWORD AM_SAMPLE_TYPECHANGED = 0x08;
inline constexpr DWORD AM_SAMPLE_TIMEVALID = 0x10;
inline constexpr DWORD AM_SAMPLE_TIMEDISCONTINUITY = 0x40;
inline constexpr DWORD AM_SAMPLE_FLUSH_ON_PAUSE = 0x80;
inline constexpr DWORD AM_SAMPLE_STOPVALID = 0x100;
inline constexpr DWORD AM_SAMPLE_ENDOFSTREAM = 0x200;

// Stream ids: a sample whose stream id is not AM_STREAM_MEDIA is a control sample.
inline constexpr DWORD AM_STREAM_MEDIA = 0;
inline constexpr DWORD AM_STREAM_CONTROL = 1;

// GetBuffer flags.
inline constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
inline constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
inline constexpr DWORD AM_GBF_NOWAIT = 4;

struct AM_SAMPLE2_PROPERTIES {
    DWORD cbData = sizeof(AM_SAMPLE2_PROPERTIES);
    DWORD dwTypeSpecificFlags = 0;
    DWORD dwSampleFlags = 0;
    LONG lActual = 0;
    REFERENCE_TIME tStart = 0;
    REFERENCE_TIME tStop = 0;
    DWORD dwStreamId = AM_STREAM_MEDIA;
    AM_MEDIA_TYPE* pMediaType = nullptr; // not owned: valid while the sample is held
    BYTE* pbBuffer = nullptr;
    LONG cbBuffer = 0;
};

enum QualityMessageType { Famine = 0, Flood = 1 };
struct Quality {
    QualityMessageType Type = Famine;
    long Proportion = 1000;
    REFERENCE_TIME Late = 0;
    REFERENCE_TIME TimeStamp = 0;
};

struct IPersist : IUnknown {
    static constexpr GUID iid = MakeGuid("0000010C-0000-0000-C000-000000000046");
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};

struct IReferenceClock : IUnknown {
    static constexpr GUID iid = MakeGuid("56A86897-0AD4-11CE-B03A-0020AF0BA770");
    // Monotonic, 100-ns units. S_FALSE when the value equals the previous answer.
    virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
    // Sets the event once the clock reaches baseTime + streamTime (at once if it already has).
    virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                               DWORD_PTR* cookie) = 0;
    // Releases the semaphore at startTime and every periodTime after it, until Unadvise.
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                   HSEMAPHORE semaphore, DWORD_PTR* cookie) = 0;
    // S_FALSE for a cookie that is not (or no longer) pending.
    virtual HRESULT Unadvise(DWORD_PTR cookie) = 0;
};

struct IMediaFilter : IPersist {
    static constexpr GUID iid = MakeGuid("56A86899-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    // VFW_S_STATE_INTERMEDIATE while a transition has not completed within msTimeout.
    virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IEnumPins : IUnknown {
    static constexpr GUID iid = MakeGuid("56A86892-0AD4-11CE-B03A-0020AF0BA770");
    // S_FALSE when fewer than requested remain; VFW_E_ENUM_OUT_OF_SYNC after the pins changed.
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** out) = 0;
};

struct IEnumMediaTypes : IUnknown {
    static constexpr GUID iid = MakeGuid("89C31040-846B-11CE-97D3-00AA0055595A");
    // Each returned type is allocated with CreateMediaType: free it with DeleteMediaType.
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** out) = 0;
};

struct IEnumFilters : IUnknown {
    static constexpr GUID iid = MakeGuid("56A86893-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** out) = 0;
};

struct IBaseFilter : IMediaFilter {
    static constexpr GUID iid = MakeGuid("56A86895-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT EnumPins(IEnumPins** out) = 0;
    virtual HRESULT FindPin(const std::string& id, IPin** out) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // The graph is not referenced by the filter (the graph holds the filter).
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) = 0;
    virtual HRESULT QueryVendorInfo(std::string* info) = 0;
};

struct IPin : IUnknown {
    static constexpr GUID iid = MakeGuid("56A86891-0AD4-11CE-B03A-0020AF0BA770");
    // Called on an output pin; pmt may be null or partial (GUID_NULL fields are wildcards).
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) = 0;
    // Called on an input pin by the output pin that connects to it; pmt is complete.
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) = 0;
    // S_FALSE when not connected.
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
    virtual HRESULT QueryId(std::string* id) = 0;
    // S_OK when the type would be accepted, S_FALSE otherwise.
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** out) = 0;
    virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) = 0;
};

struct IMediaSample : IUnknown {
    static constexpr GUID iid = MakeGuid("56A8689A-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual long GetSize() = 0;
    // S_OK both times; VFW_S_NO_STOP_TIME start only; VFW_E_SAMPLE_TIME_NOT_SET none.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    // Null start removes the times; null stop keeps only the start.
    virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;
    virtual HRESULT IsSyncPoint() = 0; // S_OK or S_FALSE
    virtual HRESULT SetSyncPoint(BOOL sync) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL preroll) = 0;
    virtual long GetActualDataLength() = 0;
    // VFW_E_BUFFER_OVERFLOW when longer than the buffer.
    virtual HRESULT SetActualDataLength(long length) = 0;
    // S_FALSE and null when the type did not change; else a copy to free with DeleteMediaType.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** pmt) = 0;
    // Null clears the change.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) = 0;
    // Null start removes the media times.
    virtual HRESULT SetMediaTime(const LONGLONG* start, const LONGLONG* end) = 0;
};

struct IMediaSample2 : IMediaSample {
    static constexpr GUID iid = MakeGuid("36B73884-C2C8-11CF-8B46-00805F6CEF60");
    virtual HRESULT GetProperties(DWORD size, BYTE* props) = 0;
    virtual HRESULT SetProperties(DWORD size, const BYTE* props) = 0;
};

struct IMemAllocator : IUnknown {
    static constexpr GUID iid = MakeGuid("56A8689C-0AD4-11CE-B03A-0020AF0BA770");
    // VFW_E_ALREADY_COMMITTED while committed; VFW_E_BUFFERS_OUTSTANDING while samples are out.
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT Commit() = 0;
    // Wakes every thread blocked in GetBuffer; memory goes when the last sample comes back.
    virtual HRESULT Decommit() = 0;
    // Blocks until a buffer is free unless AM_GBF_NOWAIT; VFW_E_NOT_COMMITTED when decommitted
    // (also for a thread that was waiting), VFW_E_TIMEOUT for AM_GBF_NOWAIT with none free.
    virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                              DWORD flags) = 0;
    // Called by a sample when its last reference goes.
    virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

struct IMemInputPin : IUnknown {
    static constexpr GUID iid = MakeGuid("56A8689D-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
    // E_NOTIMPL: no requirements.
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;
};

struct IQualityControl : IUnknown {
    static constexpr GUID iid = MakeGuid("56A868A5-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT Notify(IBaseFilter* self, Quality q) = 0;
    virtual HRESULT SetSink(IQualityControl* sink) = 0;
};

struct IMediaEventSink : IUnknown {
    static constexpr GUID iid = MakeGuid("56A868A2-0AD4-11CE-B03A-0020AF0BA770");
    // Any thread. For EC_DEVICE_LOST param1 is an IUnknown* the sink references while queued.
    virtual HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IFilterGraph : IUnknown {
    static constexpr GUID iid = MakeGuid("56A8689F-0AD4-11CE-B03A-0020AF0BA770");
    // Empty name: one is made up. A name in use gets a numbered suffix and VFW_S_DUPLICATE_NAME.
    virtual HRESULT AddFilter(IBaseFilter* filter, const std::string& name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** out) = 0;
    virtual HRESULT FindFilterByName(const std::string& name, IBaseFilter** filter) = 0;
    // Output pin to input pin, no filters inserted; pmt may be null or partial.
    virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

// Intelligent connection. (File rendering, source filters for files and the log file are not
// provided: nothing in the system plays files through the graph.)
struct IGraphBuilder : IFilterGraph {
    static constexpr GUID iid = MakeGuid("56A868A9-0AD4-11CE-B03A-0020AF0BA770");
    // Directly if possible, else through filters of the graph with free pins, then of the registry.
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
    // Connects the output to a chain that ends in renderers (filters without outputs).
    virtual HRESULT Render(IPin* out) = 0;
    virtual HRESULT Abort() = 0;
    // S_FALSE once Abort was called during the current operation.
    virtual HRESULT ShouldOperationContinue() = 0;
};

// Of this interface the engine provides the reconnection with a given type only (the moniker and
// render extensions have no user here).
struct IFilterGraph2 : IGraphBuilder {
    static constexpr GUID iid = MakeGuid("36B73882-C2C8-11CF-8B46-00805F6CEF60");
    virtual HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* pmt) = 0;
};

struct IMediaControl : IUnknown {
    static constexpr GUID iid = MakeGuid("56A868B1-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT StopWhenReady() = 0;
    virtual HRESULT GetState(long msTimeout, OAFilterState* state) = 0;
};

struct IMediaEvent : IUnknown {
    static constexpr GUID iid = MakeGuid("56A868B6-0AD4-11CE-B03A-0020AF0BA770");
    // E_ABORT when no event arrives within msTimeout (0: do not wait). Free the parameters with
    // FreeEventParams.
    virtual HRESULT GetEvent(long* eventCode, LONG_PTR* param1, LONG_PTR* param2,
                             long msTimeout) = 0;
    virtual HRESULT FreeEventParams(long eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
    // Waits until the run completes (EC_COMPLETE, EC_ERRORABORT or EC_USERABORT arrived since the
    // graph left the stopped state) without taking the event from the queue; E_ABORT on time-out.
    virtual HRESULT WaitForCompletion(long msTimeout, long* eventCode) = 0;
    // Default handling of EC_COMPLETE: one event once every renderer has reported completion.
    // Cancelled, each filter's EC_COMPLETE reaches the queue.
    virtual HRESULT CancelDefaultHandling(long eventCode) = 0;
    virtual HRESULT RestoreDefaultHandling(long eventCode) = 0;
};

// The window-message notification of the platform becomes a callback: it runs on the thread that
// queued the event and must only hand over to the application thread (which then calls GetEvent).
struct IMediaEventEx : IMediaEvent {
    static constexpr GUID iid = MakeGuid("56A868C0-0AD4-11CE-B03A-0020AF0BA770");
    virtual HRESULT SetNotifyCallback(std::function<void()> callback) = 0;
    // AM_MEDIAEVENT_NONOTIFY (1): events are not queued.
    virtual HRESULT SetNotifyFlags(long flags) = 0;
    virtual HRESULT GetNotifyFlags(long* flags) = 0;
};
inline constexpr long AM_MEDIAEVENT_NONOTIFY = 1;

struct IBasicAudio : IUnknown {
    static constexpr GUID iid = MakeGuid("56A868B3-0AD4-11CE-B03A-0020AF0BA770");
    // Attenuation in hundredths of a decibel, -10000 (silence) to 0 (full).
    virtual HRESULT put_Volume(long volume) = 0;
    virtual HRESULT get_Volume(long* volume) = 0;
    // -10000 (left only) to 10000 (right only).
    virtual HRESULT put_Balance(long balance) = 0;
    virtual HRESULT get_Balance(long* balance) = 0;
};

// Property sets on pins; the engine uses AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY.
struct IKsPropertySet : IUnknown {
    static constexpr GUID iid = MakeGuid("31EFAC30-515C-11D0-A9AA-00AA0061BE93");
    virtual HRESULT Set(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                        void* propertyData, DWORD dataLength) = 0;
    virtual HRESULT Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength,
                        void* propertyData, DWORD dataLength, DWORD* returned) = 0;
    virtual HRESULT QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) = 0;
};
inline constexpr DWORD KSPROPERTY_SUPPORT_GET = 1;
inline constexpr DWORD KSPROPERTY_SUPPORT_SET = 2;

// The file a writer filter writes to.
struct IFileSinkFilter : IUnknown {
    static constexpr GUID iid = MakeGuid("A2104830-7C70-11CF-8BCE-00AA00A3F1A6");
    virtual HRESULT SetFileName(const std::string& fileName, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) = 0;
};

} // namespace talvence
