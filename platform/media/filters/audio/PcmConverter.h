#pragma once

// PCM to PCM conversion on libswresample: rate, channel count (mono is copied to both channels,
// stereo is averaged to mono) and sample size. The resampler keeps a short history between
// calls, so a stream is converted piecewise without seams; Flush hands out what it still holds.
//
// Threads: one at a time (the ACM wrapper calls it under its receive lock).

#include "platform/media/filters/audio/PcmFormat.h"

struct SwrContext;

namespace talvence {

class TPcmConverter {
public:
    TPcmConverter() = default;
    TPcmConverter(const TPcmConverter&) = delete;
    TPcmConverter& operator=(const TPcmConverter&) = delete;
    ~TPcmConverter();

    // False when libswresample refuses the pair; the converter is then closed.
    bool Open(const TPcmFormat& in, const TPcmFormat& out);
    void Close();
    bool IsOpen() const { return swr_ != nullptr; }
    // Forgets the history and anything held (a new stream starts, e.g. after a flush).
    bool Reset();

    // Converts inFrames frames (may be 0) into at most outCapacity frames at out; what does not
    // fit stays inside and comes out of the next call. Answers the frames written, or -1.
    int Convert(const BYTE* in, int inFrames, BYTE* out, int outCapacity);
    // End of stream: at most outCapacity of the frames still held; 0 once all are out.
    int Flush(BYTE* out, int outCapacity);
    // Upper bound of the frames the next Convert of inFrames could produce.
    int MaxOutput(int inFrames) const;

    const TPcmFormat& InFormat() const { return in_; }
    const TPcmFormat& OutFormat() const { return out_; }

private:
    SwrContext* swr_ = nullptr;
    TPcmFormat in_;
    TPcmFormat out_;
};

} // namespace talvence
