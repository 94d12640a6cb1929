#pragma once
// One Windows Media file being written: FFmpeg's encoders of the profile's streams and its ASF
// muxer, writing through the AVI writer's file seam (AviOutputFiles), so that tests fill the disk
// at a chosen byte exactly as they do for AVI captures.
//
// Pictures come already converted to the stream's size in planar 4:2:0, stamped in frames of the
// stream's rate; sound comes as the input's PCM and is converted here. A failing write (full
// disk, I/O error) ends the file at once: it is cut back to its last whole data packet, which
// the ASF readers then read to its end, and every later call answers the same failure.
//
// Threads: one thread at a time (the ASF writer's encoding thread; open on the application
// thread before that thread starts).

#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/asf/WmProfile.h"
#include "platform/media/filters/avi/AviFileWriter.h"
#include "platform/media/filters/avi/AviOutputFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

struct AVFrame;
struct AVFormatContext;

namespace talvence {

// A stream of the file: the profile's stream and, for sound, the PCM format of its input.
struct AsfStreamSpec {
    TWmStreamConfig config;
    WAVEFORMATEX input{};
};

class AsfFile {
public:
    explicit AsfFile(AviOutputFiles& files);
    // Abandons an open file as a failure would (cut to whole packets, no trailer).
    ~AsfFile();
    AsfFile(const AsfFile&) = delete;
    AsfFile& operator=(const AsfFile&) = delete;

    // Creates the file with these streams (replacing an existing one) and writes its header. A
    // failure leaves no file behind.
    AviWriterStatus open(const std::filesystem::path& path, std::vector<AsfStreamSpec> streams);
    // A picture of stream `stream` (yuv420p at the stream's size), pts in frames of its rate.
    AviWriterStatus writePicture(std::size_t stream, AVFrame* picture);
    // PCM of stream `stream`. startTime (100 ns) places the first sound of the file; later
    // sound follows it without gaps.
    AviWriterStatus writeSound(std::size_t stream, const std::uint8_t* pcm, std::size_t bytes,
                               std::int64_t startTime);
    // Drains the encoders, writes the index and the final header, and closes the file.
    AviWriterStatus finish();

    bool isOpen() const { return open_; }
    const AviWriterStatus& failure() const { return failure_; }

private:
    struct Stream;
    struct Io;

    AviWriterStatus encode(Stream& s, AVFrame* frame);
    AviWriterStatus encodeSoundFrames(Stream& s, bool flush);
    // Records the first failure, cuts the file back to whole packets and closes it.
    AviWriterStatus fail(AviWriterError error, int systemError, const std::string& what);
    AviWriterStatus ioFailure(const std::string& what);
    void release();

    AviOutputFiles& files_;
    std::filesystem::path path_;
    std::unique_ptr<Io> io_;
    AVFormatContext* format_ = nullptr;
    std::vector<std::unique_ptr<Stream>> streams_;
    std::uint64_t dataStart_ = 0; // where the data packets begin
    std::uint32_t packetSize_ = 0;
    bool open_ = false;
    AviWriterStatus failure_;
};

} // namespace talvence
