#include "platform/media/filters/mpeg/MpegMediaTypes.h"

#include "platform/media/MediaGuids.h"

#include <cstring>

namespace talvence {

namespace {
// The sequence header (and its sequence extension) the "MpegVideo" type carries: 720 x 576,
// 4:3, 25 frames a second, main profile at main level.
constexpr BYTE kSequenceHeader[kMpegVideoSequenceHeaderBytes] = {
    0x00, 0x00, 0x01, 0xb3, 0x00, 0x00, 0x00, 0x00, 0x78, 0x03, 0x00, 0x00, 0xb2, 0xd7, 0x01,
    0x00, 0x80, 0x00, 0x00, 0x00, 0x42, 0x00, 0x00, 0x00, 0x14, 0x14, 0x14, 0x15, 0x15, 0x15,
    0x15, 0x15, 0x15, 0x16, 0x16, 0x16, 0x16, 0x16, 0x16, 0x16, 0x17, 0x17, 0x17, 0x17, 0x17,
    0x17, 0x17, 0x17, 0x18, 0x18, 0x18, 0x19, 0x18, 0x18, 0x18, 0x19, 0x1a, 0x1a, 0x1a, 0x1a,
    0x19, 0x1b, 0x1b, 0x1b, 0x1b, 0x1b, 0x1c, 0x1c, 0x1c, 0x1c, 0x1e, 0x1e, 0x1e, 0x1f, 0x1f,
    0x21, 0x00, 0x00, 0x01, 0xb5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00};
} // namespace

CMediaType ProgramStreamType() {
    CMediaType mt(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM);
    mt.SetVariableSize();
    return mt;
}

CMediaType MpegVideoPinType() {
    BYTE block[kMpegVideoFormatBytes] = {};
    MPEG2VIDEOINFO info;
    info.hdr.rcSource = {0, 0, 720, 576};
    info.hdr.dwBitRate = 6000000;
    info.hdr.AvgTimePerFrame = 400000;
    info.hdr.dwPictAspectRatioX = 720;
    info.hdr.dwPictAspectRatioY = 576;
    info.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.hdr.bmiHeader.biWidth = 720;
    info.hdr.bmiHeader.biHeight = 576;
    info.cbSequenceHeader = kMpegVideoSequenceHeaderBytes;
    info.dwProfile = 2; // main
    info.dwLevel = 2;   // main
    constexpr std::size_t head = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    std::memcpy(block, &info, head);
    std::memcpy(block + head, kSequenceHeader, sizeof kSequenceHeader);
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    mt.SetVariableSize();
    mt.SetFormatType(FORMAT_MPEG2Video);
    mt.SetFormat(block, sizeof block);
    return mt;
}

CMediaType MpegAudioPinType() {
    MPEG1WAVEFORMAT wave;
    wave.wfx.wFormatTag = WAVE_FORMAT_MPEG;
    wave.wfx.nChannels = 2;
    wave.wfx.nSamplesPerSec = 48000;
    wave.wfx.nAvgBytesPerSec = 32000;
    wave.wfx.nBlockAlign = 768;
    wave.wfx.wBitsPerSample = 0;
    wave.wfx.cbSize = 22;
    wave.fwHeadLayer = 2;
    wave.dwHeadBitrate = 256000;
    wave.fwHeadMode = 1;
    wave.fwHeadModeExt = 1;
    wave.wHeadEmphasis = 1;
    wave.fwHeadFlags = 0x1C;
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof wave);
    mt.SetSampleSize(1);
    return mt;
}

bool MpegVideoSize(const AM_MEDIA_TYPE& mt, LONG& width, LONG& height, REFERENCE_TIME& frameTime) {
    if (!mt.pbFormat) return false;
    if (mt.formattype == FORMAT_MPEG2Video && mt.cbFormat >= sizeof(MPEG2VIDEOINFO)) {
        MPEG2VIDEOINFO info;
        std::memcpy(&info, mt.pbFormat, sizeof info);
        width = info.hdr.bmiHeader.biWidth;
        height = info.hdr.bmiHeader.biHeight;
        frameTime = info.hdr.AvgTimePerFrame;
        return true;
    }
    if (mt.formattype == FORMAT_MPEGVideo && mt.cbFormat >= sizeof(MPEG1VIDEOINFO)) {
        MPEG1VIDEOINFO info;
        std::memcpy(&info, mt.pbFormat, sizeof info);
        width = info.hdr.bmiHeader.biWidth;
        height = info.hdr.bmiHeader.biHeight;
        frameTime = info.hdr.AvgTimePerFrame;
        return true;
    }
    return false;
}

} // namespace talvence
