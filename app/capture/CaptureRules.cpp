#include "app/capture/CaptureRules.h"

#include "platform/media/DvConstants.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <cmath>

namespace talvence {

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string NamePrefix(const FileNaming& naming) {
    std::string name = WithSlash(naming.folder) + naming.root + "_";
    if (naming.dated) {
        DateTimeFields f;
        DecodeDateTime(naming.stamp, f);
        name += TwoDigits(f.day) + TwoDigits(f.month) + TwoDigits(f.year % 100) + "_" +
                TwoDigits(f.hour) + TwoDigits(f.minute) + TwoDigits(f.second) + "_";
    }
    return name;
}

} // namespace

std::string CaptureFormatName(int index) {
    const CaptureFormatRow* row = CaptureFormatRowOf(index);
    return row ? row->text : std::string();
}

int CaptureFormatIndex(const std::string& text) {
    for (const CaptureFormatRow& row : kCaptureFormats)
        if (text == row.text) return row.index;
    return 0;
}

std::vector<std::string> CaptureFormatsFor(SourceKind kind, bool wmvAvailable) {
    std::vector<std::string> texts;
    for (const CaptureFormatRow& row : kCaptureFormats)
        if (row.OfferedFor(kind) && (wmvAvailable || !row.windowsMedia)) texts.push_back(row.text);
    return texts;
}

std::string CaptureExtension(int format, SourceKind kind) {
    const CaptureFormatRow* row = CaptureFormatRowOf(format);
    if (!row) return ".avi";
    return IsProgramStreamKind(kind) ? row->streamExtension : row->extension;
}

std::string ChangeFileExtension(const std::string& path, const std::string& extension) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

std::string FileNameOnly(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    // The root folder keeps its slash.
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string StreamAudioText(SourceKind kind, bool builtInAudio) {
    switch (kind) {
    case SourceKind::skDv:
        return strings::kAudioDvStream;
    case SourceKind::skMovieBox:
        return strings::kAudioMovieBox;
    case SourceKind::skMpeg2Stream:
        return strings::kAudioMpeg2Stream;
    case SourceKind::skCapturePin:
        return builtInAudio ? strings::kAudioBuiltIn : std::string();
    case SourceKind::skNone:
        break;
    }
    return {};
}

std::vector<std::string> AudioTypesFor(SourceKind kind, bool builtInAudio,
                                       bool audioDevicesPresent) {
    std::vector<std::string> entries{strings::kAudioNone};
    if (auto stream = StreamAudioText(kind, builtInAudio); !stream.empty())
        entries.push_back(stream);
    if (audioDevicesPresent) entries.push_back(strings::kAudioSoundCard);
    return entries;
}

int AudioTypeSelection(const std::vector<std::string>& entries, const std::string& stored,
                       SourceKind kind, bool builtInAudio) {
    if (entries.empty()) return -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == stored) return static_cast<int>(i);
    const bool streamAudio = !StreamAudioText(kind, builtInAudio).empty();
    return streamAudio && entries.size() > 1 ? 1 : 0;
}

std::optional<AudioType> AudioTypeOfText(const std::string& text) {
    if (text == strings::kAudioNone) return AudioType::atNone;
    if (text == strings::kAudioSoundCard) return AudioType::atSoundCard;
    if (text == strings::kAudioDvStream || text == strings::kAudioMovieBox ||
        text == strings::kAudioMpeg2Stream || text == strings::kAudioBuiltIn)
        return AudioType::atIncluded;
    return std::nullopt;
}

std::string VideoFileName(const FileNaming& naming, std::int64_t counter, int format,
                          SourceKind kind) {
    return NamePrefix(naming) + std::to_string(counter) + CaptureExtension(format, kind);
}

std::string ImageFileName(const FileNaming& naming, std::int64_t counter, int imageFormat) {
    const std::string digits = "00000" + std::to_string(counter);
    return NamePrefix(naming) + digits.substr(digits.size() - 5) +
           (imageFormat == 1 ? ".jpg" : ".bmp");
}

std::optional<double> ParseFramerate(const std::string& text, char decimalSeparator) {
    // Digits with at most one separator, optionally signed; nothing else, so
    // that "12abc" or "1e3" are not taken for numbers.
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::size_t end = text.size();
    while (end > i && text[end - 1] == ' ')
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    double scale = 0; // 0 before the separator, then 0.1, 0.01, ...
    bool digits = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if ((c == decimalSeparator || c == '.') && scale == 0) {
            scale = 0.1;
        } else {
            return std::nullopt;
        }
    }
    if (!digits || !std::isfinite(value) || negative || value <= 0) return std::nullopt;
    return value;
}

std::string DefaultFramerateText(char decimalSeparator) {
    return std::string("18") + decimalSeparator + "0";
}

CaptureStateView StateViewFor(CaptureState state, SourceKind kind, AudioType audio) {
    CaptureStateView v;
    v.state = state;
    const std::string hintA = std::string(strings::kCaptureHint1) + "\n" + strings::kCaptureHint2;
    const std::string hintB =
        std::string(strings::kStopCaptureHint1) + "\n" + strings::kStopCaptureHint2;
    const bool capturing =
        state == CaptureState::Capturing || state == CaptureState::ScheduledCapture;
    const bool scheduled =
        state == CaptureState::ScheduleArmed || state == CaptureState::ScheduledCapture;
    v.captureCaption = capturing ? strings::kStopCaptureCaption : strings::kCaptureCaption;
    v.captureHint = capturing ? hintB : hintA;
    v.captureImage = capturing ? 28 : 14;
    v.scheduleCaption = scheduled ? strings::kStopScheduleCaption : strings::kScheduleCaption;
    v.scheduleHint = scheduled ? strings::kStopScheduleHint : strings::kScheduleHint;
    v.scheduleImage = scheduled ? 30 : 20;
    v.sourceControlsEnabled = !capturing;
    v.scheduleStartGroupVisible = !capturing;
    v.cutEnabled = capturing;
    v.deinterlaceEnabled = state == CaptureState::Preview || state == CaptureState::ScheduleArmed;
    switch (state) {
    case CaptureState::NoSource:
        v.frameColour = FrameColour::Grey;
        v.actionsChanged = true;
        v.actionsEnabled = false;
        break;
    case CaptureState::Preview:
        v.frameColour = FrameColour::ButtonFace;
        v.dv44100BoxVisible = kind == SourceKind::skDv && audio == AudioType::atIncluded;
        v.actionsChanged = true;
        v.actionsEnabled = true;
        break;
    case CaptureState::Capturing:
        v.frameColour = FrameColour::Red;
        break;
    case CaptureState::ScheduleArmed:
        v.frameColour = FrameColour::Yellow;
        v.fileGroupsUnchanged = true;
        v.dv44100BoxVisible = kind == SourceKind::skDv && audio == AudioType::atIncluded;
        break;
    case CaptureState::ScheduledCapture:
        v.frameColour = FrameColour::Fuchsia;
        break;
    }
    return v;
}

FormatOptionsView FormatOptionsFor(SourceKind kind, int format) {
    FormatOptionsView v;
    const CaptureFormatRow* row = CaptureFormatRowOf(format);
    if (!row) return v;
    const CaptureRecipe recipe = row->RecipeFor(kind);
    v.tvStandardVisible = EncodesPictureToDv(recipe);
    v.dvAudioRateVisible = ResamplesToDvRate(recipe);
    v.framerateVisible = row->imageByImage;
    v.wmvProfileVisible = row->windowsMedia;
    return v;
}

int DvRecordingRate(int frequenceDv) {
    switch (frequenceDv) {
    case 1:
        return kDvAudioRate32k;
    case 2:
        return kDvAudioRate44k1;
    case 3:
        return kDvAudioRate48k;
    default:
        return 0;
    }
}

} // namespace talvence
