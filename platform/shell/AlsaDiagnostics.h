#pragma once
// ALSA prints its own complaints to stderr when there is no sound card or a device name is
// unknown; for us that is a normal case (servers, CI) that the callers handle, so the library's
// messages are kept quiet. Process-wide; any thread; idempotent.

namespace talvence {

void SilenceAlsaDiagnostics();

} // namespace talvence
