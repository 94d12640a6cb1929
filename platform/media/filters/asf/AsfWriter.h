#pragma once

// The ASF writer (CLSID_WMAsfWriter): the renderer at the end of a "Wmv (with inlay)" capture.
// It is configured with a Windows Media profile (IConfigAsfWriter) and has one input per stream
// of the profile, the video inputs first ("Video Input 01", ...; uncompressed pictures of any
// size and layout the DV filters read), then the audio inputs ("Audio Input 01", ...; 8- or
// 16-bit PCM). A new writer has the "High" default profile. Each connected input whose stream is
// in the profile becomes a stream of the file, encoded by FFmpeg's encoder of the profile's
// generation and muxed by its ASF muxer (AsfFile.h).
//
// Sample times are kept: a picture is placed at its sample's start time counted in frames of the
// profile's rate, so a frame dropped upstream leaves a gap in time, and a source faster than the
// profile gives up the pictures that fall on a frame already taken. Sound starts at its first
// sample's time and runs on without gaps.
//
// The streaming threads only convert each picture to the profile's size (and copy the sound);
// one encoding thread per run encodes and writes, behind a queue of a few jobs, so that the
// encoders never hold up the source for longer than a job takes to queue. The thread runs from
// the pause that opens the file to the stop.
//
// The file is created when the writer pauses from stopped, under the name current then
// (IFileSinkFilter: a name set while a file is being written is used from the next run, which is
// how a capture is cut into the next file); a file that cannot be created fails the pause and
// leaves nothing behind. It is finished at end of stream on every input (then EC_COMPLETE), at
// the stop, or on a failing write (full disk, I/O error): the file then ends at its last whole
// data packet and stays readable, EC_ERRORABORT carries the failure, and every later sample is
// refused with it. The text of the last failure is kept (IAviFileWriterControl::GetLastError,
// the control the capture reads from every file writer).
//
// Threads: the application thread configures, connects and drives states; the upstream
// streaming threads call the inputs; the encoding thread writes the file and posts the events.
// Locks: the filter lock guards the pins, the profile, the name and the state; each input's
// receive lock (taken after the filter lock) serialises its samples; the queue lock guards the
// jobs; the failure lock guards the failure's code and text.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/asf/AsfFile.h"
#include "platform/media/filters/asf/WmProfile.h"
#include "platform/media/filters/avimux/AviMuxInterfaces.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/dv/PictureConverter.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct AVFrame;
struct AVBufferPool;

namespace talvence {

struct IConfigAsfWriter : IUnknown {
    static constexpr GUID iid = MakeGuid("45086030-F7E4-486A-B504-826BB5792A3B");
    // Application thread, while stopped: the inputs follow the profile's streams. An input of a
    // type the profile keeps stays (and stays connected); an input whose stream went is
    // disconnected and removed.
    virtual HRESULT ConfigureFilterUsingProfile(const TWmProfile& profile) = 0;
    virtual HRESULT GetCurrentProfile(TWmProfile* profile) = 0;
};

class TAsfWriter;

class TAsfWriterInputPin : public TBCBaseInputPin {
public:
    TAsfWriterInputPin(TAsfWriter* writer, const TWmStreamConfig& config, std::string name);
    ~TAsfWriterInputPin() override;

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;

    // Streaming thread.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Application thread.
    HRESULT EndFlush() override;

    bool IsVideo() const { return config_.IsVideo(); }

private:
    friend class TAsfWriter;

    HRESULT ReceivePicture(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    HRESULT ReceiveSound(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    // Receive lock: a picture of the stream's size from the pool; null when out of memory.
    AVFrame* PictureFrame();
    // Receive lock: the picture at the stream's size in planar 4:2:0.
    bool ConvertPicture(const dvcodec::ConstPicture& src, const dvcodec::Picture& dst);

    TAsfWriter* writer_;     // not owned: the filter owns the pin
    TWmStreamConfig config_; // filter lock, set while stopped
    TBCCritSec receiveLock_; // taken after the filter lock

    // Set while stopped by the pause that opens the file.
    std::atomic<int> fileStream_{-1};
    // Receive lock.
    CMediaType inputType_;
    std::int64_t lastPts_ = -1;
    // Written under the receive lock; read by the other input's thread to tell the last end.
    std::atomic<bool> ended_{false};
    dvcodec::SwsPictureConverter converter_;
    colorconv::ColorConverter rgbToYuv_;
    std::vector<std::uint8_t> fullSize_; // an RGB24 picture in 4:2:0 before scaling
    AVBufferPool* pool_ = nullptr;       // the pictures' buffers
    int poolBytes_ = 0;
    std::atomic<std::uint64_t> received_{0}; // samples of this run that reached the writer
};

class TAsfWriter : public TBCBaseFilter,
                   public IFileSinkFilter,
                   public IConfigAsfWriter,
                   public IAviFileWriterControl {
public:
    TAsfWriter();
    ~TAsfWriter() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    // Application thread. Pausing from stopped creates the file and starts the encoding thread;
    // the stop waits for the samples being received, drains the queue, finishes the file and
    // returns a failure to finish it.
    HRESULT Pause() override;
    HRESULT Stop() override;

    // IFileSinkFilter (application thread). GetCurFile's type is MEDIATYPE_Stream /
    // MEDIASUBTYPE_Asf.
    HRESULT SetFileName(const std::string& fileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(std::string* fileName, AM_MEDIA_TYPE* pmt) override;

    // IConfigAsfWriter.
    HRESULT ConfigureFilterUsingProfile(const TWmProfile& profile) override;
    HRESULT GetCurrentProfile(TWmProfile* profile) override;

    // IAviFileWriterControl (application thread). The segment limit is the AVI writer's own:
    // E_NOTIMPL. The stream lengths are the samples each input of the file received, in the
    // file's order (the video first).
    HRESULT SetOutputFiles(AviOutputFiles* files) override;
    HRESULT SetSegmentLimit(std::uint64_t bytes, std::uint32_t superIndexEntries) override;
    HRESULT GetLastError(HRESULT* code, std::string* message) override;
    HRESULT GetStreamLengths(std::vector<std::uint64_t>* lengths) override;

private:
    friend class TAsfWriterInputPin;

    enum class JobKind { Picture, Sound, EndOfStream, Quit };
    struct Job {
        JobKind kind = JobKind::Quit;
        std::size_t stream = 0;
        AVFrame* picture = nullptr; // owned by the job
        std::vector<std::uint8_t> sound;
        std::int64_t startTime = -1;
    };
    // At most this many jobs wait; a streaming thread that would add one more waits for the
    // encoding thread.
    static constexpr std::size_t kMaxJobs = 8;

    // Streaming threads: waits for room in the queue; the file's failure when it failed.
    HRESULT Enqueue(Job job);
    // Any thread.
    HRESULT FailureCode();
    void InputEnded();
    // Encoding thread.
    void EncodingLoop();
    void Failed(const AviWriterStatus& status, bool notify);
    // Filter lock held.
    HRESULT BeginFile();
    void StopEncoding();

    TBCCritSec filterLock_;
    std::vector<std::unique_ptr<TAsfWriterInputPin>> inputs_; // filter lock
    // Inputs that a new profile removed; kept for the references others may still hold.
    std::vector<std::unique_ptr<TAsfWriterInputPin>> retired_;
    TWmProfile profile_;    // filter lock
    std::string fileName_;  // filter lock
    AviOutputFiles* files_; // filter lock; not owned

    std::unique_ptr<AsfFile> file_; // the encoding thread while it runs; else the filter lock
    std::thread encoder_;

    std::mutex queueLock_;
    std::condition_variable queueChanged_;
    std::deque<Job> jobs_; // queue lock

    std::mutex failureLock_;
    HRESULT failureCode_ = S_OK;      // failure lock
    std::string failureText_;         // failure lock
    std::atomic<bool> failed_{false}; // this run's file failed
};

// Registers the ASF writer in the filter category, where SetOutputFileName finds it. It is never
// inserted by intelligent connection.
void RegisterAsfWriter(FilterRegistry& registry);

} // namespace talvence
