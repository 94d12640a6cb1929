#pragma once
// The media types of MPEG streams: the program stream a stream device delivers, and the two
// elementary-stream types the graph module gives the demultiplexer's output pins ("MpegVideo":
// MPEG-2 video with its MPEG2VIDEOINFO and sequence header, "MpegAudio": MPEG-1 layer 2 audio
// with its MPEG1WAVEFORMAT), byte for byte as the platform's.

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaType.h"

#include <cstddef>

namespace talvence {

inline constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload =
    MakeGuid("00000050-0000-0010-8000-00AA00389B71");
inline constexpr WORD WAVE_FORMAT_MPEG = 0x50;

#pragma pack(push, 1)
struct MPEG1WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD fwHeadLayer = 0;
    DWORD dwHeadBitrate = 0;
    WORD fwHeadMode = 0;
    WORD fwHeadModeExt = 0;
    WORD wHeadEmphasis = 0;
    WORD fwHeadFlags = 0;
    DWORD dwPTSLow = 0;
    DWORD dwPTSHigh = 0;
};
#pragma pack(pop)
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);

// Bytes of the "MpegVideo" format block: MPEG2VIDEOINFO up to its sequence header, then the 86
// bytes of the sequence header.
inline constexpr std::size_t kMpegVideoSequenceHeaderBytes = 86;
inline constexpr std::size_t kMpegVideoFormatBytes =
    offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + kMpegVideoSequenceHeaderBytes;
static_assert(kMpegVideoFormatBytes == 218);

// MEDIATYPE_Stream / MPEG-2 program stream, no format block.
CMediaType ProgramStreamType();
// "MpegVideo": MPEG-2 main profile at main level, 720 x 576 at 25 frames a second.
CMediaType MpegVideoPinType();
// "MpegAudio": MPEG-1 layer 2, stereo, 48000 Hz, 256 kbit/s.
CMediaType MpegAudioPinType();

// The picture size and frame time an MPEG video type announces (MPEG2VIDEOINFO or
// MPEG1VIDEOINFO); false for another type or a block too short.
bool MpegVideoSize(const AM_MEDIA_TYPE& mt, LONG& width, LONG& height, REFERENCE_TIME& frameTime);

} // namespace talvence
