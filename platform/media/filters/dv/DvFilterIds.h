#pragma once
// Class ids, media subtypes and the encoder's format interface of the built-in DV filters, with
// the platform's values.

#include "platform/media/FormatBlocks.h"
#include "platform/media/Guid.h"
#include "platform/media/Unknown.h"

namespace talvence {

inline constexpr CLSID CLSID_DVSplitter = MakeGuid("4EB31670-9FC6-11CF-AF6E-00AA00B67A42");
inline constexpr CLSID CLSID_DVMux = MakeGuid("129D7E40-C10D-11D0-AFB9-00AA00B67A42");
inline constexpr CLSID CLSID_DVVideoCodec = MakeGuid("B1B77C00-C3E4-11CF-AF79-00AA00B67A42");
inline constexpr CLSID CLSID_DVVideoEnc = MakeGuid("13AA3650-BB6F-11D0-AFB9-00AA00B67A42");

// Planar 4:2:0 (Y, U, V) and planar 4:1:1 (Y, U, V): the two DV systems' own layouts.
constexpr GUID FourCCSubtype(DWORD fourcc) {
    GUID g = MakeGuid("00000000-0000-0010-8000-00AA00389B71");
    g.Data1 = fourcc;
    return g;
}
inline constexpr GUID MEDIASUBTYPE_Y41B = FourCCSubtype(0x42313459); // 'Y41B'

// The DV encoder's format interface. Only full-size 'dvsd' is made, without a DV info block.
struct IDVEnc : IUnknown {
    static constexpr GUID iid = MakeGuid("D18E17A0-AACB-11D0-AFB0-00AA00B67A42");
    // The current settings; with fDVInfo set, sDVInfo receives the format block of the output.
    virtual HRESULT get_IFormatResolution(int* videoFormat, int* dvFormat, int* resolution,
                                          BYTE fDVInfo, DVINFO* sDVInfo) = 0;
    // E_INVALIDARG for anything but PAL (2001) or NTSC (2000), DVSD (2007), 720x480 (2012,
    // full size) and no DV info block; the settings then stay as they were.
    virtual HRESULT put_IFormatResolution(int videoFormat, int dvFormat, int resolution,
                                          BYTE fDVInfo, DVINFO* sDVInfo) = 0;
};

} // namespace talvence
