#pragma once
// Writes one AVI file: the streams are fixed when the file is opened, the
// samples are appended in the order they arrive, and closing the file fills
// in the header (frame counts, stream lengths, super-indexes) and the
// indexes. Files larger than the segment limit continue in further RIFF
// 'AVIX' segments, each with its own standard indexes, so any size can be
// read; the legacy 'idx1' index, when asked for, covers the first segment.
//
// Checkpoints (AviWriterOptions::checkpointSeconds > 0) keep the file
// readable by a reader that trusts its header while it grows, so that a
// crash, kill -9 or power cut loses at most the last interval: every
// interval of the main stream's time (of another stream's, four times as
// long, if the main one stalls), and at every segment end, the chunks written
// since the last checkpoint get one ix## per stream appended inside 'movi',
// and the header is brought up to it. The in-place part runs on a
// checkpoint thread, never on the caller's, in this order:
//   1. fdatasync: the data and the new ix## chunks are on the storage;
//   2. the new super-index entries (beyond nEntriesInUse, so unseen), the
//      'movi' LIST and RIFF sizes (a larger size over the same index is
//      consistent: the frames past the index are only reachable by a scan);
//   3. fdatasync, then the counts readers act on: nEntriesInUse, strh
//      dwLength, avih dwTotalFrames and dmlh.
// Each field is one aligned 4-byte write, so a crash between any two writes
// (or a power cut between the syncs) leaves the previous checkpoint's file
// or the next one, never an index pointing at what is not there. The legacy
// 'idx1' sits after 'movi' and can only be written when the first segment
// ends; until then readers find the frames through the OpenDML indexes.
//
// The super-index room is fixed in the header: a checkpoint takes one entry
// per stream, so the room is sized for hours (the File Writer reserves
// 8192 entries, 2 h 16 min at one a second). As it fills, the interval
// doubles each time the free room halves, so a file never runs out of room
// before the segments do; the last free entry is always kept for the end of
// the open segment.
//
// Memory stays small whatever the length of the capture: large samples go
// to the file straight from the caller's buffer, small ones (audio) are
// gathered in one buffer of a fixed size, and the index entries since the
// last checkpoint (8 bytes a chunk, plus 16 for the legacy index of the
// first segment) are the only thing that grows.
//
// A write that fails (full disk, I/O error) ends the writing: the sample and
// those after it are refused, and close() then cuts the file back to the last
// complete chunk and finalises the header and as many indexes as still fit,
// so every frame written before the failure stays readable.
//
// Thread: one thread at a time calls the writer (the caller serialises
// writeSample/close); the checkpoint thread touches only the file's bytes
// below its end (AviOutputFile::writeAt/syncData) and its own queue, under
// its own mutex. close() waits for it before finishing the file.

#include "platform/media/filters/avi/AviLayout.h"
#include "platform/media/filters/avi/AviOutputFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace talvence {

// Segments stay below 2 GiB so that 32-bit signed readers can walk them.
inline constexpr std::uint64_t kAviDefaultSegmentLimit = 1ull << 30;
inline constexpr std::uint64_t kAviMinSegmentLimit = 64 * 1024;
inline constexpr std::uint64_t kAviMaxSegmentLimit = 0x7FFFFFFFull - 0x100000;

struct AviWriterOptions {
    // Write the legacy 'idx1' index after the first segment's data.
    bool oldIndex = false;
    // A RIFF segment ends before it would grow past this many bytes
    // (indexes included); the next chunk starts a RIFF 'AVIX' segment.
    std::uint64_t segmentLimit = kAviDefaultSegmentLimit;
    // Super-index entries reserved per stream in the header: the most
    // segments a file can have.
    std::uint32_t superIndexEntries = 256;
    // Keep a marker file (AviUnfinishedMarker) beside the file while it is
    // open, locked, removed once close() has finished the file: a marker
    // left without its lock names a file a crash left unfinished.
    bool unfinishedMarker = false;
    // Seconds of stream time between checkpoints; 0: the header is written
    // at segment ends and at close() only.
    double checkpointSeconds = 0;
};

// Super-index room the capture reserves: one checkpoint a second for 2 h 16 min.
inline constexpr std::uint32_t kAviCaptureSuperIndexEntries = 8192;

enum class AviWriterError {
    None,
    InvalidArgument, // bad stream description, option or sample; nothing was written
    WrongState,      // not open, or already open
    CannotCreate,    // the file could not be created; no file is left behind
    DiskFull,        // the disk (or quota, or file size limit) is full
    WriteFailed,     // another I/O error
    FileFull,        // the file has used all its segments
};

struct AviWriterStatus {
    AviWriterError error = AviWriterError::None;
    int systemError = 0; // errno of the failed operation, when there was one
    std::string message; // English, for the user and the log
    bool ok() const { return error == AviWriterError::None; }
};

class AviFileWriter {
public:
    explicit AviFileWriter(AviOutputFiles& files = LocalAviOutputFiles());
    // Closes an open file (as close()).
    ~AviFileWriter();
    AviFileWriter(const AviFileWriter&) = delete;
    AviFileWriter& operator=(const AviFileWriter&) = delete;

    // Creates the file (an existing one is replaced) and writes its header.
    // Stream i (two digits, "00".."99") is stored as 'iidc' chunks, 'iidb'
    // for uncompressed pictures and 'iiwb' for sound.
    AviWriterStatus open(const std::filesystem::path& path, std::vector<AviStreamFormat> streams,
                         const AviWriterOptions& options = {});

    // Appends one sample of `stream` as one chunk. After a write failure
    // every call returns that failure and writes nothing.
    AviWriterStatus writeSample(std::size_t stream, AviBytes data, bool keyframe = true);

    // Finishes the file and releases it. Returns the first failure since
    // open() (the file is then finalised as far as it could be), else ok.
    // Does nothing when no file is open.
    AviWriterStatus close();

    // Waits until the last checkpoint's header fields are in the file.
    void waitForCheckpoints();

    bool isOpen() const { return file_ != nullptr; }
    // True once a write has failed; the file stays open until close().
    bool hasFailed() const { return !failure_.ok(); }
    // Chunks (sampleSize 0) or samples of `stream` kept in the file so far.
    std::uint64_t streamLength(std::size_t stream) const;
    // RIFF segments begun so far.
    std::size_t segmentCount() const { return segmentCount_; }
    // Bytes the file holds once the buffer is written.
    std::uint64_t fileSize() const { return end_; }

private:
    class CheckpointThread;
    struct Patch {
        std::uint64_t offset = 0;
        std::uint32_t value = 0;
    };
    using Patches = std::vector<Patch>;

    struct StreamState {
        AviStreamFormat format;
        FourCc chunkId = 0;
        std::vector<AviIndexEntry> pending; // chunks since the last checkpoint
        std::uint64_t pendingBytes = 0;     // their data bytes
        std::uint64_t indexedTicks = 0;     // length covered by the super-index
        std::uint64_t indexedChunks = 0;
        std::uint32_t largestChunk = 0;
        std::vector<AviSuperIndexEntry> superIndex;
    };

    std::uint64_t pendingTicks(const StreamState& s) const;
    std::uint64_t pendingIndexBytes(std::size_t stream) const;
    bool checkpointDue(std::size_t stream) const;
    std::size_t freeSuperIndexEntries() const;
    void checkpoint();
    bool indexPending();
    void commitCheckpoint(const std::vector<std::size_t>& entriesBefore, std::uint64_t moviEnd);
    void commit(Patches first, Patches second);
    AviWriterStatus rollSegment();
    void startSegment();
    void closeSegment();
    bool flush();
    bool appendWhole(AviBytes bytes);
    bool writeHeader();
    void fail(AviWriterError error, int systemError, const std::string& what,
              std::uint64_t durableEnd);
    void pruneTo(std::uint64_t durableEnd);
    void takeCheckpointFailure();
    AviWriterStatus refuse(AviWriterError error, const std::string& message) const;

    AviOutputFiles& files_;
    std::unique_ptr<AviOutputFile> file_;
    std::unique_ptr<CheckpointThread> checkpoints_; // while a checkpointed file is open
    int markerFd_ = -1;                             // holds the marker's lock while open
    std::filesystem::path path_;
    AviWriterOptions options_;
    std::vector<StreamState> streams_;
    std::size_t mainStream_ = 0;
    std::size_t headerSize_ = 0;
    AviHeaderOffsets headerOffsets_;
    double checkpointInterval_ = 0; // seconds; grows as the super-index room fills

    // The open segment.
    bool segmentOpen_ = false;
    std::uint64_t riffStart_ = 0;
    std::uint64_t moviList_ = 0; // offset of its LIST 'movi' chunk header
    std::size_t segmentCount_ = 0;
    std::uint64_t segmentIndexBytes_ = 0; // ix## chunks (and idx1) still to write
    std::size_t segmentChunks_ = 0;
    std::uint64_t indexedEnd_ = 0; // end of the last ix## written: a complete file ends here

    // The first segment, for the main header and the legacy index.
    std::vector<AviOldIndexEntry> oldIndex_;
    std::uint32_t firstSegmentFrames_ = 0;
    std::uint32_t firstRiffSize_ = 0;
    bool oldIndexWritten_ = false;

    // Bytes not yet handed to the file start at bufferStart_ (everything
    // before is in the file); end_ is where the next chunk goes.
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;
    std::uint64_t end_ = 0;

    AviWriterStatus failure_;
};

// ".NAME.capturing" beside the file NAME.
std::filesystem::path AviUnfinishedMarker(const std::filesystem::path& file);

// One line for an error code, for logs.
std::string AviWriterErrorText(AviWriterError error);
// The message of a file that a failure ended: what was being done, the file, the system's reason
// (or the error's text) and that the frames written before are kept.
std::string AviWriteStoppedText(const std::string& what, const std::filesystem::path& path,
                                AviWriterError error, int systemError);

} // namespace talvence
