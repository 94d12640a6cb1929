#pragma once
// What the date/time inlay draws and when. The application thread changes these through the
// setters of SuperposerCore; a frame always reads one whole, immutable copy.

#include <cstdint>
#include <string>

namespace talvence {

enum class InlaySource : std::uint8_t {
    Clock = 0,      // the computer's local date and time
    RecordDate = 1, // the DV recording date and time plus hourOffset
    Timecode = 2,   // the DV tape timecode
};

enum class InlayRestart : std::uint8_t {
    Never = 0,
    DayRule = 1,  // a new day of the month, or more than a day apart
    JumpRule = 2, // the recording date jumps forward by more than 2 s, or goes back
};

enum class InlayAlignment : std::uint8_t {
    Start = 0,  // lines start at the anchor
    Centre = 1, // lines are centred on it
    End = 2,    // lines end at it
};

struct SuperposerSettings {
    bool active = true;
    bool autoMode = false;
    // Raw bytes as the application sends them: values outside the enums above are kept, and
    // the frame code gives them their meaning (keep the last text, draw nothing, never restart).
    std::uint8_t source = 0;
    std::uint8_t when = 2;
    std::int32_t durationFrames = 125;
    std::int32_t hourOffset = 0;
    std::string dateFormat = "ddddd"; // UTF-8, the date-time format language
    std::string timeFormat = "hh:nn:ss";
    std::int32_t posX = 900; // thousandths of the picture width, from the left
    std::int32_t posY = 900; // thousandths of the picture height, from the top
    std::uint8_t alignment = 2;
    bool flip = false;
    bool autoFontSize = true;
    std::int32_t fontSize = 21; // points
    std::string fontName = "Arial";
    std::uint32_t fontColor = 0x00FFFFFF; // 0x00BBGGRR, red in the low byte
    bool bold = true;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    bool operator==(const SuperposerSettings&) const = default;
};

} // namespace talvence
