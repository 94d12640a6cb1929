#include "app/Startup.h"
#include "app/window/CaptureForm.h"
#include "platform/log/LibavLog.h"
#include "platform/shell/Desktop.h"
#include "platform/shell/QtDialogs.h"
#include "platform/shell/ScreenSaver.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

namespace {

bool HasDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace talvence;
    // libav speaks only through the logger, when TALVENCE_LOG has "codec".
    log::InitLibavLogging();
    if (!HasDisplay()) {
        // Without a display the system report still runs, on Qt's offscreen platform.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication app(argc, argv);
        QRect screen =
            app.primaryScreen() ? app.primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
        return RunSystemReport(screen.width(), screen.height());
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(strings::kProductName);
    QtDialogs dialogs;
    if (!MediaLayerCheckPasses(dialogs, DirectXMajorVersion(), DirectXVersionText())) return 1;

    const QRect screen =
        app.primaryScreen() ? app.primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
    QtDesktop desktop;
    DBusScreenSaver screenSaver;
    TCaptureForm::Services services;
    services.dialogs = &dialogs;
    services.desktop = &desktop;
    services.screenSaver = &screenSaver;
    services.environment = SystemPreferenceEnvironment(screen.width(), screen.height());
    TCaptureForm form(services);
    form.show();
    return app.exec();
}
