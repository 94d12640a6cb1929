#pragma once
// The MPEG-2 Demultiplexer's interfaces and class id, with the platform's identifiers: the
// filter creates its output pins on request (IMpeg2Demultiplexer), and each output pin is told
// which PES stream ids it carries (IMPEG2StreamIdMap).

#include "platform/media/Interfaces.h"

#include <string>

namespace talvence {

inline constexpr CLSID CLSID_MPEG2Demultiplexer = MakeGuid("AFB6C280-2C41-11D3-8A60-0000F81E0E4A");
// The MovieBox USB capture filter: its stream pin makes the source a MovieBox.
inline constexpr CLSID CLSID_MovieBoxUsbCapture = MakeGuid("45722E7E-7A80-4985-9333-7788B27B126F");
// The MovieBox's demultiplexers, of other makers: the splitter of its model B and its own.
inline constexpr CLSID CLSID_CirrusSplitter = MakeGuid("64143E79-DBA1-4334-9A92-B0B77DAE0877");
inline constexpr CLSID CLSID_MovieBoxDemux = MakeGuid("5E35D25A-E088-48C5-A229-804306F9DEEF");

// Content types of IMPEG2StreamIdMap::MapStreamId for program streams.
inline constexpr DWORD MPEG2_PROGRAM_STREAM_MAP = 0;
inline constexpr DWORD MPEG2_PROGRAM_ELEMENTARY_STREAM = 1;
inline constexpr DWORD MPEG2_PROGRAM_DIRECTORY_PES_PACKET = 2;
inline constexpr DWORD MPEG2_PROGRAM_PACK_HEADER = 3;
inline constexpr DWORD MPEG2_PROGRAM_PES_STREAM = 4;
inline constexpr DWORD MPEG2_PROGRAM_SYSTEM_HEADER = 5;

// Output pins made and removed on request (application thread, filter stopped).
struct IMpeg2Demultiplexer : IUnknown {
    static constexpr GUID iid = MakeGuid("436EEE9C-264F-4242-90E1-4E330C107512");
    // A new output pin offering exactly this type; E_INVALIDARG for a name already used.
    virtual HRESULT CreateOutputPin(const AM_MEDIA_TYPE* mt, const std::string& name,
                                    IPin** pin) = 0;
    virtual HRESULT SetOutputPinMediaType(const std::string& name, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT DeleteOutputPin(const std::string& name) = 0;
};

// The stream ids an output pin of the demultiplexer carries (application thread).
struct IMPEG2StreamIdMap : IUnknown {
    static constexpr GUID iid = MakeGuid("D0E04C47-25B8-4369-925A-362A01D95444");
    // contentType: MPEG2_PROGRAM_ELEMENTARY_STREAM (the payloads) or MPEG2_PROGRAM_PES_STREAM
    // (whole packets); the substream filter and data offset are for private streams and must
    // be 0 here.
    virtual HRESULT MapStreamId(ULONG streamId, DWORD contentType, ULONG substreamFilterValue,
                                int dataOffset) = 0;
    virtual HRESULT UnmapStreamId(ULONG count, const ULONG* streamIds) = 0;
};

} // namespace talvence
