#include "filters/vq_DVheader/vq_DVheader.h"

#include "filters/dvcodes/dvcodes.h"

#include <cstring>

namespace talvence {

bool RestoreDifHeaders(std::uint8_t* frame, std::size_t size, const std::uint8_t* headers) {
    if (!frame || !headers || size < kDvMinFrameBytes) return false;
    for (int l = 0; l < kSceneHeaderSequences; ++l)
        std::memcpy(frame + l * kDvSequenceBytes, headers + l * kSceneHeaderBytesPerSequence,
                    kSceneHeaderBytesPerSequence);
    return true;
}

Tvq_DVheader::Tvq_DVheader(Tvq_SceneDetect* sceneDetect)
    : TBCTransInPlaceFilter(kDVheaderObjectName, nullptr, CLSID_vq_DVheader, true),
      sceneDetect_(sceneDetect) {}

HRESULT Tvq_DVheader::CheckInputType(const CMediaType* mt) {
    if (!mt) return E_POINTER;
    return IsDvMediaType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tvq_DVheader::Transform(IMediaSample* sample) {
    if (!sceneDetect_) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    const long length = sample->GetActualDataLength();
    if (length < static_cast<long>(kDvMinFrameBytes)) return S_OK;

    FrameRingEntry entry;
    if (!sceneDetect_->ReadEntry(sceneDetect_->ReadPos(), entry)) return S_OK;
    // Every recorded entry has counted its frame; an entry never written holds zeros, which
    // would wipe the DIF block ids and leave a frame no reader can parse.
    if (entry.info.frameCount == 0) return S_OK;
    RestoreDifHeaders(data, static_cast<std::size_t>(length), entry.difHeaders.data());
    return S_OK;
}

} // namespace talvence
