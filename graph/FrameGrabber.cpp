#include "graph/FrameGrabber.h"

#include "graph/SampleGrabberAccess.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace talvence {

namespace {

// Larger pictures than this are taken for a damaged format block rather than allocated.
constexpr std::int64_t kMaxBitmapBytes = std::int64_t(256) << 20;

// Bytes of the picture the header describes, computed in 64 bits; -1 when it is unusable.
std::int64_t PictureBytes(const BITMAPINFOHEADER& h) {
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biBitCount == 0 || h.biBitCount > 32) return -1;
    const std::int64_t bits = h.biBitCount == 15 ? 16 : h.biBitCount;
    const std::int64_t rowBytes = ((std::int64_t(h.biWidth) * bits + 31) / 32) * 4;
    const std::int64_t rows = h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight;
    const std::int64_t planes = h.biPlanes == 0 ? 1 : h.biPlanes;
    if (rowBytes > kMaxBitmapBytes || rows > kMaxBitmapBytes || planes > 4) return -1;
    const std::int64_t total = rowBytes * rows * planes;
    return total > kMaxBitmapBytes ? -1 : total;
}

// The bitmap header of a qualifying video type; false otherwise. The grab has always taken a
// VIDEOINFOHEADER2 block only at exactly its own size.
bool HeaderOf(const CMediaType& type, BITMAPINFOHEADER* header) {
    if (!(type.majortype == MEDIATYPE_Video)) return false;
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat != sizeof(VIDEOINFOHEADER2))
        return false;
    return VideoBitmapHeader(type, *header);
}

} // namespace

QImage TDibBitmap::ToImage() const {
    if (header.biCompression != BI_RGB) return {};
    if (header.biBitCount != 24 && header.biBitCount != 32) return {};
    const std::int64_t needed = PictureBytes(header);
    if (needed < 0 || std::int64_t(bits.size()) < needed) return {};
    const int width = header.biWidth;
    const int height = Height();
    const std::size_t rowBytes = DibRowBytes(header.biWidth, header.biBitCount);
    const std::size_t pixelBytes = std::size_t(width) * (header.biBitCount / 8);
    QImage image(width, height,
                 header.biBitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
    if (image.isNull()) return {};
    const bool bottomUp = header.biHeight > 0;
    for (int y = 0; y < height; ++y) {
        const std::size_t sourceRow = bottomUp ? std::size_t(height - 1 - y) : std::size_t(y);
        std::memcpy(image.scanLine(y), bits.data() + sourceRow * rowBytes, pixelBytes);
    }
    return image;
}

TSampleGrabber::TSampleGrabber(std::string name) : TFilter(std::move(name)) {}

CMediaType TSampleGrabber::AcceptedMediaType() {
    CMediaType type(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    type.SetFormatType(FORMAT_VideoInfo);
    type.bFixedSizeSamples = 1;
    return type;
}

void TSampleGrabber::FilterJoined(IBaseFilter* filter) {
    // A filter that is no grabber still joins; GrabFrameBitmap then answers false.
    PrepareSampleGrabber(filter, AcceptedMediaType());
}

bool TSampleGrabber::GrabFrameBitmap(TDibBitmap& bitmap) const {
    ComPtr<IBaseFilter> filter = TryQuery<IBaseFilter>();
    if (!filter) return false;
    CMediaType type;
    if (FAILED(SampleGrabberConnectedType(filter.get(), &type))) return false;
    BITMAPINFOHEADER header;
    if (!HeaderOf(type, &header)) return false;
    const std::int64_t pictureBytes = PictureBytes(header);
    if (pictureBytes < 0) return false;
    std::vector<BYTE> sample;
    if (FAILED(SampleGrabberCurrentBuffer(filter.get(), &sample))) return false;

    const std::int64_t imageSize = header.biSizeImage != 0 ? header.biSizeImage : pictureBytes;
    const std::size_t copied =
        static_cast<std::size_t>(std::min({std::int64_t(sample.size()), imageSize, pictureBytes}));
    TDibBitmap grabbed;
    grabbed.header = header;
    grabbed.header.biSize = sizeof(BITMAPINFOHEADER);
    grabbed.header.biSizeImage = static_cast<DWORD>(pictureBytes);
    grabbed.bits.assign(static_cast<std::size_t>(pictureBytes), 0);
    std::memcpy(grabbed.bits.data(), sample.data(), copied);
    bitmap = std::move(grabbed);
    return true;
}


} // namespace talvence
