#pragma once

// HRESULTs as text for diagnostics.

#include "platform/media/HResult.h"

#include <string>

namespace talvence {

// The constant's name and value, "VFW_E_TYPE_NOT_ACCEPTED (0x8004022A)", for the codes named in
// HResult.h; the value alone, "0x80041234", for any other. Any thread.
std::string HResultText(HRESULT hr);

} // namespace talvence
