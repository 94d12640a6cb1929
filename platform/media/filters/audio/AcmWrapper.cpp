#include "platform/media/filters/audio/AcmWrapper.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/audio/AudioFilterIds.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace talvence {

namespace {
// The formats offered besides the input's own: what players and the DV muxer ask for.
constexpr TPcmFormat kCommonFormats[] = {{44100, 2, 16}, {48000, 2, 16}, {32000, 2, 16}};

// Output buffers hold a tenth of a second: one DV frame's audio fits in one buffer.
constexpr unsigned kBuffersPerSecond = 10;
constexpr long kBufferCount = 4;

void FillCaps(AUDIO_STREAM_CONFIG_CAPS* caps) {
    caps->guid = MEDIATYPE_Audio;
    caps->MinimumChannels = 1;
    caps->MaximumChannels = 2;
    caps->ChannelsGranularity = 1;
    caps->MinimumBitsPerSample = 8;
    caps->MaximumBitsPerSample = 16;
    caps->BitsPerSampleGranularity = 8;
    caps->MinimumSampleFrequency = kMinPcmRate;
    caps->MaximumSampleFrequency = kMaxPcmRate;
    caps->SampleFrequencyGranularity = 1;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Output pin

TAcmOutputPin::TAcmOutputPin(TAcmWrapper* filter)
    : TBCTransformOutputPin("ACM output pin", filter, "Output"), acm_(filter) {}

HRESULT TAcmOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAMStreamConfig::iid) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    return TBCTransformOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TAcmOutputPin::SetFormat(AM_MEDIA_TYPE* pmt) {
    std::optional<TPcmFormat> wanted;
    if (pmt) {
        wanted = PcmFormatOf(*pmt);
        if (!wanted) return VFW_E_INVALIDMEDIATYPE;
    }
    ComPtr<IPin> peer;
    ComPtr<IFilterGraph2> graph;
    CMediaType newType, oldType;
    std::optional<TPcmFormat> oldFixed;
    {
        TBCAutoLock lock(*lock_);
        if (!acm_->IsStopped()) return VFW_E_NOT_STOPPED;
        // Unconnected, or forgetting the fixed format: the next connection uses it; a connection
        // that exists stays as it is.
        if (!IsConnected() || !wanted) {
            acm_->fixed_ = wanted;
            return S_OK;
        }
        if (PcmFormatOf(mt_) == wanted) {
            acm_->fixed_ = wanted;
            return S_OK;
        }
        newType = MakePcmType(*wanted);
        peer = connected_;
        if (peer->QueryAccept(&newType) != S_OK) return VFW_E_INVALIDMEDIATYPE;
        IFilterGraph* g = acm_->Graph();
        if (!g) return VFW_E_NOT_IN_GRAPH;
        if (FAILED(g->QueryInterface(IFilterGraph2::iid, graph.putVoid())) || !graph)
            return E_NOINTERFACE;
        oldType = mt_;
        oldFixed = acm_->fixed_;
        acm_->fixed_ = wanted;
    }
    // Without the filter lock: the graph takes its own lock and then ours, through the pins.
    HRESULT hr = graph->ReconnectEx(this, &newType);
    if (SUCCEEDED(hr)) return S_OK;
    {
        TBCAutoLock lock(*lock_);
        acm_->fixed_ = oldFixed;
    }
    // The graph's own restoration fails while the new format is fixed: restore it here.
    if (!IsConnected()) graph->ConnectDirect(this, peer.get(), &oldType);
    return hr;
}

HRESULT TAcmOutputPin::GetFormat(AM_MEDIA_TYPE** pmt) {
    if (!pmt) return E_POINTER;
    *pmt = nullptr;
    TBCAutoLock lock(*lock_);
    CMediaType type;
    if (IsConnected()) {
        type = mt_;
    } else if (acm_->fixed_) {
        type = MakePcmType(*acm_->fixed_);
    } else if (acm_->input_ && acm_->input_->IsConnected()) {
        type = MakePcmType(acm_->OfferedFormats().front());
    } else {
        return VFW_E_NOT_CONNECTED;
    }
    *pmt = CreateMediaType(&type);
    return *pmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT TAcmOutputPin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    TBCAutoLock lock(*lock_);
    std::optional<TPcmFormat> fixed = std::exchange(acm_->fixed_, std::nullopt);
    *count = static_cast<int>(acm_->OfferedFormats().size());
    acm_->fixed_ = fixed;
    *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT TAcmOutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) {
    if (!pmt || !caps) return E_POINTER;
    *pmt = nullptr;
    TBCAutoLock lock(*lock_);
    // The capabilities are what the filter can make, whatever format is fixed at the moment.
    std::optional<TPcmFormat> fixed = std::exchange(acm_->fixed_, std::nullopt);
    std::vector<TPcmFormat> formats = acm_->OfferedFormats();
    acm_->fixed_ = fixed;
    if (index < 0) return E_INVALIDARG;
    if (index >= static_cast<int>(formats.size())) return S_FALSE;
    CMediaType type = MakePcmType(formats[static_cast<std::size_t>(index)]);
    *pmt = CreateMediaType(&type);
    if (!*pmt) return E_OUTOFMEMORY;
    AUDIO_STREAM_CONFIG_CAPS c;
    FillCaps(&c);
    std::memcpy(caps, &c, sizeof c);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Filter

TAcmWrapper::TAcmWrapper() : TBCTransformFilter("ACM Wrapper", nullptr, CLSID_ACMWrapper) {}

TAcmWrapper::~TAcmWrapper() = default;

void TAcmWrapper::CreatePins() {
    input_ = std::make_unique<TBCTransformInputPin>("ACM input pin", this, "Input");
    output_ = std::make_unique<TAcmOutputPin>(this);
}

std::optional<TPcmFormat> TAcmWrapper::FixedFormat() const {
    TBCAutoLock lock(const_cast<TBCCritSec&>(csFilter_));
    return fixed_;
}

std::vector<TPcmFormat> TAcmWrapper::OfferedFormats() const {
    if (fixed_) return {*fixed_};
    std::vector<TPcmFormat> list;
    auto add = [&](const TPcmFormat& f) {
        if (std::find(list.begin(), list.end(), f) == list.end()) list.push_back(f);
    };
    if (input_ && input_->IsConnected()) {
        if (auto in = PcmFormatOf(input_->CurrentMediaType())) {
            add(*in);
            add(TPcmFormat{in->rate, in->channels, 16});
        }
    }
    for (const TPcmFormat& f : kCommonFormats)
        add(f);
    return list;
}

HRESULT TAcmWrapper::CheckInputType(const CMediaType* mtIn) {
    return mtIn && PcmFormatOf(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAcmWrapper::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    if (!mtIn || !mtOut || !PcmFormatOf(*mtIn)) return VFW_E_TYPE_NOT_ACCEPTED;
    auto out = PcmFormatOf(*mtOut);
    if (!out) return VFW_E_TYPE_NOT_ACCEPTED;
    if (fixed_ && !(*out == *fixed_)) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TAcmWrapper::GetMediaType(int position, CMediaType* mt) {
    if (!mt) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    std::vector<TPcmFormat> formats = OfferedFormats();
    if (position >= static_cast<int>(formats.size())) return VFW_S_NO_MORE_ITEMS;
    *mt = MakePcmType(formats[static_cast<std::size_t>(position)]);
    return S_OK;
}

HRESULT TAcmWrapper::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    auto out = PcmFormatOf(output_->CurrentMediaType());
    if (!out) return VFW_E_TYPE_NOT_ACCEPTED;
    const long block = static_cast<long>(out->BlockAlign());
    const long frames = std::max<long>(static_cast<long>(out->rate / kBuffersPerSecond), 256);
    return RequestBuffers(allocator, request, kBufferCount, frames * block);
}

HRESULT TAcmWrapper::StartStreaming() {
    auto in = PcmFormatOf(input_->CurrentMediaType());
    auto out = PcmFormatOf(output_->CurrentMediaType());
    if (!in || !out || !converter_.Open(*in, *out)) return VFW_E_TYPE_NOT_ACCEPTED;
    restartPending_ = true;
    return S_OK;
}

HRESULT TAcmWrapper::StopStreaming() {
    converter_.Close();
    return S_OK;
}

HRESULT TAcmWrapper::BeginFlush() {
    restartPending_ = true;
    return TBCTransformFilter::BeginFlush();
}

HRESULT TAcmWrapper::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
    restartPending_ = true;
    return TBCTransformFilter::NewSegment(tStart, tStop, rate);
}

HRESULT TAcmWrapper::Receive(IMediaSample* sample) {
    if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (!converter_.IsOpen()) return VFW_E_WRONG_STATE;
    const AM_SAMPLE2_PROPERTIES* props = input_->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA) return output_->Deliver(sample);

    HRESULT hr = S_OK;
    if ((props->dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props->pMediaType) {
        // The input format changed in the stream: what the old one left is delivered first.
        auto in = PcmFormatOf(*props->pMediaType);
        if (!in) return VFW_E_INVALIDMEDIATYPE;
        hr = ConvertAndDeliver(nullptr, 0, true);
        if (FAILED(hr)) return hr;
        const TPcmFormat out = converter_.OutFormat();
        if (!converter_.Open(*in, out)) return VFW_E_INVALIDMEDIATYPE;
    }
    if (restartPending_.exchange(false)) {
        // After a flush or a new segment nothing held belongs to the new stream.
        converter_.Reset();
        timeKnown_ = false;
        discontinuity_ = true;
    } else if ((props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) && timeKnown_) {
        // Upstream lost data: close the old run and count again from this sample's time.
        hr = ConvertAndDeliver(nullptr, 0, true);
        if (FAILED(hr)) return hr;
        converter_.Reset();
        timeKnown_ = false;
        discontinuity_ = true;
    }
    if (!timeKnown_ && (props->dwSampleFlags & AM_SAMPLE_TIMEVALID)) {
        base_ = props->tStart;
        produced_ = 0;
        timeKnown_ = true;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long block = static_cast<long>(converter_.InFormat().BlockAlign());
    const int frames = static_cast<int>(sample->GetActualDataLength() / block);
    if (frames <= 0) return S_OK;
    return ConvertAndDeliver(data, frames, false);
}

HRESULT TAcmWrapper::ConvertAndDeliver(const BYTE* data, int frames, bool endOfStream) {
    const TPcmFormat out = converter_.OutFormat();
    const long block = static_cast<long>(out.BlockAlign());
    bool first = true;
    for (;;) {
        ComPtr<IMediaSample> sample;
        HRESULT hr = output_->GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* dst = nullptr;
        sample->GetPointer(&dst);
        const int capacity = static_cast<int>(sample->GetSize() / block);
        // Only the first call takes the input; later ones collect what did not fit.
        const int n = endOfStream ? converter_.Flush(dst, capacity)
                                  : converter_.Convert(first ? data : nullptr, first ? frames : 0,
                                                       dst, capacity);
        first = false;
        if (n < 0) return E_FAIL;
        if (n == 0) return S_OK;
        sample->SetActualDataLength(n * block);
        if (timeKnown_) {
            REFERENCE_TIME start = base_ + out.Duration(produced_);
            REFERENCE_TIME stop = base_ + out.Duration(produced_ + n);
            sample->SetTime(&start, &stop);
        } else {
            sample->SetTime(nullptr, nullptr);
        }
        produced_ += n;
        sample->SetSyncPoint(1);
        sample->SetDiscontinuity(discontinuity_ ? 1 : 0);
        sample->SetPreroll(0);
        sample->SetMediaTime(nullptr, nullptr);
        discontinuity_ = false;
        hr = output_->Deliver(sample.get());
        if (hr != S_OK) return hr;
        if (n < capacity) return S_OK;
    }
}

HRESULT TAcmWrapper::EndOfStream() {
    if (output_->IsConnected() && converter_.IsOpen() && !restartPending_) {
        // What the resampler still holds is the end of the stream: it goes out before the end,
        // and the end goes out even when that fails, so that the graph still completes.
        ConvertAndDeliver(nullptr, 0, true);
    }
    return TBCTransformFilter::EndOfStream();
}

} // namespace talvence
