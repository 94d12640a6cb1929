#pragma once

// Class ids of the basic built-in filters, with the platform's values: graph recipes, stored
// monikers and the filter registry name them by these.

#include "platform/media/Guid.h"

namespace talvence {

inline constexpr GUID CLSID_SmartTee = MakeGuid("CC58E280-8AA1-11D1-B3F1-00AA003761C5");
inline constexpr GUID CLSID_InfTee = MakeGuid("F8388A40-D5BB-11D0-BE5A-0080C706568E");
inline constexpr GUID CLSID_SampleGrabber = MakeGuid("C1F400A0-3F08-11D3-9F0B-006008039E37");
inline constexpr GUID CLSID_NullRenderer = MakeGuid("C1F400A4-3F08-11D3-9F0B-006008039E37");
inline constexpr GUID CLSID_Dump = MakeGuid("36A5F770-FE4C-11CE-A8ED-00AA002FEAB5");
// The preview renderer stands in for the platform's Video Mixing Renderer (windowed mode), which
// is what the preview window asks for.
inline constexpr GUID CLSID_VideoMixingRenderer = MakeGuid("B87BEB7B-8D29-423F-AE4D-6582C10175AC");

} // namespace talvence
