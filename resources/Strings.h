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
// Told once at start-up: the store's problem, then the values that fell back.
inline constexpr const char* kStoreDamaged = "The preferences store is damaged: %s.";
inline constexpr const char* kStoreDefaulted = "These values fell back to their defaults: %s.";
inline constexpr const char* kStoreValuesMissing = "values that every save writes are missing";
inline constexpr const char* kStoreKeptAs = "; kept as %s";

// Source analysis of stream devices: a missing demultiplexer (an error box, the two lines one
// under the other) and a missing dump filter (a warning box).
inline constexpr const char* kCirrusSplitterMissing[] = {
    "The filter Cirrus Logic USB-DVR2 Splitter  is not found on this computer",
    "It is needed to manage the MovieBox USB - model B"};
inline constexpr const char* kMovieBoxDemuxMissing[] = {
    "The filter Pinnacle MPEG2 Demux II(MovieBox USB version)  is not found on this computer",
    "It is needed to manage the MovieBox USB - model B"};
inline constexpr const char* kMpeg2DemuxMissing[] = {
    "The filter MPEG2 Demultiplexer is not found on this computer",
    "It is needed to manage your capture source"};
inline constexpr const char* kDumpMissing[] = {
    "Warning: The dump filter is not found on your system. Capture will be disabled.",
    "Only preview will be enabled."};

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

namespace talvence::strings {

// Capture formats, by "Capture Format" index.
inline constexpr const char* kFormatNative = "Native Video";
inline constexpr const char* kFormatDvType1 = "DV type 1 (no inlay)";
inline constexpr const char* kFormatDvType2 = "DV type 2 (no inlay)";
inline constexpr const char* kFormatDvType2Inlay = "DV type 2 (with inlay)";
inline constexpr const char* kFormatWmvInlay = "Wmv (with inlay)";
inline constexpr const char* kFormatImageByImage = "Image by Image";

// Audio types.
inline constexpr const char* kAudioNone = "No Audio";
inline constexpr const char* kAudioDvStream = "Audio from the DV stream";
inline constexpr const char* kAudioMovieBox = "Audio from the MovieBox";
inline constexpr const char* kAudioMpeg2Stream = "Audio from the MPEG2 stream";
inline constexpr const char* kAudioBuiltIn = "Built-in Audio";
inline constexpr const char* kAudioSoundCard = "Add an Audio Source (soundcard)";

// Questions before a capture.
inline constexpr const char* kFileExists1 = "The file ";
inline constexpr const char* kFileExists2 = " exists already. Do you want to crush it?";
inline constexpr const char* kFileExists3 =
    "If you click on \"All\", then you will no more be prompted for confirmation";
inline constexpr const char* kFolderMissing1 = "The folder ";
inline constexpr const char* kFolderMissing2 = " does not exist.";
inline constexpr const char* kFolderMissing3 = "Do you want to create it?";

// Images per second.
inline constexpr const char* kFramerateWrong = "The value of \"images/second\" is not correct";
inline constexpr const char* kFramerateEnterDecimal = "Enter a decimal value";

inline constexpr const char* kImageByImageDestination = "Capture Image by Image to a video";

// Capture and schedule toggles.
inline constexpr const char* kCaptureCaption = "Capture";
inline constexpr const char* kStopCaptureCaption = "Stop Capture";
inline constexpr const char* kCaptureHint1 = "Capture the current streams on the hard disk.";
inline constexpr const char* kCaptureHint2 = "You may also start capture with the space bar.";
inline constexpr const char* kStopCaptureHint1 = "Stop the capture.";
inline constexpr const char* kStopCaptureHint2 =
    "You may also stop the capture with the space bar.";
inline constexpr const char* kScheduleCaption = "Schedule";
inline constexpr const char* kScheduleHint = "Start the scheduling";
inline constexpr const char* kStopScheduleCaption = "Stop Prog";
inline constexpr const char* kStopScheduleHint = "Stop the scheduling";

// Windows Media profiles: the settings panel's profile list and version choice, the sources
// panel's default profiles and the label shown instead of them.
inline constexpr const char* kUseDefaultProfiles = "Use the default profiles";
inline constexpr const char* kNoVideoProfileSuffix = " (no video)";
inline constexpr const char* kDefaultProfileItems[] = {"High", "Medium", "Low", "Internet"};
inline constexpr const char* kWmVersionItems[] = {"4", "7", "8"};
inline constexpr const char* kProfileLabelLines[] = {"Windows Media", "profile set in",
                                                     "the Settings", "panel", " (F10)."};

} // namespace talvence::strings
