#pragma once
// A fresh, empty store for one test: TALVENCE_REGISTRY_DIR points at a new
// temporary directory for the fixture's lifetime and is restored afterwards.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace talvence::testing {

class TempStore {
public:
    // `base` holds the store's directory; tests that sync thousands of files
    // give a memory file system (see InMemoryBase).
    explicit TempStore(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        if (const char* old = std::getenv("TALVENCE_REGISTRY_DIR")) old_ = old;
        std::random_device rd;
        dir_ = base / ("talvence-store-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        setenv("TALVENCE_REGISTRY_DIR", dir_.c_str(), 1);
    }
    ~TempStore() {
        if (old_)
            setenv("TALVENCE_REGISTRY_DIR", old_->c_str(), 1);
        else
            unsetenv("TALVENCE_REGISTRY_DIR");
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    // /dev/shm where the system has it, where syncing a file costs nothing.
    static std::filesystem::path InMemoryBase() {
        std::error_code ec;
        return std::filesystem::is_directory("/dev/shm", ec)
                   ? std::filesystem::path("/dev/shm")
                   : std::filesystem::temp_directory_path();
    }

    const std::filesystem::path& Dir() const { return dir_; }
    std::filesystem::path UserHive() const { return dir_ / "HKEY_CURRENT_USER.reg"; }
    std::filesystem::path MachineHive() const { return dir_ / "HKEY_LOCAL_MACHINE.reg"; }

    static std::string Read(const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    static void Write(const std::filesystem::path& p, const std::string& text) {
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        f << text;
    }

private:
    std::filesystem::path dir_;
    std::optional<std::string> old_;
};

} // namespace talvence::testing
