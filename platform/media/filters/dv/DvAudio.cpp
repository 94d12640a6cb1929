#include "platform/media/filters/dv/DvAudio.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace talvence::dvcodec {
namespace {

constexpr std::size_t kFirstAudioBlock = 6;
constexpr std::size_t kAudioBlockStride = 16; // an audio block, then 15 video blocks
constexpr std::size_t kAudioDataOffset = 8;   // 3 bytes of block id, then the 5-byte pack
constexpr int kAudioBlocksPerSequence = 9;

int MinimumSamples(DvSystem system, int rate) {
    return MinimumAudioSamples(system, rate);
}

// Samples per pass over the audio blocks of one half of the frame.
int ShuffleStride(DvSystem system) {
    return system == DvSystem::Pal625 ? 54 : 45;
}

struct AudioSlot {
    int sequence; // within the half of the frame
    int block;    // audio block of that sequence, 0..8
    int index;    // sample position inside the block
};

AudioSlot ComputeSlot(int n, DvSystem system) {
    const int stride = ShuffleStride(system);
    const int half = DifSequences(system) / 2;
    const int r = n % stride;
    return {(r / 3 + 2 * (r % 3)) % half, 3 * (r % 3) + r / (stride / 3), n / stride};
}

// The slots of every sample a frame can hold, worked out once: the divisions above cost more
// than moving the sample itself.
constexpr int kTabledSamples = 2048;

AudioSlot SlotOf(int n, DvSystem system) {
    static const auto table = [] {
        std::array<std::vector<AudioSlot>, 2> t;
        for (const DvSystem s : {DvSystem::Pal625, DvSystem::Ntsc525})
            for (int i = 0; i < kTabledSamples; ++i)
                t[s == DvSystem::Pal625].push_back(ComputeSlot(i, s));
        return t;
    }();
    if (n < 0 || n >= kTabledSamples) return ComputeSlot(n, system);
    return table[system == DvSystem::Pal625][std::size_t(n)];
}

const std::uint8_t* AudioData(const std::uint8_t* frame, int sequence, int block) {
    return frame + kDvSequenceBytes * std::size_t(sequence) +
           (kFirstAudioBlock + kAudioBlockStride * std::size_t(block)) * kDvDifBlockBytes +
           kAudioDataOffset;
}

std::uint8_t* AudioPack(std::uint8_t* frame, int sequence, int block) {
    return frame + AudioPackByte(sequence, block);
}

void PutPack(std::uint8_t* pack, std::uint8_t id, DWORD data) {
    pack[0] = id;
    for (int i = 0; i < 4; ++i)
        pack[1 + i] = static_cast<std::uint8_t>(data >> (8 * i));
}

// Every audio block: its pack set to "no information", its samples to zero.
void ClearAudioBlocks(std::uint8_t* frame, DvSystem system) {
    for (int s = 0; s < DifSequences(system); ++s)
        for (int b = 0; b < kAudioBlocksPerSequence; ++b) {
            std::uint8_t* pack = AudioPack(frame, s, b);
            std::memset(pack, kDvPackNoInfo, 5);
            std::memset(pack + 5, 0, kDvDifBlockBytes - kAudioDataOffset);
        }
}

// What both writers check before touching the frame.
DvAudioStatus CheckWrite(std::span<std::uint8_t> frame, DvSystem system, int sampleRate, int bits,
                         std::span<const std::int16_t> interleaved, int samples) {
    if (frame.size() < FrameBytes(system)) return DvAudioStatus::Malformed;
    if (DvAudioCodeOfRate(sampleRate) < 0) return DvAudioStatus::Unsupported;
    const int least = MinimumSamples(system, sampleRate);
    if (samples < least || samples > least + 0x3F || samples > AudioCapacity(system, bits) ||
        interleaved.size() < 2 * std::size_t(samples))
        return DvAudioStatus::Malformed;
    return DvAudioStatus::Ok;
}

// Clears the audio blocks and writes the source and control packs into every sequence.
void WritePacks(std::uint8_t* frame, DvSystem system, int sampleRate, int samples, int bits) {
    ClearAudioBlocks(frame, system);
    const DWORD source = AudioSourcePackData(system, sampleRate, samples, bits);
    const DWORD control = AudioControlPackData(system);
    for (int s = 0; s < DifSequences(system); ++s) {
        const int first = AudioSourcePackBlock(s);
        PutPack(AudioPack(frame, s, first), kAudioSourcePackId, source);
        PutPack(AudioPack(frame, s, first + 1), kDvPackAudioControl, control);
    }
}

std::int16_t Linear16(const std::uint8_t* p) {
    const auto v = static_cast<std::uint16_t>(p[0] << 8 | p[1]);
    // 0x8000 marks a sample lost on tape.
    return v == 0x8000 ? 0 : static_cast<std::int16_t>(v);
}

std::int16_t Nonlinear12(std::uint16_t code) {
    // 0x800 marks a sample lost on tape.
    return code == 0x800 ? 0 : DvAudio12To16(code);
}

} // namespace

int AudioCapacity(DvSystem system, int bits) {
    const int blocks = DifSequences(system) / 2 * kAudioBlocksPerSequence;
    const int perBlock = bits == 12 ? 24 : 36; // 72 bytes of three-byte pairs or of samples
    return blocks * perBlock;
}

DvAudioStatus ReadAudioSource(std::span<const std::uint8_t> frame, DvSystem system,
                              DvAudioSource& out) {
    out = DvAudioSource{};
    if (frame.size() < FrameBytes(system)) return DvAudioStatus::Malformed;
    const std::uint8_t* pack = frame.data() + kAudioSourcePackByte;
    if (pack[0] != kAudioSourcePackId) return DvAudioStatus::NoAudio;
    const int excess = pack[1] & 0x3F;
    const int rate = DvAudioRateOfCode((pack[4] >> 3) & 0x07);
    const int quantisation = pack[4] & 0x07;
    if (rate == 0 || quantisation > 1) return DvAudioStatus::Unsupported;
    const int bits = quantisation == 0 ? 16 : 12;
    // DV defines 12-bit audio at 32 kHz only.
    if (bits == 12 && rate != kDvAudioRate32k) return DvAudioStatus::Unsupported;
    const int samples = MinimumSamples(system, rate) + excess;
    if (samples > AudioCapacity(system, bits)) return DvAudioStatus::Malformed;
    out.sampleRate = rate;
    out.bits = bits;
    out.samples = samples;
    out.stereoPairs = bits == 12 ? 2 : 1;
    return DvAudioStatus::Ok;
}

DvAudioStatus ExtractAudio(std::span<const std::uint8_t> frame, DvSystem system, int pair,
                           std::span<std::int16_t> out, DvAudioSource& source) {
    const DvAudioStatus status = ReadAudioSource(frame, system, source);
    if (status != DvAudioStatus::Ok) return status;
    if (pair < 0 || pair >= source.stereoPairs || out.size() < 2 * std::size_t(source.samples)) {
        source = DvAudioSource{};
        return DvAudioStatus::Malformed;
    }
    const int half = DifSequences(system) / 2;
    const std::uint8_t* base = frame.data();
    std::int16_t* pcm = out.data();
    if (source.bits == 16) {
        for (int n = 0; n < source.samples; ++n) {
            const AudioSlot slot = SlotOf(n, system);
            pcm[2 * n] = Linear16(AudioData(base, slot.sequence, slot.block) + 2 * slot.index);
            pcm[2 * n + 1] =
                Linear16(AudioData(base, slot.sequence + half, slot.block) + 2 * slot.index);
        }
    } else {
        for (int n = 0; n < source.samples; ++n) {
            const AudioSlot slot = SlotOf(n, system);
            const std::uint8_t* p =
                AudioData(base, slot.sequence + pair * half, slot.block) + 3 * slot.index;
            pcm[2 * n] = Nonlinear12(static_cast<std::uint16_t>(p[0] << 4 | p[2] >> 4));
            pcm[2 * n + 1] = Nonlinear12(static_cast<std::uint16_t>(p[1] << 4 | (p[2] & 0x0F)));
        }
    }
    return DvAudioStatus::Ok;
}

int MinimumAudioSamples(DvSystem system, int sampleRate) {
    const bool pal = system == DvSystem::Pal625;
    switch (sampleRate) {
    case kDvAudioRate48k:
        return pal ? 1896 : 1580;
    case kDvAudioRate44k1:
        return pal ? 1742 : 1452;
    case kDvAudioRate32k:
        return pal ? 1264 : 1053;
    default:
        return 0;
    }
}

int AudioSamplesForFrame(DvSystem system, int sampleRate, std::uint64_t frameIndex) {
    return static_cast<int>(AudioSamplesBefore(system, sampleRate, frameIndex + 1) -
                            AudioSamplesBefore(system, sampleRate, frameIndex));
}

std::uint64_t AudioSamplesBefore(DvSystem system, int sampleRate, std::uint64_t frameIndex) {
    const std::uint64_t k = frameIndex;
    // 525-line DV at 48 kHz has a standard five-frame pattern (1600, then 1602 four times, 8008
    // in all), which camcorders and the ffmpeg command line follow.
    if (system == DvSystem::Ntsc525 && sampleRate == kDvAudioRate48k)
        return k / 5 * 8008 + (k % 5 == 0 ? 0 : 1600 + 1602 * (k % 5 - 1));
    // Otherwise k x rate x frame duration, in whole samples.
    const std::uint64_t num = system == DvSystem::Pal625 ? 1 : 1001;
    const std::uint64_t den = system == DvSystem::Pal625 ? 25 : 30000;
    return k * std::uint64_t(sampleRate) * num / den;
}

DWORD AudioSourcePackData(DvSystem system, int sampleRate, int samples, int bits) {
    const bool pal = system == DvSystem::Pal625;
    const int excess = samples - MinimumSamples(system, sampleRate);
    const int code = std::max(0, DvAudioCodeOfRate(sampleRate));
    const DWORD pc1 = 0xC0 | DWORD(excess & 0x3F);            // unlocked mode, the sample count
    const DWORD pc2 = 0x00;                                   // one stereo pair, left and right
    const DWORD pc3 = 0xC0 | (pal ? 0x20 : 0x00);             // the 50/60 flag, standard definition
    const DWORD quantisation = bits == 12 ? 1 : 0;            // 16-bit linear or 12-bit nonlinear
    const DWORD pc4 = 0x80 | DWORD(code << 3) | quantisation; // no emphasis
    return pc1 | pc2 << 8 | pc3 << 16 | pc4 << 24;
}

DWORD AudioControlPackData(DvSystem system) {
    const DWORD pc3 = 0x80 | (system == DvSystem::Pal625 ? 0x20 : 0x1E); // forward, normal speed
    return 0x3F | 0xCF << 8 | pc3 << 16 | DWORD(0xFF) << 24;             // no copy limits
}

DvAudioStatus WriteAudio(std::span<std::uint8_t> frame, DvSystem system, int sampleRate,
                         std::span<const std::int16_t> interleaved, int samples) {
    const DvAudioStatus status = CheckWrite(frame, system, sampleRate, 16, interleaved, samples);
    if (status != DvAudioStatus::Ok) return status;

    std::uint8_t* base = frame.data();
    WritePacks(base, system, sampleRate, samples, 16);
    const int half = DifSequences(system) / 2;
    for (int n = 0; n < samples; ++n) {
        const AudioSlot slot = SlotOf(n, system);
        for (int c = 0; c < 2; ++c) {
            // 0x8000 would read back as a sample lost on tape: the nearest value instead.
            const std::int16_t sample = interleaved[2 * std::size_t(n) + c];
            const auto v = static_cast<std::uint16_t>(sample == -32768 ? -32767 : sample);
            std::uint8_t* p = const_cast<std::uint8_t*>(
                AudioData(base, slot.sequence + c * half, slot.block) + 2 * slot.index);
            p[0] = static_cast<std::uint8_t>(v >> 8);
            p[1] = static_cast<std::uint8_t>(v & 0xFF);
        }
    }
    return DvAudioStatus::Ok;
}

DvAudioStatus WriteAudio12(std::span<std::uint8_t> frame, DvSystem system,
                           std::span<const std::int16_t> interleaved, int samples) {
    // DV defines 12-bit audio at 32 kHz only.
    constexpr int kRate = kDvAudioRate32k;
    const DvAudioStatus status = CheckWrite(frame, system, kRate, 12, interleaved, samples);
    if (status != DvAudioStatus::Ok) return status;

    std::uint8_t* base = frame.data();
    WritePacks(base, system, kRate, samples, 12);
    for (int n = 0; n < samples; ++n) {
        const AudioSlot slot = SlotOf(n, system);
        const std::uint16_t left = DvAudio16To12(interleaved[2 * std::size_t(n)]);
        const std::uint16_t right = DvAudio16To12(interleaved[2 * std::size_t(n) + 1]);
        std::uint8_t* p =
            const_cast<std::uint8_t*>(AudioData(base, slot.sequence, slot.block) + 3 * slot.index);
        p[0] = static_cast<std::uint8_t>(left >> 4);
        p[1] = static_cast<std::uint8_t>(right >> 4);
        p[2] = static_cast<std::uint8_t>((left & 0x0F) << 4 | (right & 0x0F));
    }
    return DvAudioStatus::Ok;
}

DvAudioStatus WriteNoAudio(std::span<std::uint8_t> frame, DvSystem system) {
    if (frame.size() < FrameBytes(system)) return DvAudioStatus::Malformed;
    ClearAudioBlocks(frame.data(), system);
    return DvAudioStatus::Ok;
}

std::size_t AudioPackByte(int sequence, int block) {
    return kDvSequenceBytes * std::size_t(sequence) +
           (kFirstAudioBlock + kAudioBlockStride * std::size_t(block)) * kDvDifBlockBytes +
           kAudioDataOffset - 5;
}

int AudioSourcePackBlock(int sequence) {
    return sequence % 2 == 0 ? 3 : 0;
}

std::int16_t DvAudio12To16(std::uint16_t code) {
    // Codes 0..511 are linear; above that each run of 256 codes doubles the step. Negative codes
    // mirror the positive ones in ones' complement.
    const int s = (code & 0x800) ? int(code & 0xFFF) - 4096 : int(code & 0x7FF);
    auto positive = [](int v) {
        const int segment = v >> 8;
        if (segment < 2) return v;
        const int shift = segment - 1;
        return (v - 256 * shift) << shift;
    };
    return static_cast<std::int16_t>(s >= 0 ? positive(s) : -1 - positive(-1 - s));
}

std::uint16_t DvAudio16To12(std::int16_t sample) {
    // The inverse of DvAudio12To16's segments: linear up to 511, then each run of 256 codes at
    // half the resolution of the one below; negatives mirror through the ones' complement.
    auto positive = [](int x) {
        if (x < 512) return x;
        int shift = 1;
        while ((x >> shift) >= 512)
            ++shift;
        return (x >> shift) + 256 * shift;
    };
    const int x = sample;
    int code = x >= 0 ? positive(x) : ~positive(~x);
    // The loudest negative samples would give the lost-sample code: the next one instead.
    if (code == -2048) code = -2047;
    return static_cast<std::uint16_t>(code & 0xFFF);
}

WAVEFORMATEX PcmWaveFormat(int sampleRate, int channels) {
    WAVEFORMATEX w;
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = static_cast<WORD>(channels);
    w.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    w.wBitsPerSample = 16;
    w.nBlockAlign = static_cast<WORD>(channels * 2);
    w.nAvgBytesPerSec = static_cast<DWORD>(sampleRate) * w.nBlockAlign;
    w.cbSize = 0;
    return w;
}

std::optional<WAVEFORMATEX> WaveFormatFromDvInfo(const DVINFO& info) {
    // The pack's four data bytes, the first in the low byte.
    const auto pc4 = static_cast<std::uint8_t>(info.dwDVAAuxSrc >> 24);
    const int rate = DvAudioRateOfCode((pc4 >> 3) & 0x07);
    const int quantisation = pc4 & 0x07;
    if (rate == 0 || quantisation > 1 || (quantisation == 1 && rate != kDvAudioRate32k))
        return std::nullopt;
    return PcmWaveFormat(rate, 2);
}

} // namespace talvence::dvcodec
