// Full-frame conversions at DV sizes, ours against libswscale, plus the rectangle write-back
// of a text-sized area. Run: build/bench/superposer/bench_superposer --benchmark_filter=Convert
#include "platform/media/filters/colorconv/ColorConvert.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace talvence::colorconv {
namespace {

constexpr int kWidth = 720;

int HeightOf(YuvLayout layout) {
    return layout == YuvLayout::Yuv411p ? 480 : 576;
}

struct Frames {
    std::vector<std::uint8_t> rgbBytes;
    Rgb24Frame rgb;
    std::vector<std::uint8_t> yuvBytes;
    YuvFrame yuv;
    explicit Frames(YuvLayout layout) {
        const int h = HeightOf(layout);
        rgbBytes.resize(static_cast<std::size_t>(Rgb24Stride(kWidth)) * h);
        for (std::size_t i = 0; i < rgbBytes.size(); ++i)
            rgbBytes[i] = static_cast<std::uint8_t>((i * 7 + i / 2160 * 3) & 0xFF);
        rgb = BottomUpRgb24(rgbBytes.data(), kWidth, h, Rgb24Stride(kWidth));
        yuvBytes.resize(YuvFrameSize(layout, kWidth, h));
        yuv = YuvFrameOver(yuvBytes.data(), layout, kWidth, h);
        OwnRgb24ToYuv(rgb, yuv);
    }
};

void ToRgb(benchmark::State& state, YuvLayout layout, Backend backend) {
    Frames f(layout);
    ColorConverter conv(backend);
    for (auto _ : state) {
        conv.YuvToRgb24(f.yuv, f.rgb);
        benchmark::DoNotOptimize(f.rgbBytes.data());
    }
}

void ToYuv(benchmark::State& state, YuvLayout layout, Backend backend) {
    Frames f(layout);
    ColorConverter conv(backend);
    for (auto _ : state) {
        conv.Rgb24ToYuv(f.rgb, f.yuv);
        benchmark::DoNotOptimize(f.yuvBytes.data());
    }
}

void ToYuvTextRect(benchmark::State& state, YuvLayout layout) {
    Frames f(layout);
    ColorConverter conv;
    // Two 28-pixel lines of a date and a time at the default anchor.
    const Rect area{480, 460, 180, 60};
    for (auto _ : state) {
        conv.Rgb24ToYuvRect(f.rgb, f.yuv, area);
        benchmark::DoNotOptimize(f.yuvBytes.data());
    }
}

BENCHMARK_CAPTURE(ToRgb, Convert420Own, YuvLayout::Yuv420p, Backend::Own);
BENCHMARK_CAPTURE(ToRgb, Convert420Sws, YuvLayout::Yuv420p, Backend::Swscale);
BENCHMARK_CAPTURE(ToRgb, Convert411Own, YuvLayout::Yuv411p, Backend::Own);
BENCHMARK_CAPTURE(ToRgb, Convert411Sws, YuvLayout::Yuv411p, Backend::Swscale);
BENCHMARK_CAPTURE(ToRgb, ConvertYuy2Own, YuvLayout::Yuy2, Backend::Own);
BENCHMARK_CAPTURE(ToRgb, ConvertYuy2Sws, YuvLayout::Yuy2, Backend::Swscale);
BENCHMARK_CAPTURE(ToYuv, Convert420Own, YuvLayout::Yuv420p, Backend::Own);
BENCHMARK_CAPTURE(ToYuv, Convert420Sws, YuvLayout::Yuv420p, Backend::Swscale);
BENCHMARK_CAPTURE(ToYuv, Convert411Own, YuvLayout::Yuv411p, Backend::Own);
BENCHMARK_CAPTURE(ToYuv, Convert411Sws, YuvLayout::Yuv411p, Backend::Swscale);
BENCHMARK_CAPTURE(ToYuv, ConvertYuy2Own, YuvLayout::Yuy2, Backend::Own);
BENCHMARK_CAPTURE(ToYuv, ConvertYuy2Sws, YuvLayout::Yuy2, Backend::Swscale);
BENCHMARK_CAPTURE(ToYuvTextRect, Convert420Rect, YuvLayout::Yuv420p);
BENCHMARK_CAPTURE(ToYuvTextRect, Convert411Rect, YuvLayout::Yuv411p);

} // namespace
} // namespace talvence::colorconv
