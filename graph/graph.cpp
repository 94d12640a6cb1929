#include "graph/graph.h"

#include "graph/DeviceCategories.h"
#include "platform/devices/v4l2/CrossbarFilter.h"
#include "platform/log/Log.h"
#include "platform/media/CaptureInterfaces.h"
#include "platform/media/DvConstants.h"
#include "platform/media/EventCodes.h"
#include "platform/media/GraphLog.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/MediaType.h"
#include "platform/media/PinWalk.h"
#include "platform/media/filters/asf/AsfWriter.h"
#include "platform/media/filters/audio/AudioFilterIds.h"
#include "platform/media/filters/avimux/AviMuxInterfaces.h"
#include "platform/media/filters/basic/BasicFilterIds.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"
#include "platform/media/filters/mpeg/Mpeg2VideoDecoder.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"
#include "platform/media/filters/mpeg/MpegAudioDecoder.h"

#include <cstring>
#include <utility>

namespace talvence {

namespace {

// The stream ids the MPEG-2 stream preview maps.
constexpr ULONG kMpegVideoStreamId = 0xE1;
constexpr ULONG kMpegAudioStreamId = 0xC1;

// IDVEnc codes.
constexpr int kDvEncNtsc = 2000;
constexpr int kDvEncPal = 2001;
constexpr int kDvEncDvsd = 2007;
constexpr int kDvEncFullResolution = 2012;

// The media type of a pin's connection, freed when it goes.
struct ConnectionType {
    AM_MEDIA_TYPE mt{};
    bool valid = false;
    explicit ConnectionType(IPin* pin) { valid = pin && SUCCEEDED(pin->ConnectionMediaType(&mt)); }
    ~ConnectionType() {
        if (valid) FreeMediaType(mt);
    }
    ConnectionType(const ConnectionType&) = delete;
    ConnectionType& operator=(const ConnectionType&) = delete;
};

// The first unconnected output pin of the filter that offers the major type `type`, or, with a
// category, that has that pin category; null when there is none.
ComPtr<IPin> FindFreeOutput(ICaptureGraphBuilder2* builder, IBaseFilter* filter,
                            const GUID* category, const GUID* type) {
    ComPtr<IPin> pin;
    if (FAILED(builder->FindPin(filter, PINDIR_OUTPUT, category, type, 1, 0, pin.put())))
        return nullptr;
    return pin;
}

ComPtr<IBaseFilter> FilterOfSink(IFileSinkFilter* sink) {
    ComPtr<IBaseFilter> filter;
    if (sink) sink->QueryInterface(IBaseFilter::iid, filter.putVoid());
    return filter;
}

} // namespace

TdmCam::TdmCam(std::shared_ptr<FilterRegistry> registry, TVideoWindow& window)
    : registry_(registry), devEnum_(new CSystemDeviceEnum(registry)),
      fg_(registry, true, gmCapture), window_(window),
      // Made once, as the window's first show does; Windows Media captures need it.
      profileManager_(TWmProfileManager::Create()) {
    // The fixed slots take their filters by class id from the filter category, the encoder from
    // the video compressor category by name. A missing one leaves its slot empty: a recipe that
    // uses it then fails where it needs it.
    ICreateDevEnum* de = devEnum_.get();
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_SmartTee, Smarttee);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_InfTee, Infinite);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_InfTee, Infinite2);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_InfTee, infinite3);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_InfTee, infinite4);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_DVSplitter, DVsplitter);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_DVSplitter, DVsplitter2);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_DVVideoCodec, DVDEcoder);
    FindDeviceByName(de, CLSID_VideoCompressorCategory, "DV Video Encoder", DVencoder);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_DVMux, DVmuxer);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_Colour, color1);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_Colour, color2);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_MpegAudioDecoder, MpegAudioDec);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_ACMWrapper, acm);
    // Without an audio renderer the heard audio ends in the null renderer.
    if (!FindDeviceByName(de, CLSID_AudioRendererCategory, kDefaultAudioRendererName, AudioRender))
        FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_NullRenderer, AudioRender);
    FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_SampleGrabber, sg);
    // Filters of other makers (and the dump writer) are looked up by name once; a slot whose
    // filter is not installed stays empty.
    const TSysDevEnum filters(devEnum_, CLSID_LegacyAmFilterCategory);
    dumpPresent_ = FindFilterByName(filters, "Dump", Dump);
    deinterlacerPresent_ = FindFilterByName(filters, "Pinnacle Video Deinterlacer", Deinterlacer);
    // Without the other maker's MPEG-2 decoder, the platform's own decodes.
    mpeg2DecoderIsOthers_ = FindFilterByName(filters, "Pinnacle MPEG 2 Decoder", Mpeg2VideoDec);
    if (!mpeg2DecoderIsOthers_)
        mpeg2DecoderPresent_ = FindFilterByClsid(de, CLSID_LegacyAmFilterCategory,
                                                 CLSID_Mpeg2VideoDecoder, Mpeg2VideoDec);
    else
        mpeg2DecoderPresent_ = true;
    // The MovieBox and its demultiplexers, for the system report.
    {
        TFilter probe{"probe"};
        movieBoxDevicePresent_ =
            FindFilterByClsid(de, CLSID_VideoInputDeviceCategory, CLSID_MovieBoxUsbCapture, probe);
        cirrusSplitterPresent_ =
            FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_CirrusSplitter, probe);
        movieBoxDemuxPresent_ =
            FindFilterByClsid(de, CLSID_LegacyAmFilterCategory, CLSID_MovieBoxDemux, probe);
    }

    sceneDetect_ = new Tvq_SceneDetect;
    superposer_ = new Tvq_Superposer(sceneDetect_.get());
    dvHeader_ = new Tvq_DVheader(sceneDetect_.get());
    controlFilter_ = new Tvq_ControlFilter;
    tsVideo_ = new Tvq_TimeStamper;
    tsAudio_ = new Tvq_TimeStamper;
    tsAuto_ = new Tvq_TimeStamper;

    graphBuilder_ = fg_.CaptureGraphBuilder();
    fg_.OnGraphComplete = [this](long code, HRESULT result) {
        runEnded_ = code;
        runEndResult_ = result;
    };
}

TdmCam::~TdmCam() {
    // DataModuleDestroy.
    try {
        fg_.SetGraphVolume(10000);
        TearDownGraph();
        VideoSource.SetFilterGraph(nullptr);
        fg_.EmptyGraph();
        camcorder_ = {};
        sourcePin_.reset();
        sourceAudioPin_.reset();
        sourceFilter_.reset();
        previewRenderer_.reset();
        graphBuilder_.reset();
        fg_.SetActive(false);
    } catch (const std::exception& e) {
        // The module goes whatever the platform answers.
        TLOG(Graph) << "graph module: end: " << e.what();
    }
}

bool TdmCam::Fail(const std::string& why) {
    TLOG(Graph) << "graph module: " << why;
    lastError_ = why;
    return false;
}

void TdmCam::Join(TFilter& slot) {
    slot.SetFilterGraph(&fg_);
}

bool TdmCam::InGraph(IBaseFilter* filter) const {
    if (!filter) return false;
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) return false;
    const bool in = info.pGraph != nullptr;
    if (info.pGraph) info.pGraph->Release();
    return in;
}

void TdmCam::AddOwn(IBaseFilter* filter, const std::string& name) {
    if (InGraph(filter)) return;
    CheckGraphResult(fg_.GraphBuilder()->AddFilter(filter, name),
                     "Cannot add \"" + name + "\" to the graph");
}

void TdmCam::RemoveOwn(IBaseFilter* filter) {
    if (!filter || !InGraph(filter) || !fg_.Active()) return;
    fg_.GraphBuilder()->RemoveFilter(filter);
}

HRESULT TdmCam::Render(IUnknown* source, IBaseFilter* intermediate, IBaseFilter* sink,
                       const GUID* type) {
    const HRESULT hr = graphBuilder_->RenderStream(nullptr, type, source, intermediate, sink);
    if (FAILED(hr)) {
        // Most steps go on without their branch; the last refusal stays in LastError.
        std::string step = ObjectText(source) + " -> ";
        if (intermediate) step += FilterText(intermediate) + " -> ";
        step += FilterText(sink);
        if (type) step += " (" + GuidText(*type) + ")";
        Fail("The step " + step + " was refused: " + HResultText(hr));
    }
    return hr;
}

bool TdmCam::DeinterlacerInGraph() const {
    return Deinterlacer.FilterGraph() == &fg_ && Deinterlacer.HasFilter();
}

// --- Source analysis ---------------------------------------------------------------------------

bool TdmCam::AnalyseSource(const TvideoSource& source) {
    lastError_.clear();
    hasRun_ = false;
    sourcePin_.reset();
    sourceFilter_.reset();
    sourceAudioPin_.reset();
    hasAudioPin_ = false;
    try {
        if (previewReady_) {
            StopGraph();
            fg_.EmptyGraph();
        }
        if (!BindVideoSource(devEnum_.get(), source, VideoSource))
            return Fail("The video source \"" + source.Name + "\" is not present");
        Join(VideoSource);
        if (!VideoSource.HasFilter())
            return Fail("The video source \"" + source.Name + "\" cannot be opened");

        // The description is replaced only by a successful read.
        ComPtr<IPropertyBag> bag;
        if (VideoSource.BaseFilter() && SUCCEEDED(VideoSource.BaseFilter()->BindToStorage(
                                            nullptr, nullptr, IPropertyBag::iid, bag.putVoid()))) {
            VARIANT v;
            if (SUCCEEDED(bag->Read("Description", &v, nullptr)) && v.vt == VT_BSTR)
                camcorder_.deviceDescription = v.bstrVal;
        }

        if (!ProbeExternalDevice()) return Fail("The video source cannot be reached");
        FindSourceControls();

        IBaseFilter* filter = sourceFilter_.get();
        bool found = false;
        if (auto pin = FindFreeOutput(graphBuilder_.get(), filter, nullptr, &MEDIATYPE_Stream)) {
            sourcePin_ = pin;
            sourceKind_ = SourceKind::skMpeg2Stream;
            CLSID clsid{};
            const bool movieBox =
                SUCCEEDED(filter->GetClassID(&clsid)) && clsid == CLSID_MovieBoxUsbCapture;
            if (movieBox) sourceKind_ = SourceKind::skMovieBox;
            const CLSID& demuxClass = !movieBox             ? CLSID_MPEG2Demultiplexer
                                      : settings_.useCirrus ? CLSID_CirrusSplitter
                                                            : CLSID_MovieBoxDemux;
            if (!FindFilterByClsid(devEnum_.get(), CLSID_LegacyAmFilterCategory, demuxClass,
                                   demux)) {
                const auto& message = !movieBox             ? strings::kMpeg2DemuxMissing
                                      : settings_.useCirrus ? strings::kCirrusSplitterMissing
                                                            : strings::kMovieBoxDemuxMissing;
                ShowMessage(MsgType::Error, message);
                return Fail(message[0]);
            }
            if (!dumpPresent_) ShowMessage(MsgType::Warning, strings::kDumpMissing);
            found = true;
        } else if (auto dv = FindFreeOutput(graphBuilder_.get(), filter, nullptr,
                                            &MEDIATYPE_Interleaved)) {
            sourcePin_ = dv;
            sourceKind_ = SourceKind::skDv;
            found = true;
        } else {
            sourceKind_ = SourceKind::skCapturePin;
            sourcePin_ =
                FindFreeOutput(graphBuilder_.get(), filter, &PIN_CATEGORY_CAPTURE, nullptr);
            found = sourcePin_ != nullptr;
        }
        sourceAudioPin_ = FindFreeOutput(graphBuilder_.get(), filter, nullptr, &MEDIATYPE_Audio);
        hasAudioPin_ = sourceAudioPin_ != nullptr;
        if (!found) return Fail("The video source has no capture pin");
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

void TdmCam::ShowMessage(MsgType type, const char* const (&lines)[2]) {
    const std::string text = std::string(lines[0]) + "\n" + lines[1];
    TLOG(Graph) << "graph module: " << text;
    if (dialogs_) dialogs_->MessageBox(type, text, MsgButtons::Ok);
}

bool TdmCam::FindSourceControls() {
    // The legacy driver dialogs do not exist on this platform; the crossbars are those the
    // source puts upstream of its analogue input (taken out again by every tear-down).
    crossbar_.reset();
    ComPtr<IAMUpstreamCrossbars> upstream;
    if (sourceFilter_ &&
        SUCCEEDED(sourceFilter_->QueryInterface(IAMUpstreamCrossbars::iid, upstream.putVoid())))
        upstream->AddUpstreamCrossbars();
    crossbar_ = CrossbarOfSource(sourceFilter_.get());
    return true;
}

bool TdmCam::ProbeExternalDevice() {
    if (!fg_.Active()) {
        fg_.SetActive(true);
        graphBuilder_ = fg_.CaptureGraphBuilder(); // each activation has its own builder
    }
    sourceFilter_.reset();
    if (!VideoSource.HasFilter()) return false;
    sourceFilter_ = VideoSource.Filter();

    ComPtr<IAMExtDevice> device;
    sourceFilter_->QueryInterface(IAMExtDevice::iid, device.putVoid());
    camcorder_.transport.reset();
    camcorder_.transportAvailable = SUCCEEDED(
        sourceFilter_->QueryInterface(IAMExtTransport::iid, camcorder_.transport.putVoid()));
    camcorder_.timecodeReader.reset();
    camcorder_.timecodeAvailable = SUCCEEDED(
        sourceFilter_->QueryInterface(IAMTimecodeReader::iid, camcorder_.timecodeReader.putVoid()));
    camcorder_.vcrMode = false;
    if (device) {
        long type = 0;
        double unused = 0;
        device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, &unused);
        camcorder_.vcrMode = type == ED_DEVTYPE_VCR;
    }
    return true;
}

// --- Previews ------------------------------------------------------------------------------------

void TdmCam::StopGraph() {
    if (fg_.GraphState() != gsRunning) return;
    if (sourceKind_ == SourceKind::skMovieBox) {
        ReplaceGraph();
        return;
    }
    fg_.HaltGraph();
}

void TdmCam::ReplaceGraph() {
    // The MovieBox's driver does not survive a graph that is halted and run again: the graph
    // goes, and a new one is built from the analysis on.
    TLOG(Graph) << "graph module: the MovieBox graph is replaced";
    previewRenderer_.reset();
    graphBuilder_.reset();
    fg_.EmptyGraph(); // halts first: the writers finish their files
    ReleaseCaptureWriter();
    fg_.SetActive(false);
    previewReady_ = false;
    fg_.SetActive(true);
    previewRenderer_ = window_.PreviewRenderer();
    graphBuilder_ = fg_.CaptureGraphBuilder();
    if (onGraphReplaced_) onGraphReplaced_();
}

bool TdmCam::RunGraph() {
    if (fg_.RunGraph()) return hasRun_ = true;
    // A capture file that cannot be made fails the run: the writer knows why.
    const std::string writer = CaptureWriterError();
    return Fail(writer.empty() ? "The graph cannot run" : writer);
}

void TdmCam::TearDownGraph() {
    if (!fg_.Active()) return;
    fg_.HaltGraph();
    fg_.DisconnectAllPins();
    RemoveOwn(controlFilter_.get());
    RemoveOwn(dvHeader_.get());
    RemoveOwn(superposer_.get());
    RemoveOwn(sceneDetect_.get());
    RemoveOwn(captureWriter_.get());
    RemoveOwn(FilterOfSink(captureSink_.get()).get());
    RemoveOwn(tsVideo_.get());
    RemoveOwn(tsAudio_.get());
    RemoveOwn(tsAuto_.get());
    captureWriter_.reset();
    captureSink_.reset();
    for (TFilter* slot : {&AudioSource,  &demux,         &Dump,
                          &Deinterlacer, &Mpeg2VideoDec, &Smarttee,
                          &Infinite,     &Infinite2,     &infinite3,
                          &infinite4,    &DVsplitter,    &DVsplitter2,
                          &DVDEcoder,    &DVencoder,     &DVmuxer,
                          &color1,       &color2,        &MpegAudioDec,
                          &acm,          &AudioRender,   static_cast<TFilter*>(&sg)})
        slot->SetFilterGraph(nullptr);
    // Filters intelligent connection inserted belong to no slot.
    fg_.EmptyGraph();
}

bool TdmCam::BuildPreviewGraph(SourceKind kind) {
    lastError_.clear();
    if (kind != sourceKind_ || !sourcePin_)
        return Fail("The preview does not match the analysed source");
    switch (kind) {
    case SourceKind::skDv:
        return BuildDvPreview();
    case SourceKind::skCapturePin:
        return BuildCapturePinPreview();
    case SourceKind::skMpeg2Stream:
        return BuildMpeg2StreamPreview();
    case SourceKind::skMovieBox:
        return BuildMovieBoxPreview();
    case SourceKind::skNone:
        break;
    }
    return Fail("No video source");
}

void TdmCam::PreviewHead(bool dv) {
    TearDownGraph();
    FindSourceControls();
    // The preview window's renderer ends the preview; it joins with the window's slot.
    window_.SetFilterGraph(&fg_);
    previewRenderer_ = window_.PreviewRenderer();
    Join(Smarttee);
    Join(Infinite);
    if (dv) Join(DVsplitter);
    CheckGraphResult(Render(sourcePin_.get(), Smarttee.Filter().get(), Infinite.Filter().get()),
                     "The source does not reach the raw-stream tee");
}

bool TdmCam::ConnectInInputLayout(IBaseFilter* converter, IBaseFilter* next) {
    ComPtr<IPin> in, out, nextIn;
    if (FAILED(graphBuilder_->FindPin(converter, PINDIR_INPUT, nullptr, nullptr, 0, 0, in.put())))
        return false;
    const ConnectionType type(in.get());
    if (!type.valid) return false;
    const std::optional<TColorSpaceConverter::Format> format =
        TColorSpaceConverter::FormatOf(CMediaType(type.mt));
    if (!format || format->rgb) return false;
    if (FAILED(graphBuilder_->FindPin(converter, PINDIR_OUTPUT, nullptr, nullptr, 1, 0,
                                      out.put())) ||
        FAILED(graphBuilder_->FindPin(next, PINDIR_INPUT, nullptr, nullptr, 1, 0, nextIn.put())))
        return false;
    return SUCCEEDED(fg_.GraphBuilder()->ConnectDirect(out.get(), nextIn.get(), &type.mt));
}

void TdmCam::PreviewTail(IBaseFilter* picture, bool timestamper) {
    Join(Infinite2);
    if (picture) Render(picture, nullptr, Infinite2.Filter().get());
    Join(sg);
    // A YUV picture reaches the grabber and the window through a converter that intelligent
    // connection inserts; it converts only the frames the window asks for.
    Render(Infinite2.Filter().get(), nullptr, sg.Filter().get());
    if (timestamper) {
        AddOwn(tsVideo_.get(), "tsVideo");
        Render(sg.Filter().get(), tsVideo_.get(), previewRenderer_.get());
        tsVideo_->SetClearTimesMode();
    } else {
        Render(sg.Filter().get(), nullptr, previewRenderer_.get());
    }

    previewReady_ = true;
    // An audio branch that cannot be built leaves the preview without it; LastError says why.
    if (settings_.listenIncludedAudio) BuildAudioBranch();
    if (settings_.recordSoundCard) AddSoundCardBranch();
    tsAudio_->SetClearTimesMode();
    ReadSourceFrameDuration();
}

bool TdmCam::BuildDvPreview() {
    previewReady_ = false;
    lastError_.clear();
    try {
        PreviewHead(true);
        AddOwn(sceneDetect_.get(), "SceneDetect");
        Render(Infinite.Filter().get(), sceneDetect_.get(), DVsplitter.Filter().get());
        Join(DVDEcoder);
        Join(color2);
        Join(color1);
        const ComPtr<IBaseFilter> deinterlacer = JoinDeinterlacer();
        // The picture stays in the decoder's own layout through the inlay to the capture tee:
        // the DV encoder and the Windows Media writer take it as it is, and only the preview
        // branch converts to RGB (and only the frames it shows).
        superposer_->SetYuvInput(true);
        AddOwn(superposer_.get(), "Superposer");
        Render(DVsplitter.Filter().get(), deinterlacer.get(), color1.Filter().get());
        if (!ConnectInInputLayout(color1.Filter().get(), superposer_.get()))
            Render(color1.Filter().get(), nullptr, superposer_.get());
        Render(superposer_.get(), nullptr, color2.Filter().get());
        Join(Infinite2);
        if (!ConnectInInputLayout(color2.Filter().get(), Infinite2.Filter().get()))
            PreviewTail(color2.Filter().get());
        else
            PreviewTail(nullptr);
        // Only a DV preview tells the TV standard of the DV the captures write.
        settings_.standardDv =
            (frameDuration_ == kDvFrameTime625 || frameDuration_ == 2000000) ? 0 : 1;
        ChooseGraphClock();
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

bool TdmCam::BuildCapturePinPreview() {
    previewReady_ = false;
    lastError_.clear();
    try {
        fg_.HaltGraph();
        PreviewHead(false);
        // An analogue input follows "Standard DV"; a card whose input has no standard refuses.
        ComPtr<IAMAnalogVideoDecoder> decoder;
        if (SUCCEEDED(sourceFilter_->QueryInterface(IAMAnalogVideoDecoder::iid, decoder.putVoid())))
            decoder->put_TVFormat(settings_.standardDv == 0 ? AnalogVideo_PAL_B
                                                            : AnalogVideo_NTSC_M);
        const ComPtr<IBaseFilter> deinterlacer = JoinDeinterlacer();
        // Intelligent connection brings the decoder or converter the camera's layout needs; the
        // inlay draws into RGB, which the preview takes as it is.
        superposer_->SetYuvInput(false);
        AddOwn(superposer_.get(), "Superposer");
        CheckGraphResult(Render(Infinite.Filter().get(), deinterlacer.get(), superposer_.get()),
                         "The capture pin's picture does not reach the inlay");
        PreviewTail(superposer_.get());
        ChooseGraphClock();
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

ComPtr<IPin> TdmCam::DemuxPin(const AM_MEDIA_TYPE& type, const std::string& name,
                              ULONG streamId) {
    ComPtr<IPin> pin;
    CheckGraphResult(demux.Query<IMpeg2Demultiplexer>()->CreateOutputPin(&type, name, pin.put()),
                     "The demultiplexer cannot make its pin \"" + name + "\"");
    ComPtr<IMPEG2StreamIdMap> map;
    CheckGraphResult(pin->QueryInterface(IMPEG2StreamIdMap::iid, map.putVoid()),
                     "The demultiplexer's pin \"" + name + "\" maps no stream ids");
    CheckGraphResult(map->MapStreamId(streamId, MPEG2_PROGRAM_ELEMENTARY_STREAM, 0, 0),
                     "The demultiplexer's pin \"" + name + "\" refuses its stream id");
    return pin;
}

bool TdmCam::BuildMpeg2StreamPreview() {
    previewReady_ = false;
    lastError_.clear();
    try {
        PreviewHead(false);
        const ComPtr<IPin> raw =
            FindFreeOutput(graphBuilder_.get(), Infinite.Filter().get(), nullptr, &MEDIATYPE_Stream);
        Join(demux);
        if (!raw || FAILED(Render(raw.get(), nullptr, demux.Filter().get())))
            return Fail("The program stream does not reach the demultiplexer");
        const ComPtr<IPin> video = DemuxPin(MpegVideoPinType(), "MpegVideo", kMpegVideoStreamId);
        DecodeIntoInlay(video.get());
        DemuxPin(MpegAudioPinType(), "MpegAudio", kMpegAudioStreamId);
        PreviewTail(superposer_.get(), false);
        ChooseGraphClock();
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

ComPtr<IBaseFilter> TdmCam::JoinDeinterlacer() {
    if (!settings_.deinterlacerOn) return nullptr;
    Join(Deinterlacer);
    return Deinterlacer.Filter();
}

void TdmCam::DecodeIntoInlay(IUnknown* video) {
    Join(sg);
    Join(Mpeg2VideoDec);
    const ComPtr<IBaseFilter> deinterlacer = JoinDeinterlacer();
    Render(video, nullptr, Mpeg2VideoDec.Filter().get());
    AddOwn(superposer_.get(), "Superposer");
    Render(Mpeg2VideoDec.Filter().get(), deinterlacer.get(), superposer_.get());
}

bool TdmCam::BuildMovieBoxPreview() {
    previewReady_ = false;
    lastError_.clear();
    try {
        PreviewHead(false);
        // The MovieBox's demultiplexer comes with its outputs: they are connected directly.
        Join(demux);
        Render(Infinite.Filter().get(), nullptr, demux.Filter().get());
        DecodeIntoInlay(demux.Filter().get());
        PreviewTail(superposer_.get());
        ChooseGraphClock();
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

void TdmCam::ReadSourceFrameDuration() {
    frameDuration_ = kDvFrameTime625;
    ConnectionType type(sourcePin_.get());
    if (!type.valid) return;
    const AM_MEDIA_TYPE& mt = type.mt;
    if (mt.formattype == FORMAT_DvInfo && mt.cbFormat >= sizeof(DVINFO) && mt.pbFormat) {
        DVINFO info;
        std::memcpy(&info, mt.pbFormat, sizeof info);
        // The 50/60 flag: bit 5 of PC3 of the video source pack.
        const bool fifty = ((info.dwDVVAuxSrc >> 16) & 0x20) != 0;
        frameDuration_ = fifty ? kDvFrameTime625 : kDvFrameTime525;
    } else if (mt.formattype == FORMAT_MPEG2Video && mt.cbFormat >= sizeof(MPEG2VIDEOINFO) &&
               mt.pbFormat) {
        std::memcpy(&frameDuration_, mt.pbFormat + offsetof(MPEG2VIDEOINFO, hdr.AvgTimePerFrame),
                    sizeof frameDuration_);
    } else if ((mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= 88 && mt.pbFormat) ||
               (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= 112 && mt.pbFormat)) {
        REFERENCE_TIME avg = 0;
        std::memcpy(&avg, mt.pbFormat + offsetof(VIDEOINFOHEADER, AvgTimePerFrame), sizeof avg);
        frameDuration_ = avg;
    }
    // Inlay durations are counted in the source's own frames.
    superposer_->SetSourceFrameDuration(frameDuration_);
}

bool TdmCam::SourceIsLive() const {
    ComPtr<IAMPushSource> push;
    ULONG flags = 0;
    if (!sourcePin_ || FAILED(sourcePin_->QueryInterface(IAMPushSource::iid, push.putVoid())) ||
        FAILED(push->GetPushSourceFlags(&flags)))
        return true; // a capture device that says nothing is live
    return (flags & AM_PUSHSOURCECAPS_NOT_LIVE) == 0;
}

void TdmCam::ChooseGraphClock() {
    // Against a clock, the preview renderers would hold a file read as fast as it goes to real
    // time; without one they show and play what arrives, and every sample still reaches the
    // capture writers.
    fg_.UseReferenceClock(SourceIsLive());
}

// --- Capture branches ----------------------------------------------------------------------------

void TdmCam::ReleaseCaptureWriter() {
    captureWriter_.reset();
    captureSink_.reset();
}

bool TdmCam::WriterFrame(const CaptureRequest& request) {
    if (!previewReady_) return Fail("No completed preview to add a capture to");
    previewReady_ = false;
    ReleaseCaptureWriter();
    if (FAILED(graphBuilder_->SetOutputFileName(request.row.writerSubtype, request.file,
                                                captureWriter_.put(), captureSink_.put())))
        return Fail("The file writer for \"" + request.file + "\" cannot be made");
    return true;
}

TdmCam::CaptureBuilder TdmCam::BuilderOf(CaptureRecipe recipe) {
    // One line per recipe built; the others are not built yet.
    switch (recipe) {
    case CaptureRecipe::A1:
        return &TdmCam::CaptureA1;
    case CaptureRecipe::A2:
        return &TdmCam::CaptureA2;
    case CaptureRecipe::Ddv:
        return &TdmCam::CaptureDdv;
    case CaptureRecipe::Idv:
        return &TdmCam::CaptureIdv;
    case CaptureRecipe::W:
        return &TdmCam::CaptureW;
    case CaptureRecipe::Dpin:
        return &TdmCam::CaptureDpin;
    case CaptureRecipe::Iraw:
        return &TdmCam::CaptureIraw;
    case CaptureRecipe::Navi:
        return &TdmCam::CaptureNavi;
    case CaptureRecipe::Ndump:
        return &TdmCam::CaptureNdump;
    case CaptureRecipe::Dmpg:
        return &TdmCam::CaptureDmpg;
    case CaptureRecipe::Dmbx:
        return &TdmCam::CaptureDmbx;
    case CaptureRecipe::Ienc:
        return &TdmCam::CaptureIenc;
    default:
        return nullptr;
    }
}

bool TdmCam::HasCaptureBuilder(SourceKind kind, int format) const {
    return BuilderOf(CaptureRecipeFor(kind, format)) != nullptr;
}

bool TdmCam::BuildCaptureGraph(SourceKind kind, int format, std::uint8_t tvStandard,
                               const std::string& captureFile) {
    lastError_.clear();
    captureFile_ = captureFile;
    const CaptureFormatRow* row = CaptureFormatRowOf(format);
    const CaptureRecipe recipe = row ? row->RecipeFor(kind) : CaptureRecipe::None;
    if (recipe == CaptureRecipe::None) return Fail("No capture graph for this format and source");
    const CaptureBuilder builder = BuilderOf(recipe);
    if (!builder) return Fail("This capture graph is not built yet");
    try {
        return (this->*builder)(CaptureRequest{*row, kind, tvStandard, captureFile});
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

bool TdmCam::CaptureA1(const CaptureRequest& request) {
    // Takes part in the preview guard like the other writers: a second writer on the same tee
    // would write a second file from the same stream.
    if (!WriterFrame(request)) return false;
    if (FAILED(Render(Infinite.Filter().get(), nullptr, captureWriter_.get())))
        return Fail("The DV stream does not reach the writer");
    return true;
}

bool TdmCam::CaptureA2(const CaptureRequest& request) {
    if (sourceKind_ != SourceKind::skDv) return Fail("The source is not a DV camcorder");
    if (!WriterFrame(request)) return false;
    Join(DVsplitter2);
    Render(Infinite.Filter().get(), nullptr, DVsplitter2.Filter().get());
    Render(DVsplitter2.Filter().get(), nullptr, captureWriter_.get()); // video
    Render(DVsplitter2.Filter().get(), nullptr, captureWriter_.get()); // audio
    return true;
}

bool TdmCam::DvEncodeStart(const CaptureRequest& request) {
    if (!WriterFrame(request)) return false;
    Join(DVmuxer);
    Join(DVencoder);
    DVencoder.Query<IDVEnc>()->put_IFormatResolution(request.tvStandard == 0 ? kDvEncPal
                                                                             : kDvEncNtsc,
                                                     kDvEncDvsd, kDvEncFullResolution, 0, nullptr);
    Render(Infinite2.Filter().get(), DVencoder.Filter().get(), DVmuxer.Filter().get());
    return true;
}

void TdmCam::SplitDvIntoWriter() {
    Join(DVsplitter2);
    Render(DVmuxer.Filter().get(), nullptr, DVsplitter2.Filter().get());
    Render(DVsplitter2.Filter().get(), nullptr, captureWriter_.get()); // video
    Render(DVsplitter2.Filter().get(), nullptr, captureWriter_.get()); // audio
}

bool TdmCam::CaptureDpin(const CaptureRequest& request) {
    if (sourceKind_ != SourceKind::skCapturePin) return Fail("The source is not a capture pin");
    if (!DvEncodeStart(request)) return false;
    if (settings_.recordSoundCard && infinite3.FilterGraph() == &fg_) {
        Join(acm);
        Render(infinite3.Filter().get(), acm.Filter().get(), DVmuxer.Filter().get());
    }
    SplitDvIntoWriter();
    return true;
}

bool TdmCam::CaptureIraw(const CaptureRequest& request) {
    if (sourceKind_ == SourceKind::skDv) return Fail("The source is a DV camcorder");
    if (!WriterFrame(request)) return false;
    AddOwn(controlFilter_.get(), "vq_controlFilter");
    // The capture pin's own picture, without inlay.
    const bool connected =
        SUCCEEDED(Render(Infinite.Filter().get(), controlFilter_.get(), captureWriter_.get()));
    ControlFilterSetUp();
    return connected || Fail("The capture pin's video does not reach the writer");
}

bool TdmCam::CaptureNavi(const CaptureRequest& request) {
    if (sourceKind_ == SourceKind::skDv) return Fail("The source is a DV camcorder");
    if (!WriterFrame(request)) return false;
    // The device's own stream, unchanged.
    const bool connected =
        SUCCEEDED(Render(Infinite.Filter().get(), nullptr, captureWriter_.get()));
    if (connected && settings_.recordSoundCard && infinite3.FilterGraph() == &fg_)
        Render(infinite3.Filter().get(), nullptr, captureWriter_.get());
    return connected || Fail("The capture pin's video does not reach the writer");
}

bool TdmCam::CaptureNdump(const CaptureRequest& request) {
    // Takes part in the preview guard like the writers, for the same reason as A1.
    if (!previewReady_) return Fail("No completed preview to add a capture to");
    previewReady_ = false;
    ReleaseCaptureWriter();
    Join(Dump);
    if (!Dump.HasFilter()) return Fail("The dump filter is not found");
    if (FAILED(Dump.Query<IFileSinkFilter>()->SetFileName(request.file, nullptr)))
        return Fail("The dump filter refuses the file \"" + request.file + "\"");
    // The program stream as the device delivered it, picture and sound together.
    if (FAILED(Render(Infinite.Filter().get(), nullptr, Dump.Filter().get())))
        return Fail("The program stream does not reach the dump filter");
    return true;
}

void TdmCam::OldStyleIndex() {
    ComPtr<IConfigAviMux> mux;
    if (SUCCEEDED(captureWriter_->QueryInterface(IConfigAviMux::iid, mux.putVoid())))
        mux->SetOutputCompatibilityIndex(1);
}

// The box's sound as it is heard goes through the ACM wrapper, which StartCapture sets to the DV
// recording rate.
void TdmCam::HeardSoundThroughAcm() {
    if (!settings_.listenIncludedAudio || infinite4.FilterGraph() != &fg_) return;
    Join(acm);
    Render(infinite4.Filter().get(), acm.Filter().get(), DVmuxer.Filter().get());
}

bool TdmCam::CaptureDmpg(const CaptureRequest& request) {
    if (sourceKind_ != SourceKind::skMpeg2Stream) return Fail("The source is not an MPEG-2 stream");
    if (!DvEncodeStart(request)) return false;
    OldStyleIndex();
    HeardSoundThroughAcm();
    if (settings_.recordSoundCard && infinite3.FilterGraph() == &fg_)
        Render(infinite3.Filter().get(), nullptr, DVmuxer.Filter().get());
    SplitDvIntoWriter();
    return true;
}

bool TdmCam::CaptureDmbx(const CaptureRequest& request) {
    if (sourceKind_ != SourceKind::skMovieBox) return Fail("The source is not a MovieBox");
    if (!DvEncodeStart(request)) return false;
    HeardSoundThroughAcm();
    if (settings_.recordSoundCard && infinite3.FilterGraph() == &fg_) {
        Join(acm);
        // The sound card takes the type of the DV muxer's sound when it already has one.
        ComPtr<IPin> sound, out;
        ComPtr<IAMStreamConfig> config;
        if (SUCCEEDED(graphBuilder_->FindPin(DVmuxer.Filter().get(), PINDIR_INPUT, nullptr, nullptr,
                                             0, 1, sound.put())) &&
            SUCCEEDED(graphBuilder_->FindPin(acm.Filter().get(), PINDIR_OUTPUT, nullptr, nullptr, 0,
                                             0, out.put())) &&
            SUCCEEDED(out->QueryInterface(IAMStreamConfig::iid, config.putVoid()))) {
            ConnectionType type(sound.get());
            if (type.valid) config->SetFormat(&type.mt);
        }
        Render(infinite3.Filter().get(), acm.Filter().get(), DVmuxer.Filter().get());
    }
    SplitDvIntoWriter();
    return true;
}

bool TdmCam::CaptureIenc(const CaptureRequest& request) {
    if (!IsProgramStreamKind(sourceKind_)) return Fail("The source delivers no program stream");
    if (!DvEncodeStart(request)) return false;
    if (sourceKind_ == SourceKind::skMpeg2Stream) OldStyleIndex();
    Join(DVsplitter2);
    Render(DVmuxer.Filter().get(), nullptr, DVsplitter2.Filter().get());
    AddOwn(controlFilter_.get(), "vq_controlFilter");
    // The encoded picture only: images carry no sound.
    Render(DVsplitter2.Filter().get(), controlFilter_.get(), captureWriter_.get());
    ControlFilterSetUp();
    return true;
}

bool TdmCam::CaptureDdv(const CaptureRequest& request) {
    if (!DvEncodeStart(request)) return false;
    if (settings_.listenIncludedAudio && infinite4.FilterGraph() == &fg_)
        Render(infinite4.Filter().get(), nullptr, DVmuxer.Filter().get());
    if (settings_.recordSoundCard && infinite3.FilterGraph() == &fg_) {
        Join(acm);
        Render(infinite3.Filter().get(), acm.Filter().get(), DVmuxer.Filter().get());
    }
    Join(DVsplitter2);
    AddOwn(dvHeader_.get(), "DVheader");
    Render(DVmuxer.Filter().get(), nullptr, DVsplitter2.Filter().get());
    Render(DVsplitter2.Filter().get(), dvHeader_.get(), captureWriter_.get()); // video
    Render(DVsplitter2.Filter().get(), nullptr, captureWriter_.get());         // audio
    return true;
}

bool TdmCam::CaptureIdv(const CaptureRequest& request) {
    if (sourceKind_ != SourceKind::skDv) return Fail("The source is not a DV camcorder");
    if (!WriterFrame(request)) return false;
    Join(DVsplitter2);
    Render(Infinite.Filter().get(), nullptr, DVsplitter2.Filter().get());
    AddOwn(controlFilter_.get(), "vq_controlFilter");
    // The DV video stream only: images carry no sound.
    Render(DVsplitter2.Filter().get(), controlFilter_.get(), captureWriter_.get());
    ControlFilterSetUp();
    return true;
}

bool TdmCam::CaptureW(const CaptureRequest& request) {
    if (!HasCaptureBuilder(request.kind, request.row.index))
        return Fail("Windows Media captures of this source kind are not built yet");
    if (request.kind == SourceKind::skCapturePin && sourceKind_ != SourceKind::skCapturePin)
        return Fail("The source is not a capture pin");
    if (!WriterFrame(request)) return false;
    // The writer's inputs are those of its default profile until StartCapture configures it;
    // a profile without sound then disconnects the audio input again.
    if (FAILED(Render(Infinite2.Filter().get(), nullptr, captureWriter_.get())))
        return Fail("The inlaid picture does not reach the Windows Media writer");
    // A capture pin's picture has no included sound.
    if (settings_.listenIncludedAudio && request.kind != SourceKind::skCapturePin &&
        infinite4.FilterGraph() == &fg_)
        Render(infinite4.Filter().get(), nullptr, captureWriter_.get());
    if (settings_.recordSoundCard && infinite3.FilterGraph() == &fg_)
        Render(infinite3.Filter().get(), nullptr, captureWriter_.get());
    return true;
}

bool TdmCam::ConfigureAsfWriter(const TWmProfile* profile) {
    lastError_.clear();
    if (!profile) return Fail("The chosen Windows Media profile cannot be loaded");
    ComPtr<IConfigAsfWriter> config;
    if (!captureWriter_ ||
        FAILED(captureWriter_->QueryInterface(IConfigAsfWriter::iid, config.putVoid())))
        return Fail("No Windows Media writer to configure");
    if (FAILED(config->ConfigureFilterUsingProfile(*profile)))
        return Fail("The Windows Media writer refuses the profile \"" + profile->GetName() + "\"");
    return true;
}

void TdmCam::ControlFilterSetUp() {
    ComPtr<IConfigInterleaving> interleaving;
    if (SUCCEEDED(captureWriter_->QueryInterface(IConfigInterleaving::iid, interleaving.putVoid())))
        interleaving->put_Mode(INTERLEAVE_NONE);
    controlFilter_->SetMarkSyncPoint(true);
    controlFilter_->SetMarkDiscontinuity(true);
    controlFilter_->SetMediaTimeStep(1);
    controlFilter_->SetMediaTimeStamping(true);
    controlFilter_->SetPassNext(false);
}

bool TdmCam::SwitchOutputFile(const std::string& path) {
    lastError_.clear();
    if (!captureSink_) return Fail("No capture writer to give a new file");
    try {
        if (FAILED(captureSink_->SetFileName(path, nullptr)))
            return Fail("The writer refuses the file \"" + path + "\"");
        captureFile_ = path;
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

// --- Audio ---------------------------------------------------------------------------------------

bool TdmCam::BuildAudioBranch() {
    try {
        if (fg_.GraphState() == gsRunning) StopGraph();
        const bool branchIn = infinite4.FilterGraph() == &fg_;
        if (!settings_.listenIncludedAudio) {
            if (!branchIn) return false;
            // The tee leaving cuts the branch; what followed it stays in the graph, unfed (the
            // converter ends its stream at each start and the renderer finishes at once).
            infinite4.SetFilterGraph(nullptr);
            MpegAudioDec.SetFilterGraph(nullptr);
            return true;
        }
        if (branchIn) return false;
        if (sourceKind_ == SourceKind::skMpeg2Stream) return BuildMpeg2StreamAudio();
        if (sourceKind_ == SourceKind::skMovieBox) return BuildMovieBoxAudio();
        if (sourceKind_ == SourceKind::skCapturePin) {
            // The source's own audio pin (a webcam's microphone) heard through its tee.
            if (!sourceAudioPin_) return false;
            Join(AudioRender);
            Join(infinite4);
            AddOwn(tsAudio_.get(), "tsAudio");
            if (FAILED(Render(sourceAudioPin_.get(), nullptr, infinite4.Filter().get())))
                return false;
            Render(infinite4.Filter().get(), tsAudio_.get(), AudioRender.Filter().get());
            return true;
        }
        if (sourceKind_ != SourceKind::skDv)
            return Fail("Included audio of this source kind is not built yet");
        if (DVsplitter.FilterGraph() != &fg_) return false;
        Join(AudioRender);
        Join(infinite4);
        AddOwn(tsAudio_.get(), "tsAudio");
        if (acm.BaseFilter()) {
            Join(acm);
            if (FAILED(Render(DVsplitter.Filter().get(), infinite4.Filter().get(),
                              acm.Filter().get(), &MEDIATYPE_Audio))) {
                // A stream without sound: nothing to hear, and a renderer behind an unfed
                // converter would hold every pause (see above).
                acm.SetFilterGraph(nullptr);
                AudioRender.SetFilterGraph(nullptr);
                return true;
            }
            Render(acm.Filter().get(), tsAudio_.get(), AudioRender.Filter().get());
            SetAcmOutputRate(44100, false);
        } else {
            // Without the ACM wrapper the DV audio is heard at its own rate.
            Render(DVsplitter.Filter().get(), nullptr, infinite4.Filter().get(), &MEDIATYPE_Audio);
            Render(infinite4.Filter().get(), tsAudio_.get(), AudioRender.Filter().get());
        }
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

bool TdmCam::BuildMpeg2StreamAudio() {
    if (demux.FilterGraph() != &fg_) return false;
    Join(AudioRender);
    // "MpegAudio", decoded by the MPEG audio decoder intelligent connection brings.
    if (FAILED(Render(demux.Filter().get(), nullptr, AudioRender.Filter().get()))) {
        AudioRender.SetFilterGraph(nullptr);
        return false;
    }
    // The tee goes just before the renderer: captures take the sound as it is heard.
    TeeIncludedAudioBefore(AudioRender.Filter().get());
    return true;
}

void TdmCam::TeeIncludedAudioBefore(IBaseFilter* end) {
    ComPtr<IPin> in, decoded;
    if (FAILED(graphBuilder_->FindPin(end, PINDIR_INPUT, nullptr, nullptr, 0, 0, in.put())) ||
        FAILED(in->ConnectedTo(decoded.put())))
        return;
    fg_.GraphBuilder()->Disconnect(decoded.get());
    fg_.GraphBuilder()->Disconnect(in.get());
    Join(infinite4);
    Render(decoded.get(), infinite4.Filter().get(), end);
}

bool TdmCam::BuildMovieBoxAudio() {
    Join(AudioRender);
    Join(MpegAudioDec);
    // The demultiplexer's free output: its sound.
    if (FAILED(Render(demux.Filter().get(), nullptr, MpegAudioDec.Filter().get()))) {
        // Sound that cannot be decoded leaves nothing behind.
        MpegAudioDec.SetFilterGraph(nullptr);
        infinite4.SetFilterGraph(nullptr);
        AudioRender.SetFilterGraph(nullptr);
        return true;
    }
    AddOwn(tsAudio_.get(), "tsAudio");
    Render(MpegAudioDec.Filter().get(), tsAudio_.get(), AudioRender.Filter().get());
    // The tee goes just before the timestamper: captures take the sound as it is heard.
    TeeIncludedAudioBefore(tsAudio_.get());
    return true;
}

bool TdmCam::SetAcmOutputRate(int rate, bool stereo16) {
    ComPtr<IPin> out;
    if (FAILED(graphBuilder_->FindPin(acm.Filter().get(), PINDIR_OUTPUT, nullptr, nullptr, 0, 0,
                                      out.put())))
        return false;
    ConnectionType type(out.get());
    if (!type.valid || !type.mt.pbFormat || type.mt.cbFormat < sizeof(WAVEFORMATEX)) return false;
    CMediaType mt(type.mt);
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wave = reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat);
    if (stereo16) {
        wave->nChannels = 2;
        wave->wBitsPerSample = 16;
        wave->nBlockAlign = 4;
    }
    wave->nSamplesPerSec = static_cast<DWORD>(rate);
    wave->nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    ComPtr<IAMStreamConfig> config;
    if (FAILED(out->QueryInterface(IAMStreamConfig::iid, config.putVoid()))) return false;
    const bool running = fg_.GraphState() == gsRunning;
    if (running) fg_.HaltGraph();
    const HRESULT hr = config->SetFormat(&mt);
    if (running) fg_.RunGraph();
    return SUCCEEDED(hr);
}

bool TdmCam::ForceDvAudio44100(int rate) {
    try {
        if (acm.FilterGraph() != &fg_ || !acm.HasFilter()) return false;
        if (rate <= 0) {
            // The listening rate follows the DV stream's own.
            ComPtr<IPin> in;
            if (FAILED(graphBuilder_->FindPin(acm.Filter().get(), PINDIR_INPUT, nullptr, nullptr, 0,
                                              0, in.put())))
                return false;
            ConnectionType type(in.get());
            if (!type.valid || !type.mt.pbFormat || type.mt.cbFormat < sizeof(WAVEFORMATEX))
                return false;
            rate = static_cast<int>(
                reinterpret_cast<const WAVEFORMATEX*>(type.mt.pbFormat)->nSamplesPerSec);
        }
        return rate > 0 && SetAcmOutputRate(rate, false);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

bool TdmCam::ForceAcmOutputRate(int rate) {
    try {
        if (acm.FilterGraph() != &fg_ || !acm.HasFilter() || rate <= 0) return false;
        // The DV muxer's output type carries the sound's rate, and the DV splitter behind it
        // takes no other type while its outputs are connected: it is connected again after.
        bool split = false;
        if (DVsplitter2.FilterGraph() == &fg_ && DVsplitter2.HasFilter() && captureWriter_)
            for (const ComPtr<IPin>& pin : PinsOf(DVsplitter2.Filter().get()))
                if (const ComPtr<IPin> peer = PeerOf(pin.get())) {
                    fg_.GraphBuilder()->Disconnect(peer.get());
                    fg_.GraphBuilder()->Disconnect(pin.get());
                    split = true;
                }
        const bool set = SetAcmOutputRate(rate, true);
        if (split) {
            SplitDvIntoWriter();
        }
        return set;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

bool TdmCam::SelectAudioSource(const std::string& friendlyName) {
    return FindDeviceByName(devEnum_.get(), CLSID_AudioInputDeviceCategory, friendlyName,
                            AudioSource);
}

bool TdmCam::AddSoundCardBranch() {
    try {
        if (fg_.GraphState() != gsStopped) fg_.HaltGraph();
        Join(AudioSource);
        Join(infinite3);
        AddOwn(tsAuto_.get(), "tsAuto");
        if (FAILED(Render(AudioSource.Filter().get(), tsAuto_.get(), infinite3.Filter().get())))
            return Fail("The sound card does not reach its tee");
        return true;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

// --- Run-time facts ------------------------------------------------------------------------------

bool TdmCam::SourceFrameCounts(long& delivered, long& dropped) const {
    if (!sourcePin_) return false;
    ComPtr<IAMDroppedFrames> counts;
    if (FAILED(sourcePin_->QueryInterface(IAMDroppedFrames::iid, counts.putVoid()))) return false;
    return SUCCEEDED(counts->GetNumNotDropped(&delivered)) &&
           SUCCEEDED(counts->GetNumDropped(&dropped));
}

namespace {
ComPtr<IAviFileWriterControl> WriterControlOf(IFileSinkFilter* sink) {
    ComPtr<IAviFileWriterControl> control;
    if (sink) sink->QueryInterface(IAviFileWriterControl::iid, control.putVoid());
    return control;
}
} // namespace

std::optional<std::uint64_t> TdmCam::CapturedVideoFrames() const {
    std::vector<std::uint64_t> lengths;
    const ComPtr<IAviFileWriterControl> control = WriterControlOf(captureSink_.get());
    if (!control || FAILED(control->GetStreamLengths(&lengths))) return std::nullopt;
    return lengths.empty() ? 0 : lengths.front();
}

std::string TdmCam::CaptureWriterError() const {
    HRESULT code = S_OK;
    std::string message;
    const ComPtr<IAviFileWriterControl> control = WriterControlOf(captureSink_.get());
    if (!control || FAILED(control->GetLastError(&code, &message))) return {};
    return message;
}

long TdmCam::TakeCompletion() {
    fg_.HandleGraphEvents();
    const long ended = std::exchange(runEnded_, 0);
    if (ended != 0 && ended != EC_COMPLETE) {
        // The writer says which file and why (a full disk); other filters only have the code.
        const std::string writer = CaptureWriterError();
        Fail(!writer.empty() ? writer
                             : "A filter stopped the stream: " + HResultText(runEndResult_));
    }
    return ended;
}

} // namespace talvence
