#include "platform/media/filters/mpeg/AvDecoderFilter.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace talvence {

TAvDecoderFilter::TAvDecoderFilter(std::string name, const CLSID& clsid, int codecId)
    : TBCTransformFilter(std::move(name), nullptr, clsid), codecId_(codecId) {}

TAvDecoderFilter::~TAvDecoderFilter() {
    Close();
}

void TAvDecoderFilter::Close() {
    if (parser_) av_parser_close(parser_);
    parser_ = nullptr;
    avcodec_free_context(&codec_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

HRESULT TAvDecoderFilter::StartStreaming() {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(codecId_));
    if (!codec) return E_FAIL;
    codec_ = avcodec_alloc_context3(codec);
    parser_ = av_parser_init(codecId_);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!codec_ || !parser_ || !packet_ || !frame_) return E_OUTOFMEMORY;
    codec_->pkt_timebase = {1, 10'000'000};
    Configure(*codec_);
    if (avcodec_open2(codec_, codec, nullptr) < 0) {
        TLOG(Codec) << "decoder \"" << NameInGraph() << "\": the codec cannot be opened";
        return E_FAIL;
    }
    firstOfRun_ = true;
    return S_OK;
}

HRESULT TAvDecoderFilter::StopStreaming() {
    Close();
    return S_OK;
}

HRESULT TAvDecoderFilter::Receive(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES* props = InputPin()->SampleProps();
    if (!OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (props->dwStreamId != AM_STREAM_MEDIA) return OutputPin()->Deliver(sample);
    if (!codec_) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long length = sample->GetActualDataLength();
    if (!data || length <= 0) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    const REFERENCE_TIME pts =
        SUCCEEDED(sample->GetTime(&start, &stop)) ? start : REFERENCE_TIME(AV_NOPTS_VALUE);
    return Decode(data, int(length), pts, false);
}

HRESULT TAvDecoderFilter::Decode(const std::uint8_t* data, int size, REFERENCE_TIME pts,
                                 bool flush) {
    while (size > 0 || flush) {
        std::uint8_t* out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(parser_, codec_, &out, &outSize, data, size, pts, pts, 0);
        if (used < 0) return S_OK;
        data += used;
        size -= used;
        pts = AV_NOPTS_VALUE; // the time belongs to the first frame that starts in the sample
        if (outSize > 0) {
            packet_->data = out;
            packet_->size = outSize;
            packet_->pts = parser_->pts;
            packet_->dts = parser_->dts;
            if (avcodec_send_packet(codec_, packet_) < 0) ++dropped_;
            av_packet_unref(packet_);
            const HRESULT hr = Drain();
            if (FAILED(hr)) return hr;
        } else if (flush) {
            break;
        }
        if (used == 0 && outSize == 0 && !flush) break;
    }
    return S_OK;
}

HRESULT TAvDecoderFilter::Drain() {
    for (;;) {
        const int r = avcodec_receive_frame(codec_, frame_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return S_OK;
        if (r < 0) {
            ++dropped_;
            return S_OK;
        }
        REFERENCE_TIME start = nextTime_;
        if (frame_->pts != AV_NOPTS_VALUE) {
            start = frame_->pts;
        }
        nextTime_ = start + FrameDuration(*frame_);
        const HRESULT hr = DeliverFrame(*frame_, start);
        av_frame_unref(frame_);
        firstOfRun_ = false;
        if (FAILED(hr)) return hr;
    }
}

HRESULT TAvDecoderFilter::EndOfStream() {
    if (codec_) {
        // What the parser and the codec still hold comes out before the end.
        Decode(nullptr, 0, AV_NOPTS_VALUE, true);
        avcodec_send_packet(codec_, nullptr);
        Drain();
    }
    return TBCTransformFilter::EndOfStream();
}

HRESULT TAvDecoderFilter::EndFlush() {
    {
        TBCAutoLock receive(csReceive_);
        if (codec_) avcodec_flush_buffers(codec_);
    }
    return TBCTransformFilter::EndFlush();
}

} // namespace talvence
