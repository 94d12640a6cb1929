#pragma once
// Opening an ALSA PCM for interleaved 8-bit (unsigned) or 16-bit (little-endian) samples, shared
// by the playback device of the audio renderer and the capture devices.

#include "platform/media/filters/audio/PcmFormat.h"

#include <alsa/asoundlib.h>

#include <string>

namespace talvence {

// The PCM open and set to `format` with about 200 ms of buffering; null when the device cannot
// be opened or does not take the format (nothing is left open then).
snd_pcm_t* OpenAlsaPcm(const std::string& device, snd_pcm_stream_t stream,
                       const TPcmFormat& format);

} // namespace talvence
