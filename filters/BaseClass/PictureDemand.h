#pragma once
// Asking the filters after an output pin what of the next picture they will read (see
// IPictureDemand), for a decoder deciding how much to decode and for the filters in between that
// pass the question on.
//
// Threads: the streaming thread that delivers the next picture; the graph does not change
// while it streams.

#include "platform/media/Interfaces.h"
#include "platform/media/SampleSideData.h"

#include <functional>
#include <utility>

namespace talvence {

// Nothing for an unconnected pin; the whole picture when the filter behind it cannot say.
PictureNeed NeedBehind(IPin* output);

// A filter's IPictureDemand as a member whose IUnknown is the filter's own, so that the filter
// keeps a single IUnknown base. The filter hands it out from NonDelegatingQueryInterface.
class TPictureDemand final : public IPictureDemand {
public:
    TPictureDemand(IUnknown* owner, std::function<PictureNeed()> answer)
        : owner_(owner), answer_(std::move(answer)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return owner_->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    PictureNeed NextPictureNeed() override { return answer_(); }

private:
    IUnknown* const owner_; // the filter, which owns this
    const std::function<PictureNeed()> answer_;
};

} // namespace talvence
