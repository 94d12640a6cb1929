#pragma once
// The DV Video Encoder's work apart from the graph: one picture in, one SD DV frame out
// ('dvsd', full size: 144000 bytes of 625-line DV or 120000 bytes of 525-line DV), on
// libavcodec's DV encoder. Pictures of any size are scaled to the full DV size: DV-shaped
// pictures (720 or 704 by 576 or 480) and those of the frame's aspect (4:3, or 16:9 when
// wide) fill it, others keep their aspect (square pixels) centred on black. The codec
// context, the picture handed to it and the packet buffers are made once and reused until the
// format changes.
//
// A picture that comes with its origin (the frame of this system it was decoded from, at full
// size, and the areas changed since) is not coded whole: the frame keeps the origin's video DIF
// blocks and only the video segments the changes touch are coded again, by our segment codec.
// The other DIF blocks (header, subcode, VAUX, audio) are those libavcodec's encoder writes, so
// the stream reads the same either way.
//
// A picture decoded only in part (its origin says so) is coded only from its origin, and only
// in the segments that were decoded; one that cannot be coded from its origin is refused.
//
// Threads: one object per streaming thread; nothing in it is guarded.

#include "platform/media/HResult.h"
#include "platform/media/SampleSideData.h"
#include "platform/media/filters/dv/DvFormat.h"
#include "platform/media/filters/dv/PictureConverter.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct AVBufferPool;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace talvence::dvcodec {

// The values of the encoder's format interface (IDVEnc).
inline constexpr int DVENCODERVIDEOFORMAT_NTSC = 2000;
inline constexpr int DVENCODERVIDEOFORMAT_PAL = 2001;
inline constexpr int DVENCODERFORMAT_DVSD = 2007;
inline constexpr int DVENCODERFORMAT_DVHD = 2008;
inline constexpr int DVENCODERFORMAT_DVSL = 2009;
inline constexpr int DVENCODERRESOLUTION_720x480 = 2012; // full size, whatever the system
inline constexpr int DVENCODERRESOLUTION_360x240 = 2013;
inline constexpr int DVENCODERRESOLUTION_180x120 = 2014;
inline constexpr int DVENCODERRESOLUTION_88x60 = 2015;

struct DvEncoderOptions {
    DvSystem system = DvSystem::Ntsc525; // the encoder's format until told otherwise
    bool wideScreen = false;             // mark frames 16:9 in their source control pack
    int threads = 1;                     // slice threads of libavcodec's encoder
};

enum class DvEncodeStatus {
    Ok,
    NotReady,         // the encoder could not be opened (error() says why)
    BadInput,         // the input picture or buffer is unusable
    BadOutput,        // the output buffer is smaller than one frame
    ConversionFailed, // the picture converter refused the input
    EncodeFailed,     // the codec failed
    WrongFrameSize,   // the codec made a frame of another size; nothing was written
};

struct DvEncodeResult {
    DvEncodeStatus status = DvEncodeStatus::NotReady;
    std::size_t bytes = 0; // written to the output on Ok: FrameBytes(system())
};

class DvVideoEncoderCore {
public:
    // Without a converter, libswscale's is used.
    explicit DvVideoEncoderCore(DvEncoderOptions options = {},
                                std::unique_ptr<PictureConverter> converter = nullptr);
    ~DvVideoEncoderCore();
    DvVideoEncoderCore(const DvVideoEncoderCore&) = delete;
    DvVideoEncoderCore& operator=(const DvVideoEncoderCore&) = delete;

    // IDVEnc::put_IFormatResolution. Only full-size DVSD of either system is made, and no DV
    // info block: anything else is E_INVALIDARG and changes nothing.
    HRESULT SetFormatResolution(int videoFormat, int dvFormat, int resolution, bool withDvInfo);
    // IDVEnc::get_IFormatResolution.
    void GetFormatResolution(int& videoFormat, int& dvFormat, int& resolution) const;

    DvSystem system() const { return options_.system; }
    const DvEncoderOptions& options() const { return options_; }
    std::size_t frameBytes() const { return FrameBytes(options_.system); }
    void SetWideScreen(bool wide);
    // Slice threads of the codec (at least 1); takes effect when the codec next opens.
    void SetThreads(int threads);

    // Encodes one picture of any size and layout into out, which must hold frameBytes(); with
    // an origin that fits (see above), segment by segment.
    DvEncodeResult Encode(const ConstPicture& in, std::span<std::uint8_t> out,
                          const PictureOrigin* origin = nullptr);
    // The same for a buffer in the platform convention (RGB bottom-up, YUV top-down).
    DvEncodeResult Encode(std::span<const std::uint8_t> in, PixelLayout layout, int width,
                          int height, std::span<std::uint8_t> out,
                          const PictureOrigin* origin = nullptr);

    // Video segments coded by the last Encode: all of them for a whole frame, those the
    // changes touched for one coded from its origin.
    int lastSegmentsCoded() const { return lastSegmentsCoded_; }

    // False when the codec could not be opened for the current format; error() says why. The
    // next Encode tries again.
    bool Open();
    const std::string& error() const { return error_; }

private:
    void Close();
    bool Fits(const ConstPicture& in, const PictureOrigin* origin) const;
    // libavcodec's whole-frame path from the picture to the frame.
    DvEncodeResult EncodeWhole(const ConstPicture& in, std::span<std::uint8_t> out);
    DvEncodeResult EncodeFromOrigin(const ConstPicture& in, std::span<std::uint8_t> out,
                                    const PictureOrigin& origin);
    // The picture in the native layout: `in` itself when it is already, else converted into
    // picture_ (only the macroblocks of `segments` when the converter can do areas).
    std::optional<ConstPicture> NativePicture(const ConstPicture& in,
                                              const std::vector<int>& segments);

    DvEncoderOptions options_;
    std::unique_ptr<PictureConverter> converter_;
    AVCodecContext* context_ = nullptr; // open for options_ when set
    AVFrame* picture_ = nullptr;        // the codec's input, in the native layout at full size
    AVPacket* packet_ = nullptr;
    AVBufferPool* packetPool_ = nullptr;
    std::int64_t nextPts_ = 0;
    std::string error_;
    // A frame libavcodec made for the current format: its non-video DIF blocks go into frames
    // coded from their origin. Empty until needed and after the format changes.
    std::vector<std::uint8_t> blocksTemplate_;
    int lastSegmentsCoded_ = 0;
};

} // namespace talvence::dvcodec
