#pragma once
// What the window's offscreen tests share: one QApplication for the process, a bounded wait that
// runs the event loop, and a fixture that makes the main window on a fresh store with scripted
// dialogs, a fake desktop and screen saver, and the virtual devices it is given.

#include "app/window/CaptureForm.h"
#include "platform/devices/hotplug/DeviceMonitor.h"
#include "platform/devices/ieee1394/FakeIeee1394System.h"
#include "platform/devices/v4l2/FakeV4l2.h"
#include "platform/shell/FakeDialogs.h"
#include "tests/support/DmCamTestSupport.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

namespace talvence::windowtest {

inline void EnsureWidgetsApplication() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the process
}

// Waits while the event loop runs (timers, queued graph events, repaints).
inline bool Pump(const std::function<bool()>& done, double seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done()) return true;
        QTest::qWait(10);
    }
    return done();
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureWidgetsApplication(); }

    // A window on a fresh or kept store, with the virtual devices given.
    std::unique_ptr<TCaptureForm> MakeForm(const char* devices, const IClock* clock = nullptr) {
        if (devices)
            setenv("TALVENCE_VIRTUAL_DEVICES", devices, 1);
        else
            unsetenv("TALVENCE_VIRTUAL_DEVICES");
        TCaptureForm::Services services;
        services.dialogs = &dialogs;
        services.desktop = &desktop;
        services.screenSaver = &screenSaver;
        services.environment.screenWidth = 1024;
        services.environment.screenHeight = 768;
        services.environment.videoFolder = [this] { return dir.Path().string(); };
        services.environment.picturesFolder = [this] { return dir.Path().string(); };
        services.environment.clipBrowserPath = [] { return std::string(); };
        services.playback = std::make_shared<TFakePcmPlayback>();
        services.clock = clock;
        services.ieee1394 = ieee1394;
        services.v4l2 = v4l2;
        services.deviceMonitor = monitor;
        auto form = std::make_unique<TCaptureForm>(services);
        unsetenv("TALVENCE_VIRTUAL_DEVICES");
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get())); // shortcuts need the active window
        return form;
    }

    static CaptureState State(TCaptureForm& form) { return form.Core().Control().State(); }

    testing::TempStore store;
    dmcamtest::TempDir dir;
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeScreenSaver screenSaver;
    std::shared_ptr<FakeIeee1394System> ieee1394 = std::make_shared<FakeIeee1394System>();
    // No V4L2 node until a test plugs one in and raises the monitor.
    std::shared_ptr<TFakeV4l2System> v4l2 = std::make_shared<TFakeV4l2System>();
    std::shared_ptr<TFakeDeviceMonitor> monitor = std::make_shared<TFakeDeviceMonitor>();
};

} // namespace talvence::windowtest
