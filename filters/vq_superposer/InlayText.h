#pragma once
// Text layout and drawing of the inlay's two lines on 24-bit B,G,R pictures.
//
// Each line is rasterised once with QPainter into a coverage mask clipped to the picture and
// kept until its text, position or font changes; every frame then only blends the masks into
// the picture. That keeps the per-frame cost at a few thousand pixels instead of wrapping and
// painting the whole frame.

#include "filters/vq_superposer/SuperposerSettings.h"
#include "platform/media/filters/colorconv/ColorConvert.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace talvence {

// Line height (pixels, the full cell of a line) for automatic sizing: width × 28 div 720, at
// least 16.
int AutoLineHeight(int pictureWidth);
// A point size at a display resolution, rounded to the nearest pixel.
int PointsToPixels(std::int32_t points, int dotsPerInch);
// The line height a frame of this width uses under these settings.
int InlayLineHeight(const SuperposerSettings& s, int pictureWidth, int dotsPerInch);

struct LinePlacement {
    bool draw = false;  // false for an unknown alignment
    int x1 = 0, y1 = 0; // top-left of line 1
    int x2 = 0, y2 = 0; // top-left of line 2
};

// Where the two lines go: the anchor is (W × posX div 1000, Hp × posY div 1000); line 2's top
// edge is on it and line 1 sits one line height above. w1 and w2 are the lines' advance widths.
LinePlacement PlaceLines(int pictureWidth, int pictureHeight, std::int32_t posX, std::int32_t posY,
                         std::uint8_t alignment, int lineHeight, int w1, int w2);

// The font of the inlay: face, styles and a pixel size chosen so that ascent + descent fills at
// most lineHeight.
QFont InlayFont(const SuperposerSettings& s, int lineHeight);

// Draws lines into pictures. Owned by one streaming thread. Needs a QGuiApplication to exist
// (the font database lives there); without one it draws nothing.
class InlayTextRenderer {
public:
    InlayTextRenderer();

    // Takes the font for the following draws; cheap when nothing changed.
    void SetFont(const SuperposerSettings& s, int lineHeight);

    // Advance width of line `slot` (0 or 1), UTF-8, in the current font (0 without a font).
    int Advance(int slot, const std::string& utf8);

    // Makes the mask of line `slot` (0 or 1) for a picture of that size, as Draw would, and
    // returns the picture area Draw will change (empty if none). Lets a caller that draws into
    // a copy of part of the picture know which part to copy.
    colorconv::Rect Prepare(int slot, const std::string& utf8, int x, int y, int pictureWidth,
                            int pictureHeight);

    // Blends line `slot` (0 or 1) with its cell's top-left at (x, y) into the picture in the
    // colour 0x00BBGGRR. Returns the picture area that may have changed (empty if none).
    colorconv::Rect Draw(int slot, const std::string& utf8, int x, int y, std::uint32_t color,
                         const colorconv::Rgb24Frame& picture);

    bool HasFont() const { return fontReady_; }
    const QFont& Font() const { return font_; }
    // Number of times a line mask was rasterised (the cache is measured in tests and benches).
    std::uint64_t RasterCount() const { return rasterCount_; }

private:
    struct LineMask {
        bool valid = false;
        std::string text;
        std::uint64_t fontGeneration = 0;
        int x = 0, y = 0, pictureWidth = 0, pictureHeight = 0;
        colorconv::Rect area;               // picture coordinates
        std::vector<std::uint8_t> coverage; // area.width × area.height
    };

    void Rasterise(LineMask& m, const QString& text);

    QFont font_;
    bool fontReady_ = false;
    std::uint64_t fontGeneration_ = 0;
    int lineHeight_ = 0;
    // What the current font was built from, to tell when to rebuild it.
    std::string fontName_;
    bool bold_ = false, italic_ = false, underline_ = false, strikeOut_ = false;
    int ascent_ = 0;
    LineMask lines_[2];
    struct AdvanceCache {
        bool valid = false;
        std::string text;
        std::uint64_t fontGeneration = 0;
        int advance = 0;
    } advances_[2];
    std::uint64_t rasterCount_ = 0;
};

} // namespace talvence
