#include "app/Startup.h"
#include "platform/log/LibavLog.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

int main(int argc, char* argv[]) {
    // libav speaks only through the logger, when TALVENCE_LOG has "codec".
    talvence::log::InitLibavLogging();
    // Without a display the report still runs, on Qt's offscreen platform.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QRect screen = app.primaryScreen() ? app.primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
    return talvence::RunSystemReport(screen.width(), screen.height());
}
