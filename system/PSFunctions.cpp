#include "system/PSFunctions.h"

#include "platform/log/Log.h"
#include "platform/registry/Registry.h"
#include "resources/Resources.h"

#include <cctype>

namespace talvence {

namespace {

// Reads a string value; empty on any failure. Keys are only read here: a
// read has no reason to leave an empty key behind in the user's store.
std::string ReadStoreString(registry::Hive hive, const char* key, const char* name) {
    try {
        registry::TRegistry reg(hive);
        if (!reg.OpenKey(key, false)) return {};
        return reg.ReadString(name).value_or(std::string());
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading " << key << " " << name << ": " << e.what();
        return {};
    }
}

std::string ShellFolder(const char* name) {
    return ReadStoreString(registry::Hive::CurrentUser, kShellFoldersKey, name);
}

} // namespace

std::string PersonalFolderFrom(const std::string& storedPersonal, const UserFolders& system) {
    if (!storedPersonal.empty()) return storedPersonal;
    if (!system.home.empty()) return system.home;
    return "/";
}

std::string MediaFolderFrom(const std::string& storedValue, const std::string& xdgFolder,
                            const std::string& personal) {
    if (!storedValue.empty()) return storedValue;
    if (!xdgFolder.empty()) return xdgFolder;
    return personal;
}

std::string PersonalFolder() {
    return PersonalFolderFrom(ShellFolder("Personal"), SystemUserFolders());
}

std::string PicturesFolder() {
    UserFolders sys = SystemUserFolders();
    return MediaFolderFrom(ShellFolder("My Pictures"), sys.pictures,
                           PersonalFolderFrom(ShellFolder("Personal"), sys));
}

std::string VideoFolder() {
    UserFolders sys = SystemUserFolders();
    return MediaFolderFrom(ShellFolder("My Video"), sys.movies,
                           PersonalFolderFrom(ShellFolder("Personal"), sys));
}

std::string ClipBrowserPath() {
    return ReadStoreString(registry::Hive::CurrentUser, kClipBrowserKey, "Exename");
}

std::string OperatingSystemName(const OsVersionInfo& info) {
    std::string name = "Unknown";
    const std::string& sp = info.servicePack;
    const char second = sp.size() >= 2 ? sp[1] : '\0';
    switch (info.platform) {
    case OsPlatform::Win32s:
        name = "Windows 3.1";
        break;
    case OsPlatform::Windows9x:
        if (info.major == 4) {
            switch (info.minor) {
            case 0:
                name = (second == 'B' || second == 'c') ? "Windows 95 OSR 2" : "Windows 95";
                break;
            case 10:
                name = second == 'a' ? "Windows 98 Second Edition" : "Windows 98";
                break;
            case 90:
                name = "Windows ME";
                break;
            default:
                name = "Windows 9X";
                break;
            }
        }
        break;
    case OsPlatform::WindowsNT:
        if (info.major == 3)
            name = "Windows NT 3.5";
        else if (info.major == 4)
            name = "Windows NT 4";
        else if (info.major == 5 && info.minor == 0)
            name = "Windows 2000";
        else if (info.major == 5 && info.minor == 1)
            name = "Windows XP";
        else if (info.major == 5 && info.minor == 2)
            name = "Windows Server 2003";
        else
            name = "Windows NT ?";
        break;
    case OsPlatform::Linux:
        name = info.prettyName.empty() ? "Linux" : info.prettyName;
        break;
    }
    name += " " + sp.substr(0, 128) + " - build " + std::to_string(info.build & 0xFFFF);
    return name;
}

std::string OperatingSystemName() {
    return OperatingSystemName(CurrentOsVersion());
}

std::string DirectXVersionTextFrom(const std::optional<std::string>& value) {
    if (!value || value->empty()) return "Error";
    const std::string& v = *value;
    // At least three dot-separated numeric fields.
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = v.find('.', start);
        fields.push_back(
            v.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (fields.size() < 3) return "Error";
    for (int i = 0; i < 3; ++i) {
        if (fields[i].empty() || fields[i].size() > 9) return "Error";
        for (char c : fields[i])
            if (!std::isdigit(static_cast<unsigned char>(c))) return "Error";
    }
    const int major = std::stoi(fields[1]);
    const int minor = std::stoi(fields[2]);
    int letter = static_cast<unsigned char>(v.back()) + 48;
    std::string suffix;
    if (letter < 'a')
        suffix = " ";
    else if (letter == 'd')
        suffix = "c";
    else
        suffix = std::string(1, static_cast<char>(letter));
    return std::to_string(major) + "." + std::to_string(minor) + suffix;
}

std::string DirectXVersionText() {
    try {
        registry::TRegistry reg(registry::Hive::LocalMachine);
        if (!reg.OpenKey(kDirectXKey, false)) return "Error";
        return DirectXVersionTextFrom(reg.ReadString("Version"));
    } catch (const std::exception& e) {
        TLOG(Store) << "Reading the media layer's version: " << e.what();
        return "Error";
    }
}

int DirectXMajorVersionFrom(const std::string& versionText) {
    std::size_t dot = versionText.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 9) return 0;
    int n = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(versionText[i]))) return 0;
        n = n * 10 + (versionText[i] - '0');
    }
    return n;
}

int DirectXMajorVersion() {
    return DirectXMajorVersionFrom(DirectXVersionText());
}

void PlayShotSound(IWavePlayer& player) {
    player.PlaySync(resources::FindResource("beep0"));
}
void PlayTickSound(IWavePlayer& player) {
    player.PlaySync(resources::FindResource("beep1"));
}

int IndexOrFirst(const std::string& text, const std::vector<std::string>& list) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == text) return static_cast<int>(i);
    return list.empty() ? -1 : 0;
}

void FitToAspect(int& width, int& height, int kind) {
    if (height <= 0) height = 480;
    if (width <= 0) width = 640;
    // The two rules apply one after the other: the second can
    // still trim a width left over by the truncation of the first. 64-bit
    // products so a large bitmap cannot overflow the comparisons.
    if (kind == 1) {
        if (1LL * width * 3 < 1LL * height * 4) height = static_cast<int>(1LL * width * 3 / 4);
        if (1LL * height * 4 < 1LL * width * 3) width = static_cast<int>(1LL * height * 4 / 3);
    } else if (kind == 2) {
        if (1LL * width * 9 < 1LL * height * 16) height = static_cast<int>(1LL * width * 9 / 16);
        if (1LL * height * 16 < 1LL * width * 9) width = static_cast<int>(1LL * height * 16 / 9);
    }
}

std::string TwoDigits(int number) {
    std::string s = "00" + std::to_string(number);
    return s.substr(s.size() - 2);
}

} // namespace talvence
