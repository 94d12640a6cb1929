#include "app/capture/TCaptureControl.h"

#include "platform/log/Log.h"
#include "resources/Strings.h"
#include "system/PSFunctions.h"

#include <algorithm>
#include <utility>

namespace talvence {

TCaptureControl::TCaptureControl(TPreferences& prefs, IDialogs& dialogs, ICaptureGraph& graph,
                                 ICaptureFiles& files, ICaptureWindow& window)
    : prefs_(prefs), dialogs_(dialogs), graph_(graph), files_(files), window_(window) {}

// ---------------------------------------------------------------------------
// Output naming

FileNaming TCaptureControl::VideoNaming() const {
    return {prefs_.videoDirectory->value, prefs_.videoRacine->value, prefs_.videoDate->value,
            startupStamp_};
}

FileNaming TCaptureControl::ImageNaming() const {
    return {prefs_.imageDirectory->value, prefs_.imageRacine->value, prefs_.imageDate->value,
            startupStamp_};
}

int TCaptureControl::Format() const {
    return prefs_.captureFormat->value;
}

const CaptureFormatRow* TCaptureControl::FormatRow() const {
    return CaptureFormatRowOf(Format());
}

void TCaptureControl::StartNaming(TDateTime startupStamp) {
    startupStamp_ = startupStamp;
    nextVideoFile_ = NextVideoFileName();
    nextImageFile_ = NextImageFileName();
}

std::string TCaptureControl::NextVideoFileName() {
    std::string path = VideoFileName(VideoNaming(), videoCounter_, Format(), kind_);
    ++videoCounter_;
    window_.ShowNextVideoName(FileNameOnly(path));
    return path;
}

std::string TCaptureControl::NextImageFileName() {
    std::string path =
        ImageFileName(ImageNaming(), imageCounter_, prefs_.extensionDesImages->value);
    ++imageCounter_;
    if (!imageByImageMode_) window_.ShowNextImageName(FileNameOnly(path));
    return path;
}

void TCaptureControl::VideoNamingChanged() {
    --videoCounter_;
    nextVideoFile_ = NextVideoFileName();
}

void TCaptureControl::ImageNamingChanged() {
    --imageCounter_;
    nextImageFile_ = NextImageFileName();
}

void TCaptureControl::ImageSaved() {
    nextImageFile_ = NextImageFileName();
}

// ---------------------------------------------------------------------------
// Source, formats, audio

std::string TCaptureControl::AudioTypeText() const {
    if (audioTypeEntry_ < 0 || audioTypeEntry_ >= static_cast<int>(audioTypes_.size())) return {};
    return audioTypes_[static_cast<std::size_t>(audioTypeEntry_)];
}

void TCaptureControl::SelectAudioEntry(int index) {
    audioTypeEntry_ = index;
    window_.ShowAudioTypes(audioTypes_, audioTypeEntry_);
}

void TCaptureControl::SourceSelected(SourceKind kind, bool builtInAudio) {
    kind_ = kind;
    builtInAudio_ = builtInAudio;

    // The audio list is refilled before the format is applied, so that the
    // format's audio rules pick from this source's entries.
    if (audioTypeEntry_ >= 0) prefs_.audioType->value = AudioTypeText();
    audioTypes_ = AudioTypesFor(kind, builtInAudio, audioDevicesPresent_);
    SelectAudioEntry(AudioTypeSelection(audioTypes_, prefs_.audioType->value, kind, builtInAudio));

    formats_ = CaptureFormatsFor(kind, wmvAvailable_);
    formatEntry_ = IndexOrFirst(CaptureFormatName(Format()), formats_);
    window_.ShowCaptureFormats(formats_, formatEntry_, kind != SourceKind::skNone);
    CaptureFormatClick();
}

void TCaptureControl::SelectCaptureFormatEntry(int index) {
    if (index < 0 || index >= static_cast<int>(formats_.size())) return;
    formatEntry_ = index;
    CaptureFormatClick();
}

void TCaptureControl::CaptureFormatClick() {
    // The list's text; an empty list (no source) has none, which is no format: 0.
    const bool selected = formatEntry_ >= 0 && formatEntry_ < static_cast<int>(formats_.size());
    prefs_.captureFormat->value = static_cast<std::uint8_t>(
        CaptureFormatIndex(selected ? formats_[static_cast<std::size_t>(formatEntry_)] : ""));
    const int format = Format();
    const CaptureFormatRow* row = FormatRow();
    const FormatAudio audio = row ? row->audio : FormatAudio::Chosen;

    nextVideoFile_ = ChangeFileExtension(nextVideoFile_, CaptureExtension(format, kind_));
    window_.ShowNextVideoName(FileNameOnly(nextVideoFile_));
    window_.ShowFormatOptions(FormatOptionsFor(kind_, format));

    if (audio == FormatAudio::None) {
        SelectAudioEntry(audioTypes_.empty() ? -1 : 0);
        SwitchAuxiliary(false);
        SwitchListen(false);
        prefs_.enregistrerSourceAudio->value = false;
        prefs_.ecouterAudioInclus->value = false;
        window_.SetAudioGroupEnabled(false);
    } else if (audio == FormatAudio::Stream) {
        const std::string stream = StreamAudioText(kind_, builtInAudio_);
        int entry = audioTypes_.empty() ? -1 : 0;
        for (std::size_t i = 0; i < audioTypes_.size(); ++i)
            if (!stream.empty() && audioTypes_[i] == stream) entry = static_cast<int>(i);
        SelectAudioEntry(entry);
        SwitchAuxiliary(false);
        SwitchListen(true);
        prefs_.enregistrerSourceAudio->value = false;
        prefs_.ecouterAudioInclus->value = true;
        window_.SetAudioGroupEnabled(false);
    }

    window_.RefreshWindowsMediaProfileChoice();
    EvaluateAudioType();
    if (state_ == CaptureState::Preview) EnterPreviewState();
}

void TCaptureControl::SelectAudioType(int index) {
    if (index < -1 || index >= static_cast<int>(audioTypes_.size())) return;
    audioTypeEntry_ = index;
    EvaluateAudioType();
    if (state_ == CaptureState::Preview) EnterPreviewState();
}

void TCaptureControl::EvaluateAudioType() {
    if (const auto type = AudioTypeOfText(AudioTypeText())) {
        audio_ = *type;
        switch (*type) {
        case AudioType::atNone:
            SwitchAuxiliary(false);
            SwitchListen(false);
            prefs_.enregistrerSourceAudio->value = false;
            prefs_.ecouterAudioInclus->value = false;
            window_.SetAudioGroupExpanded(false);
            break;
        case AudioType::atIncluded:
            SwitchAuxiliary(false);
            SwitchListen(true);
            prefs_.enregistrerSourceAudio->value = false;
            prefs_.ecouterAudioInclus->value = true;
            window_.SetAudioGroupExpanded(false);
            break;
        case AudioType::atSoundCard:
            SwitchAuxiliary(true);
            SwitchListen(false);
            prefs_.enregistrerSourceAudio->value = true;
            prefs_.ecouterAudioInclus->value = false;
            window_.SetAudioGroupExpanded(true);
            break;
        }
    }
    window_.ApplyVolume();
    window_.SetVolumeControlsVisible(audio_ != AudioType::atNone);
}

void TCaptureControl::SwitchListen(bool on) {
    if (listen_ != on) ListenExecute(on);
}

void TCaptureControl::SwitchAuxiliary(bool on) {
    if (auxiliary_ != on) AuxiliaryExecute(on);
}

void TCaptureControl::ListenExecute(bool checked) {
    listen_ = checked;
    window_.ShowAudioToggles(listen_, auxiliary_);
    prefs_.ecouterAudioInclus->value = checked;
    // During a capture only the preference changes; the next preview uses it.
    if (!graph_.PreviewReady()) return;
    graph_.BuildAudioBranch();
    graph_.RunGraph();
    if (state_ == CaptureState::Preview) EnterPreviewState();
}

void TCaptureControl::AuxiliaryExecute(bool checked) {
    auxiliary_ = checked;
    window_.ShowAudioToggles(listen_, auxiliary_);
    prefs_.enregistrerSourceAudio->value = checked;
    if (checked && !ApplyAudioSource()) return;
    if (graph_.PreviewReady() && RestartPreview()) EnterPreviewState();
}

bool TCaptureControl::ApplyAudioSource() {
    const bool ok = graph_.SelectAudioSource(audioSourceName_);
    window_.AudioSourceApplied();
    return ok;
}

void TCaptureControl::AudioDeviceChanged(const std::string& name) {
    audioSourceName_ = name;
    if (ApplyAudioSource() && state_ != CaptureState::NoSource && graph_.PreviewReady())
        ResumePreview();
}

bool TCaptureControl::FramerateExit(const std::string& text, char decimalSeparator) {
    if (const auto value = ParseFramerate(text, decimalSeparator)) {
        prefs_.framerate->value = *value;
        return true;
    }
    dialogs_.MessageBox(MsgType::Information,
                        std::string(strings::kFramerateWrong) + "\n" +
                            strings::kFramerateEnterDecimal,
                        MsgButtons::Ok);
    // In the user's own notation, so that the text left in the edit reads
    // back as a number.
    window_.ShowFramerateText(DefaultFramerateText(decimalSeparator));
    prefs_.framerate->value = kDefaultFramerate;
    return false;
}

// ---------------------------------------------------------------------------
// Capture control

void TCaptureControl::CaptureToggle() {
    switch (state_) {
    case CaptureState::NoSource:
        return;
    case CaptureState::Preview:
        if (StartCapture()) EnterCaptureState();
        return;
    case CaptureState::Capturing:
        if (RestartPreview()) {
            EnterPreviewState();
            nextVideoFile_ = NextVideoFileName();
        } else {
            FallBackToNoSource();
        }
        return;
    case CaptureState::ScheduleArmed:
        if (StartCapture()) {
            EnterScheduledCaptureState();
        } else if (state_ != CaptureState::NoSource) {
            EnterPreviewState();
            window_.DisarmAlarm();
        }
        return;
    case CaptureState::ScheduledCapture:
        // The next name is not advanced: the next capture proposes this file again.
        if (RestartPreview())
            EnterPreviewState();
        else
            FallBackToNoSource();
        return;
    }
}

bool TCaptureControl::AskBeforeCapture() {
    if (prefs_.confirmerVideo->value && files_.FileExists(nextVideoFile_)) {
        const MsgAnswer answer =
            dialogs_.MessageBox(MsgType::Warning,
                                std::string(strings::kFileExists1) + nextVideoFile_ +
                                    strings::kFileExists2 + "\n" + strings::kFileExists3,
                                MsgButtons::YesNoAll);
        if (answer == MsgAnswer::All) {
            prefs_.confirmerVideo->value = false;
            window_.ShowConfirmVideo(false);
        } else if (answer != MsgAnswer::Yes) {
            return false;
        }
    }
    const std::string folder = FolderOf(nextVideoFile_);
    if (folder.empty()) return true;
    if (prefs_.confirmerVideo->value && !files_.FolderExists(folder)) {
        const MsgAnswer answer =
            dialogs_.MessageBox(MsgType::Warning,
                                std::string(strings::kFolderMissing1) + folder +
                                    strings::kFolderMissing2 + "\n" + strings::kFolderMissing3,
                                MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes) return false;
    }
    // A folder that cannot be made would only fail later, inside the writer.
    return files_.CreateFolders(folder);
}

void TCaptureControl::SetOwnFiltersForRun() {
    graph_.SetClearTimesMode(Timestamper::Second);
    graph_.SetRestampOffset(Timestamper::Third,
                            std::int64_t{prefs_.correctionSync->value} * frameDuration_);
    graph_.SetRestampMode(Timestamper::Third);
    graph_.SetClearTimesMode(Timestamper::First);
}

void TCaptureControl::AttachSceneFile(const std::string& scenePath) {
    files_.CreateSceneFile(scenePath);
    sceneFile_ = scenePath;
    // Attached even when the file could not be made: the writer then drops
    // the scenes, and the detector keeps one owner of its report.
    ICaptureFiles& files = files_;
    graph_.SetSceneCallback([&files](const DvFrameInfo& sceneStart, const DvFrameInfo& current) {
        files.AppendScene(sceneStart, current);
    });
    sceneFileAttached_ = true;
}

void TCaptureControl::EndSceneRun() {
    if (!sceneFileAttached_) return;
    // A writer that keeps no count (none yet for Windows Media) leaves the scenes as detected.
    if (const std::optional<std::uint64_t> frames = graph_.CapturedVideoFrames())
        files_.EndSceneRun(static_cast<std::uint32_t>(*frames));
}

void TCaptureControl::DetachSceneFile() {
    if (!sceneFileAttached_) return;
    graph_.SetSceneCallback({});
    sceneFileAttached_ = false;
}

// Builds the capture branch for the capture file on the stopped preview and
// sets up what the capture needs, up to the run.
bool TCaptureControl::BuildAndConfigureCapture(bool newSceneFile) {
    const CaptureFormatRow* row = FormatRow();
    if (!row ||
        !graph_.BuildCaptureGraph(kind_, row->index, prefs_.standardDv->value, captureFile_))
        return false;

    graph_.SetInlayFlip(prefs_.flipOn->value);
    if (prefs_.incrustationOn->value) window_.StartInlay();
    SetOwnFiltersForRun();
    if (ResamplesToDvRate(row->RecipeFor(kind_))) {
        if (const int rate = DvRecordingRate(prefs_.frequenceDv->value); rate != 0)
            graph_.ForceAcmOutputRate(rate);
    }
    // A writer left with its default streams would write another file than the one chosen.
    if (row->windowsMedia && !graph_.ConfigureWindowsMediaWriter(audio_ != AudioType::atNone))
        return false;

    if (row->imageByImage) {
        imageByImageFile_ = captureFile_;
        graph_.SetOnStop([this] { FinishImageByImageFile(); });
    } else {
        imageByImageFile_.reset();
        graph_.SetOnStop({});
    }
    SetImageByImageMode(row->imageByImage);
    imageByImageCount_ = 0;

    if (newSceneFile) {
        DetachSceneFile();
        if (kind_ == SourceKind::skDv && prefs_.scn->value)
            AttachSceneFile(ChangeFileExtension(captureFile_, ".scn"));
    }
    return true;
}

bool TCaptureControl::StartCapture() {
    const CaptureFormatRow* row = FormatRow();
    const bool offered =
        row && graph_.HasCaptureBuilder(kind_, row->index) && (!row->windowsMedia || wmvAvailable_);
    // A capture starts from a preview, by hand or by the schedule, or starts
    // again when a graph that cannot be halted was replaced under a running
    // capture. Only a start by hand asks; anything refused here is refused
    // before the preview is stopped.
    if (!offered || state_ == CaptureState::NoSource ||
        (state_ == CaptureState::Preview && !AskBeforeCapture())) {
        window_.UncheckCaptureToggle();
        return false;
    }

    // Started again under a replaced graph: the file written so far is finished and kept, the
    // capture goes on in the next one, as after a cut.
    const bool goingOn =
        state_ == CaptureState::Capturing || state_ == CaptureState::ScheduledCapture;
    if (goingOn) {
        EndSceneRun();
        nextVideoFile_ = NextVideoFileName();
    }
    captureFile_ = nextVideoFile_;
    graph_.ReleaseCaptureWriter();
    graph_.StopGraph();
    bool ok = BuildAndConfigureCapture(!goingOn);
    if (ok) {
        window_.ApplyVolume();
        ok = graph_.RunGraph();
    }
    if (ok) NoteCapturedFile(captureFile_);
    failure_ = ok ? std::string() : graph_.LastError();
    if (!ok) {
        // The preview was stopped for the build: bring it back rather than
        // leave a stopped, half-built graph behind a preview state.
        RecoverPreview();
        window_.UncheckCaptureToggle();
    }
    return ok;
}

void TCaptureControl::RecoverPreview() {
    if (!RestartPreview()) FallBackToNoSource();
}

bool TCaptureControl::Cut() {
    if (state_ != CaptureState::Capturing && state_ != CaptureState::ScheduledCapture) return false;
    replaced_ = continuedByReplacement_ = false;
    graph_.StopGraph(); // finishes an image-by-image file
    if (replaced_) {
        // The graph was replaced and the capture started again into the next file: that is
        // the cut.
        failure_ = continuedByReplacement_ ? std::string() : graph_.LastError();
        return continuedByReplacement_;
    }
    EndSceneRun();
    nextVideoFile_ = NextVideoFileName();
    bool ok;
    if (graph_.SwitchOutputFile(nextVideoFile_)) {
        if (imageByImageMode_) {
            imageByImageFile_ = nextVideoFile_;
            graph_.SetOnStop([this] { FinishImageByImageFile(); });
        }
        ok = graph_.RunGraph();
    } else {
        // A writer that cannot be told the new name would write the old file
        // again from its start: rebuild the capture into the new file instead.
        // The scene file goes on.
        captureFile_ = nextVideoFile_;
        graph_.ReleaseCaptureWriter();
        ok = BuildPreview() && BuildAndConfigureCapture(false) && graph_.RunGraph();
    }
    imageByImageCount_ = 0;
    window_.ApplyVolume();
    if (ok) NoteCapturedFile(nextVideoFile_);
    failure_ = ok ? std::string() : graph_.LastError();
    if (!ok) {
        // The capture cannot go on: back to the preview.
        window_.UncheckCaptureToggle();
        if (RestartPreview())
            EnterPreviewState();
        else
            FallBackToNoSource();
    }
    return ok;
}

bool TCaptureControl::RestartPreview() {
    const bool ending = std::exchange(endingCapture_, true);
    replaced_ = false;
    graph_.StopGraph();
    endingCapture_ = ending;
    // Read while the halted graph still holds the capture's source: the figures shown during the
    // run lag the halt by the frames delivered meanwhile.
    long delivered = 0, lost = 0;
    endedFrameCounts_.reset();
    if (!replaced_ && !imageByImageMode_ && graph_.SourceFrameCounts(delivered, lost))
        endedFrameCounts_ = std::make_pair(delivered, lost);
    // The stop has delivered the final scene and finished an image-by-image
    // file; a later preview reports to no file.
    EndSceneRun();
    DetachSceneFile();
    graph_.SetOnStop({});
    imageByImageFile_.reset();
    const bool built = BuildPreview();
    SetImageByImageMode(false);
    if (!built) return false;
    window_.ApplyVolume();
    return graph_.RunGraph();
}

bool TCaptureControl::BuildPreview() {
    bool built = false;
    if (kind_ != SourceKind::skNone) built = graph_.BuildPreviewGraph(kind_);
    if (kind_ == SourceKind::skMovieBox && graph_.DeinterlacerInGraph() && !window_.FlipChecked())
        window_.RunFlipAction();
    if (!built) return false;

    frameDuration_ = graph_.FrameDuration();
    graph_.SetInlayFlip(prefs_.flipOn->value);
    if (prefs_.incrustationOn->value)
        window_.StartInlay();
    else
        window_.StopInlay();
    SetOwnFiltersForRun();
    if (kind_ == SourceKind::skDv && audio_ == AudioType::atIncluded)
        graph_.ForceDvAudio44100(prefs_.forcer44100EnDv->value ? 44100 : 0);
    window_.ShowTvStandard(prefs_.standardDv->value);
    return true;
}

void TCaptureControl::GraphReplaced() {
    replaced_ = true;
    const bool built = BuildPreview();
    const bool capturing =
        state_ == CaptureState::Capturing || state_ == CaptureState::ScheduledCapture;
    if (!capturing || endingCapture_) return;
    // StartCapture's own stop finds the new graph stopped.
    continuedByReplacement_ = built && StartCapture();
    if (continuedByReplacement_) return;
    // The capture cannot go on: back to the preview (StartCapture brought it back), as after a
    // failed cut.
    window_.UncheckCaptureToggle();
    if (state_ == CaptureState::NoSource) return;
    if (built)
        EnterPreviewState();
    else
        FallBackToNoSource();
}

void TCaptureControl::ResumePreview() {
    if (RestartPreview())
        EnterPreviewState();
    else
        FallBackToNoSource();
}

void TCaptureControl::DeviceLost() {
    if (state_ == CaptureState::Capturing || state_ == CaptureState::ScheduledCapture)
        nextVideoFile_ = NextVideoFileName();
}

void TCaptureControl::FallBackToNoSource() {
    const bool ending = std::exchange(endingCapture_, true);
    try {
        graph_.StopGraph();
    } catch (const std::exception& e) {
        // Falling back goes on whatever the graph answers.
        TLOG(Capture) << "capture control: stopping the graph failed: " << e.what();
    }
    endingCapture_ = ending;
    EndSceneRun();
    DetachSceneFile();
    graph_.SetOnStop({});
    imageByImageFile_.reset();
    window_.DisarmAlarm();
    EnterNoSourceState();
}

bool TCaptureControl::EnterState(CaptureState state) {
    try {
        state_ = state;
        if (state == CaptureState::Preview) EvaluateAudioType();
        window_.ApplyStateView(StateViewFor(state_, kind_, audio_));
        return true;
    } catch (const std::exception& e) {
        TLOG(Capture) << "capture control: entering state " << static_cast<int>(state) << ": "
                      << e.what();
        return false;
    }
}

bool TCaptureControl::EnterNoSourceState() {
    return EnterState(CaptureState::NoSource);
}
bool TCaptureControl::EnterPreviewState() {
    return EnterState(CaptureState::Preview);
}
bool TCaptureControl::EnterCaptureState() {
    return EnterState(CaptureState::Capturing);
}
bool TCaptureControl::EnterScheduleArmedState() {
    return EnterState(CaptureState::ScheduleArmed);
}
bool TCaptureControl::EnterScheduledCaptureState() {
    return EnterState(CaptureState::ScheduledCapture);
}

void TCaptureControl::NoteCapturedFile(const std::string& path) {
    if (std::find(capturedFiles_.begin(), capturedFiles_.end(), path) == capturedFiles_.end())
        capturedFiles_.push_back(path);
}

// ---------------------------------------------------------------------------
// Image by image

void TCaptureControl::SetImageByImageMode(bool on) {
    const bool wasOn = imageByImageMode_;
    imageByImageMode_ = on;
    window_.ShowGrabImage(on ? 3 : 6);
    if (on)
        window_.ShowNextImageName(strings::kImageByImageDestination);
    else if (wasOn)
        window_.ShowNextImageName(FileNameOnly(nextImageFile_));
}

bool TCaptureControl::ImageByImageGrab() {
    if (!imageByImageMode_) return false;
    graph_.SetPassNext(true);
    ++imageByImageCount_;
    return true;
}

void TCaptureControl::FinishImageByImageFile() {
    // Only the file this capture wrote: the next video name may already have
    // moved on (device loss) and name someone else's file.
    if (!imageByImageFile_) return;
    const std::string path = *imageByImageFile_;
    imageByImageFile_.reset();
    if (imageByImageCount_ > 0) {
        files_.RewriteFrameRate(path, prefs_.framerate->value);
    } else {
        files_.RemoveFile(path);
        std::erase(capturedFiles_, path);
    }
}

} // namespace talvence
