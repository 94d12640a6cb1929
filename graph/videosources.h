#pragma once

// The video source catalogue: the capture devices of the video input category under display
// names that stay the same across refreshes, and the way back from a listed source to its device.
// Also the source kinds, and the choice of a source's main pin that decides its kind.
//
// Display names: a device keeps the name it was first given for the whole run. A new device gets
// its friendly name, or, when that is taken, the name followed by " #n" with the lowest n >= 2
// that is free ("Cirrus Logic USB-DVR2 Source" is shown as "Pinnacle Moviebox-B"). Devices are
// told apart by their "DevicePath", compared without regard to letter case. A device without one
// is given "unknown" and the time of enumeration ("hhnnsszzz") as its path; see
// EnumerateVideoSources for how it is recognised at the next refresh.
//
// Threads: application thread only.

#include "platform/media/Guid.h"
#include "platform/media/filters/mpeg/MpegInterfaces.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace talvence {

struct ICreateDevEnum;
struct IBaseFilter;
class TFilter;

// Kind of the selected video source: decided by source analysis from the source's pins,
// skNone is set by the main window when no source is selected.
enum class SourceKind : std::uint8_t { skDv = 0, skMovieBox, skCapturePin, skMpeg2Stream, skNone };

// The tag the status bar shows for a kind: " DV", " MBX", " MPEG2", or nothing.
std::string SourceKindTag(SourceKind kind);

inline constexpr const char* kCirrusSourceName = "Cirrus Logic USB-DVR2 Source";
inline constexpr const char* kCirrusDisplayName = "Pinnacle Moviebox-B";

// One known video device.
struct TvideoSource {
    std::string Name;         // display name, unique among the known sources (letter case counts)
    std::string FriendlyName; // exactly as the video input category gives it
    int Index = 1;            // 1 for the bare name, n for the name ending in " #n"
    std::string DevicePath;   // the device's "DevicePath", or "unknown" + time of enumeration

    // False when DevicePath was made up because the device has none. Such a source is bound by
    // its place among the present devices without a path of its friendly name (PathlessOrdinal,
    // from 1, as the last enumeration found it): nothing else tells those devices apart.
    bool PathFromDevice = true;
    int PathlessOrdinal = 0;
};

// Milliseconds since local midnight: the time a path for a device without one is made from.
using TTimeOfDayClock = std::function<std::chrono::milliseconds()>;
// The local time of day of the system clock.
std::chrono::milliseconds LocalTimeOfDay();
// "unknown" followed by the time as "hhnnsszzz" (hours, minutes, seconds, milliseconds).
std::string UnknownDevicePath(std::chrono::milliseconds timeOfDay);

// The known video sources of the run (KnownVideoSources): each source under its device path, in
// the order first seen. Owns the sources; they are freed last to first with the list, or when
// removed. Sources are never dropped because their device went away.
class TvideoSourceList {
public:
    explicit TvideoSourceList(TTimeOfDayClock clock = LocalTimeOfDay);
    ~TvideoSourceList();

    TvideoSourceList(const TvideoSourceList&) = delete;
    TvideoSourceList& operator=(const TvideoSourceList&) = delete;

    int Count() const { return static_cast<int>(sources_.size()); }
    // Null for an index out of range.
    TvideoSource* Source(int index) const;
    // The index of the source with a device-given path equal to path regardless of letter case;
    // -1 when none.
    int IndexOfPath(std::string_view path) const;
    // True when no known source has exactly this display name (letter case counts).
    bool IsDisplayNameFree(std::string_view name) const;

    // Takes ownership; answers the source.
    TvideoSource* Add(std::unique_ptr<TvideoSource> source);
    // Frees the source; false when it is not in the list.
    bool Remove(const TvideoSource* source);

    const TTimeOfDayClock& Clock() const { return clock_; }

private:
    TTimeOfDayClock clock_;
    std::vector<std::unique_ptr<TvideoSource>> sources_;
};

// True when no source of known has exactly this display name (letter case counts).
bool IsDisplayNameFree(const TvideoSourceList& known, std::string_view name);

// One line of the video source list: the display name and the known source it stands for.
struct TVideoSourceItem {
    std::string Name;
    TvideoSource* Source = nullptr; // owned by the TvideoSourceList
};
using TVideoSourceDisplayList = std::vector<TVideoSourceItem>;

// Clears display, then lists every device of the video input category in enumeration order,
// reusing known sources and adding new ones to known:
// - a device whose property bag cannot be bound is left out;
// - a device with a "DevicePath" is the known source with that path (letter case ignored), or a
//   new source under the lowest free display name;
// - a device without one is the first known source without a path of the same friendly name
//   that this walk has not listed yet, else a new source with the path UnknownDevicePath(now).
//   (A made-up path changes at every refresh; recognising it by name keeps its display name and
//   keeps it bindable instead of adding an unbindable " #n" at each refresh.)
// False when the platform fails; the lines listed so far stay.
bool EnumerateVideoSources(ICreateDevEnum* devEnum, TvideoSourceList& known,
                           TVideoSourceDisplayList& display);

// Takes slot out of its graph, then gives it the moniker of source's device: the present device
// with the source's path (letter case ignored), or, for a source without a device-given path, the
// PathlessOrdinal-th present device without a path whose friendly name matches (equal, or
// "Cirrus Logic USB-DVR2 Source" for the friendly name "Pinnacle Moviebox-B"). False when that
// device is not present or the platform fails.
bool BindVideoSource(ICreateDevEnum* devEnum, const TvideoSource& source, TFilter& slot);

// Removes the source from the display list and from known (the main window's reaction to a
// source whose analysis failed). False when known does not hold it.
bool RemoveVideoSource(TvideoSourceList& known, TVideoSourceDisplayList& display,
                       const TvideoSource* source);

// What source analysis reads from each pin of a source filter.
struct TSourcePinFacts {
    bool Output = false;
    bool Connected = false;
    std::vector<GUID> MajorTypes; // of the types the pin offers (of its connection when connected)
    GUID Category = GUID_NULL;    // its PIN_CATEGORY_..., GUID_NULL when it reports none
};

// The analysis' choice among a source filter's pins.
struct TSourcePinChoice {
    SourceKind Kind = SourceKind::skCapturePin;
    int MainPin = -1;  // index into the facts; -1: no main pin, the source cannot be previewed
    int AudioPin = -1; // the first unconnected audio output; -1 when none
};

// Among the unconnected output pins, in this order: the first of major type stream (a MovieBox
// when filterClassId is the MovieBox capture filter's, else an MPEG-2 stream device), else the
// first of major type interleaved (a DV camcorder), else the first of the capture category
// (skCapturePin, also when there is none).
TSourcePinChoice ChooseSourcePins(const std::vector<TSourcePinFacts>& pins,
                                  const CLSID& filterClassId);

// The facts of the filter's pins in EnumPins order (the indices ChooseSourcePins answers).
std::vector<TSourcePinFacts> ReadSourcePins(IBaseFilter* filter);

} // namespace talvence
