#pragma once

// The stream-configuration interface of output pins, with the platform's id and method list.
// Declared here because the engine does not have it yet; when the engine gains it, this header
// goes and its users include the engine's.

#include "platform/media/Interfaces.h"

namespace talvence {

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

} // namespace talvence
