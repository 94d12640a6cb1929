#include "filters/vq_superposer/SuperposerCore.h"

#include "platform/log/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

namespace talvence {
namespace {

constexpr std::size_t kMaxFontNameChars = 255;

std::int32_t Saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

int DayOfMonth(TDateTime t) {
    int y = 0, m = 0, d = 0;
    return DecodeDate(t, y, m, d) ? d : 0;
}

// The first `chars` code points of a UTF-8 text.
std::string FirstChars(const std::string& s, std::size_t chars) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool lead = (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
        if (lead && count++ == chars) return s.substr(0, i);
    }
    return s;
}

colorconv::Rect Intersection(const colorconv::Rect& a, const colorconv::Rect& b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width);
    const int y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0) return {};
    return colorconv::Rect{x0, y0, x1 - x0, y1 - y0};
}

bool Inside(const std::vector<colorconv::Rect>& areas, const colorconv::Rect& r) {
    return std::any_of(areas.begin(), areas.end(),
                       [&](const colorconv::Rect& a) { return Intersection(a, r) == r; });
}

// The part of r inside the one of `areas` that holds most of it.
colorconv::Rect LargestOverlap(const std::vector<colorconv::Rect>& areas,
                               const colorconv::Rect& r) {
    colorconv::Rect best;
    for (const colorconv::Rect& a : areas) {
        const colorconv::Rect i = Intersection(a, r);
        if (std::int64_t(i.width) * i.height > std::int64_t(best.width) * best.height) best = i;
    }
    return best;
}

colorconv::Rect Union(const colorconv::Rect& a, const colorconv::Rect& b) {
    if (a.width == 0 || a.height == 0) return b;
    if (b.width == 0 || b.height == 0) return a;
    const int x0 = std::min(a.x, b.x);
    const int y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width);
    const int y1 = std::max(a.y + a.height, b.y + b.height);
    return colorconv::Rect{x0, y0, x1 - x0, y1 - y0};
}

} // namespace

bool InlayRestartDue(std::uint8_t when, TDateTime recDateTime, TDateTime lastDate) {
    switch (when) {
    case static_cast<std::uint8_t>(InlayRestart::JumpRule): {
        const std::int64_t step = MillisecondsBetween(lastDate, recDateTime);
        return step > 2000 || step < 0;
    }
    case static_cast<std::uint8_t>(InlayRestart::DayRule):
        return DayOfMonth(recDateTime) != DayOfMonth(lastDate) ||
               std::fabs(recDateTime - lastDate) > 1.0;
    default:
        return false;
    }
}

std::int32_t InlayDurationFrames(std::int32_t seconds, std::int64_t sourceFrameDuration) {
    // A negative duration is as unknown as 0: it cannot be a frame rate.
    const std::int64_t perSecond = sourceFrameDuration <= 0 ? 25 : 10000000 / sourceFrameDuration;
    return Saturate(static_cast<std::int64_t>(seconds) * perSecond);
}

std::string FormatTimecode(const DvTimecode& tc) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%.2d:%.2d:%.2d", tc.hours, tc.minutes, tc.seconds,
                  tc.frames);
    return text;
}

InlayLines BuildInlayLines(const SuperposerSettings& s, const DvFrameInfo& rec, TDateTime localNow,
                           const LocaleFormats& locale, const InlayLines& previous) {
    switch (s.source) {
    case static_cast<std::uint8_t>(InlaySource::Clock):
        return InlayLines{FormatDateTime(s.dateFormat, localNow, locale),
                          FormatDateTime(s.timeFormat, localNow, locale)};
    case static_cast<std::uint8_t>(InlaySource::RecordDate): {
        // IncHour, not + hours / 24: the undated value 0 with a negative offset lies before
        // 30 December 1899, where plain arithmetic lands on the wrong day.
        const TDateTime t = IncHour(rec.recDateTime, s.hourOffset);
        return InlayLines{FormatDateTime(s.dateFormat, t, locale),
                          FormatDateTime(s.timeFormat, t, locale)};
    }
    case static_cast<std::uint8_t>(InlaySource::Timecode):
        // Bit 7 of the hours marks a timecode never found; its other bytes mean nothing.
        if ((rec.timecode.hours & 0x80) != 0) return InlayLines{};
        return InlayLines{std::string(), FormatTimecode(rec.timecode)};
    default:
        return previous;
    }
}

SuperposerCore::SuperposerCore(std::function<std::int64_t()> frameDuration, LocaleFormats locale,
                               int dotsPerInch)
    : frameDuration_(std::move(frameDuration)), locale_(std::move(locale)),
      dotsPerInch_(dotsPerInch > 0 ? dotsPerInch : 96),
      settings_(std::make_shared<const SuperposerSettings>()) {}

template <typename Change> void SuperposerCore::Update(Change change) {
    std::lock_guard lock(writeMutex_);
    auto next = std::make_shared<SuperposerSettings>(*settings_.load());
    change(*next);
    settings_.store(std::move(next));
}

void SuperposerCore::SetInlayActive(bool active) {
    Update([&](SuperposerSettings& s) { s.active = active; });
}

void SuperposerCore::SetInlayAutoMode(std::int32_t mode) {
    Update([&](SuperposerSettings& s) { s.autoMode = mode == 1; });
}

void SuperposerCore::SetInlaySource(std::uint8_t source) {
    Update([&](SuperposerSettings& s) { s.source = source; });
}

void SuperposerCore::SetInlayWhen(std::uint8_t when) {
    Update([&](SuperposerSettings& s) { s.when = when; });
}

void SuperposerCore::SetInlayDuration(std::int32_t seconds) {
    const std::int64_t frameDuration = frameDuration_ ? frameDuration_() : 0;
    const std::int32_t frames = InlayDurationFrames(seconds, frameDuration);
    std::lock_guard lock(writeMutex_);
    auto next = std::make_shared<SuperposerSettings>(*settings_.load());
    next->durationFrames = frames;
    settings_.store(std::move(next));
    remaining_.store(Saturate(static_cast<std::int64_t>(frames) - 1));
}

void SuperposerCore::SetInlayHourOffset(std::int32_t hours) {
    Update([&](SuperposerSettings& s) { s.hourOffset = hours; });
}

void SuperposerCore::SetInlayFormats(const std::string& dateFormat, const std::string& timeFormat) {
    Update([&](SuperposerSettings& s) {
        s.dateFormat = dateFormat;
        s.timeFormat = timeFormat;
    });
}

void SuperposerCore::SetInlayPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment) {
    Update([&](SuperposerSettings& s) {
        s.posX = std::clamp(x, 0, 1000);
        s.posY = std::clamp(y, 0, 1000);
        s.alignment = alignment;
    });
}

void SuperposerCore::SetInlayAlignment(std::uint8_t alignment) {
    Update([&](SuperposerSettings& s) { s.alignment = alignment; });
}

void SuperposerCore::SetInlayFlip(bool flip) {
    Update([&](SuperposerSettings& s) { s.flip = flip; });
}

void SuperposerCore::SetInlayAutoFontSize(bool autoFontSize) {
    Update([&](SuperposerSettings& s) { s.autoFontSize = autoFontSize; });
}

void SuperposerCore::SetInlayFontSize(std::int32_t points) {
    Update([&](SuperposerSettings& s) { s.fontSize = points; });
}

void SuperposerCore::SetInlayFontName(const std::string& name) {
    Update([&](SuperposerSettings& s) { s.fontName = FirstChars(name, kMaxFontNameChars); });
}

void SuperposerCore::SetInlayFontColor(std::uint32_t color) {
    Update([&](SuperposerSettings& s) { s.fontColor = color & 0x00FFFFFFu; });
}

void SuperposerCore::SetInlayBold(bool on) {
    Update([&](SuperposerSettings& s) { s.bold = on; });
}

void SuperposerCore::SetInlayItalic(bool on) {
    Update([&](SuperposerSettings& s) { s.italic = on; });
}

void SuperposerCore::SetInlayUnderline(bool on) {
    Update([&](SuperposerSettings& s) { s.underline = on; });
}

void SuperposerCore::SetInlayStrikeOut(bool on) {
    Update([&](SuperposerSettings& s) { s.strikeOut = on; });
}

std::shared_ptr<const SuperposerSettings> SuperposerCore::Settings() const {
    return settings_.load();
}

void SuperposerCore::ReplaceSettings(const SuperposerSettings& s) {
    SuperposerSettings copy = s;
    copy.posX = std::clamp(copy.posX, 0, 1000);
    copy.posY = std::clamp(copy.posY, 0, 1000);
    copy.fontName = FirstChars(copy.fontName, kMaxFontNameChars);
    copy.fontColor &= 0x00FFFFFFu;
    std::lock_guard lock(writeMutex_);
    settings_.store(std::make_shared<const SuperposerSettings>(std::move(copy)));
}

void SuperposerCore::StartStreaming() {
    const auto s = settings_.load();
    if (s->autoMode) remaining_.store(Saturate(static_cast<std::int64_t>(s->durationFrames) - 1));
}

void SuperposerCore::StepCounter(const SuperposerSettings& s, const DvFrameInfo& rec) {
    const std::int32_t remaining = remaining_.load();
    if (remaining > 0)
        remaining_.store(remaining - 1);
    else if (rec.hasRecDate && InlayRestartDue(s.when, rec.recDateTime, lastDate_))
        remaining_.store(Saturate(static_cast<std::int64_t>(s.durationFrames) - 1));
}

bool SuperposerCore::CopyPicture(const InlayFrame& f, bool flip) {
    if (f.input == nullptr || f.output == nullptr || f.width <= 0 || f.height <= 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(f.width) * 3;
    if (f.stride <= 0 || static_cast<std::size_t>(f.stride) < rowBytes) return false;
    const std::size_t stride = static_cast<std::size_t>(f.stride);
    const std::size_t height = static_cast<std::size_t>(f.height);
    if (stride > SIZE_MAX / height) return false;
    // The last row needs only its pixels, not its padding.
    const std::size_t needed = stride * (height - 1) + rowBytes;
    if (f.inputSize < needed || f.outputSize < needed) return false;
    if (!flip) {
        if (f.input != f.output) std::memcpy(f.output, f.input, needed);
        return true;
    }
    if (f.input == f.output) {
        std::vector<std::uint8_t> tmp(rowBytes);
        for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            std::uint8_t* a = f.output + top * stride;
            std::uint8_t* b = f.output + bottom * stride;
            std::memcpy(tmp.data(), a, rowBytes);
            std::memcpy(a, b, rowBytes);
            std::memcpy(b, tmp.data(), rowBytes);
        }
        return true;
    }
    for (std::size_t row = 0; row < height; ++row)
        std::memcpy(f.output + row * stride, f.input + (height - 1 - row) * stride, rowBytes);
    return true;
}

bool SuperposerCore::CopyYuvPicture(const InlayFrame& f, colorconv::YuvLayout layout, bool flip) {
    if (f.input == nullptr || f.output == nullptr || f.width <= 0 || f.height <= 0) return false;
    const std::size_t bytes = colorconv::YuvFrameSize(layout, f.width, f.height);
    if (bytes == 0 || f.inputSize < bytes || f.outputSize < bytes) return false;
    if (f.part != nullptr) {
        if (f.input == f.output) return true;
        const colorconv::YuvFrame src =
            colorconv::YuvFrameOver(const_cast<std::uint8_t*>(f.input), layout, f.width, f.height);
        const colorconv::YuvFrame dst =
            colorconv::YuvFrameOver(f.output, layout, f.width, f.height);
        for (const colorconv::Rect& r : f.part->held)
            if (!colorconv::CopyYuvArea(src, dst, r)) return false;
        return true;
    }
    if (!flip) {
        if (f.input != f.output) std::memmove(f.output, f.input, bytes);
        return true;
    }
    // Each plane mirrored top to bottom; chroma rows cover whole blocks of luma rows, so the
    // mirrored chroma still sits on its luma.
    const colorconv::YuvFrame src =
        colorconv::YuvFrameOver(const_cast<std::uint8_t*>(f.input), layout, f.width, f.height);
    const colorconv::YuvFrame dst = colorconv::YuvFrameOver(f.output, layout, f.width, f.height);
    const int planes = layout == colorconv::YuvLayout::Yuy2 ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const int rows = p == 0 ? f.height : f.height / colorconv::ChromaBlockHeight(layout);
        const auto rowBytes = static_cast<std::size_t>(src.strides[p]);
        std::vector<std::uint8_t> tmp(rowBytes);
        for (int top = 0, bottom = rows - 1; top <= bottom; ++top, --bottom) {
            std::uint8_t* a = dst.planes[p] + top * src.strides[p];
            std::uint8_t* b = dst.planes[p] + bottom * src.strides[p];
            // Through a row copy, so that composing in place works as well.
            std::memcpy(tmp.data(), src.planes[p] + bottom * src.strides[p], rowBytes);
            if (a != b) std::memmove(b, src.planes[p] + top * src.strides[p], rowBytes);
            std::memcpy(a, tmp.data(), rowBytes);
        }
    }
    return true;
}

colorconv::Rect SuperposerCore::DrawYuv(const InlayFrame& f, colorconv::YuvLayout layout,
                                        const SuperposerSettings& s, int x1, int y1, int x2,
                                        int y2) {
    // The masks know the area each line will touch before anything is drawn.
    const colorconv::Rect touched =
        Union(renderer_.Prepare(0, lines_.line1, x1, y1, f.width, f.height),
              renderer_.Prepare(1, lines_.line2, x2, y2, f.width, f.height));
    if (touched.width <= 0 || touched.height <= 0) return {};
    colorconv::Rect area = colorconv::AlignToChromaBlocks(touched, layout, f.width, f.height);
    if (area.width <= 0 || area.height <= 0) return {};
    drawnArea_ = area;
    drawnWith_ = settings_.load();
    if (f.part != nullptr && !Inside(f.part->asked, area)) {
        // The text outgrew the decoded area: it shows only where the picture holds pixels on
        // this frame; the next frames are decoded where it now is.
        TLOG(Filter) << "Inlay: the text reaches past the decoded area of this frame";
        area = LargestOverlap(f.part->asked, area);
        if (area.width <= 0 || area.height <= 0) return {};
    }
    const std::ptrdiff_t stride = colorconv::Rgb24Stride(f.width);
    const std::size_t rgbBytes = static_cast<std::size_t>(stride) * f.height;
    if (yuvTextRgb_.size() < rgbBytes) yuvTextRgb_.resize(rgbBytes);
    const colorconv::Rgb24Frame rgb{yuvTextRgb_.data(), f.width, f.height, stride};
    const colorconv::YuvFrame yuv = colorconv::YuvFrameOver(f.output, layout, f.width, f.height);
    if (!converter_.YuvToRgb24Rect(yuv, rgb, area))
        throw std::runtime_error("the text area cannot be converted to RGB");
    renderer_.Draw(0, lines_.line1, x1, y1, s.fontColor, rgb);
    renderer_.Draw(1, lines_.line2, x2, y2, s.fontColor, rgb);
    if (!converter_.Rgb24ToYuvRect(rgb, yuv, area))
        throw std::runtime_error("the text area cannot be converted back to YUV");
    return area;
}

std::optional<colorconv::Rect> SuperposerCore::ExpectedTextArea() const {
    if (!drawnWith_ || drawnWith_ != settings_.load() || drawnArea_.width <= 0) return std::nullopt;
    // Date and time texts grow or shrink by a character or two from one frame to the next
    // (a proportional font, a new day); half the text's height covers that on either side.
    const int dx = std::max(16, drawnArea_.height / 2);
    const int dy = 8;
    return colorconv::Rect{drawnArea_.x - dx, drawnArea_.y - dy, drawnArea_.width + 2 * dx,
                           drawnArea_.height + 2 * dy};
}

HRESULT SuperposerCore::Compose(const InlayFrame& frame, const DvFrameInfo& rec,
                                TDateTime localNow) {
    return ComposeAny(frame, std::nullopt, rec, localNow);
}

HRESULT SuperposerCore::Compose(const InlayFrame& frame, colorconv::YuvLayout layout,
                                const DvFrameInfo& rec, TDateTime localNow) {
    return ComposeAny(frame, layout, rec, localNow);
}

HRESULT SuperposerCore::ComposeAny(const InlayFrame& frame, std::optional<colorconv::YuvLayout> yuv,
                                   const DvFrameInfo& rec, TDateTime localNow) {
    // One snapshot for the whole frame: setters running meanwhile publish a new one.
    const std::shared_ptr<const SuperposerSettings> snapshot = settings_.load();
    const SuperposerSettings& s = *snapshot;
    lastHadText_ = false;
    lastFlipped_ = false;
    lastTextArea_ = colorconv::Rect{};
    // A picture decoded in part is never flipped: its unspecified pixels would move into view.
    const bool flip = s.flip && !(yuv && frame.part != nullptr);

    if (s.active && s.autoMode) StepCounter(s, rec);

    HRESULT hr = S_OK;
    if (!frame.hasFormat)
        hr = S_FALSE;
    else if (!(yuv ? CopyYuvPicture(frame, *yuv, flip) : CopyPicture(frame, flip)))
        hr = E_FAIL;
    else
        lastFlipped_ = flip;
    if (hr == S_OK && s.active && (!s.autoMode || remaining_.load() > 0)) {
        // A text that cannot be made or drawn leaves the picture bare; the frame still goes.
        try {
            lines_ = BuildInlayLines(s, rec, localNow, locale_, lines_);
            const int lineHeight = InlayLineHeight(s, frame.width, dotsPerInch_);
            renderer_.SetFont(s, lineHeight);
            const int w1 = renderer_.Advance(0, lines_.line1);
            const int w2 = renderer_.Advance(1, lines_.line2);
            const LinePlacement p = PlaceLines(frame.width, frame.height, s.posX, s.posY,
                                               s.alignment, lineHeight, w1, w2);
            if (p.draw && yuv) {
                lastTextArea_ = DrawYuv(frame, *yuv, s, p.x1, p.y1, p.x2, p.y2);
                lastHadText_ = lastTextArea_.width > 0;
            } else if (p.draw) {
                const colorconv::Rgb24Frame picture =
                    colorconv::BottomUpRgb24(frame.output, frame.width, frame.height, frame.stride);
                const colorconv::Rect a1 =
                    renderer_.Draw(0, lines_.line1, p.x1, p.y1, s.fontColor, picture);
                const colorconv::Rect a2 =
                    renderer_.Draw(1, lines_.line2, p.x2, p.y2, s.fontColor, picture);
                lastTextArea_ = Union(a1, a2);
                lastHadText_ = lastTextArea_.width > 0;
            }
        } catch (const std::exception& e) {
            TLOG(Filter) << "Inlay: the text was not drawn: " << e.what();
            // One line may be drawn already; the whole picture is what may have changed.
            lastHadText_ = false;
            lastTextArea_ = colorconv::Rect{0, 0, frame.width, frame.height};
        }
    }
    lastDate_ = rec.recDateTime;
    return hr;
}

} // namespace talvence
