#pragma once
// Reading a sample's properties and copying a sample into another buffer, for the filters that
// pass samples on (transforms, tees) and must keep times, flags and media types intact.

#include "platform/media/Interfaces.h"

namespace talvence {

// The properties of a sample, through IMediaSample2 when it offers it, else read one by one.
// Any thread.
void ReadSampleProperties(IMediaSample* sample, AM_SAMPLE2_PROPERTIES* props);

// Copies the data of `source` into `dest` and gives `dest` the properties `props` (times and
// their validity, sync point, discontinuity, preroll, a media type change). Media times are the
// caller's. VFW_E_BUFFER_OVERFLOW when `dest` is smaller than the data. Any thread.
HRESULT CopySampleContents(IMediaSample* source, IMediaSample* dest, AM_SAMPLE2_PROPERTIES props);

} // namespace talvence
