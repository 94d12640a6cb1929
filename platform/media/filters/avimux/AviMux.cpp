#include "platform/media/filters/avimux/AviMux.h"

#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/avimux/AviStreamTypes.h"
#include "platform/media/filters/avimux/FileWriter.h"

#include <cstdio>

namespace talvence {

namespace {
std::string InputName(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "Input %02d", number);
    return name;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TAviMuxInputPin

TAviMuxInputPin::TAviMuxInputPin(TAviMux* mux, int number)
    : TBCBaseInputPin("AVI Mux input", mux, mux->FilterLock(), InputName(number)), mux_(mux) {}

HRESULT TAviMuxInputPin::CheckMediaType(const CMediaType* mt) {
    return AviStreamForMediaType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) mux_->InputConnected(this);
    return hr;
}

HRESULT TAviMuxInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    TBCAutoLock lock(mux_->receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    // The stream's format is already in the file's header: no other can follow. Checked before
    // the base, which would end the stream (and so maybe finish the file as if all went well).
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        const bool same = MediaTypesEqual(*changed, CurrentMediaType());
        DeleteMediaType(changed);
        if (!same) {
            runTimeError_ = true;
            mux_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    const AM_SAMPLE2_PROPERTIES& props = sampleProps_;
    if (endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
    if (props.dwStreamId != AM_STREAM_MEDIA || (props.dwSampleFlags & AM_SAMPLE_PREROLL) ||
        props.lActual <= 0 || !props.pbBuffer)
        return S_OK;

    const int stream = streamIndex_;
    IAviFileSink* sink = mux_->output_.Sink();
    if (stream < 0 || !sink) return VFW_E_NOT_CONNECTED;
    // Formats without temporal compression (DV, pictures, sound) have only key frames, whatever
    // the source marks.
    const bool keyframe = !CurrentMediaType().IsTemporalCompressed() ||
                          (props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0;
    hr = sink->WriteSample(static_cast<std::size_t>(stream),
                           AviBytes(props.pbBuffer, static_cast<std::size_t>(props.lActual)),
                           keyframe);
    // VFW_E_WRONG_STATE: the File Writer has stopped before us; the run is ending.
    if (FAILED(hr) && hr != VFW_E_WRONG_STATE) runTimeError_ = true;
    return hr;
}

HRESULT TAviMuxInputPin::EndOfStream() {
    TBCAutoLock lock(mux_->receiveLock_);
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (endOfStream_) return S_OK;
    endOfStream_ = true;
    mux_->EndOfStreamIfAllEnded();
    return S_OK;
}

HRESULT TAviMuxInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    const HRESULT hr = TBCBaseInputPin::EndFlush();
    TBCAutoLock receive(mux_->receiveLock_);
    // Samples after a flush are a new stretch of the same stream, unless the end was already
    // passed on (the File Writer has finished the file then).
    if (!mux_->endOfStreamSent_) endOfStream_ = false;
    return hr;
}

// ---------------------------------------------------------------------------------------------
// TAviMuxOutputPin

TAviMuxOutputPin::TAviMuxOutputPin(TAviMux* mux)
    : TBCBaseOutputPin("AVI Mux output", mux, mux->FilterLock(), "AVI Out") {}

HRESULT TAviMuxOutputPin::CheckMediaType(const CMediaType* mt) {
    return mt->majortype == MEDIATYPE_Stream && mt->subtype == MEDIASUBTYPE_Avi
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
    mt->SetFormatType(FORMAT_None);
    return S_OK;
}

HRESULT TAviMuxOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = TBCBaseOutputPin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    // Only a writer that takes the file's streams and samples can follow.
    ComPtr<IAviFileSink> sink;
    if (FAILED(pin->QueryInterface(IAviFileSink::iid, sink.putVoid())) || !sink)
        return E_NOINTERFACE;
    sink_ = sink;
    return S_OK;
}

HRESULT TAviMuxOutputPin::BreakConnect() {
    sink_ = nullptr;
    return TBCBaseOutputPin::BreakConnect();
}

HRESULT TAviMuxOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
    // No sample travels on this connection; the allocator only completes the protocol.
    return RequestBuffers(allocator, request, 1, 1);
}

// ---------------------------------------------------------------------------------------------
// TAviMux

TAviMux::TAviMux() : TBCBaseFilter("AVI Mux", nullptr, &filterLock_, CLSID_AviDest), output_(this) {
    inputs_.push_back(std::make_unique<TAviMuxInputPin>(this, 1));
}

TAviMux::~TAviMux() = default;

HRESULT TAviMux::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IConfigAviMux::iid) return GetInterface(static_cast<IConfigAviMux*>(this), ppv);
    if (riid == IConfigInterleaving::iid)
        return GetInterface(static_cast<IConfigInterleaving*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int TAviMux::GetPinCount() {
    return 1 + static_cast<int>(inputs_.size());
}

TBCBasePin* TAviMux::GetPin(int index) {
    if (index == 0) return &output_;
    if (index < 1 || index > static_cast<int>(inputs_.size())) return nullptr;
    return inputs_[static_cast<std::size_t>(index - 1)].get();
}

void TAviMux::InputConnected(TAviMuxInputPin* pin) {
    if (pin != inputs_.back().get() || static_cast<int>(inputs_.size()) >= kMaxInputs) return;
    inputs_.push_back(
        std::make_unique<TAviMuxInputPin>(this, static_cast<int>(inputs_.size()) + 1));
    IncrementPinVersion();
}

HRESULT TAviMux::Pause() {
    TBCAutoLock lock(filterLock_);
    const bool starting = IsStopped();
    HRESULT hr = TBCBaseFilter::Pause();
    if (FAILED(hr) || !starting) return hr;
    hr = BeginFile();
    if (FAILED(hr)) TBCBaseFilter::Stop();
    return hr;
}

HRESULT TAviMux::BeginFile() {
    std::vector<AviStreamFormat> streams;
    {
        TBCAutoLock receive(receiveLock_);
        endOfStreamSent_ = false;
        for (auto& input : inputs_) {
            input->endOfStream_ = false;
            input->streamIndex_ = -1;
            if (!input->IsConnected()) continue;
            std::optional<AviStreamFormat> stream =
                AviStreamForMediaType(input->CurrentMediaType());
            if (!stream) continue; // cannot happen: the connection checked the same type
            input->streamIndex_ = static_cast<int>(streams.size());
            streams.push_back(std::move(*stream));
        }
    }
    // Without a File Writer there is no file: the inputs refuse their samples.
    IAviFileSink* sink = output_.Sink();
    if (!sink) return S_OK;
    return sink->BeginFile(std::move(streams), oldIndex_);
}

HRESULT TAviMux::Stop() {
    TBCAutoLock lock(filterLock_);
    // The inputs stop first (their allocators release upstream threads waiting for buffers);
    // taking the receive lock then waits for a sample that is being written.
    const HRESULT hr = TBCBaseFilter::Stop();
    TBCAutoLock receive(receiveLock_);
    return hr;
}

void TAviMux::EndOfStreamIfAllEnded() {
    if (endOfStreamSent_) return;
    for (auto& input : inputs_)
        if (input->streamIndex_ >= 0 && !input->endOfStream_) return;
    endOfStreamSent_ = true;
    output_.DeliverEndOfStream();
}

HRESULT TAviMux::SetMasterStream(LONG stream) {
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (stream < -1 || stream >= static_cast<LONG>(inputs_.size())) return E_INVALIDARG;
    masterStream_ = stream;
    return S_OK;
}

HRESULT TAviMux::GetMasterStream(LONG* stream) {
    if (!stream) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *stream = masterStream_;
    return S_OK;
}

HRESULT TAviMux::SetOutputCompatibilityIndex(BOOL oldIndex) {
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    oldIndex_ = oldIndex != 0;
    return S_OK;
}

HRESULT TAviMux::GetOutputCompatibilityIndex(BOOL* oldIndex) {
    if (!oldIndex) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *oldIndex = oldIndex_ ? 1 : 0;
    return S_OK;
}

HRESULT TAviMux::put_Mode(InterleavingMode mode) {
    if (mode < INTERLEAVE_NONE || mode > INTERLEAVE_NONE_BUFFERED) return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    mode_ = mode;
    return S_OK;
}

HRESULT TAviMux::get_Mode(InterleavingMode* mode) {
    if (!mode) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *mode = mode_;
    return S_OK;
}

HRESULT TAviMux::put_Interleaving(const REFERENCE_TIME* leaving, const REFERENCE_TIME* preroll) {
    if ((leaving && *leaving < 0) || (preroll && *preroll < 0)) return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    if (leaving) leaving_ = *leaving;
    if (preroll) preroll_ = *preroll;
    return S_OK;
}

HRESULT TAviMux::get_Interleaving(REFERENCE_TIME* leaving, REFERENCE_TIME* preroll) {
    if (!leaving || !preroll) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *leaving = leaving_;
    *preroll = preroll_;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

void RegisterAviFilters(FilterRegistry& registry) {
    RegisteredFilter mux;
    mux.clsid = CLSID_AviDest;
    mux.friendlyName = "AVI Mux";
    mux.merit = MERIT_DO_NOT_USE;
    mux.pins = {{PINDIR_INPUT, {{GUID_NULL, GUID_NULL}}},
                {PINDIR_OUTPUT, {{MEDIATYPE_Stream, MEDIASUBTYPE_Avi}}}};
    mux.create = [] { return ComPtr<IBaseFilter>(new TAviMux); };
    registry.Register(CLSID_LegacyAmFilterCategory, std::move(mux));

    RegisteredFilter writer;
    writer.clsid = CLSID_FileWriter;
    writer.friendlyName = "File writer";
    writer.merit = MERIT_DO_NOT_USE;
    writer.pins = {{PINDIR_INPUT, {{MEDIATYPE_Stream, GUID_NULL}}}};
    writer.create = [] { return ComPtr<IBaseFilter>(new TFileWriter); };
    registry.Register(CLSID_LegacyAmFilterCategory, std::move(writer));
}

} // namespace talvence
