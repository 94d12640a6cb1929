#include "graph/SampleGrabberAccess.h"

#include "platform/media/filters/basic/SampleGrabber.h"

namespace talvence {

namespace {
ComPtr<ISampleGrabber> GrabberOf(IBaseFilter* filter) {
    ComPtr<ISampleGrabber> grabber;
    if (filter) filter->QueryInterface(ISampleGrabber::iid, grabber.putVoid());
    return grabber;
}
} // namespace

HRESULT PrepareSampleGrabber(IBaseFilter* filter, const AM_MEDIA_TYPE& accepted) {
    ComPtr<ISampleGrabber> grabber = GrabberOf(filter);
    if (!grabber) return E_NOINTERFACE;
    HRESULT hr = grabber->SetMediaType(&accepted);
    if (SUCCEEDED(hr)) hr = grabber->SetOneShot(0);
    if (SUCCEEDED(hr)) hr = grabber->SetBufferSamples(1);
    if (SUCCEEDED(hr)) hr = grabber->SetCallback(nullptr, 0);
    return hr;
}

HRESULT SampleGrabberConnectedType(IBaseFilter* filter, CMediaType* type) {
    if (!type) return E_POINTER;
    ComPtr<ISampleGrabber> grabber = GrabberOf(filter);
    if (!grabber) return E_NOINTERFACE;
    AM_MEDIA_TYPE mt{};
    HRESULT hr = grabber->GetConnectedMediaType(&mt);
    if (FAILED(hr)) return hr;
    *type = mt;
    FreeMediaType(mt);
    return S_OK;
}

HRESULT SampleGrabberCurrentBuffer(IBaseFilter* filter, std::vector<BYTE>* bytes) {
    if (!bytes) return E_POINTER;
    ComPtr<ISampleGrabber> grabber = GrabberOf(filter);
    if (!grabber) return E_NOINTERFACE;
    // A larger sample may arrive between asking the size and copying: ask again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        long size = 0;
        HRESULT hr = grabber->GetCurrentBuffer(&size, nullptr);
        if (FAILED(hr)) return hr;
        if (size < 0) return E_UNEXPECTED;
        std::vector<BYTE> copy(static_cast<std::size_t>(size));
        long room = size;
        hr = grabber->GetCurrentBuffer(&room, copy.data());
        if (hr == E_OUTOFMEMORY) continue;
        if (FAILED(hr)) return hr;
        if (room < 0 || room > size) return E_UNEXPECTED;
        copy.resize(static_cast<std::size_t>(room));
        *bytes = std::move(copy);
        return S_OK;
    }
    return E_OUTOFMEMORY;
}

} // namespace talvence
