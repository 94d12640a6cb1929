#pragma once
// The Color Space Converter filter: pictures between the YUV layouts of DV (planar 4:2:0 'I420',
// planar 4:1:1 'Y41B', packed YUY2) and 24-bit RGB, both ways, with the colorconv converters.
// Cameras' layouts UYVY and NV12 are read too (repacked into YUY2 and I420 first), never written.
// YUV in gives RGB24 out, bottom-up (what the inlay and the frame grabber take). RGB24 in
// (bottom-up or top-down) gives, in order of preference, RGB24 bottom-up (a copy, which turns a
// top-down picture the right way up, so that a tee or grabber downstream keeps RGB24), then
// YUY2, I420 and Y41B for a filter that wants YUV. YUV in also offers, after RGB24, its own
// layout unchanged (a copy), for a chain that draws into YUV (the inlay ahead of the DV
// encoder) and so skips two full-frame conversions. The size never changes.
//
// A sample shorter than its picture is dropped (EC_QUALITY_CHANGE once per run).
//
// Quality messages from downstream (a preview renderer that shows fewer frames than arrive) go
// upstream first, where a decoder saves more by not decoding; when nobody there honours them (a
// tee that also feeds a capture), they set the share of frames converted here, and the others
// are passed over before any work. Every run starts converting every frame.
//
// A picture decoded only in part (see PictureOrigin) is copied only where it was decoded, and
// never converted: should one arrive where a conversion is due, it is passed over.
//
// Threads: the application thread connects and drives states; Transform runs on the upstream's
// streaming thread under the receive lock.

#include "filters/BaseClass/FrameShare.h"
#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/TransformFilter.h"
#include "platform/media/filters/colorconv/ColorConvert.h"

#include <atomic>
#include <optional>
#include <vector>

namespace talvence {

inline constexpr CLSID CLSID_Colour = MakeGuid("1643E180-90F5-11CE-97D5-00AA0055595A");

class TColorSpaceConverter : public TBCTransformFilter {
public:
    TColorSpaceConverter();
    ~TColorSpaceConverter() override;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // IPictureDemand, through demand_ (upstream's thread): nothing of a frame that will be passed
    // over; what the filters after it read when the picture is only copied; else the whole picture.
    PictureNeed NextPictureNeed();

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    // Follows a type change announced by a sample (the framework has checked it).
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT StartStreaming() override;
    // Any thread: a Flood or Famine message nobody upstream honours sets the share converted.
    HRESULT AlterQuality(const Quality& q) override;

    // Any thread: samples dropped since the filter was made.
    long FramesDropped() const { return dropped_; }
    // Any thread: frames passed over at downstream's request since the filter was made.
    long FramesPassedOver() const { return passedOver_; }

    // How a YUV layout is stored: as the converters take it, or a camera's variant of it.
    enum class Packing { Native, Uyvy, Nv12 };

    // A picture type this filter reads or writes.
    struct Format {
        bool rgb = false;                                      // RGB24, else YUV
        colorconv::YuvLayout yuv = colorconv::YuvLayout::Yuy2; // when not RGB
        Packing packing = Packing::Native;                     // when not RGB
        int width = 0;
        int height = 0;        // rows, always positive
        bool bottomUp = false; // RGB only
        std::size_t bytes = 0; // of one picture
    };
    static std::optional<Format> FormatOf(const CMediaType& mt);
    // The media type of a format, with the input's frame time and rectangles.
    static CMediaType TypeOf(const Format& format, const CMediaType& like);

private:
    // Whether pictures of `from` go out as they are, copied into `to`.
    static bool IsCopy(const std::optional<Format>& from, const std::optional<Format>& to);

    colorconv::ColorConverter converter_; // receive lock
    std::atomic<long> dropped_{0};
    std::atomic<long> passedOver_{0};
    TFrameShare share_;                  // the frames to convert
    CMediaType inputType_;               // receive lock: the type of the samples now arriving
    std::vector<std::uint8_t> repacked_; // receive lock: a camera's picture in our layout
    TPictureDemand demand_{static_cast<IBaseFilter*>(this), [this] { return NextPictureNeed(); }};
};

// Registers the converter in the filter category with MERIT_UNLIKELY: intelligent connection
// inserts it between pictures of different layouts, after filters that suit better.
class FilterRegistry;
void RegisterColorSpaceConverter(FilterRegistry& registry);

} // namespace talvence
