#include "filters/vq_superposer/InlayText.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cstdint>

namespace talvence {
namespace {

// Line heights beyond this put every line off any real picture; the bound keeps the position
// arithmetic and the glyph rasteriser away from absurd sizes sent by the application.
constexpr int kMaxLineHeight = 1 << 16;
// Largest font the rasteriser is asked for; taller lines keep their geometry but not their size.
constexpr int kMaxFontPixels = 4096;

int ClampToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

inline std::uint8_t BlendChannel(int colour, int dst, int alpha) {
    // Exact rounding of (colour·a + dst·(255 − a)) / 255.
    const int v = colour * alpha + dst * (255 - alpha) + 128;
    return static_cast<std::uint8_t>((v + (v >> 8)) >> 8);
}

bool GuiAvailable() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

int AutoLineHeight(int pictureWidth) {
    const std::int64_t h = static_cast<std::int64_t>(pictureWidth) * 28 / 720;
    return static_cast<int>(std::clamp<std::int64_t>(h, 16, kMaxLineHeight));
}

int PointsToPixels(std::int32_t points, int dotsPerInch) {
    // Rounded half away from zero, like the platform's MulDiv.
    const std::int64_t n = static_cast<std::int64_t>(points) * dotsPerInch;
    const std::int64_t r = n >= 0 ? (n * 2 + 72) / 144 : -((-n * 2 + 72) / 144);
    return ClampToInt(r);
}

int InlayLineHeight(const SuperposerSettings& s, int pictureWidth, int dotsPerInch) {
    const int h =
        s.autoFontSize ? AutoLineHeight(pictureWidth) : PointsToPixels(s.fontSize, dotsPerInch);
    return std::clamp(h, 0, kMaxLineHeight);
}

LinePlacement PlaceLines(int pictureWidth, int pictureHeight, std::int32_t posX, std::int32_t posY,
                         std::uint8_t alignment, int lineHeight, int w1, int w2) {
    LinePlacement p;
    const std::int64_t ax = static_cast<std::int64_t>(pictureWidth) * posX / 1000;
    const std::int64_t ay = static_cast<std::int64_t>(pictureHeight) * posY / 1000;
    std::int64_t x1 = ax;
    std::int64_t x2 = ax;
    switch (alignment) {
    case static_cast<std::uint8_t>(InlayAlignment::Start):
        break;
    case static_cast<std::uint8_t>(InlayAlignment::Centre):
        x1 = ax - w1 / 2;
        x2 = ax - w2 / 2;
        break;
    case static_cast<std::uint8_t>(InlayAlignment::End):
        x1 = ax - w1;
        x2 = ax - w2;
        break;
    default:
        return p;
    }
    p.draw = true;
    p.x1 = ClampToInt(x1);
    p.y1 = ClampToInt(ay - lineHeight);
    p.x2 = ClampToInt(x2);
    p.y2 = ClampToInt(ay);
    return p;
}

QFont InlayFont(const SuperposerSettings& s, int lineHeight) {
    QFont f;
    f.setFamily(QString::fromStdString(s.fontName));
    f.setBold(s.bold);
    f.setItalic(s.italic);
    f.setUnderline(s.underline);
    f.setStrikeOut(s.strikeOut);
    // Grey-scale coverage only: the masks are blended onto pictures of any colour. The hinting is
    // fixed rather than left to the desktop's font configuration, so a frame looks the same (and
    // checks the same) on every machine with the same font files.
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    f.setHintingPreference(QFont::PreferVerticalHinting);
    const int target = std::clamp(lineHeight, 1, kMaxFontPixels);
    const auto cellAt = [&f](int px) {
        f.setPixelSize(px);
        const QFontMetrics fm(f);
        return fm.ascent() + fm.descent();
    };
    // The cell is about 1.15 em for common faces; start from the estimate and step to the
    // largest size whose cell fits.
    int px = target;
    const int cell = cellAt(px);
    if (cell > target)
        px = std::max(1, static_cast<int>(static_cast<std::int64_t>(target) * target / cell));
    while (px > 1 && cellAt(px) > target)
        --px;
    while (px < target && cellAt(px + 1) <= target)
        ++px;
    f.setPixelSize(px);
    return f;
}

InlayTextRenderer::InlayTextRenderer() = default;

void InlayTextRenderer::SetFont(const SuperposerSettings& s, int lineHeight) {
    if (fontReady_ && lineHeight == lineHeight_ && s.fontName == fontName_ && s.bold == bold_ &&
        s.italic == italic_ && s.underline == underline_ && s.strikeOut == strikeOut_)
        return;
    fontReady_ = false;
    ++fontGeneration_;
    lineHeight_ = lineHeight;
    fontName_ = s.fontName;
    bold_ = s.bold;
    italic_ = s.italic;
    underline_ = s.underline;
    strikeOut_ = s.strikeOut;
    if (lineHeight < 1 || !GuiAvailable()) return;
    font_ = InlayFont(s, lineHeight);
    ascent_ = QFontMetrics(font_).ascent();
    fontReady_ = true;
}

int InlayTextRenderer::Advance(int slot, const std::string& utf8) {
    if (!fontReady_ || utf8.empty() || slot < 0 || slot > 1) return 0;
    AdvanceCache& c = advances_[slot];
    if (!c.valid || c.fontGeneration != fontGeneration_ || c.text != utf8) {
        c.advance = QFontMetrics(font_).horizontalAdvance(QString::fromStdString(utf8));
        c.text = utf8;
        c.fontGeneration = fontGeneration_;
        c.valid = true;
    }
    return c.advance;
}

void InlayTextRenderer::Rasterise(LineMask& m, const QString& text) {
    ++rasterCount_;
    m.coverage.clear();
    m.area = colorconv::Rect{};
    const QFontMetrics fm(font_);
    const int advance = fm.horizontalAdvance(text);
    // The cell of the line, grown by the ink where glyphs overhang it (italics, accents) and by
    // a margin for what the metrics under-report.
    const QRect ink = fm.boundingRect(text).translated(0, ascent_);
    const int margin = std::max(2, lineHeight_ / 4);
    const QRect local =
        QRect(0, 0, std::max(advance, 1), lineHeight_).united(ink).adjusted(-margin, -2, margin, 2);
    const QRect placed(
        static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(local.left()) + m.x,
                                                  -kMaxLineHeight * 4, kMaxLineHeight * 4)),
        static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(local.top()) + m.y,
                                                  -kMaxLineHeight * 4, kMaxLineHeight * 4)),
        local.width(), local.height());
    const QRect visible = placed.intersected(QRect(0, 0, m.pictureWidth, m.pictureHeight));
    if (visible.isEmpty()) return;
    QImage img(visible.size(), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) return;
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setFont(font_);
        p.setPen(QColor(255, 255, 255));
        p.drawText(QPoint(m.x - visible.left(), m.y - visible.top() + ascent_), text);
    }
    m.area = colorconv::Rect{visible.left(), visible.top(), visible.width(), visible.height()};
    m.coverage.resize(static_cast<std::size_t>(visible.width()) * visible.height());
    for (int row = 0; row < visible.height(); ++row) {
        const auto* px = reinterpret_cast<const QRgb*>(img.constScanLine(row));
        std::uint8_t* out = m.coverage.data() + static_cast<std::size_t>(row) * visible.width();
        for (int col = 0; col < visible.width(); ++col)
            out[col] = static_cast<std::uint8_t>(qAlpha(px[col]));
    }
}

colorconv::Rect InlayTextRenderer::Prepare(int slot, const std::string& utf8, int x, int y,
                                           int pictureWidth, int pictureHeight) {
    if (!fontReady_ || utf8.empty() || slot < 0 || slot > 1) return {};
    LineMask& m = lines_[slot];
    if (!m.valid || m.fontGeneration != fontGeneration_ || m.text != utf8 || m.x != x || m.y != y ||
        m.pictureWidth != pictureWidth || m.pictureHeight != pictureHeight) {
        m.valid = false;
        m.text = utf8;
        m.fontGeneration = fontGeneration_;
        m.x = x;
        m.y = y;
        m.pictureWidth = pictureWidth;
        m.pictureHeight = pictureHeight;
        Rasterise(m, QString::fromStdString(utf8));
        m.valid = true;
    }
    return m.area;
}

colorconv::Rect InlayTextRenderer::Draw(int slot, const std::string& utf8, int x, int y,
                                        std::uint32_t color, const colorconv::Rgb24Frame& picture) {
    if (picture.top == nullptr) return {};
    if (Prepare(slot, utf8, x, y, picture.width, picture.height).width == 0) return {};
    const LineMask& m = lines_[slot];
    const int red = static_cast<int>(color & 0xFF);
    const int green = static_cast<int>((color >> 8) & 0xFF);
    const int blue = static_cast<int>((color >> 16) & 0xFF);
    for (int row = 0; row < m.area.height; ++row) {
        const std::uint8_t* cov = m.coverage.data() + static_cast<std::size_t>(row) * m.area.width;
        std::uint8_t* px = picture.top +
                           static_cast<std::ptrdiff_t>(m.area.y + row) * picture.stride +
                           static_cast<std::ptrdiff_t>(m.area.x) * 3;
        for (int col = 0; col < m.area.width; ++col, px += 3) {
            const int a = cov[col];
            if (a == 0) continue;
            px[0] = BlendChannel(blue, px[0], a);
            px[1] = BlendChannel(green, px[1], a);
            px[2] = BlendChannel(red, px[2], a);
        }
    }
    return m.area;
}

} // namespace talvence
