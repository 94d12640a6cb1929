#pragma once
// The preview window `vwEcran`: shows the newest frame the preview renderer handed over.
//
// The renderer calls RenderFrame on its streaming thread; the frame is copied into an image and
// left in a one-place mailbox (the newest replaces one not yet painted), and a repaint is asked
// for once. The streaming thread never waits for the user-interface thread: the mailbox's lock
// is held only to swap an image handle. The widget paints the mailbox's image at its next
// repaint, letterboxed to the source's aspect ratio or stretched to the widget (the aspect
// action). Full screen takes the widget out of its panel into a top-most frameless window that
// covers the screen, and back.
//
// Threads: application thread for everything but RenderFrame.

#include "platform/media/filters/basic/VideoRenderer.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace talvence {

class TPreviewWidget : public QWidget, public IVideoFrameSink {
    Q_OBJECT
public:
    explicit TPreviewWidget(QWidget* parent = nullptr);

    // IVideoFrameSink.
    void RenderFrame(const TVideoFrame& frame) override;
    void ApplyWindowOptions(const TVideoWindowOptions& options) override;

    bool KeepAspectRatio() const { return keepAspect_; }
    bool IsFullScreen() const { return fullScreen_; }
    // Forgets the last frame (no source any more): the widget paints black until the next one.
    void Clear();
    // The newest frame received (a null image before the first); for tests and the grab.
    QImage LatestFrame() const;
    // Frames received and frames painted since the widget was made (any thread).
    long FramesReceived() const { return received_; }
    long FramesPainted() const { return painted_; }
    // Where the picture goes inside `area` for a frame of this size and aspect.
    static QRect PictureRect(const QRect& area, QSize frame, double aspect, bool keepAspect);

signals:
    void clicked();
    void contextMenuAsked(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void SetFullScreen(bool fullScreen);

    mutable std::mutex mailboxMutex_; // guards image_ and aspect_
    QImage image_;
    double aspect_ = 0; // display aspect of the frames (width / height); 0: their pixels'
    std::atomic<bool> repaintAsked_{false};
    std::atomic<long> received_{0};
    std::atomic<long> painted_{0};

    bool keepAspect_ = true;
    bool fullScreen_ = false;
    QPointer<QWidget> homeParent_;
    QRect homeGeometry_;
};

} // namespace talvence
