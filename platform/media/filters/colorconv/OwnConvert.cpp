// Integer BT.601 limited-range converters. Coefficients are 16.16 fixed point; every loop is a
// plain pass over one row (or one pair of rows for 4:2:0) so the compiler can vectorise it.

#include "platform/media/filters/colorconv/ColorConvert.h"

#include <algorithm>
#include <memory>

namespace talvence::colorconv {
namespace {

// YUV -> RGB: 255/219 for luma, and the chroma weights scaled by 255/224.
constexpr int kY = 76309;   // 1.164383
constexpr int kRV = 104597; // 1.596027
constexpr int kGU = 25675;  // 0.391762
constexpr int kGV = 53279;  // 0.812968
constexpr int kBU = 132201; // 2.017232

// RGB -> YUV.
constexpr int kYR = 16829, kYG = 33039, kYB = 6416;   // 0.256788 0.504129 0.097906
constexpr int kUR = -9714, kUG = -19070, kUB = 28784; // -0.148223 -0.290993 0.439216
constexpr int kVR = 28784, kVG = -24103, kVB = -4681; // 0.439216 -0.367788 -0.071427

inline std::uint8_t Clamp8(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

inline std::uint8_t LumaOf(int r, int g, int b) {
    return static_cast<std::uint8_t>((kYR * r + kYG * g + kYB * b + (16 << 16) + 32768) >> 16);
}

// Chroma from the sum of `1 << shift` pixels' components.
inline std::uint8_t ChromaU(int rs, int gs, int bs, int shift) {
    const int s = 16 + shift;
    return static_cast<std::uint8_t>(
        (kUR * rs + kUG * gs + kUB * bs + (128 << s) + (1 << (s - 1))) >> s);
}
inline std::uint8_t ChromaV(int rs, int gs, int bs, int shift) {
    const int s = 16 + shift;
    return static_cast<std::uint8_t>(
        (kVR * rs + kVG * gs + kVB * bs + (128 << s) + (1 << (s - 1))) >> s);
}

// The row kernels work on planar scratch rows so that every loop is a straight pass the
// vectoriser takes; the AVX2 clone is picked at load time where the processor has it. Not under
// ThreadSanitizer (the clone resolver would run instrumented before the sanitizer's runtime),
// nor with clang, which cannot clone function templates (the fuzzing build).
#if defined(__SANITIZE_THREAD__) || defined(__clang__)
#define TALVENCE_ROW_KERNEL
#else
#define TALVENCE_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#endif

// Widest strip converted in one pass; wider pictures go in strips so the scratch rows stay in
// the first-level cache.
constexpr int kMaxRow = 2048;

struct alignas(32) RowScratch {
    std::int32_t rv[kMaxRow];
    std::int32_t guv[kMaxRow];
    std::int32_t bu[kMaxRow];
    std::uint8_t b[kMaxRow], g[kMaxRow], r[kMaxRow];
    std::uint8_t b2[kMaxRow], g2[kMaxRow], r2[kMaxRow];
};

// Allocated on first use, so threads that never convert carry only a pointer.
RowScratch& Scratch() {
    thread_local std::unique_ptr<RowScratch> scratch;
    if (!scratch) scratch = std::make_unique<RowScratch>();
    return *scratch;
}

} // namespace

namespace detail {

// Chroma contributions of `count` samples, each repeated `block` times.
template <int UStep, int Block>
TALVENCE_ROW_KERNEL void ExpandChroma(const std::uint8_t* __restrict u,
                                      const std::uint8_t* __restrict v, int count,
                                      std::int32_t* __restrict rv, std::int32_t* __restrict guv,
                                      std::int32_t* __restrict bu) {
    for (int i = 0; i < count; ++i) {
        const int cu = u[i * UStep] - 128;
        const int cv = v[i * UStep] - 128;
        const int r = kRV * cv + 32768;
        const int g = -kGU * cu - kGV * cv + 32768;
        const int b = kBU * cu + 32768;
        for (int k = 0; k < Block; ++k) {
            rv[i * Block + k] = r;
            guv[i * Block + k] = g;
            bu[i * Block + k] = b;
        }
    }
}

template <int YStep>
TALVENCE_ROW_KERNEL void
LumaChromaToPlanes(const std::uint8_t* __restrict y, const std::int32_t* __restrict rv,
                   const std::int32_t* __restrict guv, const std::int32_t* __restrict bu,
                   std::uint8_t* __restrict b, std::uint8_t* __restrict g,
                   std::uint8_t* __restrict r, int width) {
    for (int x = 0; x < width; ++x) {
        const int yy = kY * (y[x * YStep] - 16);
        b[x] = Clamp8((yy + bu[x]) >> 16);
        g[x] = Clamp8((yy + guv[x]) >> 16);
        r[x] = Clamp8((yy + rv[x]) >> 16);
    }
}

TALVENCE_ROW_KERNEL void InterleaveBgr(const std::uint8_t* __restrict b,
                                       const std::uint8_t* __restrict g,
                                       const std::uint8_t* __restrict r,
                                       std::uint8_t* __restrict out, int width) {
    for (int x = 0; x < width; ++x) {
        out[3 * x] = b[x];
        out[3 * x + 1] = g[x];
        out[3 * x + 2] = r[x];
    }
}

TALVENCE_ROW_KERNEL void DeinterleaveBgr(const std::uint8_t* __restrict in,
                                         std::uint8_t* __restrict b, std::uint8_t* __restrict g,
                                         std::uint8_t* __restrict r, int width) {
    for (int x = 0; x < width; ++x) {
        b[x] = in[3 * x];
        g[x] = in[3 * x + 1];
        r[x] = in[3 * x + 2];
    }
}

template <int YStep>
TALVENCE_ROW_KERNEL void
PlanesToLuma(const std::uint8_t* __restrict b, const std::uint8_t* __restrict g,
             const std::uint8_t* __restrict r, std::uint8_t* __restrict y, int width) {
    for (int x = 0; x < width; ++x)
        y[x * YStep] = LumaOf(r[x], g[x], b[x]);
}

// Chroma of blocks of `block` pixels across (2 or 4), from one row or the sum of two.
template <int Block, bool TwoRows, int UStep>
TALVENCE_ROW_KERNEL void
PlanesToChroma(const std::uint8_t* __restrict b, const std::uint8_t* __restrict g,
               const std::uint8_t* __restrict r, const std::uint8_t* __restrict b2,
               const std::uint8_t* __restrict g2, const std::uint8_t* __restrict r2,
               std::uint8_t* __restrict u, std::uint8_t* __restrict v, int count) {
    constexpr int shift = (Block == 4 || TwoRows) ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        int bs = 0, gs = 0, rs = 0;
        for (int k = 0; k < Block; ++k) {
            bs += b[i * Block + k];
            gs += g[i * Block + k];
            rs += r[i * Block + k];
            if constexpr (TwoRows) {
                bs += b2[i * Block + k];
                gs += g2[i * Block + k];
                rs += r2[i * Block + k];
            }
        }
        u[i * UStep] = ChromaU(rs, gs, bs, shift);
        v[i * UStep] = ChromaV(rs, gs, bs, shift);
    }
}

} // namespace detail

namespace {

bool Compatible(const YuvFrame& yuv, const Rgb24Frame& rgb) {
    if (yuv.width <= 0 || yuv.height <= 0 || yuv.width != rgb.width || yuv.height != rgb.height)
        return false;
    if (yuv.width % ChromaBlockWidth(yuv.layout) != 0 ||
        yuv.height % ChromaBlockHeight(yuv.layout) != 0)
        return false;
    if (rgb.top == nullptr || yuv.planes[0] == nullptr) return false;
    if (yuv.layout != YuvLayout::Yuy2 && (yuv.planes[1] == nullptr || yuv.planes[2] == nullptr))
        return false;
    return true;
}

} // namespace

bool OwnYuvToRgb24(const YuvFrame& src, const Rgb24Frame& dst) {
    if (!Compatible(src, dst)) return false;
    // Wide pictures go in vertical strips of whole chroma blocks.
    if (src.width > kMaxRow) {
        const int strip = kMaxRow - kMaxRow % 4;
        for (int x = 0; x < src.width; x += strip) {
            const Rect area{x, 0, std::min(strip, src.width - x), src.height};
            if (!OwnYuvToRgb24(SubFrame(src, area), SubFrame(dst, area))) return false;
        }
        return true;
    }
    RowScratch& t = Scratch();
    const int w = src.width;
    const int block = ChromaBlockWidth(src.layout);
    for (int row = 0; row < src.height; ++row) {
        std::uint8_t* out = dst.top + row * dst.stride;
        // 4:2:0 shares a chroma row between two picture rows.
        const bool newChroma = src.layout != YuvLayout::Yuv420p || row % 2 == 0;
        switch (src.layout) {
        case YuvLayout::Yuv420p:
        case YuvLayout::Yuv411p: {
            const std::ptrdiff_t c = src.layout == YuvLayout::Yuv420p ? row / 2 : row;
            const std::uint8_t* u = src.planes[1] + c * src.strides[1];
            const std::uint8_t* v = src.planes[2] + c * src.strides[2];
            if (newChroma && block == 2)
                detail::ExpandChroma<1, 2>(u, v, w / 2, t.rv, t.guv, t.bu);
            else if (newChroma)
                detail::ExpandChroma<1, 4>(u, v, w / 4, t.rv, t.guv, t.bu);
            detail::LumaChromaToPlanes<1>(src.planes[0] + row * src.strides[0], t.rv, t.guv, t.bu,
                                          t.b, t.g, t.r, w);
            break;
        }
        case YuvLayout::Yuy2: {
            const std::uint8_t* q = src.planes[0] + row * src.strides[0];
            detail::ExpandChroma<4, 2>(q + 1, q + 3, w / 2, t.rv, t.guv, t.bu);
            detail::LumaChromaToPlanes<2>(q, t.rv, t.guv, t.bu, t.b, t.g, t.r, w);
            break;
        }
        }
        detail::InterleaveBgr(t.b, t.g, t.r, out, w);
    }
    return true;
}

bool OwnRgb24ToYuv(const Rgb24Frame& src, const YuvFrame& dst) {
    if (!Compatible(dst, src)) return false;
    if (src.width > kMaxRow) {
        const int strip = kMaxRow - kMaxRow % 4;
        for (int x = 0; x < src.width; x += strip) {
            const Rect area{x, 0, std::min(strip, src.width - x), src.height};
            if (!OwnRgb24ToYuv(SubFrame(src, area), SubFrame(dst, area))) return false;
        }
        return true;
    }
    RowScratch& t = Scratch();
    const int w = src.width;
    for (int row = 0; row < src.height; ++row) {
        const std::uint8_t* in = src.top + row * src.stride;
        switch (dst.layout) {
        case YuvLayout::Yuv420p:
            if (row % 2 == 0) {
                detail::DeinterleaveBgr(in, t.b, t.g, t.r, w);
                detail::PlanesToLuma<1>(t.b, t.g, t.r, dst.planes[0] + row * dst.strides[0], w);
            } else {
                detail::DeinterleaveBgr(in, t.b2, t.g2, t.r2, w);
                detail::PlanesToLuma<1>(t.b2, t.g2, t.r2, dst.planes[0] + row * dst.strides[0], w);
                const std::ptrdiff_t c = row / 2;
                detail::PlanesToChroma<2, true, 1>(t.b, t.g, t.r, t.b2, t.g2, t.r2,
                                                   dst.planes[1] + c * dst.strides[1],
                                                   dst.planes[2] + c * dst.strides[2], w / 2);
            }
            break;
        case YuvLayout::Yuv411p:
            detail::DeinterleaveBgr(in, t.b, t.g, t.r, w);
            detail::PlanesToLuma<1>(t.b, t.g, t.r, dst.planes[0] + row * dst.strides[0], w);
            detail::PlanesToChroma<4, false, 1>(t.b, t.g, t.r, nullptr, nullptr, nullptr,
                                                dst.planes[1] + row * dst.strides[1],
                                                dst.planes[2] + row * dst.strides[2], w / 4);
            break;
        case YuvLayout::Yuy2: {
            std::uint8_t* q = dst.planes[0] + row * dst.strides[0];
            detail::DeinterleaveBgr(in, t.b, t.g, t.r, w);
            detail::PlanesToLuma<2>(t.b, t.g, t.r, q, w);
            detail::PlanesToChroma<2, false, 4>(t.b, t.g, t.r, nullptr, nullptr, nullptr, q + 1,
                                                q + 3, w / 2);
            break;
        }
        }
    }
    return true;
}

} // namespace talvence::colorconv
