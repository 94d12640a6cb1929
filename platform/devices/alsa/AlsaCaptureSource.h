#pragma once

// A minimal audio capture source on one ALSA capture device: one output pin ("Capture", category
// capture) giving PCM in the format the connection agreed (48000, 44100 or 32000 Hz stereo
// 16-bit offered, any 8/16-bit mono or stereo PCM accepted; ALSA's plug layer converts).
// A live source of the framework, paced by the device (filters/BaseClass/LiveSource.h): it reads
// only while the graph runs. Samples hold a tenth of a second each and are stamped from the frames
// captured since the run's start (contiguous times; the sound-card timestamper restamps them
// against the graph clock). The pin answers IAMPushSource/IAMLatency (live, a tenth of a second
// late) and IAMDroppedFrames, whose samples lost are the overruns the device reports: one per
// overrun, since ALSA does not say how much sound went. IAMStreamConfig fixes the format the pin
// offers (before it connects); its settings page chooses rate and channels that way.
//
// Threads: the application thread creates the filter and drives its states; the pin's
// streaming thread (created on pause from stopped, joined by the stop) reads the device. The
// device is opened on pause, before the thread starts, so a device that cannot be opened fails
// the pause; the stop drops the device first, which releases a blocked read, then joins.
// Locks, in this order: the filter lock, the pin's stream lock, the device's own.

#include "filters/BaseClass/LiveSource.h"
#include "platform/devices/alsa/AlsaMixer.h"
#include "platform/devices/alsa/PcmCapture.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/PropertyPages.h"

#include <optional>

namespace talvence {

class TAlsaCaptureSource;

class TAlsaCaptureStream : public TBCLiveSourceStream,
                           public IAMStreamConfig,
                           public ISpecifyPropertyPages {
public:
    // A pin of `filter` reading the ALSA device `device` through `backend` (null: ALSA); a
    // webcam's source gives its microphone this way.
    TAlsaCaptureStream(TBCLiveSource* filter, std::shared_ptr<TPcmCaptureBackend> backend,
                       std::string device, std::string pinName = "Capture");

    FORWARD_IUNKNOWN(TBCLiveSourceStream)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // IAMStreamConfig (application thread): one capability per offered format; a fixed format
    // is taken before the pin connects (VFW_E_ALREADY_CONNECTED after).
    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** pmt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) override;
    // ISpecifyPropertyPages: the rate and channels page.
    HRESULT GetPages(TPageList* pages) override;

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread: blocks until a sample's worth is read.
    HRESULT FillFrame(IMediaSample* sample) override;

private:
    const std::shared_ptr<TPcmCaptureBackend> backend_;
    const std::string devicePath_;
    // Replaced only while no streaming thread exists (Active, after Inactive's join).
    std::unique_ptr<TPcmCaptureDevice> device_;
    TPcmFormat format_; // as device_
    std::optional<TPcmFormat> fixed_; // filter lock
};

class TAlsaCaptureSource : public TBCLiveSource, public ISpecifyPropertyPages {
public:
    // Application thread. backend and mixer null: ALSA's.
    TAlsaCaptureSource(std::shared_ptr<TPcmCaptureBackend> backend, std::string devicePath,
                       std::string name, std::shared_ptr<TAlsaMixer> mixer = nullptr);

    FORWARD_IUNKNOWN(TBCLiveSource)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // ISpecifyPropertyPages: the card's capture levels, when its mixer has any.
    HRESULT GetPages(TPageList* pages) override;

    IPin* OutputPin() { return GetPin(0); }

private:
    friend class TAlsaCaptureStream;
    std::shared_ptr<TPcmCaptureBackend> backend_;
    std::shared_ptr<TAlsaMixer> mixer_;
    const std::string devicePath_;
};

} // namespace talvence
