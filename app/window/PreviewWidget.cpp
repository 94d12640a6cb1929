#include "app/window/PreviewWidget.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <cstring>

namespace talvence {

namespace {

// The bitmap header and display aspect of a renderer's video type; null for another format.
const BITMAPINFOHEADER* BitmapOf(const CMediaType& type, double& aspect) {
    aspect = 0;
    if (*type.FormatType() == FORMAT_VideoInfo) {
        if (const auto* vih = type.FormatAs<VIDEOINFOHEADER>()) return &vih->bmiHeader;
    } else if (*type.FormatType() == FORMAT_VideoInfo2) {
        if (const auto* vih = type.FormatAs<VIDEOINFOHEADER2>()) {
            if (vih->dwPictAspectRatioX && vih->dwPictAspectRatioY)
                aspect = double(vih->dwPictAspectRatioX) / vih->dwPictAspectRatioY;
            return &vih->bmiHeader;
        }
    }
    return nullptr;
}

} // namespace

TPreviewWidget::TPreviewWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TPreviewWidget::RenderFrame(const TVideoFrame& frame) {
    if (!frame.type || !frame.data) return;
    double aspect = 0;
    const BITMAPINFOHEADER* bmi = BitmapOf(*frame.type, aspect);
    if (!bmi || bmi->biWidth <= 0 || bmi->biHeight == 0) return;
    const int width = bmi->biWidth;
    const int height = bmi->biHeight < 0 ? -bmi->biHeight : bmi->biHeight;
    const int bytesPerPixel = bmi->biBitCount / 8;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return;
    const long stride = ((long(width) * bmi->biBitCount + 31) / 32) * 4;
    if (frame.length < stride * height) return;

    // A DIB with a positive height is stored bottom-up.
    QImage image(width, height, bytesPerPixel == 3 ? QImage::Format_BGR888 : QImage::Format_RGB32);
    if (image.isNull()) return;
    const bool bottomUp = bmi->biHeight > 0;
    const int rowBytes = width * bytesPerPixel;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = frame.data + stride * (bottomUp ? height - 1 - y : y);
        std::memcpy(image.scanLine(y), row, static_cast<std::size_t>(rowBytes));
    }
    {
        std::lock_guard lock(mailboxMutex_);
        image_.swap(image);
        aspect_ = aspect;
    }
    ++received_;
    // One repaint request at a time: frames arriving before it is served replace each other.
    if (!repaintAsked_.exchange(true))
        QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
    // `image` now holds the previous frame and is freed here, outside the lock.
}

void TPreviewWidget::ApplyWindowOptions(const TVideoWindowOptions& options) {
    keepAspect_ = options.keepAspectRatio;
    if (options.fullScreen != fullScreen_) SetFullScreen(options.fullScreen);
    update();
}

void TPreviewWidget::Clear() {
    {
        std::lock_guard lock(mailboxMutex_);
        image_ = QImage();
    }
    update();
}

QImage TPreviewWidget::LatestFrame() const {
    std::lock_guard lock(mailboxMutex_);
    return image_;
}

QRect TPreviewWidget::PictureRect(const QRect& area, QSize frame, double aspect, bool keepAspect) {
    if (!keepAspect || frame.isEmpty()) return area;
    const double pictureAspect =
        aspect > 0 ? aspect : double(frame.width()) / double(frame.height());
    int w = area.width();
    int h = static_cast<int>(w / pictureAspect + 0.5);
    if (h > area.height()) {
        h = area.height();
        w = static_cast<int>(h * pictureAspect + 0.5);
    }
    return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}

void TPreviewWidget::paintEvent(QPaintEvent*) {
    repaintAsked_ = false;
    QImage image;
    double aspect = 0;
    {
        std::lock_guard lock(mailboxMutex_);
        image = image_;
        aspect = aspect_;
    }
    QPainter painter(this);
    if (image.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = PictureRect(rect(), image.size(), aspect, keepAspect_);
    if (target != rect()) {
        // Only the bars around a letterboxed picture are filled.
        painter.fillRect(QRect(0, 0, width(), target.top()), Qt::black);
        painter.fillRect(QRect(0, target.bottom() + 1, width(), height() - target.bottom() - 1),
                         Qt::black);
        painter.fillRect(QRect(0, target.top(), target.left(), target.height()), Qt::black);
        painter.fillRect(
            QRect(target.right() + 1, target.top(), width() - target.right() - 1, target.height()),
            Qt::black);
    }
    painter.drawImage(target, image);
    ++painted_;
}

void TPreviewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    else if (event->button() == Qt::RightButton)
        emit contextMenuAsked(event->globalPosition().toPoint());
}

void TPreviewWidget::SetFullScreen(bool fullScreen) {
    fullScreen_ = fullScreen;
    if (fullScreen) {
        homeParent_ = parentWidget();
        homeGeometry_ = geometry();
        QScreen* display = homeParent_ ? homeParent_->screen() : screen();
        setParent(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        // The geometry too: without a window manager the full-screen state alone changes nothing.
        if (display) setGeometry(display->geometry());
        showFullScreen();
        activateWindow();
    } else {
        setParent(homeParent_, Qt::Widget);
        setGeometry(homeGeometry_);
        show();
        if (homeParent_) homeParent_->window()->activateWindow();
    }
}

} // namespace talvence
