#pragma once
// The on-disk pieces of an AVI file, built as bytes from plain values: the
// header list (main header, one stream list per stream with its super-index,
// the extended header), the standard index of one stream in one RIFF segment,
// the legacy index, and the stream descriptions made from media-type format
// blocks. No file access here; AviFileWriter decides what goes where.
//
// Layout written (little-endian; sizes exclude the 8-byte chunk header):
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, per stream LIST 'strl' {strh, strf, indx}, LIST 'odml' {dmlh}
//     LIST 'movi'  ##dc/##db/##wb chunks in arrival order, then one ix## per stream
//     idx1         (when the legacy index is asked for)
//   RIFF 'AVIX'    (each further segment)
//     LIST 'movi'  chunks, then one ix## per stream

#include "platform/media/FormatBlocks.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace talvence {

using FourCc = std::uint32_t;

// 'abcd' as stored in a file: the first character is the lowest byte.
constexpr FourCc MakeFourCc(const char (&text)[5]) {
    return FourCc(std::uint8_t(text[0])) | FourCc(std::uint8_t(text[1])) << 8 |
           FourCc(std::uint8_t(text[2])) << 16 | FourCc(std::uint8_t(text[3])) << 24;
}

inline constexpr FourCc kFccVids = MakeFourCc("vids");
inline constexpr FourCc kFccAuds = MakeFourCc("auds");
inline constexpr FourCc kFccIavs = MakeFourCc("iavs");
inline constexpr FourCc kFccDvsd = MakeFourCc("dvsd");

// avih flags.
inline constexpr std::uint32_t kAvifHasIndex = 0x10;
inline constexpr std::uint32_t kAvifIsInterleaved = 0x100;
inline constexpr std::uint32_t kAvifTrustCkType = 0x800;
// idx1 entry flag.
inline constexpr std::uint32_t kAviIfKeyframe = 0x10;
// ix## entry size bit for a frame that is not a key frame.
inline constexpr std::uint32_t kAviStdIndexDeltaFrame = 0x80000000u;

// Bytes of the fixed parts.
inline constexpr std::uint32_t kAviMainHeaderBytes = 56;
inline constexpr std::uint32_t kAviStreamHeaderBytes = 56;
inline constexpr std::uint32_t kAviExtendedHeaderBytes = 248;
inline constexpr std::uint32_t kAviSuperIndexHeaderBytes = 24;
inline constexpr std::uint32_t kAviSuperIndexEntryBytes = 16;
inline constexpr std::uint32_t kAviStdIndexHeaderBytes = 24;
inline constexpr std::uint32_t kAviStdIndexEntryBytes = 8;
inline constexpr std::uint32_t kAviOldIndexEntryBytes = 16;

enum class AviStreamRole {
    Video,       // 'vids': one frame per chunk
    Audio,       // 'auds'
    Interleaved, // 'iavs': DV type 1, video and audio in each frame
};

// One stream as the file describes it.
struct AviStreamFormat {
    AviStreamRole role = AviStreamRole::Video;
    FourCc fccHandler = 0;
    std::vector<std::uint8_t> format; // 'strf' contents, stored as given
    // Time base: one chunk (sampleSize 0) or one sample of sampleSize bytes
    // lasts scale / rate seconds.
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t sampleSize = 0;
    // 0: the largest chunk written.
    std::uint32_t suggestedBufferSize = 0;
    // Frame size in pixels (video), also given to the main header.
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    // Uncompressed pictures are stored as '##db' chunks, others as '##dc'.
    bool uncompressed = false;
};

// fccType stored for a role.
FourCc AviStreamType(AviStreamRole role);

// Chunk identifier of stream `stream`'s data: '00dc', '01wb', ...
FourCc AviDataChunkId(std::size_t stream, const AviStreamFormat& format);
// 'ix00', 'ix01', ...
FourCc AviStdIndexChunkId(std::size_t stream);

// Text for a fourcc, with unprintable bytes as '?'.
std::string FourCcText(FourCc fcc);

// Why a stream cannot be written; empty when it can.
std::string AviStreamProblem(const AviStreamFormat& format);

struct AviRate {
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    bool operator==(const AviRate&) const = default;
};

// Frame rate of a stream whose frames last avgTimePerFrame (100 ns units):
// 10^7 / avgTimePerFrame as a reduced fraction, except that the rounded
// times of the 1000/1001 rates (333667 for 29.97, 417083 for 23.976, ...)
// give the exact n*1000/1001 rates that players expect. Empty when the time
// is not positive.
std::optional<AviRate> AviRateFromAvgTimePerFrame(REFERENCE_TIME avgTimePerFrame);

// DV type 2 video ('vids' 'dvsd'): a bitmap header followed by the DV
// information block. The frame size follows from the line count (480: 525/60
// system, 120000 bytes; other: 625/50, 144000 bytes).
AviStreamFormat AviDvVideoStream(const DVINFO& dvInfo, REFERENCE_TIME avgTimePerFrame, LONG width,
                                 LONG height);
// DV type 1 ('iavs' 'dvsd'): the DV information block alone.
AviStreamFormat AviDvInterleavedStream(const DVINFO& dvInfo, REFERENCE_TIME avgTimePerFrame,
                                       LONG width, LONG height);
// Any other video: the bitmap header of the video info followed by `extra`
// (palette or codec data); the rate from its average time per frame.
AviStreamFormat AviVideoStream(const VIDEOINFOHEADER& videoInfo,
                               std::span<const std::uint8_t> extra = {});
// Audio from its wave format (and cbSize bytes of `extra`): scale = block
// align, rate = average bytes per second, so rate / scale is samples per
// second for PCM and the stream length counts blocks.
AviStreamFormat AviAudioStream(const WAVEFORMATEX& wave, std::span<const std::uint8_t> extra = {});

// Where the header bytes say what is written so far.
struct AviSuperIndexEntry {
    std::uint64_t offset = 0;   // of the ix## chunk
    std::uint32_t size = 0;     // of the ix## chunk with its chunk header
    std::uint32_t duration = 0; // stream ticks it covers
};

struct AviStreamTotals {
    std::uint32_t length = 0;       // strh dwLength: chunks, or samples for sampleSize > 0
    std::uint32_t largestChunk = 0; // bytes of the largest chunk data
    std::vector<AviSuperIndexEntry> superIndex;
};

struct AviHeaderValues {
    std::uint32_t riffSize = 0;           // size field of the first RIFF chunk
    std::uint32_t firstSegmentFrames = 0; // avih: frames of the main video stream in RIFF 'AVI '
    std::uint32_t totalFrames = 0;        // dmlh: frames of the main video stream in the file
    bool hasOldIndex = false;
    std::vector<AviStreamTotals> streams; // one per stream
};

// Index of the stream that the main header describes: the first video or
// interleaved stream; the first stream when there is none.
std::size_t AviMainStream(std::span<const AviStreamFormat> streams);

// Bytes of the header (RIFF 'AVI ' chunk header and LIST 'hdrl'); depends on
// the formats and the super-index room only, never on the values.
std::size_t AviHeaderSize(std::span<const AviStreamFormat> streams,
                          std::uint32_t superIndexEntries);

// The header with `superIndexEntries` entries reserved per stream.
std::vector<std::uint8_t> BuildAviHeader(std::span<const AviStreamFormat> streams,
                                         const AviHeaderValues& values,
                                         std::uint32_t superIndexEntries);

// Where the fields that change while a file grows lie in the header that
// BuildAviHeader makes for the same streams and room: a checkpoint writes
// these few bytes instead of the whole header.
struct AviHeaderOffsets {
    struct Stream {
        std::uint64_t length = 0;              // strh dwLength
        std::uint64_t suggestedBufferSize = 0; // strh dwSuggestedBufferSize
        std::uint64_t indexInUse = 0;          // indx nEntriesInUse
        std::uint64_t indexEntries = 0;        // indx first entry
    };
    std::uint64_t riffSize = 4;
    std::uint64_t mainFlags = 0;       // avih dwFlags
    std::uint64_t mainTotalFrames = 0; // avih dwTotalFrames
    std::vector<Stream> streams;
    std::uint64_t extendedTotalFrames = 0; // dmlh dwTotalFrames
};
AviHeaderOffsets AviHeaderFieldOffsets(std::span<const AviStreamFormat> streams,
                                       std::uint32_t superIndexEntries);

struct AviIndexEntry {
    std::uint64_t offset = 0; // file offset of the chunk header
    std::uint32_t size = 0;   // chunk data bytes
    bool keyframe = true;
};

// An ix## chunk for the chunks of one stream in one segment; data offsets
// are stored relative to baseOffset, which must lie below every entry by
// less than 4 GiB.
std::vector<std::uint8_t> BuildAviStdIndex(FourCc indexChunkId, FourCc dataChunkId,
                                           std::uint64_t baseOffset,
                                           std::span<const AviIndexEntry> entries);

struct AviOldIndexEntry {
    FourCc chunkId = 0;
    std::uint32_t flags = 0;
    std::uint32_t offset = 0; // of the chunk header, from the 'movi' fourcc
    std::uint32_t size = 0;
};

// The idx1 chunk.
std::vector<std::uint8_t> BuildAviOldIndex(std::span<const AviOldIndexEntry> entries);

// Little-endian writing into a byte vector.
void AviPutLe16(std::vector<std::uint8_t>& out, std::uint16_t v);
void AviPutLe32(std::vector<std::uint8_t>& out, std::uint32_t v);
void AviPutLe64(std::vector<std::uint8_t>& out, std::uint64_t v);
void AviSetLe32(std::uint8_t* at, std::uint32_t v);

} // namespace talvence
