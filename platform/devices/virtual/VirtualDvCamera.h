#pragma once

// The virtual DV camcorder as a capture filter: one output pin of the capture category sending
// interleaved DV ('dvsd' with a DVINFO block), as a camcorder on IEEE 1394 does, with the
// external-device, transport and timecode-reader interfaces on the filter. The pin is a live
// source of the framework (filters/BaseClass/LiveSource.h): paced by the graph's clock in real
// time, a frame lost when no buffer is free when it is due; as fast as possible when the device
// reads a file that way. What is its own: the tape stepping one frame period at a time, the DV
// frames, and the media type, which changes with the tape between 625 and 525 lines.
//
// Threads: the application thread creates the filter and drives its states; the pin's streaming
// thread is created when the filter pauses, waits for the run, and is joined by the stop. The
// transport and timecode interfaces may be called from any thread (the device locks itself).
// Locks, in this order: the filter lock, the pin's stream lock, the device's own lock.

#include "filters/BaseClass/LiveSource.h"
#include "platform/devices/virtual/DvCamcorderDevice.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/FormatBlocks.h"

#include <memory>
#include <vector>

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

class TVirtualDvStream : public TBCLiveSourceStream {
public:
    TVirtualDvStream(TVirtualDvCamera* filter, std::shared_ptr<DvCamcorderDevice> device);

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    void WakeDevice() override;

    // Streaming thread: the tape moves one period; the frame under the head is sent.
    TBCFrameDue OnFrameDue() override;
    void WaitForDevice() override;
    HRESULT FillFrame(IMediaSample* sample) override;

private:
    // The 50-field flag of a DVINFO block.
    static bool IsPal(const DVINFO& info);

    std::shared_ptr<DvCamcorderDevice> device_;
    bool connectedPal_ = true; // filter lock; read by the streaming thread while active

    // Streaming thread.
    DvCamcorderDevice::Step step_;
    bool announcedPal_ = true; // the system the samples were last typed with
    std::vector<std::uint8_t> frame_;
};

class TVirtualDvCamera : public TBCLiveSource,
                         public IAMExtDevice,
                         public IAMExtTransport,
                         public IAMTimecodeReader {
public:
    // devicePath names the device (its "DevicePath"); the device is shared with other filters
    // bound to the same registration.
    TVirtualDvCamera(std::shared_ptr<DvCamcorderDevice> device, std::string devicePath);

    FORWARD_IUNKNOWN(TBCLiveSource)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

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
