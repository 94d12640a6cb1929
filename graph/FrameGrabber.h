#pragma once

// The frame-grabber slot (the graph module's `sg`) and the device-independent bitmap it copies
// the last frame into for still images.
//
// Threads: application thread. The grabber filter's streaming thread fills its copy of the last
// sample; the filter guards that copy itself.

#include "graph/FilterGraphComponents.h"
#include "platform/media/FormatBlocks.h"

#include <QImage>

#include <vector>

namespace talvence {

// A device-independent bitmap: the header taken from the stream's format block and the image
// bytes as the stream carries them (rows padded to 32 bits, bottom-up when biHeight > 0, BGR
// order for 24 and 32 bits), which is what a BMP file holds after its two headers.
struct TDibBitmap {
    BITMAPINFOHEADER header; // biSizeImage is the size of bits
    std::vector<BYTE> bits;

    bool Empty() const { return bits.empty(); }
    LONG Width() const { return header.biWidth; }
    LONG Height() const { return header.biHeight < 0 ? -header.biHeight : header.biHeight; }
    // A top-down copy for scaling and encoding (24 bits: Format_BGR888, 32 bits: Format_RGB32).
    // Null for other bit depths, compressed bitmaps and bits shorter than the picture.
    QImage ToImage() const;
};

class TSampleGrabber : public TFilter {
public:
    explicit TSampleGrabber(std::string name = "sg");

    // Video, RGB24, VIDEOINFOHEADER, fixed-size samples: the only type the grabber connects with.
    static CMediaType AcceptedMediaType();

    // Copies the last buffered sample into bitmap. The connected type must be video with a
    // VIDEOINFOHEADER block of at least 88 bytes or a VIDEOINFOHEADER2 block of exactly 112,
    // holding a bitmap header with a biSize of at least 40 (VideoBitmapHeader); the bitmap gets
    // that header and at most its image size of the sample's bytes (an image size of 0 is
    // computed from width, bit count, height and planes). False, with bitmap left as it was, when
    // the slot has no filter, no sample is buffered, the type does not qualify, the header
    // describes an unusable or oversized picture, or the copy fails.
    bool GrabFrameBitmap(TDibBitmap& bitmap) const;

protected:
    // Fixes the accepted type and turns sample buffering on.
    void FilterJoined(IBaseFilter* filter) override;
};


} // namespace talvence
