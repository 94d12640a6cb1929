#pragma once

// Texts naming graph objects in diagnostics, and the one line the engine writes for a refused
// connection. Building a text asks the pins and filters for their names and types, so callers
// build them only behind TLOG's check (LogRefused checks itself).
//
// Threads: any thread that may ask the objects involved; the engine calls these on the application
// thread while it builds graphs.

#include "platform/log/Log.h"
#include "platform/media/HResultText.h"
#include "platform/media/Interfaces.h"

#include <string>
#include <string_view>

namespace talvence {

// The constant's name for the types, formats, pin and device categories of MediaGuids.h
// ("MEDIASUBTYPE_dvsd"), else the GUID.
std::string GuidText(const GUID& guid);
// "MEDIATYPE_Video/MEDIASUBTYPE_dvsd"; "any type" for null.
std::string MediaTypeText(const AM_MEDIA_TYPE* mt);
// The filter's name in its graph; "(no filter)" for null.
std::string FilterText(IBaseFilter* filter);
// "Filter name [Pin name]"; "(no pin)" for null.
std::string PinText(IPin* pin);
// A pin's or a filter's text, for the objects the capture graph builder takes as IUnknown.
std::string ObjectText(IUnknown* object);
// The types the pin offers, as "MEDIATYPE_Video/MEDIASUBTYPE_RGB32, ..." or "no types".
std::string OfferedTypesText(IPin* pin);

// When hr is a failure, logs under graph "<operation>: <out> -> <in> refused: <hr>" followed by
// the type that was asked for, or else by what out offers. Returns hr, so a return statement
// can log what it returns. in may be null (Render).
HRESULT LogRefused(std::string_view operation, IPin* out, IPin* in, HRESULT hr,
                   const AM_MEDIA_TYPE* pmt = nullptr);
// As LogRefused, and a success is logged too: "<operation>: <out> -> <in> connected as <type>",
// naming the first filter in between when out is not connected to in itself.
HRESULT LogConnection(std::string_view operation, IPin* out, IPin* in, HRESULT hr,
                      const AM_MEDIA_TYPE* pmt = nullptr);

} // namespace talvence
