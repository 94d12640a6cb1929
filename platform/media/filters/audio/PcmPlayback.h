#pragma once

// The seam between the audio renderer and the sound system: a playback backend opens a PCM
// device by name; the opened device takes interleaved frames with blocking writes, paced by the
// device. The ALSA backend is the real one; FakePcmPlayback.h has the fake used by tests.
//
// Threads: Write, Pending and Prepare belong to the renderer's streaming thread; Drop may come
// from any thread while a Write blocks, and makes it return at once.

#include "platform/media/filters/audio/PcmFormat.h"

#include <memory>
#include <string>

namespace talvence {

class TPcmPlaybackDevice {
public:
    virtual ~TPcmPlaybackDevice() = default;

    // Blocks until every frame has been taken. Answers the frames taken: fewer when Drop ended
    // the write, -1 when the device failed for good.
    virtual long Write(const BYTE* data, long frames) = 0;
    // Starts playback if it has not started yet (a short stream never filled the device's start
    // threshold) and answers the frames still to be heard; -1 on failure.
    virtual long Pending() = 0;
    // Any thread: throws away what is queued and releases a blocked Write; writes fail until
    // Prepare.
    virtual void Drop() = 0;
    // Makes the device writable again after Drop.
    virtual bool Prepare() = 0;
};

class TPcmPlaybackBackend {
public:
    virtual ~TPcmPlaybackBackend() = default;
    // Null when the device cannot be opened with the format.
    virtual std::unique_ptr<TPcmPlaybackDevice> Open(const std::string& device,
                                                     const TPcmFormat& format) = 0;
};

// The ALSA backend (snd_pcm, interleaved, with ALSA's own conversion to what the card takes).
std::shared_ptr<TPcmPlaybackBackend> MakeAlsaPlaybackBackend();

} // namespace talvence
