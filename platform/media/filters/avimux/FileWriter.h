#pragma once

// The File Writer (CLSID_FileWriter): the renderer at the end of an AVI capture branch. It owns
// the file name (IFileSinkFilter: a name set while a file is being written is used from the next
// run, which is how a capture is cut into the next file) and the file itself, written through
// the AVI writer core on behalf of the AVI Mux connected to its input ("In", MEDIATYPE_Stream /
// MEDIASUBTYPE_Avi). The mux opens the file when it pauses; the File Writer finishes it at end of
// stream (then posts EC_COMPLETE) or when it stops, whichever comes first. Since the graph stops
// downstream filters first, the file is complete before any filter upstream of the mux sees its
// stop (the image-by-image frame-rate rewrite relies on that).
//
// The file is checkpointed every second of stream time (AviFileWriter.h): a capture ended by a
// crash or kill -9 keeps every frame but the last second's, readable without a repair. While a
// file is written its unfinished-capture marker lies beside it, so that the next start of the
// program repairs what a crash left (postproc/AviRepair.h).
//
// A failing write (full disk, I/O error) finishes the file at once, keeping every frame written
// before, posts EC_ERRORABORT with the failure and refuses every later sample; a file that cannot
// be created fails the mux's pause (so the graph's Pause or Run) and leaves no file behind. The
// text of the last failure is kept (IAviFileWriterControl::GetLastError).
//
// Locks: the filter lock guards the name, the settings and the state; the receive lock (taken
// after it) guards the open file, so samples, end of stream and the stop's closing never overlap.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/avimux/AviMuxInterfaces.h"

#include <memory>

namespace talvence {

class TFileWriter;

class TFileWriterInputPin : public TBCBaseInputPin, public IAviFileSink {
public:
    explicit TFileWriterInputPin(TFileWriter* filter);

    FORWARD_IUNKNOWN(TBCBaseInputPin)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Application thread, filter lock held: MEDIATYPE_Stream / MEDIASUBTYPE_Avi only.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Streaming thread: the mux writes through IAviFileSink, never with samples.
    HRESULT Receive(IMediaSample* sample) override;
    // Streaming thread: the last input of the mux ended; the file is finished.
    HRESULT EndOfStream() override;

    // IAviFileSink.
    HRESULT BeginFile(std::vector<AviStreamFormat> streams, bool oldIndex) override;
    HRESULT WriteSample(std::size_t stream, AviBytes data, bool keyframe) override;

private:
    TFileWriter* writer_; // not owned: the filter owns the pin
};

class TFileWriter : public TBCBaseFilter, public IFileSinkFilter, public IAviFileWriterControl {
public:
    TFileWriter();
    ~TFileWriter() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int index) override;

    // Application thread: finishes the file being written (after the input has stopped and any
    // sample being written is done). A failure to finish it is returned.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // IFileSinkFilter (application thread). The type is ignored on SetFileName; GetCurFile fills
    // it (when given) with MEDIATYPE_Stream / MEDIASUBTYPE_Avi.
    HRESULT SetFileName(const std::string& fileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) override;

    // IAviFileWriterControl (application thread).
    HRESULT SetOutputFiles(AviOutputFiles* files) override;
    HRESULT SetSegmentLimit(std::uint64_t bytes, std::uint32_t superIndexEntries) override;
    HRESULT GetLastError(HRESULT* code, std::string* message) override;
    HRESULT GetStreamLengths(std::vector<std::uint64_t>* lengths) override;

private:
    friend class TFileWriterInputPin;

    HRESULT BeginFile(std::vector<AviStreamFormat> streams, bool oldIndex);
    HRESULT WriteSample(std::size_t stream, AviBytes data, bool keyframe);
    HRESULT EndOfStream();
    // Receive lock held: closes the open file; its failure is recorded and returned.
    HRESULT FinishLocked();
    // Receive lock held.
    HRESULT RecordFailure(const AviWriterStatus& status);

    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // taken after the filter lock
    TFileWriterInputPin input_;

    // Filter lock.
    std::string fileName_;
    AviOutputFiles* files_; // not owned
    AviWriterOptions options_;

    // Receive lock.
    std::unique_ptr<AviFileWriter> writer_;
    std::size_t streamCount_ = 0;
    bool writing_ = false;     // a file is open and takes samples
    bool endOfStream_ = false; // reported for this run
    HRESULT failureCode_ = S_OK;
    std::string failureText_;
};

} // namespace talvence
