#include "platform/media/filters/avimux/FileWriter.h"

#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"

#include <cerrno>

namespace talvence {

namespace {
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorWriteFault = 29;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorOpenFailed = 110;
constexpr std::uint32_t kErrorFileTooLarge = 223;
} // namespace

HRESULT AviWriterStatusToHResult(const AviWriterStatus& status) {
    switch (status.error) {
    case AviWriterError::None:
        return S_OK;
    case AviWriterError::InvalidArgument:
        return E_INVALIDARG;
    case AviWriterError::WrongState:
        return VFW_E_WRONG_STATE;
    case AviWriterError::CannotCreate:
        switch (status.systemError) {
        case ENOENT:
        case ENOTDIR:
            return HRESULT_FROM_WIN32(kErrorPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
            return HRESULT_FROM_WIN32(kErrorAccessDenied);
        case ENOSPC:
        case EDQUOT:
            return HRESULT_FROM_WIN32(kErrorDiskFull);
        default:
            return HRESULT_FROM_WIN32(kErrorOpenFailed);
        }
    case AviWriterError::DiskFull:
        return HRESULT_FROM_WIN32(kErrorDiskFull);
    case AviWriterError::WriteFailed:
        return HRESULT_FROM_WIN32(kErrorWriteFault);
    case AviWriterError::FileFull:
        return HRESULT_FROM_WIN32(kErrorFileTooLarge);
    }
    return E_FAIL;
}

// ---------------------------------------------------------------------------------------------
// TFileWriterInputPin

TFileWriterInputPin::TFileWriterInputPin(TFileWriter* filter)
    : TBCBaseInputPin("File writer input", filter, filter->FilterLock(), "In"), writer_(filter) {}

HRESULT TFileWriterInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IAviFileSink::iid) return GetInterface(static_cast<IAviFileSink*>(this), ppv);
    return TBCBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TFileWriterInputPin::CheckMediaType(const CMediaType* mt) {
    return mt->majortype == MEDIATYPE_Stream && mt->subtype == MEDIASUBTYPE_Avi
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TFileWriterInputPin::Receive(IMediaSample*) {
    return E_UNEXPECTED;
}

HRESULT TFileWriterInputPin::EndOfStream() {
    return writer_->EndOfStream();
}

HRESULT TFileWriterInputPin::BeginFile(std::vector<AviStreamFormat> streams, bool oldIndex) {
    return writer_->BeginFile(std::move(streams), oldIndex);
}

HRESULT TFileWriterInputPin::WriteSample(std::size_t stream, AviBytes data, bool keyframe) {
    return writer_->WriteSample(stream, data, keyframe);
}

// ---------------------------------------------------------------------------------------------
// TFileWriter

TFileWriter::TFileWriter()
    : TBCBaseFilter("File writer", nullptr, &filterLock_, CLSID_FileWriter), input_(this),
      files_(&LocalAviOutputFiles()) {
    // A capture stays readable up to its last second whatever ends the process.
    options_.checkpointSeconds = 1;
    options_.unfinishedMarker = true;
    options_.superIndexEntries = kAviCaptureSuperIndexEntries;
}

TFileWriter::~TFileWriter() {
    TBCAutoLock lock(receiveLock_);
    FinishLocked();
}

HRESULT TFileWriter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IFileSinkFilter::iid) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    if (riid == IAviFileWriterControl::iid)
        return GetInterface(static_cast<IAviFileWriterControl*>(this), ppv);
    return TBCBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

TBCBasePin* TFileWriter::GetPin(int index) {
    return index == 0 ? &input_ : nullptr;
}

HRESULT TFileWriter::Pause() {
    TBCAutoLock lock(filterLock_);
    if (IsStopped()) {
        TBCAutoLock receive(receiveLock_);
        endOfStream_ = false;
    }
    return TBCBaseFilter::Pause();
}

HRESULT TFileWriter::Stop() {
    TBCAutoLock lock(filterLock_);
    const HRESULT stopped = TBCBaseFilter::Stop();
    TBCAutoLock receive(receiveLock_);
    const HRESULT finished = FinishLocked();
    return FAILED(finished) ? finished : stopped;
}

HRESULT TFileWriter::SetFileName(const std::string& fileName, const AM_MEDIA_TYPE*) {
    if (fileName.empty()) return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    fileName_ = fileName;
    return S_OK;
}

HRESULT TFileWriter::GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) {
    if (!fileName) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *fileName = fileName_;
    if (pmt) {
        CMediaType mt(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
        mt.SetFormatType(FORMAT_None);
        return CopyMediaType(pmt, &mt);
    }
    return S_OK;
}

HRESULT TFileWriter::SetOutputFiles(AviOutputFiles* files) {
    if (!files) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    files_ = files;
    return S_OK;
}

HRESULT TFileWriter::SetSegmentLimit(std::uint64_t bytes, std::uint32_t superIndexEntries) {
    if (bytes < kAviMinSegmentLimit || bytes > kAviMaxSegmentLimit || superIndexEntries == 0)
        return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    options_.segmentLimit = bytes;
    options_.superIndexEntries = superIndexEntries;
    return S_OK;
}

HRESULT TFileWriter::GetLastError(HRESULT* code, std::string* message) {
    if (!code || !message) return E_POINTER;
    TBCAutoLock lock(receiveLock_);
    *code = failureCode_;
    *message = failureText_;
    return S_OK;
}

HRESULT TFileWriter::GetStreamLengths(std::vector<std::uint64_t>* lengths) {
    if (!lengths) return E_POINTER;
    TBCAutoLock lock(receiveLock_);
    lengths->clear();
    for (std::size_t i = 0; writer_ && i < streamCount_; ++i)
        lengths->push_back(writer_->streamLength(i));
    return S_OK;
}

HRESULT TFileWriter::RecordFailure(const AviWriterStatus& status) {
    failureCode_ = AviWriterStatusToHResult(status);
    failureText_ = status.message.empty() ? AviWriterErrorText(status.error) : status.message;
    return failureCode_;
}

HRESULT TFileWriter::BeginFile(std::vector<AviStreamFormat> streams, bool oldIndex) {
    TBCAutoLock lock(filterLock_);
    // The File Writer pauses before the mux; a file opened while it is stopped would never be
    // finished by its stop.
    if (IsStopped()) return VFW_E_NOT_PAUSED;
    TBCAutoLock receive(receiveLock_);
    if (writing_) return VFW_E_WRONG_STATE;
    failureCode_ = S_OK;
    failureText_.clear();
    if (fileName_.empty()) {
        failureCode_ = E_INVALIDARG;
        failureText_ = "No output file name is set for the AVI capture";
        return failureCode_;
    }
    if (streams.empty()) {
        failureCode_ = VFW_E_NOT_CONNECTED;
        failureText_ =
            "Nothing to write to \"" + fileName_ + "\": no input of the AVI Mux is connected";
        return failureCode_;
    }
    AviWriterOptions options = options_;
    options.oldIndex = oldIndex;
    auto writer = std::make_unique<AviFileWriter>(*files_);
    const std::size_t count = streams.size();
    const AviWriterStatus opened = writer->open(fileName_, std::move(streams), options);
    if (!opened.ok()) return RecordFailure(opened);
    writer_ = std::move(writer);
    streamCount_ = count;
    writing_ = true;
    return S_OK;
}

HRESULT TFileWriter::WriteSample(std::size_t stream, AviBytes data, bool keyframe) {
    HRESULT failed = S_OK;
    {
        TBCAutoLock receive(receiveLock_);
        if (!writing_) return FAILED(failureCode_) ? failureCode_ : VFW_E_WRONG_STATE;
        const AviWriterStatus written = writer_->writeSample(stream, data, keyframe);
        if (written.ok()) return S_OK;
        failed = RecordFailure(written);
        // Finished now rather than at the stop: what was written is readable even if the
        // application never stops the graph. close() repeats the failure we already have.
        writer_->close();
        writing_ = false;
    }
    NotifyEvent(EC_ERRORABORT, failed, 0);
    return failed;
}

HRESULT TFileWriter::EndOfStream() {
    HRESULT finished = S_OK;
    {
        TBCAutoLock receive(receiveLock_);
        if (IsStopped()) return VFW_E_WRONG_STATE;
        if (input_.IsFlushing()) return S_FALSE;
        if (endOfStream_) return S_OK;
        endOfStream_ = true;
        // After a write failure the run already ended with EC_ERRORABORT.
        if (!writing_ && FAILED(failureCode_)) return S_OK;
        finished = FinishLocked();
    }
    if (FAILED(finished))
        NotifyEvent(EC_ERRORABORT, finished, 0);
    else
        NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

HRESULT TFileWriter::FinishLocked() {
    if (!writing_) return S_OK;
    writing_ = false;
    const AviWriterStatus closed = writer_->close();
    return closed.ok() ? S_OK : RecordFailure(closed);
}

} // namespace talvence
