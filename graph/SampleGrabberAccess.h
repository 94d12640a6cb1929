#pragma once

// The frame grabber filter's interface (ISampleGrabber), reached by QueryInterface on whatever
// filter a grabber slot holds. Kept behind these functions so that the grabber filter's header,
// which declares a filter class of the same name as the grabber slot, stays out of the component
// headers.
//
// Threads: application thread.

#include "platform/media/Interfaces.h"
#include "platform/media/MediaType.h"

#include <vector>

namespace talvence {

// Accept only this type at the next connection, keep a copy of the last sample, no one-shot, no
// per-sample callback. E_NOINTERFACE when the filter is not a grabber.
HRESULT PrepareSampleGrabber(IBaseFilter* filter, const AM_MEDIA_TYPE& accepted);
// The type of the current stream; VFW_E_NOT_CONNECTED unconnected.
HRESULT SampleGrabberConnectedType(IBaseFilter* filter, CMediaType* type);
// The bytes of the last buffered sample; VFW_E_WRONG_STATE when none arrived since the start.
HRESULT SampleGrabberCurrentBuffer(IBaseFilter* filter, std::vector<BYTE>* bytes);

} // namespace talvence
