#pragma once
// The English string table. Every text the user sees comes from here; longer
// messages are composed from several entries where the program builds them.

namespace talvence::strings {

inline constexpr const char* kProductName = "Talvence";
inline constexpr const char* kProductVersion = "4.1.3";
inline constexpr const char* kLanguageTag = "En";
inline constexpr const char* kMakerName = "Brannock";
inline constexpr const char* kBy = " by ";

// Preferences store.
inline constexpr const char* kAskDeletePrefs1 =
    "Do you really want to delete the preferences of %s";
inline constexpr const char* kAskDeletePrefs2 = "from your registry?";
inline constexpr const char* kPrefsDeleted = "%s has been completely deleted from your registry.";
inline constexpr const char* kPrefsNotDeleted = "The preferences of %s could not be deleted: %s";
inline constexpr const char* kPrefsNotFound =
    "The preferences of %s were not found in the registry.";

} // namespace talvence::strings

#include <initializer_list>
#include <string>
#include <string_view>

namespace talvence::strings {

// Replaces each "%s" of `pattern`, in order, by the next argument.
inline std::string Fmt(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' &&
            next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace talvence::strings
