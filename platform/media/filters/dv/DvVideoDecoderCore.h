#pragma once
// The DV Video Decoder's work apart from the graph: one DV frame in, one picture out, on
// libavcodec's DV decoder. The codec context, the decoded frame and the packet buffer are made
// once and reused, so decoding a stream allocates no picture-sized memory per frame.
//
// A frame may also be decoded in part: only the video segments that hold some areas of the
// picture. DV codes every segment on its own, so those areas come out exactly as a whole decode
// gives them, for a fraction of the work; the rest of the picture is left unspecified. The codec
// is still libavcodec's: its segment jobs go through our job runner, which leaves out the others.
//
// Threads: one object per streaming thread; nothing in it is guarded.

#include "platform/media/SampleSideData.h"
#include "platform/media/filters/dv/DvFormat.h"
#include "platform/media/filters/dv/PictureConverter.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct AVBufferRef;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace talvence::dvcodec {

// Slice threads worth giving a DV codec started from the calling thread: one per CPU that
// thread may run on, at most 4. A chain pinned to one CPU then pays for no thread it cannot use,
// and one with two CPUs splits each frame's decoding or encoding between them.
int CodecThreadsForCaller();

struct DvDecoderOptions {
    // Slice threads of libavcodec's decoder; 1 decodes on the caller's thread only.
    int threads = 1;
};

enum class DvDecodeStatus {
    Ok,
    NotReady,          // the decoder could not be opened (error() says why)
    WrongFrameSize,    // not 144000 or 120000 bytes
    Undecodable,       // the codec refused the frame
    UnexpectedPicture, // the frame decoded to a picture its size does not allow
    BadOutput,         // the output buffer or view is too small or unusable
    ConversionFailed,  // the picture converter refused the pair of layouts
};

struct DvPictureInfo {
    DvSystem system = DvSystem::Pal625;
    bool wideScreen = false;                   // 16:9 by the frame's source control pack
    PixelLayout native = PixelLayout::Yuv420p; // the layout the frame was coded in
    int width = 0;
    int height = 0;
};

class DvVideoDecoderCore {
public:
    // Without a converter, libswscale's is used.
    explicit DvVideoDecoderCore(DvDecoderOptions options = {},
                                std::unique_ptr<PictureConverter> converter = nullptr);
    ~DvVideoDecoderCore();
    DvVideoDecoderCore(const DvVideoDecoderCore&) = delete;
    DvVideoDecoderCore& operator=(const DvVideoDecoderCore&) = delete;

    bool ready() const { return context_ != nullptr; }
    const std::string& error() const { return error_; }

    // Decodes one frame into the decoder's own picture; on Ok, picture() and info() describe it
    // until the next call. A frame of any other size than 144000 or 120000 bytes is refused
    // before it reaches the codec.
    DvDecodeStatus Decode(std::span<const std::uint8_t> frame);
    // The same for only the segments touching `areas` (top-down picture coordinates): inside
    // them the picture is that of a whole decode, elsewhere unspecified. No areas decode no
    // segment at all (the frame's header is still read).
    DvDecodeStatus DecodePart(std::span<const std::uint8_t> frame,
                              std::span<const PixelRect> areas);
    // The last picture decoded, in its native planar layout (no conversion, no copy).
    ConstPicture picture() const;
    const DvPictureInfo& info() const { return info_; }

    // Decodes and writes the picture into a buffer in the platform convention for `layout` at
    // the frame's full size (720 x 576 or 720 x 480); the buffer must hold at least
    // PictureBytes of that.
    DvDecodeStatus DecodeTo(std::span<const std::uint8_t> frame, PixelLayout layout,
                            std::span<std::uint8_t> out);
    // Decodes and writes the picture into a view, scaling when the view's size differs.
    DvDecodeStatus DecodeTo(std::span<const std::uint8_t> frame, const Picture& out);
    // Video segments decoded by the last call: all of them for a whole decode.
    int lastSegmentsDecoded() const { return lastSegmentsDecoded_; }
    // The segments the last DecodePart decoded, in increasing order.
    const std::vector<int>& lastSegments() const { return segments_; }

    // The system a frame of this size belongs to, for media types made before decoding.
    static std::optional<DvSystem> SystemOf(std::span<const std::uint8_t> frame) {
        return SystemForFrameSize(frame.size());
    }

private:
    using JobFunction = int (*)(AVCodecContext*, void*);
    using JobRunner = int (*)(AVCodecContext*, JobFunction, void*, int*, int, int);
    // The codec's jobs of one frame are its video segments; runs those of `only_` (all when it
    // is null) through the codec's own runner.
    static int RunSegmentJobs(AVCodecContext* context, JobFunction job, void* jobs, int* results,
                              int count, int size);
    DvDecodeStatus DecodeSegments(std::span<const std::uint8_t> frame,
                                  const std::vector<int>* segments);
    DvDecodeStatus WritePicture(const Picture& out);

    DvDecoderOptions options_;
    std::unique_ptr<PictureConverter> converter_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVBufferRef* input_ = nullptr; // the frame's bytes with the codec's padding after them
    bool decoded_ = false;
    DvPictureInfo info_;
    std::string error_;
    JobRunner codecRunner_ = nullptr;        // the runner the codec came with
    const std::vector<int>* only_ = nullptr; // during a partial decode: the segments, sorted
    std::vector<int> segments_;              // the segments of the partial decode
    std::vector<std::uint8_t> chosenJobs_;   // their jobs, copied one after another
    std::vector<int> chosenResults_;
    int lastSegmentsDecoded_ = 0;
};

} // namespace talvence::dvcodec
