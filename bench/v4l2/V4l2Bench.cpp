// The virtual webcam making one 640 x 480 MJPEG picture (what a real webcam does itself), and
// libjpeg-turbo decoding it to RGB24 as the MJPEG Decompressor does.

#include "platform/devices/virtual/VirtualV4l2.h"

#include <benchmark/benchmark.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

namespace talvence {
namespace {

const TFakeV4l2Mode kMjpeg{V4L2_PIX_FMT_MJPEG, 640, 480, 1, 30};

void VirtualWebcamPicture(benchmark::State& state) {
    const TFakeV4l2DeviceConfig webcam = MakeVirtualV4l2Device({});
    std::vector<std::uint8_t> buffer(640 * 480 * 2);
    std::uint64_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(webcam.picture(kMjpeg, 0, n++, buffer.data(), buffer.size()));
}
BENCHMARK(VirtualWebcamPicture)->Unit(benchmark::kMillisecond);

void DecodeWebcamPicture(benchmark::State& state) {
    const TFakeV4l2DeviceConfig webcam = MakeVirtualV4l2Device({});
    std::vector<std::uint8_t> jpeg(640 * 480 * 2);
    jpeg.resize(webcam.picture(kMjpeg, 0, 0, jpeg.data(), jpeg.size()));
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    tjhandle tj = tjInitDecompress();
    for (auto _ : state)
        tjDecompress2(tj, jpeg.data(), jpeg.size(), rgb.data(), 640, 640 * 3, 480, TJPF_BGR,
                      TJFLAG_BOTTOMUP | TJFLAG_FASTDCT);
    tjDestroy(tj);
}
BENCHMARK(DecodeWebcamPicture)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace talvence
