#pragma once
// The MPEG-2 Demultiplexer: an MPEG program stream in ("MPEG-2 Stream": MEDIATYPE_Stream), the
// elementary streams out, on output pins made on request (IMpeg2Demultiplexer), each carrying
// the stream ids mapped to it (IMPEG2StreamIdMap on the pin). Each PES packet of a mapped id is
// one sample: its payload (or the whole packet for a PES mapping), with the presentation time
// converted to stream time (the first time stamp of the run lands on the stream time of the
// input sample that carried it) and marked as a sync point.
//
// Streams numbered otherwise: while no packet of a pin's mapped id has come, the first video
// (or audio) stream of the program feeds the pin whose type is video (or audio) in its stead,
// and the log says so (devices use 0xE0/0xC0 where others map 0xE1/0xC1). The program stream is
// parsed by ProgramStreamParser: damage is skipped and counted (DamagedCount), never read past.
//
// Locks: the filter lock (pins, mappings, states), then the receive lock (the parser and
// delivery, on the upstream's streaming thread). Pins are made and removed only while stopped.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/mpeg/MpegInterfaces.h"
#include "platform/media/filters/mpeg/ProgramStreamParser.h"

#include <atomic>
#include <memory>
#include <vector>

namespace talvence {

class FilterRegistry;
class TMpeg2Demultiplexer;

class TMpegDemuxInputPin : public TBCBaseInputPin {
public:
    explicit TMpegDemuxInputPin(TMpeg2Demultiplexer* filter);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Streaming thread.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    // Application thread.
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TMpeg2Demultiplexer* demux_;
};

class TMpegDemuxOutputPin : public TBCBaseOutputPin, public IMPEG2StreamIdMap {
public:
    TMpegDemuxOutputPin(TMpeg2Demultiplexer* filter, const std::string& name,
                        const CMediaType& type);

    FORWARD_IUNKNOWN(TBCBaseOutputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IMPEG2StreamIdMap (application thread).
    HRESULT MapStreamId(ULONG streamId, DWORD contentType, ULONG substreamFilterValue,
                        int dataOffset) override;
    HRESULT UnmapStreamId(ULONG count, const ULONG* streamIds) override;

private:
    friend class TMpeg2Demultiplexer;
    TMpeg2Demultiplexer* demux_;
    CMediaType type_; // filter lock
    struct Mapping {
        std::uint8_t id;
        bool wholePackets;
    };
    std::vector<Mapping> mappings_; // filter lock; read by the streaming thread while active
    // Receive lock: a packet of a mapped id has come this run.
    bool mappedSeen_ = false;
    bool firstOfRun_ = true;
};

class TMpeg2Demultiplexer : public TBCBaseFilter, public IMpeg2Demultiplexer {
public:
    TMpeg2Demultiplexer();
    // The same demultiplexer under another name and class id (the MovieBox's stand-ins).
    TMpeg2Demultiplexer(const std::string& name, const CLSID& clsid);
    ~TMpeg2Demultiplexer() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    // Application thread.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // IMpeg2Demultiplexer (application thread; VFW_E_NOT_STOPPED unless stopped).
    HRESULT CreateOutputPin(const AM_MEDIA_TYPE* mt, const std::string& name,
                            IPin** pin) override;
    HRESULT SetOutputPinMediaType(const std::string& name, const AM_MEDIA_TYPE* mt) override;
    HRESULT DeleteOutputPin(const std::string& name) override;

    // Any thread: counts since the filter was made.
    std::uint64_t DamagedCount() const { return damaged_; }
    std::uint64_t PacketCount() const { return packets_; }

private:
    friend class TMpegDemuxInputPin;
    friend class TMpegDemuxOutputPin;

    TMpegDemuxOutputPin* FindOutput(const std::string& name);
    // Streaming thread, receive lock.
    HRESULT Parse(IMediaSample* sample);
    void Deliver(const mpeg::PesPacket& pes);
    // The pin a packet goes to; null when none takes it (falls back as the header says).
    TMpegDemuxOutputPin* RouteOf(std::uint8_t streamId, bool& wholePacket);
    void ResetStream();
    void PublishCounters();

    TBCCritSec csFilter_;
    TBCCritSec csReceive_;
    TMpegDemuxInputPin input_;
    std::vector<std::unique_ptr<TMpegDemuxOutputPin>> outputs_; // filter lock
    // Deleted pins live on with the filter: a caller may still hold one (its references are
    // the filter's).
    std::vector<std::unique_ptr<TMpegDemuxOutputPin>> deleted_; // filter lock

    // Receive lock.
    mpeg::ProgramStreamParser parser_;
    bool haveBase_ = false;
    std::int64_t basePts_ = 0; // the run's first system clock reference
    REFERENCE_TIME baseTime_ = 0;
    REFERENCE_TIME inputTime_ = 0; // the time of the input sample being parsed
    bool inputTimed_ = false;
    std::uint8_t fallbackVideo_ = 0; // the stream fed to the video pin in its mapped id's stead
    std::uint8_t fallbackAudio_ = 0;

    bool eosDelivered_ = false; // filter lock
    std::atomic<std::uint64_t> damaged_{0};
    std::atomic<std::uint64_t> packets_{0};
};

void RegisterMpeg2Demultiplexer(FilterRegistry& registry);

// Stand-ins for the MovieBox's two demultiplexers, which do not exist on this platform: this
// demultiplexer under their class ids and names, with its outputs made up front ("Video" for
// stream 0xE0, then "Audio" for 0xC0, each taking the first stream of its kind when the program
// numbers otherwise), because the MovieBox graphs connect the filter's outputs directly. Each is
// registered in the filter category when asked for; registering one already there does nothing.
void RegisterMovieBoxDemultiplexers(FilterRegistry& registry, bool cirrusSplitter,
                                    bool movieBoxDemux);

} // namespace talvence
