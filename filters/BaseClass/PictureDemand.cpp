#include "filters/BaseClass/PictureDemand.h"

#include "platform/media/PinWalk.h"

namespace talvence {

PictureNeed NeedBehind(IPin* output) {
    if (output == nullptr) return PictureNeed{};
    const ComPtr<IPin> peer = PeerOf(output);
    if (!peer) return PictureNeed::Nothing();
    const ComPtr<IBaseFilter> next = OwnerOf(peer.get());
    ComPtr<IPictureDemand> demand;
    if (!next || FAILED(next->QueryInterface(IPictureDemand::iid, demand.putVoid())) || !demand)
        return PictureNeed{};
    return demand->NextPictureNeed();
}

} // namespace talvence
