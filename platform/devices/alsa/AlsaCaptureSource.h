#pragma once

// A minimal audio capture source on one ALSA capture device: one output pin ("Capture", category
// capture) giving PCM in the format the connection agreed (48000, 44100 or 32000 Hz stereo
// 16-bit offered, any 8/16-bit mono or stereo PCM accepted; ALSA's plug layer converts).
// A live source of the framework, paced by the device (filters/BaseClass/LiveSource.h): it reads
// only while the graph runs. Samples hold a tenth of a second each and are stamped from the frames
// captured since the run's start (contiguous times; the sound-card timestamper restamps them
// against the graph clock). The pin answers IAMPushSource/IAMLatency (live, a tenth of a second
// late) and IAMDroppedFrames, whose samples lost are the overruns the device reports: one per
// overrun, since ALSA does not say how much sound went. No stream configuration or settings pages
// yet.
//
// Threads: the application thread creates the filter and drives its states; the pin's
// streaming thread (created on pause from stopped, joined by the stop) reads the device. The
// device is opened on pause, before the thread starts, so a device that cannot be opened fails
// the pause; the stop drops the device first, which releases a blocked read, then joins.
// Locks, in this order: the filter lock, the pin's stream lock, the device's own.

#include "filters/BaseClass/LiveSource.h"
#include "platform/devices/alsa/PcmCapture.h"

namespace talvence {

class TAlsaCaptureSource;

class TAlsaCaptureStream : public TBCLiveSourceStream {
public:
    explicit TAlsaCaptureStream(TAlsaCaptureSource* source);

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread: blocks until a sample's worth is read.
    HRESULT FillFrame(IMediaSample* sample) override;

private:
    TAlsaCaptureSource* source_;
    // Replaced only while no streaming thread exists (Active, after Inactive's join).
    std::unique_ptr<TPcmCaptureDevice> device_;
    TPcmFormat format_; // as device_
};

class TAlsaCaptureSource : public TBCLiveSource {
public:
    // Application thread. backend null: ALSA.
    TAlsaCaptureSource(std::shared_ptr<TPcmCaptureBackend> backend, std::string devicePath,
                       std::string name);

    IPin* OutputPin() { return GetPin(0); }

private:
    friend class TAlsaCaptureStream;
    std::shared_ptr<TPcmCaptureBackend> backend_;
    const std::string devicePath_;
};

} // namespace talvence
