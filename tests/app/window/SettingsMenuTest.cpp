// The device settings menu in the window, offscreen: the analogue card's entries and inputs
// under the video settings button, a page edited and kept with the preview back afterwards, a
// route switched from the "Video Input" submenu, and "[No settings]" for the camcorder. And
// webcams plugged in and out while the window runs.

#include "tests/app/window/FormTestSupport.h"

#include "app/window/panels/SourcesFrame.h"
#include "platform/devices/v4l2/V4l2Pages.h"
#include "platform/shell/FieldPage.h"

#include <QComboBox>
#include <QMenu>
#include <QToolButton>
#include <linux/videodev2.h>

namespace talvence::windowtest {
namespace {

class SettingsMenuTest : public FormTest {
protected:
    static QStringList Texts(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QString("-") : a->text());
        return out;
    }
    static QAction* Find(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    }
};

TEST_F(SettingsMenuTest, TheAnalogueCardsPagesAndInputsFromTheVideoSettingsButton) {
    // Setup
    auto form = MakeForm("analog");
    TCaptureForm& f = *form;
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::Preview; })) << f.StartupErrorText();

    // Exercise: the button opens the menu.
    f.SourcesFrame->SettingsSpeedBtn->click();
    ASSERT_TRUE(Pump([&] { return f.pmSettings->isVisible(); }));
    const QStringList texts = Texts(f.pmSettings);
    f.pmSettings->hide();

    // Verification
    EXPECT_EQ(texts, (QStringList{"Video Capture Filter...", "Video Capture Pin...",
                                  "Video Crossbar...", "-", "Video Input"}));
    QMenu* inputs = Find(f.pmSettings, "Video Input")->menu();
    ASSERT_TRUE(inputs);
    EXPECT_EQ(Texts(inputs), (QStringList{"Video Tuner", "Video Composite", "Video SVideo"}));
    EXPECT_TRUE(inputs->actions()[0]->isChecked());

    // The controls page, edited and confirmed: kept for the device, and the preview is back.
    dialogs.frameAnswers = {true};
    dialogs.onFrame = [](const std::vector<IPropertyPage*>& pages) {
        static_cast<TFieldPropertyPage*>(pages[0])->Model().Change(0, 200);
    };
    Find(f.pmSettings, "Video Capture Filter...")->trigger();
    ASSERT_EQ(dialogs.framePages.size(), 1u);
    EXPECT_EQ(dialogs.framePages[0], (std::vector<std::string>{"Controls"}));
    EXPECT_EQ(LoadDeviceControls("virtual:analog:0"),
              (TControlValues{{V4L2_CID_BRIGHTNESS, 200}}));
    EXPECT_EQ(State(f), CaptureState::Preview);

    // A route from the submenu.
    inputs->actions()[2]->trigger();
    EXPECT_TRUE(inputs->actions()[2]->isChecked());
}

TEST_F(SettingsMenuTest, ACamcorderHasNoSettings) {
    // Setup
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::Preview; })) << f.StartupErrorText();

    // Exercise
    f.SettingsMenuPopup();

    // Verification
    ASSERT_EQ(Texts(f.pmSettings), QStringList{"[No settings]"});
    EXPECT_FALSE(f.pmSettings->actions()[0]->isEnabled());
}

TEST_F(SettingsMenuTest, AWebcamPluggedInIsListedAndGoesWhenUnplugged) {
    // Setup
    auto form = MakeForm("dv:pace=fast");
    TCaptureForm& f = *form;
    ASSERT_TRUE(Pump([&] { return State(f) == CaptureState::Preview; })) << f.StartupErrorText();
    TFakeV4l2DeviceConfig camera;
    camera.card = "Plugged Camera";
    camera.modes = {{V4L2_PIX_FMT_YUYV, 64, 48, 1, 30}};
    auto device = std::make_shared<TFakeV4l2Device>(camera);
    auto listed = [&] {
        return f.SourcesFrame->cboxvideo->findText("Plugged Camera") >= 0;
    };

    // Exercise / Verification
    v4l2->Add("/dev/video0", device);
    monitor->Raise();
    EXPECT_TRUE(Pump(listed));
    EXPECT_EQ(f.SourcesFrame->cboxvideo->currentText(), "Virtual DV Camcorder");
    device->Unplug();
    monitor->Raise();
    EXPECT_TRUE(Pump([&] { return !listed(); }));
    EXPECT_TRUE(Pump([&] { return State(f) == CaptureState::Preview; }));
}

} // namespace
} // namespace talvence::windowtest
