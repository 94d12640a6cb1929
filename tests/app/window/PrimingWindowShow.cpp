// Not a test: shows the MovieBox priming window as the program does, for a person to look at
// under a display. The main window starts on a fresh store with the stand-in MovieBox as its only
// source, so that its first show selects the box and primes it with the real property frame;
// closing the frame ends the priming (the refresh button primes again), and the program quits
// once the main window is closed.

#include "app/Startup.h"
#include "app/window/CaptureForm.h"
#include "platform/shell/Desktop.h"
#include "platform/shell/QtDialogs.h"
#include "tests/app/window/FakeMovieBox.h"
#include "tests/support/TempStore.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    using namespace talvence;
    unsetenv("TALVENCE_VIRTUAL_DEVICES");
    testing::TempStore store;
    QApplication app(argc, argv);
    QtDialogs dialogs;
    QtDesktop desktop;
    TCaptureForm::Services services;
    services.dialogs = &dialogs;
    services.desktop = &desktop;
    services.environment = SystemPreferenceEnvironment(1024, 768);
    TCaptureForm form(services);
    AddMovieBox(form.Core().Registry());
    form.show();
    return app.exec();
}
