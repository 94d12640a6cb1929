#pragma once

// What a V4L2 node says about itself, read through the seam: whether it captures video, its
// names, the capture modes it offers (pixel format, size, frame interval) in the layouts the
// engine has media types for, its inputs and its controls. And the media types of those modes.
//
// Pure functions over the seam; any thread, one call at a time per descriptor.

#include "platform/devices/v4l2/V4l2System.h"
#include "platform/media/MediaType.h"

#include <optional>

namespace talvence {

struct TV4l2Mode {
    std::uint32_t pixelFormat = 0; // V4L2_PIX_FMT_*
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t intervalNum = 1; // seconds per frame
    std::uint32_t intervalDen = 30;

    bool SameLayout(const TV4l2Mode& o) const {
        return pixelFormat == o.pixelFormat && width == o.width && height == o.height;
    }
    REFERENCE_TIME FrameTime() const {
        return intervalDen ? REFERENCE_TIME(10'000'000) * intervalNum / intervalDen : 333333;
    }
    // Bytes a buffer needs: the picture, or for a compressed one a bound on it.
    std::size_t BufferBytes() const;
};

struct TV4l2Input {
    int index = 0;
    std::string name;
    std::uint32_t type = 0; // V4L2_INPUT_TYPE_*
    std::uint64_t standards = 0;
};

struct TV4l2Control {
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t type = 0; // V4L2_CTRL_TYPE_*: integer, boolean, menu and button are shown
    std::int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    std::vector<std::pair<std::int32_t, std::string>> menu; // index and text of each entry
};

struct TV4l2NodeInfo {
    std::string card, driver, busInfo;
    bool capture = false;  // single-planar video capture, with streaming or read() I/O
    bool readOnly = false; // read() I/O without streaming (some MPEG encoder cards)
};

// A descriptor closed when it goes.
class TV4l2Handle {
public:
    TV4l2Handle(IV4l2System& system, const std::string& path)
        : system_(&system), fd_(system.Open(path)) {}
    ~TV4l2Handle() { Reset(); }
    TV4l2Handle(const TV4l2Handle&) = delete;
    TV4l2Handle& operator=(const TV4l2Handle&) = delete;
    bool Valid() const { return fd_ >= 0; }
    int Error() const { return fd_ < 0 ? fd_ : 0; }
    int Fd() const { return fd_; }
    int Ioctl(unsigned long request, void* arg) { return system_->Ioctl(fd_, request, arg); }
    void Reset() {
        if (fd_ >= 0) system_->Close(fd_);
        fd_ = -1;
    }

private:
    IV4l2System* system_;
    int fd_;
};

std::optional<TV4l2NodeInfo> QueryV4l2Node(TV4l2Handle& handle);
// The modes in the layouts the engine knows (YUYV, UYVY, NV12, YUV420, RGB24, BGR24, MJPEG, and
// the MPEG stream of an encoder), in the driver's order; sizes and intervals given as ranges
// contribute their ends.
std::vector<TV4l2Mode> QueryV4l2Modes(TV4l2Handle& handle);
// The modes a capture source can deliver from the node: all of them with streaming I/O; with
// read() alone only the streams, whose bytes need no framing (pictures read() would cut).
std::vector<TV4l2Mode> CapturableV4l2Modes(TV4l2Handle& handle, const TV4l2NodeInfo& info);
std::vector<TV4l2Input> QueryV4l2Inputs(TV4l2Handle& handle);
std::vector<TV4l2Control> QueryV4l2Controls(TV4l2Handle& handle);

// The media type of a mode (VIDEOINFOHEADER; RGB top-down; MJPEG of variable size; the MPEG
// stream as MEDIATYPE_Stream / MPEG-2 program stream of variable size, its block giving the
// picture size and rate), and the mode a media type asks for (its interval from AvgTimePerFrame,
// 0 when none).
CMediaType V4l2ModeType(const TV4l2Mode& mode);
std::optional<TV4l2Mode> V4l2ModeOf(const AM_MEDIA_TYPE& mt);
// The pixel format is a stream (an encoder's MPEG program stream), not pictures.
bool IsV4l2StreamFormat(std::uint32_t pixelFormat);
// The media subtype of a pixel format; null for one the engine has none for.
const GUID* V4l2Subtype(std::uint32_t pixelFormat);

} // namespace talvence
