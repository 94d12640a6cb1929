#pragma once

// The numbers of SD DV that frames are read and written by: DIF block, sequence and frame sizes,
// the picture size and frame time of the two systems, the audio sampling rates with their codes
// in the audio source pack, and where the first audio source pack sits. The DV pack readers
// (filters/dvcodes) and the DV codec filters (platform/media/filters/dv) both take them from here:
// the engine's core is the lowest layer that both may include. Constants only.

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace talvence {

inline constexpr std::size_t kDvDifBlockBytes = 80;
inline constexpr std::size_t kDvSequenceBytes = 12000; // 150 DIF blocks
inline constexpr int kDvSequences525 = 10;
inline constexpr int kDvSequences625 = 12;
inline constexpr std::size_t kDvFrameBytes525 = kDvSequences525 * kDvSequenceBytes; // 120000
inline constexpr std::size_t kDvFrameBytes625 = kDvSequences625 * kDvSequenceBytes; // 144000

inline constexpr int kDvWidth = 720;
inline constexpr int kDvHeight525 = 480;
inline constexpr int kDvHeight625 = 576;
// 100 ns units: 30000/1001 and 25 frames per second.
inline constexpr std::int64_t kDvFrameTime525 = 333667;
inline constexpr std::int64_t kDvFrameTime625 = 400000;

inline constexpr int kDvAudioRate48k = 48000;
inline constexpr int kDvAudioRate44k1 = 44100;
inline constexpr int kDvAudioRate32k = 32000; // the only rate of 12-bit audio
// The rates DV defines, each at the index of its code in the audio source pack's SMP field.
inline constexpr int kDvAudioRates[] = {kDvAudioRate48k, kDvAudioRate44k1, kDvAudioRate32k};

// The rate of an SMP code; 0 for a code DV does not define.
constexpr int DvAudioRateOfCode(int code) {
    return code >= 0 && code < int(std::size(kDvAudioRates)) ? kDvAudioRates[code] : 0;
}
// The SMP code of a rate; -1 for a rate DV does not define.
constexpr int DvAudioCodeOfRate(int rate) {
    for (int code = 0; code < int(std::size(kDvAudioRates)); ++code)
        if (kDvAudioRates[code] == rate) return code;
    return -1;
}

// The first audio source pack: the pack of the fourth audio block of sequence 0.
inline constexpr std::size_t kDvAudioSourcePackByte = 4323;
inline constexpr std::uint8_t kDvPackAudioSource = 0x50;
inline constexpr std::uint8_t kDvPackAudioControl = 0x51;
inline constexpr std::uint8_t kDvPackNoInfo = 0xFF;

} // namespace talvence
