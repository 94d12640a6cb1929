#pragma once

// The capture-device interfaces of the media-graph platform, with their real identifiers: the
// external device (device type), its tape transport, its timecode reader, the dropped-frame
// counters and the stream configuration of a capture pin, and the push-source flags that tell a
// live source from one that can deliver as fast as it is read. As elsewhere in the engine, the
// external-device interfaces carry only the methods the application calls or a camcorder answers
// (on IEEE 1394, AV/C gives device type, transport mode, timecode and power); a device without a
// transport or a timecode does not answer the interface at all. Constants keep the platform's
// values (ED_BASE = 4096); only those the devices answer or the application sends are listed.
//
// Text parameters are UTF-8 std::string, as elsewhere in the engine.

#include "platform/media/Interfaces.h"

#include <string>

namespace talvence {

inline constexpr long ED_BASE = 0x1000;

// Capabilities (IAMExtDevice::GetCapability).
inline constexpr long ED_DEVCAP_CAN_RECORD = ED_BASE + 1;
inline constexpr long ED_DEVCAP_HAS_AUDIO = ED_BASE + 3;
inline constexpr long ED_DEVCAP_HAS_VIDEO = ED_BASE + 4;
inline constexpr long ED_DEVCAP_DEVICE_TYPE = ED_BASE + 7;    // 4103
inline constexpr long ED_DEVCAP_TIMECODE_READ = ED_BASE + 25; // 4121, also a timecode flag

// Device types answered for ED_DEVCAP_DEVICE_TYPE.
inline constexpr long ED_DEVTYPE_VCR = ED_BASE + 8; // 4104
inline constexpr long ED_DEVTYPE_CAMERA = ED_BASE + 900;
inline constexpr long ED_DEVTYPE_UNKNOWN = ED_BASE + 903;

// Transport modes (IAMExtTransport::put_Mode / get_Mode).
inline constexpr long ED_MODE_PLAY = ED_BASE + 200;   // 4296
inline constexpr long ED_MODE_STOP = ED_BASE + 201;   // 4297
inline constexpr long ED_MODE_FREEZE = ED_BASE + 202; // 4298, pause with the picture frozen
inline constexpr long ED_MODE_THAW = ED_BASE + 203;   // 4299, back to play from freeze
inline constexpr long ED_MODE_FF = ED_BASE + 204;     // 4300, wind forward
inline constexpr long ED_MODE_REW = ED_BASE + 205;    // 4301, wind backward
inline constexpr long ED_MODE_PLAY_FASTEST_FWD = ED_BASE + 933; // 5029
inline constexpr long ED_MODE_PLAY_SLOWEST_FWD = ED_BASE + 934; // 5030
inline constexpr long ED_MODE_PLAY_FASTEST_REV = ED_BASE + 935; // 5031
inline constexpr long ED_MODE_PLAY_SLOWEST_REV = ED_BASE + 936; // 5032

// Power modes (IAMExtDevice::get_DevicePower).
inline constexpr long ED_POWER_ON = ED_BASE + 1;

// Timecode frame rates (TIMECODE::wFrameRate).
inline constexpr WORD ED_FORMAT_SMPTE_30 = ED_BASE + 406;
inline constexpr WORD ED_FORMAT_SMPTE_30DROP = ED_BASE + 407;
inline constexpr WORD ED_FORMAT_SMPTE_25 = ED_BASE + 408;

struct TIMECODE {
    WORD wFrameRate = 0;
    WORD wFrameFract = 0;
    DWORD dwFrames = 0; // packed BCD: hours in the top byte, then minutes, seconds, frames
};

struct TIMECODE_SAMPLE {
    LONGLONG qwTick = 0;
    TIMECODE timecode;
    DWORD dwUser = 0;
    DWORD dwFlags = 0; // ED_DEVCAP_TIMECODE_READ asks for the timecode read from the tape
};

struct IAMExtDevice : IUnknown {
    static constexpr GUID iid = MakeGuid("B5730A90-1A2C-11CF-8C23-00AA006B6814");
    // E_NOTIMPL for a capability the device does not know.
    virtual HRESULT GetCapability(long capability, long* value, double* dblValue) = 0;
    virtual HRESULT get_ExternalDeviceID(std::string* id) = 0;
    virtual HRESULT get_ExternalDeviceVersion(std::string* version) = 0;
    virtual HRESULT put_DevicePower(long powerMode) = 0;
    virtual HRESULT get_DevicePower(long* powerMode) = 0;
};

struct IAMExtTransport : IUnknown {
    static constexpr GUID iid = MakeGuid("A03CD5F0-3045-11CF-8C44-00AA006B6814");
    virtual HRESULT put_Mode(long mode) = 0;
    virtual HRESULT get_Mode(long* mode) = 0;
};

struct IAMTimecodeReader : IUnknown {
    static constexpr GUID iid = MakeGuid("9B496CE1-811B-11CF-8C77-00AA006B6814");
    virtual HRESULT GetTimecode(TIMECODE_SAMPLE* sample) = 0;
};

struct IAMDroppedFrames : IUnknown {
    static constexpr GUID iid = MakeGuid("C6E13344-30AC-11D0-A18C-00A0C9118956");
    virtual HRESULT GetNumDropped(long* dropped) = 0;
    virtual HRESULT GetNumNotDropped(long* notDropped) = 0;
    // Frame numbers (counted from 0 since the start) of up to `size` dropped frames.
    virtual HRESULT GetDroppedInfo(long size, long* frames, long* copied) = 0;
    virtual HRESULT GetAverageFrameSize(long* averageSize) = 0;
};

struct IAMStreamConfig : IUnknown {
    static constexpr GUID iid = MakeGuid("C6E13340-30AC-11D0-A18C-00A0C9118956");
    // Fixes the pin's output type. Before connection the next connection uses it; on a connected
    // pin the pin reconnects with it (stopped graph only). Null forgets a fixed type.
    virtual HRESULT SetFormat(AM_MEDIA_TYPE* pmt) = 0;
    // The connection's type, else the fixed or preferred one; free with DeleteMediaType.
    virtual HRESULT GetFormat(AM_MEDIA_TYPE** pmt) = 0;
    virtual HRESULT GetNumberOfCapabilities(int* count, int* size) = 0;
    // caps points to a structure of the size GetNumberOfCapabilities answered.
    virtual HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) = 0;
};

// Physical connector types of crossbar pins (IAMCrossbar::get_CrossbarPinInfo).
inline constexpr long PhysConn_Video_Tuner = 1;
inline constexpr long PhysConn_Video_Composite = 2;
inline constexpr long PhysConn_Video_SVideo = 3;
inline constexpr long PhysConn_Video_VideoDecoder = 12;
inline constexpr long PhysConn_Audio_Tuner = 4096;

// A switch of physical inputs to outputs in front of an analogue capture filter.
struct IAMCrossbar : IUnknown {
    static constexpr GUID iid = MakeGuid("C6E13380-30AC-11D0-A18C-00A0C9118956");
    virtual HRESULT get_PinCounts(long* outputs, long* inputs) = 0;
    // S_OK when the input can be routed to the output, S_FALSE when not.
    virtual HRESULT CanRoute(long output, long input) = 0;
    virtual HRESULT Route(long output, long input) = 0;
    virtual HRESULT get_IsRoutedTo(long output, long* input) = 0;
    // The related pin (the audio of a video pin and back; -1 when none) and connector type.
    virtual HRESULT get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* type) = 0;
};

// TV standards of an analogue video decoder (IAMAnalogVideoDecoder).
inline constexpr long AnalogVideo_NTSC_M = 0x00000001;
inline constexpr long AnalogVideo_NTSC_Mask = 0x00000007;
inline constexpr long AnalogVideo_PAL_B = 0x00000010;
inline constexpr long AnalogVideo_PAL_Mask = 0x00100FF0;

// The TV standard of an analogue capture filter's decoder (the part the graph module uses).
struct IAMAnalogVideoDecoder : IUnknown {
    static constexpr GUID iid = MakeGuid("C6E13350-30AC-11D0-A18C-00A0C9118956");
    virtual HRESULT get_AvailableTVFormats(long* formats) = 0;
    virtual HRESULT put_TVFormat(long format) = 0;
    virtual HRESULT get_TVFormat(long* format) = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

struct VIDEO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG VideoStandard = 0;
    SIZE InputSize, MinCroppingSize, MaxCroppingSize;
    int CropGranularityX = 0, CropGranularityY = 0, CropAlignX = 0, CropAlignY = 0;
    SIZE MinOutputSize, MaxOutputSize;
    int OutputGranularityX = 0, OutputGranularityY = 0;
    int StretchTapsX = 0, StretchTapsY = 0, ShrinkTapsX = 0, ShrinkTapsY = 0;
    LONGLONG MinFrameInterval = 0, MaxFrameInterval = 0;
    LONG MinBitsPerSecond = 0, MaxBitsPerSecond = 0;
};
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);

struct AUDIO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG MinimumChannels = 0;
    ULONG MaximumChannels = 0;
    ULONG ChannelsGranularity = 0;
    ULONG MinimumBitsPerSample = 0;
    ULONG MaximumBitsPerSample = 0;
    ULONG BitsPerSampleGranularity = 0;
    ULONG MinimumSampleFrequency = 0;
    ULONG MaximumSampleFrequency = 0;
    ULONG SampleFrequencyGranularity = 0;
};
static_assert(sizeof(AUDIO_STREAM_CONFIG_CAPS) == 52);

// Latency of a capture source, in 100 ns units.
struct IAMLatency : IUnknown {
    static constexpr GUID iid = MakeGuid("62EA93BA-EC62-11D2-B770-00C04FB6BD3D");
    virtual HRESULT GetLatency(REFERENCE_TIME* latency) = 0;
};

// Push-source flags (IAMPushSource::GetPushSourceFlags).
inline constexpr ULONG AM_PUSHSOURCECAPS_INTERNAL_RM = 0x1;
// The source is not live: it delivers as fast as downstream takes its samples (a file, a tape
// read at full speed), so a graph it feeds may run without a reference clock.
inline constexpr ULONG AM_PUSHSOURCECAPS_NOT_LIVE = 0x2;
inline constexpr ULONG AM_PUSHSOURCECAPS_PRIVATE_CLOCK = 0x4;

struct IAMPushSource : IAMLatency {
    static constexpr GUID iid = MakeGuid("F185FE76-E64E-11D2-B76E-00C04FB6BD3D");
    virtual HRESULT GetPushSourceFlags(ULONG* flags) = 0;
    virtual HRESULT SetPushSourceFlags(ULONG flags) = 0;
    virtual HRESULT SetStreamOffset(REFERENCE_TIME offset) = 0;
    virtual HRESULT GetStreamOffset(REFERENCE_TIME* offset) = 0;
    virtual HRESULT GetMaxStreamOffset(REFERENCE_TIME* maxOffset) = 0;
    virtual HRESULT SetMaxStreamOffset(REFERENCE_TIME maxOffset) = 0;
};

} // namespace talvence
