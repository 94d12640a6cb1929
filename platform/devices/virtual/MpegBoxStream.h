#pragma once
// The program stream of the virtual MPEG-2 encoder box: MPEG-2 video 720 x 576 at 25 frames a
// second and MPEG-1 layer 2 stereo audio at 48000 Hz, muxed as an MPEG-2 program stream by
// libavformat, as a hardware encoder hands it over: a chunk of the stream per picture. The
// picture is a grey field with a bright bar sweeping across it and the recording clock (hours,
// minutes, seconds and frames since the start) in large digits; the sound is a tone.
//
// Stream ids: the common 0xE0 / 0xC0, or 0xE1 / 0xC1 (rewritten in every PES header), as the
// device's option says.
//
// Threads: one object per stream, used by one thread at a time.

#include <cstdint>
#include <memory>
#include <vector>

namespace talvence {

class TMpegBoxStream {
public:
    // alternateIds: video 0xE1 and audio 0xC1 instead of 0xE0 and 0xC0.
    explicit TMpegBoxStream(bool alternateIds = false);
    ~TMpegBoxStream();
    TMpegBoxStream(const TMpegBoxStream&) = delete;
    TMpegBoxStream& operator=(const TMpegBoxStream&) = delete;

    // Encodes the next picture (and its share of sound) and answers the stream bytes the muxer
    // wrote for it (none for the first pictures, while the muxer fills its interleaving window).
    // Empty, also later, when the codecs could not be opened.
    std::vector<std::uint8_t> NextChunk();
    // Ends the stream: what the encoders and the muxer still hold, with the end code.
    std::vector<std::uint8_t> Finish();
    // Pictures encoded so far.
    std::uint64_t Pictures() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// A whole program stream of `pictures` pictures (for tests and the benchmark).
std::vector<std::uint8_t> MakeMpegBoxProgram(int pictures, bool alternateIds = false);

} // namespace talvence
