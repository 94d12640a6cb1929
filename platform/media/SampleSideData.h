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
    // A picture decoded only in part (the filters after the decoder said they read no more):
    // it holds the frame's pixels only inside `held` (whole macroblocks) and is unspecified
    // elsewhere. Such a picture goes only to filters that asked for no more. `asked` are the
    // areas they asked for, each grown to whole chroma blocks and lying inside `held`: a
    // filter that changes pixels keeps its changes inside one of them.
    bool partial = false;
    std::vector<PixelRect> held;
    std::vector<PixelRect> asked;
};

// What of the next picture a filter and everything after it will read: the whole of it, or
// only some areas (none at all when empty). A DV encoder reads none, since it keeps the
// source's bits of every part nobody changed; the inlay reads the area of its text.
struct PictureNeed {
    bool whole = true;
    std::vector<PixelRect> areas; // when not whole

    static PictureNeed Nothing() { return PictureNeed{false, {}}; }
    // What two branches together read.
    void Add(const PictureNeed& other) {
        if (whole) return;
        if (other.whole) {
            *this = PictureNeed{};
            return;
        }
        areas.insert(areas.end(), other.areas.begin(), other.areas.end());
    }
};

// Offered by filters that can say, before a picture is made, what of it they and the filters
// after them will read: the decoder then decodes no more than that. A filter that does not
// offer it is taken to read every picture whole.
struct IPictureDemand : IUnknown {
    static constexpr GUID iid = MakeGuid("0E6F3A52-8C1D-4B7A-9F24-6A1C5D83E947");
    // The upstream's streaming thread, just before that picture is delivered.
    virtual PictureNeed NextPictureNeed() = 0;
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
