#include "app/window/WindowLogic.h"

#include "resources/Strings.h"
#include "resources/WindowStrings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace talvence {

namespace {

std::string Printf(const char* pattern, long long number) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lld", number);
    std::string out = pattern;
    const auto at = out.find("%d");
    if (at != std::string::npos) out.replace(at, 2, buffer);
    return out;
}

std::string AlarmTime(const StatusFacts& f) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.2d", f.alarmHour, f.alarmMinute,
                  f.alarmSecond);
    return buffer;
}

const char* KindTag(SourceKind kind) {
    switch (kind) {
    case SourceKind::skDv: return " DV";
    case SourceKind::skMovieBox: return " MBX";
    case SourceKind::skMpeg2Stream: return " MPEG2";
    default: return "";
    }
}

// " - Aud: DV AUX" style tail of the capture and schedule texts.
std::string ListenTail(bool listen, bool auxiliary, const char* withAudio, const char* without) {
    std::string out = (listen || auxiliary) ? withAudio : std::string(without) +
                                                             strings::kStatusNoAudio;
    if (listen) out += " DV";
    if (auxiliary) out += " AUX";
    return out;
}

} // namespace

PanelPlacement PlacePanelsGeometry(bool ecranGauche, int generalToolBarLeft) {
    PanelPlacement p;
    p.panelPosition = ecranGauche ? 427 : 0;
    p.previewOffset = ecranGauche ? 0 : 266;
    const int o = p.previewOffset;
    p.previewPanel = o + 10;
    p.volumeSlider = o + 144;
    p.volumeGauge = o + 296;
    p.box44100 = o + 352;
    p.volumeLabel = o + 108;
    p.captureButton = o + 64;
    p.cutButton = o + 24;
    p.grabButton = o + 304;
    p.actionsToolBar = o + 120;
    p.panelsToolBar = p.panelPosition == 0 ? 60 : generalToolBarLeft - 174;
    return p;
}

std::string WindowCaption(const std::string& sourceName, bool reduced) {
    if (reduced) return sourceName;
    return std::string(strings::kProductName) + " " + strings::kCaptionBy + " " +
           strings::kMakerName + strings::kCaptionDash + sourceName;
}

int SteppedVolume(int volume, int step) {
    return std::clamp(volume + step, 0, 10000);
}

int GraphVolumeFor(bool muted, int volume) {
    return muted ? 0 : std::clamp(volume, 0, 10000);
}

std::string FormatPart(const std::string& formatText) {
    const auto paren = formatText.find('(');
    return paren == std::string::npos ? formatText : formatText.substr(0, paren);
}

std::string FreeSpaceText(const TDiskSpace& space) {
    // The mount point stands where a drive letter would; a path is shown as it is spelt.
    const long long megabytes = static_cast<long long>(space.available / 1048576);
    return strings::Fmt(Printf(strings::kStatusFreeSpace, megabytes), {space.mountPoint});
}

StatusPanels StatusTextsFor(const StatusFacts& f) {
    StatusPanels out;
    const std::string part = FormatPart(f.formatText);
    switch (f.state) {
    case CaptureState::NoSource:
        out.panel1 = strings::kStatusNoVideoSource;
        out.panel2 = "";
        break;
    case CaptureState::Preview: {
        std::string p1 = strings::kStatusPreview;
        if (f.deinterlaced) p1 += " DES";
        p1 += KindTag(f.kind);
        if (f.vcr) p1 += " VCR";
        out.panel1 = p1;
        std::string p2 = f.kind == SourceKind::skNone ? std::string(strings::kStatusNoVideo)
                                                      : strings::kStatusVid + part;
        if (f.audio == AudioType::atNone)
            p2 += std::string(" - ") + strings::kStatusNoAudio;
        else
            p2 += strings::kStatusAud;
        if (f.audio == AudioType::atIncluded) p2 += KindTag(f.kind);
        if (f.audio == AudioType::atSoundCard) p2 += " AUX";
        out.panel2 = p2;
        out.panel3 = FreeSpaceText(f.freeSpace);
        break;
    }
    case CaptureState::Capturing: {
        std::string p1 = std::string(strings::kStatusCapture) + ": " + part;
        if (f.format >= 3 && f.format <= 5) p1 += " INC";
        out.panel1 = p1 + ListenTail(f.listen, f.auxiliary, " -", "- ");
        break;
    }
    case CaptureState::ScheduleArmed: {
        out.panel1 = strings::kStatusSchedule;
        std::string p2 = strings::kStatusVid + part;
        if (f.inlayOn) p2 += " INC";
        out.panel2 = p2 + ListenTail(f.listen, f.auxiliary, strings::kStatusAud, " - ");
        out.panel3 = strings::kStatusStartAt + AlarmTime(f);
        break;
    }
    case CaptureState::ScheduledCapture:
        out.panel1 = strings::kStatusCaptureUntil + AlarmTime(f);
        break;
    }
    return out;
}

StatusPanels FrameStatisticsTexts(const TCaptureStatus& status) {
    StatusPanels out;
    if (status.imageByImage) {
        out.panel2 = Printf(strings::kStatusCapturedCount, status.frames);
        out.panel3 = strings::kStatusImageByImage;
    } else if (status.framesKnown) {
        out.panel2 = Printf(strings::kStatusCapturedCount, status.frames);
        out.panel3 = Printf(strings::kStatusLostCount, status.lost);
    } else {
        out.panel2 = "";
        out.panel3 = "";
    }
    return out;
}

ShortcutLists BuildShortcutLists(const std::vector<ShortcutSource>& actions) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    auto collect = [&](auto wanted, bool withSecondary) {
        std::vector<ShortcutListRow> rows;
        for (std::size_t i = 0; i < actions.size(); ++i) {
            const ShortcutSource& a = actions[i];
            if (!a.visible || a.caption.empty() || a.shortcut.empty() || !wanted(a.category))
                continue;
            std::string text = a.caption + "=" + a.shortcut;
            if (withSecondary && !a.secondary.empty()) text += " (" + a.secondary + ")";
            rows.push_back({std::move(text), static_cast<int>(i)});
        }
        std::stable_sort(rows.begin(), rows.end(), [&](const auto& x, const auto& y) {
            return lower(x.text) < lower(y.text);
        });
        return rows;
    };
    ShortcutLists lists;
    lists.actions =
        collect([](const std::string& c) { return c != "camera" && c != "frame"; }, true);
    auto frames = collect([](const std::string& c) { return c == "frame"; }, true);
    lists.actions.insert(lists.actions.end(), frames.begin(), frames.end());
    lists.camera = collect([](const std::string& c) { return c == "camera"; }, false);
    return lists;
}

std::vector<std::string> ClipBrowserArguments(
    const std::string& nextVideoFile, std::int64_t videoCounter,
    const std::function<bool(const std::string&)>& exists) {
    const auto underscore = nextVideoFile.rfind('_');
    const std::string prefix =
        underscore == std::string::npos ? std::string() : nextVideoFile.substr(0, underscore + 1);
    std::vector<std::string> arguments;
    for (std::int64_t n = 0; n <= videoCounter - 2; ++n) {
        const std::string path = prefix + std::to_string(n) + ".avi";
        if (exists(path)) arguments.push_back(path);
    }
    return arguments;
}

} // namespace talvence
