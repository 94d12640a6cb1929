#include "filters/vq_scenedetect/vq_scenedetect.h"

#include "platform/media/MediaGuids.h"

namespace talvence {

bool IsDvMediaType(const CMediaType& mt) {
    if (mt.majortype == MEDIATYPE_Interleaved) return true;
    return mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_dvsd;
}

Tvq_SceneDetect::Tvq_SceneDetect()
    : TBCTransInPlaceFilter(kSceneDetectObjectName, nullptr, CLSID_vq_SceneDetect, false) {}

void Tvq_SceneDetect::SetSceneCallback(SceneDetectCore::SceneCallback callback) {
    core_.SetSceneCallback(std::move(callback));
}

HRESULT Tvq_SceneDetect::Stop() {
    // The graph stops every filter whenever it is told to, also when nothing runs: only the end
    // of a run closes a scene, or a scene file would gain an empty entry per extra stop.
    if (IsStopped()) return TBCTransInPlaceFilter::Stop();
    HRESULT hr = S_OK;
    core_.Stop([this, &hr] { hr = TBCTransInPlaceFilter::Stop(); });
    return hr;
}

HRESULT Tvq_SceneDetect::CheckInputType(const CMediaType* mt) {
    if (!mt) return E_POINTER;
    return IsDvMediaType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tvq_SceneDetect::Transform(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    // The bytes the frame holds, not the size of the buffer that carries it: a larger buffer
    // must not turn a 625/50 frame into a 525/60 one or let stale bytes be decoded.
    const long length = sample->GetActualDataLength();
    if (length <= 0) return S_OK;
    const auto size = static_cast<std::size_t>(length);

    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timeResult = sample->GetTime(&start, &stop);
    const bool timesValid = SUCCEEDED(timeResult);
    // A start without a stop: the frame lasts its nominal duration.
    if (timeResult == VFW_S_NO_STOP_TIME) stop = start + SceneFrameDuration(size);

    const SceneFrameResult result = core_.ProcessFrame(data, size, start, stop, timesValid);
    if (result.discontinuity) {
        sample->SetDiscontinuity(1);
        sample->SetSyncPoint(1);
    }
    return S_OK;
}

} // namespace talvence
