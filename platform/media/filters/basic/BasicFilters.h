#pragma once

// Registration of the basic built-in filters (Smart Tee, Infinite Pin Tee, Sample Grabber, video
// renderer, Null Renderer, Dump) in the filter category, so that graphs and the device enumerator
// create them by class id or friendly name. All carry MERIT_DO_NOT_USE: intelligent connection
// never inserts a tee, a grabber or a renderer on its own; recipes add them by name.

#include "platform/media/FilterRegistry.h"

namespace talvence {

// Any thread (the registry locks itself); call once per registry.
void RegisterBasicFilters(FilterRegistry& registry);

} // namespace talvence
