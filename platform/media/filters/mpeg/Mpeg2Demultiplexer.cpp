#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"

#include "platform/log/Log.h"
#include "platform/media/FilterRegistry.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"

#include <algorithm>
#include <cstring>

namespace talvence {

namespace {

// The largest PES packet and a pool deep enough for a video frame's packets in flight.
constexpr LONG kPacketBytes = 65536 + 6;
constexpr LONG kPacketBuffers = 32;

// A 33-bit time stamp difference, signed, in 100 ns units.
REFERENCE_TIME PtsDelta(std::int64_t pts, std::int64_t base) {
    constexpr std::int64_t kWrap = std::int64_t(1) << 33;
    std::int64_t delta = (pts - base) % kWrap;
    if (delta < 0) delta += kWrap;
    if (delta >= kWrap / 2) delta -= kWrap;
    return delta * 1000 / 9;
}

std::string StreamIdText(std::uint8_t id) {
    static const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[id >> 4] + digits[id & 15];
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Input

TMpegDemuxInputPin::TMpegDemuxInputPin(TMpeg2Demultiplexer* filter)
    : TBCBaseInputPin("MPEG-2 Demultiplexer input pin", filter, &filter->csFilter_,
                      "MPEG-2 Stream"),
      demux_(filter) {}

HRESULT TMpegDemuxInputPin::CheckMediaType(const CMediaType* mt) {
    if (!(mt->majortype == MEDIATYPE_Stream)) return VFW_E_TYPE_NOT_ACCEPTED;
    return mt->subtype == MEDIASUBTYPE_MPEG2_PROGRAM || mt->subtype == GUID_NULL
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpegDemuxInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(demux_->csReceive_);
    const HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (sampleProps_.dwStreamId != AM_STREAM_MEDIA) return S_OK; // nothing to parse
    return demux_->Parse(sample);
}

HRESULT TMpegDemuxInputPin::EndOfStream() {
    TBCAutoLock lock(demux_->csReceive_);
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    demux_->parser_.Finish();
    demux_->PublishCounters();
    for (auto& out : demux_->outputs_)
        if (out->IsConnected()) out->DeliverEndOfStream();
    return S_OK;
}

HRESULT TMpegDemuxInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    TBCBasePin::NewSegment(tStart, tStop, rate);
    for (auto& out : demux_->outputs_)
        if (out->IsConnected()) out->DeliverNewSegment(tStart, tStop, rate);
    return S_OK;
}

HRESULT TMpegDemuxInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    const HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    for (auto& out : demux_->outputs_)
        if (out->IsConnected()) out->DeliverBeginFlush();
    return S_OK;
}

HRESULT TMpegDemuxInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    {
        TBCAutoLock receive(demux_->csReceive_);
        demux_->ResetStream();
    }
    for (auto& out : demux_->outputs_)
        if (out->IsConnected()) out->DeliverEndFlush();
    return TBCBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------------
// Outputs

TMpegDemuxOutputPin::TMpegDemuxOutputPin(TMpeg2Demultiplexer* filter, const std::string& name,
                                         const CMediaType& type)
    : TBCBaseOutputPin("MPEG-2 Demultiplexer output pin", filter, &filter->csFilter_, name),
      demux_(filter), type_(type) {}

HRESULT TMpegDemuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IMPEG2StreamIdMap::iid) return GetInterface(static_cast<IMPEG2StreamIdMap*>(this), ppv);
    return TBCBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TMpegDemuxOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = type_;
    return S_OK;
}

HRESULT TMpegDemuxOutputPin::CheckMediaType(const CMediaType* mt) {
    return *mt == type_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpegDemuxOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    return RequestBuffers(allocator, request, kPacketBuffers, kPacketBytes);
}

HRESULT TMpegDemuxOutputPin::MapStreamId(ULONG streamId, DWORD contentType,
                                         ULONG substreamFilterValue, int dataOffset) {
    TBCAutoLock lock(*lock_);
    if (!demux_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (streamId < 0xBD || streamId > 0xEF || substreamFilterValue != 0 || dataOffset != 0)
        return E_INVALIDARG;
    if (contentType != MPEG2_PROGRAM_ELEMENTARY_STREAM && contentType != MPEG2_PROGRAM_PES_STREAM)
        return E_INVALIDARG;
    // An id goes to one pin only.
    for (auto& out : demux_->outputs_)
        for (const Mapping& m : out->mappings_)
            if (m.id == streamId) return E_INVALIDARG;
    mappings_.push_back({std::uint8_t(streamId), contentType == MPEG2_PROGRAM_PES_STREAM});
    return S_OK;
}

HRESULT TMpegDemuxOutputPin::UnmapStreamId(ULONG count, const ULONG* streamIds) {
    TBCAutoLock lock(*lock_);
    if (!demux_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (count && !streamIds) return E_POINTER;
    for (ULONG i = 0; i < count; ++i)
        std::erase_if(mappings_, [&](const Mapping& m) { return m.id == streamIds[i]; });
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Filter

TMpeg2Demultiplexer::TMpeg2Demultiplexer()
    : TMpeg2Demultiplexer("MPEG-2 Demultiplexer", CLSID_MPEG2Demultiplexer) {}

TMpeg2Demultiplexer::TMpeg2Demultiplexer(const std::string& name, const CLSID& clsid)
    : TBCBaseFilter(name, nullptr, &csFilter_, clsid), input_(this) {}

TMpeg2Demultiplexer::~TMpeg2Demultiplexer() = default;

HRESULT TMpeg2Demultiplexer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IMpeg2Demultiplexer::iid)
        return GetInterface(static_cast<IMpeg2Demultiplexer*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int TMpeg2Demultiplexer::GetPinCount() {
    return 1 + static_cast<int>(outputs_.size());
}

TBCBasePin* TMpeg2Demultiplexer::GetPin(int index) {
    if (index == 0) return &input_;
    if (index < 0 || index > static_cast<int>(outputs_.size())) return nullptr;
    return outputs_[std::size_t(index - 1)].get();
}

TMpegDemuxOutputPin* TMpeg2Demultiplexer::FindOutput(const std::string& name) {
    for (auto& out : outputs_)
        if (out->Name() == name) return out.get();
    return nullptr;
}

HRESULT TMpeg2Demultiplexer::CreateOutputPin(const AM_MEDIA_TYPE* mt, const std::string& name,
                                             IPin** pin) {
    if (!mt || !pin) return E_POINTER;
    *pin = nullptr;
    TBCAutoLock lock(csFilter_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (name.empty() || FindOutput(name)) return E_INVALIDARG;
    outputs_.push_back(std::make_unique<TMpegDemuxOutputPin>(this, name, CMediaType(*mt)));
    IncrementPinVersion();
    *pin = outputs_.back().get();
    (*pin)->AddRef();
    return S_OK;
}

HRESULT TMpeg2Demultiplexer::SetOutputPinMediaType(const std::string& name,
                                                   const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    TBCAutoLock lock(csFilter_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    TMpegDemuxOutputPin* out = FindOutput(name);
    if (!out) return VFW_E_NOT_FOUND;
    if (out->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    out->type_ = CMediaType(*mt);
    return S_OK;
}

HRESULT TMpeg2Demultiplexer::DeleteOutputPin(const std::string& name) {
    TBCAutoLock lock(csFilter_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    TMpegDemuxOutputPin* out = FindOutput(name);
    if (!out) return VFW_E_NOT_FOUND;
    if (out->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    auto it = std::find_if(outputs_.begin(), outputs_.end(),
                           [&](const auto& p) { return p.get() == out; });
    deleted_.push_back(std::move(*it));
    outputs_.erase(it);
    IncrementPinVersion();
    return S_OK;
}

void TMpeg2Demultiplexer::ResetStream() {
    parser_.Reset();
    haveBase_ = false;
    fallbackVideo_ = fallbackAudio_ = 0;
    for (auto& out : outputs_) {
        out->mappedSeen_ = false;
        out->firstOfRun_ = true;
    }
}

HRESULT TMpeg2Demultiplexer::Pause() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        TBCAutoLock receive(csReceive_);
        ResetStream();
    }
    if (!input_.IsConnected() && !eosDelivered_) {
        // Nothing will ever arrive: downstream learns it once.
        for (auto& out : outputs_)
            if (out->IsConnected()) out->DeliverEndOfStream();
        eosDelivered_ = true;
    }
    return TBCBaseFilter::Pause();
}

HRESULT TMpeg2Demultiplexer::Stop() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Stopped) return S_OK;
    // The input first (an upstream thread blocked in GetBuffer is released), then our pools, so
    // that our streaming thread waiting for a buffer under the receive lock lets go of it.
    if (input_.IsConnected()) input_.Inactive();
    for (auto& out : outputs_)
        if (out->Allocator()) out->Allocator()->Decommit();
    TBCAutoLock receive(csReceive_);
    for (auto& out : outputs_)
        if (out->IsConnected()) out->Inactive();
    state_ = State_Stopped;
    eosDelivered_ = false;
    return S_OK;
}

TMpegDemuxOutputPin* TMpeg2Demultiplexer::RouteOf(std::uint8_t streamId, bool& wholePacket) {
    for (auto& out : outputs_)
        for (const TMpegDemuxOutputPin::Mapping& m : out->mappings_)
            if (m.id == streamId) {
                out->mappedSeen_ = true;
                wholePacket = m.wholePackets;
                return out.get();
            }
    const bool video = mpeg::IsVideoStream(streamId);
    if (!video && !mpeg::IsAudioStream(streamId)) return nullptr;
    std::uint8_t& fallback = video ? fallbackVideo_ : fallbackAudio_;
    if (fallback != 0 && fallback != streamId) return nullptr;
    // The first stream of the kind stands in for a mapped id the program does not carry.
    for (auto& out : outputs_) {
        if (out->mappedSeen_ || out->mappings_.empty()) continue;
        const bool pinVideo = out->type_.majortype == MEDIATYPE_Video;
        const bool pinAudio = out->type_.majortype == MEDIATYPE_Audio;
        const TMpegDemuxOutputPin::Mapping& m = out->mappings_.front();
        if ((video && pinVideo && mpeg::IsVideoStream(m.id)) ||
            (!video && pinAudio && mpeg::IsAudioStream(m.id))) {
            if (fallback == 0) {
                fallback = streamId;
                TLOG(Filter) << "MPEG-2 Demultiplexer: no stream " << StreamIdText(m.id)
                             << "; pin \"" << out->Name() << "\" takes stream "
                             << StreamIdText(streamId);
            }
            wholePacket = m.wholePackets;
            return out.get();
        }
    }
    return nullptr;
}

void TMpeg2Demultiplexer::Deliver(const mpeg::PesPacket& pes) {
    bool wholePacket = false;
    TMpegDemuxOutputPin* out = RouteOf(pes.streamId, wholePacket);
    if (!out || !out->IsConnected()) return;
    const std::span<const std::uint8_t> bytes = wholePacket ? pes.packet : pes.payload;
    if (bytes.empty()) return;
    ComPtr<IMediaSample> sample;
    if (FAILED(out->GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0))) return;
    BYTE* dst = nullptr;
    sample->GetPointer(&dst);
    if (!dst || sample->GetSize() < long(bytes.size())) return;
    std::memcpy(dst, bytes.data(), bytes.size());
    sample->SetActualDataLength(long(bytes.size()));
    if (pes.pts && haveBase_) {
        REFERENCE_TIME start = baseTime_ + PtsDelta(*pes.pts, basePts_);
        sample->SetTime(&start, nullptr);
        sample->SetSyncPoint(1);
    }
    sample->SetDiscontinuity(out->firstOfRun_ ? 1 : 0);
    out->firstOfRun_ = false;
    // One output's refusal (a decoder that gave up) does not starve the others.
    const HRESULT hr = out->Deliver(sample.get());
    if (FAILED(hr))
        TLOG(Filter) << "MPEG-2 Demultiplexer: pin \"" << out->Name() << "\" refused a sample";
}

HRESULT TMpeg2Demultiplexer::Parse(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = sample->GetActualDataLength();
    if (!data || length <= 0) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    inputTimed_ = SUCCEEDED(sample->GetTime(&start, &stop));
    inputTime_ = start;
    parser_.Push(std::span<const std::uint8_t>(data, std::size_t(length)),
                 [this](const mpeg::PesPacket& pes) {
                     if (!haveBase_ && pes.scr) {
                         // Times count from the run's first pack: the system clock reference
                         // precedes every presentation time of the packs that follow it.
                         haveBase_ = true;
                         basePts_ = *pes.scr;
                         baseTime_ = inputTimed_ ? inputTime_ : 0;
                     }
                     Deliver(pes);
                 });
    PublishCounters();
    return S_OK;
}

void TMpeg2Demultiplexer::PublishCounters() {
    damaged_ = parser_.Counters().damaged;
    packets_ = parser_.Counters().packets;
}

void RegisterMpeg2Demultiplexer(FilterRegistry& registry) {
    RegisteredFilter entry;
    entry.clsid = CLSID_MPEG2Demultiplexer;
    entry.friendlyName = "MPEG-2 Demultiplexer";
    // Graphs make their own pins on it: intelligent connection never inserts it.
    entry.merit = MERIT_DO_NOT_USE;
    entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM}}}};
    entry.create = [] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TMpeg2Demultiplexer));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

namespace {

ComPtr<IBaseFilter> MakeMovieBoxDemultiplexer(const std::string& name, const CLSID& clsid) {
    ComPtr<TMpeg2Demultiplexer> demux(new TMpeg2Demultiplexer(name, clsid));
    const std::pair<const char*, ULONG> outputs[] = {{"Video", 0xE0}, {"Audio", 0xC0}};
    for (const auto& [pinName, streamId] : outputs) {
        const CMediaType type = streamId == 0xE0 ? MpegVideoPinType() : MpegAudioPinType();
        ComPtr<IPin> pin;
        ComPtr<IMPEG2StreamIdMap> map;
        if (FAILED(demux->CreateOutputPin(&type, pinName, pin.put())) ||
            FAILED(pin->QueryInterface(IMPEG2StreamIdMap::iid, map.putVoid())) ||
            FAILED(map->MapStreamId(streamId, MPEG2_PROGRAM_ELEMENTARY_STREAM, 0, 0)))
            return nullptr;
    }
    return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(demux.get()));
}

} // namespace

void RegisterMovieBoxDemultiplexers(FilterRegistry& registry, bool cirrusSplitter,
                                    bool movieBoxDemux) {
    const std::pair<CLSID, const char*> standIns[] = {
        {CLSID_CirrusSplitter, "Cirrus Logic USB-DVR2 Splitter"},
        {CLSID_MovieBoxDemux, "Pinnacle MPEG2 Demux II (MovieBox USB version)"}};
    for (const auto& [clsid, name] : standIns) {
        if (!(clsid == CLSID_CirrusSplitter ? cirrusSplitter : movieBoxDemux)) continue;
        const auto& present = registry.Entries(CLSID_LegacyAmFilterCategory);
        if (std::any_of(present.begin(), present.end(),
                        [&](const RegisteredFilter& e) { return e.clsid == clsid; }))
            continue;
        RegisteredFilter entry;
        entry.clsid = clsid;
        entry.friendlyName = name;
        entry.merit = MERIT_DO_NOT_USE;
        entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM}}},
                      RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO}}},
                      RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO}}}};
        entry.create = [name = std::string(name), clsid = clsid] {
            return MakeMovieBoxDemultiplexer(name, clsid);
        };
        registry.Register(CLSID_LegacyAmFilterCategory, std::move(entry));
    }
}

} // namespace talvence
