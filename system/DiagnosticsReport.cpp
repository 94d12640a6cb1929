#include "system/DiagnosticsReport.h"

#include "resources/PanelStrings.h"
#include "resources/Strings.h"

namespace talvence {

namespace {

using Colour = ReportLine::Colour;

ReportLine FilterLine(const char* name, bool present) {
    return {std::string(strings::kTheFilter) + name +
                (present ? strings::kIsPresent : strings::kIsNotFound),
            false, false, false, present ? Colour::Black : Colour::Red};
}

ReportLine Heading(const char* text) {
    return {text, true, true, true, Colour::Blue};
}

} // namespace

std::vector<ReportLine> SystemReportLines(const std::string& osName, const std::string& directXText,
                                          const FilterPresence& filters) {
    std::vector<ReportLine> lines = {
        {strings::kYourSystemIs, false, true, false, Colour::Blue},
        {osName + ". ", true, false, false, Colour::Black},
        {strings::kYouUse, false, true, false, Colour::Blue},
        {strings::kDirectXVersion + directXText + ".", true, false, false, Colour::Black},
        {"", true, false, false, Colour::Black},
        Heading(strings::kFiltersHeading),
        FilterLine(strings::kDeinterlacerName, filters.deinterlacer),
    };
    if (filters.movieBoxDevice) {
        lines.push_back({});
        lines.push_back(Heading(strings::kMovieBoxHeading));
        lines.push_back(FilterLine(strings::kDumpName, filters.dump));
        lines.push_back(FilterLine(strings::kCirrusSplitterName, filters.cirrusSplitter));
        lines.push_back(FilterLine(strings::kMpeg2DecoderName, filters.mpeg2Decoder));
        lines.push_back(FilterLine(strings::kMovieBoxDemuxName, filters.movieBoxDemux));
    }
    // Which decoder MPEG-2 previews use when the other maker's is absent.
    if (filters.ownMpeg2Decoder)
        lines.push_back({strings::kOwnMpeg2DecoderUsed, false, false, false, Colour::Black});
    return lines;
}

std::string StartupErrorText(bool videoFailed, bool audioFailed, const std::string& directXText,
                             const std::string& osName) {
    std::string text;
    if (videoFailed) text += std::string(strings::kNoVideoSources) + "\n";
    if (audioFailed) text += std::string(strings::kNoAudioSources) + "\n";
    if (text.empty()) return text;
    text += " \n";
    text += strings::kDirectXIs + directXText + strings::kIsInstalled +
            strings::kOperatingSystemIs + osName + ".\n";
    return text;
}

std::string ErrorReportBody(const std::string& text, bool fatal) {
    return std::string(strings::kProductName) +
           (fatal ? strings::kFatalPhrase : strings::kProblemPhrase) + strings::kOnYourSystem +
           "\n\n" + text + "\n" + strings::Fmt(strings::kSendMeMail, {strings::kProductName});
}

} // namespace talvence
