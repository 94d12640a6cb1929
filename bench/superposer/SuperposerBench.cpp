// Per-frame cost of SuperposerCore::Compose on a 720x576 picture with text on every frame.
// Run: QT_QPA_PLATFORM=offscreen build/bench/superposer/bench_superposer
#include "filters/vq_superposer/SuperposerCore.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace talvence {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr std::ptrdiff_t kStride = kWidth * 3;

struct Pictures {
    std::vector<std::uint8_t> in, out;
    Pictures() : in(kStride * kHeight), out(kStride * kHeight) {
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<std::uint8_t>(i * 13 >> 3);
    }
    InlayFrame Frame() {
        return InlayFrame{true,       in.data(), in.size(), out.data(),
                          out.size(), kWidth,    kHeight,   kStride};
    }
};

const TDateTime kNow = EncodeDateTime(2026, 5, 2, 10, 0, 0, 0);

void Compose(benchmark::State& state, bool flip, bool newTextEachFrame, bool active) {
    Pictures p;
    SuperposerCore core([] { return std::int64_t{400000}; }, EnglishLocaleFormats());
    core.SetInlayFlip(flip);
    core.SetInlayActive(active);
    const DvFrameInfo rec;
    int frame = 0;
    for (auto _ : state) {
        const TDateTime now = newTextEachFrame ? kNow + frame / 86400.0 : kNow;
        benchmark::DoNotOptimize(core.Compose(p.Frame(), rec, now));
        benchmark::DoNotOptimize(p.out.data());
        ++frame;
    }
    state.counters["rasterised"] = static_cast<double>(core.Renderer().RasterCount());
}

BENCHMARK_CAPTURE(Compose, CopyOnly, false, false, false);
BENCHMARK_CAPTURE(Compose, SameText, false, false, true);
BENCHMARK_CAPTURE(Compose, SameTextFlip, true, false, true);
BENCHMARK_CAPTURE(Compose, NewTextEachFrame, false, true, true);

// The straightforward alternative measured against the mask cache: a work QImage filled from
// the frame, QPainter text over it, copied back out.
void ComposeWholeFrameQPainter(benchmark::State& state) {
    Pictures p;
    QImage work(kWidth, kHeight, QImage::Format_BGR888);
    SuperposerSettings s;
    const QFont font = InlayFont(s, 28);
    for (auto _ : state) {
        for (int row = 0; row < kHeight; ++row)
            std::memcpy(work.scanLine(row), p.in.data() + (kHeight - 1 - row) * kStride, kStride);
        {
            QPainter painter(&work);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(QPoint(520, 518 - 28 + 22), "02/05/2026");
            painter.drawText(QPoint(540, 518 + 22), "10:00:00");
        }
        for (int row = 0; row < kHeight; ++row)
            std::memcpy(p.out.data() + (kHeight - 1 - row) * kStride, work.constScanLine(row),
                        kStride);
        benchmark::DoNotOptimize(p.out.data());
    }
}
BENCHMARK(ComposeWholeFrameQPainter);

} // namespace
} // namespace talvence

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
