#include "platform/media/filters/mpeg/MpegAudioDecoder.h"

#include "platform/media/FilterRegistry.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace talvence {

namespace {

constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x55;
// The most samples an MPEG audio frame holds, with room for a resampler's rounding.
constexpr int kFrameSamples = 1152 * 2;

std::optional<WAVEFORMATEX> InputWave(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Audio) || !(mt.formattype == FORMAT_WaveFormatEx)) return {};
    if (!(mt.subtype == MEDIASUBTYPE_MPEG2_AUDIO || mt.subtype == MEDIASUBTYPE_MPEG1AudioPayload))
        return {};
    const WAVEFORMATEX* wave = mt.FormatAs<WAVEFORMATEX>();
    if (!wave || (wave->wFormatTag != WAVE_FORMAT_MPEG && wave->wFormatTag != WAVE_FORMAT_MPEGLAYER3))
        return {};
    if (wave->nChannels < 1 || wave->nChannels > 2 || wave->nSamplesPerSec < 8000 ||
        wave->nSamplesPerSec > 48000)
        return {};
    return *wave;
}

WAVEFORMATEX PcmWave(const WAVEFORMATEX& in) {
    WAVEFORMATEX pcm;
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = in.nChannels;
    pcm.nSamplesPerSec = in.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = WORD(2 * in.nChannels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    return pcm;
}

} // namespace

TMpegAudioDecoder::TMpegAudioDecoder()
    : TAvDecoderFilter("MPEG Audio Decoder", CLSID_MpegAudioDecoder, AV_CODEC_ID_MP2) {}

TMpegAudioDecoder::~TMpegAudioDecoder() {
    swr_free(&resampler_);
}

HRESULT TMpegAudioDecoder::StopStreaming() {
    swr_free(&resampler_);
    return TAvDecoderFilter::StopStreaming();
}

HRESULT TMpegAudioDecoder::CheckInputType(const CMediaType* mtIn) {
    return InputWave(*mtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpegAudioDecoder::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const auto in = InputWave(InputPin()->CurrentMediaType());
    if (!in) return E_UNEXPECTED;
    const WAVEFORMATEX pcm = PcmWave(*in);
    *mt = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt->SetFormatType(FORMAT_WaveFormatEx);
    mt->SetFormat(reinterpret_cast<const BYTE*>(&pcm), sizeof pcm);
    mt->SetSampleSize(pcm.nBlockAlign);
    return S_OK;
}

HRESULT TMpegAudioDecoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) {
    const auto in = InputWave(*mtIn);
    const WAVEFORMATEX* out = mtOut->FormatAs<WAVEFORMATEX>();
    if (!in || !out || !(mtOut->majortype == MEDIATYPE_Audio) ||
        !(mtOut->subtype == MEDIASUBTYPE_PCM) || !(mtOut->formattype == FORMAT_WaveFormatEx))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX pcm = PcmWave(*in);
    return out->wFormatTag == WAVE_FORMAT_PCM && out->nChannels == pcm.nChannels &&
                   out->nSamplesPerSec == pcm.nSamplesPerSec && out->wBitsPerSample == 16
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TMpegAudioDecoder::DecideBufferSize(IMemAllocator* allocator,
                                            ALLOCATOR_PROPERTIES* request) {
    const WAVEFORMATEX* wave = OutputPin()->CurrentMediaType().FormatAs<WAVEFORMATEX>();
    if (!wave) return E_UNEXPECTED;
    return RequestBuffers(allocator, request, 8, kFrameSamples * wave->nBlockAlign);
}

REFERENCE_TIME TMpegAudioDecoder::FrameDuration(const AVFrame& frame) const {
    return frame.sample_rate > 0 ? REFERENCE_TIME(frame.nb_samples) * 10'000'000 / frame.sample_rate
                                 : 0;
}

HRESULT TMpegAudioDecoder::DeliverFrame(const AVFrame& frame, REFERENCE_TIME start) {
    const WAVEFORMATEX* wave = OutputPin()->CurrentMediaType().FormatAs<WAVEFORMATEX>();
    if (!wave || frame.sample_rate <= 0 || frame.nb_samples <= 0) return S_OK;
    const int channels = frame.ch_layout.nb_channels;
    if (!resampler_ || resamplerRate_ != frame.sample_rate || resamplerChannels_ != channels) {
        swr_free(&resampler_);
        AVChannelLayout outLayout, inLayout;
        av_channel_layout_default(&outLayout, wave->nChannels);
        if (av_channel_layout_copy(&inLayout, &frame.ch_layout) < 0) return S_OK;
        if (swr_alloc_set_opts2(&resampler_, &outLayout, AV_SAMPLE_FMT_S16,
                                int(wave->nSamplesPerSec), &inLayout,
                                AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr) < 0 ||
            swr_init(resampler_) < 0) {
            av_channel_layout_uninit(&inLayout);
            swr_free(&resampler_);
            return S_OK;
        }
        av_channel_layout_uninit(&inLayout);
        resamplerRate_ = frame.sample_rate;
        resamplerChannels_ = channels;
    }
    ComPtr<IMediaSample> out;
    HRESULT hr = OutputPin()->GetDeliveryBuffer(out.put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    const int capacity = out->GetSize() / wave->nBlockAlign;
    if (!dst || capacity <= 0) return E_FAIL;
    const int samples = swr_convert(resampler_, &dst, capacity,
                                    const_cast<const std::uint8_t**>(frame.extended_data),
                                    frame.nb_samples);
    if (samples <= 0) return S_OK;
    out->SetActualDataLength(samples * wave->nBlockAlign);
    REFERENCE_TIME stop = start + REFERENCE_TIME(samples) * 10'000'000 / wave->nSamplesPerSec;
    out->SetTime(&start, &stop);
    out->SetSyncPoint(1);
    out->SetDiscontinuity(firstOfRun_ ? 1 : 0);
    return OutputPin()->Deliver(out.get());
}

void RegisterMpegAudioDecoder(FilterRegistry& registry) {
    RegisteredFilter entry;
    entry.clsid = CLSID_MpegAudioDecoder;
    entry.friendlyName = "MPEG Audio Decoder";
    entry.merit = MERIT_NORMAL;
    entry.pins = {RegisteredPin{PINDIR_INPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO},
                                              {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload}}},
                  RegisteredPin{PINDIR_OUTPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}}};
    entry.create = [] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TMpegAudioDecoder));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, entry);
}

} // namespace talvence
