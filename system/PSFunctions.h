#pragma once
// Small system facts the rest of the program needs: the user's folders, the
// clip browser's path, readable names of the operating system and of the
// media layer's version, the intervalometer's two sounds, and three tiny
// text and geometry helpers. Stateless; no handle is kept after a call.

#include "platform/shell/OsInfo.h"
#include "platform/shell/WavePlayer.h"

#include <optional>
#include <string>
#include <vector>

namespace talvence {

// Where the store keeps the user's folder overrides and the clip browser.
inline constexpr const char* kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr const char* kDirectXKey = "\\Software\\Microsoft\\DirectX";
inline constexpr const char* kClipBrowserKey = "\\Software\\Brannock\\Ternadex";

// Folders: the store's "Personal", "My Pictures", "My Video" values when set,
// else the XDG user directories, else the home folder (else "/").
std::string PersonalFolder();
std::string PicturesFolder();
std::string VideoFolder();
// The same rules over given facts.
std::string PersonalFolderFrom(const std::string& storedPersonal, const UserFolders& system);
std::string MediaFolderFrom(const std::string& storedValue, const std::string& xdgFolder,
                            const std::string& personal);

// "Exename" under the clip browser's own key; empty when missing.
std::string ClipBrowserPath();

// A readable name of the operating system, e.g. "Windows XP Service Pack 2 - build 2600"
// or "Debian GNU/Linux 12 (bookworm) 6.1.0-25-amd64 - build 1".
std::string OperatingSystemName(const OsVersionInfo& info);
std::string OperatingSystemName();

// "9.0c" from "4.09.00.0904"; "Error" when the value is missing or malformed.
std::string DirectXVersionTextFrom(const std::optional<std::string>& value);
std::string DirectXVersionText();
// The number before the first "." of a version text; 0 when there is none.
int DirectXMajorVersionFrom(const std::string& versionText);
int DirectXMajorVersion();

// The intervalometer's sounds ("beep0" at a shot, "beep1" for the last
// seconds), played synchronously.
void PlayShotSound(IWavePlayer& player = DefaultWavePlayer());
void PlayTickSound(IWavePlayer& player = DefaultWavePlayer());

// Index of `text` in `list`; else 0, or -1 when the list is empty.
int IndexOrFirst(const std::string& text, const std::vector<std::string>& list);

// Shrinks width × height to 4:3 (kind 1) or 16:9 (kind 2); non-positive sizes
// become 640 × 480 first.
void FitToAspect(int& width, int& height, int kind);

// The last two characters of "00" followed by the number: 7 → "07", 123 → "23".
std::string TwoDigits(int number);

} // namespace talvence
