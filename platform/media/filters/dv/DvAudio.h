#pragma once
// The audio of one SD DV frame: its audio source pack and its samples, gathered from the
// frame's audio DIF blocks, where DV spreads them over the DIF sequences so that a damaged
// stretch of tape loses scattered samples instead of a run of them.
//
// Each DIF sequence holds 9 audio blocks (block 6 + 16k), each with a 5-byte pack and 72 bytes
// of samples. 16-bit audio puts the left channel in the first half of the sequences and the
// right in the second; 12-bit audio (32 kHz only) puts one stereo pair in each half, a pair in
// three bytes.

#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/dv/DvFormat.h"

#include <cstdint>
#include <optional>
#include <span>

namespace talvence::dvcodec {

enum class DvAudioStatus {
    Ok,
    NoAudio,     // no audio source pack where the first one belongs
    Unsupported, // a sampling rate or quantisation DV does not define
    Malformed,   // more samples than the blocks hold, or an unusable frame
};

struct DvAudioSource {
    int sampleRate = 0;  // 48000, 44100 or 32000
    int bits = 0;        // 16, or 12 (nonlinear, 32 kHz)
    int samples = 0;     // per channel in this frame
    int stereoPairs = 0; // 1, or 2 for 12-bit audio
    bool operator==(const DvAudioSource&) const = default;
};

// Byte of the first audio source pack in the frame, and its pack id (DvConstants.h).
inline constexpr std::size_t kAudioSourcePackByte = kDvAudioSourcePackByte;
inline constexpr std::uint8_t kAudioSourcePackId = kDvPackAudioSource;

// The most samples per channel one frame can hold.
int AudioCapacity(DvSystem system, int bits);

// The frame's audio source pack. The frame must be a whole frame of the system.
DvAudioStatus ReadAudioSource(std::span<const std::uint8_t> frame, DvSystem system,
                              DvAudioSource& out);

// The samples of one stereo pair (0, or 1 for the second pair of 12-bit audio) as interleaved
// 16-bit values, left first. `out` must hold 2 × AudioCapacity samples. Samples marked as
// errors on tape come out silent.
DvAudioStatus ExtractAudio(std::span<const std::uint8_t> frame, DvSystem system, int pair,
                           std::span<std::int16_t> out, DvAudioSource& source);

// The fewest samples per channel a frame carries at that rate (the audio source pack stores the
// count as the excess over this); 0 for a rate DV does not define.
int MinimumAudioSamples(DvSystem system, int sampleRate);
// Samples per channel of frame `frameIndex` of a continuous stream at that rate: 1600, 1602,
// 1602, 1602, 1602 for 525-line DV at 48 kHz (the standard pattern), otherwise the nominal rate
// spread evenly over the frames (1920 a frame at 48 kHz for 625-line DV); always within what
// one frame may carry.
int AudioSamplesForFrame(DvSystem system, int sampleRate, std::uint64_t frameIndex);
// Samples per channel of the frames before frame `frameIndex` of such a stream: the sum of
// AudioSamplesForFrame over them.
std::uint64_t AudioSamplesBefore(DvSystem system, int sampleRate, std::uint64_t frameIndex);

// The inverse of ExtractAudio for 16-bit audio: writes an audio source pack and an audio
// control pack into every DIF sequence (source in block 3 of even sequences and block 0 of odd
// ones, control after it, "no information" elsewhere) and `samples` stereo samples, shuffled,
// as big-endian 16-bit values; unused sample bytes are zero. `interleaved` holds left/right
// pairs and at least 2 × samples values. The frame's other blocks are left as they are.
// Malformed when the count is not one a frame of that rate may carry or the frame is short.
DvAudioStatus WriteAudio(std::span<std::uint8_t> frame, DvSystem system, int sampleRate,
                         std::span<const std::int16_t> interleaved, int samples);
// The same for 12-bit nonlinear audio at 32 kHz: the packs say so, and `samples` stereo samples
// of the first pair, converted by DvAudio16To12, go shuffled into the first half of the
// sequences as three-byte pairs; the second pair, in the other half, is silent (zero bytes).
DvAudioStatus WriteAudio12(std::span<std::uint8_t> frame, DvSystem system,
                           std::span<const std::int16_t> interleaved, int samples);
// Marks a frame as carrying no audio: "no information" packs and zero samples in every audio
// block.
DvAudioStatus WriteNoAudio(std::span<std::uint8_t> frame, DvSystem system);
// The data bytes (PC1..PC4, first in the low byte) of the packs WriteAudio and WriteAudio12
// write, for the DVINFO format block.
DWORD AudioSourcePackData(DvSystem system, int sampleRate, int samples, int bits = 16);
DWORD AudioControlPackData(DvSystem system);

// Byte of the pack (id, then PC1..PC4) of audio block `block` (0..8) of DIF sequence `sequence`.
std::size_t AudioPackByte(int sequence, int block);
// The audio block of a DIF sequence whose pack is the audio source pack: 3 in even sequences, 0
// in odd ones. The audio control pack follows it; camcorders put the recording date and time in
// the two blocks after that, which the writers above leave at "no information".
int AudioSourcePackBlock(int sequence);

// A 12-bit nonlinear DV sample (two's complement in the low 12 bits) as 16-bit linear.
std::int16_t DvAudio12To16(std::uint16_t code);
// A 16-bit linear sample as a 12-bit nonlinear code (in the low 12 bits), dropping the low bits
// its segment cannot hold; never 0x800, which marks a sample lost on tape.
std::uint16_t DvAudio16To12(std::int16_t sample);

// The PCM format the DV splitter delivers: 16-bit, the given rate and channels.
WAVEFORMATEX PcmWaveFormat(int sampleRate, int channels);
// The splitter's audio format from a DV format block (its first audio source pack), for
// connections made before any frame has been seen; nothing when it carries no usable audio.
std::optional<WAVEFORMATEX> WaveFormatFromDvInfo(const DVINFO& info);

} // namespace talvence::dvcodec
