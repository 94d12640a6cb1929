#include "tools/talvence-cli/CaptureCommands.h"

#include "app/capture/DmCamCaptureGraph.h"
#include "app/capture/TCaptureControl.h"
#include "graph/BuiltInFilters.h"
#include "graph/DeviceCategories.h"
#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "postproc/ecrire_scnUnit.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace talvence::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
    interrupted = true;
}

// Ctrl+C ends the capture instead of the program while the command runs, set-up included, so
// that the files are always finished.
class InterruptGuard {
public:
    InterruptGuard() : previous_(std::signal(SIGINT, OnInterrupt)) { interrupted = false; }
    ~InterruptGuard() { std::signal(SIGINT, previous_); }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previous_)(int);
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

// The window's inlay actions, applied to the superposer from the inlay preferences.
class CliCaptureWindow : public NullCaptureWindow {
public:
    CliCaptureWindow(TdmCam& cam, TPreferences& prefs) : cam_(cam), prefs_(prefs) {}
    void StartInlay() override {
        Tvq_Superposer& s = cam_.Superposer();
        s.SetInlaySource(static_cast<std::uint8_t>(prefs_.whatIncrust->value));
        s.SetInlayWhen(static_cast<std::uint8_t>(prefs_.whenIncrust->value));
        s.SetInlayAutoMode(prefs_.modeIncruster->value);
        s.SetInlayDuration(prefs_.dureeIncruster->value);
        s.SetInlayHourOffset(prefs_.decalageHoraire->value);
        s.SetInlayFormats(prefs_.formatDatecode1->value, prefs_.formatDatecode2->value);
        // The vertical slider runs 0..930 upwards, the picture downwards.
        s.SetInlayPosition(prefs_.positionX->value, 930 - prefs_.positionY->value,
                           static_cast<std::uint8_t>(prefs_.alignement->value));
        s.SetInlayAutoFontSize(prefs_.tailleAutomatique->value);
        const TFontSpec& font = prefs_.incrustFont->value;
        s.SetInlayFontName(font.name);
        s.SetInlayFontSize(font.size);
        s.SetInlayFontColor(font.color);
        s.SetInlayBold(font.bold);
        s.SetInlayItalic(font.italic);
        s.SetInlayUnderline(font.underline);
        s.SetInlayStrikeOut(font.strikeOut);
        s.SetInlayActive(true);
    }
    void StopInlay() override { cam_.Superposer().SetInlayActive(false); }

private:
    TdmCam& cam_;
    TPreferences& prefs_;
};

int SceneCount(const std::string& scnPath) {
    std::ifstream f(scnPath, std::ios::binary);
    if (!f) return 0;
    f.seekg(static_cast<std::streamoff>(ScnCountPos(scnPath)));
    unsigned char b[2] = {0, 0};
    if (!f.read(reinterpret_cast<char*>(b), 2)) return 0;
    return b[0] | (b[1] << 8);
}

unsigned long long FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

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

std::string CaptureProgressLine(double elapsedSeconds, long frames, long lost,
                                unsigned long long bytes, int scenes) {
    const long total = static_cast<long>(elapsedSeconds);
    char text[160];
    std::snprintf(text, sizeof text,
                  "elapsed %ld:%02ld:%02ld frames %ld lost %ld size %.1f MB scenes %d",
                  total / 3600, total / 60 % 60, total % 60, frames, lost,
                  static_cast<double>(bytes) / 1e6, scenes);
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
        } else if (a == "--format") {
            if (!(o.format = value())) return std::nullopt;
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
    InterruptGuard interruptGuard;
    EnsureGuiApplication();

    auto registry = std::make_shared<FilterRegistry>();
    for (const std::string& warning : RegisterBuiltInFilters(*registry))
        err << "capture: " << warning << "\n";
    TVideoWindow window; // renders to no screen
    TdmCam cam(registry, window);
    cam.Graph().SetEventWakeup([] {}); // events are polled below
    window.UseDefaultRenderer(cam.DeviceEnumerator());

    // The stored preferences, as the window reads them; the options change this run only.
    TparameterList list{PreferencesKeyPath(), PreferencesSignature()};
    TPreferences prefs;
    PreferenceEnvironment env;
    env.videoFolder = [] { return VideoFolder(); };
    env.picturesFolder = [] { return PicturesFolder(); };
    env.clipBrowserPath = [] { return std::string(); };
    DeclarePreferences(list, prefs, env);
    if (options.folder) prefs.videoDirectory->value = *options.folder;
    if (options.scn) prefs.scn->value = *options.scn;
    if (options.inlay) prefs.incrustationOn->value = *options.inlay;

    // The source, by its display name in the catalogue: the one asked for, else the stored one,
    // else the first.
    TvideoSourceList known;
    TVideoSourceDisplayList display;
    EnumerateVideoSources(cam.DeviceEnumerator(), known, display);
    std::vector<std::string> names;
    for (const TVideoSourceItem& item : display)
        names.push_back(item.Name);
    if (names.empty()) {
        err << "capture: no video source (set TALVENCE_VIRTUAL_DEVICES=dv for the virtual "
               "camcorder)\n";
        return kExitFailed;
    }
    int chosen = IndexOrFirst(prefs.sourceVideo->value, names);
    if (options.source) {
        const auto it = std::find(names.begin(), names.end(), *options.source);
        if (it == names.end()) {
            err << "capture: no video source is named \"" << *options.source << "\"\n";
            return kExitFailed;
        }
        chosen = static_cast<int>(it - names.begin());
    }
    const TVideoSourceItem& source = display[static_cast<std::size_t>(chosen)];
    if (!cam.AnalyseSource(*source.Source)) {
        err << "capture: " << source.Name << ": " << cam.LastError() << "\n";
        return kExitFailed;
    }

    CliDialogs dialogs(options, err);
    DmCamCaptureGraph graph(cam, prefs);
    LocalCaptureFiles files;
    CliCaptureWindow captureWindow(cam, prefs);
    TCaptureControl control(prefs, dialogs, graph, files, captureWindow);
    std::vector<std::string> audioDevices;
    ListAudioDevices(cam.DeviceEnumerator(), audioDevices);
    control.SetAudioDevicesPresent(!audioDevices.empty());
    // The sound card, as the window applies it: the stored one, else the first.
    if (!audioDevices.empty()) {
        control.SetAudioSourceName(
            audioDevices[IndexOrFirst(prefs.sourceAudio->value, audioDevices)]);
        control.ApplyAudioSource();
    }
    control.SetWmvAvailable(false);
    control.StartNaming(NowLocal());
    control.SourceSelected(cam.Kind(), cam.HasAudioPin());

    if (options.format) {
        const auto& offered = control.CaptureFormatEntries();
        std::string text = *options.format;
        if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
            text = CaptureFormatName(std::stoi(text));
        int entry = -1;
        for (std::size_t i = 0; i < offered.size(); ++i)
            if (offered[i] == text) entry = static_cast<int>(i);
        if (entry < 0) {
            err << "capture: the capture format \"" << *options.format
                << "\" is not offered for this source\n";
            return kExitFailed;
        }
        control.SelectCaptureFormatEntry(entry);
    }
    const int format =
        CaptureFormatIndex(control.CaptureFormatEntries().empty()
                               ? std::string()
                               : control.CaptureFormatEntries()[control.CaptureFormatEntry()]);
    if (options.grabEvery && format != cfImageByImage) {
        err << "capture: --grab-every is for the \"Image by Image\" format\n";
        return kExitUsage;
    }

    if (!control.BuildPreview() || !graph.RunGraph() || !control.EnterPreviewState()) {
        err << "capture: the preview cannot be built: " << cam.LastError() << "\n";
        cam.StopGraph();
        return kExitFailed;
    }
    std::vector<std::string> written;
    control.CaptureToggle();
    if (control.State() != CaptureState::Capturing) {
        err << "capture: the capture did not start"
            << (dialogs.refused ? " (a question was answered no)" : ": " + cam.LastError()) << "\n";
        cam.StopGraph();
        return kExitFailed;
    }
    written.push_back(control.CaptureFile());
    if (options.play) {
        if (cam.Camcorder().vcrMode && cam.Camcorder().transportAvailable)
            cam.Camcorder().transport->put_Mode(ED_MODE_PLAY);
        else
            err << "capture: --play: the source is not a camcorder in VCR mode\n";
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    double nextGrab = options.grabEvery.value_or(0);
    double nextCut = options.cutEvery.value_or(0);
    std::string ending = "duration reached";
    auto showProgress = [&](double now) {
        long delivered = 0, lost = 0;
        cam.SourceFrameCounts(delivered, lost);
        const long frames = format == cfImageByImage ? control.ImageByImageCount() : delivered;
        const int scenes =
            prefs.scn->value ? SceneCount(ChangeFileExtension(control.CaptureFile(), ".scn")) : 0;
        // Blanks cover the end of a longer previous line.
        out << "\r"
            << CaptureProgressLine(now, frames, lost, FileSize(control.CaptureFile()), scenes)
            << "    " << std::flush;
    };
    while (true) {
        const double now = seconds();
        if (interrupted) {
            ending = "interrupted";
            break;
        }
        if (options.seconds && now >= *options.seconds) break;
        if (const long ended = cam.TakeCompletion()) {
            ending = ended == EC_COMPLETE ? "the source ended" : "the graph stopped on an error";
            break;
        }
        if (options.grabEvery && now >= nextGrab) {
            control.ImageByImageGrab();
            nextGrab += *options.grabEvery;
        }
        if (options.cutEvery && now >= nextCut) {
            if (!control.Cut()) {
                err << "\ncapture: the cut failed\n";
                break;
            }
            written.push_back(control.CaptureFile());
            nextCut += *options.cutEvery;
        }
        showProgress(now);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    showProgress(seconds());
    out << "\n" << ending << "\n";

    // Back to the preview finishes the files (scene file, image-by-image frame rate).
    control.CaptureToggle();
    cam.StopGraph();
    int count = 0;
    for (const std::string& file : written) {
        if (std::filesystem::exists(file)) {
            out << "wrote " << file << "\n";
            ++count;
        }
        const std::string scn = ChangeFileExtension(file, ".scn");
        if (prefs.scn->value && cam.Kind() == SourceKind::skDv && std::filesystem::exists(scn))
            out << "wrote " << scn << "\n";
    }
    if (count == 0) out << "no file written\n";
    return kExitOk;
}

void AddCaptureCommands(CommandTable& table) {
    table.add({"capture",
               "[--source NAME] [--format TEXT|INDEX] [--seconds N] [--folder DIR] "
               "[--scn|--no-scn] [--inlay|--no-inlay] [--grab-every S] [--cut-every S] "
               "[--yes|--no] [--play]",
               "capture from a video source in a capture format, with progress", RunCapture});
}

} // namespace talvence::cli
