#include "platform/media/filters/audio/PcmConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace talvence {

namespace {
AVSampleFormat SampleFormat(unsigned bits) {
    return bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
}
} // namespace

TPcmConverter::~TPcmConverter() {
    Close();
}

void TPcmConverter::Close() {
    swr_free(&swr_);
}

bool TPcmConverter::Open(const TPcmFormat& in, const TPcmFormat& out) {
    Close();
    in_ = in;
    out_ = out;
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, static_cast<int>(in.channels));
    av_channel_layout_default(&outLayout, static_cast<int>(out.channels));
    int err = swr_alloc_set_opts2(&swr_, &outLayout, SampleFormat(out.bits),
                                  static_cast<int>(out.rate), &inLayout, SampleFormat(in.bits),
                                  static_cast<int>(in.rate), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (err < 0 || !swr_) {
        Close();
        return false;
    }
    // The library's own mix lowers mono by 3 dB on its way to stereo; a format conversion must
    // not change the level, so mono is copied to both sides and stereo averaged to mono.
    if (in.channels != out.channels) {
        const double toStereo[2] = {1.0, 1.0};
        const double toMono[2] = {0.5, 0.5};
        const double* matrix = out.channels == 2 ? toStereo : toMono;
        if (swr_set_matrix(swr_, matrix, static_cast<int>(in.channels)) < 0) {
            Close();
            return false;
        }
    }
    if (swr_init(swr_) < 0) {
        Close();
        return false;
    }
    return true;
}

bool TPcmConverter::Reset() {
    if (!swr_) return false;
    // Re-initialising drops the history and the buffered frames but keeps the settings.
    swr_close(swr_);
    return swr_init(swr_) >= 0;
}

int TPcmConverter::Convert(const BYTE* in, int inFrames, BYTE* out, int outCapacity) {
    if (!swr_) return -1;
    // A non-null input pointer even for 0 frames: a null one would mean end of stream.
    static const BYTE none[1] = {0};
    const uint8_t* inPlanes[1] = {in ? in : none};
    uint8_t* outPlanes[1] = {out};
    int n = swr_convert(swr_, outPlanes, outCapacity, inPlanes, in ? inFrames : 0);
    return n < 0 ? -1 : n;
}

int TPcmConverter::Flush(BYTE* out, int outCapacity) {
    if (!swr_) return -1;
    uint8_t* outPlanes[1] = {out};
    int n = swr_convert(swr_, outPlanes, outCapacity, nullptr, 0);
    return n < 0 ? -1 : n;
}

int TPcmConverter::MaxOutput(int inFrames) const {
    if (!swr_) return 0;
    int n = swr_get_out_samples(swr_, inFrames);
    return n < 0 ? 0 : n;
}

} // namespace talvence
