#pragma once
// The virtual DV camcorder's tape: a scripted list of recordings turned into
// real DV frames. The picture is encoded once per recording format with
// libavcodec's DV encoder and cached; each frame then gets its own packs
// (timecode, recording date and time, source control, audio source) and its
// share of a test tone in the DIF audio blocks, shuffled as DV stores it.
// The same script and tape position always give the same bytes.
//
// One thread per synthesiser: the cache is not guarded.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "filters/dvcodes/DvFrameInfo.h"
#include "filters/dvcodes/dvcodes.h"
#include "platform/shell/DateTime.h"

namespace talvence {

enum class DvTapeSystem { Pal625, Ntsc525 };

enum class DvTapeAudio {
    Pcm48k16, // 48 kHz, 16-bit linear, one stereo pair
    Pcm32k12, // 32 kHz, 12-bit nonlinear; the second stereo pair is silent
    None,     // audio blocks without an audio source pack
};

struct DvRecording {
    TDateTime start = 0;      // recording date and time of the first frame
    std::uint32_t frames = 0; // length
    DvTapeSystem system = DvTapeSystem::Pal625;
    bool wideScreen = false;
    DvTapeAudio audio = DvTapeAudio::Pcm48k16;
    bool recDate = true;  // write the recording date and time packs
    bool timecode = true; // write the timecode pack
};

// Recordings follow one another on the tape without blank stretches.
struct DvTapeScript {
    std::vector<DvRecording> recordings;
};

struct DvTapePosition {
    std::size_t recording = 0;
    std::uint32_t frameInRecording = 0;
};

class DvTapeSynthesiser {
public:
    explicit DvTapeSynthesiser(DvTapeScript script);

    const DvTapeScript& script() const { return script_; }
    std::uint64_t frameCount() const { return firstFrames_.empty() ? 0 : totalFrames_; }
    std::optional<DvTapePosition> locate(std::uint64_t tapeFrame) const;

    // The DV frame at tape position tapeFrame (counted from 0) into out:
    // 144000 bytes for 625/50, 120000 for 525/60. False past the end of the
    // tape or when the picture cannot be encoded (error() says why).
    bool frame(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out);
    // The same frame with the given timecode and recording date and time in place of the tape's
    // (a camcorder in camera mode stamps the clock). The recording's own flags still decide
    // whether the packs are written.
    bool frame(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out, const DvTimecode& tc,
               const DvRecDateTime& rec);
    const std::string& error() const { return error_; }

    // Encodes every recording's picture now rather than at its first frame,
    // so that a real-time player does not stall at recording changes.
    bool prepare();

    // What frame() writes, for whoever checks the frames.
    // The tape timecode: the tape position counted in the recording's system
    // (drop-frame counting for 525/60).
    static DvTimecode TapeTimecode(std::uint64_t tapeFrame, DvTapeSystem system);
    // Recording date and time of a frame: the start advanced by whole seconds
    // of recording; year = -1 without a date or past the end of the tape.
    DvRecDateTime recDateTime(std::uint64_t tapeFrame) const;
    // The frame's stereo samples (first pair), interleaved, before packing.
    void audioSamples(std::uint64_t tapeFrame, std::vector<std::int16_t>& interleaved) const;

private:
    bool compose(std::uint64_t tapeFrame, std::vector<std::uint8_t>& out, const DvTimecode& tc,
                 const DvRecDateTime& rec);
    const std::vector<std::uint8_t>* picture(const DvRecording& recording, std::size_t index);

    DvTapeScript script_;
    std::vector<std::uint64_t> firstFrames_; // tape position of each recording's first frame
    std::uint64_t totalFrames_ = 0;
    std::map<std::uint32_t, std::vector<std::uint8_t>> pictures_; // by format and variant
    std::string error_;
};

} // namespace talvence
