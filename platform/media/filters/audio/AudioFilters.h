#pragma once

// Registration of the built-in audio filters:
// - the ACM Wrapper in the filter category at MERIT_NORMAL, with PCM in and out, so that
//   intelligent connection inserts it between two PCM pins that disagree on the format;
// - the audio renderer in the filter category and in the audio renderer category, as "Default
//   DirectSound Device" at MERIT_PREFERRED (the usual merit of a default renderer: Render of a
//   PCM pin ends in it before trying converters).
//
// playback: the backend the renderers created by the registry use (null: ALSA).

#include "platform/media/FilterRegistry.h"
#include "platform/media/filters/audio/PcmPlayback.h"

#include <memory>

namespace talvence {

// Any thread (the registry locks itself); call once per registry.
void RegisterAudioFilters(FilterRegistry& registry,
                          std::shared_ptr<TPcmPlaybackBackend> playback = nullptr);

} // namespace talvence
