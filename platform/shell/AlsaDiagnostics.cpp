#include "platform/shell/AlsaDiagnostics.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace talvence {

namespace {
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void SilenceAlsaDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

} // namespace talvence
