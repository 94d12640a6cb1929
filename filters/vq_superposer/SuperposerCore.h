#pragma once
// The date/time inlay without the filter framework: settings and their setters, the automatic
// display counter, the text of the two lines and the per-frame composition of a bottom-up
// 24-bit B,G,R picture or of a YUV picture. The filter `Tvq_Superposer` forwards its setters here
// and calls StartStreaming and Compose from its framework hooks.
//
// Threads: the setters and Settings() may be called from any thread (the application thread in
// practice). StartStreaming and Compose belong to the streaming thread and must not run
// concurrently with each other (the framework's receive lock sees to that).

#include "filters/dvcodes/DvFrameInfo.h"
#include "filters/vq_superposer/InlayText.h"
#include "filters/vq_superposer/SuperposerSettings.h"
#include "platform/media/HResult.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/shell/DateTime.h"
#include "platform/shell/DateTimeFormat.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talvence {

// The two lines of text of one frame (UTF-8).
struct InlayLines {
    std::string line1;
    std::string line2;
    bool operator==(const InlayLines&) const = default;
};

// Whether the automatic display restarts on a frame with a recording date, given the recording
// date of the previous frame (0 when it had none).
bool InlayRestartDue(std::uint8_t when, TDateTime recDateTime, TDateTime lastDate);

// Frames of one automatic display: seconds × 25 while the frame duration is unknown (0), else
// seconds × (10000000 div frameDuration); saturated to 32 bits.
std::int32_t InlayDurationFrames(std::int32_t seconds, std::int64_t sourceFrameDuration);

// The text of both lines for a frame. Clock and recording-date texts go through the date-time
// format language and throw std::out_of_range for a date that cannot be shown; an unknown
// source keeps `previous`. A timecode that was never found (hours with bit 7 set) gives two
// empty lines.
InlayLines BuildInlayLines(const SuperposerSettings& s, const DvFrameInfo& rec, TDateTime localNow,
                           const LocaleFormats& locale, const InlayLines& previous);

// "%d:%.2d:%.2d:%.2d" of hours, minutes, seconds, frames.
std::string FormatTimecode(const DvTimecode& tc);

// One frame as the copying transform sees it. Input and output share one format: a bottom-up
// picture of width × height pixels whose stored rows are `stride` bytes apart (for the YUV
// overload of Compose: a top-down picture with its planes packed tight, `stride` unused).
struct InlayFrame {
    bool hasFormat = true; // false: the input connection has no video format block
    const std::uint8_t* input = nullptr;
    std::size_t inputSize = 0;
    std::uint8_t* output = nullptr; // may equal input (composition in place)
    std::size_t outputSize = 0;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    // YUV pictures decoded only in part (null for a whole picture): only the areas holding
    // pixels are copied, the text changes nothing outside the areas asked for, and the picture
    // is not flipped (the flip starts with the next whole picture).
    struct Part {
        std::vector<colorconv::Rect> held;  // holding the frame's pixels, the rest unspecified
        std::vector<colorconv::Rect> asked; // inside `held`, whole chroma blocks
    };
    const Part* part = nullptr;
};

class SuperposerCore {
public:
    // frameDuration answers the source frame duration (100 ns units, 0 when unknown) for
    // SetInlayDuration; locale serves the format language; dotsPerInch converts font points.
    SuperposerCore(std::function<std::int64_t()> frameDuration, LocaleFormats locale,
                   int dotsPerInch = 96);

    // Setters: each takes effect from the next frame. A frame reads one snapshot of all
    // settings, never a half-changed one.
    void SetInlayActive(bool active);
    // Only the value 1 means automatic.
    void SetInlayAutoMode(std::int32_t mode);
    void SetInlaySource(std::uint8_t source);
    void SetInlayWhen(std::uint8_t when);
    // Also re-arms the counter: remaining := durationFrames − 1.
    void SetInlayDuration(std::int32_t seconds);
    void SetInlayHourOffset(std::int32_t hours);
    void SetInlayFormats(const std::string& dateFormat, const std::string& timeFormat);
    // x and y are clamped to 0..1000.
    void SetInlayPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment);
    void SetInlayAlignment(std::uint8_t alignment);
    void SetInlayFlip(bool flip);
    void SetInlayAutoFontSize(bool autoFontSize);
    void SetInlayFontSize(std::int32_t points);
    // Kept to its first 255 characters.
    void SetInlayFontName(const std::string& name);
    // 0x00BBGGRR; the high byte is ignored.
    void SetInlayFontColor(std::uint32_t color);
    void SetInlayBold(bool on);
    void SetInlayItalic(bool on);
    void SetInlayUnderline(bool on);
    void SetInlayStrikeOut(bool on);

    std::shared_ptr<const SuperposerSettings> Settings() const;
    // Replaces every setting at once (restoring saved settings, tests); does not re-arm.
    void ReplaceSettings(const SuperposerSettings& s);

    // Start of streaming: re-arms the counter when automatic mode is on.
    void StartStreaming();

    // Composes one frame: copies input to output (mirrored top to bottom with flip) and draws
    // the lines. `rec` is the scene detector's record of this frame (the caller publishes which
    // record it read), localNow the computer's local time.
    //   S_FALSE  no format block: nothing is written, the frame is to be dropped;
    //   E_FAIL   the picture does not fit the buffers (or a buffer is missing);
    //   S_OK     otherwise, also when the text could not be made (the picture goes out bare).
    HRESULT Compose(const InlayFrame& frame, const DvFrameInfo& rec, TDateTime localNow);
    // The same for a YUV picture in that layout, planes packed tight and top-down (the DV
    // decoder's own pictures). The text is drawn without a full-frame round trip through RGB:
    // only the area it covers is converted to RGB, drawn on and converted back, and
    // LastTextArea() is that area, grown to whole chroma blocks.
    HRESULT Compose(const InlayFrame& frame, colorconv::YuvLayout layout, const DvFrameInfo& rec,
                    TDateTime localNow);

    // Streaming-thread observers, for the wrapper, the pipeline and tests.
    std::int32_t Remaining() const { return remaining_.load(); }
    TDateTime LastDate() const { return lastDate_; }
    const InlayLines& LastLines() const { return lines_; }
    // Whether the last composed frame carried text, and the picture area (from the top-left)
    // that the text may have changed (empty without text, the whole picture when drawing
    // failed half-way); the pipeline converts back only that area.
    bool LastFrameHadText() const { return lastHadText_; }
    colorconv::Rect LastTextArea() const { return lastTextArea_; }
    // Whether the last frame was mirrored (then every pixel changed, not only the text).
    bool LastFrameFlipped() const { return lastFlipped_; }
    const InlayTextRenderer& Renderer() const { return renderer_; }

    // Streaming thread, before a picture is made: the area the text of the next frame is
    // expected in (that of the last text drawn under the current settings, grown by a margin
    // for a text that grows), so that the decoder may decode only there. Nothing when it cannot
    // be foreseen (no text drawn yet, settings changed since). Flip is the caller's to check.
    std::optional<colorconv::Rect> ExpectedTextArea() const;

private:
    template <typename Change> void Update(Change change);
    void StepCounter(const SuperposerSettings& s, const DvFrameInfo& rec);
    static bool CopyPicture(const InlayFrame& frame, bool flip);
    static bool CopyYuvPicture(const InlayFrame& frame, colorconv::YuvLayout layout, bool flip);
    HRESULT ComposeAny(const InlayFrame& frame, std::optional<colorconv::YuvLayout> yuv,
                       const DvFrameInfo& rec, TDateTime localNow);
    // Draws the placed lines into a YUV frame through an RGB copy of the area they cover;
    // returns that area. Throws when the area cannot be converted.
    colorconv::Rect DrawYuv(const InlayFrame& frame, colorconv::YuvLayout layout,
                            const SuperposerSettings& s, int x1, int y1, int x2, int y2);

    std::function<std::int64_t()> frameDuration_;
    const LocaleFormats locale_;
    const int dotsPerInch_;

    std::mutex writeMutex_; // serialises the setters' read-modify-write of the snapshot
    std::atomic<std::shared_ptr<const SuperposerSettings>> settings_;
    // Written by SetInlayDuration (any thread) and by the streaming thread.
    std::atomic<std::int32_t> remaining_{0};

    // Streaming thread only.
    TDateTime lastDate_ = 0.0;
    InlayLines lines_;
    bool lastHadText_ = false;
    bool lastFlipped_ = false;
    colorconv::Rect lastTextArea_;
    colorconv::Rect drawnArea_;                           // of the last text drawn
    std::shared_ptr<const SuperposerSettings> drawnWith_; // under these settings
    InlayTextRenderer renderer_;
    colorconv::ColorConverter converter_;  // YUV frames: the text area to RGB and back
    std::vector<std::uint8_t> yuvTextRgb_; // YUV frames: RGB copy, only the text area is used
};

} // namespace talvence
