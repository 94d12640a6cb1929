#pragma once
// Small helpers the DV codec cores share around libavutil; internal to this library.

#include "platform/media/filters/dv/DvFormat.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <optional>
#include <string>

namespace talvence::dvcodec::detail {

std::string AvErrorText(int code);

// The planar layout of a libav pixel format the DV codec works in, if it is one.
std::optional<PixelLayout> PlanarLayoutOf(AVPixelFormat format);
AVPixelFormat PixelFormatOf(PixelLayout planarLayout);

// A view of an AVFrame's picture in a planar layout.
ConstPicture ViewOf(const AVFrame& frame, PixelLayout layout);
Picture WritableViewOf(AVFrame& frame, PixelLayout layout);

// Copies a planar picture into another of the same layout and size, row by row.
void CopyPlanar(const ConstPicture& src, const Picture& dst);

} // namespace talvence::dvcodec::detail
