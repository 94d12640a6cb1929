#include "platform/media/filters/asf/AsfWriter.h"

#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/dv/DvMediaTypes.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>

namespace talvence {

using namespace dvcodec;

namespace {

std::string InputName(bool video, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s Input %02d", video ? "Video" : "Audio", number);
    return name;
}

const WAVEFORMATEX* PcmFormatOf(const CMediaType& mt) {
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM ||
        mt.formattype != FORMAT_WaveFormatEx || !mt.pbFormat || mt.cbFormat < sizeof(WAVEFORMATEX))
        return nullptr;
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    if (wave->nChannels == 0 || wave->nChannels > 2 || wave->nSamplesPerSec == 0 ||
        (wave->wBitsPerSample != 8 && wave->wBitsPerSample != 16))
        return nullptr;
    return wave;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TAsfWriterInputPin

TAsfWriterInputPin::TAsfWriterInputPin(TAsfWriter* writer, const TWmStreamConfig& config,
                                       std::string name)
    : TBCBaseInputPin("ASF writer input", writer, writer->FilterLock(), std::move(name)),
      writer_(writer), config_(config), converter_(2 /* SWS_BILINEAR */) {}

TAsfWriterInputPin::~TAsfWriterInputPin() {
    // Frames still out keep their buffers; the pool goes with the last.
    av_buffer_pool_uninit(&pool_);
}

HRESULT TAsfWriterInputPin::CheckMediaType(const CMediaType* mt) {
    if (config_.IsVideo())
        return mt->majortype == MEDIATYPE_Video && PictureFormatOf(*mt) ? S_OK
                                                                        : VFW_E_TYPE_NOT_ACCEPTED;
    return PcmFormatOf(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAsfWriterInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    TBCAutoLock lock(receiveLock_);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        // The sound's format is in the file's header; a picture may change size or layout.
        const CMediaType next(*changed);
        DeleteMediaType(changed);
        if (!config_.IsVideo() || !PictureFormatOf(next)) {
            if (!MediaTypesEqual(next, CurrentMediaType())) {
                runTimeError_ = true;
                writer_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
                return VFW_E_INVALIDMEDIATYPE;
            }
        } else {
            inputType_ = next;
        }
    }
    hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (writer_->failed_) return writer_->FailureCode();
    const AM_SAMPLE2_PROPERTIES props = sampleProps_;
    if (ended_) return VFW_E_SAMPLE_REJECTED_EOS;
    if (props.dwStreamId != AM_STREAM_MEDIA || (props.dwSampleFlags & AM_SAMPLE_PREROLL) ||
        props.lActual <= 0 || !props.pbBuffer || fileStream_ < 0)
        return S_OK;
    ++received_;
    return config_.IsVideo() ? ReceivePicture(sample, props) : ReceiveSound(sample, props);
}

HRESULT TAsfWriterInputPin::ReceivePicture(IMediaSample* sample,
                                           const AM_SAMPLE2_PROPERTIES& props) {
    std::int64_t pts = lastPts_ + 1;
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop)))
        pts = std::llround(double(start) * config_.frameRateNum /
                           (double(config_.frameRateDen) * 1e7));
    // A frame of the profile's rate is taken by its first picture.
    if (pts <= lastPts_) return S_OK;
    const std::optional<PictureFormat> format = PictureFormatOf(inputType_);
    if (!format) return E_UNEXPECTED;
    const std::optional<ConstPicture> src =
        PictureOver(std::span<const std::uint8_t>(props.pbBuffer, std::size_t(props.lActual)),
                    format->layout, format->width, format->height);
    if (!src) return S_OK; // too short for its picture: dropped
    AVFrame* frame = PictureFrame();
    if (!frame) return E_OUTOFMEMORY;
    Picture dst;
    dst.layout = PixelLayout::Yuv420p;
    dst.width = config_.width;
    dst.height = config_.height;
    for (int i = 0; i < 3; ++i) {
        dst.planes[i] = frame->data[i];
        dst.strides[i] = frame->linesize[i];
    }
    if (!ConvertPicture(*src, dst)) {
        av_frame_free(&frame);
        return S_OK;
    }
    lastPts_ = pts;
    frame->pts = pts;
    TAsfWriter::Job job;
    job.kind = TAsfWriter::JobKind::Picture;
    job.stream = static_cast<std::size_t>(fileStream_.load());
    job.picture = frame;
    return writer_->Enqueue(std::move(job));
}

AVFrame* TAsfWriterInputPin::PictureFrame() {
    // Buffers come back to the pool when the encoder lets go of them: no fresh pages, and so no
    // page faults, per picture.
    const int align = 64;
    const int bytes =
        av_image_get_buffer_size(AV_PIX_FMT_YUV420P, config_.width, config_.height, align);
    if (bytes <= 0) return nullptr;
    if (!pool_ || poolBytes_ != bytes) {
        av_buffer_pool_uninit(&pool_);
        pool_ = av_buffer_pool_init(static_cast<std::size_t>(bytes), nullptr);
        poolBytes_ = bytes;
    }
    AVFrame* frame = av_frame_alloc();
    if (!frame) return nullptr;
    frame->buf[0] = av_buffer_pool_get(pool_);
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = config_.width;
    frame->height = config_.height;
    if (!frame->buf[0] ||
        av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data, AV_PIX_FMT_YUV420P,
                             config_.width, config_.height, align) < 0)
        av_frame_free(&frame);
    return frame;
}

bool TAsfWriterInputPin::ConvertPicture(const ConstPicture& src, const Picture& dst) {
    if (src.layout != PixelLayout::Rgb24) return converter_.Convert(src, dst);
    // The inlaid picture is RGB24: our own converter takes it to planar 4:2:0 at its own size
    // several times faster than libswscale's packed path, which then only scales the planes.
    const bool sameSize = src.width == dst.width && src.height == dst.height;
    Picture yuv = dst;
    if (!sameSize) {
        fullSize_.resize(
            colorconv::YuvFrameSize(colorconv::YuvLayout::Yuv420p, src.width, src.height));
        const std::optional<Picture> full = PictureOver(
            std::span<std::uint8_t>(fullSize_), PixelLayout::Yuv420p, src.width, src.height);
        if (!full) return converter_.Convert(src, dst);
        yuv = *full;
    }
    const colorconv::Rgb24Frame rgb{const_cast<std::uint8_t*>(src.planes[0]), src.width, src.height,
                                    src.strides[0]};
    colorconv::YuvFrame planes;
    planes.layout = colorconv::YuvLayout::Yuv420p;
    planes.width = yuv.width;
    planes.height = yuv.height;
    for (int p = 0; p < 3; ++p) {
        planes.planes[p] = yuv.planes[p];
        planes.strides[p] = yuv.strides[p];
    }
    if (!rgbToYuv_.Rgb24ToYuv(rgb, planes)) return converter_.Convert(src, dst);
    return sameSize || converter_.Convert(AsConst(yuv), dst);
}

HRESULT TAsfWriterInputPin::ReceiveSound(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props) {
    TAsfWriter::Job job;
    job.kind = TAsfWriter::JobKind::Sound;
    job.stream = static_cast<std::size_t>(fileStream_.load());
    job.sound.assign(props.pbBuffer, props.pbBuffer + props.lActual);
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) job.startTime = start;
    return writer_->Enqueue(std::move(job));
}

HRESULT TAsfWriterInputPin::EndOfStream() {
    TBCAutoLock lock(receiveLock_);
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (ended_ || fileStream_ < 0) return S_OK;
    ended_ = true;
    writer_->InputEnded();
    return S_OK;
}

HRESULT TAsfWriterInputPin::EndFlush() {
    TBCAutoLock lock(*lock_);
    const HRESULT hr = TBCBaseInputPin::EndFlush();
    TBCAutoLock receive(receiveLock_);
    // Samples after a flush are a new stretch of the same stream.
    ended_ = false;
    return hr;
}

// ---------------------------------------------------------------------------------------------
// TAsfWriter

TAsfWriter::TAsfWriter()
    : TBCBaseFilter("WM ASF Writer", nullptr, &filterLock_, CLSID_WMAsfWriter),
      files_(&LocalAviOutputFiles()) {
    if (std::optional<TWmProfile> high = TWmProfileManager::DefaultProfile(kWmProfileHigh))
        ConfigureFilterUsingProfile(*high);
}

TAsfWriter::~TAsfWriter() {
    StopEncoding();
}

HRESULT TAsfWriter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IFileSinkFilter::iid) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    if (riid == IConfigAsfWriter::iid)
        return GetInterface(static_cast<IConfigAsfWriter*>(this), ppv);
    if (riid == IAviFileWriterControl::iid)
        return GetInterface(static_cast<IAviFileWriterControl*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int TAsfWriter::GetPinCount() {
    return static_cast<int>(inputs_.size());
}

TBCBasePin* TAsfWriter::GetPin(int index) {
    if (index < 0 || index >= static_cast<int>(inputs_.size())) return nullptr;
    return inputs_[static_cast<std::size_t>(index)].get();
}

HRESULT TAsfWriter::ConfigureFilterUsingProfile(const TWmProfile& profile) {
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    std::vector<std::unique_ptr<TAsfWriterInputPin>> old = std::move(inputs_);
    inputs_.clear();
    int counts[2] = {0, 0};
    for (const bool video : {true, false}) {
        for (const TWmStreamConfig& stream : profile.Streams()) {
            if (stream.IsVideo() != video) continue;
            // An input of the same type keeps its place and its connection.
            auto it = std::find_if(old.begin(), old.end(),
                                   [&](const auto& pin) { return pin && pin->IsVideo() == video; });
            const int number = ++counts[video ? 0 : 1];
            if (it != old.end()) {
                (*it)->config_ = stream;
                inputs_.push_back(std::move(*it));
            } else {
                inputs_.push_back(
                    std::make_unique<TAsfWriterInputPin>(this, stream, InputName(video, number)));
            }
        }
    }
    for (auto& pin : old) {
        if (!pin) continue;
        if (IPin* peer = pin->GetConnected()) {
            peer->Disconnect();
            pin->Disconnect();
        }
        retired_.push_back(std::move(pin));
    }
    profile_ = profile;
    IncrementPinVersion();
    return S_OK;
}

HRESULT TAsfWriter::GetCurrentProfile(TWmProfile* profile) {
    if (!profile) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *profile = profile_;
    return S_OK;
}

HRESULT TAsfWriter::SetFileName(const std::string& fileName, const AM_MEDIA_TYPE*) {
    if (fileName.empty()) return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    fileName_ = fileName;
    return S_OK;
}

HRESULT TAsfWriter::GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) {
    if (!fileName) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *fileName = fileName_;
    if (pmt) {
        CMediaType mt(MEDIATYPE_Stream, MEDIASUBTYPE_Asf);
        mt.SetFormatType(FORMAT_None);
        return CopyMediaType(pmt, &mt);
    }
    return S_OK;
}

HRESULT TAsfWriter::SetOutputFiles(AviOutputFiles* files) {
    if (!files) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    files_ = files;
    return S_OK;
}

HRESULT TAsfWriter::SetSegmentLimit(std::uint64_t, std::uint32_t) {
    return E_NOTIMPL;
}

HRESULT TAsfWriter::GetLastError(HRESULT* code, std::string* message) {
    if (!code || !message) return E_POINTER;
    std::lock_guard lock(failureLock_);
    *code = failureCode_;
    *message = failureText_;
    return S_OK;
}

HRESULT TAsfWriter::GetStreamLengths(std::vector<std::uint64_t>* lengths) {
    if (!lengths) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    lengths->clear();
    for (auto& input : inputs_)
        if (input->fileStream_ >= 0) lengths->push_back(input->received_);
    return S_OK;
}

HRESULT TAsfWriter::Pause() {
    TBCAutoLock lock(filterLock_);
    const bool starting = IsStopped();
    HRESULT hr = TBCBaseFilter::Pause();
    if (FAILED(hr) || !starting) return hr;
    hr = BeginFile();
    if (FAILED(hr)) TBCBaseFilter::Stop();
    return hr;
}

HRESULT TAsfWriter::BeginFile() {
    {
        std::lock_guard failure(failureLock_);
        failureCode_ = S_OK;
        failureText_.clear();
    }
    failed_ = false;
    std::vector<AsfStreamSpec> specs;
    for (auto& input : inputs_) {
        TBCAutoLock receive(input->receiveLock_);
        input->fileStream_ = -1;
        input->ended_ = false;
        input->lastPts_ = -1;
        input->received_ = 0;
        if (!input->IsConnected()) continue;
        AsfStreamSpec spec;
        spec.config = input->config_;
        input->inputType_ = input->CurrentMediaType();
        if (const WAVEFORMATEX* wave = PcmFormatOf(input->inputType_)) spec.input = *wave;
        input->fileStream_ = static_cast<int>(specs.size());
        specs.push_back(spec);
    }
    AviWriterStatus status;
    if (fileName_.empty())
        status = {AviWriterError::InvalidArgument, 0, "No output file name is set for the capture"};
    else if (specs.empty())
        status = {AviWriterError::InvalidArgument, 0,
                  "Nothing to write to \"" + fileName_ +
                      "\": no input of the ASF writer is "
                      "connected"};
    else {
        file_ = std::make_unique<AsfFile>(*files_);
        status = file_->open(fileName_, std::move(specs));
    }
    if (!status.ok()) {
        file_.reset();
        Failed(status, false);
        return AviWriterStatusToHResult(status);
    }
    encoder_ = std::thread([this] { EncodingLoop(); });
    return S_OK;
}

HRESULT TAsfWriter::Stop() {
    TBCAutoLock lock(filterLock_);
    // The inputs stop first (upstream threads waiting on them are released); their receive
    // locks then wait for a sample being queued.
    const HRESULT stopped = TBCBaseFilter::Stop();
    for (auto& input : inputs_)
        TBCAutoLock receive(input->receiveLock_);
    StopEncoding();
    std::lock_guard failure(failureLock_);
    return FAILED(failureCode_) ? failureCode_ : stopped;
}

void TAsfWriter::StopEncoding() {
    if (!encoder_.joinable()) return;
    Enqueue(Job{});
    encoder_.join();
    file_.reset();
}

HRESULT TAsfWriter::FailureCode() {
    std::lock_guard lock(failureLock_);
    return failureCode_;
}

HRESULT TAsfWriter::Enqueue(Job job) {
    {
        std::unique_lock lock(queueLock_);
        // The quitting job always goes in: the encoding thread is draining. A failed file takes
        // nothing more: the sample waiting for room is refused with the failure.
        if (job.kind != JobKind::Quit)
            queueChanged_.wait(lock, [&] { return jobs_.size() < kMaxJobs || failed_; });
        if (job.kind == JobKind::Quit || !failed_) {
            jobs_.push_back(std::move(job));
            queueChanged_.notify_all();
            return S_OK;
        }
    }
    av_frame_free(&job.picture);
    return FailureCode();
}

void TAsfWriter::InputEnded() {
    // No filter lock on a streaming thread: the inputs change only while stopped, and a stop
    // waits for this call. Two inputs ending together may both see every end: the file is
    // finished once, by the first job.
    for (auto& input : inputs_)
        if (input->fileStream_ >= 0 && !input->ended_) return;
    Job job;
    job.kind = JobKind::EndOfStream;
    Enqueue(std::move(job));
}

void TAsfWriter::Failed(const AviWriterStatus& status, bool notify) {
    const HRESULT code = AviWriterStatusToHResult(status);
    {
        std::lock_guard lock(failureLock_);
        failureCode_ = code;
        failureText_ = status.message.empty() ? AviWriterErrorText(status.error) : status.message;
    }
    {
        std::lock_guard queue(queueLock_);
        failed_ = true;
    }
    queueChanged_.notify_all();
    if (notify) NotifyEvent(EC_ERRORABORT, code, 0);
}

void TAsfWriter::EncodingLoop() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(queueLock_);
            queueChanged_.wait(lock, [&] { return !jobs_.empty(); });
            job = std::move(jobs_.front());
            jobs_.pop_front();
            queueChanged_.notify_all();
        }
        AviWriterStatus status;
        const bool open = file_->isOpen();
        switch (job.kind) {
        case JobKind::Picture:
            if (open) status = file_->writePicture(job.stream, job.picture);
            av_frame_free(&job.picture);
            break;
        case JobKind::Sound:
            if (open)
                status = file_->writeSound(job.stream, job.sound.data(), job.sound.size(),
                                           job.startTime);
            break;
        case JobKind::EndOfStream:
            if (!open) break;
            status = file_->finish();
            if (status.ok()) NotifyEvent(EC_COMPLETE, S_OK, 0);
            break;
        case JobKind::Quit:
            if (open) status = file_->finish();
            if (!status.ok()) Failed(status, false);
            return;
        }
        if (!status.ok() && open) Failed(status, true);
    }
}

// ---------------------------------------------------------------------------------------------

void RegisterAsfWriter(FilterRegistry& registry) {
    RegisteredFilter writer;
    writer.clsid = CLSID_WMAsfWriter;
    writer.friendlyName = "WM ASF Writer";
    writer.merit = MERIT_DO_NOT_USE;
    writer.pins = {{PINDIR_INPUT, {{MEDIATYPE_Video, GUID_NULL}}},
                   {PINDIR_INPUT, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}}};
    writer.create = [] { return ComPtr<IBaseFilter>(new TAsfWriter); };
    registry.Register(CLSID_LegacyAmFilterCategory, std::move(writer));
}

} // namespace talvence
