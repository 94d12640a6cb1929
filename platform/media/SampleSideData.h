#pragma once
// Data a picture sample carries beside its buffer: the compressed frame the picture was decoded
// from and what has changed in it since. An encoder of the same format can then keep the
// compressed data of every part nobody changed instead of coding the whole picture again.
//
// The framework passes it along only where that is known to be safe: tees and copies keep it,
// a transform keeps it only when the filter declares so, and every other filter drops it. A
// filter that changes pixels adds what it changed, or marks the whole picture changed.
//
// The origin is immutable once attached (shared, never written), so samples on several branches
// may hold the same one. Threads: a sample's origin is set and read by the thread holding it.

#include "platform/media/Interfaces.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace talvence {

// A rectangle in top-down picture coordinates.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct PictureOrigin {
    // The compressed frame the picture was decoded from.
    std::shared_ptr<const std::vector<std::uint8_t>> sourceFrame;
    // The picture's size when it was decoded.
    int width = 0;
    int height = 0;
    // Anything may have changed (a flip, a filter that cannot say what it changed).
    bool wholeChanged = false;
    // Else the areas changed since decoding; empty when nothing changed.
    std::vector<PixelRect> changed;
};

// Offered by samples that can carry an origin.
struct ISampleSideData : IUnknown {
    static constexpr GUID iid = MakeGuid("6B0B8E1C-47A4-4E0B-9C55-2D3F1A7E5B10");
    // Null when the sample carries none.
    virtual std::shared_ptr<const PictureOrigin> GetPictureOrigin() = 0;
    // Null removes it.
    virtual void SetPictureOrigin(std::shared_ptr<const PictureOrigin> origin) = 0;
};

} // namespace talvence
