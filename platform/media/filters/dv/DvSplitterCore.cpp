#include "platform/media/filters/dv/DvSplitterCore.h"

#include <algorithm>

namespace talvence::dvcodec {

DvSplitterCore::DvSplitterCore(DvSplitterOptions options) : options_(options) {
    // Room for the fullest frame of either system, so that splitting never allocates.
    const int most =
        std::max(AudioCapacity(DvSystem::Pal625, 16), AudioCapacity(DvSystem::Ntsc525, 16));
    samples_.resize(2 * std::size_t(most));
    pcm_.resize(4 * std::size_t(most));
}

void DvSplitterCore::Reset() {
    audioFormat_.reset();
    videoSystem_.reset();
}

DvSplitResult DvSplitterCore::Split(std::span<const std::uint8_t> frame) {
    DvSplitResult result;
    const std::optional<DvSystem> system = SystemForFrameSize(frame.size());
    if (!system) return result;
    result.accepted = true;
    result.system = *system;
    result.video = frame;
    if (!videoSystem_) videoSystem_ = *system;

    result.audioStatus = ExtractAudio(frame, *system, options_.audioPair, samples_, result.audio);
    if (result.audioStatus != DvAudioStatus::Ok) return result;

    const std::size_t values = 2 * std::size_t(result.audio.samples);
    for (std::size_t i = 0; i < values; ++i) {
        const auto v = static_cast<std::uint16_t>(samples_[i]);
        pcm_[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        pcm_[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    result.pcm = std::span<const std::uint8_t>(pcm_.data(), 2 * values);

    const WAVEFORMATEX own = PcmWaveFormat(result.audio.sampleRate, 2);
    if (!audioFormat_) audioFormat_ = own;
    result.matchesOutput = audioFormat_->nSamplesPerSec == own.nSamplesPerSec &&
                           audioFormat_->nChannels == own.nChannels;
    return result;
}

} // namespace talvence::dvcodec
