#pragma once
// The desktop's services the window uses: opening a folder or a link with the user's default
// handler ("open"), and starting another program. Behind an interface so tests see what would
// have been opened or started.
//
// Application thread only.

#include <string>
#include <vector>

namespace talvence {

class IDesktop {
public:
    virtual ~IDesktop() = default;
    // A folder or file with its default handler; false when none could be started.
    virtual bool OpenPath(const std::string& path) = 0;
    // A URL ("mailto:...", "https://...") with its default handler.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Starts a program with these arguments directly (no shell), detached from this process.
    virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args) = 0;
};

// QDesktopServices and QProcess::startDetached.
class QtDesktop : public IDesktop {
public:
    bool OpenPath(const std::string& path) override;
    bool OpenUrl(const std::string& url) override;
    bool StartProgram(const std::string& program, const std::vector<std::string>& args) override;
};

// Records what was asked and answers `succeed`.
class FakeDesktop : public IDesktop {
public:
    bool succeed = true;
    std::vector<std::string> opened; // paths and URLs, in order
    std::string program;
    std::vector<std::string> arguments;
    int started = 0;

    bool OpenPath(const std::string& path) override {
        opened.push_back(path);
        return succeed;
    }
    bool OpenUrl(const std::string& url) override {
        opened.push_back(url);
        return succeed;
    }
    bool StartProgram(const std::string& p, const std::vector<std::string>& args) override {
        program = p;
        arguments = args;
        ++started;
        return succeed;
    }
};

} // namespace talvence
