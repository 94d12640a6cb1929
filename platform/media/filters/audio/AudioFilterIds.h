#pragma once

// Class ids of the built-in audio filters, with the platform's values: graph recipes and the
// filter registry name them by these.

#include "platform/media/Guid.h"

namespace talvence {

inline constexpr GUID CLSID_ACMWrapper = MakeGuid("6A08CF80-0E18-11CF-A24D-0020AFD79767");
inline constexpr GUID CLSID_DSoundRender = MakeGuid("79376820-07D0-11CF-A24D-0020AFD79767");

// The name under which the audio renderer is listed in the audio renderer category; graphs look
// the default renderer up by it.
inline constexpr const char* kDefaultAudioRendererName = "Default DirectSound Device";

} // namespace talvence
