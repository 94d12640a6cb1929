#include "platform/media/GraphLog.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/NamedConstants.h"

namespace talvence {

namespace {

constexpr TNamedConstant<GUID> kNames[] = {
    TALVENCE_NAMED(GUID_NULL),
    TALVENCE_NAMED(MEDIATYPE_Video),
    TALVENCE_NAMED(MEDIATYPE_Audio),
    TALVENCE_NAMED(MEDIATYPE_Interleaved),
    TALVENCE_NAMED(MEDIATYPE_Text),
    TALVENCE_NAMED(MEDIATYPE_Stream),
    TALVENCE_NAMED(MEDIATYPE_AnalogVideo),
    TALVENCE_NAMED(MEDIASUBTYPE_None),
    TALVENCE_NAMED(MEDIASUBTYPE_dvsd),
    TALVENCE_NAMED(MEDIASUBTYPE_dvsl),
    TALVENCE_NAMED(MEDIASUBTYPE_dvhd),
    TALVENCE_NAMED(MEDIASUBTYPE_RGB8),
    TALVENCE_NAMED(MEDIASUBTYPE_RGB565),
    TALVENCE_NAMED(MEDIASUBTYPE_RGB555),
    TALVENCE_NAMED(MEDIASUBTYPE_RGB24),
    TALVENCE_NAMED(MEDIASUBTYPE_RGB32),
    TALVENCE_NAMED(MEDIASUBTYPE_YUY2),
    TALVENCE_NAMED(MEDIASUBTYPE_UYVY),
    TALVENCE_NAMED(MEDIASUBTYPE_YV12),
    TALVENCE_NAMED(MEDIASUBTYPE_I420),
    TALVENCE_NAMED(MEDIASUBTYPE_MJPG),
    TALVENCE_NAMED(MEDIASUBTYPE_PCM),
    TALVENCE_NAMED(MEDIASUBTYPE_Avi),
    TALVENCE_NAMED(MEDIASUBTYPE_Asf),
    TALVENCE_NAMED(MEDIASUBTYPE_MPEG1Video),
    TALVENCE_NAMED(MEDIASUBTYPE_MPEG2_VIDEO),
    TALVENCE_NAMED(MEDIASUBTYPE_MPEG2_AUDIO),
    TALVENCE_NAMED(MEDIASUBTYPE_MPEG2_PROGRAM),
    TALVENCE_NAMED(MEDIASUBTYPE_MPEG2_TRANSPORT),
    TALVENCE_NAMED(FORMAT_None),
    TALVENCE_NAMED(FORMAT_VideoInfo),
    TALVENCE_NAMED(FORMAT_WaveFormatEx),
    TALVENCE_NAMED(FORMAT_MPEGVideo),
    TALVENCE_NAMED(FORMAT_MPEGStreams),
    TALVENCE_NAMED(FORMAT_DvInfo),
    TALVENCE_NAMED(FORMAT_VideoInfo2),
    TALVENCE_NAMED(FORMAT_MPEG2Video),
    TALVENCE_NAMED(PIN_CATEGORY_CAPTURE),
    TALVENCE_NAMED(PIN_CATEGORY_PREVIEW),
    TALVENCE_NAMED(PIN_CATEGORY_ANALOGVIDEOIN),
    TALVENCE_NAMED(PIN_CATEGORY_VBI),
    TALVENCE_NAMED(PIN_CATEGORY_VIDEOPORT),
    TALVENCE_NAMED(PIN_CATEGORY_NABTS),
    TALVENCE_NAMED(PIN_CATEGORY_EDS),
    TALVENCE_NAMED(PIN_CATEGORY_TELETEXT),
    TALVENCE_NAMED(PIN_CATEGORY_CC),
    TALVENCE_NAMED(PIN_CATEGORY_STILL),
    TALVENCE_NAMED(PIN_CATEGORY_TIMECODE),
    TALVENCE_NAMED(LOOK_UPSTREAM_ONLY),
    TALVENCE_NAMED(LOOK_DOWNSTREAM_ONLY),
    TALVENCE_NAMED(CLSID_VideoInputDeviceCategory),
    TALVENCE_NAMED(CLSID_AudioInputDeviceCategory),
    TALVENCE_NAMED(CLSID_LegacyAmFilterCategory),
    TALVENCE_NAMED(CLSID_AudioRendererCategory),
    TALVENCE_NAMED(CLSID_VideoCompressorCategory),
};

// Enough to recognise a pin's offer in a line; the rest is counted.
constexpr int kTypesShown = 4;

} // namespace

std::string GuidText(const GUID& guid) {
    const char* name = NameIn(kNames, guid);
    return name ? name : FormatGuid(guid);
}

std::string MediaTypeText(const AM_MEDIA_TYPE* mt) {
    if (!mt) return "any type";
    return GuidText(mt->majortype) + "/" + GuidText(mt->subtype);
}

std::string FilterText(IBaseFilter* filter) {
    if (!filter) return "(no filter)";
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) return "(unnamed filter)";
    if (info.pGraph) info.pGraph->Release();
    return info.achName.empty() ? "(unnamed filter)" : info.achName;
}

std::string PinText(IPin* pin) {
    if (!pin) return "(no pin)";
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info))) return "(unnamed pin)";
    ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
    return FilterText(owner.get()) + " [" + info.achName + "]";
}

std::string ObjectText(IUnknown* object) {
    if (!object) return "(nothing)";
    ComPtr<IPin> pin;
    if (SUCCEEDED(object->QueryInterface(IPin::iid, pin.putVoid())) && pin)
        return PinText(pin.get());
    ComPtr<IBaseFilter> filter;
    if (SUCCEEDED(object->QueryInterface(IBaseFilter::iid, filter.putVoid())) && filter)
        return FilterText(filter.get());
    return "(neither pin nor filter)";
}

std::string OfferedTypesText(IPin* pin) {
    std::string text;
    int count = 0;
    ComPtr<IEnumMediaTypes> types;
    if (pin && SUCCEEDED(pin->EnumMediaTypes(types.put())) && types) {
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG fetched = 0;
        while (types->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
            if (count++ < kTypesShown) text += (text.empty() ? "" : ", ") + MediaTypeText(mt);
            DeleteMediaType(mt);
        }
    }
    if (count == 0) return "no types";
    if (count > kTypesShown) text += " and " + std::to_string(count - kTypesShown) + " more";
    return text;
}

HRESULT LogRefused(std::string_view operation, IPin* out, IPin* in, HRESULT hr,
                   const AM_MEDIA_TYPE* pmt) {
    if (SUCCEEDED(hr)) return hr;
    TLOG(Graph) << operation << ": " << PinText(out) << (in ? " -> " + PinText(in) : std::string())
                << " refused: " << HResultText(hr) << "; "
                << (pmt ? "type " + MediaTypeText(pmt) : "offers " + OfferedTypesText(out));
    return hr;
}

HRESULT LogConnection(std::string_view operation, IPin* out, IPin* in, HRESULT hr,
                      const AM_MEDIA_TYPE* pmt) {
    if (FAILED(hr)) return LogRefused(operation, out, in, hr, pmt);
    if (!log::Enabled(log::Category::Graph)) return hr;
    std::string through, type;
    ComPtr<IPin> peer;
    if (SUCCEEDED(out->ConnectedTo(peer.put())) && peer && peer.get() != in) {
        PIN_INFO info;
        if (SUCCEEDED(peer->QueryPinInfo(&info))) {
            ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
            through = " through " + FilterText(owner.get());
        }
    }
    AM_MEDIA_TYPE connection;
    if (SUCCEEDED(out->ConnectionMediaType(&connection))) {
        type = " as " + MediaTypeText(&connection);
        FreeMediaType(connection);
    }
    log::Write(log::Category::Graph, std::string(operation) + ": " + PinText(out) + " -> " +
                                         (in ? PinText(in) : std::string("renderer")) +
                                         " connected" + through + type);
    return hr;
}

} // namespace talvence
