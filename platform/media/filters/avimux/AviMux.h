#pragma once

// The AVI Mux (CLSID_AviDest): any number of inputs ("Input 01", "Input 02", ...; a new one
// appears when the last connects) and one output, "AVI Out", that connects to the File Writer
// (MEDIATYPE_Stream / MEDIASUBTYPE_Avi) and writes through it.
//
// Each connected input becomes one stream of the file, in pin order (see AviStreamTypes.h for the
// types taken). When the mux pauses from stopped it has the File Writer create the file with
// those streams; from then on every media sample is written as one chunk of its stream, in the
// order samples arrive, straight from the sample's buffer, so nothing is held between samples.
// Sample and media times are not looked at: a frame gate that passes one sample now and then
// (image by image) gets one frame per passed sample, consecutive in the file, with no frames
// made up for the gaps. Preroll samples, control samples and empty samples carry no frame and
// are skipped. When every input has ended, end of stream goes to the File Writer, which finishes
// the file.
//
// Locks: the filter lock guards the pins, the settings and the state; the receive lock, taken
// after it, serialises the inputs' samples and end-of-stream handling.

#include "filters/BaseClass/BaseFilter.h"
#include "platform/media/filters/avimux/AviMuxInterfaces.h"

#include <atomic>
#include <memory>
#include <vector>

namespace talvence {

class TAviMux;

class TAviMuxInputPin : public TBCBaseInputPin {
public:
    TAviMuxInputPin(TAviMux* mux, int number);

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;

    // Streaming thread.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // Application thread.
    HRESULT EndFlush() override;

private:
    friend class TAviMux;

    TAviMux* mux_;                     // not owned: the filter owns the pin
    std::atomic<int> streamIndex_{-1}; // set while stopped, by the pause that opens the file
    bool endOfStream_ = false;         // the mux's receive lock
};

class TAviMuxOutputPin : public TBCBaseOutputPin {
public:
    explicit TAviMuxOutputPin(TAviMux* mux);

    // Application thread, filter lock held.
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // The File Writer's side of the connection; null when unconnected. Set under the filter lock
    // while stopped; read by streaming threads while active.
    IAviFileSink* Sink() const { return sink_.get(); }

private:
    ComPtr<IAviFileSink> sink_;
};

class TAviMux : public TBCBaseFilter, public IConfigAviMux, public IConfigInterleaving {
public:
    // At most this many inputs: stream numbers have two digits in the file.
    static constexpr int kMaxInputs = 99;

    TAviMux();
    ~TAviMux() override;

    FORWARD_IUNKNOWN(TBCBaseFilter)
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Pin 0 is "AVI Out", then the inputs in order.
    int GetPinCount() override;
    TBCBasePin* GetPin(int index) override;

    // Application thread. Pausing from stopped creates the file (its failure fails the pause);
    // the stop waits for a sample being written.
    HRESULT Pause() override;
    HRESULT Stop() override;

    // IConfigAviMux.
    HRESULT SetMasterStream(LONG stream) override;
    HRESULT GetMasterStream(LONG* stream) override;
    HRESULT SetOutputCompatibilityIndex(BOOL oldIndex) override;
    HRESULT GetOutputCompatibilityIndex(BOOL* oldIndex) override;

    // IConfigInterleaving.
    HRESULT put_Mode(InterleavingMode mode) override;
    HRESULT get_Mode(InterleavingMode* mode) override;
    HRESULT put_Interleaving(const REFERENCE_TIME* leaving, const REFERENCE_TIME* preroll) override;
    HRESULT get_Interleaving(REFERENCE_TIME* leaving, REFERENCE_TIME* preroll) override;

private:
    friend class TAviMuxInputPin;
    friend class TAviMuxOutputPin;

    // Filter lock held.
    void InputConnected(TAviMuxInputPin* pin);
    HRESULT BeginFile();
    // Receive lock held: end of stream downstream once every input in the file has ended.
    void EndOfStreamIfAllEnded();

    TBCCritSec filterLock_;  // the filter lock
    TBCCritSec receiveLock_; // taken after the filter lock
    TAviMuxOutputPin output_;
    std::vector<std::unique_ptr<TAviMuxInputPin>> inputs_; // filter lock; only grows

    // Filter lock.
    LONG masterStream_ = -1;
    bool oldIndex_ = false;
    InterleavingMode mode_ = INTERLEAVE_CAPTURE;
    REFERENCE_TIME leaving_ = 10000000;
    REFERENCE_TIME preroll_ = 0;

    bool endOfStreamSent_ = false; // receive lock
};

// Registers the AVI Mux and the File Writer in the filter category, where the capture graph
// builder's SetOutputFileName finds them. Neither is ever inserted by intelligent connection.
void RegisterAviFilters(FilterRegistry& registry);

} // namespace talvence
