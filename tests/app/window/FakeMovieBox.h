#pragma once
// A MovieBox for the window's tests and for looking at the priming window: a stream source with
// the box's class id, registered as a video input device with stand-ins for both of its
// demultiplexers (the Cirrus splitter and its own), so that analysis finds a MovieBox.

#include "filters/BaseClass/CountingFilters.h"
#include "graph/videosources.h"
#include "platform/media/FilterRegistry.h"
#include "platform/media/MediaGuids.h"

namespace talvence {

// A stream source answering the MovieBox's class id.
class TFakeMovieBox : public TCountingSource {
public:
    TFakeMovieBox() { mediaType.SetType(MEDIATYPE_Stream); }
    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_MovieBoxUsbCapture;
        return S_OK;
    }
};

inline void AddMovieBox(FilterRegistry& registry) {
    RegisteredFilter box{CLSID_MovieBoxUsbCapture, "MovieBox USB", MERIT_DO_NOT_USE, {}, {}, [] {
                             return ComPtr<IBaseFilter>(new TFakeMovieBox());
                         }};
    box.properties["DevicePath"] = "/sys/moviebox";
    registry.Register(CLSID_VideoInputDeviceCategory, box);
    // The Cirrus splitter and the box's own demultiplexer, whichever "Utiliser Cirrus" picks.
    static constexpr CLSID kDemuxes[] = {MakeGuid("64143E79-DBA1-4334-9A92-B0B77DAE0877"),
                                         MakeGuid("5E35D25A-E088-48C5-A229-804306F9DEEF")};
    for (const CLSID& demux : kDemuxes) {
        RegisteredFilter entry{demux, "demux stand-in", MERIT_DO_NOT_USE, {}, {}, [] {
                                   return ComPtr<IBaseFilter>(new TCountingSource());
                               }};
        registry.Register(CLSID_LegacyAmFilterCategory, entry);
    }
}

} // namespace talvence
