#pragma once
// Holding the screen saver off while the program runs: the desktop's screen-saver service on the
// session bus (org.freedesktop.ScreenSaver Inhibit / UnInhibit). Where there is no session bus or
// no such service, nothing is held and nothing fails.
//
// Application thread only.

#include <cstdint>
#include <string>

namespace talvence {

class IScreenSaver {
public:
    virtual ~IScreenSaver() = default;
    // Holds the screen saver off; true when the desktop took the request.
    virtual bool Inhibit(const std::string& application, const std::string& reason) = 0;
    // Lets it run again, if this object held it.
    virtual void UnInhibit() = 0;
};

class DBusScreenSaver : public IScreenSaver {
public:
    ~DBusScreenSaver() override { UnInhibit(); }
    bool Inhibit(const std::string& application, const std::string& reason) override;
    void UnInhibit() override;

private:
    bool held_ = false;
    std::uint32_t cookie_ = 0;
};

class FakeScreenSaver : public IScreenSaver {
public:
    bool available = true;
    bool held = false;
    int inhibits = 0;
    bool Inhibit(const std::string&, const std::string&) override {
        ++inhibits;
        held = available;
        return available;
    }
    void UnInhibit() override { held = false; }
};

} // namespace talvence
