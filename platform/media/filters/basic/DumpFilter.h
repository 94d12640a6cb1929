#pragma once

// The Dump filter: a renderer that writes the bytes of every media sample it receives, in order,
// to the file named through IFileSinkFilter. The file is created (or emptied) when the filter
// starts and closed when it stops; a name set while running applies from the next start.
//
// Threads and locks: those of TBasicRenderer. The file name is guarded by the filter lock, the
// open file by the receive lock.

#include "platform/media/filters/basic/RendererBase.h"

#include <string>

namespace talvence {

class TDumpFilter : public TBasicRenderer, public IFileSinkFilter {
public:
    TDumpFilter();
    ~TDumpFilter() override;

    FORWARD_IUNKNOWN(TBasicRenderer)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFileSinkFilter (application thread). The type is ignored: any stream is written as is.
    // An empty name is E_INVALIDARG.
    HRESULT SetFileName(const std::string& fileName, const AM_MEDIA_TYPE* pmt) override;
    // E_FAIL with an empty name when none was set. pmt (may be null) receives the connection's
    // type, or an empty type when unconnected.
    HRESULT GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) override;

    // Any thread: bytes written since the last start.
    long long BytesWritten() const { return written_; }

protected:
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    // Creates the file; without a name, or when it cannot be created, the pause fails.
    HRESULT StartStreaming() override;
    // A write failure posts EC_ERRORABORT once and goes back upstream, which stops the stream.
    HRESULT RenderSample(IMediaSample* sample, const CMediaType& type) override;
    void StopStreaming() override;

private:
    std::string fileName_; // filter lock
    int fd_ = -1;          // receive lock
    bool failed_ = false;  // receive lock: this run's write failure was reported
    std::atomic<long long> written_{0};
};

} // namespace talvence
