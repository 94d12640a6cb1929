#pragma once
// Crafted DV frames and the media types of raw DV, shared by the DV tests.

#include <cstdint>
#include <vector>

#include "filters/dvcodes/DvPackWriter.h"
#include "filters/dvcodes/dvcodes.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MediaType.h"

namespace talvence::testing {

// Raw DV: interleaved 'dvsd' with a DVINFO block that names the system (type 1), or video
// 'dvsd' with a VIDEOINFOHEADER (type 2).
inline CMediaType MakeDvType(bool interleaved, bool pal = true) {
    const ULONG frameBytes = pal ? 144000 : 120000;
    if (interleaved) {
        CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
        mt.SetFormatType(FORMAT_DvInfo);
        BYTE info[sizeof(DVINFO)] = {};
        if (pal) info[DVINFO_SYSTEM_BYTE] = DVINFO_50HZ_BIT;
        mt.SetFormat(info, sizeof info);
        mt.SetSampleSize(frameBytes);
        return mt;
    }
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = pal ? 400000 : 333667;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 720;
    vih.bmiHeader.biHeight = pal ? 576 : 480;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = 0x64737664; // 'dvsd'
    vih.bmiHeader.biSizeImage = frameBytes;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(frameBytes);
    return mt;
}

// A frame with nothing but the packs the recipe asks for: every other byte is
// 0xFF ("no information").
struct DvFrameRecipe {
    bool pal = true;
    bool timecode = true;
    DvTimecode tc{1, 2, 3, 4};
    bool sourceControl = true;
    bool wide = false;
    bool audioPack = true;
    int rate = 48000;
    int bits = 16;
    DvRecDateTime rec{2024, 5, 6, 7, 8, 9}; // year = -1: no date packs
};

inline std::vector<std::uint8_t> MakeDvFrame(const DvFrameRecipe& recipe) {
    const int sequences = recipe.pal ? 12 : 10;
    std::vector<std::uint8_t> frame(sequences * kDvSequenceBytes, 0xFF);
    std::uint8_t* f = frame.data();
    for (int s = 0; s < sequences; ++s) {
        std::uint8_t* seq = f + s * kDvSequenceBytes;
        seq[kDvHeaderSystemByte] = recipe.pal ? 0xBF : 0x3F;
        seq[kDvHeaderAp3Byte] = 0xF8; // AP3 = 0
        if (recipe.timecode) DvWriteTimecode(f, s, recipe.tc, !recipe.pal);
        if (recipe.sourceControl) DvWriteSourceControl(f, s, recipe.wide);
        DvWriteRecDateTime(f, s, recipe.rec);
    }
    if (recipe.audioPack) {
        // Unlocked, the fewest samples the rate allows, one stereo pair, no emphasis.
        const int rateCode = recipe.rate == 44100 ? 1 : recipe.rate == 32000 ? 2 : 0;
        std::uint8_t* pack = f + kDvAudioSourcePackByte;
        pack[0] = kDvPackAudioSource;
        pack[1] = 0xC0;
        pack[2] = 0x00;
        pack[3] = recipe.pal ? 0xE0 : 0xC0;
        pack[4] = static_cast<std::uint8_t>(0x80 | rateCode << 3 | (recipe.bits == 12 ? 1 : 0));
    }
    return frame;
}

} // namespace talvence::testing
