#pragma once
// Tvq_Superposer: the copying transform that draws two lines of text (normally the date and the
// time) into bottom-up 24-bit RGB frames (or, when asked, into the DV decoder's YUV frames). The
// text comes from the computer's clock, or from the recording date or timecode of the frame the
// scene detector recorded last; reading that record also publishes its ring index for the DV header
// filter. The drawing itself is SuperposerCore; this class wires it to the framework's hooks.
//
// Threads and locks: the framework's filter lock (state changes and connections, application
// thread), then its receive lock (Transform and StartStreaming, streaming thread). The setters
// run on the application thread without a lock: the core swaps whole settings snapshots, so a
// frame sees either the old or the new settings. Text drawing needs a QGuiApplication; without
// one the frames go out without text.

#include "filters/BaseClass/PictureDemand.h"
#include "filters/BaseClass/TransformFilter.h"
#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "filters/vq_superposer/SuperposerCore.h"
#include "platform/media/FormatBlocks.h"
#include "platform/shell/LocaleProvider.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace talvence {

inline constexpr CLSID CLSID_vq_Superposer = MakeGuid("E97F14A9-9EB5-486F-8235-B29F93983433");
inline constexpr char kSuperposerObjectName[] = "Brannock vq_Superposer";

// The logical resolution of the primary screen, 96 when there is no screen (application thread).
int DisplayDotsPerInch();

class Tvq_Superposer : public TBCTransformFilter {
public:
    // sceneDetect: where recording dates and timecodes come from (null: undated, empty records).
    // locale serves the date-time format language; dotsPerInch converts font points (0: the
    // display's). Application thread.
    explicit Tvq_Superposer(Tvq_SceneDetect* sceneDetect,
                            LocaleFormats locale = SystemLocaleFormats(), int dotsPerInch = 0);

    // Setters (application thread; each takes effect from the next frame).
    void SetInlayActive(bool active) { core_.SetInlayActive(active); }
    void SetInlayAutoMode(std::int32_t mode) { core_.SetInlayAutoMode(mode); }
    void SetInlaySource(std::uint8_t source) { core_.SetInlaySource(source); }
    void SetInlayWhen(std::uint8_t when) { core_.SetInlayWhen(when); }
    void SetInlayDuration(std::int32_t seconds) { core_.SetInlayDuration(seconds); }
    void SetInlayHourOffset(std::int32_t hours) { core_.SetInlayHourOffset(hours); }
    void SetInlayFormats(const std::string& date, const std::string& time) {
        core_.SetInlayFormats(date, time);
    }
    void SetInlayPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment) {
        core_.SetInlayPosition(x, y, alignment);
    }
    void SetInlayAlignment(std::uint8_t alignment) { core_.SetInlayAlignment(alignment); }
    void SetInlayFlip(bool flip) { core_.SetInlayFlip(flip); }
    void SetInlayAutoFontSize(bool on) { core_.SetInlayAutoFontSize(on); }
    void SetInlayFontSize(std::int32_t points) { core_.SetInlayFontSize(points); }
    void SetInlayFontName(const std::string& name) { core_.SetInlayFontName(name); }
    void SetInlayFontColor(std::uint32_t color) { core_.SetInlayFontColor(color); }
    void SetInlayBold(bool on) { core_.SetInlayBold(on); }
    void SetInlayItalic(bool on) { core_.SetInlayItalic(on); }
    void SetInlayUnderline(bool on) { core_.SetInlayUnderline(on); }
    void SetInlayStrikeOut(bool on) { core_.SetInlayStrikeOut(on); }
    // The video source's average time per frame (100-ns units, 0 unknown), recorded by the graph
    // code when it builds a preview; SetInlayDuration counts frames with it. Any thread.
    void SetSourceFrameDuration(std::int64_t duration) { sourceFrameDuration_.store(duration); }

    // Whether the input also takes YUV pictures (I420, Y41B, YUY2), drawn into without a
    // full-frame round trip through RGB. Off by default: graphs that connect by media type then
    // keep RGB24 behind the superposer, as previews and grabbers need. A chain whose next filter
    // encodes YUV and needs no RGB turns it on before connecting. Application thread.
    void SetYuvInput(bool on) { yuvInput_.store(on); }

    // The settings and the streaming-thread observers (counter, last lines), for the panels and
    // tests.
    const SuperposerCore& Core() const { return core_; }

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // IPictureDemand, through demand_ (the streaming thread, which also composes): in YUV without
    // flip, what the filters after it read plus the area the text is expected in; else the whole
    // picture.
    PictureNeed NextPictureNeed();

    // ---- Framework hooks ----
    // The connection hooks run on the application thread under the filter lock.
    // Video RGB24, whose format block must describe a bottom-up picture (positive height); with
    // SetYuvInput also I420, Y41B or YUY2, drawn into through the text's area only (the picture
    // goes out in the same layout).
    HRESULT CheckInputType(const CMediaType* mt) override;
    // Same major type and subtype; an output format must keep the input's picture size and row
    // order, since the frame is written in the input's layout.
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    // The input allocator's buffer count and size; E_FAIL when the output allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Position 0: the input type as video RGB24, image size of padded rows × height; a YUV
    // input type unchanged.
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    // Receive lock: takes the input's picture format and re-arms the automatic display.
    HRESULT StartStreaming() override;
    // Streaming thread, receive lock: S_OK delivers, S_FALSE drops (no format block), E_FAIL
    // when the picture does not fit the buffers.
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    // The input picture of the current run.
    struct Picture {
        bool hasFormat = false;
        int width = 0;
        int height = 0;
        std::ptrdiff_t stride = 0;               // RGB rows
        std::optional<colorconv::YuvLayout> yuv; // set for a YUV picture
        std::size_t bytes = 0;                   // of one picture
    };
    static Picture PictureOf(const CMediaType& input);
    // Adds the text's area to the output's picture origin, or marks it wholly changed when the
    // frame was flipped (receive lock).
    void AmendOrigin(IMediaSample* out) const;
    // The input type as video RGB24 with the image size of padded rows.
    static CMediaType OutputTypeFor(const CMediaType& input);

    const ComPtr<Tvq_SceneDetect> sceneDetect_; // set at creation, never changed
    std::atomic<std::int64_t> sourceFrameDuration_{0};
    std::atomic<bool> yuvInput_{false};
    SuperposerCore core_; // setters: any thread; StartStreaming/Compose: receive lock
    Picture picture_;     // receive lock
    TPictureDemand demand_{static_cast<IBaseFilter*>(this), [this] { return NextPictureNeed(); }};
};

} // namespace talvence
