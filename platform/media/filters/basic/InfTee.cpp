#include "platform/media/filters/basic/InfTee.h"

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/SampleCopy.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

namespace talvence {

namespace {
constexpr const char* kOutputPrefix = "Output";
}

TInfTee::TInfTee() : TTeeFilter("Infinite Pin Tee", CLSID_InfTee) {
    input_ = std::make_unique<TTeeInputPin>(this, "Input");
    AddOutput(std::make_unique<TTeeOutputPin>(this, std::string(kOutputPrefix) + "1"));
}

int TInfTee::NumberOf(const TTeeOutputPin* pin) {
    return std::stoi(pin->Name().substr(std::char_traits<char>::length(kOutputPrefix)));
}

namespace {
// A sample's properties as they arrived, so that a branch that rewrites them (a timestamper
// clearing times for the preview) leaves the next branch the sample it was given.
class PropertySnapshot {
public:
    explicit PropertySnapshot(IMediaSample* sample) {
        if (FAILED(sample->QueryInterface(IMediaSample2::iid, sample_.putVoid())) || !sample_ ||
            FAILED(sample_->GetProperties(sizeof props_, reinterpret_cast<BYTE*>(&props_)))) {
            sample_ = nullptr;
            return;
        }
        // Our own copy of the announced type: the sample frees its own when one is set again.
        if ((props_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props_.pMediaType) {
            type_ = *props_.pMediaType;
            props_.pMediaType = &type_;
        }
        mediaTimes_ = sample->GetMediaTime(&mediaStart_, &mediaEnd_) == S_OK;
        origin_ = PictureOriginOf(sample);
    }
    void Restore() {
        if (!sample_) return;
        sample_->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer),
                               reinterpret_cast<const BYTE*>(&props_));
        if (mediaTimes_)
            sample_->SetMediaTime(&mediaStart_, &mediaEnd_);
        else
            sample_->SetMediaTime(nullptr, nullptr);
        SetPictureOrigin(sample_.get(), origin_);
    }

private:
    ComPtr<IMediaSample2> sample_;
    AM_SAMPLE2_PROPERTIES props_;
    CMediaType type_;
    bool mediaTimes_ = false;
    LONGLONG mediaStart_ = 0, mediaEnd_ = 0;
    std::shared_ptr<const PictureOrigin> origin_;
};
} // namespace

HRESULT TInfTee::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IPictureDemand::iid) return GetInterface(&demand_, ppv);
    return TTeeFilter::NonDelegatingQueryInterface(riid, ppv);
}

PictureNeed TInfTee::NextPictureNeed() {
    PictureNeed need = PictureNeed::Nothing();
    for (TTeeOutputPin* out : outputs_) {
        if (need.whole) break;
        if (out->IsConnected()) need.Add(NeedBehind(out));
    }
    return need;
}

HRESULT TInfTee::ReceiveSample(IMediaSample* sample) {
    int connected = 0;
    for (TTeeOutputPin* out : outputs_)
        if (out->IsConnected()) ++connected;
    std::optional<PropertySnapshot> snapshot;
    if (connected > 1) snapshot.emplace(sample);

    bool anyTaken = false, anyDeclined = false;
    HRESULT failure = S_OK;
    int delivered = 0;
    for (TTeeOutputPin* out : outputs_) {
        if (!out->IsConnected()) continue;
        if (delivered++ > 0) snapshot->Restore();
        const HRESULT hr = out->DeliverSample(sample);
        if (hr == S_OK)
            anyTaken = true;
        else if (SUCCEEDED(hr))
            anyDeclined = true;
        else if (SUCCEEDED(failure))
            failure = hr;
    }
    if (anyTaken) return S_OK;
    if (anyDeclined) return S_FALSE;
    return failure; // S_OK when no output is connected: the sample is simply consumed
}

void TInfTee::OutputConnected(TTeeOutputPin* pin) {
    if (!IsListed(pin)) {
        // A pin reconnected by the graph after it had been pruned comes back in its place.
        pin->Hold();
        auto at = std::find_if(outputs_.begin(), outputs_.end(),
                               [&](TTeeOutputPin* p) { return NumberOf(p) > NumberOf(pin); });
        outputs_.insert(at, pin);
        IncrementPinVersion();
    }
    const bool spare = std::any_of(outputs_.begin(), outputs_.end(),
                                   [](TTeeOutputPin* p) { return !p->IsConnected(); });
    if (spare) return;
    int highest = 0;
    for (TTeeOutputPin* p : outputs_)
        highest = std::max(highest, NumberOf(p));
    AddOutput(std::make_unique<TTeeOutputPin>(this, kOutputPrefix + std::to_string(highest + 1)));
}

void TInfTee::OutputDisconnected(TTeeOutputPin* pin) {
    const auto free = std::count_if(outputs_.begin(), outputs_.end(),
                                    [](TTeeOutputPin* p) { return !p->IsConnected(); });
    if (free > 1) RemoveOutput(pin);
}

} // namespace talvence
