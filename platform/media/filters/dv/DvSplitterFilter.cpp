#include "platform/media/filters/dv/DvSplitterFilter.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMediaTypes.h"

#include <cstring>

namespace talvence {

using namespace dvcodec;

namespace {
// Bytes of the largest audio share of one frame: the fullest 16-bit stereo frame.
const LONG kAudioBufferBytes =
    4 * std::max(AudioCapacity(DvSystem::Pal625, 16), AudioCapacity(DvSystem::Ntsc525, 16));

REFERENCE_TIME SamplesToTime(std::uint64_t samples, DWORD rate) {
    return static_cast<REFERENCE_TIME>(samples * 10000000ull / rate);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Pins

TDvSplitterInputPin::TDvSplitterInputPin(TDvSplitter* filter)
    : TBCBaseInputPin("DV Splitter input pin", filter, &filter->csFilter_, "Input"),
      splitter_(filter) {}

HRESULT TDvSplitterInputPin::CheckMediaType(const CMediaType* mt) {
    if (!(mt->majortype == MEDIATYPE_Interleaved) || !(mt->formattype == FORMAT_DvInfo))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const auto video = TDvSplitter::VideoTypeFor(*mt);
    if (!video) return VFW_E_TYPE_NOT_ACCEPTED;
    // Connected outputs carry types made from the input's: a new input must give the same.
    if (splitter_->video_.IsConnected() && *video != splitter_->video_.CurrentMediaType())
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (splitter_->audio_.IsConnected()) {
        const auto audio = TDvSplitter::AudioTypeFor(*mt);
        if (!audio || *audio != splitter_->audio_.CurrentMediaType())
            return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TDvSplitterInputPin::Receive(IMediaSample* sample) {
    TBCAutoLock lock(splitter_->csReceive_);
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (sampleProps_.dwStreamId != AM_STREAM_MEDIA) {
        // Nothing to split: a control sample goes on untouched, on both outputs.
        if (splitter_->video_.IsConnected()) hr = splitter_->video_.Deliver(sample);
        if (SUCCEEDED(hr) && splitter_->audio_.IsConnected())
            hr = splitter_->audio_.Deliver(sample);
        return hr;
    }
    return splitter_->Process(sample);
}

HRESULT TDvSplitterInputPin::EndOfStream() {
    TBCAutoLock lock(splitter_->csReceive_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (splitter_->video_.IsConnected()) splitter_->video_.DeliverEndOfStream();
    if (splitter_->audio_.IsConnected()) splitter_->audio_.DeliverEndOfStream();
    return S_OK;
}

HRESULT TDvSplitterInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    TBCBasePin::NewSegment(tStart, tStop, rate);
    if (splitter_->video_.IsConnected()) splitter_->video_.DeliverNewSegment(tStart, tStop, rate);
    if (splitter_->audio_.IsConnected()) splitter_->audio_.DeliverNewSegment(tStart, tStop, rate);
    return S_OK;
}

HRESULT TDvSplitterInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    if (splitter_->video_.IsConnected()) splitter_->video_.DeliverBeginFlush();
    if (splitter_->audio_.IsConnected()) splitter_->audio_.DeliverBeginFlush();
    return S_OK;
}

HRESULT TDvSplitterInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    {
        // Whatever comes after a flush starts a new audio timeline.
        TBCAutoLock receive(splitter_->csReceive_);
        splitter_->ResetStream();
    }
    if (splitter_->video_.IsConnected()) splitter_->video_.DeliverEndFlush();
    if (splitter_->audio_.IsConnected()) splitter_->audio_.DeliverEndFlush();
    return TBCBaseInputPin::EndFlush();
}

TDvSplitterOutputPin::TDvSplitterOutputPin(TDvSplitter* filter, Kind kind)
    : TBCBaseOutputPin(kind == Kind::Video ? "DV Splitter video pin" : "DV Splitter audio pin",
                       filter, &filter->csFilter_, kind == Kind::Video ? "DVVidOut0" : "AudOut00"),
      splitter_(filter), kind_(kind) {}

HRESULT TDvSplitterOutputPin::CheckConnect(IPin* pin) {
    // The output types derive from the input's.
    if (!splitter_->input_.IsConnected()) return E_UNEXPECTED;
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TDvSplitterOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (!splitter_->input_.IsConnected()) return E_UNEXPECTED;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const CMediaType& input = splitter_->input_.CurrentMediaType();
    auto type =
        kind_ == Kind::Video ? TDvSplitter::VideoTypeFor(input) : TDvSplitter::AudioTypeFor(input);
    if (!type) return VFW_S_NO_MORE_ITEMS;
    *mt = *type;
    return S_OK;
}

HRESULT TDvSplitterOutputPin::CheckMediaType(const CMediaType* mt) {
    CMediaType offered;
    if (GetMediaType(0, &offered) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    return *mt == offered ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDvSplitterOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                               ALLOCATOR_PROPERTIES* request) {
    const LONG bytes = kind_ == Kind::Video ? LONG(kPalFrameBytes) : kAudioBufferBytes;
    return RequestBuffers(allocator, request, 4, bytes);
}

// ---------------------------------------------------------------------------------------------
// Filter

TDvSplitter::TDvSplitter()
    : TBCBaseFilter("DV Splitter", nullptr, &csFilter_, CLSID_DVSplitter), input_(this),
      video_(this, TDvSplitterOutputPin::Kind::Video),
      audio_(this, TDvSplitterOutputPin::Kind::Audio) {}

TDvSplitter::~TDvSplitter() = default;

TBCBasePin* TDvSplitter::GetPin(int index) {
    switch (index) {
    case 0:
        return &input_;
    case 1:
        return &video_;
    case 2:
        return &audio_;
    default:
        return nullptr;
    }
}

std::optional<CMediaType> TDvSplitter::VideoTypeFor(const CMediaType& input) {
    const std::optional<DvSystem> system = SystemOfDvsdType(input);
    if (!system || !(input.majortype == MEDIATYPE_Interleaved)) return std::nullopt;
    return DvsdVideoType(*system);
}

std::optional<CMediaType> TDvSplitter::AudioTypeFor(const CMediaType& input) {
    const DVINFO* info = input.FormatAs<DVINFO>();
    if (!info || !(input.formattype == FORMAT_DvInfo)) return std::nullopt;
    const std::optional<WAVEFORMATEX> wave = WaveFormatFromDvInfo(*info);
    if (!wave) return std::nullopt;
    return PcmType(*wave);
}

void TDvSplitter::ResetStream() {
    core_.Reset();
    frameIndex_ = 0;
    samplesOut_ = 0;
    audioBase_ = 0;
    timelineStarted_ = false;
}

HRESULT TDvSplitter::Pause() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        TBCAutoLock receive(csReceive_);
        ResetStream();
    }
    if (!input_.IsConnected()) {
        // Nothing will ever arrive: downstream learns it once.
        if (!eosDelivered_) {
            if (video_.IsConnected()) video_.DeliverEndOfStream();
            if (audio_.IsConnected()) audio_.DeliverEndOfStream();
            eosDelivered_ = true;
        }
    }
    return TBCBaseFilter::Pause();
}

HRESULT TDvSplitter::Stop() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Stopped) return S_OK;
    // The input first: decommitting its allocator releases an upstream thread blocked in
    // GetBuffer. Then our own pools, so a streaming thread waiting for one of our buffers (with
    // the receive lock held) lets go of it.
    if (input_.IsConnected()) input_.Inactive();
    if (video_.Allocator()) video_.Allocator()->Decommit();
    if (audio_.Allocator()) audio_.Allocator()->Decommit();
    TBCAutoLock receive(csReceive_);
    if (video_.IsConnected()) video_.Inactive();
    if (audio_.IsConnected()) audio_.Inactive();
    state_ = State_Stopped;
    eosDelivered_ = false;
    return S_OK;
}

HRESULT TDvSplitter::Process(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES props = *input_.SampleProps();
    const std::optional<DvSystem> connected = SystemOfDvsdType(input_.CurrentMediaType());
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = sample->GetActualDataLength();
    if (!connected || !data || length <= 0 ||
        SystemForFrameSize(std::size_t(length)) != connected) {
        ++refused_;
        return S_OK;
    }
    const DvSplitResult split =
        core_.Split(std::span<const std::uint8_t>(data, std::size_t(length)));
    if (!split.accepted) {
        ++refused_;
        return S_OK;
    }
    if (video_.IsConnected()) {
        HRESULT hr = DeliverVideo(sample, props);
        if (FAILED(hr)) return hr;
    }
    if (audio_.IsConnected()) {
        HRESULT hr = DeliverAudio(split, props);
        if (FAILED(hr)) return hr;
    }
    ++frameIndex_;
    return S_OK;
}

HRESULT TDvSplitter::DeliverVideo(IMediaSample* in, const AM_SAMPLE2_PROPERTIES& props) {
    ComPtr<IMediaSample> out;
    HRESULT hr = video_.GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    if (out->GetSize() < props.lActual) return E_FAIL;
    std::memcpy(dst, props.pbBuffer, std::size_t(props.lActual));
    out->SetActualDataLength(props.lActual);
    if (props.dwSampleFlags & AM_SAMPLE_TIMEVALID)
        out->SetTime(&props.tStart,
                     (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &props.tStop : nullptr);
    out->SetSyncPoint(1);
    out->SetDiscontinuity((props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0);
    out->SetPreroll((props.dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    LONGLONG mStart = 0, mEnd = 0;
    if (in->GetMediaTime(&mStart, &mEnd) == S_OK) out->SetMediaTime(&mStart, &mEnd);
    return video_.Deliver(out.get());
}

HRESULT TDvSplitter::DeliverAudio(const DvSplitResult& split, const AM_SAMPLE2_PROPERTIES& props) {
    const WAVEFORMATEX* wave = audio_.CurrentMediaType().FormatAs<WAVEFORMATEX>();
    if (!wave || wave->nSamplesPerSec == 0) return E_UNEXPECTED;
    const DWORD rate = wave->nSamplesPerSec;
    const bool discontinuity = (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0;
    const bool timed = (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0;
    if (!timelineStarted_ || (discontinuity && timed)) {
        // The audio timeline starts (again) at this frame's time.
        audioBase_ = timed ? props.tStart : 0;
        samplesOut_ = 0;
        frameIndex_ = 0;
        timelineStarted_ = true;
    }

    std::span<const std::uint8_t> pcm;
    if (split.audioStatus == DvAudioStatus::Ok && split.audio.sampleRate == int(rate)) {
        pcm = split.pcm;
    } else {
        // No audio of the connection's format in this frame: its share in silence.
        const int samples = AudioSamplesForFrame(split.system, int(rate), frameIndex_);
        silence_.assign(std::size_t(samples) * wave->nBlockAlign, 0);
        pcm = silence_;
        ++silent_;
    }
    const std::uint64_t samples = pcm.size() / wave->nBlockAlign;

    ComPtr<IMediaSample> out;
    HRESULT hr = audio_.GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    if (out->GetSize() < long(pcm.size())) return E_FAIL;
    std::memcpy(dst, pcm.data(), pcm.size());
    out->SetActualDataLength(static_cast<long>(pcm.size()));
    REFERENCE_TIME start = audioBase_ + SamplesToTime(samplesOut_, rate);
    REFERENCE_TIME stop = audioBase_ + SamplesToTime(samplesOut_ + samples, rate);
    out->SetTime(&start, &stop);
    LONGLONG mStart = LONGLONG(samplesOut_), mEnd = LONGLONG(samplesOut_ + samples);
    out->SetMediaTime(&mStart, &mEnd);
    out->SetSyncPoint(1);
    out->SetDiscontinuity(samplesOut_ == 0 && discontinuity);
    samplesOut_ += samples;
    return audio_.Deliver(out.get());
}

} // namespace talvence
