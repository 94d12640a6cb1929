#pragma once

// A minimal audio capture source on one ALSA capture device: one output pin ("Capture", category
// capture) giving PCM in the format the connection agreed (48000, 44100 or 32000 Hz stereo
// 16-bit offered, any 8/16-bit mono or stereo PCM accepted; ALSA's plug layer converts).
// Samples hold a tenth of a second each and are stamped from the frames captured since the
// start of streaming (contiguous times; the sound-card timestamper restamps them against the
// graph clock). No stream configuration or settings pages yet.
//
// Threads: the application thread creates the filter and drives its states; the pin's
// streaming thread (created on pause from stopped, joined by the stop) reads the device. The
// device is opened on pause, before the thread starts, so a device that cannot be opened fails
// the pause; the stop drops the device first, which releases a blocked read, then joins.

#include "filters/BaseClass/SourceFilter.h"
#include "platform/devices/alsa/PcmCapture.h"

namespace talvence {

class TAlsaCaptureSource;

class TAlsaCaptureStream : public TBCSourceStream {
public:
    explicit TAlsaCaptureStream(TAlsaCaptureSource* source);

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread.
    HRESULT OnThreadCreate() override;
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    TAlsaCaptureSource* source_;
    // Replaced only while no streaming thread exists (Active, after Inactive's join).
    std::unique_ptr<TPcmCaptureDevice> device_;
    TPcmFormat format_;    // as device_
    long long frames_ = 0; // streaming thread: frames captured since the start
};

class TAlsaCaptureSource : public TBCSource {
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
