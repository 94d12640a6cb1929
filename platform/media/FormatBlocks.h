#pragma once

// Format blocks carried by media types, with the platform's byte layouts: format blocks are copied
// byte for byte between filters, into AVI headers and out of device descriptions, so every offset
// the application reads is pinned below.

#include "platform/media/HResult.h"

#include <cstddef>
#include <cstdint>

namespace talvence {

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    LONG biWidth = 0;
    LONG biHeight = 0; // positive: bottom-up rows
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate = 0;
    DWORD dwBitErrorRate = 0;
    REFERENCE_TIME AvgTimePerFrame = 0;
    BITMAPINFOHEADER bmiHeader;
};

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate = 0;
    DWORD dwBitErrorRate = 0;
    REFERENCE_TIME AvgTimePerFrame = 0;
    DWORD dwInterlaceFlags = 0;
    DWORD dwCopyProtectFlags = 0;
    DWORD dwPictAspectRatioX = 0;
    DWORD dwPictAspectRatioY = 0;
    DWORD dwControlFlags = 0; // a union with dwReserved1 on the platform
    DWORD dwReserved2 = 0;
    BITMAPINFOHEADER bmiHeader;
};

// The sequence header runs on past the struct: cbSequenceHeader bytes from bSequenceHeader.
struct MPEG1VIDEOINFO {
    VIDEOINFOHEADER hdr;
    DWORD dwStartTimeCode = 0;
    DWORD cbSequenceHeader = 0;
    BYTE bSequenceHeader[1] = {};
};

struct MPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode = 0;
    DWORD cbSequenceHeader = 0;
    DWORD dwProfile = 0;
    DWORD dwLevel = 0;
    DWORD dwFlags = 0;
    DWORD dwSequenceHeader[1] = {};
};

struct DVINFO {
    DWORD dwDVAAuxSrc = 0;
    DWORD dwDVAAuxCtl = 0;
    DWORD dwDVAAuxSrc1 = 0;
    DWORD dwDVAAuxCtl1 = 0;
    DWORD dwDVVAuxSrc = 0;
    DWORD dwDVVAuxCtl = 0;
    DWORD dwDVReserved[2] = {};
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};
#pragma pack(pop)

inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr DWORD BI_RGB = 0;

// Byte 18 of DVINFO (third byte of the video source pack), bit 5: set for 50-field systems.
inline constexpr std::size_t DVINFO_SYSTEM_BYTE = 18;
inline constexpr BYTE DVINFO_50HZ_BIT = 0x20;

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biWidth) == 52);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biHeight) == 56);
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(offsetof(VIDEOINFOHEADER2, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) + offsetof(BITMAPINFOHEADER, biWidth) == 76);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) + offsetof(BITMAPINFOHEADER, biHeight) == 80);
static_assert(offsetof(MPEG1VIDEOINFO, dwStartTimeCode) == 88);
static_assert(offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96);
static_assert(offsetof(MPEG2VIDEOINFO, dwStartTimeCode) == 112);
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132);
static_assert(sizeof(MPEG2VIDEOINFO) == 136);
static_assert(sizeof(DVINFO) == 32);
static_assert(offsetof(DVINFO, dwDVVAuxSrc) == 16);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);

// Bytes of one image row padded to 32 bits; a bit count of 15 counts as 16.
constexpr DWORD DibRowBytes(LONG width, WORD bitCount) {
    const std::int64_t bits = bitCount == 15 ? 16 : bitCount;
    const std::int64_t w = width < 0 ? -std::int64_t(width) : width;
    return static_cast<DWORD>(((w * bits + 31) / 32) * 4);
}

// Image size of an uncompressed bitmap: biSizeImage when given, else computed from the header.
constexpr DWORD DibImageSize(const BITMAPINFOHEADER& h) {
    if (h.biSizeImage != 0) return h.biSizeImage;
    const std::int64_t rows = h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight;
    const std::int64_t planes = h.biPlanes == 0 ? 1 : h.biPlanes;
    return static_cast<DWORD>(DibRowBytes(h.biWidth, h.biBitCount) * rows * planes);
}

} // namespace talvence
