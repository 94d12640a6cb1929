#include "platform/media/filters/dv/DvAudio.h"

namespace talvence::dvcodec {
namespace {

constexpr std::size_t kFirstAudioBlock = 6;
constexpr std::size_t kAudioBlockStride = 16; // an audio block, then 15 video blocks
constexpr std::size_t kAudioDataOffset = 8;   // 3 bytes of block id, then the 5-byte pack
constexpr int kAudioBlocksPerSequence = 9;

int RateOfCode(int code) {
    switch (code) {
    case 0:
        return 48000;
    case 1:
        return 44100;
    case 2:
        return 32000;
    default:
        return 0;
    }
}

// The fewest samples a frame carries at each rate; the pack gives the excess over this.
int MinimumSamples(DvSystem system, int rate) {
    const bool pal = system == DvSystem::Pal625;
    switch (rate) {
    case 48000:
        return pal ? 1896 : 1580;
    case 44100:
        return pal ? 1742 : 1452;
    default:
        return pal ? 1264 : 1053;
    }
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

AudioSlot SlotOf(int n, DvSystem system) {
    const int stride = ShuffleStride(system);
    const int half = DifSequences(system) / 2;
    const int r = n % stride;
    return {(r / 3 + 2 * (r % 3)) % half, 3 * (r % 3) + r / (stride / 3), n / stride};
}

const std::uint8_t* AudioData(const std::uint8_t* frame, int sequence, int block) {
    return frame + kDifSequenceBytes * std::size_t(sequence) +
           (kFirstAudioBlock + kAudioBlockStride * std::size_t(block)) * kDifBlockBytes +
           kAudioDataOffset;
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
    const int rate = RateOfCode((pack[4] >> 3) & 0x07);
    const int quantisation = pack[4] & 0x07;
    if (rate == 0 || quantisation > 1) return DvAudioStatus::Unsupported;
    const int bits = quantisation == 0 ? 16 : 12;
    // DV defines 12-bit audio at 32 kHz only.
    if (bits == 12 && rate != 32000) return DvAudioStatus::Unsupported;
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
    const int rate = RateOfCode((pc4 >> 3) & 0x07);
    const int quantisation = pc4 & 0x07;
    if (rate == 0 || quantisation > 1 || (quantisation == 1 && rate != 32000)) return std::nullopt;
    return PcmWaveFormat(rate, 2);
}

} // namespace talvence::dvcodec
