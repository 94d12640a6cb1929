#pragma once
// The main window `TCaptureForm`: the live preview of the chosen source, the three tool bars,
// the capture, cut and grab buttons, volume, the status bar, the eight side panels and the
// error panel, every action with its shortcuts, and the window's part of start-up, device loss
// and shutdown. It drives the application core (capture control, the graph module, the
// catalogue and the preferences) as `talvence-cli` does, and shows what capture control tells
// it through ICaptureWindow.
//
// Threads: the user-interface thread only. Graph events reach it through the Qt event loop; the
// preview's frames arrive through the preview widget's mailbox.

#include "app/capture/ICaptureWindow.h"
#include "app/core/ApplicationCore.h"
#include "platform/shell/Clock.h"
#include "platform/shell/Desktop.h"
#include "platform/shell/ScreenSaver.h"

#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace talvence {

class TAproposFrame;
class TcamForm;
class TDossiersFrame;
class TErreurFrame;
class TExtraireFrame;
class TGrabController;
class THelpFrame;
class TIncrusterFrame;
class TInlayController;
class TProgrammerFrame;
class TScheduleController;
class TOptionsFrame;
class TPanelFrame;
class TPreviewWidget;
class TSourcesFrame;
class TamorcerForm;

class TCaptureForm : public QWidget, public ICaptureWindow {
    Q_OBJECT
public:
    struct Services {
        IDialogs* dialogs = nullptr;
        IDesktop* desktop = nullptr;
        IScreenSaver* screenSaver = nullptr;
        PreferenceEnvironment environment;
        std::shared_ptr<TPcmPlaybackBackend> playback; // null: ALSA
        std::shared_ptr<IIeee1394System> ieee1394;     // null: the kernel's bus
        std::shared_ptr<IV4l2System> v4l2;             // null: the kernel's nodes
        std::shared_ptr<IDeviceMonitor> deviceMonitor; // null: udev
        const IClock* clock = nullptr;                 // null: the system clock
    };
    // FormCreate: the controls, the application core (preferences declared and loaded) and the
    // screen saver held off. The first show runs the rest of the start-up.
    explicit TCaptureForm(Services services);
    // FormDestroy.
    ~TCaptureForm() override;

    TApplicationCore& Core() { return *core_; }
    TScheduleController& Schedule() { return *schedule_; }
    TInlayController& Inlay() { return *inlay_; }
    QAction* Action(std::string_view name) const;
    // Stills and the intervalometer.
    TGrabController& GrabControl() const { return *grabs_; }
    // The text of status-bar panel 0..3.
    QString StatusText(int panel) const;
    int ActivePanel() const;
    bool Muted() const;
    // The error text start-up collected (empty when the sources loaded).
    const std::string& StartupErrorText() const { return errorText_; }

    // --- Window operations -----------------------------------------------------------------
    void PlacePanels();
    void ShowPanel(int panel);
    void HideActivePanel();
    void LocalizeCaptions();
    void FillShortcutList();
    bool LoadVideoSources();
    bool LoadAudioSources();
    bool SelectVideoSource();
    void ApplyPreferences();
    void CollectAndSavePreferences();
    void GraphDeviceLost();
    // --- Device settings ----------------------------------------------------------------------
    // The sources panel's video settings button: the graph stopped and disconnected, the
    // settings menu popped up under the button.
    void VideoPropBtnClick();
    // The audio settings button: the audio source's pages, the graph run again around them.
    void AudiopropBtnClick();
    // The settings menu rebuilt from the current sources ("[No settings]" when it has nothing).
    void SettingsMenuPopup();
    // A dialog entry of the settings menu: its pages, then the preview again.
    void OpenSettingsEntry(int tag);
    // A route of the "Video Input" submenu.
    void VideoInputClick(int route);
    // The 50 ms statistics timer's handler.
    void DroppedActionTimer();
    // --- MovieBox priming ---------------------------------------------------------------------
    // The priming window beside the property frame of the MovieBox capture filter until the
    // user closes the frame, the preview display detached meanwhile; primed afterwards whatever
    // the frame did. SelectVideoSource runs it for a MovieBox not primed yet.
    void PrimeMovieBox();
    // The MovieBox was primed since start-up, the last device loss or the last refresh of the
    // video sources.
    bool MovieBoxPrimed() const { return movieBoxPrimed_; }
    TamorcerForm* PrimingWindow() const { return tamorcer_.get(); }

    // --- ICaptureWindow ---------------------------------------------------------------------
    void ShowNextVideoName(const std::string& name) override;
    void ShowNextImageName(const std::string& text) override;
    void ShowGrabImage(int imageIndex) override;
    void ShowCaptureFormats(const std::vector<std::string>& entries, int selected,
                            bool visible) override;
    void ShowFormatOptions(const FormatOptionsView& view) override;
    void ShowAudioTypes(const std::vector<std::string>& entries, int selected) override;
    void ShowAudioToggles(bool listen, bool auxiliary) override;
    void SetAudioGroupEnabled(bool enabled) override;
    void SetAudioGroupExpanded(bool expanded) override;
    void SetVolumeControlsVisible(bool visible) override;
    void ShowTvStandard(std::uint8_t standard) override;
    void ShowFramerateText(const std::string& text) override;
    void ShowConfirmVideo(bool checked) override;
    void ApplyStateView(const CaptureStateView& view) override;
    void UncheckCaptureToggle() override;
    void ApplyVolume() override;
    void StartInlay() override;
    void StopInlay() override;
    bool FlipChecked() const override;
    void RunFlipAction() override;
    void DisarmAlarm() override;
    void RefreshWindowsMediaProfileChoice() override;
    void AudioSourceApplied() override;

    // --- Controls, by their design names ----------------------------------------------------
    QWidget* Panel1 = nullptr;  // the preview panel
    QWidget* Shape2 = nullptr;  // its frame, coloured by the capture state
    TPreviewWidget* vwEcran = nullptr;
    QToolBar* tbActions = nullptr;
    QToolBar* tbPanneaux = nullptr;
    QToolBar* TbGeneral = nullptr;
    QPushButton* CaptureBtn = nullptr;
    QToolButton* sbCouper = nullptr;
    QPushButton* grabBtn = nullptr;
    QLabel* LabelVolume = nullptr;
    QSlider* tb = nullptr;
    QProgressBar* gaugeVolume = nullptr;
    QCheckBox* cb44100 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TSourcesFrame* SourcesFrame = nullptr;
    TDossiersFrame* DossiersFrame1 = nullptr;
    TOptionsFrame* Optionsframe = nullptr;
    THelpFrame* HelpFrame1 = nullptr;
    TAproposFrame* AproposFrame1 = nullptr;
    TExtraireFrame* ExtraireFrame1 = nullptr;
    TErreurFrame* ErreurFrame = nullptr;
    TProgrammerFrame* ProgrammerFrame1 = nullptr;
    TIncrusterFrame* IncrusterFrame1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* pmSettings = nullptr; // the device settings menu
    TcamForm* CamForm() const { return camForm_.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateActions();
    void ConnectControls();
    void FormShow();
    void RunFormShowSteps();
    QAction* AddAction(std::string_view name);
    void SetChecked(const char* name, bool checked);
    // Runs a toggle so that it ends in `checked` (the design's "run the action only when its
    // checked state differs").
    void BringToggleTo(const char* name, bool checked);
    QWidget* PanelWidget(int panel) const;
    void UpdateStatusForState();
    void ShowCaptionForSource();
    std::string SourceName() const;
    void ApplyFolderPreferencesToControls();
    void CaptureToggleExecute();
    void CutExecute();
    void GrabExecute();
    void FullscreenExecute(bool checked);
    void ReduceExecute(bool checked);
    void MuteExecute();
    void AspectExecute(bool checked);
    void DeinterlaceExecute(bool checked);
    void FlipExecute(bool checked);
    void VolumeStep(int step);
    void ClipBrowserExecute();
    void OpenVideoFolder();
    void cboxVideoChange(int index);
    void ActualiserVideoBtnClick();
    void CheckRunEnd();
    // Windows Media profile choice of the settings and sources panels.
    bool FormatIsWmv() const;
    void ShowProfileChoice(int cboxIndex);
    void FillProfileList(const std::vector<std::string>& entries, int selected);
    void ShowProfilesMenu(const QPoint& at);
    // Shows the pages in the property frame; false when there were none or it was dismissed.
    bool ShowPages(const TPageList& pages, const std::string& caption);

    Services services_;
    std::unique_ptr<TApplicationCore> core_;
    std::unique_ptr<TcamForm> camForm_;
    // The schedule and the inlay keep their logic, timer and handlers in their controllers; both
    // go before the core, whose capture control and superposer they use.
    std::unique_ptr<TScheduleController> schedule_;
    std::unique_ptr<TInlayController> inlay_;
    std::map<std::string, QAction*, std::less<>> actions_;
    std::array<QWidget*, 8> panels_{};
    std::array<QLabel*, 4> statusPanels_{};
    QTimer* droppedFramesTimer_ = nullptr;
    TGrabController* grabs_ = nullptr; // a child of the form
    bool shown_ = false;
    bool screenSaverHeld_ = false;
    bool sourceListed_ = false; // the video list holds devices
    // Made after the graph module, destroyed first.
    std::unique_ptr<TamorcerForm> tamorcer_;
    bool movieBoxPrimed_ = false;
    std::string errorText_;
    std::vector<std::string> profileEntries_; // what cboxMedia lists
};

} // namespace talvence
