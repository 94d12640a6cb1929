#pragma once
// Reading a sample's properties and copying a sample into another buffer, for the filters that
// pass samples on (transforms, tees) and must keep times, flags and media types intact.

#include "platform/media/Interfaces.h"
#include "platform/media/SampleSideData.h"

#include <memory>

namespace talvence {

// The properties of a sample, through IMediaSample2 when it offers it, else read one by one.
// Any thread.
void ReadSampleProperties(IMediaSample* sample, AM_SAMPLE2_PROPERTIES* props);

// The picture origin a sample carries (null when none or when the sample cannot carry one), and
// setting it (ignored by samples that cannot carry one). Any thread.
std::shared_ptr<const PictureOrigin> PictureOriginOf(IMediaSample* sample);
void SetPictureOrigin(IMediaSample* sample, std::shared_ptr<const PictureOrigin> origin);

// Copies the data of `source` into `dest` and gives `dest` the properties `props` (times and
// their validity, sync point, discontinuity, preroll, a media type change) and the source's
// picture origin: the copy is the same picture. Media times are the caller's.
// VFW_E_BUFFER_OVERFLOW when `dest` is smaller than the data. Any thread.
HRESULT CopySampleContents(IMediaSample* source, IMediaSample* dest, AM_SAMPLE2_PROPERTIES props);

} // namespace talvence
