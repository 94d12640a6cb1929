#include "filters/BaseClass/SampleCopy.h"

#include "platform/media/Unknown.h"

#include <cstddef>
#include <cstring>

namespace talvence {

void ReadSampleProperties(IMediaSample* sample, AM_SAMPLE2_PROPERTIES* p) {
    ComPtr<IMediaSample2> s2;
    if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, s2.putVoid())) && s2 &&
        SUCCEEDED(s2->GetProperties(sizeof *p, reinterpret_cast<BYTE*>(p))))
        return;
    // Samples of other makers may lack IMediaSample2: the same facts one by one.
    *p = AM_SAMPLE2_PROPERTIES();
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (SUCCEEDED(hr)) {
        p->dwSampleFlags |= AM_SAMPLE_TIMEVALID;
        if (hr == S_OK) p->dwSampleFlags |= AM_SAMPLE_STOPVALID;
        p->tStart = start;
        p->tStop = stop;
    }
    if (sample->IsSyncPoint() == S_OK) p->dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    if (sample->IsDiscontinuity() == S_OK) p->dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    if (sample->IsPreroll() == S_OK) p->dwSampleFlags |= AM_SAMPLE_PREROLL;
    p->lActual = sample->GetActualDataLength();
    p->cbBuffer = sample->GetSize();
    sample->GetPointer(&p->pbBuffer);
}

std::shared_ptr<const PictureOrigin> PictureOriginOf(IMediaSample* sample) {
    ComPtr<ISampleSideData> side;
    if (!sample || FAILED(sample->QueryInterface(ISampleSideData::iid, side.putVoid())) || !side)
        return nullptr;
    return side->GetPictureOrigin();
}

void SetPictureOrigin(IMediaSample* sample, std::shared_ptr<const PictureOrigin> origin) {
    ComPtr<ISampleSideData> side;
    if (!sample || FAILED(sample->QueryInterface(ISampleSideData::iid, side.putVoid())) || !side)
        return;
    side->SetPictureOrigin(std::move(origin));
}

HRESULT CopySampleContents(IMediaSample* source, IMediaSample* dest, AM_SAMPLE2_PROPERTIES props) {
    const long length = source->GetActualDataLength();
    if (length > dest->GetSize()) return VFW_E_BUFFER_OVERFLOW;
    SetPictureOrigin(dest, PictureOriginOf(source));
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    source->GetPointer(&from);
    dest->GetPointer(&to);
    if (length > 0) std::memcpy(to, from, static_cast<std::size_t>(length));

    ComPtr<IMediaSample2> dest2;
    dest->QueryInterface(IMediaSample2::iid, dest2.putVoid());
    if (dest2) {
        props.lActual = length;
        return dest2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer),
                                    reinterpret_cast<const BYTE*>(&props));
    }
    HRESULT hr = dest->SetActualDataLength(length);
    REFERENCE_TIME start = props.tStart, stop = props.tStop;
    if (props.dwSampleFlags & AM_SAMPLE_TIMEVALID)
        dest->SetTime(&start, (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr);
    else
        dest->SetTime(nullptr, nullptr);
    dest->SetSyncPoint((props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) != 0);
    dest->SetDiscontinuity((props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0);
    dest->SetPreroll((props.dwSampleFlags & AM_SAMPLE_PREROLL) != 0);
    if (SUCCEEDED(hr) && (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED))
        hr = dest->SetMediaType(props.pMediaType);
    return hr;
}

} // namespace talvence
