#include "platform/media/filters/avimux/AviStreamTypes.h"

#include "platform/media/DvConstants.h"
#include "platform/media/MediaGuids.h"

#include <cstring>
#include <span>

namespace talvence {
namespace {

std::optional<AviStreamFormat> Refuse(std::string* problem, const char* why) {
    if (problem) *problem = why;
    return std::nullopt;
}

bool Is50Hz(const DVINFO& dvInfo) {
    BYTE bytes[sizeof(DVINFO)];
    std::memcpy(bytes, &dvInfo, sizeof bytes);
    return (bytes[DVINFO_SYSTEM_BYTE] & DVINFO_50HZ_BIT) != 0;
}

// Bytes of the format block after its fixed part.
std::span<const std::uint8_t> After(const AM_MEDIA_TYPE& mt, std::size_t fixed) {
    if (mt.cbFormat <= fixed) return {};
    return {mt.pbFormat + fixed, mt.cbFormat - fixed};
}

std::optional<AviStreamFormat> Interleaved(const AM_MEDIA_TYPE& mt, std::string* problem) {
    if (!(mt.subtype == MEDIASUBTYPE_dvsd))
        return Refuse(problem, "interleaved streams must be SD DV ('dvsd')");
    if (!(mt.formattype == FORMAT_DvInfo) || mt.cbFormat < sizeof(DVINFO) || !mt.pbFormat)
        return Refuse(problem, "interleaved DV needs a 32-byte DVINFO format block");
    DVINFO dvInfo;
    std::memcpy(&dvInfo, mt.pbFormat, sizeof dvInfo);
    const bool pal = Is50Hz(dvInfo);
    return AviDvInterleavedStream(dvInfo, pal ? kDvFrameTime625 : kDvFrameTime525, kDvWidth,
                                  pal ? kDvHeight625 : kDvHeight525);
}

std::optional<AviStreamFormat> Video(const AM_MEDIA_TYPE& mt, std::string* problem) {
    if (!(mt.formattype == FORMAT_VideoInfo) || !VideoBitmapHeader(mt))
        return Refuse(problem, "video needs a VIDEOINFOHEADER format block with a bitmap header");
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt.pbFormat, sizeof vih);
    const BITMAPINFOHEADER& b = vih.bmiHeader;
    if (vih.AvgTimePerFrame <= 0)
        return Refuse(problem, "video without an average time per frame has no frame rate");
    if (b.biWidth <= 0 || b.biHeight == 0)
        return Refuse(problem, "the bitmap header does not describe a picture");

    const bool dv = mt.subtype == MEDIASUBTYPE_dvsd || b.biCompression == kFccDvsd;
    if (!dv) return AviVideoStream(vih, After(mt, sizeof(VIDEOINFOHEADER)));

    const LONG height = b.biHeight < 0 ? -b.biHeight : b.biHeight;
    if (b.biWidth != kDvWidth || (height != kDvHeight625 && height != kDvHeight525))
        return Refuse(problem, "DV video must be 720x576 or 720x480");
    // Some splitters append the DVINFO block to the video info; without it the file gets one
    // that names the system only, which is all readers look at.
    DVINFO dvInfo;
    if (mt.cbFormat >= sizeof(VIDEOINFOHEADER) + sizeof(DVINFO)) {
        std::memcpy(&dvInfo, mt.pbFormat + sizeof(VIDEOINFOHEADER), sizeof dvInfo);
    } else if (height == kDvHeight625) {
        BYTE bytes[sizeof(DVINFO)] = {};
        bytes[DVINFO_SYSTEM_BYTE] = DVINFO_50HZ_BIT;
        std::memcpy(&dvInfo, bytes, sizeof dvInfo);
    }
    return AviDvVideoStream(dvInfo, vih.AvgTimePerFrame, b.biWidth, height);
}

std::optional<AviStreamFormat> Audio(const AM_MEDIA_TYPE& mt, std::string* problem) {
    // A plain WAVEFORMAT (16 bytes, no cbSize) is still seen from older sources.
    constexpr std::size_t kWaveFormatBytes = 16;
    if (!(mt.formattype == FORMAT_WaveFormatEx) || mt.cbFormat < kWaveFormatBytes || !mt.pbFormat)
        return Refuse(problem, "audio needs a WAVEFORMATEX format block");
    WAVEFORMATEX wave;
    std::memcpy(&wave, mt.pbFormat, std::min<std::size_t>(mt.cbFormat, sizeof wave));
    if (mt.cbFormat < sizeof wave) wave.cbSize = 0;
    if (wave.nChannels == 0 || wave.nBlockAlign == 0 || wave.nAvgBytesPerSec == 0 ||
        wave.nSamplesPerSec == 0)
        return Refuse(problem, "the wave format has no channels, block size or rate");
    if (wave.wFormatTag == WAVE_FORMAT_PCM &&
        wave.nBlockAlign != wave.nChannels * ((wave.wBitsPerSample + 7) / 8))
        return Refuse(problem, "the PCM block size does not match channels and sample size");
    return AviAudioStream(wave, After(mt, sizeof(WAVEFORMATEX)));
}

} // namespace

std::optional<AviStreamFormat> AviStreamForMediaType(const AM_MEDIA_TYPE& mt,
                                                     std::string* problem) {
    std::optional<AviStreamFormat> stream;
    if (mt.majortype == MEDIATYPE_Interleaved)
        stream = Interleaved(mt, problem);
    else if (mt.majortype == MEDIATYPE_Video)
        stream = Video(mt, problem);
    else if (mt.majortype == MEDIATYPE_Audio)
        stream = Audio(mt, problem);
    else
        return Refuse(problem, "only video, audio and interleaved DV can go into an AVI file");
    if (!stream) return stream;
    const std::string why = AviStreamProblem(*stream);
    if (!why.empty()) {
        if (problem) *problem = why;
        return std::nullopt;
    }
    return stream;
}

} // namespace talvence
