#include "app/window/GrabRules.h"

#include "platform/log/Log.h"
#include "resources/PanelStrings.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace talvence {

namespace {

void PutLe16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    PutLe16(out, at, v & 0xffff);
    PutLe16(out, at + 2, v >> 16);
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

} // namespace

// --- Stills -------------------------------------------------------------------------------------

PictureSize StillImageSize(int width, int height, bool stretched) {
    PictureSize size{width, height};
    FitToAspect(size.width, size.height, stretched ? 1 : 0);
    return size;
}

QRect ThumbnailBounds(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    int w = 192;
    int h = 144;
    if (std::int64_t{width} * 144 < std::int64_t{height} * 192)
        w = static_cast<int>(std::int64_t{width} * 144 / height);
    else
        h = static_cast<int>(std::int64_t{height} * 192 / width);
    return QRect((192 - w) / 2 + 32, 163 - h, w, h);
}

QImage StillImage(const TDibBitmap& grab, bool stretched) {
    const QImage picture = grab.ToImage();
    if (picture.isNull()) return {};
    const PictureSize size = StillImageSize(picture.width(), picture.height(), stretched);
    QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (size.width == rgb.width() && size.height == rgb.height()) return rgb;
    return rgb.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::vector<std::uint8_t> EncodeBmp(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const int width = image.width();
    const int height = image.height();
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t pixels = stride * static_cast<std::size_t>(height);
    constexpr std::size_t kHeaders = 14 + 40;
    std::vector<std::uint8_t> out(kHeaders + pixels, 0);
    out[0] = 'B';
    out[1] = 'M';
    PutLe32(out, 2, static_cast<std::uint32_t>(out.size()));
    PutLe32(out, 10, kHeaders);
    PutLe32(out, 14, 40);
    PutLe32(out, 18, static_cast<std::uint32_t>(width));
    PutLe32(out, 22, static_cast<std::uint32_t>(height)); // positive: bottom-up
    PutLe16(out, 26, 1);
    PutLe16(out, 28, 24);
    PutLe32(out, 34, static_cast<std::uint32_t>(pixels));
    PutLe32(out, 38, 2835); // 72 dpi
    PutLe32(out, 42, 2835);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = image.constScanLine(y);
        std::uint8_t* dst =
            out.data() + kHeaders + stride * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeJpeg(const QImage& source, int quality) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    if (image.isNull()) return {};
    tjhandle encoder = tjInitCompress();
    if (encoder == nullptr) return {};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result =
        tjCompress2(encoder, image.constBits(), image.width(),
                    static_cast<int>(image.bytesPerLine()), image.height(), TJPF_RGB, &jpeg, &size,
                    TJSAMP_420, std::clamp(quality, 1, 100), TJFLAG_ACCURATEDCT);
    std::vector<std::uint8_t> out;
    if (result == 0 && jpeg != nullptr)
        out.assign(jpeg, jpeg + size);
    else
        TLOG(Capture) << "the JPEG encoder failed: " << tjGetErrorStr2(encoder);
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}

int JpegQuality(int stored) {
    const int quality = std::clamp(stored, 1, 100);
    if (quality != stored)
        TLOG(Capture) << "\"Qualité JPeg\" " << stored << " is outside 1..100; " << quality
                      << " is used";
    return quality;
}

std::string WriteImageFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return ErrnoText(errno);
    int error = 0;
    std::size_t written = 0;
    while (written < bytes.size() && error == 0) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno != EINTR) error = errno;
        if (n > 0) written += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return ErrnoText(error);
    }
    return {};
}

// --- Intervalometer -----------------------------------------------------------------------------

std::int64_t UnitMilliseconds(IntervalUnit unit, std::int64_t frameDuration) {
    switch (unit) {
    case IntervalUnit::Seconds:
        return 1000;
    case IntervalUnit::Frames:
        return frameDuration == 0 ? 40 : frameDuration / 10000;
    case IntervalUnit::Minutes:
        return 60000;
    case IntervalUnit::Hours:
        return 3600000;
    }
    return 1000;
}

std::int64_t IntervalPeriod(int value, IntervalUnit unit, std::int64_t frameDuration) {
    return UnitMilliseconds(unit, frameDuration) * value;
}

std::string IntervalometerStatusText(int value, const std::string& unitText) {
    return strings::Fmt(strings::kIntervalometerEvery, {std::to_string(value), unitText});
}

TIntervalCountdown::Step TIntervalCountdown::Start(std::int32_t period) {
    period_ = period;
    Step step;
    if (period_ % 1000 == 0) step.label = period_ / 1000;
    return Rearm(step);
}

TIntervalCountdown::Step TIntervalCountdown::Tick() {
    Step step;
    step.label = countdown_;
    if (countdown_ < 1) {
        step.shoot = true;
        return Rearm(step);
    }
    --countdown_;
    step.warn = countdown_ < 4;
    return step;
}

TIntervalCountdown::Step TIntervalCountdown::Rearm(Step step) {
    countdown_ = period_ / 1000;
    if (period_ % 1000 == 0) {
        --countdown_;
        step.interval = 1000;
    } else {
        step.interval = period_ % 1000;
    }
    return step;
}

} // namespace talvence
