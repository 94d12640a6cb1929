#pragma once
// Readers of the auxiliary data a consumer DV camcorder writes into every DV
// frame: tape timecode, recording date and time, video system, aspect ratio
// and audio sampling. Pure functions over a raw frame buffer; they never
// allocate, write or throw.
//
// Every function reads inside the first 10 DIF sequences only, so the buffer
// must hold at least kDvMinFrameBytes bytes. The callers check that (the scene
// detector decodes nothing smaller); the functions themselves cannot.

#include <cstddef>
#include <cstdint>

#include "filters/dvcodes/DvFrameInfo.h"
#include "platform/media/DvConstants.h"

namespace talvence {

// DIF and frame sizes, audio rates and the audio packs, shared with the DV codec filters, are in
// DvConstants.h.
inline constexpr int kDvMinSequences = kDvSequences525;
inline constexpr std::size_t kDvMinFrameBytes = kDvMinSequences * kDvSequenceBytes; // 120000

// Offsets inside one DIF sequence.
inline constexpr std::size_t kDvHeaderSystemByte = 3;  // 0xBF = 625/50, 0x3F = 525/60
inline constexpr std::size_t kDvHeaderAp3Byte = 7;     // low 3 bits: subcode application id
inline constexpr std::size_t kDvSubcodeBlock1 = 80;    // subcode blocks 1 and 2
inline constexpr std::size_t kDvSubcodePackOffset = 6; // pack j of a subcode block: 6 + 8j
inline constexpr std::size_t kDvSubcodePackStride = 8;
inline constexpr std::size_t kDvVauxBlock3 = 400;           // third VAUX block
inline constexpr std::size_t kDvVauxSlot10 = 453;           // video source control
inline constexpr std::size_t kDvVauxSlot11 = 458;           // recording date
inline constexpr std::size_t kDvVauxSlot12 = 463;           // recording time

inline constexpr std::uint8_t kDvPackTimecode = 0x13;
inline constexpr std::uint8_t kDvPackAudioRecDate = 0x52;
inline constexpr std::uint8_t kDvPackAudioRecTime = 0x53;
inline constexpr std::uint8_t kDvPackVideoSource = 0x60;
inline constexpr std::uint8_t kDvPackSourceControl = 0x61;
inline constexpr std::uint8_t kDvPackRecDate = 0x62;
inline constexpr std::uint8_t kDvPackRecTime = 0x63;

// Recording date and time as written by the camcorder. year = -1 when the
// packs are missing; the other fields then mean nothing. No calendar check.
struct DvRecDateTime {
    std::int32_t year = -1;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

// 0 = 625/50, 1 = 525/60, 2 = not recognised (the values of DvFrameInfo::videoSystem).
inline constexpr std::uint8_t kDvSystem625 = 0;
inline constexpr std::uint8_t kDvSystem525 = 1;
inline constexpr std::uint8_t kDvSystemUnknown = 2;

// The first 0x13 pack of the two subcode blocks of sequence s; hours = 0xFF
// when there is none.
DvTimecode DvReadTimecode(const std::uint8_t* frame, int s);
// Recording date (slot 11) and time (slot 12) of the third VAUX block of
// sequence s; year = -1 unless both packs are in their slots.
void DvReadRecDateTime(const std::uint8_t* frame, int s, DvRecDateTime& out);
// A video source control pack in slot 10 of sequence 0.
bool DvHasSourceControl(const std::uint8_t* frame);
std::uint8_t DvVideoSystem(const std::uint8_t* frame);
// 48000, 44100, 32000, 0 (code not recognised) or -1 (no audio source pack).
std::int32_t DvAudioSampleRate(const std::uint8_t* frame);
// 16, 12, 0 (code not recognised) or -1 (no audio source pack).
std::int32_t DvAudioQuantization(const std::uint8_t* frame);
// 16:9 by the display-select field of the first source control pack in
// sequences 0..9.
bool DvIsWideScreen(const std::uint8_t* frame);

} // namespace talvence
