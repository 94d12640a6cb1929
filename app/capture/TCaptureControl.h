#pragma once
// Capture control: the capture state machine of the main window, the naming
// of output files, the questions asked before a capture, the audio type and
// capture format choices, image-by-image captures and the scene file. The
// main window and the command-line tool drive it; the graph module, the file
// system, the dialogs and the window come in through interfaces.
//
// Application thread only. The graph runs the image-by-image stop handler
// inside StopGraph (same thread); the scene report given to the graph runs on
// the streaming thread and touches only ICaptureFiles.
//
// Lifetime: the handlers given to the graph refer to this object; the graph
// must not call them after it is destroyed (the owner stops the graph first).

#include "app/capture/CaptureFiles.h"
#include "app/capture/CaptureRules.h"
#include "app/capture/ICaptureGraph.h"
#include "app/capture/ICaptureWindow.h"
#include "platform/shell/DateTime.h"
#include "platform/shell/Dialogs.h"
#include "prefs/Preferences.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvence {

class TCaptureControl {
public:
    // Every preference of `prefs` must be declared.
    TCaptureControl(TPreferences& prefs, IDialogs& dialogs, ICaptureGraph& graph,
                    ICaptureFiles& files, ICaptureWindow& window);
    TCaptureControl(const TCaptureControl&) = delete;
    TCaptureControl& operator=(const TCaptureControl&) = delete;

    // --- Facts of the run, from the first show ---------------------------
    void SetWmvAvailable(bool available) { wmvAvailable_ = available; }
    void SetAudioDevicesPresent(bool present) { audioDevicesPresent_ = present; }
    // Start-up: the stamp shared by every dated name of the run, then the
    // first video and image names.
    void StartNaming(TDateTime startupStamp);

    // --- Output naming ---------------------------------------------------
    // Build the next path from the folder, root and date preferences and
    // advance the counter.
    std::string NextVideoFileName();
    std::string NextImageFileName();
    // After a change of the video (image) folder, root or date box, or of
    // the image format: the next name is rebuilt with the same number.
    void VideoNamingChanged();
    void ImageNamingChanged();
    // A still was written to the next image file: the name moves on to the next number.
    void ImageSaved();

    // --- Source, formats, audio -------------------------------------------
    // After source analysis: refills the audio-type and capture-format lists
    // for the kind and applies the stored choices.
    void SourceSelected(SourceKind kind, bool builtInAudio);
    // cbFormatCapture: the user picked entry `index` of the list.
    void SelectCaptureFormatEntry(int index);
    void CaptureFormatClick();
    // cboxAudioType changed to entry `index`.
    void SelectAudioType(int index);
    void EvaluateAudioType();
    // The listen and auxiliary-source actions' handlers (their new checked state).
    void ListenExecute(bool checked);
    void AuxiliaryExecute(bool checked);
    // The audio device list changed to `name`.
    void AudioDeviceChanged(const std::string& name);
    void SetAudioSourceName(const std::string& name) { audioSourceName_ = name; }
    bool ApplyAudioSource();
    // The images-per-second edit lost the focus; false when its text was
    // not a number (the user is told and 18 is taken).
    bool FramerateExit(const std::string& text, char decimalSeparator);

    // --- Capture control -----------------------------------------------------
    // acCapturerBasculeExecute: space bar, capture button, pop-up entry.
    void CaptureToggle();
    // acCouperExecute: continue the running capture in the next file.
    bool Cut();
    // From the preview (asking before an overwrite), from an armed schedule,
    // or again, into the next video file (states 2 and 4), after the graph
    // was replaced under a running capture.
    bool StartCapture();
    bool RestartPreview();
    bool BuildPreview();
    // The graph module replaced the graph under StopGraph (a MovieBox's graph is never halted)
    // and the source was analysed again: the preview is built again and, unless the stop was
    // meant to end it, a running capture goes on into the next video file (the file written so
    // far was finished with the old graph and is kept whole). Leaves the graph stopped when no
    // capture goes on.
    void GraphReplaced();
    void ResumePreview();
    void FallBackToNoSource();
    // The graph lost its device: a capture that was running leaves its file
    // name behind, so that the next capture does not reuse it. The caller then
    // reloads the sources and resumes the preview.
    void DeviceLost();
    bool EnterNoSourceState();
    bool EnterPreviewState();
    bool EnterCaptureState();
    bool EnterScheduleArmedState();
    bool EnterScheduledCaptureState();

    // --- Image by image ------------------------------------------------------
    void SetImageByImageMode(bool on);
    // A grab while the mode is on: one more frame into the file. False (and
    // nothing done) when the mode is off: the grab writes an image instead.
    bool ImageByImageGrab();
    // The control filter's stop handler: rewrite the frame rate of the file
    // just finished, or delete it when it received no frame.
    void FinishImageByImageFile();

    // --- State ---------------------------------------------------------------
    CaptureState State() const { return state_; }
    // The row of "Capture Format"; null when the stored index is no format.
    const CaptureFormatRow* FormatRow() const;
    SourceKind Kind() const { return kind_; }
    AudioType Audio() const { return audio_; }
    const std::string& NextVideoFile() const { return nextVideoFile_; }
    const std::string& NextImageFile() const { return nextImageFile_; }
    const std::string& CaptureFile() const { return captureFile_; }
    // The video files this run has captured into, in order, each once: the
    // file of every start and of every cut (an image-by-image file deleted for
    // want of frames is taken off again).
    const std::vector<std::string>& CapturedFiles() const { return capturedFiles_; }
    // The scene file the last DV capture with "Scn" started; empty before.
    const std::string& SceneFile() const { return sceneFile_; }
    // Why the last start or cut of a capture failed (the graph's reason, kept before the
    // preview was rebuilt); empty after one that succeeded.
    const std::string& LastFailure() const { return failure_; }
    // The scheduling sets it when a schedule is armed.
    void SetCaptureFile(const std::string& path) { captureFile_ = path; }
    std::int64_t FrameDuration() const { return frameDuration_; }
    std::int64_t VideoCounter() const { return videoCounter_; }
    std::int64_t ImageCounter() const { return imageCounter_; }
    bool ImageByImageMode() const { return imageByImageMode_; }
    std::int64_t ImageByImageCount() const { return imageByImageCount_; }
    // What the source delivered and lost up to the halt that ended the last capture taken back
    // to the preview; empty when its source does not count, its graph was replaced or it was an
    // image-by-image capture (which counts its images).
    std::optional<std::pair<long, long>> EndedFrameCounts() const { return endedFrameCounts_; }
    bool SceneFileAttached() const { return sceneFileAttached_; }
    const std::vector<std::string>& CaptureFormatEntries() const { return formats_; }
    int CaptureFormatEntry() const { return formatEntry_; }
    const std::vector<std::string>& AudioTypeEntries() const { return audioTypes_; }
    int AudioTypeEntry() const { return audioTypeEntry_; }
    std::string AudioTypeText() const;
    bool ListenOn() const { return listen_; }
    bool AuxiliaryOn() const { return auxiliary_; }

private:
    FileNaming VideoNaming() const;
    FileNaming ImageNaming() const;
    int Format() const;
    void NoteCapturedFile(const std::string& path);
    void SwitchListen(bool on);
    void SwitchAuxiliary(bool on);
    void SelectAudioEntry(int index);
    bool AskBeforeCapture();
    bool BuildAndConfigureCapture(bool newSceneFile);
    void SetOwnFiltersForRun();
    void AttachSceneFile(const std::string& scenePath);
    void DetachSceneFile();
    // After a stop: the run's scenes end at the frames its file received.
    void EndSceneRun();
    void RecoverPreview();
    bool EnterState(CaptureState state);

    TPreferences& prefs_;
    IDialogs& dialogs_;
    ICaptureGraph& graph_;
    ICaptureFiles& files_;
    ICaptureWindow& window_;

    CaptureState state_ = CaptureState::NoSource;
    SourceKind kind_ = SourceKind::skNone;
    bool builtInAudio_ = false;
    AudioType audio_ = AudioType::atNone;
    bool wmvAvailable_ = false;
    bool audioDevicesPresent_ = false;
    std::string audioSourceName_;

    TDateTime startupStamp_ = 0;
    std::int64_t videoCounter_ = 0;
    std::int64_t imageCounter_ = 0;
    std::string nextVideoFile_;
    std::string nextImageFile_;
    std::string captureFile_;
    std::int64_t frameDuration_ = 0;

    std::vector<std::string> formats_;
    int formatEntry_ = -1;
    std::vector<std::string> audioTypes_;
    int audioTypeEntry_ = -1;
    bool listen_ = false;
    bool auxiliary_ = false;

    bool imageByImageMode_ = false;
    std::int64_t imageByImageCount_ = 0;
    // The file the image-by-image capture is writing; the stop handler acts
    // on it once, then forgets it.
    std::optional<std::string> imageByImageFile_;
    bool sceneFileAttached_ = false;
    std::string sceneFile_;
    std::vector<std::string> capturedFiles_;
    std::string failure_;
    // Set while a stop is meant to end the capture (back to the preview, no source).
    bool endingCapture_ = false;
    // Whether a replacement of the graph happened during the last stop, and whether it took
    // the running capture on (Cut, which asks for the same).
    bool replaced_ = false;
    std::optional<std::pair<long, long>> endedFrameCounts_;
    bool continuedByReplacement_ = false;
};

} // namespace talvence
