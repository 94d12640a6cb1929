#pragma once

// Which media types the AVI Mux takes, and how each becomes a stream of the file:
//   MEDIATYPE_Interleaved 'dvsd' with a DVINFO block   -> 'iavs' (DV type 1)
//   MEDIATYPE_Video 'dvsd' with a VIDEOINFOHEADER      -> 'vids' 'dvsd' (DV type 2 video)
//   MEDIATYPE_Video, any other VIDEOINFOHEADER picture -> 'vids' (RGB as '##db', others '##dc')
//   MEDIATYPE_Audio with a WAVEFORMATEX                -> 'auds'
// Video streams take their frame rate from the average time per frame; the interleaved DV
// stream from the 50/60 flag of its DVINFO.

#include "platform/media/MediaType.h"
#include "platform/media/filters/avi/AviLayout.h"

#include <optional>
#include <string>

namespace talvence {

// The stream for a connection type, or nothing with the reason in *problem (when given).
std::optional<AviStreamFormat> AviStreamForMediaType(const AM_MEDIA_TYPE& mt,
                                                     std::string* problem = nullptr);

} // namespace talvence
