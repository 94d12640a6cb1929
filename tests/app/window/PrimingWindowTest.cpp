// The MovieBox priming window: its instructions, and the main window priming a MovieBox once
// between two clearings of the flag, beside a DV camcorder that is never primed. The MovieBox is
// a stream source with the box's class id, with stand-ins for its two demultiplexers.

#include "app/window/CaptureForm.h"
#include "app/window/PreviewWidget.h"
#include "app/window/TamorcerForm.h"
#include "app/window/panels/SourcesFrame.h"
#include "tests/app/window/FakeMovieBox.h"
#include "tests/app/window/FormTestSupport.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvence {
namespace {

// The user picks the entry of that name in the video source list.
void Choose(QComboBox* list, const char* name) {
    const int index = list->findText(name);
    ASSERT_GE(index, 0) << name;
    list->setCurrentIndex(index);
    emit list->activated(index);
}

using PrimingTest = windowtest::FormTest;

TEST_F(PrimingTest, TheInstructionsKeepTheirTextsAndStyles) {
    TamorcerForm window;

    EXPECT_TRUE(window.isHidden());
    EXPECT_EQ(window.size(), QSize(700, 400));
    EXPECT_EQ(window.windowTitle(), "Settings of the MovieBox USB for Talvence 4.1.3");
    EXPECT_EQ(window.Memo2->pos(), QPoint(302, 9));
    EXPECT_FALSE(window.Image1->pixmap().isNull());
    const QString text = window.re->toPlainText();
    EXPECT_TRUE(text.startsWith("Check if the Moviebox is well launched.\n\nLaunch first Studio of "
                                "Pinnacle and verify"));
    EXPECT_TRUE(text.contains(" Studio then Talvence 4.1.3.\n\nYou can also verify"));
    EXPECT_TRUE(text.endsWith("bitrate of the Mpeg2 stream  (value Bitrate)."));
    EXPECT_FALSE(text.contains('\r'));
    // title, key, name and plain pieces
    auto format = [&](const QString& piece) {
        QTextCursor at = window.re->document()->find(piece);
        EXPECT_FALSE(at.isNull()) << piece.toStdString();
        return at.charFormat();
    };
    const QTextCharFormat title = format("well launched"), key = format("I2C Utilities"),
                          name = format("Video Source"), plain = format("is composite");
    EXPECT_EQ(title.fontPointSize(), 14);
    EXPECT_EQ(title.fontWeight(), QFont::Bold);
    EXPECT_EQ(title.foreground().color(), QColor(Qt::blue));
    EXPECT_EQ(key.fontPointSize(), 10);
    EXPECT_TRUE(key.fontWeight() == QFont::Bold && key.fontItalic());
    EXPECT_EQ(key.foreground().color(), QColor(Qt::blue));
    EXPECT_TRUE(name.fontWeight() == QFont::Normal && name.fontItalic());
    EXPECT_EQ(name.foreground().color(), QColor(Qt::black));
    EXPECT_TRUE(plain.fontWeight() == QFont::Normal && !plain.fontItalic());
    EXPECT_EQ(plain.foreground().color(), QColor(Qt::black));
    EXPECT_EQ(plain.fontFamilies().toStringList().value(0), "Times New Roman");
}

TEST_F(PrimingTest, TheMovieBoxIsPrimedOnceUntilTheSourcesAreRefreshedOrTheDeviceIsLost) {
    auto form = MakeForm("dv");
    TCaptureForm& f = *form;
    AddMovieBox(f.Core().Registry());
    QComboBox* list = f.SourcesFrame->cboxvideo;
    bool shownDetached = false;
    dialogs.onFrame = [&](const std::vector<IPropertyPage*>&) {
        shownDetached = f.PrimingWindow()->isVisible() && !f.Core().PreviewWindow().FrameSink();
    };

    // The camcorder, selected at start-up and kept by a refresh, is never primed.
    f.SourcesFrame->ActualiserVideoSpeedBtn->click();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "Virtual DV Camcorder");
    EXPECT_TRUE(dialogs.frameCaptions.empty());
    EXPECT_FALSE(f.MovieBoxPrimed());
    EXPECT_EQ(f.PrimingWindow()->windowTitle(),
              "Launch the MovieBox USB - to make it active with Talvence");

    // The MovieBox chosen: the frame beside the instructions, without pages.
    dialogs.frameAnswers = {false, true, true};
    Choose(list, "MovieBox USB");
    ASSERT_EQ(dialogs.frameCaptions.size(), 1u);
    EXPECT_EQ(dialogs.frameCaptions[0], "the MovieBox USB for  Talvence 4.1.3 En");
    EXPECT_TRUE(dialogs.framePages[0].empty());
    ASSERT_EQ(dialogs.framePlacements.size(), 1u);
    EXPECT_EQ(dialogs.framePlacements[0].owner, f.PrimingWindow()->Memo2);
    EXPECT_EQ(dialogs.framePlacements[0].x, 0);
    EXPECT_EQ(dialogs.framePlacements[0].y, 0);
    EXPECT_TRUE(shownDetached);
    EXPECT_TRUE(f.MovieBoxPrimed());
    EXPECT_FALSE(f.PrimingWindow()->isVisible());
    EXPECT_EQ(f.Core().PreviewWindow().FrameSink(), static_cast<IVideoFrameSink*>(f.vwEcran));

    // Chosen again: no second priming.
    Choose(list, "Virtual DV Camcorder");
    Choose(list, "MovieBox USB");
    EXPECT_EQ(dialogs.frameCaptions.size(), 1u);

    // A refresh and a lost device each clear the flag; a device change while the frame is open
    // does not open a second one.
    f.SourcesFrame->ActualiserVideoSpeedBtn->click();
    EXPECT_EQ(list->currentText(), "MovieBox USB");
    EXPECT_EQ(dialogs.frameCaptions.size(), 2u);
    dialogs.onFrame = [&](const std::vector<IPropertyPage*>&) { f.GraphDeviceLost(); };
    f.GraphDeviceLost();
    EXPECT_EQ(dialogs.frameCaptions.size(), 3u);
    EXPECT_TRUE(f.MovieBoxPrimed());
    EXPECT_TRUE(dialogs.frameAnswers.empty());
}

TEST_F(PrimingTest, AFrameThatFailsToOpenStillPrimesTheBox) {
    auto form = MakeForm(nullptr);
    TCaptureForm& f = *form;
    AddMovieBox(f.Core().Registry());
    dialogs.frameAnswers = {true};
    dialogs.onFrame = [](const std::vector<IPropertyPage*>&) {
        throw std::runtime_error("the frame cannot open");
    };

    f.SourcesFrame->ActualiserVideoSpeedBtn->click();
    ASSERT_EQ(f.SourcesFrame->cboxvideo->currentText(), "MovieBox USB");
    EXPECT_EQ(dialogs.frameCaptions.size(), 1u);
    EXPECT_TRUE(f.MovieBoxPrimed());
    EXPECT_FALSE(f.PrimingWindow()->isVisible());
    EXPECT_EQ(f.Core().PreviewWindow().FrameSink(), static_cast<IVideoFrameSink*>(f.vwEcran));

    f.SelectVideoSource();
    EXPECT_EQ(dialogs.frameCaptions.size(), 1u);
}

} // namespace
} // namespace talvence
