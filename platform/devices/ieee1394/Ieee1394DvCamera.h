#pragma once
// A DV camcorder on IEEE 1394 as a capture filter: one output pin of the capture category with
// the interleaved DV stream ('dvsd', DVINFO from the frames), as the virtual camcorder's, so that
// every DV recipe works unchanged; the AV/C tape transport and timecode on the filter.
//
// The pin is a live source with device pacing: frames come whole from the reception, stamped with
// the graph clock's time at their arrival and the stream's frame duration; a frame that lost
// packets is dropped and counted (IAMDroppedFrames); a unit that leaves the bus ends the stream
// with EC_DEVICE_LOST and its catalogue entry goes.
//
// Threads: the application thread creates the filter and drives its states; the pin's streaming
// thread reads the reception. The transport and timecode interfaces may be called from any
// thread; the unit serialises its commands.

#include "filters/BaseClass/LiveSource.h"
#include "platform/devices/ieee1394/Ieee1394System.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/FilterRegistry.h"

#include <memory>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <optional>
#include <vector>

namespace talvence {

inline constexpr GUID CLSID_Ieee1394DvCamera = MakeGuid("5B1E7C42-0D9A-4F63-9E1B-2A7C4D8E9F10");

class TIeee1394DvCamera;

// The AV/C unit on a thread of its own, so that a camcorder slow to answer (up to the AV/C
// timeout, or never) holds no caller: commands are queued and sent in order, and the mode and
// timecode are read every few tenths of a second into values any thread reads at once.
class TAvcWorker {
public:
    explicit TAvcWorker(std::unique_ptr<IAvcUnit> unit);
    ~TAvcWorker();
    void Send(long mode);
    long Mode() const;                            // the last mode read, or the last one sent
    std::optional<std::uint32_t> Timecode() const; // the last timecode read

private:
    void Run();

    std::unique_ptr<IAvcUnit> unit_; // the worker thread's only
    mutable std::mutex mutex_;       // guards everything below
    std::condition_variable wake_;
    std::deque<long> commands_;
    long mode_ = ED_MODE_STOP;
    std::optional<std::uint32_t> timecode_;
    bool quit_ = false;
    std::thread thread_;
};

class TIeee1394DvStream : public TBCLiveSourceStream {
public:
    TIeee1394DvStream(TIeee1394DvCamera* filter, std::shared_ptr<IIeee1394System> system,
                      std::uint64_t guid);

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread.
    HRESULT FillFrame(IMediaSample* sample) override;

private:
    std::shared_ptr<IIeee1394System> system_;
    const std::uint64_t guid_;
    std::mutex receptionMutex_;                // guards the pointer, not the reading
    std::unique_ptr<IDvReception> reception_;  // while active
    std::optional<CMediaType> firstFrameType_; // filter lock
    bool connectedPal_ = true;                 // filter lock
    bool announcedPal_ = true;                 // streaming thread
    std::vector<std::uint8_t> frame_;          // streaming thread
};

class TIeee1394DvCamera : public TBCLiveSource,
                          public IAMExtDevice,
                          public IAMExtTransport,
                          public IAMTimecodeReader {
public:
    TIeee1394DvCamera(std::shared_ptr<IIeee1394System> system, Ieee1394Unit unit,
                      FilterRegistry* registry);

    FORWARD_IUNKNOWN(TBCLiveSource)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The unit left the bus: its entry leaves the catalogue (streaming thread).
    void UnitGone();

    // IAMExtDevice: the device type is VCR for a unit with a tape subunit.
    HRESULT GetCapability(long capability, long* value, double* dblValue) override;
    HRESULT get_ExternalDeviceID(std::string* id) override;
    HRESULT get_ExternalDeviceVersion(std::string* version) override;
    HRESULT put_DevicePower(long powerMode) override;
    HRESULT get_DevicePower(long* powerMode) override;
    // IAMExtTransport: AV/C VCR commands.
    HRESULT put_Mode(long mode) override;
    HRESULT get_Mode(long* mode) override;
    // IAMTimecodeReader: the tape's timecode as packed BCD.
    HRESULT GetTimecode(TIMECODE_SAMPLE* sample) override;

private:
    Ieee1394Unit unit_;
    FilterRegistry* registry_; // outlives its entries' filters
    TAvcWorker avc_;
};

// Registers every camcorder the system finds in the video input category, in place of those
// registered before (a camcorder plugged in since is listed, one gone is not); answers how many.
int RegisterIeee1394Cameras(FilterRegistry& registry, std::shared_ptr<IIeee1394System> system);

} // namespace talvence
