#pragma once
// The start-up diagnostics: the lines of the system report shown in the help
// panel, the error text when the capture sources cannot be listed, and the
// text of the error panel. Pure functions; any thread.

#include <string>
#include <vector>

namespace talvence {

// Which filters of other makers the start-up lookups found.
struct FilterPresence {
    bool deinterlacer = false;
    bool movieBoxDevice = false; // decides whether the MovieBox block is written
    bool dump = false;
    bool cirrusSplitter = false;
    bool mpeg2Decoder = false;    // the other maker's
    bool ownMpeg2Decoder = false; // the platform's, used in its stead
    bool movieBoxDemux = false;
};

struct ReportLine {
    enum class Colour { Blue, Black, Red };
    std::string text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    Colour colour = Colour::Black;
};

// The report's lines in order: 7, or 13 when a MovieBox device is present; then one more when
// the platform's MPEG-2 decoder stands in for the other maker's.
// A missing filter turns its line red; it is never an error.
std::vector<ReportLine> SystemReportLines(const std::string& osName, const std::string& directXText,
                                          const FilterPresence& filters);

// Empty when both source lists loaded; else the failures, then the media
// layer and operating-system sentences. Line breaks are "\n".
std::string StartupErrorText(bool videoFailed, bool audioFailed, const std::string& directXText,
                             const std::string& osName);

// The error panel's text: the problem phrase, the error text and the request
// to mail a report.
std::string ErrorReportBody(const std::string& text, bool fatal);

} // namespace talvence
