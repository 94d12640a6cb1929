#pragma once
// Pictures and a GUI application object for the inlay tests.

#include "filters/vq_superposer/SuperposerCore.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace talvence::inlaytest {

// The font database lives in the GUI application; one for the whole test run, never destroyed
// so that nothing depends on static destruction order.
inline void EnsureGuiApp() {
    static int argc = 1;
    static char name[] = "test_superposer";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QGuiApplication(argc, argv);
}

// A bottom-up RGB24 picture with stored rows `stride` bytes apart.
struct Picture {
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h) : width(w), height(h), stride(w * 3), bytes(std::size_t(w) * 3 * h) {}

    // Picture coordinates from the top-left.
    std::uint8_t* At(int x, int y) { return bytes.data() + (height - 1 - y) * stride + x * 3; }
    const std::uint8_t* At(int x, int y) const {
        return bytes.data() + (height - 1 - y) * stride + x * 3;
    }

    // A deterministic pattern that differs in every row and column.
    static Picture Pattern(int w, int h, int seed = 0) {
        Picture p(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* q = p.At(x, y);
                q[0] = static_cast<std::uint8_t>((x * 3 + seed) & 0x7F);
                q[1] = static_cast<std::uint8_t>((y * 5 + x / 7) & 0x7F);
                q[2] = static_cast<std::uint8_t>((x + y + seed * 7) & 0x7F);
            }
        return p;
    }

    Picture Mirrored() const {
        Picture m(width, height);
        for (int y = 0; y < height; ++y)
            std::copy_n(At(0, y), width * 3, m.At(0, height - 1 - y));
        return m;
    }
};

inline InlayFrame FrameOf(const Picture& in, Picture& out) {
    return InlayFrame{
        true,     in.bytes.data(), in.bytes.size(), out.bytes.data(), out.bytes.size(),
        in.width, in.height,       in.stride};
}

struct Box {
    bool empty = true;
    int left = 0, top = 0, right = -1, bottom = -1; // inclusive
    int pixels = 0;
};

// The pixels where two pictures differ.
inline Box ChangedBox(const Picture& a, const Picture& b) {
    Box box;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            if (std::equal(a.At(x, y), a.At(x, y) + 3, b.At(x, y))) continue;
            ++box.pixels;
            if (box.empty) {
                box = Box{false, x, y, x, y, box.pixels};
                continue;
            }
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    return box;
}

inline DvFrameInfo DatedRecord(TDateTime t) {
    DvFrameInfo rec;
    rec.hasRecDate = true;
    rec.recDateTime = t;
    return rec;
}

} // namespace talvence::inlaytest
