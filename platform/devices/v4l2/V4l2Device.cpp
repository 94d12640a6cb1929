#include "platform/devices/v4l2/V4l2Device.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"

#include <algorithm>
#include <cstring>
#include <linux/videodev2.h>

namespace talvence {

namespace {

struct Layout {
    std::uint32_t pixelFormat;
    const GUID* subtype;
    DWORD compression; // biCompression
    WORD bits;
};

constexpr DWORD Fourcc(char a, char b, char c, char d) {
    return DWORD(std::uint8_t(a)) | DWORD(std::uint8_t(b)) << 8 | DWORD(std::uint8_t(c)) << 16 |
           DWORD(std::uint8_t(d)) << 24;
}

// Both RGB orders become the engine's RGB24 (blue first); the source swaps RGB's bytes.
constexpr Layout kLayouts[] = {
    {V4L2_PIX_FMT_YUYV, &MEDIASUBTYPE_YUY2, Fourcc('Y', 'U', 'Y', '2'), 16},
    {V4L2_PIX_FMT_UYVY, &MEDIASUBTYPE_UYVY, Fourcc('U', 'Y', 'V', 'Y'), 16},
    {V4L2_PIX_FMT_NV12, &MEDIASUBTYPE_NV12, Fourcc('N', 'V', '1', '2'), 12},
    {V4L2_PIX_FMT_YUV420, &MEDIASUBTYPE_I420, Fourcc('I', '4', '2', '0'), 12},
    {V4L2_PIX_FMT_BGR24, &MEDIASUBTYPE_RGB24, BI_RGB, 24},
    {V4L2_PIX_FMT_RGB24, &MEDIASUBTYPE_RGB24, BI_RGB, 24},
    {V4L2_PIX_FMT_MJPEG, &MEDIASUBTYPE_MJPG, Fourcc('M', 'J', 'P', 'G'), 24},
    {V4L2_PIX_FMT_JPEG, &MEDIASUBTYPE_MJPG, Fourcc('M', 'J', 'P', 'G'), 24},
    // An encoder's MPEG stream: a stream pin, the program stream in pieces of any size.
    {V4L2_PIX_FMT_MPEG, &MEDIASUBTYPE_MPEG2_PROGRAM, 0, 0},
};

// The bytes of one program-stream buffer: a few pictures at the highest rates.
constexpr std::size_t kStreamBufferBytes = 1 << 20;

const Layout* LayoutOf(std::uint32_t pixelFormat) {
    for (const Layout& l : kLayouts)
        if (l.pixelFormat == pixelFormat) return &l;
    return nullptr;
}

template <std::size_t N> std::string Text(const std::uint8_t (&s)[N]) {
    return std::string(reinterpret_cast<const char*>(s),
                       strnlen(reinterpret_cast<const char*>(s), N));
}

void AddIntervals(TV4l2Handle& h, std::uint32_t fourcc, std::uint32_t w, std::uint32_t hgt,
                  std::vector<TV4l2Mode>& out) {
    const std::size_t before = out.size();
    for (std::uint32_t i = 0; i < 64; ++i) {
        v4l2_frmivalenum v{};
        v.index = i;
        v.pixel_format = fourcc;
        v.width = w;
        v.height = hgt;
        if (h.Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &v) != 0) break;
        if (v.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            out.push_back({fourcc, w, hgt, v.discrete.numerator, v.discrete.denominator});
            continue;
        }
        out.push_back({fourcc, w, hgt, v.stepwise.min.numerator, v.stepwise.min.denominator});
        out.push_back({fourcc, w, hgt, v.stepwise.max.numerator, v.stepwise.max.denominator});
        break;
    }
    // A driver that does not enumerate intervals: whatever it runs at, called 30 a second.
    if (out.size() == before) out.push_back({fourcc, w, hgt, 1, 30});
}

} // namespace

bool IsV4l2StreamFormat(std::uint32_t pixelFormat) {
    return pixelFormat == V4L2_PIX_FMT_MPEG;
}

std::size_t TV4l2Mode::BufferBytes() const {
    if (IsV4l2StreamFormat(pixelFormat)) return kStreamBufferBytes;
    const std::size_t pixels = std::size_t(width) * height;
    const Layout* l = LayoutOf(pixelFormat);
    if (l && l->subtype == &MEDIASUBTYPE_MJPG) return pixels * 3;
    return pixels * (l ? l->bits : 16) / 8;
}

std::optional<TV4l2NodeInfo> QueryV4l2Node(TV4l2Handle& handle) {
    v4l2_capability cap{};
    if (handle.Ioctl(VIDIOC_QUERYCAP, &cap) != 0) return std::nullopt;
    const std::uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    TV4l2NodeInfo info;
    info.card = Text(cap.card);
    info.driver = Text(cap.driver);
    info.busInfo = Text(cap.bus_info);
    info.capture =
        (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & (V4L2_CAP_STREAMING | V4L2_CAP_READWRITE));
    info.readOnly = info.capture && !(caps & V4L2_CAP_STREAMING);
    return info;
}

std::vector<TV4l2Mode> CapturableV4l2Modes(TV4l2Handle& handle, const TV4l2NodeInfo& info) {
    std::vector<TV4l2Mode> modes = QueryV4l2Modes(handle);
    if (info.readOnly)
        std::erase_if(modes, [](const TV4l2Mode& m) { return !IsV4l2StreamFormat(m.pixelFormat); });
    return modes;
}

std::vector<TV4l2Mode> QueryV4l2Modes(TV4l2Handle& handle) {
    std::vector<TV4l2Mode> out;
    for (std::uint32_t f = 0; f < 64; ++f) {
        v4l2_fmtdesc desc{};
        desc.index = f;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (handle.Ioctl(VIDIOC_ENUM_FMT, &desc) != 0) break;
        if (!LayoutOf(desc.pixelformat)) continue;
        const std::size_t before = out.size();
        for (std::uint32_t s = 0; s < 256; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = desc.pixelformat;
            if (handle.Ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                AddIntervals(handle, desc.pixelformat, size.discrete.width, size.discrete.height,
                             out);
                continue;
            }
            AddIntervals(handle, desc.pixelformat, size.stepwise.max_width,
                         size.stepwise.max_height, out);
            AddIntervals(handle, desc.pixelformat, size.stepwise.min_width,
                         size.stepwise.min_height, out);
            break;
        }
        // Encoders often have no sizes to list: their stream is PAL-sized at 25 a second.
        if (out.size() == before && IsV4l2StreamFormat(desc.pixelformat))
            out.push_back({desc.pixelformat, 720, 576, 1, 25});
    }
    return out;
}

std::vector<TV4l2Input> QueryV4l2Inputs(TV4l2Handle& handle) {
    std::vector<TV4l2Input> out;
    for (std::uint32_t i = 0; i < 32; ++i) {
        v4l2_input in{};
        in.index = i;
        if (handle.Ioctl(VIDIOC_ENUMINPUT, &in) != 0) break;
        out.push_back({static_cast<int>(i), Text(in.name), in.type, in.std});
    }
    return out;
}

std::vector<TV4l2Control> QueryV4l2Controls(TV4l2Handle& handle) {
    std::vector<TV4l2Control> out;
    v4l2_queryctrl q{};
    q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (handle.Ioctl(VIDIOC_QUERYCTRL, &q) == 0) {
        const bool shown = q.type == V4L2_CTRL_TYPE_INTEGER || q.type == V4L2_CTRL_TYPE_BOOLEAN ||
                           q.type == V4L2_CTRL_TYPE_MENU || q.type == V4L2_CTRL_TYPE_BUTTON;
        if (shown && !(q.flags & V4L2_CTRL_FLAG_DISABLED)) {
            TV4l2Control c{q.id,      Text(q.name),        q.type,          q.minimum,
                           q.maximum, std::max(q.step, 1), q.default_value, {}};
            for (std::int32_t i = q.minimum; q.type == V4L2_CTRL_TYPE_MENU && i <= q.maximum; ++i) {
                v4l2_querymenu m{};
                m.id = q.id;
                m.index = static_cast<std::uint32_t>(i);
                if (handle.Ioctl(VIDIOC_QUERYMENU, &m) == 0) c.menu.emplace_back(i, Text(m.name));
            }
            out.push_back(std::move(c));
        }
        q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return out;
}

CMediaType V4l2ModeType(const TV4l2Mode& mode) {
    const Layout* l = LayoutOf(mode.pixelFormat);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = mode.FrameTime();
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = static_cast<LONG>(mode.width);
    const bool rgb = l && l->compression == BI_RGB;
    bmi.biHeight = rgb ? -static_cast<LONG>(mode.height) : static_cast<LONG>(mode.height);
    bmi.biPlanes = 1;
    bmi.biBitCount = l ? l->bits : 16;
    bmi.biCompression = l ? l->compression : 0;
    const bool compressed = l && l->subtype == &MEDIASUBTYPE_MJPG;
    bmi.biSizeImage =
        static_cast<DWORD>(compressed ? mode.BufferBytes()
                                      : std::size_t(mode.width) * mode.height * bmi.biBitCount / 8);
    vih.rcSource = {0, 0, bmi.biWidth, static_cast<LONG>(mode.height)};
    vih.rcTarget = vih.rcSource;
    const bool stream = IsV4l2StreamFormat(mode.pixelFormat);
    if (stream) bmi.biSizeImage = static_cast<DWORD>(mode.BufferBytes());
    // The picture's size and rate travel with the stream type too, for the source's own use.
    CMediaType mt(stream ? MEDIATYPE_Stream : MEDIATYPE_Video, l ? *l->subtype : GUID_NULL);
    mt.SetFormatType(FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    if (compressed || stream)
        mt.SetVariableSize();
    else
        mt.SetSampleSize(bmi.biSizeImage);
    return mt;
}

const GUID* V4l2Subtype(std::uint32_t pixelFormat) {
    const Layout* l = LayoutOf(pixelFormat);
    return l ? l->subtype : nullptr;
}

std::optional<TV4l2Mode> V4l2ModeOf(const AM_MEDIA_TYPE& mt) {
    if (!(mt.majortype == MEDIATYPE_Video) &&
        !(mt.majortype == MEDIATYPE_Stream && mt.subtype == MEDIASUBTYPE_MPEG2_PROGRAM))
        return std::nullopt;
    BITMAPINFOHEADER bmi;
    if (!VideoBitmapHeader(mt, bmi) || bmi.biWidth <= 0 || bmi.biHeight == 0) return std::nullopt;
    for (const Layout& l : kLayouts) {
        if (!(mt.subtype == *l.subtype)) continue;
        TV4l2Mode m;
        m.pixelFormat = l.pixelFormat;
        m.width = static_cast<std::uint32_t>(bmi.biWidth);
        m.height = static_cast<std::uint32_t>(bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight);
        m.intervalNum = 0;
        m.intervalDen = 0;
        if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
            if (vih->AvgTimePerFrame > 0) {
                m.intervalNum = static_cast<std::uint32_t>(vih->AvgTimePerFrame);
                m.intervalDen = 10'000'000;
            }
        }
        return m;
    }
    return std::nullopt;
}

} // namespace talvence
