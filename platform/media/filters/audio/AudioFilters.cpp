#include "platform/media/filters/audio/AudioFilters.h"

#include "platform/media/MediaGuids.h"
#include "platform/media/filters/audio/AcmWrapper.h"
#include "platform/media/filters/audio/AudioFilterIds.h"
#include "platform/media/filters/audio/AudioRenderer.h"

namespace talvence {

namespace {
RegisteredPin PcmPin(PIN_DIRECTION dir) {
    return RegisteredPin{dir, {REGPINTYPES{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}};
}
} // namespace

void RegisterAudioFilters(FilterRegistry& registry, std::shared_ptr<TPcmPlaybackBackend> playback) {
    RegisteredFilter acm;
    acm.clsid = CLSID_ACMWrapper;
    acm.friendlyName = "ACM Wrapper";
    acm.merit = MERIT_NORMAL;
    acm.pins = {PcmPin(PINDIR_INPUT), PcmPin(PINDIR_OUTPUT)};
    acm.create = [] { return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TAcmWrapper)); };
    registry.Register(CLSID_LegacyAmFilterCategory, std::move(acm));

    RegisteredFilter renderer;
    renderer.clsid = CLSID_DSoundRender;
    renderer.friendlyName = kDefaultAudioRendererName;
    renderer.merit = MERIT_PREFERRED;
    renderer.pins = {PcmPin(PINDIR_INPUT)};
    renderer.create = [playback] {
        return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(new TAudioRenderer(playback)));
    };
    registry.Register(CLSID_LegacyAmFilterCategory, renderer);
    registry.Register(CLSID_AudioRendererCategory, std::move(renderer));
}

} // namespace talvence
