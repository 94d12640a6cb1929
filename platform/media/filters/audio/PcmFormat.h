#pragma once

// Uncompressed PCM as the audio filters handle it: 8-bit unsigned or 16-bit signed little-endian
// interleaved samples, one or two channels, any rate from 1000 to 192000 Hz.

#include "platform/media/MediaType.h"

#include <optional>

namespace talvence {

struct TPcmFormat {
    unsigned rate = 0;
    unsigned channels = 0;
    unsigned bits = 0;

    unsigned BlockAlign() const { return channels * bits / 8; }
    unsigned BytesPerSecond() const { return rate * BlockAlign(); }
    // 100-ns units for a number of frames, rounded down.
    REFERENCE_TIME Duration(long long frames) const {
        return rate ? static_cast<REFERENCE_TIME>(frames * 10000000LL / rate) : 0;
    }
    friend bool operator==(const TPcmFormat&, const TPcmFormat&) = default;
};

inline constexpr unsigned kMinPcmRate = 1000;
inline constexpr unsigned kMaxPcmRate = 192000;

// The format of an audio PCM type with a wave format block, or nothing when the type is not one
// the filters handle. The channels, bits and rate decide; block align and byte rate in the
// block are not trusted (callers write them inconsistently), they follow from the three.
std::optional<TPcmFormat> PcmFormatOf(const AM_MEDIA_TYPE& mt);

// Audio / PCM / wave format type with a consistent WAVEFORMATEX (cbSize 0), fixed-size samples
// of one block.
CMediaType MakePcmType(const TPcmFormat& format);

} // namespace talvence
