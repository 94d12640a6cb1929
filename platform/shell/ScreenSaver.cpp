#include "platform/shell/ScreenSaver.h"

#include "platform/log/Log.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace talvence {

namespace {
constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
} // namespace

bool DBusScreenSaver::Inhibit(const std::string& application, const std::string& reason) {
    if (held_) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusInterface saver(kService, kPath, kService, bus);
    if (!saver.isValid()) return false;
    const QDBusReply<uint> reply = saver.call("Inhibit", QString::fromStdString(application),
                                              QString::fromStdString(reason));
    if (!reply.isValid()) {
        TLOG(Capture) << "the screen saver could not be held off: "
                      << reply.error().message().toStdString();
        return false;
    }
    cookie_ = reply.value();
    held_ = true;
    return true;
}

void DBusScreenSaver::UnInhibit() {
    if (!held_) return;
    held_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusInterface saver(kService, kPath, kService, bus);
    if (saver.isValid()) saver.call("UnInhibit", cookie_);
}

} // namespace talvence
