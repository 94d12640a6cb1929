#pragma once
// The pure rules of still images and of the intervalometer: the aspect-corrected size of a still
// and its thumbnail, BMP and JPEG encoding, the file write that never leaves half an image, the
// intervalometer's period and its countdown. No widget, no timer: the grab controller drives
// them. Any thread; no shared state.

#include "graph/FrameGrabber.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace talvence {

// --- Stills -------------------------------------------------------------------------------------

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// The size a still of width × height is written at: shrunk to 4:3 when the preview is stretched
// (FitToAspect kind 1), else unchanged (kind 0).
PictureSize StillImageSize(int width, int height, bool stretched);
// Where the thumbnail of a width × height image sits in the grab panel: scaled to fit 192 × 144,
// bottom at 163, centred on 128.
QRect ThumbnailBounds(int width, int height);
// The grab bitmap stretched to its still size (RGB888, top-down); null when the bitmap holds no
// usable picture.
QImage StillImage(const TDibBitmap& grab, bool stretched);

// A 24-bit bottom-up BMP file of `image` (rows padded to 4 bytes).
std::vector<std::uint8_t> EncodeBmp(const QImage& image);
// A baseline JPEG file of `image` at `quality` (1..100); empty when the encoder fails.
std::vector<std::uint8_t> EncodeJpeg(const QImage& image, int quality);
// The stored "Qualité JPeg" brought into 1..100; a value outside is logged.
int JpegQuality(int stored);

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it over `path`, so a
// failed write leaves any earlier file whole. Empty on success, else the system's error text.
std::string WriteImageFile(const std::string& path, std::span<const std::uint8_t> bytes);

// --- Intervalometer -----------------------------------------------------------------------------

// The unit combo box's items, in order.
enum class IntervalUnit { Seconds = 0, Frames = 1, Minutes = 2, Hours = 3 };

// The longest period the intervalometer keeps (its 32-bit millisecond count): about 596 hours.
inline constexpr std::int64_t kMaxIntervalPeriod = 2147483647;

// Milliseconds of one unit; a frame lasts the source's frame duration (100 ns units), 40 ms
// while that is not known (0).
std::int64_t UnitMilliseconds(IntervalUnit unit, std::int64_t frameDuration);
// value × the unit, in 64 bits so that 999999 hours does not wrap.
std::int64_t IntervalPeriod(int value, IntervalUnit unit, std::int64_t frameDuration);
// "1 image every 10 seconds" for status panel 0.
std::string IntervalometerStatusText(int value, const std::string& unitText);

// The countdown between two shots: whole seconds shown on the panel, and the interval of the
// next timer tick. A period with a part of a second spends that part first.
class TIntervalCountdown {
public:
    struct Step {
        std::optional<int> label; // the countdown shown; nullopt: the label is empty
        bool shoot = false;       // take a picture now
        bool warn = false;        // one of the last seconds: the tick sound (when "Beeps")
        int interval = 1000;      // milliseconds to the next tick
    };

    // `period` in 1..kMaxIntervalPeriod milliseconds.
    Step Start(std::int32_t period);
    Step Tick();
    std::int32_t Period() const { return period_; }

private:
    // The interval after a shot, or at the start.
    Step Rearm(Step step);

    std::int32_t period_ = 0;
    std::int32_t countdown_ = 0;
};

} // namespace talvence
