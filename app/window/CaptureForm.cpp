#include "app/window/CaptureForm.h"

#include "app/window/ActionTable.h"
#include "app/window/CamForm.h"
#include "app/window/GrabController.h"
#include "app/window/InlayController.h"
#include "app/window/PreviewWidget.h"
#include "app/window/ScheduleController.h"
#include "app/window/TamorcerForm.h"
#include "app/window/WindowLogic.h"
#include "app/window/panels/AproposFrame.h"
#include "app/window/panels/DossiersFrame.h"
#include "app/window/panels/ErreurFrame.h"
#include "app/window/panels/ExtraireFrame.h"
#include "app/window/panels/HelpFrame.h"
#include "app/window/panels/IncrusterFrame.h"
#include "app/window/panels/OptionsFrame.h"
#include "app/window/panels/ProgrammerFrame.h"
#include "app/window/panels/SourcesFrame.h"
#include "graph/DeviceCategories.h"
#include "graph/WindowsMediaProfiles.h"
#include "platform/log/Log.h"
#include "platform/media/HResultText.h"
#include "platform/shell/DateTimeFormat.h"
#include "platform/shell/DiskSpace.h"
#include "platform/shell/FieldPage.h"
#include "platform/shell/LocaleProvider.h"
#include "resources/Strings.h"
#include "resources/WindowStrings.h"
#include "system/DiagnosticsReport.h"
#include "system/PSFunctions.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>

namespace talvence {

namespace {

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                          : '.';
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A tool-bar icon: the desktop theme's when it has one, else the style's, else a drawn glyph.
QIcon ActionIcon(QWidget* owner, const char* themeName, QStyle::StandardPixmap standard,
                 const QString& glyph) {
    QIcon icon = QIcon::fromTheme(themeName);
    if (!icon.isNull()) return icon;
    if (standard != QStyle::SP_CustomBase) return owner->style()->standardIcon(standard);
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x3a, 0x5f, 0x8f));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(1, 1, 22, 22, 4, 4);
    painter.setPen(Qt::white);
    QFont font("Arial", glyph.size() > 2 ? 6 : 9, QFont::Bold);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

struct IconOf {
    const char* action;
    const char* theme;
    QStyle::StandardPixmap standard;
    const char* glyph;
};
constexpr IconOf kIcons[] = {
    {"acfullscreen", "view-fullscreen", QStyle::SP_TitleBarMaxButton, ""},
    {"acMute", "audio-volume-high", QStyle::SP_MediaVolume, ""},
    {"acIncruster", "insert-text", QStyle::SP_CustomBase, "T"},
    {"acVMRKeepratio", "zoom-fit-best", QStyle::SP_CustomBase, "4:3"},
    {"acDesentrelacer", "view-media-equalizer", QStyle::SP_CustomBase, "DI"},
    {"acFlip", "object-flip-vertical", QStyle::SP_ArrowDown, ""},
    {"acSourcesFrame", "video-display", QStyle::SP_ComputerIcon, ""},
    {"acDossiersFrame", "folder", QStyle::SP_DirIcon, ""},
    {"acProgrammerFrame", "appointment-new", QStyle::SP_CustomBase, "P"},
    {"acExtraireFrame", "camera-photo", QStyle::SP_CustomBase, "G"},
    {"acIncrusterFrame", "format-text-bold", QStyle::SP_CustomBase, "I"},
    {"acOptionsFrame", "preferences-system", QStyle::SP_FileDialogDetailedView, ""},
    {"acHelp", "help-contents", QStyle::SP_DialogHelpButton, ""},
    {"acApropos", "help-about", QStyle::SP_MessageBoxInformation, ""},
    {"acQuitter", "application-exit", QStyle::SP_DialogCloseButton, ""},
    {"acCouper", "edit-cut", QStyle::SP_CustomBase, "X"},
    {"acCapturerBascule", "media-record", QStyle::SP_MediaPlay, ""},
    {"acGrab", "camera-photo", QStyle::SP_CustomBase, "G"},
    {"acOuvrirDossierVideos", "folder-open", QStyle::SP_DirOpenIcon, ""},
    {"acTernadex", "video-x-generic", QStyle::SP_FileDialogContentsView, ""},
    {"acSauverPrefs", "document-save", QStyle::SP_DialogSaveButton, ""},
};

QColor FrameColourOf(FrameColour colour) {
    switch (colour) {
    case FrameColour::Grey: return QColor(0x80, 0x80, 0x80);
    case FrameColour::ButtonFace: return QColor(0xd4, 0xd0, 0xc8);
    case FrameColour::Red: return Qt::red;
    case FrameColour::Yellow: return Qt::yellow;
    case FrameColour::Fuchsia: return QColor(0xff, 0x00, 0xff);
    }
    return Qt::gray;
}

// The key sequence of a shortcut text as the help panel writes secondaries ("CTRL+G").
QKeySequence KeysOf(std::string_view text) {
    QString s = Q(text);
    s.replace("CTRL", "Ctrl").replace("ALT", "Alt").replace("SHIFT", "Shift");
    return QKeySequence::fromString(s, QKeySequence::PortableText);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// FormCreate

TCaptureForm::TCaptureForm(Services services) : services_(std::move(services)) {
    setWindowTitle(strings::kProductName);
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CreateControls();
    CreateActions();

    TApplicationCore::Options options;
    options.environment = services_.environment;
    options.window = this;
    options.playback = services_.playback;
    options.ieee1394 = services_.ieee1394;
    options.v4l2 = services_.v4l2;
    options.deviceMonitor = services_.deviceMonitor;
    core_ = std::make_unique<TApplicationCore>(*services_.dialogs, options);
    camForm_ = std::make_unique<TcamForm>(
        core_->Cam().Camcorder(), [this] { return core_->Cam().SceneDetect().CurrentRecDateTime(); },
        [locale = SystemLocaleFormats()](double value) {
            return FormatDateTime("dddd ddddd tt", value, locale);
        });
    schedule_ = std::make_unique<TScheduleController>(
        *ProgrammerFrame1, *Action("acProgrammerBascule"), core_->Control(), core_->Prefs(),
        *services_.dialogs, services_.clock ? *services_.clock : SystemClock(),
        [this] { UpdateStatusForState(); });
    inlay_ = std::make_unique<TInlayController>(
        *IncrusterFrame1, *Panel1,
        TInlayController::Actions{Action("acIncruster"), Action("acStartIncruster"),
                                  Action("acStopIncruster"), Action("acSliders")},
        core_->Prefs(), core_->Cam().Superposer(), *services_.dialogs);

    // The screen saver stays off while the program runs.
    screenSaverHeld_ = services_.screenSaver &&
                       services_.screenSaver->Inhibit(strings::kProductName, "Video preview");
    // Image-by-image mode starts off.
    core_->Control().SetImageByImageMode(false);
    ConnectControls();
    grabs_ = new TGrabController(*this, *ExtraireFrame1, *services_.dialogs,
                                 [this](const QString& text) { statusPanels_[0]->setText(text); });

    droppedFramesTimer_ = new QTimer(this);
    droppedFramesTimer_->setInterval(50);
    connect(droppedFramesTimer_, &QTimer::timeout, this, [this] { DroppedActionTimer(); });
    droppedFramesTimer_->start();

    tamorcer_ = std::make_unique<TamorcerForm>();
}

TCaptureForm::~TCaptureForm() {
    tamorcer_.reset();
    // The renderer must not hand frames to a widget that is going.
    if (core_) {
        // The camcorder stops before the graph module lets its transport go.
        camForm_->StopIfAsked();
        core_->StopGraph();
        core_->PreviewWindow().SetFrameSink(nullptr);
    }
    if (screenSaverHeld_) services_.screenSaver->UnInhibit();
    schedule_.reset();
    inlay_.reset();
    core_.reset();
}

void TCaptureForm::CreateControls() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(10, kPanelTop, 415, 321);
    Shape2 = new QWidget(Panel1);
    Shape2->setObjectName("Shape2");
    Shape2->setGeometry(8, 8, 400, 304);
    Shape2->setAutoFillBackground(true);
    vwEcran = new TPreviewWidget(Panel1);
    vwEcran->setObjectName("vwEcran");
    vwEcran->setGeometry(16, 16, 384, 288);

    tbActions = new QToolBar(this);
    tbPanneaux = new QToolBar(this);
    TbGeneral = new QToolBar(this);
    for (QToolBar* bar : {tbActions, tbPanneaux, TbGeneral}) {
        bar->setStyleSheet("QToolBar { spacing: 1px; padding: 0px; border: none; }");
        bar->layout()->setContentsMargins(0, 0, 0, 0);
        bar->setMovable(false);
        bar->setFloatable(false);
    }

    sbCouper = new QToolButton(this);
    CaptureBtn = new QPushButton(this);
    grabBtn = new QPushButton(this);
    LabelVolume = new QLabel(this);
    tb = new QSlider(Qt::Horizontal, this);
    tb->setRange(0, 10000);
    tb->setSingleStep(100);
    tb->setPageStep(1000);
    gaugeVolume = new QProgressBar(this);
    gaugeVolume->setRange(0, 100);
    gaugeVolume->setTextVisible(false);
    cb44100 = new QCheckBox(this);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, kClientHeight - 22, kClientWidth, 22);
    StatusBar1->setAutoFillBackground(true);
    for (int i = 0; i < 4; ++i) {
        statusPanels_[i] = new QLabel(StatusBar1);
        statusPanels_[i]->setFixedWidth(175);
        statusPanels_[i]->setAlignment(Qt::AlignCenter);
        statusPanels_[i]->setFrameShape(QFrame::StyledPanel);
        StatusBar1->addWidget(statusPanels_[i]);
    }
    StatusBar1->installEventFilter(this);

    SourcesFrame = new TSourcesFrame(this);
    DossiersFrame1 = new TDossiersFrame(this);
    Optionsframe = new TOptionsFrame(this);
    HelpFrame1 = new THelpFrame(this);
    AproposFrame1 = new TAproposFrame(this);
    ExtraireFrame1 = new TExtraireFrame(this);
    panels_ = {SourcesFrame,
               DossiersFrame1,
               ProgrammerFrame1 = new TProgrammerFrame(this),
               ExtraireFrame1,
               IncrusterFrame1 = new TIncrusterFrame(this),
               Optionsframe,
               HelpFrame1,
               AproposFrame1};
    for (QWidget* panel : panels_)
        panel->hide();
    ErreurFrame = new TErreurFrame(this, this, [this](const QUrl& url) {
        services_.desktop->OpenUrl(url.toString(QUrl::FullyEncoded).toStdString());
    });
    ErreurFrame->hide();
}

QAction* TCaptureForm::AddAction(std::string_view name) {
    auto* action = new QAction(this);
    action->setObjectName(Q(name));
    actions_.emplace(std::string(name), action);
    addAction(action);
    // The full-screen preview is a window of its own: the shortcuts work there too.
    vwEcran->addAction(action);
    return action;
}

void TCaptureForm::CreateActions() {
    for (const ActionSpec& spec : MainWindowActions()) {
        QAction* action = AddAction(spec.name);
        action->setCheckable(spec.checkable);
        QList<QKeySequence> keys;
        if (!spec.shortcut.empty()) keys << QKeySequence::fromString(Q(spec.shortcut));
        if (!spec.secondary.empty()) keys << KeysOf(spec.secondary);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    for (const IconOf& icon : kIcons)
        Action(icon.action)->setIcon(ActionIcon(this, icon.theme, icon.standard, icon.glyph));

    // Buttons of a fixed size: six must fit the 174 pixels PlacePanels gives the panels bar.
    auto addButtons = [this](QToolBar* bar, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            auto* button = new QToolButton(bar);
            button->setDefaultAction(Action(name));
            button->setFixedSize(26, 26);
            button->setIconSize(QSize(20, 20));
            button->setAutoRaise(true);
            QAction* slot = bar->addWidget(button);
            // A hidden action takes its button off the bar.
            QAction* action = Action(name);
            connect(action, &QAction::visibleChanged, slot,
                    [slot, action] { slot->setVisible(action->isVisible()); });
        }
    };
    addButtons(tbActions, {"acfullscreen", "acMute", "acIncruster", "acVMRKeepratio",
                           "acDesentrelacer", "acFlip"});
    addButtons(tbPanneaux, {"acSourcesFrame", "acDossiersFrame", "acProgrammerFrame",
                            "acExtraireFrame", "acIncrusterFrame", "acOptionsFrame"});
    addButtons(TbGeneral, {"acHelp", "acApropos", "acQuitter"});
    // Fixed widths: the panels tool bar must fit the 174 pixels PlacePanels gives it.
    tbActions->setGeometry(0, 4, 6 * 28 + 4, 30);
    tbPanneaux->setGeometry(0, 4, 6 * 28 + 4, 30);
    TbGeneral->setGeometry(kClientWidth - (3 * 28 + 4) - 4, 4, 3 * 28 + 4, 30);
    sbCouper->setDefaultAction(Action("acCouper"));
    sbCouper->setToolButtonStyle(Qt::ToolButtonIconOnly);

    // The pop-up menu of the window and the preview.
    pmSettings = new QMenu(this);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addActions({Action("acCapturerBascule"), Action("acCouper"), Action("acGrab")});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({Action("acfullscreen"), Action("acReduire")});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions(
        {Action("acMute"), Action("acIncruster"), Action("acFlip"), Action("acVMRKeepratio")});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({Action("acSliders"), Action("acDesentrelacer")});
    PopupMenu1->addSeparator();
    QMenu* settings = PopupMenu1->addMenu(strings::kSettingsSubMenu);
    settings->setToolTip(strings::kSettingsSubMenuHint);
    settings->setToolTipsVisible(true);
    for (const char* name : {"acSourcesFrame", "acDossiersFrame", "acProgrammerFrame",
                             "acExtraireFrame", "acIncrusterFrame", "acOptionsFrame", "acHelp",
                             "acApropos"})
        settings->addAction(Action(name));
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Action("acQuitter"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(mapToGlobal(at)); });
    connect(vwEcran, &TPreviewWidget::contextMenuAsked, this,
            [this](const QPoint& at) { PopupMenu1->popup(at); });
}

QAction* TCaptureForm::Action(std::string_view name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void TCaptureForm::SetChecked(const char* name, bool checked) {
    QSignalBlocker block(Action(name));
    Action(name)->setChecked(checked);
}

void TCaptureForm::BringToggleTo(const char* name, bool checked) {
    if (Action(name)->isChecked() != checked) Action(name)->trigger();
}

QWidget* TCaptureForm::PanelWidget(int panel) const {
    return panel >= 0 && panel < 8 ? panels_[static_cast<std::size_t>(panel)] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TCaptureForm::ConnectControls() {
    TPreferences& prefs = core_->Prefs();
    TCaptureControl& control = core_->Control();
    auto on = [this](const char* name, auto handler) {
        connect(Action(name), &QAction::triggered, this, handler);
    };

    on("acCapturerBascule", [this] { CaptureToggleExecute(); });
    on("acCouper", [this] { CutExecute(); });
    on("acGrab", [this] { GrabExecute(); });
    on("acfullscreen", [this](bool checked) { FullscreenExecute(checked); });
    on("acReduire", [this](bool checked) { ReduceExecute(checked); });
    on("acMute", [this] { MuteExecute(); });
    on("acVMRKeepratio", [this](bool checked) { AspectExecute(checked); });
    on("acFlip", [this](bool checked) { FlipExecute(checked); });
    on("acDesentrelacer", [this](bool checked) { DeinterlaceExecute(checked); });
    on("acIncVolume", [this] { VolumeStep(1000); });
    on("acDecVolume", [this] { VolumeStep(-1000); });
    on("acQuitter", [this] { close(); });
    on("acTernadex", [this] { ClipBrowserExecute(); });
    on("acOuvrirDossierVideos", [this] { OpenVideoFolder(); });
    on("acSauverPrefs", [this] {
        CollectAndSavePreferences();
        Optionsframe->cbPrefsQuittant->setChecked(false);
    });
    on("acJpgOption", [this] { grabs_->ImageFormatClick(1); });
    on("acBmpOption", [this] { grabs_->ImageFormatClick(0); });
    on("acEcouterAudioInclus", [&control](bool checked) { control.ListenExecute(checked); });
    on("acEnregistrerAudioSource", [&control](bool checked) { control.AuxiliaryExecute(checked); });
    on("acBasculerPanneau", [this, &prefs] {
        prefs.ecranGauche->value = !prefs.ecranGauche->value;
        if (!Action("acReduire")->isChecked()) PlacePanels();
    });
    on("acNextPanneau", [this] { ShowPanel((ActivePanel() + 1) % 8); });
    for (const ActionSpec& spec : MainWindowActions())
        if (spec.panel >= 0)
            on(std::string(spec.name).c_str(), [this, panel = spec.panel] { ShowPanel(panel); });
    // The camera actions run the camcorder window's, shown or not.
    Tnav_captureframe* nav = camForm_->nav_captureframe1;
    for (auto [name, target] : {std::pair{"camPlay", nav->PlayAction},
                                {"camPause", nav->PauseAction},
                                {"camStop", nav->StopAction},
                                {"camAvanceLent", nav->AvanceLentAction},
                                {"camAvanceRapide", nav->AvanceRapideAction},
                                {"camReculeLent", nav->ReculeLentAction},
                                {"camReculeRapide", nav->ReculeRapideAction}})
        connect(Action(name), &QAction::triggered, target, &QAction::trigger);
    connect(SourcesFrame->PilotSpeedBtn, &QToolButton::clicked, this, [this, &prefs] {
        prefs.showPilotDv->value = !prefs.showPilotDv->value;
        camForm_->SetVisibleFor(prefs.showPilotDv->value);
    });

    connect(CaptureBtn, &QPushButton::clicked, Action("acCapturerBascule"), &QAction::trigger);
    connect(grabBtn, &QPushButton::clicked, Action("acGrab"), &QAction::trigger);
    connect(vwEcran, &TPreviewWidget::clicked, Action("acGrab"), &QAction::trigger);
    connect(tb, &QSlider::valueChanged, this, [this, &prefs](int value) {
        prefs.volume->value = value;
        ApplyVolume();
    });
    connect(cb44100, &QCheckBox::clicked, this, [this, &prefs](bool checked) {
        prefs.forcer44100EnDv->value = checked;
        core_->Cam().ForceDvAudio44100(checked ? 44100 : 0);
    });

    // Sources panel.
    SourcesFrame->SetPreferences(&prefs);
    SourcesFrame->sbVideo->setDefaultAction(Action("acOuvrirDossierVideos"));
    SourcesFrame->sbTernadex->setDefaultAction(Action("acTernadex"));
    connect(SourcesFrame->cbEcouterAudio, &QCheckBox::clicked, Action("acEcouterAudioInclus"),
            &QAction::trigger);
    connect(SourcesFrame->cbEnregistrerAudio, &QCheckBox::clicked,
            Action("acEnregistrerAudioSource"), &QAction::trigger);
    connect(SourcesFrame->cboxvideo, &QComboBox::activated, this,
            [this](int index) { cboxVideoChange(index); });
    connect(SourcesFrame->ActualiserVideoSpeedBtn, &QToolButton::clicked, this,
            [this] { ActualiserVideoBtnClick(); });
    connect(SourcesFrame->SettingsSpeedBtn, &QToolButton::clicked, this,
            [this] { VideoPropBtnClick(); });
    connect(SourcesFrame->ReglerAudioBtn, &QToolButton::clicked, this,
            [this] { AudiopropBtnClick(); });
    connect(pmSettings, &QMenu::aboutToShow, this, [this] { SettingsMenuPopup(); });
    connect(SourcesFrame->cbFormatCapture, &QComboBox::activated, this,
            [&control](int index) { control.SelectCaptureFormatEntry(index); });
    connect(SourcesFrame->cboxAudioType, &QComboBox::activated, this,
            [&control](int index) { control.SelectAudioType(index); });
    connect(SourcesFrame->cboxAudio, &QComboBox::activated, this, [this, &control](int) {
        control.AudioDeviceChanged(SourcesFrame->cboxAudio->currentText().toStdString());
    });
    connect(SourcesFrame->leFramerate, &QLineEdit::editingFinished, this, [this, &control] {
        control.FramerateExit(SourcesFrame->leFramerate->text().toStdString(),
                              LocaleDecimalSeparator());
    });
    connect(SourcesFrame->RXspinCorrEdit, &QSpinBox::valueChanged, this,
            [&prefs](int value) { prefs.correctionSync->value = value; });
    connect(SourcesFrame->rgStandard, &TRadioGroup::clicked, this, [&prefs](int index) {
        prefs.standardDv->value = static_cast<std::uint8_t>(std::max(index, 0));
    });
    connect(SourcesFrame->rgProfiles, &TRadioGroup::clicked, this,
            [&prefs](int index) { prefs.profileWmv->value = index; });
    connect(SourcesFrame->sbDone, &QToolButton::clicked, this,
            [this] { SetAudioGroupExpanded(false); });
    connect(SourcesFrame->LabelVideo, &TClickLabel::clicked, this, [this] { ShowPanel(1); });
    connect(SourcesFrame->Label1, &TClickLabel::clicked, this, [this] { ShowPanel(5); });

    // Folders panel.
    DossiersFrame1->sbVideo->setDefaultAction(Action("acOuvrirDossierVideos"));
    connect(DossiersFrame1->sbImage, &QToolButton::clicked, this,
            [this, &prefs] { services_.desktop->OpenPath(prefs.imageDirectory->value); });
    connect(DossiersFrame1->LabelVideo, &TClickLabel::clicked, this, [this] { ShowPanel(0); });
    connect(DossiersFrame1->LabelImage, &TClickLabel::clicked, this, [this] { ShowPanel(3); });
    connect(DossiersFrame1->VideoDirEdit, &TBrowseEdit::changed, this,
            [&prefs, &control](const QString& text) {
                prefs.videoDirectory->value = text.toStdString();
                control.VideoNamingChanged();
            });
    connect(DossiersFrame1->VideoRacineEdit, &QLineEdit::editingFinished, this,
            [this, &prefs, &control] {
                prefs.videoRacine->value = DossiersFrame1->VideoRacineEdit->text().toStdString();
                control.VideoNamingChanged();
            });
    connect(DossiersFrame1->cbVideoDate, &QCheckBox::clicked, this,
            [&prefs, &control](bool checked) {
                prefs.videoDate->value = checked;
                control.VideoNamingChanged();
            });
    connect(DossiersFrame1->ImageDirEdit, &TBrowseEdit::changed, this,
            [&prefs, &control](const QString& text) {
                prefs.imageDirectory->value = text.toStdString();
                control.ImageNamingChanged();
            });
    connect(DossiersFrame1->ImageRacineEdit, &QLineEdit::editingFinished, this,
            [this, &prefs, &control] {
                prefs.imageRacine->value = DossiersFrame1->ImageRacineEdit->text().toStdString();
                control.ImageNamingChanged();
            });
    connect(DossiersFrame1->cbImageDate, &QCheckBox::clicked, this,
            [&prefs, &control](bool checked) {
                prefs.imageDate->value = checked;
                control.ImageNamingChanged();
            });
    connect(DossiersFrame1->feTernadex, &TBrowseEdit::changed, this,
            [&prefs](const QString& text) { prefs.ternadex->value = text.toStdString(); });

    // Settings panel.
    Optionsframe->SpeedButton1->setDefaultAction(Action("acSauverPrefs"));
    connect(Optionsframe->SpeedButton2, &QToolButton::clicked, this, [this] {
        DeletePreferences(*services_.dialogs);
        Optionsframe->cbPrefsQuittant->setChecked(false);
    });
    connect(Optionsframe->cbConfirmerImage, &QCheckBox::clicked, this,
            [&prefs](bool checked) { prefs.confirmerImage->value = checked; });
    connect(Optionsframe->cbConfirmerVideo, &QCheckBox::clicked, this,
            [&prefs](bool checked) { prefs.confirmerVideo->value = checked; });
    connect(Optionsframe->cbScn, &QCheckBox::clicked, this,
            [&prefs](bool checked) { prefs.scn->value = checked; });
    connect(Optionsframe->rgExtension, &TRadioGroup::clicked, this,
            [this](int index) { grabs_->ImageFormatClick(index); });
    connect(Optionsframe->TrackBar1, &QSlider::valueChanged, this,
            [&prefs](int value) { prefs.qualiteJpeg->value = value; });

    // The Windows Media profile: version, system profile, default profiles, the label's menu.
    connect(Optionsframe->rgversion, &TRadioGroup::clicked, this, [this, &prefs](int index) {
        prefs.versionWmv->value = index;
        FillProfileList(ListWindowsMediaProfiles(core_->Cam().ProfileManager(), index), 0);
        ShowProfileChoice(0);
    });
    connect(Optionsframe->cboxMedia, &QComboBox::activated, this,
            [this](int index) { ShowProfileChoice(index); });
    SourcesFrame->Label1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SourcesFrame->Label1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowProfilesMenu(SourcesFrame->Label1->mapToGlobal(at)); });

    AproposFrame1->sbTernadex->setDefaultAction(Action("acTernadex"));
    connect(AproposFrame1->Label1, &TClickLabel::clicked, this, [this] {
        ShowPanel(7);
        ShowPanel(6);
    });

    // The graph's device-lost and end-of-run events reach the window through the Qt event loop.
    core_->Cam().Graph().OnGraphDeviceLost = [this](IUnknown*, bool) {
        // Handled after the event handling returns: it rebuilds the graph that raised it.
        QMetaObject::invokeMethod(this, [this] { GraphDeviceLost(); }, Qt::QueuedConnection);
    };
    // A camcorder plugged in (or out) on the IEEE 1394 bus: the lists are made again.
    core_->WatchDevices([this] {
        QMetaObject::invokeMethod(this, [this] { GraphDeviceLost(); }, Qt::QueuedConnection);
    });
    // So for a webcam, a card or a sound device; but not under a running capture, which another
    // device's coming or going must not end (its own device's loss ends it through the graph).
    core_->WatchPluggedDevices([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                const CaptureState state = core_->Control().State();
                if (state != CaptureState::Capturing && state != CaptureState::ScheduledCapture)
                    GraphDeviceLost();
            },
            Qt::QueuedConnection);
    });
}

bool TCaptureForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar1 && event->type() == QEvent::MouseButtonPress) {
        OpenVideoFolder();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TCaptureForm::CaptureToggleExecute() {
    core_->Control().CaptureToggle();
    const CaptureState state = core_->Control().State();
    SetChecked("acCapturerBascule",
               state == CaptureState::Capturing || state == CaptureState::ScheduledCapture);
    if (const std::string& failure = core_->Control().LastFailure();
        !failure.empty() && state == CaptureState::Preview)
        TLOG(Capture) << "the capture did not start: " << failure;
}

void TCaptureForm::CutExecute() {
    core_->Control().Cut();
}

void TCaptureForm::GrabExecute() {
    grabs_->GrabExecute();
}

void TCaptureForm::FullscreenExecute(bool checked) {
    Action("acfullscreen")->setText(checked ? strings::kQuitFullscreen : strings::kDisplayFullscreen);
    core_->PreviewWindow().SetFullScreen(checked);
}

void TCaptureForm::ReduceExecute(bool checked) {
    if (checked) {
        Panel1->move(0, 0);
        setFixedSize(Panel1->size());
        Action("acReduire")->setText(strings::kRestore);
        Panel1->raise();
    } else {
        PlacePanels();
        Panel1->move(Panel1->x(), kPanelTop);
        setFixedSize(kClientWidth, kClientHeight);
        Action("acReduire")->setText(strings::kReduce);
    }
    ShowCaptionForSource();
}

void TCaptureForm::MuteExecute() {
    TPreferences& prefs = core_->Prefs();
    QAction* mute = Action("acMute");
    if (prefs.muteOn->value) {
        prefs.muteOn->value = false;
        mute->setChecked(false);
        mute->setText(strings::kTurnSoundOff);
        mute->setIcon(ActionIcon(this, "audio-volume-high", QStyle::SP_MediaVolume, ""));
    } else {
        prefs.muteOn->value = true;
        mute->setChecked(true);
        mute->setText(strings::kTurnSoundOn);
        mute->setIcon(ActionIcon(this, "audio-volume-muted", QStyle::SP_MediaVolumeMuted, ""));
    }
    ApplyVolume();
}

void TCaptureForm::AspectExecute(bool checked) {
    // Checked: stretched to the 4:3 window; unchecked: the source's own aspect.
    Action("acVMRKeepratio")->setText(checked ? strings::kRatioNative : strings::kRatio4x3);
    core_->PreviewWindow().SetKeepAspectRatio(!checked);
    core_->Prefs().vmrKeepAspectRatio->value = checked;
}

void TCaptureForm::DeinterlaceExecute(bool checked) {
    if (!core_->Cam().DeinterlacerPresent()) return;
    core_->Prefs().deinterlacerOn->value = checked;
    // The preview is built again with or without the deinterlacer.
    if (core_->Control().State() != CaptureState::NoSource && core_->Cam().PreviewReady())
        core_->Control().ResumePreview();
    UpdateStatusForState();
}

void TCaptureForm::FlipExecute(bool checked) {
    core_->Prefs().flipOn->value = checked;
    core_->Cam().Superposer().SetInlayFlip(checked);
}

void TCaptureForm::VolumeStep(int step) {
    TPreferences& prefs = core_->Prefs();
    prefs.volume->value = SteppedVolume(prefs.volume->value, step);
    QSignalBlocker block(tb);
    tb->setValue(prefs.volume->value);
    ApplyVolume();
}

void TCaptureForm::ClipBrowserExecute() {
    const std::string& program = core_->Prefs().ternadex->value;
    std::error_code ec;
    if (program.empty() || !std::filesystem::is_regular_file(program, ec)) {
        services_.dialogs->MessageBox(MsgType::Information,
                                      std::string(strings::kClipBrowserMissing1) + "\n" +
                                          strings::kClipBrowserMissing2,
                                      MsgButtons::Ok);
        AproposFrame1->sbTernadex->setToolTip(strings::kClipBrowserMissingHint);
        return;
    }
    AproposFrame1->sbTernadex->setToolTip(strings::kClipBrowserHint);
    const TCaptureControl& control = core_->Control();
    const auto arguments =
        ClipBrowserArguments(control.NextVideoFile(), control.VideoCounter(),
                             [](const std::string& path) {
                                 std::error_code e;
                                 return std::filesystem::exists(path, e);
                             });
    services_.desktop->StartProgram(program, arguments);
}

void TCaptureForm::OpenVideoFolder() {
    services_.desktop->OpenPath(core_->Prefs().videoDirectory->value);
}

// ---------------------------------------------------------------------------------------------
// Layout and panels

void TCaptureForm::PlacePanels() {
    const PanelPlacement p = PlacePanelsGeometry(core_->Prefs().ecranGauche->value, TbGeneral->x());
    Panel1->move(p.previewPanel, Panel1->y());
    const int row1 = kPanelTop + 321 + 6;
    const int row2 = row1 + 40;
    sbCouper->setGeometry(p.cutButton, row1, 36, 34);
    CaptureBtn->setGeometry(p.captureButton, row1, 232, 34);
    grabBtn->setGeometry(p.grabButton, row1, 121, 34);
    LabelVolume->setGeometry(p.volumeLabel - 8, row2, 44, 22);
    tb->setGeometry(p.volumeSlider, row2, 148, 22);
    gaugeVolume->setGeometry(p.volumeGauge, row2 + 5, 52, 12);
    cb44100->setGeometry(p.box44100, row2, 76, 22);
    for (QWidget* panel : panels_)
        panel->move(p.panelPosition, kPanelTop);
    tbActions->move(p.actionsToolBar, 4);
    tbPanneaux->move(p.panelsToolBar, 4);
}

void TCaptureForm::ShowPanel(int panel) {
    if (panel > 7) return;
    HideActivePanel();
    core_->Prefs().panneauActif->value = static_cast<std::uint8_t>(panel);
    const int left = PlacePanelsGeometry(core_->Prefs().ecranGauche->value, TbGeneral->x())
                         .panelPosition;
    if (auto* frame = dynamic_cast<TPanelFrame*>(PanelWidget(panel))) {
        frame->ShowPanel(left);
    } else if (QWidget* w = PanelWidget(panel)) {
        w->move(left, kPanelTop);
        w->raise();
        w->show();
    }
    for (const ActionSpec& spec : MainWindowActions())
        if (spec.panel == panel) SetChecked(std::string(spec.name).c_str(), true);
}

void TCaptureForm::HideActivePanel() {
    const int active = core_->Prefs().panneauActif->value;
    if (QWidget* w = PanelWidget(active)) w->hide();
    for (const ActionSpec& spec : MainWindowActions())
        if (spec.panel == active) SetChecked(std::string(spec.name).c_str(), false);
    core_->Prefs().panneauActif->value = 0;
}

int TCaptureForm::ActivePanel() const {
    return core_->Prefs().panneauActif->value;
}

bool TCaptureForm::Muted() const {
    return core_->Prefs().muteOn->value;
}

QString TCaptureForm::StatusText(int panel) const {
    return panel >= 0 && panel < 4 ? statusPanels_[static_cast<std::size_t>(panel)]->text()
                                   : QString();
}

void TCaptureForm::LocalizeCaptions() {
    setWindowTitle(strings::kProductName);
    for (const ActionSpec& spec : MainWindowActions()) {
        QAction* action = Action(spec.name);
        action->setText(Q(spec.caption));
        action->setToolTip(spec.hint.empty() ? Q(spec.caption) : Q(spec.hint));
        action->setStatusTip(Q(spec.hint));
        action->setProperty("category", Q(spec.category));
    }
    LabelVolume->setText(strings::kVolume);
    gaugeVolume->setToolTip(strings::kVolumeGaugeHint);
    tb->setToolTip(strings::kVolumeSliderHint);
    statusPanels_[0]->setText(strings::kStatusIntervalometerOff);
    statusPanels_[1]->setText(strings::kStatusCapture);
    statusPanels_[2]->setText(strings::kStatusCapturedFrames);
    statusPanels_[3]->setText(strings::kStatusLostFrames);
    const QFont arial("Arial", 10, QFont::Bold);
    CaptureBtn->setFont(arial);
    CaptureBtn->setText(strings::kCaptureButton);
    grabBtn->setFont(arial);
    grabBtn->setText(strings::kGrabButton);
    vwEcran->setToolTip(strings::kPreviewHint);
    cb44100->setText(strings::k44100Caption);
    cb44100->setToolTip(strings::k44100Hint);
    for (TPanelFrame* frame : std::initializer_list<TPanelFrame*>{
             SourcesFrame, DossiersFrame1, ExtraireFrame1, Optionsframe, HelpFrame1, AproposFrame1,
             ProgrammerFrame1, IncrusterFrame1})
        frame->SetPanelTexts();
    inlay_->SetTexts();
    ErreurFrame->SetPanelTexts();
    camForm_->SetTexts();
    AproposFrame1->sbTernadex->setToolTip(strings::kClipBrowserHint);
}

void TCaptureForm::FillShortcutList() {
    std::vector<ShortcutSource> sources;
    std::vector<QAction*> order;
    for (const ActionSpec& spec : MainWindowActions()) {
        QAction* action = Action(spec.name);
        const QList<QKeySequence> keys = action->shortcuts();
        ShortcutSource s;
        s.caption = action->text().toStdString();
        s.shortcut = keys.isEmpty() ? "" : keys[0].toString(QKeySequence::NativeText).toStdString();
        s.secondary = keys.size() > 1 ? std::string(spec.secondary) : std::string();
        s.category = std::string(spec.category);
        s.visible = action->isVisible();
        sources.push_back(std::move(s));
        order.push_back(action);
        action->setData(-1);
    }
    const ShortcutLists lists = BuildShortcutLists(sources);
    auto rows = [&](const std::vector<ShortcutListRow>& list) {
        std::vector<ShortcutRow> out;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string& text = list[i].text;
            const auto eq = text.find('=');
            out.push_back({text.substr(0, eq), text.substr(eq + 1)});
            order[static_cast<std::size_t>(list[i].action)]->setData(static_cast<int>(i));
        }
        return out;
    };
    const auto actionRows = rows(lists.actions);
    const auto cameraRows = rows(lists.camera);
    HelpFrame1->FillLists(actionRows, cameraRows);
}

void TCaptureForm::ShowCaptionForSource() {
    setWindowTitle(Q(WindowCaption(SourceName(), Action("acReduire")->isChecked())));
}

std::string TCaptureForm::SourceName() const {
    const QComboBox* list = SourcesFrame->cboxvideo;
    return (list->currentIndex() >= 0 ? list->currentText() : list->placeholderText()).toStdString();
}

// ---------------------------------------------------------------------------------------------
// Start-up

void TCaptureForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TCaptureForm::FormShow() {
    try {
        RunFormShowSteps();
    } catch (const std::exception& e) {
        TLOG(Capture) << "start-up failed: " << e.what();
        services_.dialogs->MessageBox(MsgType::Error, strings::kInitializationFailed,
                                      MsgButtons::Ok);
    }
    FillShortcutList();
}

void TCaptureForm::RunFormShowSteps() {
    TCaptureControl& control = core_->Control();
    // The preview renderer paints into vwEcran.
    core_->PreviewWindow().SetFrameSink(vwEcran);
    movieBoxPrimed_ = false;
    LocalizeCaptions();
    tamorcer_->SetShownCaption();
    for (QWidget* panel : panels_)
        panel->hide();

    errorText_.clear();
    const bool videoLoaded = LoadVideoSources();
    const bool audioLoaded = LoadAudioSources();

    // The deinterlace action exists exactly when the deinterlacer is registered.
    const bool deinterlacer = core_->Cam().DeinterlacerPresent();
    Action("acDesentrelacer")->setVisible(deinterlacer);
    Action("acDesentrelacer")->setEnabled(deinterlacer);
    Action("acIncruster")->setVisible(true);
    Action("acFlip")->setVisible(true);

    FilterPresence presence;
    presence.dump = core_->Cam().DumpPresent();
    presence.deinterlacer = deinterlacer;
    presence.mpeg2Decoder = core_->Cam().Mpeg2DecoderIsOthers();
    presence.ownMpeg2Decoder = !presence.mpeg2Decoder && core_->Cam().Mpeg2DecoderPresent();
    presence.movieBoxDevice = core_->Cam().MovieBoxDevicePresent();
    presence.cirrusSplitter = core_->Cam().CirrusSplitterPresent();
    presence.movieBoxDemux = core_->Cam().MovieBoxDemuxPresent();
    std::vector<ReportLine> report =
        SystemReportLines(OperatingSystemName(), DirectXVersionText(), presence);
    // What kept a device from the lists (a device file the user may not open, ...).
    for (const std::string& warning : core_->StartupWarnings())
        report.push_back({warning, false, false, false, ReportLine::Colour::Red});
    if (const std::string absence = core_->Ieee1394Absence(); !absence.empty())
        report.push_back({absence, false, false, false, ReportLine::Colour::Black});
    WriteSystemReport(*HelpFrame1, report);

    ApplyPreferences();
    control.EvaluateAudioType();
    control.ResumePreview();
    if (core_->Prefs().flipOn->value && !Action("acFlip")->isChecked()) Action("acFlip")->trigger();
    const bool hideAudio = core_->Prefs().masquerReglagesAudio->value ||
                           control.Audio() != AudioType::atSoundCard;
    core_->Prefs().masquerReglagesAudio->value = hideAudio;
    SetAudioGroupExpanded(!hideAudio);
    if (CaptureBtn->isEnabled()) CaptureBtn->setFocus();

    errorText_ = talvence::StartupErrorText(!videoLoaded, !audioLoaded, DirectXVersionText(),
                                            OperatingSystemName());
    if (!errorText_.empty()) ErreurFrame->ShowErrorReport(errorText_, true);

    // What start-up found wrong is told once: the store, crashed captures, virtual devices.
    std::string notes;
    if (const std::string damage = StoreLoadReportText(core_->StoreReport()); !damage.empty())
        notes += damage + "\n";
    for (const std::string& warning : core_->StartupWarnings())
        notes += warning + "\n";
    const auto repaired = core_->RepairUnfinishedCaptures();
    if (!repaired.empty()) notes += std::string(strings::kRepairedCaptures) + "\n";
    for (const std::string& line : repaired)
        notes += line + "\n";
    if (!notes.empty())
        QTimer::singleShot(0, this, [this, notes] {
            services_.dialogs->MessageBox(MsgType::Information, notes, MsgButtons::Ok);
        });
}

void TCaptureForm::ApplyPreferences() {
    TPreferences& prefs = core_->Prefs();
    TCaptureControl& control = core_->Control();
    try {
        move(prefs.left->value, prefs.top->value);
        PlacePanels();
        ShowPanel(prefs.panneauActif->value);
        {
            QSignalBlocker block(tb);
            tb->setValue(prefs.volume->value);
        }
        if (prefs.fullscreenOn->value) Action("acfullscreen")->trigger();
        if (prefs.reducedOn->value) Action("acReduire")->trigger();
        if (prefs.muteOn->value) {
            // Start muted: the mute action's muted state.
            prefs.muteOn->value = false;
            MuteExecute();
        }
        ApplyVolume();
        SetChecked("acIncruster", prefs.incrustationOn->value);
        if (prefs.vmrKeepAspectRatio->value) Action("acVMRKeepratio")->trigger();
        if (prefs.deinterlacerOn->value && core_->Cam().DeinterlacerPresent() &&
            !Action("acDesentrelacer")->isChecked())
            Action("acDesentrelacer")->trigger();

        camForm_->move(prefs.camformLeft->value, prefs.camformTop->value);
        camForm_->cbStopQuittant->setChecked(prefs.stopperCameraDvEnQuittant->value);
        ApplyFolderPreferencesToControls();

        // The stored source, else the first; then its formats and audio.
        SourcesFrame->cboxvideo->setCurrentIndex(core_->StoredVideoSource());
        SelectVideoSource();
        if (!core_->AudioDevices().empty())
            SourcesFrame->cboxAudio->setCurrentIndex(
                IndexOrFirst(prefs.sourceAudio->value, core_->AudioDevices()));
        if (prefs.ecouterAudioInclus->value && !control.ListenOn())
            Action("acEcouterAudioInclus")->trigger();
        if (prefs.enregistrerSourceAudio->value && !control.AuxiliaryOn())
            Action("acEnregistrerAudioSource")->trigger();

        SourcesFrame->rgStandard->SetItemIndex(prefs.standardDv->value);
        SourcesFrame->rgProfiles->SetItemIndex(prefs.profileWmv->value);
        SourcesFrame->rgFrequenceDV->SetItemIndex(prefs.frequenceDv->value - 1);
        SourcesFrame->leFramerate->setText(
            QString::number(prefs.framerate->value, 'g', 6)
                .replace('.', QChar(LocaleDecimalSeparator())));
        control.CaptureFormatClick();
        cb44100->setChecked(prefs.forcer44100EnDv->value);
        {
            QSignalBlocker block(SourcesFrame->RXspinCorrEdit);
            SourcesFrame->RXspinCorrEdit->setValue(prefs.correctionSync->value);
        }

        Optionsframe->TrackBar1->setValue(prefs.qualiteJpeg->value);
        Optionsframe->rgExtension->SetItemIndex(prefs.extensionDesImages->value);
        Optionsframe->cbPrefsQuittant->setChecked(prefs.sauverPreferencesEnQuittant->value);
        Optionsframe->cbConfirmerImage->setChecked(prefs.confirmerImage->value);
        Optionsframe->cbConfirmerVideo->setChecked(prefs.confirmerVideo->value);
        Optionsframe->cbScn->setChecked(prefs.scn->value);
        const TProfileControls profiles = ApplyWindowsMediaPreferences(
            core_->Cam().ProfileManager(), FormatIsWmv(), prefs.profileWmv->value,
            prefs.versionWmv->value, prefs.profilWmvFavori->value);
        SourcesFrame->rgProfiles->SetItemIndex(profiles.profileIndex);
        Optionsframe->rgversion->SetItemIndex(profiles.versionIndex);
        FillProfileList(profiles.entries, profiles.selection.cboxIndex);
        ShowProfileChoice(profiles.selection.cboxIndex);
        inlay_->ApplyPreferences();
        grabs_->ApplyPreferences();
    } catch (const std::exception& e) {
        // The rest keeps its default state.
        TLOG(Capture) << "applying the preferences stopped: " << e.what();
    }
}

void TCaptureForm::ApplyFolderPreferencesToControls() {
    TPreferences& prefs = core_->Prefs();
    const QSignalBlocker b1(DossiersFrame1->VideoDirEdit), b2(DossiersFrame1->ImageDirEdit),
        b3(DossiersFrame1->feTernadex);
    DossiersFrame1->feTernadex->SetText(Q(prefs.ternadex->value));
    DossiersFrame1->VideoDirEdit->SetText(Q(prefs.videoDirectory->value));
    DossiersFrame1->VideoRacineEdit->setText(Q(prefs.videoRacine->value));
    DossiersFrame1->cbVideoDate->setChecked(prefs.videoDate->value);
    DossiersFrame1->ImageDirEdit->SetText(Q(prefs.imageDirectory->value));
    DossiersFrame1->ImageRacineEdit->setText(Q(prefs.imageRacine->value));
    DossiersFrame1->cbImageDate->setChecked(prefs.imageDate->value);
    // The names keep their numbers.
    core_->Control().VideoNamingChanged();
    core_->Control().ImageNamingChanged();
}

void TCaptureForm::CollectAndSavePreferences() {
    TPreferences& prefs = core_->Prefs();
    try {
        prefs.top->value = y();
        prefs.left->value = x();
        prefs.volume->value = tb->value();
        prefs.fullscreenOn->value = Action("acfullscreen")->isChecked();
        prefs.reducedOn->value = Action("acReduire")->isChecked();
        prefs.muteOn->value = Action("acMute")->isChecked();
        prefs.incrustationOn->value = Action("acIncruster")->isChecked();
        prefs.vmrKeepAspectRatio->value = Action("acVMRKeepratio")->isChecked();
        prefs.flipOn->value = Action("acFlip")->isChecked();
        if (core_->Cam().DeinterlacerPresent())
            prefs.deinterlacerOn->value = Action("acDesentrelacer")->isChecked();
        prefs.camformLeft->value = camForm_->x();
        prefs.camformTop->value = camForm_->y();
        prefs.stopperCameraDvEnQuittant->value = camForm_->cbStopQuittant->isChecked();
        prefs.ternadex->value = DossiersFrame1->feTernadex->Text().toStdString();
        prefs.videoDirectory->value = DossiersFrame1->VideoDirEdit->Text().toStdString();
        prefs.videoRacine->value = DossiersFrame1->VideoRacineEdit->text().toStdString();
        prefs.videoDate->value = DossiersFrame1->cbVideoDate->isChecked();
        prefs.imageDirectory->value = DossiersFrame1->ImageDirEdit->Text().toStdString();
        prefs.imageRacine->value = DossiersFrame1->ImageRacineEdit->text().toStdString();
        prefs.imageDate->value = DossiersFrame1->cbImageDate->isChecked();
        if (SourcesFrame->cboxvideo->currentIndex() >= 0 && sourceListed_)
            prefs.sourceVideo->value = SourceName();
        if (!core_->AudioDevices().empty())
            prefs.sourceAudio->value = SourcesFrame->cboxAudio->currentText().toStdString();
        if (core_->Control().AudioTypeEntry() >= 0)
            prefs.audioType->value = core_->Control().AudioTypeText();
        prefs.correctionSync->value = SourcesFrame->RXspinCorrEdit->value();
        const auto rate = ParseFramerate(SourcesFrame->leFramerate->text().toStdString(),
                                         LocaleDecimalSeparator());
        prefs.framerate->value = rate.value_or(kDefaultFramerate);
        prefs.masquerReglagesAudio->value = !SourcesFrame->AudioGroupExpanded();
        prefs.qualiteJpeg->value = Optionsframe->TrackBar1->value();
        prefs.sauverPreferencesEnQuittant->value = Optionsframe->cbPrefsQuittant->isChecked();
        prefs.confirmerImage->value = Optionsframe->cbConfirmerImage->isChecked();
        prefs.confirmerVideo->value = Optionsframe->cbConfirmerVideo->isChecked();
        prefs.scn->value = Optionsframe->cbScn->isChecked();
        if (Optionsframe->rgExtension->ItemIndex() >= 0)
            prefs.extensionDesImages->value = Optionsframe->rgExtension->ItemIndex();
        inlay_->CollectPreferences();
        grabs_->CollectPreferences();
    } catch (const std::exception& e) {
        TLOG(Store) << "collecting the preferences stopped: " << e.what();
    }
    // The save runs even when copying failed part-way.
    SavePreferences(core_->PreferenceList());
}

// ---------------------------------------------------------------------------------------------
// Sources

bool TCaptureForm::LoadVideoSources() {
    bool listed = false;
    try {
        listed = core_->LoadSources();
    } catch (const std::exception& e) {
        TLOG(Device) << "the video sources cannot be listed: " << e.what();
        listed = false;
    }
    QComboBox* list = SourcesFrame->cboxvideo;
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& name : core_->VideoSourceNames())
        list->addItem(Q(name));
    sourceListed_ = list->count() > 0;
    if (!sourceListed_) {
        list->setPlaceholderText(strings::kNoVideoSourceEntry);
        list->setCurrentIndex(-1);
    }
    return listed;
}

bool TCaptureForm::LoadAudioSources() {
    QComboBox* list = SourcesFrame->cboxAudio;
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& name : core_->AudioDevices())
        list->addItem(Q(name));
    const bool present = list->count() > 0;
    if (!present) list->setPlaceholderText(strings::kNoAudioSourceEntry);
    core_->Control().SetAudioDevicesPresent(present);
    return true;
}

bool TCaptureForm::SelectVideoSource() {
    TCaptureControl& control = core_->Control();
    try {
        QComboBox* list = SourcesFrame->cboxvideo;
        if (!sourceListed_ || list->currentIndex() < 0) {
            list->setPlaceholderText(strings::kStatusNoVideo);
            list->setCurrentIndex(-1);
            core_->Cam().SetKind(SourceKind::skNone);
            control.SourceSelected(SourceKind::skNone, false);
        } else if (!core_->SelectVideoSource(list->currentIndex())) {
            // A source that cannot be analysed is dropped for the rest of the run.
            TLOG(Device) << SourceName() << ": " << core_->LastError();
            QSignalBlocker block(list);
            list->removeItem(list->currentIndex());
            list->setCurrentIndex(-1);
            sourceListed_ = list->count() > 0;
            return SelectVideoSource();
        } else if (core_->Cam().Kind() == SourceKind::skMovieBox && !movieBoxPrimed_) {
            PrimeMovieBox();
        }
        inlay_->AdaptToSource(control.Kind() == SourceKind::skDv);
        ShowCaptionForSource();
        statusPanels_[2]->clear();
        statusPanels_[3]->clear();
        if (core_->Prefs().flipOn->value && !Action("acFlip")->isChecked())
            Action("acFlip")->trigger();
        return true;
    } catch (const std::exception& e) {
        TLOG(Capture) << "selecting the video source failed: " << e.what();
        return false;
    }
}

void TCaptureForm::cboxVideoChange(int) {
    TCaptureControl& control = core_->Control();
    core_->StopGraph();
    if (!SelectVideoSource()) {
        SourcesFrame->cboxvideo->setCurrentIndex(SourcesFrame->cboxvideo->count() > 0 ? 0 : -1);
        if (!SelectVideoSource()) {
            control.FallBackToNoSource();
            return;
        }
    }
    control.EvaluateAudioType();
    control.ResumePreview();
}

void TCaptureForm::ActualiserVideoBtnClick() {
    const QString remembered = SourcesFrame->cboxvideo->currentText();
    core_->StopGraph();
    movieBoxPrimed_ = false;
    if (!LoadVideoSources()) return; // the graph stays stopped
    SourcesFrame->cboxvideo->setCurrentIndex(
        IndexOrFirst(remembered.toStdString(), core_->VideoSourceNames()));
    SelectVideoSource();
    core_->Control().ResumePreview();
}

void TCaptureForm::GraphDeviceLost() {
    movieBoxPrimed_ = false;
    TCaptureControl& control = core_->Control();
    // A capture that was running leaves its name behind; its file was finished by the stop.
    control.DeviceLost();
    core_->StopGraph();
    const QString remembered = SourcesFrame->cboxvideo->currentText();
    LoadVideoSources();
    SourcesFrame->cboxvideo->setCurrentIndex(
        sourceListed_ ? IndexOrFirst(remembered.toStdString(), core_->VideoSourceNames()) : -1);
    SelectVideoSource();
    if (LoadAudioSources()) control.ApplyAudioSource();
    control.ResumePreview();
    SetChecked("acCapturerBascule", false);
}

void TCaptureForm::PrimeMovieBox() {
    // A device change handled while the frame is open selects the box again: one frame is enough.
    if (tamorcer_->isVisible()) return;
    TVideoWindow& display = core_->PreviewWindow();
    display.SetFrameSink(nullptr);
    tamorcer_->show();
    tamorcer_->raise();
    try {
        if (!core_->Cam().VideoSourceFilter()) throw std::runtime_error("no capture filter");
        // The driver's own pages are not ours to show: the frame opens with none, and the user
        // closes it once the box delivers.
        services_.dialogs->ShowPlacedPropertyFrame(
            strings::Fmt(strings::kPrimingFrameCaption,
                         {strings::kProductName, strings::kProductVersion, strings::kLanguageTag}),
            {}, tamorcer_->Memo2, 0, 0);
    } catch (const std::exception& e) {
        // Not told: the box counts as primed all the same.
        TLOG(Device) << "the MovieBox property frame did not open: " << e.what();
    }
    display.SetFrameSink(vwEcran);
    movieBoxPrimed_ = true;
    tamorcer_->hide();
}

void TCaptureForm::DroppedActionTimer() {
    const CaptureState state = core_->Control().State();
    if (state == CaptureState::Capturing || state == CaptureState::ScheduledCapture) {
        const StatusPanels texts = FrameStatisticsTexts(core_->FrameCounts());
        statusPanels_[2]->setText(Q(*texts.panel2));
        statusPanels_[3]->setText(Q(*texts.panel3));
    }
    camForm_->RefreshCamcorderDisplay();
    CheckRunEnd();
}

void TCaptureForm::CheckRunEnd() {
    const RunEnd ended = core_->TakeRunEnd();
    if (ended == RunEnd::None) return;
    TCaptureControl& control = core_->Control();
    const CaptureState state = control.State();
    if (state != CaptureState::Capturing && state != CaptureState::ScheduledCapture) return;
    // The source ended or the writer failed: the capture's files are finished and the preview
    // comes back; the user is told why.
    const std::string reason = core_->LastError();
    control.CaptureToggle();
    SetChecked("acCapturerBascule", false);
    services_.dialogs->MessageBox(
        ended == RunEnd::Failed ? MsgType::Error : MsgType::Information,
        ended == RunEnd::Failed ? strings::Fmt(strings::kCaptureStoppedOnError, {reason})
                                : std::string(strings::kSourceEndedCapture),
        MsgButtons::Ok);
}

// ---------------------------------------------------------------------------------------------
// Shutdown

void TCaptureForm::closeEvent(QCloseEvent* event) {
    // FormCloseQuery: closing is always allowed.
    core_->StopGraph();
    camForm_->hide();
    if (vwEcran->IsFullScreen()) core_->PreviewWindow().SetFullScreen(false);
    if (Optionsframe->cbPrefsQuittant->isChecked()) CollectAndSavePreferences();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// ICaptureWindow

void TCaptureForm::ShowNextVideoName(const std::string& name) {
    SourcesFrame->LabelVideo->setText(Q(name));
    DossiersFrame1->LabelVideo->setText(Q(name));
}

void TCaptureForm::ShowNextImageName(const std::string& text) {
    DossiersFrame1->LabelImage->setText(Q(text));
    ExtraireFrame1->destlabel->setText(Q(text));
}

void TCaptureForm::ShowGrabImage(int) {}

void TCaptureForm::ShowCaptureFormats(const std::vector<std::string>& entries, int selected,
                                      bool visible) {
    QComboBox* list = SourcesFrame->cbFormatCapture;
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& entry : entries)
        list->addItem(Q(entry));
    list->setCurrentIndex(selected);
    list->setVisible(visible);
}

void TCaptureForm::ShowFormatOptions(const FormatOptionsView& view) {
    SourcesFrame->rgStandard->setVisible(view.tvStandardVisible);
    SourcesFrame->rgFrequenceDV->setVisible(view.dvAudioRateVisible);
    SourcesFrame->leFramerate->setVisible(view.framerateVisible);
    SourcesFrame->leFramerateLabel->setVisible(view.framerateVisible);
    // rgProfiles: the profile choice decides (RefreshWindowsMediaProfileChoice).
}

void TCaptureForm::ShowAudioTypes(const std::vector<std::string>& entries, int selected) {
    QComboBox* list = SourcesFrame->cboxAudioType;
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& entry : entries)
        list->addItem(Q(entry));
    list->setCurrentIndex(selected);
}

void TCaptureForm::ShowAudioToggles(bool listen, bool auxiliary) {
    SetChecked("acEcouterAudioInclus", listen);
    SetChecked("acEnregistrerAudioSource", auxiliary);
    SourcesFrame->cbEcouterAudio->setChecked(listen);
    SourcesFrame->cbEnregistrerAudio->setChecked(auxiliary);
}

void TCaptureForm::SetAudioGroupEnabled(bool enabled) {
    SourcesFrame->gbAudio->setEnabled(enabled);
}

void TCaptureForm::SetAudioGroupExpanded(bool expanded) {
    SourcesFrame->SetAudioGroupExpanded(expanded);
}

void TCaptureForm::SetVolumeControlsVisible(bool visible) {
    LabelVolume->setVisible(visible);
    tb->setVisible(visible);
    gaugeVolume->setVisible(visible);
}

void TCaptureForm::ShowTvStandard(std::uint8_t standard) {
    SourcesFrame->rgStandard->SetItemIndex(standard);
}

void TCaptureForm::ShowFramerateText(const std::string& text) {
    SourcesFrame->leFramerate->setText(Q(text));
}

void TCaptureForm::ShowConfirmVideo(bool checked) {
    Optionsframe->cbConfirmerVideo->setChecked(checked);
}

void TCaptureForm::ApplyStateView(const CaptureStateView& view) {
    // Without a source the last picture goes; the graph was stopped before.
    if (view.state == CaptureState::NoSource) vwEcran->Clear();
    QPalette palette = Shape2->palette();
    palette.setColor(QPalette::Window, FrameColourOf(view.frameColour));
    Shape2->setPalette(palette);
    inlay_->SetSliderColour(FrameColourOf(view.frameColour));
    schedule_->StateEntered(view);

    for (QWidget* w : std::initializer_list<QWidget*>{
             SourcesFrame->gbVideo, SourcesFrame->SettingsSpeedBtn,
             SourcesFrame->ActualiserVideoSpeedBtn, SourcesFrame->gbAudio,
             SourcesFrame->gbFormatCapture})
        w->setEnabled(view.sourceControlsEnabled);
    if (!view.fileGroupsUnchanged) {
        Optionsframe->gbProfiles->setEnabled(view.sourceControlsEnabled);
        DossiersFrame1->gbFichier->setEnabled(view.sourceControlsEnabled);
    }
    cb44100->setVisible(view.dv44100BoxVisible);
    Action("acCouper")->setEnabled(view.cutEnabled);
    Action("acDesentrelacer")->setEnabled(view.deinterlaceEnabled &&
                                          core_->Cam().DeinterlacerPresent());

    QAction* capture = Action("acCapturerBascule");
    capture->setText(Q(view.captureCaption));
    capture->setToolTip(Q(view.captureHint));
    CaptureBtn->setText(Q(view.captureCaption));
    CaptureBtn->setToolTip(Q(view.captureHint));
    SetChecked("acCapturerBascule", view.state == CaptureState::Capturing ||
                                        view.state == CaptureState::ScheduledCapture);
    Action("acProgrammerBascule")->setText(Q(view.scheduleCaption));
    Action("acProgrammerBascule")->setToolTip(Q(view.scheduleHint));
    if (view.actionsChanged) {
        Action("acGrab")->setEnabled(view.actionsEnabled);
        grabBtn->setEnabled(view.actionsEnabled);
        capture->setEnabled(view.actionsEnabled);
        CaptureBtn->setEnabled(view.actionsEnabled);
    }
    UpdateStatusForState();
    // Each preview build probed the camcorder: its window and button follow VCR mode.
    if (camForm_ && (view.state == CaptureState::Preview || view.state == CaptureState::NoSource)) {
        const bool vcr = view.state == CaptureState::Preview && core_->Cam().Camcorder().vcrMode;
        SourcesFrame->PilotSpeedBtn->setVisible(vcr);
        if (vcr)
            camForm_->UpdateCamcorderWindow(core_->Prefs().showPilotDv->value);
        else
            camForm_->hide();
    }
}

void TCaptureForm::UpdateStatusForState() {
    const TCaptureControl& control = core_->Control();
    const TPreferences& prefs = core_->Prefs();
    StatusFacts facts;
    facts.state = control.State();
    facts.kind = control.Kind();
    facts.formatText = SourcesFrame->cbFormatCapture->currentText().toStdString();
    facts.format = CaptureFormatIndex(facts.formatText);
    facts.vcr = core_->Cam().Camcorder().vcrMode;
    facts.audio = control.Audio();
    facts.listen = prefs.ecouterAudioInclus->value;
    facts.auxiliary = prefs.enregistrerSourceAudio->value;
    facts.inlayOn = prefs.incrustationOn->value;
    facts.deinterlaced = Action("acDesentrelacer")->isChecked();
    schedule_->AlarmFields(facts.alarmHour, facts.alarmMinute, facts.alarmSecond);
    if (facts.state == CaptureState::Preview)
        facts.freeSpace = DiskSpaceFor(control.NextVideoFile());
    const StatusPanels texts = StatusTextsFor(facts);
    if (texts.panel1) statusPanels_[1]->setText(Q(*texts.panel1));
    if (texts.panel2) statusPanels_[2]->setText(Q(*texts.panel2));
    if (texts.panel3) statusPanels_[3]->setText(Q(*texts.panel3));
}

void TCaptureForm::UncheckCaptureToggle() {
    SetChecked("acCapturerBascule", false);
}

void TCaptureForm::ApplyVolume() {
    const TPreferences& prefs = core_->Prefs();
    TFilterGraph& graph = core_->Cam().Graph();
    graph.SetGraphVolume(GraphVolumeFor(prefs.muteOn->value, prefs.volume->value));
    gaugeVolume->setValue(graph.GraphVolume() / 100);
}

void TCaptureForm::StartInlay() {
    if (inlay_) inlay_->StartInlay();
}

void TCaptureForm::StopInlay() {
    if (inlay_) inlay_->StopInlay();
}

bool TCaptureForm::FlipChecked() const {
    return Action("acFlip")->isChecked();
}

void TCaptureForm::RunFlipAction() {
    Action("acFlip")->trigger();
}

void TCaptureForm::DisarmAlarm() {
    if (schedule_) schedule_->DisarmAlarm();
}

void TCaptureForm::RefreshWindowsMediaProfileChoice() {
    // Before the preferences filled the list there is no choice to show yet.
    if (!profileEntries_.empty()) ShowProfileChoice(Optionsframe->cboxMedia->currentIndex());
}

bool TCaptureForm::FormatIsWmv() const {
    const CaptureFormatRow* row = core_->Control().FormatRow();
    return row && row->index == cfWmvInlay;
}

void TCaptureForm::FillProfileList(const std::vector<std::string>& entries, int selected) {
    profileEntries_ = entries;
    QComboBox* list = Optionsframe->cboxMedia;
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& entry : entries)
        list->addItem(Q(entry));
    list->setCurrentIndex(selected);
}

void TCaptureForm::ShowProfileChoice(int cboxIndex) {
    // OptionsframecboxdivxChange: which of the default profiles and the label shows, and the
    // favourite profile the next WMV capture is configured with.
    const TProfileChoiceView view =
        OptionsframecboxdivxChange(FormatIsWmv(), profileEntries_, cboxIndex);
    SourcesFrame->rgProfiles->setVisible(view.defaultProfilesVisible);
    SourcesFrame->Label1->setVisible(view.profileLabelVisible);
    core_->Prefs().profilWmvFavori->value = view.favoriteProfile;
}

void TCaptureForm::ShowProfilesMenu(const QPoint& at) {
    QMenu menu(this);
    for (const TProfileMenuItem& item :
         pmProfilesPopup(profileEntries_, Optionsframe->cboxMedia->currentIndex())) {
        QAction* action = menu.addAction(Q(item.caption));
        action->setCheckable(true);
        action->setChecked(item.checked);
        action->setData(item.tag);
    }
    const QAction* chosen = menu.exec(at);
    if (!chosen) return;
    // capsetItem: the entry of the item becomes the list's choice.
    const TProfileSelection selection =
        capsetItem(FormatIsWmv(), profileEntries_, chosen->data().toInt());
    Optionsframe->cboxMedia->setCurrentIndex(selection.cboxIndex);
    ShowProfileChoice(selection.cboxIndex);
}

void TCaptureForm::AudioSourceApplied() {
    SettingsMenuPopup();
}

// --- Device settings ---------------------------------------------------------------------------

void TCaptureForm::SettingsMenuPopup() {
    pmSettings->clear();
    const TSettingsMenu menu = core_->Cam().BuildSettingsMenu(0);
    for (const TSettingsMenuItem& item : menu.items) {
        QAction* action = pmSettings->addAction(Q(item.caption));
        const int tag = item.tag;
        connect(action, &QAction::triggered, this, [this, tag] { OpenSettingsEntry(tag); });
    }
    if (!menu.routes.empty()) {
        pmSettings->addSeparator();
        QMenu* inputs = pmSettings->addMenu(QString(strings::kVideoInputMenu));
        auto* group = new QActionGroup(inputs);
        for (int i = 0; i < static_cast<int>(menu.routes.size()); ++i) {
            QAction* route = inputs->addAction(Q(menu.routes[std::size_t(i)]));
            route->setCheckable(true);
            route->setChecked(i == menu.checkedRoute);
            route->setData(i);
            group->addAction(route);
            connect(route, &QAction::triggered, this, [this, i] { VideoInputClick(i); });
        }
    }
    if (menu.Empty()) pmSettings->addAction(QString(strings::kNoSettings))->setEnabled(false);
}

void TCaptureForm::VideoPropBtnClick() {
    core_->Cam().StopGraph();
    if (core_->Cam().Graph().Active()) core_->Cam().Graph().DisconnectAllPins();
    QToolButton* button = SourcesFrame->SettingsSpeedBtn;
    pmSettings->popup(button->mapToGlobal(QPoint(0, button->height())));
}

bool TCaptureForm::ShowPages(const TPageList& models, const std::string& caption) {
    if (models.empty()) return false;
    const auto pages = FieldPages(models);
    return services_.dialogs->ShowPropertyFrame(caption, PagePointers(pages));
}

void TCaptureForm::OpenSettingsEntry(int tag) {
    TdmCam& cam = core_->Cam();
    TCaptureControl& control = core_->Control();
    try {
        // No caption: the frame's own.
        ShowPages(cam.SettingsEntryPages(tag), std::string());
    } catch (const std::exception& e) {
        TLOG(Graph) << "settings pages: " << e.what();
    }
    if (!cam.HasRun()) return;
    if (control.RestartPreview()) {
        control.EnterPreviewState();
    } else {
        core_->StopGraph();
        control.EnterNoSourceState();
    }
    DisarmAlarm();
}

void TCaptureForm::AudiopropBtnClick() {
    TdmCam& cam = core_->Cam();
    std::string name;
    const TPageList pages = cam.AudioSourcePages(&name);
    if (pages.empty()) return;
    cam.StopGraph();
    ShowPages(pages, name);
    TCaptureControl& control = core_->Control();
    if (cam.RunGraph() && control.State() != CaptureState::NoSource && !control.RestartPreview())
        control.FallBackToNoSource();
}

void TCaptureForm::VideoInputClick(int route) {
    const HRESULT hr = core_->Cam().SelectVideoInput(route);
    if (hr == S_OK) return;
    // The item stays as it was: the card did not switch.
    TLOG(Graph) << "Assertion failure: route " << route << " was refused (" << HResultText(hr)
                << ")";
    for (QAction* action : pmSettings->actions())
        if (QMenu* inputs = action->menu())
            for (QAction* item : inputs->actions())
                if (item->data().toInt() == route) item->setChecked(false);
}

} // namespace talvence
