#include "tests/support/DmCamTestSupport.h"

#include "graph/BuiltInFilters.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace talvence::dmcamtest {

void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "dmcam_tests";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives for the process
}

TempDir::TempDir() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("talvence-dmcam-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

DmCamPlatform::DmCamPlatform(const std::string& devices) {
    EnsureGuiApplication();
    setenv("TALVENCE_VIRTUAL_DEVICES", devices.c_str(), 1);
    RegisterBuiltInFilters(*registry, playback);
    unsetenv("TALVENCE_VIRTUAL_DEVICES");
    cam = std::make_unique<TdmCam>(registry, window);
    // Events are taken by the tests themselves (TakeCompletion), not posted to an event loop.
    cam->Graph().SetEventWakeup([] {});
    window.UseDefaultRenderer(cam->DeviceEnumerator());
    window.SetFrameSink(&sink);
}

DmCamPlatform::~DmCamPlatform() {
    cam.reset();
    window.SetFrameSink(nullptr);
}

bool AnalyseByName(TdmCam& cam, const std::string& displayName) {
    TvideoSourceList known;
    TVideoSourceDisplayList display;
    EnumerateVideoSources(cam.DeviceEnumerator(), known, display);
    for (const TVideoSourceItem& item : display)
        if (item.Name == displayName) return cam.AnalyseSource(*item.Source);
    return false;
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

bool RunToCompletion(TdmCam& cam, double seconds) {
    if (!cam.RunGraph()) return false;
    const bool ended = WaitUntil([&] { return cam.TakeCompletion(); }, seconds);
    cam.StopGraph();
    return ended;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int rc = pclose(pipe);
    if (status) *status = rc;
    return out;
}

std::vector<std::string> ProbeStreams(const std::string& file) {
    const std::string out = RunCommand(
        "ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,nb_read_frames "
        "-of csv=p=0 '" +
        file + "' 2>&1");
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        // csv order is codec_name,codec_type,nb_read_frames
        std::istringstream fields(line);
        std::string name, type, frames;
        std::getline(fields, name, ',');
        std::getline(fields, type, ',');
        std::getline(fields, frames, ',');
        lines.push_back(type + " " + name + " " + frames);
    }
    return lines;
}

std::string MakeDvFile(const TempDir& dir, int frames) {
    const std::string path = dir.File("source.dv");
    int status = 0;
    const std::string seconds = std::to_string(frames / 25.0);
    RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=" + seconds +
                   " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + seconds +
                   " -target pal-dv '" + path + "' 2>&1",
               &status);
    return status == 0 ? path : std::string();
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace talvence::dmcamtest
