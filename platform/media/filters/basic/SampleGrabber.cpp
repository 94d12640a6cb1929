#include "platform/media/filters/basic/SampleGrabber.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/BasicFilterIds.h"

#include <cstring>

namespace talvence {

TSampleGrabberFilter::TSampleGrabberFilter()
    : TBCTransInPlaceFilter("SampleGrabber", nullptr, CLSID_SampleGrabber, false) {}

HRESULT TSampleGrabberFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == ISampleGrabber::iid) return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
    return TBCTransInPlaceFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TSampleGrabberFilter::SetOneShot(BOOL oneShot) {
    oneShot_ = oneShot != 0;
    return S_OK;
}

HRESULT TSampleGrabberFilter::SetMediaType(const AM_MEDIA_TYPE* pmt) {
    TBCAutoLock lock(csFilter_);
    acceptType_ = pmt ? CMediaType(*pmt) : CMediaType();
    return S_OK;
}

HRESULT TSampleGrabberFilter::GetConnectedMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    TBCAutoLock lock(csFilter_);
    TBCTransformInputPin* input = InputPin();
    if (!input || !input->IsConnected()) return VFW_E_NOT_CONNECTED;
    CMediaType type = input->CurrentMediaType();
    {
        // A type announced mid-stream is the one the copy is in.
        std::lock_guard grab(grabLock_);
        if (streamType_.IsValid()) type = streamType_;
    }
    return CopyMediaType(pmt, &type);
}

HRESULT TSampleGrabberFilter::SetBufferSamples(BOOL bufferThem) {
    bufferSamples_ = bufferThem != 0;
    return S_OK;
}

HRESULT TSampleGrabberFilter::GetCurrentBuffer(long* bufferSize, BYTE* buffer) {
    if (!bufferSize) return E_POINTER;
    if (!bufferSamples_) return E_INVALIDARG;
    {
        TBCAutoLock lock(csFilter_);
        if (!InputPin() || !InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
    }
    std::lock_guard grab(grabLock_);
    if (!haveCopy_) return VFW_E_WRONG_STATE;
    const long length = static_cast<long>(copy_.size());
    if (!buffer) {
        *bufferSize = length;
        return S_OK;
    }
    if (*bufferSize < length) return E_OUTOFMEMORY;
    if (length > 0) std::memcpy(buffer, copy_.data(), copy_.size());
    *bufferSize = length;
    return S_OK;
}

HRESULT TSampleGrabberFilter::GetCurrentSample(IMediaSample** sample) {
    if (sample) *sample = nullptr;
    return E_NOTIMPL;
}

HRESULT TSampleGrabberFilter::SetCallback(ISampleGrabberCB* callback, long whichMethod) {
    if (whichMethod != 0 && whichMethod != 1) return E_INVALIDARG;
    std::lock_guard grab(grabLock_);
    callback_ = callback;
    callbackMethod_ = whichMethod;
    return S_OK;
}

HRESULT TSampleGrabberFilter::CheckInputType(const CMediaType* mt) {
    // Only the three identifiers are compared: the format block is whatever the stream brings.
    if (!(acceptType_.majortype == GUID_NULL) && !(acceptType_.majortype == mt->majortype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (!(acceptType_.subtype == GUID_NULL) && !(acceptType_.subtype == mt->subtype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (!(acceptType_.formattype == GUID_NULL) && !(acceptType_.formattype == mt->formattype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    // Readers of the copy interpret it through the block: one without a bitmap header would
    // mislead them.
    if ((mt->formattype == FORMAT_VideoInfo || mt->formattype == FORMAT_VideoInfo2) &&
        !VideoBitmapHeader(*mt))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TSampleGrabberFilter::Transform(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES* props = InputPin()->SampleProps();
    ComPtr<ISampleGrabberCB> callback;
    long method = 0;
    {
        std::lock_guard grab(grabLock_);
        if ((props->dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props->pMediaType)
            streamType_ = *props->pMediaType;
        if (bufferSamples_ && !(props->dwSampleFlags & AM_SAMPLE_PREROLL)) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const long length = sample->GetActualDataLength();
            copy_.assign(data, data + (length > 0 ? length : 0));
            haveCopy_ = true;
        }
        callback = callback_;
        method = callbackMethod_;
    }
    if (callback) {
        const double time =
            (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) ? double(props->tStart) / 1e7 : 0.0;
        if (method == 0) {
            callback->SampleCB(time, sample);
        } else {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            callback->BufferCB(time, data, sample->GetActualDataLength());
        }
    }
    return S_OK;
}

HRESULT TSampleGrabberFilter::Receive(IMediaSample* sample) {
    if (oneShotDone_) return S_FALSE;
    HRESULT hr = TBCTransInPlaceFilter::Receive(sample);
    if (hr == S_OK && oneShot_ && InputPin()->SampleProps()->dwStreamId == AM_STREAM_MEDIA) {
        // One sample is all that was asked for: the stream ends here.
        oneShotDone_ = true;
        output_->DeliverEndOfStream();
    }
    return hr;
}

HRESULT TSampleGrabberFilter::EndOfStream() {
    if (oneShotDone_) return S_OK; // already given downstream
    return TBCTransInPlaceFilter::EndOfStream();
}

HRESULT TSampleGrabberFilter::StartStreaming() {
    oneShotDone_ = false;
    std::lock_guard grab(grabLock_);
    haveCopy_ = false;
    copy_.clear();
    streamType_ = CMediaType();
    return S_OK;
}

HRESULT TSampleGrabberFilter::BreakConnect(PIN_DIRECTION dir) {
    if (dir == PINDIR_INPUT) {
        std::lock_guard grab(grabLock_);
        haveCopy_ = false;
        copy_.clear();
        streamType_ = CMediaType();
    }
    return TBCTransInPlaceFilter::BreakConnect(dir);
}

} // namespace talvence
