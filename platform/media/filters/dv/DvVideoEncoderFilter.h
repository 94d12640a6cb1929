#pragma once
// The DV Video Encoder filter: uncompressed video in (RGB24 and RGB32 bottom-up, YUY2, planar
// 4:2:0 and 4:1:1, any size: the core scales), full-size 'dvsd' out, exactly 144000 bytes a
// frame for 625-line DV and 120000 for 525-line DV. The system is set through IDVEnc; it starts
// as NTSC, as the platform's encoder does.
//
// A picture sample carrying its origin (the DV frame it was decoded from and what changed since)
// is coded from that frame, only the changed video segments anew; see DvVideoEncoderCore. So
// the encoder tells the decoder upstream that it reads nothing of such pictures.
//
// A sample too short for its picture, or one the codec refuses, is dropped (EC_QUALITY_CHANGE
// once per run); the stream goes on.
//
// Pictures wait in a short queue in front of the encoder, which works on its own thread
// (TBCQueuedTransformInputPin): the decoding and the inlay upstream go on with the next frames
// while this one is encoded, muxed and written, so a capture uses a second core. A full queue
// holds upstream back; the end of the stream follows the queued frames. With more than one CPU,
// encoding lanes (DvEncodeLanes), one per CPU, code the pictures waiting while the worker
// delivers: frames, not slices, in parallel.
//
// Threads: the application thread connects, drives states and calls IDVEnc; Transform runs on
// the input's worker thread under the receive lock.

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/QueuedTransformInput.h"
#include "filters/BaseClass/TransformFilter.h"
#include "platform/media/filters/dv/DvEncodeLanes.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvVideoEncoderCore.h"

#include <atomic>
#include <memory>

namespace talvence {

class TDvVideoEncoder : public TBCTransformFilter, public IDVEnc {
public:
    TDvVideoEncoder();
    ~TDvVideoEncoder() override;

    FORWARD_IUNKNOWN(TBCTransformFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IDVEnc (application thread). put_IFormatResolution works while the filter is stopped
    // (VFW_E_NOT_STOPPED otherwise); changing the system while the output is connected is
    // refused with VFW_E_ALREADY_CONNECTED, since the connection carries the frame size.
    HRESULT get_IFormatResolution(int* videoFormat, int* dvFormat, int* resolution, BYTE fDVInfo,
                                  DVINFO* sDVInfo) override;
    HRESULT put_IFormatResolution(int videoFormat, int dvFormat, int resolution, BYTE fDVInfo,
                                  DVINFO* sDVInfo) override;

    // IPictureDemand, through demand_ (upstream's thread): nothing of a full-size picture, which is
    // coded from its origin (the parts nobody changed keep the source's bits); else the whole
    // picture.
    PictureNeed NextPictureNeed();

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    // Follows a type change announced by a sample (the framework has checked it).
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    // Any thread: samples dropped since the filter was made.
    long FramesDropped() const { return dropped_; }
    // Any thread: frames the encoding lanes coded since the filter was made.
    long FramesCodedByLanes() const { return codedByLanes_; }

    // Pictures that may wait for the encoder besides the one being encoded: enough for the
    // encoding lanes to find work while the source's frames come unevenly; with one CPU (no
    // lanes) one, so that the few buffers in turn stay in cache.
    static constexpr std::size_t kQueuedPictures = 6;
    static constexpr std::size_t kQueuedPicturesOneCpu = 1;

protected:
    void CreatePins() override;

private:
    dvcodec::DvSystem System() const { return system_; }

    // Written under both locks while stopped; read by the streaming thread under the receive
    // lock and by the connection hooks under the filter lock.
    std::unique_ptr<dvcodec::DvVideoEncoderCore> core_;
    std::atomic<dvcodec::DvSystem> system_;
    std::atomic<long> dropped_{0};
    std::atomic<long> codedByLanes_{0};
    CMediaType inputType_; // receive lock: the type of the samples now arriving
    // Lanes wanted in a run (none with one CPU); made by the worker at the run's first picture,
    // ended at its stop.
    std::size_t lanesWanted_ = 0;
    std::unique_ptr<DvEncodeLanes> lanes_;
    TPictureDemand demand_{static_cast<IBaseFilter*>(this), [this] { return NextPictureNeed(); }};
};

} // namespace talvence
