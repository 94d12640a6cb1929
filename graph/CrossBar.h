#pragma once

// TCrossbar: the routes from a physical video connector through the chain of crossbars upstream
// of a capture filter's analogue video input, found once by a depth-first search, named after
// their connector, and switched as a whole. A route lists the crossbars from the farthest
// (element 0, whose input is the route's connector) to the one next to the capture filter; each
// element holds its own reference to its crossbar. Audio connectors and inputs a crossbar cannot
// route give no route.
//
// Threads: the application thread, while the graph is stopped or running (routing only switches
// inputs).

#include "platform/media/CaptureInterfaces.h"
#include "platform/media/Interfaces.h"

#include <memory>
#include <string>
#include <vector>

namespace talvence {

struct TCrRouting {
    long VideoInput = 0;
    long VideoOutput = 0;
    long AudioInput = -1;
    long AudioOutput = -1;
    ComPtr<IAMCrossbar> Crossbar;
    long InputType = 0;
    long OutputType = 0;
    long Depth = 0;
};
using TRouteArray = std::vector<TCrRouting>;

// The text of a physical connector type ("Video Tuner", ..., "Unknown").
std::string ConnectorName(long type);

class TCrossbar {
public:
    // Searches upstream of the capture filter's input pin (null: no routes).
    explicit TCrossbar(IPin* captureInput);

    int RouteCount() const { return static_cast<int>(routes_.size()); }
    // S_OK with the connector type / name of a route; E_FAIL for an index that is no route.
    HRESULT RouteConnectorType(int route, long* type) const;
    HRESULT RouteName(int route, std::string* name) const;
    // Routes every crossbar of the route (and its related audio where both ends have one); the
    // result of the last route operation, E_FAIL for an index that is no route.
    HRESULT SelectRoute(int route);
    // The route the settings menu starts from: the first from a tuner, else route 0.
    int DefaultRoute() const;
    const std::vector<TRouteArray>& Routes() const { return routes_; }

private:
    // S_OK, S_FALSE at the end of a route (no crossbar further up), E_FAIL at depth 0 when the
    // pin is not fed by a crossbar.
    HRESULT BuildRoutes(IPin* start, long depth);

    std::vector<TCrRouting> path_; // the search nodes, path_[d] at depth d
    std::vector<TRouteArray> routes_;
};

// Selects the first route of that name; false when there is none (or no crossbar).
bool SelectRouteNamed(TCrossbar* crossbar, const std::string& name);

// The crossbar object of a video source: built from its first input pin of the analogue video
// category; null when it has none.
std::unique_ptr<TCrossbar> CrossbarOfSource(IBaseFilter* source);

} // namespace talvence
