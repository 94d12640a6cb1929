#include "TestFilters.h"

#include "platform/media/MediaGuids.h"

namespace talvence {

namespace {
constexpr GUID CLSID_TInvert = MakeGuid("0C8E2F11-3D44-4B9A-8A71-6E5F4D3C2B01");
constexpr GUID CLSID_TPassInPlace = MakeGuid("0C8E2F11-3D44-4B9A-8A71-6E5F4D3C2B02");

bool IsVideo(const CMediaType* mt) {
    return mt->majortype == MEDIATYPE_Video;
}

void InvertBytes(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    for (long i = 0; i < sample->GetActualDataLength(); ++i)
        data[i] = static_cast<BYTE>(~data[i]);
}
} // namespace

TInvert::TInvert() : TBCTransformFilter("Invert", nullptr, CLSID_TInvert) {}

HRESULT TInvert::CheckInputType(const CMediaType* mt) {
    return IsVideo(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TInvert::CheckTransform(const CMediaType* in, const CMediaType* out) {
    return in->majortype == out->majortype && in->subtype == out->subtype ? S_OK
                                                                          : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TInvert::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES in;
    InputPin()->PeekAllocator()->GetProperties(&in);
    request->cBuffers = std::max<LONG>(request->cBuffers, 2);
    request->cbBuffer = std::max(request->cbBuffer, in.cbBuffer);
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

HRESULT TInvert::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = InputPin()->CurrentMediaType();
    return S_OK;
}

HRESULT TInvert::Transform(IMediaSample* in, IMediaSample* out) {
    const long index = transforms++;
    if (decide) {
        HRESULT hr = decide(index);
        if (hr != S_OK) return hr;
    }
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    const long length = std::min(in->GetActualDataLength(), out->GetSize());
    for (long i = 0; i < length; ++i)
        dst[i] = static_cast<BYTE>(~src[i]);
    out->SetActualDataLength(length);
    return S_OK;
}

HRESULT TInvert::StartStreaming() {
    ++startStreamingCalls;
    return S_OK;
}

HRESULT TInvert::StopStreaming() {
    ++stopStreamingCalls;
    return S_OK;
}

TPassInPlace::TPassInPlace(bool modifiesData)
    : TBCTransInPlaceFilter("Pass in place", nullptr, CLSID_TPassInPlace, modifiesData) {}

HRESULT TPassInPlace::CheckInputType(const CMediaType* mt) {
    return IsVideo(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TPassInPlace::Receive(IMediaSample* sample) {
    received_ = sample;
    return TBCTransInPlaceFilter::Receive(sample);
}

HRESULT TPassInPlace::Transform(IMediaSample* sample) {
    const long index = transforms++;
    if (sample != received_) ++copies;
    if (decide) {
        HRESULT hr = decide(index);
        if (hr != S_OK) return hr;
    }
    if (ModifiesData()) InvertBytes(sample);
    return S_OK;
}

} // namespace talvence
