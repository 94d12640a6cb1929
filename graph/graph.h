#pragma once

// TdmCam, the graph module: the one media graph `fg`, every filter slot, the system's own filters,
// the state the analysis of a video source leaves behind, the preview graph of each source kind,
// the capture branches added onto a preview, the included-audio branch and the camcorder link.
//
// Built so far: the DV camcorder (skDv) with the capture formats "DV type 1 (no inlay)", "DV type 2
// (no inlay)", "DV type 2 (with inlay)", "Wmv (with inlay)" and "Image by Image"; the capture pin
// (skCapturePin: webcams, analogue cards) with "Native Video", "DV type 2 (with inlay)" and
// "Image by Image"; the MPEG-2 stream device (skMpeg2Stream: the platform's demultiplexer and
// MPEG-2 decoder, or the other maker's) with "Native Video" (the program stream as received),
// "DV type 2 (with inlay)" and "Image by Image"; the MovieBox (skMovieBox: its maker's
// demultiplexer, chosen by "Utiliser Cirrus", and the MPEG-2 decoder) with "Native Video", "DV
// type 2 (with inlay)", "Wmv (with inlay)" and "Image by Image". A MovieBox graph is never halted
// and run again: StopGraph replaces it and has the owner build it again (SetGraphReplacedHandler).
// Windows Media captures are built for every kind. The device settings menu is built here from the
// pages the sources specify (graph/SettingsMenu.h); legacy driver dialogs, TV tuner and TV audio
// pages do not exist on this platform. The Windows Media profile manager is made with the module;
// the profile choice itself is graph/WindowsMediaProfiles.h.
//
// Graph-building operations answer a boolean and catch every error raised inside them; what was
// already built stays in the graph and LastError() tells what failed.
//
// Threads: application thread for everything, except where a member says otherwise. The own
// filters run their per-frame code on the graph's streaming threads.

#include "filters/vq_Controlunit/vq_Controlunit.h"
#include "filters/vq_DVheader/vq_DVheader.h"
#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "filters/vq_timestamper/vq_timestamper.h"
#include "graph/CaptureFormats.h"
#include "graph/CrossBar.h"
#include "graph/FilterGraphComponents.h"
#include "graph/FrameGrabber.h"
#include "graph/SettingsMenu.h"
#include "graph/VideoWindow.h"
#include "graph/videosources.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/PropertyPages.h"
#include "platform/media/filters/asf/WmProfile.h"
#include "platform/shell/Dialogs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace talvence {

// What the graph module reads of the preferences, and the one it writes ("Standard DV"). The
// owner copies the stored values in before a build and reads standardDv back after it.
struct TdmCamSettings {
    bool listenIncludedAudio = true; // "Ecouter Audio inclus"
    bool recordSoundCard = false;    // "Enregistrer Source Audio"
    bool deinterlacerOn = false;     // "Deinterlacer On"
    bool useCirrus = false;          // "Utiliser Cirrus": the MovieBox's demultiplexer
    std::uint8_t standardDv = 0;     // "Standard DV": 0 PAL, 1 NTSC (written by DV previews)
};

// The camcorder link: the transport, timecode and device-type answers of the video source,
// refreshed by every probe.
struct TCamcorderLink {
    ComPtr<IAMExtTransport> transport;
    bool transportAvailable = false;
    ComPtr<IAMTimecodeReader> timecodeReader;
    bool timecodeAvailable = false;
    bool vcrMode = false;
    std::string deviceDescription;
};

class TdmCam {
public:
    // registry: every built-in filter and device (see RegisterBuiltInFilters). window: the
    // preview window whose renderer ends every preview (not owned; it outlives this module).
    TdmCam(std::shared_ptr<FilterRegistry> registry, TVideoWindow& window);
    // DataModuleDestroy.
    ~TdmCam();

    TdmCam(const TdmCam&) = delete;
    TdmCam& operator=(const TdmCam&) = delete;

    // The boxes of the source analysis (a missing demultiplexer or dump filter) go to these
    // dialogs; without them the analysis only logs. Not owned; they outlive the module.
    void SetDialogs(IDialogs* dialogs) { dialogs_ = dialogs; }

    TdmCamSettings& Settings() { return settings_; }
    const TdmCamSettings& Settings() const { return settings_; }

    // --- Source analysis and previews ---------------------------------------------------------
    // Binds the source's device and decides its kind; true when it can be previewed.
    bool AnalyseSource(const TvideoSource& source);
    // The preview graph for the kind; left stopped.
    bool BuildPreviewGraph(SourceKind kind);
    // Stops a running graph; a stopped or paused graph is left as it is. A running MovieBox
    // graph is replaced instead: emptied (its writers finish their files), the platform graph
    // made anew, PreviewReady false, then the graph-replaced handler runs.
    void StopGraph();
    // What the owner does once a MovieBox graph was replaced: analyse the source again and
    // build its preview, and start again a capture that was running. Called inside StopGraph;
    // empty: nothing (the graph stays empty).
    void SetGraphReplacedHandler(std::function<void()> handler) {
        onGraphReplaced_ = std::move(handler);
    }
    bool RunGraph();
    // Takes everything but the video source out of the graph.
    void TearDownGraph();
    // The source's crossbar routes (its crossbar filters put upstream first); true. Legacy
    // driver dialogs do not exist on this platform.
    bool FindSourceControls();
    // False when the video source slot holds no filter.
    bool ProbeExternalDevice();

    // --- Device settings ----------------------------------------------------------------------
    // The settings menu of the current sources, positions counted from firstPosition; remembers
    // them for OpenSettingsEntry. Selects the default route of the crossbar (as the menu shows
    // it checked).
    TSettingsMenu BuildSettingsMenu(int firstPosition = 0);
    const TSettingsPositions& SettingsPositions() const { return positions_; }
    // The pages of the entry with that tag, found again as the menu found them; the pin entries
    // clear the graph first (their formats can change only unconnected). Empty for a tag that
    // is no entry.
    TPageList SettingsEntryPages(int tag);
    // The audio source filter's pages and its name; empty when it is not in the graph.
    TPageList AudioSourcePages(std::string* name = nullptr);
    // A route of the "Video Input" submenu; the route operation's result (E_FAIL without it).
    HRESULT SelectVideoInput(int route);
    // The graph has been built and run since the source was analysed.
    bool HasRun() const { return hasRun_; }

    // --- Capture branches -------------------------------------------------------------------
    // Whether the recipe of the pair (kCaptureFormats) has its builder here.
    bool HasCaptureBuilder(SourceKind kind, int format) const;
    // The branch of the pair onto the completed, stopped preview, writing captureFile.
    bool BuildCaptureGraph(SourceKind kind, int format, std::uint8_t tvStandard,
                           const std::string& captureFile);
    // A new file for the stopped capture's writer, written from its next run.
    bool SwitchOutputFile(const std::string& path);
    void ReleaseCaptureWriter();
    // The Windows Media writer of the last capture build takes the profile's streams; false
    // without a profile (none could be loaded), without such a writer or when it refuses (it is
    // not stopped). LastError says which.
    bool ConfigureAsfWriter(const TWmProfile* profile);
    // The profile manager; null when it could not be made (no Windows Media captures then).
    TWmProfileManager* ProfileManager() const { return profileManager_.get(); }

    // --- Audio ----------------------------------------------------------------------------------
    bool BuildAudioBranch();
    // rate > 0: the listening rate; rate <= 0 follows the DV stream. False without the ACM wrapper
    // in the graph or without its pin's connection.
    bool ForceDvAudio44100(int rate);
    // The ACM wrapper's output as 16-bit stereo PCM at rate (the DV recording rate); false without
    // the wrapper in the graph.
    bool ForceAcmOutputRate(int rate);
    // The audio input device of that friendly name becomes the sound card; false when none is.
    bool SelectAudioSource(const std::string& friendlyName);
    // The sound-card branch: the sound card through the sound-card timestamper ("tsAuto") into
    // its tee (infinite3), from which the capture graphs record it. Stops a graph that is not
    // stopped. False when no sound card is chosen or it cannot be connected.
    bool AddSoundCardBranch();

    // --- State ------------------------------------------------------------------------------
    SourceKind Kind() const { return sourceKind_; }
    // The analysed source's capture filter; null before an analysis bound one.
    IBaseFilter* VideoSourceFilter() const { return sourceFilter_.get(); }
    void SetKind(SourceKind kind) { sourceKind_ = kind; }
    bool PreviewReady() const { return previewReady_; }
    bool HasAudioPin() const { return hasAudioPin_; }
    // The routes of the analysed source's crossbars, found at every preview build; null for a
    // source without an analogue video input.
    TCrossbar* Crossbar() const { return crossbar_.get(); }
    int RouteCount() const { return crossbar_ ? crossbar_->RouteCount() : 0; }
    std::int64_t FrameDuration() const { return frameDuration_; }
    const TCamcorderLink& Camcorder() const { return camcorder_; }
    TGraphState GraphState() const { return fg_.GraphState(); }
    bool DeinterlacerInGraph() const;
    // The analysed source is live (a camera, a tape played at its speed); false for one that
    // delivers as fast as it is read, whose preview then runs the graph without a clock.
    bool SourceIsLive() const;
    // The "Dump" filter was found at start-up.
    bool DumpPresent() const { return dumpPresent_; }
    // The MPEG-2 video decoder slot holds the other maker's decoder (found by name at start-up)
    // rather than the platform's own; and whether it holds either.
    bool Mpeg2DecoderIsOthers() const { return mpeg2DecoderIsOthers_; }
    bool Mpeg2DecoderPresent() const { return mpeg2DecoderPresent_; }
    // The deinterlacer was found by its name at start-up.
    bool DeinterlacerPresent() const { return deinterlacerPresent_; }
    // Found by class id at start-up: a MovieBox among the video input devices, the Cirrus
    // splitter and the MovieBox's demultiplexer among the filters.
    bool MovieBoxDevicePresent() const { return movieBoxDevicePresent_; }
    bool CirrusSplitterPresent() const { return cirrusSplitterPresent_; }
    bool MovieBoxDemuxPresent() const { return movieBoxDemuxPresent_; }
    // Why the last failing operation failed (empty after a success).
    const std::string& LastError() const { return lastError_; }
    // The preview's last frame into bitmap (the grabber's copy of it: the streaming thread never
    // waits for the caller); false, with bitmap unchanged, when no frame has arrived.
    bool GrabFrameBitmap(TDibBitmap& bitmap) const { return sg.GrabFrameBitmap(bitmap); }
    // Frames the source delivered and lost since its last start; false when it keeps no count.
    bool SourceFrameCounts(long& delivered, long& dropped) const;
    // Chunks of the first (video) stream in the capture file being or last written (for the
    // Windows Media writer, the pictures its video input received); nothing without a writer.
    std::optional<std::uint64_t> CapturedVideoFrames() const;
    // The capture writer's last failure (AVI or Windows Media), with the file and the system's
    // reason; empty when it had none (or there is no such writer).
    std::string CaptureWriterError() const;
    // Handles the graph's queued events (a lost device reaches the graph's handler); answers the
    // code of the last one that ended the run since the previous call (EC_COMPLETE when the
    // source ended and every renderer received the end of the stream, EC_ERRORABORT when a
    // filter failed, LastError then saying with which failure), 0 when none did.
    long TakeCompletion();

    TFilterGraph& Graph() { return fg_; }
    ICreateDevEnum* DeviceEnumerator() const { return devEnum_.get(); }

    // The own filters (created with the module, reused by every graph).
    Tvq_SceneDetect& SceneDetect() { return *sceneDetect_; }
    Tvq_Superposer& Superposer() { return *superposer_; }
    Tvq_DVheader& DVheader() { return *dvHeader_; }
    Tvq_ControlFilter& ControlFilter() { return *controlFilter_; }
    Tvq_TimeStamper& TsVideo() { return *tsVideo_; }
    Tvq_TimeStamper& TsAudio() { return *tsAudio_; }
    Tvq_TimeStamper& TsAuto() { return *tsAuto_; }
    IBaseFilter* CaptureWriter() const { return captureWriter_.get(); }

private:
    bool BuildDvPreview();
    bool BuildCapturePinPreview();
    bool BuildMpeg2StreamPreview();
    bool BuildMovieBoxPreview();
    // The deinterlacer joined to the graph when "Deinterlacer On", else none (no intermediate).
    ComPtr<IBaseFilter> JoinDeinterlacer();
    // An MPEG-2 video stream (a demultiplexer's output or the demultiplexer) through the MPEG-2
    // decoder and the deinterlacer into the inlay.
    void DecodeIntoInlay(IUnknown* video);
    void ReplaceGraph();
    // A new output pin of the demultiplexer with the type, carrying the stream id.
    ComPtr<IPin> DemuxPin(const AM_MEDIA_TYPE& type, const std::string& name, ULONG streamId);
    void ShowMessage(MsgType type, const char* const (&lines)[2]);
    // The start every preview shares: the graph torn down, the window's renderer, the source
    // through the Smart Tee into Infinite (with the DV splitter joined first for DV).
    void PreviewHead(bool dv);
    // The end every preview shares: picture -> Infinite2 (null: already connected) -> sg ->
    // tsVideo (unless timestamper is false) -> renderer, then the audio branches and the frame duration.
    void PreviewTail(IBaseFilter* picture, bool timestamper = true);
    // Connects a colour converter's free output to next's free input in the YUV layout the
    // converter receives (a plain copy); false, leaving both unconnected, when the converter
    // receives RGB or either side refuses.
    bool ConnectInInputLayout(IBaseFilter* converter, IBaseFilter* next);

    // What a capture builder is given: the format's row, the source kind, "Standard DV" for the
    // recipes that encode DV, and the file to write.
    struct CaptureRequest {
        const CaptureFormatRow& row;
        SourceKind kind;
        std::uint8_t tvStandard;
        const std::string& file;
    };
    using CaptureBuilder = bool (TdmCam::*)(const CaptureRequest&);
    // The builder of a recipe; null for the recipes not built yet.
    static CaptureBuilder BuilderOf(CaptureRecipe recipe);
    bool CaptureA1(const CaptureRequest& request);
    bool CaptureA2(const CaptureRequest& request);
    bool CaptureDdv(const CaptureRequest& request);
    bool CaptureIdv(const CaptureRequest& request);
    bool CaptureW(const CaptureRequest& request);
    bool CaptureDpin(const CaptureRequest& request);
    bool CaptureIraw(const CaptureRequest& request);
    bool CaptureNavi(const CaptureRequest& request);
    bool CaptureNdump(const CaptureRequest& request);
    bool CaptureDmpg(const CaptureRequest& request);
    bool CaptureDmbx(const CaptureRequest& request);
    bool CaptureIenc(const CaptureRequest& request);
    // The AVI writer of the build keeps the old-style index (MPEG-2 stream captures).
    void OldStyleIndex();
    void HeardSoundThroughAcm();
    // The D recipes' start: the writer, the DV encoder set to the TV standard, Infinite2 ->
    // DVencoder -> DVmuxer.
    bool DvEncodeStart(const CaptureRequest& request);
    // The D recipes' end: DVmuxer -> DVsplitter2, its video and its sound into the writer.
    void SplitDvIntoWriter();
    // The writer of the format's row for the request's file, onto a completed preview.
    bool WriterFrame(const CaptureRequest& request);
    void ControlFilterSetUp();
    // IAMStreamConfig::SetFormat on the ACM wrapper's first output: its connection's type with
    // PCM at rate (and 2 channels of 16 bits when stereo16); the graph is halted around it when
    // running.
    bool SetAcmOutputRate(int rate, bool stereo16);
    // The included-audio branch of an MPEG-2 stream: "MpegAudio" through the decoder into
    // infinite4 and the audio renderer.
    bool BuildMpeg2StreamAudio();
    // The MovieBox's: the demultiplexer's sound through the MPEG audio decoder and infinite4
    // into "tsAudio" and the audio renderer.
    bool BuildMovieBoxAudio();
    // Moves the included-audio tee (infinite4) in front of end's connected input.
    void TeeIncludedAudioBefore(IBaseFilter* end);
    // The frame duration of the source's connection (400000 when it does not say), handed to the
    // superposer as well.
    void ReadSourceFrameDuration();
    void ChooseGraphClock();

    // RenderStream with no category and no type; the raised form for steps whose failure fails
    // the recipe, the quiet one for those whose failure is ignored.
    HRESULT Render(IUnknown* source, IBaseFilter* intermediate, IBaseFilter* sink,
                   const GUID* type = nullptr);
    void Join(TFilter& slot);
    void AddOwn(IBaseFilter* filter, const std::string& name);
    void RemoveOwn(IBaseFilter* filter);
    bool InGraph(IBaseFilter* filter) const;
    bool Fail(const std::string& why);
    // The pages of each entry as they are now (empty: the entry is not offered).
    TPageList EntryPages(TSettingsEntry entry);

    std::shared_ptr<FilterRegistry> registry_;
    IDialogs* dialogs_ = nullptr;
    ComPtr<CSystemDeviceEnum> devEnum_;
    TFilterGraph fg_;
    TVideoWindow& window_;
    TdmCamSettings settings_;
    std::unique_ptr<TWmProfileManager> profileManager_;

    // Slots.
    TFilter VideoSource{"VideoSource"};
    TFilter AudioSource{"AudioSource"};
    TFilter demux{"demux"};
    TFilter Dump{"Dump"};
    TFilter Deinterlacer{"Deinterlacer"};
    TFilter Mpeg2VideoDec{"Mpeg2VideoDec"};
    TFilter Smarttee{"Smarttee"};
    TFilter Infinite{"Infinite"};
    TFilter Infinite2{"Infinite2"};
    TFilter infinite3{"infinite3"};
    TFilter infinite4{"infinite4"};
    TFilter DVsplitter{"DVsplitter"};
    TFilter DVsplitter2{"DVsplitter2"};
    TFilter DVDEcoder{"DVDEcoder"};
    TFilter DVencoder{"DVencoder"};
    TFilter DVmuxer{"DVmuxer"};
    TFilter color1{"color1"};
    TFilter color2{"color2"};
    TFilter MpegAudioDec{"MpegAudioDec"};
    TFilter acm{"acm"};
    TFilter AudioRender{"AudioRender"};
    TSampleGrabber sg{"sg"};

    // Own filters.
    ComPtr<Tvq_SceneDetect> sceneDetect_;
    ComPtr<Tvq_Superposer> superposer_;
    ComPtr<Tvq_DVheader> dvHeader_;
    ComPtr<Tvq_ControlFilter> controlFilter_;
    ComPtr<Tvq_TimeStamper> tsVideo_;
    ComPtr<Tvq_TimeStamper> tsAudio_;
    ComPtr<Tvq_TimeStamper> tsAuto_;

    // State.
    SourceKind sourceKind_ = SourceKind::skNone;
    ComPtr<IPin> sourcePin_;
    ComPtr<IPin> sourceAudioPin_;
    bool hasAudioPin_ = false;
    std::unique_ptr<TCrossbar> crossbar_;
    ComPtr<IBaseFilter> sourceFilter_;
    bool previewReady_ = false;
    ComPtr<IBaseFilter> previewRenderer_;
    ComPtr<ICaptureGraphBuilder2> graphBuilder_;
    std::int64_t frameDuration_ = 400000;
    TCamcorderLink camcorder_;
    ComPtr<IBaseFilter> captureWriter_;
    ComPtr<IFileSinkFilter> captureSink_;
    std::string captureFile_;
    std::string lastError_;
    bool dumpPresent_ = false;
    bool hasRun_ = false;
    TSettingsPositions positions_;
    bool mpeg2DecoderIsOthers_ = false;
    bool mpeg2DecoderPresent_ = false;
    bool deinterlacerPresent_ = false;
    bool movieBoxDevicePresent_ = false;
    bool cirrusSplitterPresent_ = false;
    bool movieBoxDemuxPresent_ = false;
    std::function<void()> onGraphReplaced_;
    long runEnded_ = 0; // set by the graph's completion handler, taken by TakeCompletion
    HRESULT runEndResult_ = S_OK;
};

} // namespace talvence
