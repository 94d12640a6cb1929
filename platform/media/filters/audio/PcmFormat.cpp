#include "platform/media/filters/audio/PcmFormat.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <cstring>

namespace talvence {

std::optional<TPcmFormat> PcmFormatOf(const AM_MEDIA_TYPE& mt) {
    if (!(mt.majortype == MEDIATYPE_Audio) || !(mt.subtype == MEDIASUBTYPE_PCM) ||
        !(mt.formattype == FORMAT_WaveFormatEx))
        return std::nullopt;
    // The platform's PCMWAVEFORMAT (no cbSize) is 16 bytes and is accepted too.
    if (!mt.pbFormat || mt.cbFormat < offsetof(WAVEFORMATEX, cbSize)) return std::nullopt;
    WAVEFORMATEX wfx;
    std::memcpy(static_cast<void*>(&wfx), mt.pbFormat, offsetof(WAVEFORMATEX, cbSize));
    if (wfx.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
    if (wfx.nChannels < 1 || wfx.nChannels > 2) return std::nullopt;
    if (wfx.wBitsPerSample != 8 && wfx.wBitsPerSample != 16) return std::nullopt;
    if (wfx.nSamplesPerSec < kMinPcmRate || wfx.nSamplesPerSec > kMaxPcmRate) return std::nullopt;
    return TPcmFormat{wfx.nSamplesPerSec, wfx.nChannels, wfx.wBitsPerSample};
}

CMediaType MakePcmType(const TPcmFormat& format) {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    mt.SetSampleSize(format.BlockAlign());
    WAVEFORMATEX wfx;
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = static_cast<WORD>(format.channels);
    wfx.nSamplesPerSec = format.rate;
    wfx.nAvgBytesPerSec = format.BytesPerSecond();
    wfx.nBlockAlign = static_cast<WORD>(format.BlockAlign());
    wfx.wBitsPerSample = static_cast<WORD>(format.bits);
    wfx.cbSize = 0;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof wfx);
    return mt;
}

} // namespace talvence
