#include "tools/talvence-cli/CaptureCommands.h"

#include "app/core/ApplicationCore.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

namespace talvence::cli {

namespace {

// The signal that asked the capture to end; 0 while none did.
volatile std::sig_atomic_t endingSignal = 0;

extern "C" void OnEndingSignal(int signal) {
    endingSignal = signal;
}

// Ctrl+C (SIGINT), SIGTERM (a shutdown, kill) and SIGHUP (a closed terminal, a logout) end the
// capture instead of the program while the command runs, set-up included, so that the files are
// always finished.
class EndingSignalGuard {
public:
    EndingSignalGuard() {
        endingSignal = 0;
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            previous_[i] = std::signal(kSignals[i], OnEndingSignal);
    }
    ~EndingSignalGuard() {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            std::signal(kSignals[i], previous_[i]);
    }
    EndingSignalGuard(const EndingSignalGuard&) = delete;
    EndingSignalGuard& operator=(const EndingSignalGuard&) = delete;

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<void (*)(int), 3> previous_{};
};

std::optional<double> PositiveNumber(const std::string& text) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used != text.size() || !(v > 0)) return std::nullopt;
        return v;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A capture format by its exact text or its index.
std::optional<int> CaptureFormatOfOption(const std::string& text) {
    if (!text.empty() && text.size() <= 2 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        if (CaptureFormatRowOf(std::stoi(text))) return std::stoi(text);
        return std::nullopt;
    }
    for (const CaptureFormatRow& row : kCaptureFormats)
        if (text == row.text) return row.index;
    return std::nullopt;
}

// Questions are answered from the options: --yes, --no, or else no to an overwrite and yes to
// the creation of a missing folder. Every box is printed.
class CliDialogs : public IDialogs {
public:
    CliDialogs(const CaptureOptions& options, std::ostream& err) : options_(options), err_(err) {}
    MsgAnswer MessageBox(MsgType, const std::string& text, MsgButtons buttons) override {
        err_ << text << "\n";
        if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
        MsgAnswer answer;
        if (options_.yes)
            answer = MsgAnswer::Yes;
        else if (options_.no)
            answer = MsgAnswer::No;
        else
            answer = text.rfind(strings::kFileExists1, 0) == 0 ? MsgAnswer::No : MsgAnswer::Yes;
        if (answer == MsgAnswer::No) refused = true;
        err_ << (answer == MsgAnswer::Yes ? "-> yes\n" : "-> no\n");
        return answer;
    }
    bool ChooseFont(TFontSpec&) override { return false; }
    bool ShowPropertyFrame(const std::string&, const std::vector<IPropertyPage*>&) override {
        return false;
    }
    bool refused = false;

private:
    const CaptureOptions& options_;
    std::ostream& err_;
};

void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    // The inlay draws text with QtGui; without a display the offscreen platform serves.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "talvence-cli";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives for the process
}

} // namespace

int CaptureExitCode(int signal) {
    return signal == SIGTERM || signal == SIGHUP ? 128 + signal : kExitOk;
}

std::string CaptureProgressLine(double elapsedSeconds, const TCaptureStatus& status) {
    const long total = static_cast<long>(elapsedSeconds);
    char text[160];
    std::snprintf(text, sizeof text,
                  "elapsed %ld:%02ld:%02ld frames %ld lost %ld size %.1f MB scenes %d",
                  total / 3600, total / 60 % 60, total % 60, status.frames, status.lost,
                  static_cast<double>(status.fileBytes) / 1e6, status.scenes);
    return text;
}

std::optional<CaptureOptions> ParseCaptureOptions(Args args, std::string& error) {
    CaptureOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        auto number = [&](std::optional<double>& into) {
            auto v = value();
            if (!v) return false;
            into = PositiveNumber(*v);
            if (!into) error = a + " needs a positive number, not \"" + *v + "\"";
            return into.has_value();
        };
        if (a == "--source") {
            if (!(o.source = value())) return std::nullopt;
        } else if (a == "--input") {
            if (!(o.input = value())) return std::nullopt;
        } else if (a == "--format") {
            auto v = value();
            if (!v) return std::nullopt;
            o.format = CaptureFormatOfOption(*v);
            if (!o.format) {
                error = "--format needs a capture format's text or its index 0 to 5, not \"" + *v +
                        "\"";
                return std::nullopt;
            }
        } else if (a == "--folder") {
            if (!(o.folder = value())) return std::nullopt;
        } else if (a == "--seconds") {
            if (!number(o.seconds)) return std::nullopt;
        } else if (a == "--grab-every") {
            if (!number(o.grabEvery)) return std::nullopt;
        } else if (a == "--cut-every") {
            if (!number(o.cutEvery)) return std::nullopt;
        } else if (a == "--scn" || a == "--no-scn") {
            o.scn = a == "--scn";
        } else if (a == "--inlay" || a == "--no-inlay") {
            o.inlay = a == "--inlay";
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "--no") {
            o.no = true;
        } else if (a == "--play") {
            o.play = true;
        } else {
            error = "unknown option " + a;
            return std::nullopt;
        }
    }
    if (o.yes && o.no) {
        error = "--yes and --no exclude each other";
        return std::nullopt;
    }
    return o;
}

int RunCapture(Args args, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto parsed = ParseCaptureOptions(args, error);
    if (!parsed) {
        err << "capture: " << error << "\n";
        return kExitUsage;
    }
    const CaptureOptions& options = *parsed;
    EndingSignalGuard signalGuard;
    EnsureGuiApplication();

    CliDialogs dialogs(options, err);
    TApplicationCore::Options coreOptions;
    coreOptions.environment.videoFolder = [] { return VideoFolder(); };
    coreOptions.environment.picturesFolder = [] { return PicturesFolder(); };
    coreOptions.environment.clipBrowserPath = [] { return std::string(); };
    coreOptions.pollEvents = true;
    TApplicationCore core(dialogs, coreOptions);
    for (const std::string& warning : core.StartupWarnings())
        err << "capture: " << warning << "\n";
    if (const std::string damage = StoreLoadReportText(core.StoreReport()); !damage.empty())
        err << "capture: " << damage << "\n";
    TCaptureControl& control = core.Control();

    // The options change this run only; the store is never written.
    TPreferences& prefs = core.Prefs();
    if (options.folder) {
        prefs.videoDirectory->value = *options.folder;
        control.VideoNamingChanged();
    }
    for (const std::string& line : core.RepairUnfinishedCaptures())
        err << "capture: " << line << "\n";
    if (options.scn) prefs.scn->value = *options.scn;
    if (options.inlay) prefs.incrustationOn->value = *options.inlay;

    // The source, by its display name in the catalogue: the one asked for, else the stored one,
    // else the first.
    const std::vector<std::string> names = core.VideoSourceNames();
    if (names.empty()) {
        err << "capture: no video source (set TALVENCE_VIRTUAL_DEVICES=dv for the virtual "
               "camcorder)\n";
        return kExitFailed;
    }
    int chosen = core.StoredVideoSource();
    if (options.source) {
        const auto it = std::find(names.begin(), names.end(), *options.source);
        if (it == names.end()) {
            err << "capture: no video source is named \"" << *options.source << "\"\n";
            return kExitFailed;
        }
        chosen = static_cast<int>(it - names.begin());
    }
    if (!core.SelectVideoSource(chosen)) {
        err << "capture: " << names[static_cast<std::size_t>(chosen)] << ": " << core.LastError()
            << "\n";
        return kExitFailed;
    }

    if (options.format) {
        const std::string text = CaptureFormatName(*options.format);
        const auto& offered = control.CaptureFormatEntries();
        const auto it = std::find(offered.begin(), offered.end(), text);
        if (it == offered.end()) {
            err << "capture: the capture format \"" << text
                << "\" is not offered for this source\n";
            return kExitFailed;
        }
        control.SelectCaptureFormatEntry(static_cast<int>(it - offered.begin()));
    }
    const CaptureFormatRow* format = control.FormatRow();
    if (options.grabEvery && !(format && format->imageByImage)) {
        err << "capture: --grab-every is for the \"Image by Image\" format\n";
        return kExitUsage;
    }

    if (!core.StartPreview()) {
        err << "capture: the preview cannot be built: " << core.LastError() << "\n";
        return kExitFailed;
    }
    if (options.input && !SelectRouteNamed(core.Cam().Crossbar(), *options.input)) {
        err << "capture: the video source has no input \"" << *options.input << "\"\n";
        core.StopGraph();
        return kExitFailed;
    }
    control.CaptureToggle();
    if (control.State() != CaptureState::Capturing) {
        err << "capture: the capture did not start"
            << (dialogs.refused ? " (a question was answered no)" : ": " + control.LastFailure())
            << "\n";
        core.StopGraph();
        return kExitFailed;
    }
    if (options.play) {
        const TCamcorderLink& camcorder = core.Cam().Camcorder();
        if (camcorder.vcrMode && camcorder.transportAvailable)
            camcorder.transport->put_Mode(ED_MODE_PLAY);
        else
            err << "capture: --play: the source is not a camcorder in VCR mode\n";
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    double nextGrab = options.grabEvery.value_or(0);
    double nextCut = options.cutEvery.value_or(0);
    std::string ending = "duration reached";
    bool failed = false;
    auto showProgress = [&](double now) {
        // Blanks cover the end of a longer previous line.
        out << "\r" << CaptureProgressLine(now, core.Status()) << "    " << std::flush;
    };
    while (true) {
        const double now = seconds();
        if (endingSignal != 0) {
            ending = endingSignal == SIGINT    ? "interrupted"
                     : endingSignal == SIGTERM ? "terminated (SIGTERM)"
                                               : "hung up (SIGHUP)";
            break;
        }
        if (options.seconds && now >= *options.seconds) break;
        if (const RunEnd ended = core.TakeRunEnd(); ended != RunEnd::None) {
            failed = ended == RunEnd::Failed || ended == RunEnd::DeviceLost;
            ending = ended == RunEnd::Failed
                         ? "the capture stopped on an error: " + core.LastError()
                     : ended == RunEnd::DeviceLost ? "the capture stopped: the video source was "
                                                     "lost (unplugged)"
                                                   : "the source ended";
            break;
        }
        if (options.grabEvery && now >= nextGrab) {
            control.ImageByImageGrab();
            nextGrab += *options.grabEvery;
        }
        if (options.cutEvery && now >= nextCut) {
            if (!control.Cut()) {
                err << "\ncapture: the cut failed: " << control.LastFailure() << "\n";
                failed = true;
                break;
            }
            nextCut += *options.cutEvery;
        }
        showProgress(now);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    showProgress(seconds());
    out << "\n" << ending << "\n";

    // Back to the preview finishes the files (scene file, image-by-image frame rate).
    control.CaptureToggle();
    core.StopGraph();
    if (const auto ended = control.EndedFrameCounts())
        out << "captured: frames " << ended->first << " lost " << ended->second << "\n";
    int count = 0;
    for (const std::string& file : control.CapturedFiles()) {
        if (!std::filesystem::exists(file)) continue;
        out << "wrote " << file << "\n";
        ++count;
        const std::string& scn = control.SceneFile();
        if (!scn.empty() && ChangeFileExtension(file, ".scn") == scn &&
            std::filesystem::exists(scn))
            out << "wrote " << scn << "\n";
    }
    if (count == 0) out << "no file written\n";
    return failed ? kExitFailed : CaptureExitCode(endingSignal);
}

void AddCaptureCommands(CommandTable& table) {
    table.add({"capture",
               "[--source NAME] [--input NAME] [--format TEXT|INDEX] [--seconds N] [--folder DIR] "
               "[--scn|--no-scn] [--inlay|--no-inlay] [--grab-every S] [--cut-every S] "
               "[--yes|--no] [--play]",
               "capture from a video source in a capture format, with progress", RunCapture});
}

} // namespace talvence::cli
