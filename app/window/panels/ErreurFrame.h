#pragma once
// The error panel: covers the main window's client area, explains a problem
// found at start-up, offers to mail a report, and closes the main window
// when the report was fatal. User-interface thread only; no locks.

#include "app/window/panels/Controls.h"

#include <QSize>
#include <QUrl>

#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace talvence {

class TErreurFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 446;
    using UrlOpener = std::function<void(const QUrl&)>;

    // `window` is the top-level window the panel covers; the panel's parent
    // is `parent`, else the window itself. `openUrl` defaults to the desktop's
    // handler.
    explicit TErreurFrame(QWidget* window, QWidget* parent = nullptr, UrlOpener openUrl = {});

    void SetPanelTexts();
    // Remembers the window's size, fits the window to the panel and shows the
    // report.
    void ShowErrorReport(const std::string& text, bool fatal);
    // Hides the panel, closes the window when the report was fatal, and gives
    // the window back its size.
    void FermerErreurBtnClick();
    // Opens the mail program on a message with the report.
    void SendReport();
    // mailto: the support address, with the subject and the report as body.
    QUrl MailUrl() const;

    QLabel* Label1; // the heading
    QLabel* Image1;
    QPlainTextEdit* Memo1;
    TClickLabel* LabelMail;
    QPushButton* FermerErreurBtn;

private:
    QWidget* window_;
    UrlOpener openUrl_;
    bool fatal_ = false;
    QString subject_;
    QString body_;
    QSize savedSize_;
    QSize savedMinimum_;
    QSize savedMaximum_;
};

} // namespace talvence
