#pragma once

// The capture source of a V4L2 video node (a webcam, an analogue card), through the seam so that
// the virtual devices run this very code. One output pin "Capture" (category capture) offering
// every mode the node has (IAMStreamConfig: pixel format, size and frame interval; a fixed
// format narrows the offer to it). Frames come through memory-mapped buffers (a node without
// streaming I/O, an MPEG encoder read with read(), hands its stream in the pieces each read
// gives, and offers only its stream formats), paced by the device: each is stamped with the graph
// clock's stream time when it is dequeued (the frame interval long), or counted in intervals
// without a clock. Gaps in the driver's sequence numbers are the frames lost (IAMDroppedFrames). A
// device that goes away (ENODEV) posts EC_DEVICE_LOST and the stream stops; downstream keeps what
// it has.
//
// The filter also routes the node's inputs (VIDIOC_S_INPUT), sets its TV standard and reads and
// sets its controls; these act on the device at once and are applied again when streaming
// starts. A node with several inputs, or a tuner, is an analogue card: the filter then has an
// analogue video input pin (index 1) and puts a crossbar filter upstream of it when asked
// (IAMUpstreamCrossbars), one crossbar input per V4L2 input (a tuner, S-Video by its name, else
// composite), whose routing selects the input.
//
// A webcam whose USB device also has a sound card (IV4l2System::SoundDevice) gets a second output
// pin, "Audio", reading that card's capture device: the source's own audio.
//
// Threads: the application thread creates the filter, drives its states and calls the input,
// standard and control methods; the pin's streaming thread (created on pause from stopped,
// joined by the stop) polls and dequeues. The device is opened and its buffers mapped on pause,
// before the thread starts, so a device that cannot be opened fails the pause; each run restarts
// streaming, so a run never starts with frames of the previous one. The thread polls with a
// short timeout, so a stop is seen without waking it.
// Locks, in this order: the filter lock, the pin's stream lock. The pin's device members are
// changed only while no streaming thread exists.

#include "filters/BaseClass/LiveSource.h"
#include "platform/devices/v4l2/CrossbarFilter.h"
#include "platform/devices/v4l2/V4l2Device.h"
#include "platform/media/PropertyPages.h"

#include <map>

namespace talvence {

inline constexpr CLSID CLSID_V4l2Capture = MakeGuid("6B2D8E41-3C7A-4F95-A0E3-51D9C6B87A20");

class TV4l2CaptureSource;

class TV4l2CaptureStream : public TBCLiveSourceStream,
                           public IAMStreamConfig,
                           public ISpecifyPropertyPages {
public:
    TV4l2CaptureStream(TV4l2CaptureSource* source, std::vector<TV4l2Mode> modes);

    FORWARD_IUNKNOWN(TBCLiveSourceStream)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Application thread (filter lock).
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming thread.
    void OnRunStart() override;
    TBCFrameDue OnFrameDue() override;
    HRESULT FillFrame(IMediaSample* sample) override;

    // IAMStreamConfig (application thread). Capabilities: one per mode, in the device's order.
    // A format is fixed before the pin connects; a connected pin takes only an interval of its
    // layout (VFW_E_ALREADY_CONNECTED otherwise).
    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** pmt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) override;
    // ISpecifyPropertyPages (application thread): the format page.
    HRESULT GetPages(TPageList* pages) override;

    // Any thread: the modes the device offers.
    const std::vector<TV4l2Mode>& Modes() const { return modes_; }

private:
    // The device's mode a type asks for (the nearest interval of its layout); none when the
    // device has no such layout or a fixed format refuses it.
    std::optional<TV4l2Mode> Match(const AM_MEDIA_TYPE& mt, bool ignoreFixed = false) const;
    HRESULT OpenDevice();
    void CloseDevice();
    // Streaming thread: gives the pending buffer back to the driver.
    void Requeue();
    // Streaming thread, a node without streaming I/O: the next piece of its stream.
    TBCFrameDue ReadDue();

    TV4l2CaptureSource* const source_;
    const std::vector<TV4l2Mode> modes_;
    std::optional<TV4l2Mode> fixed_; // filter lock

    struct Mapped {
        void* data = nullptr;
        std::size_t length = 0;
    };
    // Made by Active, dropped after Inactive's join; used by the streaming thread in between.
    std::unique_ptr<TV4l2Handle> device_;
    TV4l2Mode mode_;
    std::vector<Mapped> buffers_;
    std::vector<std::uint8_t> readBuffer_; // what a read() gives, for a node without streaming
    // Streaming thread.
    int pending_ = -1; // the buffer dequeued for the next FillFrame
    std::uint32_t pendingBytes_ = 0;
    std::uint32_t pendingSequence_ = 0;
    bool haveSequence_ = false;
    std::uint32_t lastSequence_ = 0;
    bool firstOfRun_ = true;
};

class TV4l2CaptureSource : public TBCLiveSource,
                           public IAMUpstreamCrossbars,
                           public IAMAnalogVideoDecoder,
                           public ISpecifyPropertyPages {
public:
    FORWARD_IUNKNOWN(TBCLiveSource)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;
    // IAMUpstreamCrossbars (application thread, in a graph).
    HRESULT AddUpstreamCrossbars() override;
    // IAMAnalogVideoDecoder (application thread; analogue cards only): PAL or NTSC, through
    // VIDIOC_S_STD on the selected input.
    HRESULT get_AvailableTVFormats(long* formats) override;
    HRESULT put_TVFormat(long format) override;
    HRESULT get_TVFormat(long* format) override;
    // ISpecifyPropertyPages (application thread): the controls page, when the device has controls.
    HRESULT GetPages(TPageList* pages) override;

    // Application thread. Reads the node's modes, inputs and controls; null when the node cannot
    // be opened or does not capture video. settingsKey names the device in the store of control
    // values (its stable path); the values kept there are applied now and at every opening.
    // Empty: nothing is kept. filterClass is the class id the filter answers (GetClassID): a
    // device whose graphs depend on its maker's capture filter (the MovieBox) answers that one.
    static ComPtr<TV4l2CaptureSource> Create(std::shared_ptr<IV4l2System> system, std::string path,
                                             std::string name, std::string settingsKey = {},
                                             const CLSID& filterClass = CLSID_V4l2Capture);

    IPin* OutputPin() { return GetPin(0); }
    TV4l2CaptureStream* Stream() { return static_cast<TV4l2CaptureStream*>(GetPin(0)); }

    // Application thread.
    const std::vector<TV4l2Input>& Inputs() const { return inputs_; }
    int SelectedInput() const { return input_; }
    HRESULT SelectInput(int index);
    // A set of V4L2_STD_* bits; E_NOTIMPL for an input without standards.
    HRESULT SetStandard(std::uint64_t standard);
    const std::vector<TV4l2Control>& Controls() const { return controls_; }
    HRESULT GetControl(std::uint32_t id, std::int32_t* value);
    HRESULT SetControl(std::uint32_t id, std::int32_t value);
    // The control values kept for the device: replaced (and stored under the settings key).
    const std::map<std::uint32_t, std::int32_t>& KeptControls() const { return kept_; }
    void KeepControls(std::map<std::uint32_t, std::int32_t> values);

private:
    friend class TV4l2CaptureStream;
    TV4l2CaptureSource(std::shared_ptr<IV4l2System> system, std::string path, std::string name,
                       const CLSID& filterClass);
    // Applies the chosen input, standard and the kept control values on an open descriptor.
    void ApplyRouting(TV4l2Handle& handle);

    const std::shared_ptr<IV4l2System> system_;
    const std::string path_;
    std::vector<TV4l2Input> inputs_;
    std::vector<TV4l2Control> controls_;
    std::string settingsKey_;
    std::map<std::uint32_t, std::int32_t> kept_; // application thread
    std::unique_ptr<TAnalogVideoInputPin> analogIn_; // analogue cards only
    bool readIo_ = false; // the node reads with read() (no streaming I/O); set by Create
    int input_ = 0;                                  // application thread
    std::uint64_t standard_ = 0;                     // application thread; 0: the driver's
};

} // namespace talvence
