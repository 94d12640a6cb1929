// The main window on the virtual DV camcorder at real time, as a user leaves it running: the
// CPU share of one core and the resident memory while it previews for --seconds, then the frames
// captured and lost while it captures "DV type 2 (with inlay)" for as long.
//
//   bench_window [--seconds N] [--folder DIR]
//
// Runs on the display Qt finds (under xvfb-run for a real X server), else offscreen. Reads and
// writes the preference store TALVENCE_REGISTRY_DIR names (a temporary one unless set).

#include "app/window/CaptureForm.h"
#include "app/window/PreviewWidget.h"
#include "platform/shell/FakeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// "VmRSS" or "VmHWM" of this process, in kB.
long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
    return -1;
}

// The program's own event loop, as app.exec() runs it.
void RunFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace talvence;
    double seconds = 60;
    std::string folder = (std::filesystem::temp_directory_path() / "talvence-bench-window").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds") seconds = std::atof(argv[i + 1]);
        if (a == "--folder") folder = argv[i + 1];
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("TALVENCE_REGISTRY_DIR")) {
        const std::string store = folder + "/store";
        std::filesystem::create_directories(store);
        setenv("TALVENCE_REGISTRY_DIR", store.c_str(), 1);
    }
    setenv("TALVENCE_VIRTUAL_DEVICES", "dv", 1);
    std::filesystem::create_directories(folder);
    QApplication app(argc, argv);

    FakeDialogs dialogs; // every question answered "Yes"
    for (int i = 0; i < 8; ++i)
        dialogs.answers.push_back(MsgAnswer::Yes);
    FakeDesktop desktop;
    FakeScreenSaver screenSaver;
    TCaptureForm::Services services;
    services.dialogs = &dialogs;
    services.desktop = &desktop;
    services.screenSaver = &screenSaver;
    services.environment.screenWidth = 1024;
    services.environment.screenHeight = 768;
    services.environment.videoFolder = [&] { return folder; };
    services.environment.picturesFolder = [&] { return folder; };
    services.environment.clipBrowserPath = [] { return std::string(); };
    TCaptureForm form(services);
    form.show();
    RunFor(2); // start-up settles

    const long paintedBefore = form.vwEcran->FramesPainted();
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunFor(seconds);
    const double cpu = CpuSeconds() - cpuBefore;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("preview: %.0f s, CPU %.1f %% of one core, %ld frames painted (%.1f a second), "
                "resident %ld kB (peak %ld kB)\n",
                elapsed, 100.0 * cpu / elapsed, form.vwEcran->FramesPainted() - paintedBefore,
                (form.vwEcran->FramesPainted() - paintedBefore) / elapsed, StatusKb("VmRSS"),
                StatusKb("VmHWM"));

    TCaptureControl& control = form.Core().Control();
    const auto& formats = control.CaptureFormatEntries();
    const auto it = std::find(formats.begin(), formats.end(), "DV type 2 (with inlay)");
    if (it == formats.end()) {
        std::fprintf(stderr, "the virtual camcorder does not offer DV type 2 (with inlay)\n");
        return 1;
    }
    control.SelectCaptureFormatEntry(static_cast<int>(it - formats.begin()));
    form.Action("acCapturerBascule")->trigger();
    if (control.State() != CaptureState::Capturing) {
        std::fprintf(stderr, "the capture did not start: %s\n", control.LastFailure().c_str());
        return 1;
    }
    const double captureCpuBefore = CpuSeconds();
    wall.restart();
    RunFor(seconds);
    const TCaptureStatus status = form.Core().Status();
    const double captureCpu = CpuSeconds() - captureCpuBefore;
    const double captureElapsed = wall.elapsed() / 1000.0;
    form.Action("acCapturerBascule")->trigger();
    std::printf("capture \"DV type 2 (with inlay)\": %.0f s, %ld frames captured, %ld lost, "
                "CPU %.1f %% of one core, resident %ld kB, file %s\n",
                captureElapsed, status.frames, status.lost, 100.0 * captureCpu / captureElapsed,
                StatusKb("VmRSS"), status.file.c_str());
    form.close();
    return status.lost == 0 ? 0 : 2;
}
