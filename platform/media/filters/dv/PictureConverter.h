#pragma once
// The seam through which the DV codec cores convert and scale pictures. The cores take any
// converter; the one on libswscale below is the default, and a faster one can be handed in
// without touching the cores.

#include "platform/media/filters/dv/DvFormat.h"

#include <cstdint>
#include <vector>

struct SwsContext;

namespace talvence::dvcodec {

class PictureConverter {
public:
    virtual ~PictureConverter() = default;
    // Converts src into dst, scaling when their sizes differ. Returns false when this converter
    // cannot do that pair of layouts or sizes; dst may then be partly written. Called from one
    // thread at a time (the codec core's caller's).
    virtual bool Convert(const ConstPicture& src, const Picture& dst) = 0;
    // Converts only one area (top-down picture coordinates, on whole chroma blocks of dst) of
    // two pictures of the same size, leaving the rest of dst as it was. False when this
    // converter cannot; the caller then converts the whole picture.
    virtual bool ConvertArea(const ConstPicture&, const Picture&, int /*x*/, int /*y*/,
                             int /*width*/, int /*height*/) {
        return false;
    }
};

// libswscale with its context cached for the last pair of formats and sizes. BT.601 limited
// range, as DV carries. Bicubic by default, the ffmpeg command line's choice, so that our
// pictures and the command line's agree.
class SwsPictureConverter final : public PictureConverter {
public:
    static constexpr int kDefaultFlags = 4; // SWS_BICUBIC

    explicit SwsPictureConverter(int swsFlags = kDefaultFlags);
    ~SwsPictureConverter() override;
    SwsPictureConverter(const SwsPictureConverter&) = delete;
    SwsPictureConverter& operator=(const SwsPictureConverter&) = delete;

    bool Convert(const ConstPicture& src, const Picture& dst) override;

private:
    SwsContext* context_ = nullptr;
    int flags_;
    // Packed pictures are staged here with padding past their last row: libswscale's vector
    // code reads and writes whole groups of pixels and would otherwise run past the ends of
    // buffers it does not own.
    std::vector<std::uint8_t> sourceStage_;
    std::vector<std::uint8_t> destinationStage_;
};

} // namespace talvence::dvcodec
