#pragma once

// Media types: the platform's AM_MEDIA_TYPE record, and CMediaType, a value class that owns its
// format block. Format blocks handed across interfaces are allocated with AllocFormatBlock and
// freed with FreeMediaType / DeleteMediaType so either side may release them.

#include "platform/media/FormatBlocks.h"
#include "platform/media/Guid.h"
#include "platform/media/HResult.h"

#include <cstddef>

namespace talvence {

struct IUnknown;

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples = 0;
    BOOL bTemporalCompression = 0;
    ULONG lSampleSize = 0;
    GUID formattype;
    IUnknown* pUnk = nullptr; // unused, kept for layout fidelity of callers
    ULONG cbFormat = 0;
    BYTE* pbFormat = nullptr;
};

BYTE* AllocFormatBlock(std::size_t size);
void FreeFormatBlock(BYTE* block);

// Releases the format block (not the record itself).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Releases the format block and the record allocated by CreateMediaType.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
// Deep copy into an uninitialised or freed record. E_OUTOFMEMORY leaves dst empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// A new heap record holding a deep copy; null on failure.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);

// True when major type, subtype, format type and format bytes agree (the platform's equality).
bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);

// The bitmap header in a video format block: FORMAT_VideoInfo with at least
// sizeof(VIDEOINFOHEADER) (88) bytes or FORMAT_VideoInfo2 with at least sizeof(VIDEOINFOHEADER2)
// (112), and a header whose biSize is at least sizeof(BITMAPINFOHEADER) (40). Null for any other
// format type, a missing or shorter block, or a smaller biSize. The major type is not looked at.
const BITMAPINFOHEADER* VideoBitmapHeader(const AM_MEDIA_TYPE& mt);
BITMAPINFOHEADER* VideoBitmapHeader(AM_MEDIA_TYPE& mt);
// A copy of that header; false, with out untouched, where there is none.
bool VideoBitmapHeader(const AM_MEDIA_TYPE& mt, BITMAPINFOHEADER& out);

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID& major, const GUID& sub = GUID_NULL);
    CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    CMediaType(CMediaType&& other) noexcept;
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    CMediaType& operator=(CMediaType&& other) noexcept;
    ~CMediaType();

    bool operator==(const CMediaType& other) const { return MediaTypesEqual(*this, other); }
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    bool IsValid() const { return !(majortype == GUID_NULL); }
    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    void SetType(const GUID& g) { majortype = g; }
    void SetSubtype(const GUID& g) { subtype = g; }
    void SetFormatType(const GUID& g) { formattype = g; }
    void SetSampleSize(ULONG size);
    void SetVariableSize() { bFixedSizeSamples = 0; }
    void SetTemporalCompression(bool on) { bTemporalCompression = on ? 1 : 0; }
    bool IsFixedSize() const { return bFixedSizeSamples != 0; }
    bool IsTemporalCompressed() const { return bTemporalCompression != 0; }
    ULONG GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }

    // Replaces the format block with a copy of the given bytes.
    bool SetFormat(const BYTE* data, ULONG size);
    // Grows or shrinks the block keeping its leading bytes; new bytes are zero. Null on failure.
    BYTE* ReallocFormatBuffer(ULONG size);
    void ResetFormatBuffer();
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }

    // Typed view of the format block: null when it is shorter than T.
    template <class T> T* FormatAs() const {
        return cbFormat >= sizeof(T) ? reinterpret_cast<T*>(pbFormat) : nullptr;
    }

    // Major type, subtype and format type must be set: a wildcard (GUID_NULL) leaves it partial.
    bool IsPartiallySpecified() const;
    // This concrete type satisfies the (possibly partial) pattern.
    bool MatchesPartial(const AM_MEDIA_TYPE& pattern) const;

private:
    void clear();
};

} // namespace talvence
