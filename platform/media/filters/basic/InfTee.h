#pragma once

// The Infinite Pin Tee: every sample received goes, unchanged and uncopied, to every connected
// output (read-only, since several branches read one buffer). Each branch is handed the sample
// with the properties it arrived with, even when an earlier branch rewrote them on the way (the
// preview's timestamper clears the times of the very sample the capture branch gets next).
// Pins "Input", "Output1", "Output2", ...: a new output appears whenever the last free one
// connects, and a disconnected output goes away unless it is the only free one left.
//
// Threads and locks: those of TTeeFilter.

#include "filters/BaseClass/PictureDemand.h"
#include "platform/media/filters/basic/TeeFilter.h"

namespace talvence {

class TInfTee : public TTeeFilter {
public:
    TInfTee();

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // IPictureDemand, through demand_ (streaming thread): what the branches read together.
    PictureNeed NextPictureNeed();

protected:
    // Streaming thread, receive lock. S_OK when any branch took the sample: one failing branch
    // (a full disk behind a writer) must not starve the others; that branch reports its own
    // failure to the graph. Else S_FALSE when a branch said so, else the first failure.
    HRESULT ReceiveSample(IMediaSample* sample) override;
    void OutputConnected(TTeeOutputPin* pin) override;
    void OutputDisconnected(TTeeOutputPin* pin) override;

private:
    static int NumberOf(const TTeeOutputPin* pin);
    TPictureDemand demand_{static_cast<IBaseFilter*>(this), [this] { return NextPictureNeed(); }};
};

} // namespace talvence
