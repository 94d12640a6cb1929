#include "platform/media/filters/basic/BasicFilters.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"
#include "platform/media/filters/basic/DumpFilter.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/basic/NullRenderer.h"
#include "platform/media/filters/basic/SampleGrabber.h"
#include "platform/media/filters/basic/SmartTee.h"
#include "platform/media/filters/basic/VideoRenderer.h"

namespace talvence {

namespace {
RegisteredPin AnyPin(PIN_DIRECTION dir) {
    return RegisteredPin{dir, {REGPINTYPES{GUID_NULL, GUID_NULL}}};
}

template <class T> std::function<ComPtr<IBaseFilter>()> Factory() {
    return [] { return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new T)); };
}

RegisteredFilter Entry(const CLSID& clsid, std::string name, std::vector<RegisteredPin> pins,
                       std::function<ComPtr<IBaseFilter>()> create) {
    RegisteredFilter f;
    f.clsid = clsid;
    f.friendlyName = std::move(name);
    f.merit = MERIT_DO_NOT_USE;
    f.pins = std::move(pins);
    f.create = std::move(create);
    return f;
}
} // namespace

void RegisterBasicFilters(FilterRegistry& registry) {
    const GUID& category = CLSID_LegacyAmFilterCategory;
    registry.Register(category,
                      Entry(CLSID_SmartTee, "Smart Tee",
                            {AnyPin(PINDIR_INPUT), AnyPin(PINDIR_OUTPUT), AnyPin(PINDIR_OUTPUT)},
                            Factory<TSmartTee>()));
    registry.Register(category,
                      Entry(CLSID_InfTee, "Infinite Pin Tee Filter",
                            {AnyPin(PINDIR_INPUT), AnyPin(PINDIR_OUTPUT)}, Factory<TInfTee>()));
    registry.Register(category, Entry(CLSID_SampleGrabber, "SampleGrabber",
                                      {AnyPin(PINDIR_INPUT), AnyPin(PINDIR_OUTPUT)},
                                      Factory<TSampleGrabberFilter>()));
    registry.Register(
        category, Entry(CLSID_VideoMixingRenderer, "Video Mixing Renderer Filter",
                        {RegisteredPin{PINDIR_INPUT, {REGPINTYPES{MEDIATYPE_Video, GUID_NULL}}}},
                        Factory<TVideoRenderer>()));
    registry.Register(category, Entry(CLSID_NullRenderer, "Null Renderer", {AnyPin(PINDIR_INPUT)},
                                      Factory<TNullRenderer>()));
    registry.Register(category,
                      Entry(CLSID_Dump, "Dump", {AnyPin(PINDIR_INPUT)}, Factory<TDumpFilter>()));
}

} // namespace talvence
