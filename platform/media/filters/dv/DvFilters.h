#pragma once
// Registration of the built-in DV filters, so that graphs, the device enumerator and intelligent
// connection find them:
// - DV Splitter (Interleaved 'dvsd' in) and DV Video Decoder (Video 'dvsd' in) with
//   MERIT_NORMAL: intelligent connection inserts them to render a DV stream;
// - DV Muxer with MERIT_DO_NOT_USE: recipes add it by class id;
// - DV Video Encoder in the video compressor category (where recipes look it up by name) and,
//   with MERIT_DO_NOT_USE, in the filter category: a compressor is never inserted on its own.

#include "platform/media/FilterRegistry.h"

namespace talvence {

// Any thread (the registry locks itself); call once per registry.
void RegisterDvFilters(FilterRegistry& registry);

} // namespace talvence
