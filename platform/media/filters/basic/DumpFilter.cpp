#include "platform/media/filters/basic/DumpFilter.h"

#include "platform/media/EventCodes.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace talvence {

namespace {
// The platform's code for a failure that an errno value describes.
HRESULT FromErrno(int error) {
    return error == ENOSPC ? detail::hresult(0x80070070) // ERROR_DISK_FULL
                           : E_FAIL;
}
} // namespace

TDumpFilter::TDumpFilter() : TBasicRenderer("Dump", CLSID_Dump, "Input") {}

TDumpFilter::~TDumpFilter() {
    if (fd_ >= 0) ::close(fd_);
}

HRESULT TDumpFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IFileSinkFilter::iid) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    return TBasicRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TDumpFilter::SetFileName(const std::string& fileName, const AM_MEDIA_TYPE*) {
    if (fileName.empty()) return E_INVALIDARG;
    TBCAutoLock lock(filterLock_);
    fileName_ = fileName;
    return S_OK;
}

HRESULT TDumpFilter::GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) {
    if (!fileName) return E_POINTER;
    TBCAutoLock lock(filterLock_);
    *fileName = fileName_;
    if (pmt) {
        if (InputPin()->IsConnected()) {
            HRESULT hr = CopyMediaType(pmt, &InputPin()->CurrentMediaType());
            if (FAILED(hr)) return hr;
        } else {
            *pmt = AM_MEDIA_TYPE();
        }
    }
    return fileName_.empty() ? E_FAIL : S_OK;
}

HRESULT TDumpFilter::StartStreaming() {
    written_ = 0;
    failed_ = false;
    if (fileName_.empty()) return E_UNEXPECTED;
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return FromErrno(errno);
    return S_OK;
}

HRESULT TDumpFilter::RenderSample(IMediaSample* sample, const CMediaType&) {
    if (fd_ < 0) return E_UNEXPECTED;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    long left = sample->GetActualDataLength();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const HRESULT hr = FromErrno(n < 0 ? errno : ENOSPC);
            if (!failed_) {
                failed_ = true;
                NotifyEvent(EC_ERRORABORT, hr, 0);
            }
            return hr;
        }
        data += n;
        left -= static_cast<long>(n);
        written_ += n;
    }
    return S_OK;
}

void TDumpFilter::StopStreaming() {
    if (fd_ < 0) return;
    if (::close(fd_) != 0 && !failed_) {
        // The last bytes may have been lost on the way to the disk.
        failed_ = true;
        NotifyEvent(EC_ERRORABORT, FromErrno(errno), 0);
    }
    fd_ = -1;
}

} // namespace talvence
