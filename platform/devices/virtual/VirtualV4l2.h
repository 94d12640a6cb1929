#pragma once

// The virtual webcam, analogue capture card and MPEG-2 encoder box: fake V4L2 devices (platform/devices/v4l2/
// FakeV4l2.h) with their modes, inputs, controls and pictures, so that they stand on the real
// V4L2 source filter.
//
// - Webcam "Virtual Webcam": 640 x 480 MJPEG and/or YUYV at 30 and 15 frames a second; colour
//   bars with a white square moving across them; brightness, contrast, saturation, white
//   balance and power-line controls.
//   With "mic", a microphone on the same device (a tone).
// - Analogue card "Virtual Analog Capture": PAL 720 x 576 YUYV at 25 frames a second (NTSC
//   pictures are not made); inputs "Television" (a tuner: a grey ramp drifting sideways),
//   "Composite1" (colour bars) and "S-Video" (a moving blue and yellow checkerboard);
//   brightness, contrast, saturation and hue.
// - MPEG-2 encoder box "Virtual MPEG-2 Encoder": an MPEG stream (V4L2_PIX_FMT_MPEG) of PAL
//   MPEG-2 video and MPEG-1 layer 2 sound (MpegBoxStream.h), a fresh program stream each time
//   streaming starts; stream ids 0xE0/0xC0, or 0xE1/0xC1 when asked.
// - MovieBox "Virtual MovieBox": the same stream; its registration (VirtualDevices.h) makes its
//   source filter answer the MovieBox capture filter's class id.
//
// Threads: any; a picture is made on the thread that dequeues it.

#include "platform/devices/v4l2/FakeV4l2.h"
#include "platform/devices/virtual/VirtualDeviceConfig.h"

namespace talvence {

TFakeV4l2DeviceConfig MakeVirtualV4l2Device(const VirtualV4l2Config& config);

// The webcam's microphone: every device opened plays a 1 kHz tone at half level, at the pace of
// the clock (or as fast as it is read), until dropped.
std::shared_ptr<TPcmCaptureBackend> MakeVirtualMicrophone(bool realTime);
inline constexpr const char* kVirtualMicrophone = "virtual:microphone";

// The luma and chroma a picture of the virtual devices has at a pixel pair: for tests that
// tell the inputs apart.
struct TVirtualYuv {
    std::uint8_t y, u, v;
};
TVirtualYuv VirtualAnalogPixel(int input, int x, int y, std::uint64_t frame);

} // namespace talvence
