#pragma once
// The rules of capture control that need no state: the capture formats and
// their texts, what each source kind offers, the audio-type entries, output
// file names, and what each capture state shows. TCaptureControl applies
// them; the command-line tool uses them directly.

#include "graph/CaptureFormats.h"
#include "graph/videosources.h"
#include "platform/shell/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

// SourceKind (the kind of the selected video source) belongs to the source catalogue.

// Audio kind of the application state.
enum class AudioType : std::uint8_t { atNone = 0, atIncluded = 1, atSoundCard = 2 };

enum class CaptureState : std::uint8_t {
    NoSource = 0,
    Preview = 1,
    Capturing = 2,
    ScheduleArmed = 3,
    ScheduledCapture = 4,
};

// Index to text; empty for an index outside 0..5.
std::string CaptureFormatName(int index);
// Exact text to index; 0 for any other text.
int CaptureFormatIndex(const std::string& text);

// The capture-format list for a source kind, in the order it is offered: the
// formats with a recipe for the kind (kCaptureFormats). Empty for skNone (the
// list is then hidden).
std::vector<std::string> CaptureFormatsFor(SourceKind kind, bool wmvAvailable);

// ".mpg", ".wmv" or ".avi": the file extension of a capture.
std::string CaptureExtension(int format, SourceKind kind);
// `path` with its extension (after the last "." of the file name) replaced;
// a name without one gets `extension` appended.
std::string ChangeFileExtension(const std::string& path, const std::string& extension);
// The part after the last "/".
std::string FileNameOnly(const std::string& path);
// The part before the last "/" (empty when there is none).
std::string FolderOf(const std::string& path);

// The stream-audio entry of a source kind; empty when it has none (other
// sources without built-in audio, no source).
std::string StreamAudioText(SourceKind kind, bool builtInAudio);

// The audio-type list: "No Audio", the stream-audio entry, the sound-card entry.
std::vector<std::string> AudioTypesFor(SourceKind kind, bool builtInAudio,
                                       bool audioDevicesPresent);
// The entry to select for a stored "Audio Type": its exact text, else 1 when
// the source carries stream audio, else 0 (-1 for an empty list).
int AudioTypeSelection(const std::vector<std::string>& entries, const std::string& stored,
                       SourceKind kind, bool builtInAudio);
// The audio kind of an audio-type text; empty for a text that is none of them.
std::optional<AudioType> AudioTypeOfText(const std::string& text);

// What goes into a file name before the counter.
struct FileNaming {
    std::string folder;
    std::string root;
    bool dated = false;
    TDateTime stamp = 0; // the run's start-up stamp
};

// folder/root_[ddmmyy_hhnnss_]counter.avi, the extension then adjusted to the
// capture format and source kind.
std::string VideoFileName(const FileNaming& naming, std::int64_t counter, int format,
                          SourceKind kind);
// Image extension: "Extension des images" 0 BMP, 1 JPEG.
std::string ImageFileName(const FileNaming& naming, std::int64_t counter, int imageFormat);

// "Images per second" text: the number, or empty when the text is not a
// number above zero (no rate can be rewritten to 0 or fewer images a second).
// Accepts the user's decimal separator (and "." always).
std::optional<double> ParseFramerate(const std::string& text, char decimalSeparator);
// The fallback text shown after a wrong entry, in the user's notation.
std::string DefaultFramerateText(char decimalSeparator);
inline constexpr double kDefaultFramerate = 18.0;

// What the controls of the window show in a capture state.
enum class FrameColour { Grey, ButtonFace, Red, Yellow, Fuchsia };

struct CaptureStateView {
    CaptureState state = CaptureState::NoSource;
    FrameColour frameColour = FrameColour::Grey;
    // Sources panel (video list, settings and refresh buttons, audio group,
    // format group). The settings panel's Windows Media group and the folders
    // panel's file group follow it unless `fileGroupsUnchanged`.
    bool sourceControlsEnabled = true;
    bool fileGroupsUnchanged = false;
    bool dv44100BoxVisible = false;
    bool scheduleStartGroupVisible = true; // and the "now" button
    bool cutEnabled = false;
    bool deinterlaceEnabled = false;
    std::string captureCaption;
    std::string captureHint;
    int captureImage = 14;
    std::string scheduleCaption;
    std::string scheduleHint;
    int scheduleImage = 20;
    // Grab, intervalometer switch, capture and schedule toggles: set to
    // `actionsEnabled` when `actionsChanged`, else left as they are.
    bool actionsChanged = false;
    bool actionsEnabled = false;
};

CaptureStateView StateViewFor(CaptureState state, SourceKind kind, AudioType audio);

// Which controls of the sources panel the capture format shows.
struct FormatOptionsView {
    bool tvStandardVisible = false;
    bool dvAudioRateVisible = false;
    bool framerateVisible = false;
    bool wmvProfileVisible = false;
};
FormatOptionsView FormatOptionsFor(SourceKind kind, int format);

// The DV recording rate of "FrequenceDV" 1, 2, 3; 0 for native (0) or others.
int DvRecordingRate(int frequenceDv);

} // namespace talvence
