#include "platform/media/filters/dv/DvMediaTypes.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/media/filters/dv/DvFilterIds.h"

#include <cstring>

namespace talvence::dvcodec {

GUID SubtypeOf(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Rgb24:
        return MEDIASUBTYPE_RGB24;
    case PixelLayout::Rgb32:
        return MEDIASUBTYPE_RGB32;
    case PixelLayout::Yuy2:
        return MEDIASUBTYPE_YUY2;
    case PixelLayout::Yuv420p:
        return MEDIASUBTYPE_I420;
    case PixelLayout::Yuv411p:
        return MEDIASUBTYPE_Y41B;
    }
    return GUID_NULL;
}

std::optional<PixelLayout> LayoutOfSubtype(const GUID& subtype) {
    for (PixelLayout l : {PixelLayout::Rgb24, PixelLayout::Rgb32, PixelLayout::Yuy2,
                          PixelLayout::Yuv420p, PixelLayout::Yuv411p})
        if (SubtypeOf(l) == subtype) return l;
    return std::nullopt;
}

DvSystem SystemOfDvInfo(const DVINFO& info) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&info);
    return (bytes[DVINFO_SYSTEM_BYTE] & DVINFO_50HZ_BIT) ? DvSystem::Pal625 : DvSystem::Ntsc525;
}

DVINFO MakeDvInfo(DvSystem system, std::optional<int> sampleRate) {
    DVINFO info;
    const bool pal = system == DvSystem::Pal625;
    if (sampleRate && MinimumAudioSamples(system, *sampleRate) > 0) {
        const int samples = AudioSamplesForFrame(system, *sampleRate, 0);
        info.dwDVAAuxSrc = AudioSourcePackData(system, *sampleRate, samples);
        info.dwDVAAuxCtl = AudioControlPackData(system);
        info.dwDVAAuxSrc1 = info.dwDVAAuxSrc;
        info.dwDVAAuxCtl1 = info.dwDVAAuxCtl;
    } else {
        // "No information" packs: a stream without audio.
        info.dwDVAAuxSrc = info.dwDVAAuxCtl = info.dwDVAAuxSrc1 = info.dwDVAAuxCtl1 = 0xFFFFFFFF;
    }
    // Video source pack: colour, the 50/60 flag, standard definition.
    info.dwDVVAuxSrc = 0xFF | 0xFF << 8 | DWORD(pal ? 0xE0 : 0xC0) << 16 | DWORD(0xFF) << 24;
    // Video source control pack: no copy limits, original recording, 4:3.
    info.dwDVVAuxCtl = 0x3F | 0xC8 << 8 | 0xFC << 16 | DWORD(0xFF) << 24;
    return info;
}

CMediaType DvsdVideoType(DvSystem system) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_VideoInfo);
    const VIDEOINFOHEADER vih = DvsdVideoInfo(system);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(static_cast<ULONG>(FrameBytes(system)));
    return mt;
}

CMediaType InterleavedDvType(const DVINFO& info) {
    CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_DvInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    mt.SetSampleSize(static_cast<ULONG>(FrameBytes(SystemOfDvInfo(info))));
    return mt;
}

CMediaType PcmType(const WAVEFORMATEX& format) {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
    mt.SetSampleSize(format.nBlockAlign);
    return mt;
}

CMediaType PictureType(DvSystem system, PixelLayout layout) {
    CMediaType mt(MEDIATYPE_Video, SubtypeOf(layout));
    mt.SetFormatType(FORMAT_VideoInfo);
    const VIDEOINFOHEADER vih = VideoInfoFor(system, layout);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

std::optional<DvSystem> SystemOfDvsdType(const CMediaType& mt) {
    if (!(mt.subtype == MEDIASUBTYPE_dvsd)) return std::nullopt;
    if (mt.formattype == FORMAT_DvInfo) {
        const DVINFO* info = mt.FormatAs<DVINFO>();
        if (!info) return std::nullopt;
        return SystemOfDvInfo(*info);
    }
    if (mt.majortype == MEDIATYPE_Video && mt.formattype == FORMAT_VideoInfo) {
        const BITMAPINFOHEADER* bmi = VideoBitmapHeader(mt);
        if (!bmi || bmi->biWidth != kDvWidth) return std::nullopt;
        const LONG h = bmi->biHeight < 0 ? -bmi->biHeight : bmi->biHeight;
        if (h == FrameHeight(DvSystem::Pal625)) return DvSystem::Pal625;
        if (h == FrameHeight(DvSystem::Ntsc525)) return DvSystem::Ntsc525;
    }
    return std::nullopt;
}

std::optional<PictureFormat> PictureFormatOf(const CMediaType& mt) {
    if (!(mt.majortype == MEDIATYPE_Video) || !(mt.formattype == FORMAT_VideoInfo))
        return std::nullopt;
    const std::optional<PixelLayout> layout = LayoutOfSubtype(mt.subtype);
    const BITMAPINFOHEADER* header = VideoBitmapHeader(mt);
    if (!layout || !header) return std::nullopt;
    const BITMAPINFOHEADER& bmi = *header;
    const BITMAPINFOHEADER expected = BitmapHeaderFor(*layout, bmi.biWidth, bmi.biHeight);
    if (bmi.biBitCount != expected.biBitCount || bmi.biCompression != expected.biCompression)
        return std::nullopt;
    // RGB is bottom-up in the platform convention; a top-down picture has a negative height.
    if (bmi.biWidth <= 0 || bmi.biHeight <= 0) return std::nullopt;
    if (PictureBytes(*layout, bmi.biWidth, bmi.biHeight) == 0) return std::nullopt;
    return PictureFormat{*layout, bmi.biWidth, bmi.biHeight};
}

} // namespace talvence::dvcodec
