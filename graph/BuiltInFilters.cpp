#include "graph/BuiltInFilters.h"

#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/devices/alsa/AlsaSystem.h"
#include "platform/devices/v4l2/V4l2Devices.h"
#include "platform/devices/virtual/VirtualDevices.h"
#include "platform/media/filters/asf/AsfWriter.h"
#include "platform/media/filters/audio/AudioFilters.h"
#include "platform/media/filters/avimux/AviMux.h"
#include "platform/media/filters/basic/BasicFilters.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/deinterlace/Deinterlacer.h"
#include "platform/media/filters/dv/DvFilters.h"
#include "platform/media/filters/mjpeg/MjpegDecompressor.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"
#include "platform/media/filters/mpeg/Mpeg2VideoDecoder.h"
#include "platform/media/filters/mpeg/MpegAudioDecoder.h"

namespace talvence {

std::vector<std::string> RegisterBuiltInFilters(FilterRegistry& registry,
                                                std::shared_ptr<TPcmPlaybackBackend> playback) {
    RegisterBasicFilters(registry);
    RegisterDvFilters(registry);
    RegisterColorSpaceConverter(registry);
    RegisterMjpegDecompressor(registry);
    RegisterMpeg2Demultiplexer(registry);
    RegisterMpeg2VideoDecoder(registry);
    RegisterMpegAudioDecoder(registry);
    RegisterDeinterlacer(registry);
    RegisterAviFilters(registry);
    RegisterAsfWriter(registry);
    RegisterAudioFilters(registry, std::move(playback));
    RegisterAlsaCaptureDevices(registry, *MakeAlsaSystem());
    RegisterV4l2Devices(registry, MakeKernelV4l2());
    VirtualDeviceRegistration devices = RegisterVirtualDevicesFromEnvironment(registry);
    return std::move(devices.warnings);
}

} // namespace talvence
