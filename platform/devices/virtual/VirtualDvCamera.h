#pragma once

// The virtual DV camcorder as a capture filter: one output pin of the capture category sending
// interleaved DV ('dvsd' with a DVINFO block), as a camcorder on IEEE 1394 does, with the
// external-device, transport and timecode-reader interfaces on the filter and the dropped-frame
// counters on the pin.
//
// Pacing: in real time a frame is due every frame period of the graph's reference clock; when no
// buffer is free at that moment the frame is lost (counted as dropped) and the tape moves on, as
// with a live device. As fast as possible: frames follow each other as soon as downstream takes
// them, stamped with consecutive times, and none is dropped. Samples are sent only while the
// graph runs (a live source cannot cue in pause).
//
// Threads: the application thread creates the filter and drives its states; the pin's streaming
// thread is created when the filter pauses, waits for the run, and is joined by the stop. The
// transport and timecode interfaces may be called from any thread (the device locks itself).
// Locks, in this order: the filter lock, the pin's stream lock, the device's own lock.

#include "filters/BaseClass/SourceFilter.h"
#include "platform/devices/virtual/DvCamcorderDevice.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/FormatBlocks.h"

#include <memory>
#include <mutex>

namespace talvence {

inline constexpr GUID CLSID_VirtualDvCamera = MakeGuid("7D3C2A10-58E4-4B9E-A1F6-3C0E9B52D7A4");

// DVINFO of a DV frame: the audio source and control packs of both audio halves and the video
// source and control packs, as the pack bytes PC1..PC4 (byte 18, PC3 of the video source pack,
// carries the 50-field flag). A pack the frame lacks reads as "no information" (all ones), except
// that the video source pack always carries the frame's system.
DVINFO DvInfoOfFrame(const std::uint8_t* frame, std::size_t size);
// MEDIATYPE_Interleaved / MEDIASUBTYPE_dvsd / FORMAT_DvInfo with fixed-size samples of the frame.
CMediaType DvMediaTypeOfFrame(const std::uint8_t* frame, std::size_t size);

class TVirtualDvCamera;

class TVirtualDvStream : public TBCSourceStream, public IAMDroppedFrames, public IAMPushSource {
public:
    TVirtualDvStream(TVirtualDvCamera* filter, std::shared_ptr<DvCamcorderDevice> device);

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return TBCSourceStream::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return TBCSourceStream::AddRef(); }
    ULONG Release() override { return TBCSourceStream::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    // Called by the filter when it runs (with its clock and start time) and when it pauses.
    void Started(IReferenceClock* clock, REFERENCE_TIME startTime);
    void Paused();

    // Streaming thread.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT Deliver(IMediaSample* sample) override;

    // IAMDroppedFrames (any thread): counts since the filter last left the stopped state.
    HRESULT GetNumDropped(long* dropped) override;
    HRESULT GetNumNotDropped(long* notDropped) override;
    HRESULT GetDroppedInfo(long size, long* frames, long* copied) override;
    HRESULT GetAverageFrameSize(long* averageSize) override;

    // IAMPushSource (any thread). A device that reads its file as fast as it is taken is not
    // live. The stream offset is always zero.
    HRESULT GetLatency(REFERENCE_TIME* latency) override;
    HRESULT GetPushSourceFlags(ULONG* flags) override;
    HRESULT SetPushSourceFlags(ULONG flags) override;
    HRESULT SetStreamOffset(REFERENCE_TIME offset) override;
    HRESULT GetStreamOffset(REFERENCE_TIME* offset) override;
    HRESULT GetMaxStreamOffset(REFERENCE_TIME* maxOffset) override;
    HRESULT SetMaxStreamOffset(REFERENCE_TIME maxOffset) override;

    // Any thread: frame periods the device has gone through since the filter was created (lets
    // a caller know that the device has had its chance to send something).
    std::uint64_t Periods() const { return periods_; }

private:
    // The 50-field flag of a DVINFO block.
    static bool IsPal(const DVINFO& info);
    // Waits until the clock reaches the stream time `due`: S_OK, or S_FALSE when the run ended
    // (paused, stopped) while waiting.
    HRESULT WaitUntil(IReferenceClock* clock, REFERENCE_TIME startTime, REFERENCE_TIME due);
    bool StillRunning(std::uint64_t generation);

    std::shared_ptr<DvCamcorderDevice> device_;

    // Stream lock: what the application thread hands to the streaming thread.
    std::mutex streamMutex_;
    std::condition_variable runChanged_;
    bool running_ = false;              // stream lock
    std::uint64_t runGeneration_ = 0;   // stream lock: bumped by every run
    ComPtr<IReferenceClock> clock_;     // stream lock
    REFERENCE_TIME startTime_ = 0;      // stream lock
    std::atomic<bool> stopping_{false}; // set under the stream lock
    CAMEvent tick_;                     // the clock's advise; also set to wake the thread
    bool connectedPal_ = true;          // filter lock; read by the streaming thread while active

    // Streaming thread only.
    std::uint64_t seenGeneration_ = 0;
    std::int64_t runUnits_ = 0; // stream time of the next period, in 1/30000 s
    std::atomic<std::int64_t> periodUnits_{1200}; // also read by GetLatency
    DvCamcorderDevice::Step step_;
    bool endPending_ = false;
    bool discontinuity_ = true;
    bool announcedPal_ = true; // the system the samples were last typed with
    std::vector<std::uint8_t> frame_;

    // Counters (any thread). The dropped frame numbers are guarded by droppedMutex_.
    std::atomic<std::uint64_t> periods_{0};
    std::atomic<long> produced_{0};
    std::atomic<long> delivered_{0};
    std::atomic<long> dropped_{0};
    std::atomic<long long> deliveredBytes_{0};
    std::mutex droppedMutex_;
    std::vector<long> droppedFrames_; // the first kMaxDroppedKept frame numbers
};

class TVirtualDvCamera : public TBCSource,
                         public IAMExtDevice,
                         public IAMExtTransport,
                         public IAMTimecodeReader {
public:
    // devicePath names the device (its "DevicePath"); the device is shared with other filters
    // bound to the same registration.
    TVirtualDvCamera(std::shared_ptr<DvCamcorderDevice> device, std::string devicePath);
    ~TVirtualDvCamera() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return TBCSource::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return TBCSource::AddRef(); }
    ULONG Release() override { return TBCSource::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMediaFilter (application thread). Paused, a live source answers VFW_S_CANT_CUE.
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;

    TVirtualDvStream* Stream() { return stream_; }

    // IAMExtDevice (any thread).
    HRESULT GetCapability(long capability, long* value, double* dblValue) override;
    HRESULT get_ExternalDeviceID(std::string* id) override;
    HRESULT get_ExternalDeviceVersion(std::string* version) override;
    HRESULT put_DevicePower(long powerMode) override;
    HRESULT get_DevicePower(long* powerMode) override;

    // IAMExtTransport (any thread). In camera mode put_Mode fails (no tape moves).
    HRESULT put_Mode(long mode) override;
    HRESULT get_Mode(long* mode) override;

    // IAMTimecodeReader (any thread): the tape timecode as packed BCD, all ones when the frame
    // under the head has none.
    HRESULT GetTimecode(TIMECODE_SAMPLE* sample) override;

private:
    std::shared_ptr<DvCamcorderDevice> device_;
    std::string devicePath_;
    TVirtualDvStream* stream_; // owned by pins_
};

// Packed BCD of a timecode: hours in the top byte, then minutes, seconds and frames.
DWORD PackTimecodeBcd(const DvTimecode& tc);

} // namespace talvence
