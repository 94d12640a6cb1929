#pragma once

// Start-up registration: every family of built-in filters into the filter registry (tees,
// grabber, renderers, dump, DV filters, colour converter, MJPEG decompressor, AVI writer, ACM
// wrapper and audio renderer), the sound cards' capture devices into the audio input category, the V4L2 capture
// nodes (webcams, analogue cards; none on a machine without them) and the virtual
// devices that TALVENCE_VIRTUAL_DEVICES names into the video input category.
//
// Threads: the application thread, once per registry, before the first graph is built.

#include "platform/media/FilterRegistry.h"
#include "platform/media/filters/audio/PcmPlayback.h"

#include <memory>

#include <string>
#include <vector>

namespace talvence {

// Answers what could not be registered (a virtual device with a wrong option, ...), one line each.
// playback: where the audio renderer plays (null: ALSA); tests give a fake.
std::vector<std::string>
RegisterBuiltInFilters(FilterRegistry& registry,
                       std::shared_ptr<TPcmPlaybackBackend> playback = nullptr);

} // namespace talvence
