#include "platform/media/filters/dv/DvFilters.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMuxerFilter.h"
#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"

namespace talvence {

namespace {
template <class T> std::function<ComPtr<IBaseFilter>()> Factory() {
    return [] { return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new T)); };
}

RegisteredPin Pin(PIN_DIRECTION dir, std::vector<REGPINTYPES> types) {
    return RegisteredPin{dir, std::move(types)};
}

const std::vector<REGPINTYPES> kPictures = {{MEDIATYPE_Video, MEDIASUBTYPE_RGB24},
                                            {MEDIATYPE_Video, MEDIASUBTYPE_RGB32},
                                            {MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
                                            {MEDIATYPE_Video, MEDIASUBTYPE_I420},
                                            {MEDIATYPE_Video, MEDIASUBTYPE_Y41B}};
} // namespace

void RegisterDvFilters(FilterRegistry& registry) {
    const GUID& filters = CLSID_LegacyAmFilterCategory;

    RegisteredFilter splitter;
    splitter.clsid = CLSID_DVSplitter;
    splitter.friendlyName = "DV Splitter";
    splitter.merit = MERIT_NORMAL;
    splitter.pins = {Pin(PINDIR_INPUT, {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}}),
                     Pin(PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}}),
                     Pin(PINDIR_OUTPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}})};
    splitter.create = Factory<TDvSplitter>();
    registry.Register(filters, splitter);

    RegisteredFilter decoder;
    decoder.clsid = CLSID_DVVideoCodec;
    decoder.friendlyName = "DV Video Decoder";
    decoder.merit = MERIT_NORMAL;
    decoder.pins = {Pin(PINDIR_INPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}}),
                    Pin(PINDIR_OUTPUT, kPictures)};
    decoder.create = Factory<TDvVideoDecoder>();
    registry.Register(filters, decoder);

    RegisteredFilter muxer;
    muxer.clsid = CLSID_DVMux;
    muxer.friendlyName = "DV Muxer";
    muxer.merit = MERIT_DO_NOT_USE;
    muxer.pins = {Pin(PINDIR_INPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}}),
                  Pin(PINDIR_INPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}),
                  Pin(PINDIR_OUTPUT, {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}})};
    muxer.create = Factory<TDvMuxer>();
    registry.Register(filters, muxer);

    RegisteredFilter encoder;
    encoder.clsid = CLSID_DVVideoEnc;
    encoder.friendlyName = "DV Video Encoder";
    encoder.merit = MERIT_DO_NOT_USE;
    encoder.pins = {Pin(PINDIR_INPUT, kPictures),
                    Pin(PINDIR_OUTPUT, {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}})};
    encoder.create = Factory<TDvVideoEncoder>();
    registry.Register(filters, encoder);
    registry.Register(CLSID_VideoCompressorCategory, encoder);
}

} // namespace talvence
