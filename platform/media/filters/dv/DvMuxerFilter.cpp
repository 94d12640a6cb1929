#include "platform/media/filters/dv/DvMuxerFilter.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMediaTypes.h"

#include <algorithm>
#include <cstring>

namespace talvence {

using namespace dvcodec;

namespace {
// The audio kept ahead of the video, at most: two seconds at the highest rate.
constexpr std::size_t kMaxQueuedValues = 2 * 2 * kDvAudioRate48k;

bool UsablePcm(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Audio) || !(mt.subtype == MEDIASUBTYPE_PCM) ||
        !(mt.formattype == FORMAT_WaveFormatEx))
        return false;
    const WAVEFORMATEX* w = mt.FormatAs<WAVEFORMATEX>();
    if (!w || w->wFormatTag != WAVE_FORMAT_PCM || w->wBitsPerSample != 16) return false;
    if (w->nChannels != 1 && w->nChannels != 2) return false;
    if (w->nBlockAlign != 2 * w->nChannels) return false;
    return MinimumAudioSamples(DvSystem::Pal625, int(w->nSamplesPerSec)) > 0;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Pins

TDvMuxInputPin::TDvMuxInputPin(TDvMuxer* filter, Kind kind)
    : TBCBaseInputPin(kind == Kind::Video ? "DV Muxer video pin" : "DV Muxer audio pin", filter,
                      &filter->csFilter_, kind == Kind::Video ? "Video" : "Audio"),
      mux_(filter), kind_(kind) {}

HRESULT TDvMuxInputPin::CheckMediaType(const CMediaType* mt) {
    if (kind_ == Kind::Audio) return UsablePcm(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    if (!(mt->majortype == MEDIATYPE_Video)) return VFW_E_TYPE_NOT_ACCEPTED;
    const std::optional<DvSystem> system = SystemOfDvsdType(*mt);
    if (!system) return VFW_E_TYPE_NOT_ACCEPTED;
    // A connected output announces the frame size.
    if (mux_->output_.IsConnected()) {
        const DVINFO* info = mux_->output_.CurrentMediaType().FormatAs<DVINFO>();
        if (!info || SystemOfDvInfo(*info) != *system) return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TDvMuxInputPin::CompleteConnect(IPin* receivePin) {
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr)) return hr;
    if (kind_ != Kind::Audio || !mux_->output_.IsConnected()) return S_OK;
    // The output's DVINFO announces the audio: have the graph reconnect it with the new one.
    // Best effort: a downstream filter that refuses keeps the old type.
    const std::optional<CMediaType> wanted = mux_->OutputType();
    if (!wanted || *wanted == mux_->output_.CurrentMediaType()) return S_OK;
    ComPtr<IFilterGraph2> graph;
    if (mux_->Graph() &&
        SUCCEEDED(mux_->Graph()->QueryInterface(IFilterGraph2::iid, graph.putVoid())))
        graph->ReconnectEx(&mux_->output_, &*wanted);
    return S_OK;
}

HRESULT TDvMuxInputPin::Receive(IMediaSample* sample) {
    {
        TBCAutoLock lock(mux_->csReceive_);
        HRESULT hr = TBCBaseInputPin::Receive(sample);
        if (hr != S_OK) return hr;
        if (!mux_->output_.IsConnected()) return S_OK;
        // A control sample goes on untouched.
        if (sampleProps_.dwStreamId != AM_STREAM_MEDIA) return mux_->output_.Deliver(sample);
        if (kind_ == Kind::Video && mux_->videoEnded_) return S_OK;
        hr = kind_ == Kind::Video ? mux_->ReceiveVideo(sample, sampleProps_)
                                  : mux_->ReceiveAudio(sampleProps_);
        if (hr != S_OK) return hr;
    }
    return mux_->DeliverReady();
}

HRESULT TDvMuxInputPin::EndOfStream() {
    {
        TBCAutoLock lock(mux_->csReceive_);
        HRESULT hr = CheckStreaming();
        if (hr != S_OK) return hr;
        // The frames still waiting for audio go out once it has come or ended; then the end.
        (kind_ == Kind::Audio ? mux_->audioEnded_ : mux_->videoEnded_) = true;
        mux_->Drain();
    }
    return mux_->DeliverReady();
}

HRESULT TDvMuxInputPin::BeginFlush() {
    TBCAutoLock lock(*lock_);
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    // The output stream follows the video: only its flush travels downstream.
    if (kind_ == Kind::Video && mux_->output_.IsConnected()) mux_->output_.DeliverBeginFlush();
    return S_OK;
}

HRESULT TDvMuxInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    {
        TBCAutoLock receive(mux_->csReceive_);
        if (kind_ == Kind::Video) {
            mux_->ResetStream();
        } else {
            mux_->samples_.clear();
            mux_->audioEnded_ = false;
        }
    }
    if (kind_ == Kind::Video && mux_->output_.IsConnected()) mux_->output_.DeliverEndFlush();
    return TBCBaseInputPin::EndFlush();
}

TDvMuxOutputPin::TDvMuxOutputPin(TDvMuxer* filter)
    : TBCBaseOutputPin("DV Muxer output pin", filter, &filter->csFilter_, "Output"), mux_(filter) {}

HRESULT TDvMuxOutputPin::CheckConnect(IPin* pin) {
    if (!mux_->video_.IsConnected()) return E_UNEXPECTED;
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TDvMuxOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    const std::optional<CMediaType> type = mux_->OutputType();
    if (!type) return E_UNEXPECTED;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = *type;
    return S_OK;
}

HRESULT TDvMuxOutputPin::CheckMediaType(const CMediaType* mt) {
    const std::optional<CMediaType> type = mux_->OutputType();
    return type && *mt == *type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDvMuxOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const LONG bytes = LONG(kPalFrameBytes);
    return RequestBuffers(allocator, request, 4, bytes);
}

// ---------------------------------------------------------------------------------------------
// Filter

TDvMuxer::TDvMuxer()
    : TBCBaseFilter("DV Muxer", nullptr, &csFilter_, CLSID_DVMux),
      video_(this, TDvMuxInputPin::Kind::Video), audio_(this, TDvMuxInputPin::Kind::Audio),
      output_(this) {}

TDvMuxer::~TDvMuxer() = default;

TBCBasePin* TDvMuxer::GetPin(int index) {
    switch (index) {
    case 0:
        return &video_;
    case 1:
        return &audio_;
    case 2:
        return &output_;
    default:
        return nullptr;
    }
}

std::optional<DvSystem> TDvMuxer::VideoSystem() const {
    if (!video_.IsConnected()) return std::nullopt;
    return SystemOfDvsdType(video_.CurrentMediaType());
}

std::optional<WAVEFORMATEX> TDvMuxer::AudioFormat() const {
    if (!audio_.IsConnected()) return std::nullopt;
    const WAVEFORMATEX* w = audio_.CurrentMediaType().FormatAs<WAVEFORMATEX>();
    if (!w) return std::nullopt;
    return *w;
}

std::optional<CMediaType> TDvMuxer::OutputType() const {
    const std::optional<DvSystem> system = VideoSystem();
    if (!system) return std::nullopt;
    const std::optional<WAVEFORMATEX> audio = AudioFormat();
    return InterleavedDvType(
        MakeDvInfo(*system, audio ? std::optional<int>(int(audio->nSamplesPerSec)) : std::nullopt));
}

void TDvMuxer::ResetStream() {
    pending_.clear();
    ready_.clear();
    samples_.clear();
    frameIndex_ = 0;
    audioEnded_ = false;
    videoEnded_ = false;
    endDelivered_ = false;
}

HRESULT TDvMuxer::Pause() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        TBCAutoLock receive(csReceive_);
        ResetStream();
    }
    if (!video_.IsConnected() && output_.IsConnected() && !eosDelivered_) {
        // No frame will ever come: downstream learns it once.
        output_.DeliverEndOfStream();
        eosDelivered_ = true;
    }
    return TBCBaseFilter::Pause();
}

HRESULT TDvMuxer::Stop() {
    TBCAutoLock lock(csFilter_);
    if (state_ == State_Stopped) return S_OK;
    // Inputs first (releasing upstream threads blocked in GetBuffer), then our own pool, so a
    // streaming thread waiting for an output buffer under the receive lock lets go of it.
    if (video_.IsConnected()) video_.Inactive();
    if (audio_.IsConnected()) audio_.Inactive();
    if (output_.Allocator()) output_.Allocator()->Decommit();
    // A delivery under way finds downstream stopped (or no buffer) and ends.
    std::lock_guard deliver(csDeliver_);
    TBCAutoLock receive(csReceive_);
    if (output_.IsConnected()) output_.Inactive();
    ResetStream();
    state_ = State_Stopped;
    eosDelivered_ = false;
    return S_OK;
}

HRESULT TDvMuxer::ReceiveVideo(IMediaSample*, const AM_SAMPLE2_PROPERTIES& props) {
    const std::optional<DvSystem> system = VideoSystem();
    if (!system || !props.pbBuffer || props.lActual <= 0 ||
        SystemForFrameSize(std::size_t(props.lActual)) != system) {
        ++refused_;
        return S_OK;
    }
    PendingFrame frame;
    frame.bytes.assign(props.pbBuffer, props.pbBuffer + props.lActual);
    frame.props = props;
    frame.props.pbBuffer = nullptr;
    frame.props.pMediaType = nullptr;
    pending_.push_back(std::move(frame));
    Drain();
    return S_OK;
}

HRESULT TDvMuxer::ReceiveAudio(const AM_SAMPLE2_PROPERTIES& props) {
    const std::optional<WAVEFORMATEX> format = AudioFormat();
    if (!format || !props.pbBuffer || props.lActual <= 0) return S_OK;
    const std::size_t frames = std::size_t(props.lActual) / format->nBlockAlign;
    const BYTE* p = props.pbBuffer;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto left = static_cast<std::int16_t>(p[0] | p[1] << 8);
        const auto right =
            format->nChannels == 2 ? static_cast<std::int16_t>(p[2] | p[3] << 8) : left;
        samples_.push_back(left);
        samples_.push_back(right);
        p += format->nBlockAlign;
    }
    // Audio far ahead of the video (the video stalled or never comes): keep the newest.
    while (samples_.size() > kMaxQueuedValues)
        samples_.pop_front();
    Drain();
    return S_OK;
}

void TDvMuxer::Drain() {
    const std::optional<WAVEFORMATEX> format = AudioFormat();
    const std::optional<DvSystem> system = VideoSystem();
    if (!system) return;
    while (!pending_.empty()) {
        bool complete = !format || audioEnded_ || pending_.size() > kMaxPendingFrames;
        if (!complete) {
            const int needed =
                AudioSamplesForFrame(*system, int(format->nSamplesPerSec), frameIndex_);
            complete = samples_.size() >= 2 * std::size_t(needed);
        }
        if (!complete) break;
        PendingFrame frame = std::move(pending_.front());
        pending_.pop_front();
        Complete(frame);
        ready_.push_back(std::move(frame));
    }
    if (videoEnded_ && pending_.empty() && !endDelivered_) {
        endDelivered_ = true;
        ready_.emplace_back(); // the end of stream, after the last frame
    }
}

void TDvMuxer::Complete(PendingFrame& frame) {
    const DvSystem system = *VideoSystem();
    const std::optional<WAVEFORMATEX> format = AudioFormat();
    std::span<std::uint8_t> bytes(frame.bytes);
    if (format) {
        const int rate = int(format->nSamplesPerSec);
        const int needed = AudioSamplesForFrame(system, rate, frameIndex_);
        const std::size_t values = 2 * std::size_t(needed);
        const std::size_t available = std::min(values, samples_.size());
        frameAudio_.assign(values, 0);
        std::copy_n(samples_.begin(), available, frameAudio_.begin());
        samples_.erase(samples_.begin(), samples_.begin() + std::ptrdiff_t(available));
        if (available < values) ++padded_;
        WriteAudio(bytes, system, rate, frameAudio_, needed);
    } else {
        WriteNoAudio(bytes, system);
    }
    ++frameIndex_;
}

HRESULT TDvMuxer::DeliverReady() {
    for (;;) {
        std::unique_lock deliver(csDeliver_, std::try_to_lock);
        if (!deliver.owns_lock()) return S_OK; // the thread delivering takes ours too
        for (;;) {
            PendingFrame frame;
            {
                TBCAutoLock receive(csReceive_);
                if (ready_.empty()) break;
                frame = std::move(ready_.front());
                ready_.pop_front();
            }
            const HRESULT hr = frame.bytes.empty() ? output_.DeliverEndOfStream() : Send(frame);
            if (FAILED(hr)) return hr; // the frames behind go with the next delivery
        }
        deliver.unlock();
        // A frame completed while this thread still held the delivery lock is this thread's.
        TBCAutoLock receive(csReceive_);
        if (ready_.empty()) return S_OK;
    }
}

HRESULT TDvMuxer::Send(const PendingFrame& frame) {
    const std::vector<std::uint8_t>& bytes = frame.bytes;
    ComPtr<IMediaSample> out;
    HRESULT hr = output_.GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    if (out->GetSize() < long(bytes.size())) return E_FAIL;
    std::memcpy(dst, bytes.data(), bytes.size());
    out->SetActualDataLength(static_cast<long>(bytes.size()));
    const AM_SAMPLE2_PROPERTIES& props = frame.props;
    if (props.dwSampleFlags & AM_SAMPLE_TIMEVALID)
        out->SetTime(&props.tStart,
                     (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &props.tStop : nullptr);
    out->SetSyncPoint(1);
    out->SetDiscontinuity((props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0);
    return output_.Deliver(out.get());
}

} // namespace talvence
