#include "platform/media/MediaType.h"

#include "platform/media/MediaGuids.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace talvence {

BYTE* AllocFormatBlock(std::size_t size) {
    if (size == 0) return nullptr;
    return static_cast<BYTE*>(std::calloc(size, 1));
}

void FreeFormatBlock(BYTE* block) {
    std::free(block);
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    FreeFormatBlock(mt.pbFormat);
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    mt.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return;
    FreeMediaType(*pmt);
    delete pmt;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
    if (!dst || !src) return E_POINTER;
    *dst = *src;
    dst->pUnk = nullptr;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src->cbFormat != 0 && src->pbFormat) {
        dst->pbFormat = AllocFormatBlock(src->cbFormat);
        if (!dst->pbFormat) return E_OUTOFMEMORY;
        std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
        dst->cbFormat = src->cbFormat;
    }
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
    auto* mt = new AM_MEDIA_TYPE;
    if (FAILED(CopyMediaType(mt, src))) {
        delete mt;
        return nullptr;
    }
    return mt;
}

bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
    if (!(a.majortype == b.majortype) || !(a.subtype == b.subtype) ||
        !(a.formattype == b.formattype) || a.cbFormat != b.cbFormat)
        return false;
    return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

const BITMAPINFOHEADER* VideoBitmapHeader(const AM_MEDIA_TYPE& mt) {
    std::size_t offset = 0;
    std::size_t least = 0;
    if (mt.formattype == FORMAT_VideoInfo) {
        offset = offsetof(VIDEOINFOHEADER, bmiHeader);
        least = sizeof(VIDEOINFOHEADER);
    } else if (mt.formattype == FORMAT_VideoInfo2) {
        offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
        least = sizeof(VIDEOINFOHEADER2);
    } else {
        return nullptr;
    }
    if (!mt.pbFormat || mt.cbFormat < least) return nullptr;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(mt.pbFormat + offset);
    return header->biSize >= sizeof(BITMAPINFOHEADER) ? header : nullptr;
}

BITMAPINFOHEADER* VideoBitmapHeader(AM_MEDIA_TYPE& mt) {
    return const_cast<BITMAPINFOHEADER*>(VideoBitmapHeader(std::as_const(mt)));
}

bool VideoBitmapHeader(const AM_MEDIA_TYPE& mt, BITMAPINFOHEADER& out) {
    const BITMAPINFOHEADER* header = VideoBitmapHeader(mt);
    if (header) out = *header;
    return header != nullptr;
}

CMediaType::CMediaType() = default;

CMediaType::CMediaType(const GUID& major, const GUID& sub) {
    majortype = major;
    subtype = sub;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) {
    CopyMediaType(this, &other);
}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE() {
    CopyMediaType(this, &other);
}

CMediaType::CMediaType(CMediaType&& other) noexcept : AM_MEDIA_TYPE(other) {
    other.pbFormat = nullptr;
    other.cbFormat = 0;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
    if (&other == this) return *this;
    CMediaType tmp(other);
    *this = std::move(tmp);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
    if (&other == this) return *this;
    clear();
    static_cast<AM_MEDIA_TYPE&>(*this) = other;
    other.pbFormat = nullptr;
    other.cbFormat = 0;
    return *this;
}

CMediaType::~CMediaType() {
    clear();
}

void CMediaType::clear() {
    FreeMediaType(*this);
}

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = 1;
        lSampleSize = size;
    }
}

bool CMediaType::SetFormat(const BYTE* data, ULONG size) {
    BYTE* block = nullptr;
    if (size != 0) {
        block = AllocFormatBlock(size);
        if (!block) return false;
        if (data) std::memcpy(block, data, size);
    }
    FreeFormatBlock(pbFormat);
    pbFormat = block;
    cbFormat = size;
    return true;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG size) {
    if (size == cbFormat) return pbFormat;
    BYTE* block = AllocFormatBlock(size);
    if (size != 0 && !block) return nullptr;
    if (pbFormat && block) std::memcpy(block, pbFormat, size < cbFormat ? size : cbFormat);
    FreeFormatBlock(pbFormat);
    pbFormat = block;
    cbFormat = size;
    return pbFormat;
}

void CMediaType::ResetFormatBuffer() {
    SetFormat(nullptr, 0);
}

bool CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& p) const {
    if (!(p.majortype == GUID_NULL) && !(p.majortype == majortype)) return false;
    if (!(p.subtype == GUID_NULL) && !(p.subtype == subtype)) return false;
    if (!(p.formattype == GUID_NULL)) {
        if (!(p.formattype == formattype) || p.cbFormat != cbFormat) return false;
        if (cbFormat != 0 && std::memcmp(p.pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

} // namespace talvence
