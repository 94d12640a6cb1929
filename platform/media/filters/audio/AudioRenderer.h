#pragma once

// The audio renderer: plays PCM (8/16 bits, one or two channels) through a playback device,
// ALSA "default" unless told otherwise, with blocking writes on the upstream's streaming thread,
// so the device paces the stream. When no device can be opened at the start of streaming it
// plays to the null device instead: samples are consumed at real time against the graph clock
// (each one when the clock reaches its stop time), and at once when the graph has no clock.
// A graph without a clock runs a source that is not live as fast as it can be read: no device is
// opened then and samples go to the null device, since a blocking device would hold the whole
// stream to real time.
//
// While paused a sample waits for the run (nothing is heard before it). The graph volume arrives
// through IBasicAudio: the attenuation (hundredths of a decibel, -10000..0) and the balance
// become linear gains applied to a copy of each sample (the sample itself may be shared by a
// tee with a capture branch). End of stream waits until the device has played what it holds and
// then reports EC_COMPLETE once per run. Stop and the start of a flush never wait for the device:
// they drop it, which releases a blocked write at once.
//
// Locks, in this order: the filter lock (filterLock_) for state changes and the connection; the
// receive lock (receiveLock_) for each sample, end of stream and around starting and stopping
// streaming; deviceLock_ only around handing the device pointer over, so that stop can drop the
// device while the streaming thread is blocked in a write.
// Threads: states and IBasicAudio on the application thread (IBasicAudio from any thread);
// Receive and EndOfStream on the upstream's streaming thread.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/audio/PcmPlayback.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvence {

class TAudioRenderer;

class TAudioRendererInputPin : public TBCBaseInputPin {
public:
    explicit TAudioRendererInputPin(TAudioRenderer* renderer);

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Streaming thread; take the receive lock.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Application thread: a flush drops what the device holds and forgets the end of stream.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TAudioRenderer* renderer_;
};

class TAudioRenderer : public TBCBaseFilter, public IBasicAudio {
public:
    // Application thread. backend null: ALSA.
    explicit TAudioRenderer(std::shared_ptr<TPcmPlaybackBackend> backend = nullptr,
                            std::string device = "default");
    ~TAudioRenderer() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;
    IPin* InputPin() { return &input_; }

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // IBasicAudio (any thread). Volume -10000..0, balance -10000..10000, else E_INVALIDARG.
    HRESULT put_Volume(long volume) override;
    HRESULT get_Volume(long* volume) override;
    HRESULT put_Balance(long balance) override;
    HRESULT get_Balance(long* balance) override;

    // Any thread: the current streaming plays to the null device (no device could be opened).
    bool UsingNullDevice() const { return nullDevice_; }
    // Any thread: media samples played (or consumed by the null device) since the last start.
    long SamplesRendered() const { return rendered_; }

    // The linear gain of an attenuation in hundredths of a decibel; -10000 is silence.
    static double GainOf(long attenuation);

private:
    friend class TAudioRendererInputPin;

    // Receive lock held.
    HRESULT Render(IMediaSample* sample);
    HRESULT HandleEndOfStream();
    void NotifyComplete();
    void OpenDevice(const TPcmFormat& format);
    void CloseDevice();
    // Streaming thread: false when a stop or flush cancelled the wait.
    bool WaitUntilRunning();
    bool WaitUntilStreamTime(REFERENCE_TIME time);
    bool WaitFor(REFERENCE_TIME duration);
    // Application thread: ends every wait and a blocked write; refuses new ones until AllowWait.
    void CancelWait();
    // Application thread, receive lock held (so no write of the cancelled stream is under way):
    // waits and writes may happen again.
    void AllowWait();
    // The sample's bytes with volume and balance applied; the input itself when both are unity.
    const BYTE* Scaled(const BYTE* data, long length);

    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // the receive lock
    TAudioRendererInputPin input_;

    std::shared_ptr<TPcmPlaybackBackend> backend_; // set at construction
    const std::string deviceName_;

    mutable std::mutex deviceLock_;
    std::shared_ptr<TPcmPlaybackDevice> device_; // deviceLock_; replaced under the receive lock
    std::atomic<bool> nullDevice_{false};        // written under the receive lock
    bool clocked_ = true;                        // receive lock: the graph had a clock at pause
    TPcmFormat format_;                          // receive lock
    REFERENCE_TIME nextTime_ = 0;                // receive lock: null device, untimed samples
    bool endOfStream_ = false;                   // receive lock: reported for this run
    // The end of the stream came while not running: EC_COMPLETE is posted by Run. Taken with an
    // exchange by whichever of the two sees it last, so it is posted once.
    std::atomic<bool> completeOnRun_{false};
    std::vector<BYTE> scratch_;                  // receive lock: grows, never shrinks

    CAMEvent due_;                       // set by the run, the clock and a cancel
    std::atomic<bool> cancelled_{false}; // written by the application thread
    std::atomic<long> volume_{0};        // any thread
    std::atomic<long> balance_{0};       // any thread
    std::atomic<long> rendered_{0};      // streaming thread writes, any thread reads
};

} // namespace talvence
