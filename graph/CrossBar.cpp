#include "graph/CrossBar.h"

#include "platform/media/PinWalk.h"

namespace talvence {

namespace {

// A crossbar's pins are enumerated inputs first, then outputs.
ComPtr<IPin> CrossbarPinAt(IBaseFilter* filter, IAMCrossbar* crossbar, long index, bool input) {
    long outputs = 0, inputs = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs))) return nullptr;
    const long position = input ? index : inputs + index;
    long i = 0;
    ComPtr<IPin> found;
    ForEachPin(filter, [&](IPin* pin) {
        if (i++ != position) return false;
        found = ComPtr<IPin>(pin);
        return true;
    });
    return found;
}

// The index of a pin among the crossbar's inputs or outputs; -1 when not found.
long CrossbarIndexOfPin(IBaseFilter* filter, IAMCrossbar* crossbar, IPin* wanted, bool input) {
    long outputs = 0, inputs = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs))) return -1;
    long i = 0, found = -1;
    ForEachPin(filter, [&](IPin* pin) {
        if (pin == wanted) {
            found = input ? i : i - inputs;
            return true;
        }
        ++i;
        return false;
    });
    return found;
}

} // namespace

std::string ConnectorName(long type) {
    static const char* const kVideo[] = {"Video Tuner",
                                         "Video Composite",
                                         "Video SVideo",
                                         "Video RGB",
                                         "Video YRYBY",
                                         "Video SerialDigital",
                                         "Video ParallelDigital",
                                         "Video SCSI",
                                         "Video AUX",
                                         "Video 1394",
                                         "Video USB",
                                         "Video Decoder",
                                         "Video Encoder",
                                         "Video Scart"};
    static const char* const kAudio[] = {
        "Audio Tuner", "Audio Line", "Audio Mic",  "Audio AESDigital", "Audio SPDIFDigital",
        "Audio SCSI",  "Audio AUX",  "Audio 1394", "Audio USB",        "Audio Decoder"};
    if (type >= 1 && type <= 14) return kVideo[type - 1];
    if (type >= 4096 && type <= 4105) return kAudio[type - 4096];
    return "Unknown";
}

TCrossbar::TCrossbar(IPin* captureInput) {
    if (!captureInput) return;
    path_.resize(1);
    BuildRoutes(captureInput, 0);
    path_.clear();
}

HRESULT TCrossbar::BuildRoutes(IPin* start, long depth) {
    const HRESULT end = depth == 0 ? E_FAIL : S_FALSE;
    const ComPtr<IPin> peer = PeerOf(start);
    if (!peer) return end;
    PIN_INFO info;
    if (FAILED(peer->QueryPinInfo(&info))) return S_OK;
    const ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Attach(info.pFilter);
    if (info.dir != PINDIR_OUTPUT) return S_OK;
    ComPtr<IAMCrossbar> crossbar;
    if (!filter || FAILED(filter->QueryInterface(IAMCrossbar::iid, crossbar.putVoid()))) return end;

    long outputs = 0, inputs = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs))) return S_OK;
    const long output = CrossbarIndexOfPin(filter.get(), crossbar.get(), peer.get(), false);
    long outputRelated = -1, outputType = 0;
    crossbar->get_CrossbarPinInfo(0, output, &outputRelated, &outputType);
    for (long i = 0; i < inputs; ++i) {
        long related = -1, type = 0;
        crossbar->get_CrossbarPinInfo(1, i, &related, &type);
        if (static_cast<unsigned long>(type) >= 4096) continue; // audio connectors
        if (crossbar->CanRoute(output, i) != S_OK) continue;
        const ComPtr<IPin> input = CrossbarPinAt(filter.get(), crossbar.get(), i, true);
        path_.resize(std::size_t(depth) + 2);
        path_[std::size_t(depth)] =
            TCrRouting{i, output, related, outputRelated, crossbar, type, outputType, depth};
        if (BuildRoutes(input.get(), depth + 1) == S_FALSE) {
            // This input is a physical connector: the route runs from here to depth 0.
            TRouteArray route(path_.rbegin() + 1, path_.rend());
            routes_.push_back(std::move(route));
        }
        path_.resize(std::size_t(depth) + 1);
    }
    return S_OK;
}

HRESULT TCrossbar::RouteConnectorType(int route, long* type) const {
    if (!type || route < 0 || route >= RouteCount()) return E_FAIL;
    *type = routes_[std::size_t(route)].front().InputType;
    return S_OK;
}

HRESULT TCrossbar::RouteName(int route, std::string* name) const {
    long type = 0;
    if (!name || FAILED(RouteConnectorType(route, &type))) return E_FAIL;
    *name = ConnectorName(type);
    return S_OK;
}

HRESULT TCrossbar::SelectRoute(int route) {
    if (route < 0 || route >= RouteCount()) return E_FAIL;
    HRESULT hr = E_FAIL;
    for (const TCrRouting& r : routes_[std::size_t(route)]) {
        hr = r.Crossbar->Route(r.VideoOutput, r.VideoInput);
        if (hr == S_OK && r.AudioOutput != -1 && r.AudioInput != -1)
            hr = r.Crossbar->Route(r.AudioOutput, r.AudioInput);
    }
    return hr;
}

int TCrossbar::DefaultRoute() const {
    for (int i = 0; i < RouteCount(); ++i)
        if (routes_[std::size_t(i)].front().InputType == PhysConn_Video_Tuner) return i;
    return 0;
}

bool SelectRouteNamed(TCrossbar* crossbar, const std::string& name) {
    for (int i = 0; crossbar && i < crossbar->RouteCount(); ++i) {
        std::string routeName;
        if (SUCCEEDED(crossbar->RouteName(i, &routeName)) && routeName == name)
            return crossbar->SelectRoute(i) == S_OK;
    }
    return false;
}

std::unique_ptr<TCrossbar> CrossbarOfSource(IBaseFilter* source) {
    std::unique_ptr<TCrossbar> result;
    ForEachPin(source, [&](IPin* pin) {
        if (!HasDirection(pin, PINDIR_INPUT) || CategoryOf(pin) != PIN_CATEGORY_ANALOGVIDEOIN)
            return false;
        result = std::make_unique<TCrossbar>(pin);
        return true;
    });
    return result;
}

} // namespace talvence
