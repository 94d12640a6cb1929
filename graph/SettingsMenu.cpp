// The device settings menu of TdmCam (graph.h): which entries the current sources have pages
// for, and the pages behind a chosen entry.

#include "graph/SettingsMenu.h"
#include "graph/graph.h"
#include "platform/media/MediaGuids.h"

namespace talvence {

const char* SettingsEntryCaption(TSettingsEntry entry) {
    switch (entry) {
    case TSettingsEntry::Format: return "Video Format...";
    case TSettingsEntry::Source: return "Video Source...";
    case TSettingsEntry::Display: return "Video Display...";
    case TSettingsEntry::VideoCaptureFilter: return "Video Capture Filter...";
    case TSettingsEntry::VideoCapturePin: return "Video Capture Pin...";
    case TSettingsEntry::VideoPreviewPin: return "Video Preview Pin...";
    case TSettingsEntry::VideoCrossbar: return "Video Crossbar...";
    case TSettingsEntry::TvTuner: return "TV Tuner...";
    case TSettingsEntry::AudioCaptureFilter: return "Audio Capture Filter...";
    case TSettingsEntry::AudioCapturePin: return "Audio Capture Pin...";
    case TSettingsEntry::SecondCrossbar: return "Second Crossbar...";
    case TSettingsEntry::TvAudio: return "TV Audio...";
    }
    return "";
}

bool TSettingsPositions::EntryOf(int tag, TSettingsEntry* found) const {
    for (int e = 0; e < kSettingsEntryCount; ++e)
        if (entry[std::size_t(e)] >= 0 && entry[std::size_t(e)] == tag) {
            *found = static_cast<TSettingsEntry>(e);
            return true;
        }
    return false;
}

namespace {

// The interface on the filter's first pin of that category (and major type, when given).
template <class I>
ComPtr<I> PinInterface(ICaptureGraphBuilder2* builder, IBaseFilter* filter, const GUID& category,
                       const GUID* type) {
    ComPtr<IPin> pin;
    ComPtr<I> out;
    if (builder && filter &&
        SUCCEEDED(builder->FindPin(filter, PINDIR_OUTPUT, &category, type, 0, 0, pin.put())))
        pin->QueryInterface(I::iid, out.putVoid());
    return out;
}

} // namespace

TPageList TdmCam::EntryPages(TSettingsEntry entry) {
    IBaseFilter* video = sourceFilter_.get();
    IBaseFilter* audio = AudioSource.HasFilter() ? AudioSource.Filter().get() : nullptr;
    if (audio && !InGraph(audio)) audio = nullptr;
    auto pinPages = [this](IBaseFilter* filter, const GUID& category,
                           std::initializer_list<const GUID*> types) {
        for (const GUID* type : types)
            if (auto config = PinInterface<IAMStreamConfig>(graphBuilder_.get(), filter, category,
                                                            type))
                return PagesOf(config.get());
        return TPageList{};
    };
    // The crossbar next to the capture filter ends every route; a second one is one further up.
    auto crossbarAt = [this](std::size_t fromEnd) -> IAMCrossbar* {
        if (!crossbar_) return nullptr;
        for (const TRouteArray& route : crossbar_->Routes())
            if (route.size() > fromEnd) return route[route.size() - 1 - fromEnd].Crossbar.get();
        return nullptr;
    };
    switch (entry) {
    case TSettingsEntry::VideoCaptureFilter:
        return PagesOf(video);
    case TSettingsEntry::VideoCapturePin:
        return pinPages(video, PIN_CATEGORY_CAPTURE, {&MEDIATYPE_Interleaved, &MEDIATYPE_Video});
    case TSettingsEntry::VideoPreviewPin:
        return pinPages(video, PIN_CATEGORY_PREVIEW, {&MEDIATYPE_Interleaved, &MEDIATYPE_Video});
    case TSettingsEntry::VideoCrossbar:
        return PagesOf(crossbarAt(0));
    case TSettingsEntry::SecondCrossbar:
        return PagesOf(crossbarAt(1));
    case TSettingsEntry::AudioCaptureFilter:
        return PagesOf(audio);
    case TSettingsEntry::AudioCapturePin:
        return pinPages(audio, PIN_CATEGORY_CAPTURE, {&MEDIATYPE_Audio});
    default:
        // Legacy driver dialogs, TV tuners and TV audio have no pages on this platform.
        return {};
    }
}

TSettingsMenu TdmCam::BuildSettingsMenu(int firstPosition) {
    positions_ = TSettingsPositions();
    TSettingsMenu menu;
    if (!fg_.Active()) return menu;
    int position = firstPosition;
    auto append = [&](TSettingsEntry entry) {
        if (EntryPages(entry).empty()) return;
        menu.items.push_back({SettingsEntryCaption(entry), position});
        positions_[entry] = position++;
    };
    append(TSettingsEntry::AudioCaptureFilter);
    if (!sourceFilter_) return menu;
    for (TSettingsEntry entry :
         {TSettingsEntry::VideoCaptureFilter, TSettingsEntry::VideoCapturePin,
          TSettingsEntry::VideoPreviewPin, TSettingsEntry::VideoCrossbar,
          TSettingsEntry::SecondCrossbar, TSettingsEntry::TvTuner,
          TSettingsEntry::AudioCapturePin, TSettingsEntry::TvAudio})
        append(entry);
    if (crossbar_ && crossbar_->RouteCount() > 0) {
        for (int i = 0; i < crossbar_->RouteCount(); ++i) {
            std::string name;
            crossbar_->RouteName(i, &name);
            menu.routes.push_back(name);
        }
        ++position; // the separator
        positions_.videoInput = position;
        // Opening the menu puts the card back on its default input, shown checked.
        menu.checkedRoute = crossbar_->DefaultRoute();
        crossbar_->SelectRoute(menu.checkedRoute);
    }
    return menu;
}

TPageList TdmCam::SettingsEntryPages(int tag) {
    TSettingsEntry entry;
    if (!positions_.EntryOf(tag, &entry)) return {};
    try {
        if (entry == TSettingsEntry::VideoCapturePin || entry == TSettingsEntry::VideoPreviewPin ||
            entry == TSettingsEntry::AudioCapturePin) {
            fg_.EmptyGraph();
            previewReady_ = false;
        }
        return EntryPages(entry);
    } catch (const std::exception& e) {
        Fail(e.what());
        return {};
    }
}

TPageList TdmCam::AudioSourcePages(std::string* name) {
    if (!AudioSource.HasFilter() || !InGraph(AudioSource.Filter().get())) return {};
    if (name) {
        FILTER_INFO info;
        if (SUCCEEDED(AudioSource.Filter()->QueryFilterInfo(&info))) {
            *name = info.achName;
            if (info.pGraph) info.pGraph->Release();
        }
    }
    return PagesOf(AudioSource.Filter().get());
}

HRESULT TdmCam::SelectVideoInput(int route) {
    return crossbar_ ? crossbar_->SelectRoute(route) : E_FAIL;
}

} // namespace talvence
