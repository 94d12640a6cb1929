#include "platform/media/filters/avi/AviFileWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace talvence {
namespace {

// Small chunks (audio) are gathered up to this many bytes before a write;
// chunks of at least kDirectBytes go out from the caller's buffer.
constexpr std::size_t kBufferBytes = 512 * 1024;
constexpr std::size_t kDirectBytes = 64 * 1024;
// A chunk must leave room for the headers and indexes of its segment below
// the 2 GiB that 32-bit signed readers can walk.
constexpr std::size_t kMaxChunkData = 0x7F000000;
constexpr std::size_t kMaxStreams = 100; // two decimal digits in chunk ids
constexpr std::uint32_t kMaxSuperIndexEntries = 65536;
constexpr std::uint64_t kSegmentHeaderBytes = 24; // RIFF 'AVIX' + LIST 'movi'

std::uint64_t ChunkEnd(std::uint64_t offset, std::uint32_t size) {
    return offset + 8 + size + (size & 1);
}

std::uint32_t Clamp32(std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu));
}

bool IsFullDisk(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

} // namespace

std::string AviWriterErrorText(AviWriterError error) {
    switch (error) {
    case AviWriterError::None:
        return "no error";
    case AviWriterError::InvalidArgument:
        return "invalid argument";
    case AviWriterError::WrongState:
        return "wrong state";
    case AviWriterError::CannotCreate:
        return "the file cannot be created";
    case AviWriterError::DiskFull:
        return "the disk is full";
    case AviWriterError::WriteFailed:
        return "the file cannot be written";
    case AviWriterError::FileFull:
        return "the file has reached its largest size";
    }
    return "unknown error";
}

AviFileWriter::AviFileWriter(AviOutputFiles& files) : files_(files) {}

AviFileWriter::~AviFileWriter() {
    close();
}

AviWriterStatus AviFileWriter::refuse(AviWriterError error, const std::string& message) const {
    return AviWriterStatus{error, 0, message};
}

AviWriterStatus AviFileWriter::open(const std::filesystem::path& path,
                                    std::vector<AviStreamFormat> streams,
                                    const AviWriterOptions& options) {
    if (file_) return refuse(AviWriterError::WrongState, "a file is already open");
    if (streams.empty() || streams.size() > kMaxStreams)
        return refuse(AviWriterError::InvalidArgument,
                      "an AVI file holds from 1 to 100 streams, not " +
                          std::to_string(streams.size()));
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string problem = AviStreamProblem(streams[i]);
        if (!problem.empty())
            return refuse(AviWriterError::InvalidArgument,
                          "stream " + std::to_string(i) + ": " + problem);
    }
    if (options.superIndexEntries == 0 || options.superIndexEntries > kMaxSuperIndexEntries)
        return refuse(AviWriterError::InvalidArgument, "the super-index room must be 1 to 65536");
    const std::size_t headerSize = AviHeaderSize(streams, options.superIndexEntries);
    if (options.segmentLimit < kAviMinSegmentLimit || options.segmentLimit > kAviMaxSegmentLimit ||
        headerSize + 12 + 4096 > options.segmentLimit)
        return refuse(AviWriterError::InvalidArgument, "the segment limit is out of range");

    path_ = path;
    options_ = options;
    streams_.clear();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        StreamState s;
        s.chunkId = AviDataChunkId(i, streams[i]);
        s.format = std::move(streams[i]);
        streams_.push_back(std::move(s));
    }
    std::vector<AviStreamFormat> formats;
    for (const StreamState& s : streams_)
        formats.push_back(s.format);
    mainStream_ = AviMainStream(formats);
    headerSize_ = headerSize;
    failure_ = {};
    oldIndex_.clear();
    firstSegmentFrames_ = 0;
    firstRiffSize_ = 0;
    oldIndexWritten_ = false;
    buffer_.clear();

    int error = 0;
    file_ = files_.create(path, error);
    if (!file_)
        return AviWriterStatus{AviWriterError::CannotCreate, error,
                               "Cannot create the file \"" + path.string() +
                                   "\": " + std::strerror(error)};

    AviHeaderValues provisional;
    provisional.riffSize = static_cast<std::uint32_t>(headerSize_ + 12 - 8);
    provisional.streams.resize(streams_.size());
    const std::vector<std::uint8_t> header =
        BuildAviHeader(formats, provisional, options_.superIndexEntries);
    std::vector<std::uint8_t> movi;
    AviPutLe32(movi, MakeFourCc("LIST"));
    AviPutLe32(movi, 4);
    AviPutLe32(movi, MakeFourCc("movi"));
    const std::array<AviBytes, 2> pieces{AviBytes(header), AviBytes(movi)};
    const AviIoResult written = file_->append(pieces);
    if (!written.ok()) {
        // A file without its header is of no use to anyone: leave nothing behind.
        file_->close();
        file_.reset();
        files_.remove(path);
        return AviWriterStatus{AviWriterError::CannotCreate, written.error,
                               "Cannot write the file \"" + path.string() +
                                   "\": " + std::strerror(written.error)};
    }

    riffStart_ = 0;
    moviList_ = headerSize_;
    end_ = bufferStart_ = headerSize_ + 12;
    segmentOpen_ = true;
    segmentCount_ = 1;
    segmentChunks_ = 0;
    segmentIndexBytes_ = options_.oldIndex ? 8 : 0;
    buffer_.reserve(kBufferBytes);
    return {};
}

std::uint64_t AviFileWriter::segmentTicks(const StreamState& s) const {
    return s.format.sampleSize != 0 ? s.segmentBytes / s.format.sampleSize
                                    : s.segmentEntries.size();
}

std::uint64_t AviFileWriter::streamLength(std::size_t stream) const {
    if (stream >= streams_.size()) return 0;
    return streams_[stream].closedTicks + segmentTicks(streams_[stream]);
}

std::uint64_t AviFileWriter::pendingIndexBytes(std::size_t stream) const {
    std::uint64_t bytes = segmentIndexBytes_ + kAviStdIndexEntryBytes;
    if (streams_[stream].segmentEntries.empty()) bytes += 8 + kAviStdIndexHeaderBytes;
    if (segmentCount_ == 1 && options_.oldIndex) bytes += kAviOldIndexEntryBytes;
    return bytes;
}

AviWriterStatus AviFileWriter::writeSample(std::size_t stream, AviBytes data, bool keyframe) {
    if (!file_) return refuse(AviWriterError::WrongState, "no file is open");
    if (!failure_.ok()) return failure_;
    if (stream >= streams_.size())
        return refuse(AviWriterError::InvalidArgument,
                      "the file has no stream " + std::to_string(stream));
    if (data.size() > kMaxChunkData)
        return refuse(AviWriterError::InvalidArgument, "the sample is too large for an AVI chunk");

    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    const std::uint64_t chunkBytes = ChunkEnd(0, size);
    if (segmentChunks_ > 0 &&
        end_ + chunkBytes + pendingIndexBytes(stream) - riffStart_ > options_.segmentLimit) {
        const AviWriterStatus rolled = rollSegment();
        if (!rolled.ok()) return rolled;
    }

    // The index takes the chunk now; if its bytes do not all reach the file,
    // fail() takes it out again.
    StreamState& s = streams_[stream];
    if (s.segmentEntries.empty()) segmentIndexBytes_ += 8 + kAviStdIndexHeaderBytes;
    segmentIndexBytes_ += kAviStdIndexEntryBytes;
    s.segmentEntries.push_back({end_, size, keyframe});
    s.segmentBytes += size;
    s.largestChunk = std::max(s.largestChunk, size);
    if (segmentCount_ == 1 && options_.oldIndex) {
        oldIndex_.push_back({s.chunkId, keyframe ? kAviIfKeyframe : 0,
                             static_cast<std::uint32_t>(end_ - (moviList_ + 8)), size});
        segmentIndexBytes_ += kAviOldIndexEntryBytes;
    }
    ++segmentChunks_;

    std::uint8_t header[8];
    AviSetLe32(header, s.chunkId);
    AviSetLe32(header + 4, size);
    static const std::uint8_t pad[1] = {0};

    if (data.size() >= kDirectBytes) {
        const std::array<AviBytes, 4> pieces{AviBytes(buffer_), AviBytes(header, 8), data,
                                             AviBytes(pad, size & 1)};
        const AviIoResult r = file_->append(pieces);
        if (!r.ok()) {
            fail(IsFullDisk(r.error) ? AviWriterError::DiskFull : AviWriterError::WriteFailed,
                 r.error, "Writing", bufferStart_ + r.bytes);
            return failure_;
        }
        end_ += chunkBytes;
        bufferStart_ = end_;
        buffer_.clear();
        return {};
    }
    if (buffer_.size() + chunkBytes > kBufferBytes && !flush()) return failure_;
    buffer_.insert(buffer_.end(), header, header + 8);
    buffer_.insert(buffer_.end(), data.begin(), data.end());
    if (size & 1) buffer_.push_back(0);
    end_ += chunkBytes;
    return {};
}

bool AviFileWriter::flush() {
    if (buffer_.empty()) return true;
    const std::array<AviBytes, 1> pieces{AviBytes(buffer_)};
    const AviIoResult r = file_->append(pieces);
    if (!r.ok()) {
        fail(IsFullDisk(r.error) ? AviWriterError::DiskFull : AviWriterError::WriteFailed, r.error,
             "Writing", bufferStart_ + r.bytes);
        return false;
    }
    bufferStart_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool AviFileWriter::appendWhole(AviBytes bytes) {
    const std::uint64_t at = end_;
    const std::array<AviBytes, 1> pieces{bytes};
    const AviIoResult r = file_->append(pieces);
    if (r.ok()) {
        end_ = bufferStart_ = at + bytes.size();
        return true;
    }
    if (failure_.ok())
        failure_ = {IsFullDisk(r.error) ? AviWriterError::DiskFull : AviWriterError::WriteFailed,
                    r.error,
                    "Writing \"" + path_.string() + "\" stopped: " + std::strerror(r.error) +
                        "; the frames written before are kept"};
    // A partial index is worse than none: readers would trust it.
    file_->truncate(at);
    end_ = bufferStart_ = at;
    return false;
}

void AviFileWriter::fail(AviWriterError error, int systemError, const std::string& what,
                         std::uint64_t durableEnd) {
    if (failure_.ok()) {
        failure_.error = error;
        failure_.systemError = systemError;
        failure_.message =
            what + " \"" + path_.string() + "\" stopped: " +
            (systemError != 0 ? std::strerror(systemError) : AviWriterErrorText(error)) +
            "; the frames written before are kept";
    }
    buffer_.clear();
    end_ = bufferStart_ = durableEnd;
    pruneTo(durableEnd);
}

void AviFileWriter::pruneTo(std::uint64_t durableEnd) {
    if (!segmentOpen_) return;
    if (segmentCount_ > 1 && durableEnd < moviList_ + 12) {
        // The new segment's own headers did not make it: the file ends with
        // the previous segment, which is complete.
        for (StreamState& s : streams_) {
            s.segmentEntries.clear();
            s.segmentBytes = 0;
        }
        file_->truncate(riffStart_);
        end_ = bufferStart_ = riffStart_;
        segmentOpen_ = false;
        --segmentCount_;
        return;
    }
    for (StreamState& s : streams_) {
        while (!s.segmentEntries.empty() && ChunkEnd(s.segmentEntries.back().offset,
                                                     s.segmentEntries.back().size) > durableEnd) {
            s.segmentBytes -= s.segmentEntries.back().size;
            s.segmentEntries.pop_back();
        }
    }
    while (!oldIndex_.empty() &&
           ChunkEnd(moviList_ + 8 + oldIndex_.back().offset, oldIndex_.back().size) > durableEnd)
        oldIndex_.pop_back();
}

void AviFileWriter::closeSegment() {
    if (!segmentOpen_) return;
    flush(); // on failure the chunks that did not make it are already dropped
    if (!segmentOpen_) return;

    // After a failure the file may end inside a chunk: cut it back to the
    // last complete one, which also gives back room for the indexes.
    std::uint64_t goodEnd = moviList_ + 12;
    for (const StreamState& s : streams_)
        if (!s.segmentEntries.empty())
            goodEnd = std::max(
                goodEnd, ChunkEnd(s.segmentEntries.back().offset, s.segmentEntries.back().size));
    if (end_ != goodEnd) {
        file_->truncate(goodEnd);
        end_ = bufferStart_ = goodEnd;
    }

    bool room = true;
    const std::uint32_t mainFrames =
        Clamp32(streams_.empty() ? 0 : streams_[mainStream_].segmentEntries.size());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        StreamState& s = streams_[i];
        if (s.segmentEntries.empty()) continue;
        const std::uint64_t ticks = segmentTicks(s);
        if (room) {
            const std::uint64_t at = end_;
            const std::vector<std::uint8_t> index =
                BuildAviStdIndex(AviStdIndexChunkId(i), s.chunkId, riffStart_, s.segmentEntries);
            room = appendWhole(index);
            if (room)
                s.superIndex.push_back(
                    {at, static_cast<std::uint32_t>(index.size()), Clamp32(ticks)});
        }
        s.closedTicks += ticks;
        s.segmentEntries.clear();
        s.segmentBytes = 0;
    }
    const std::uint64_t moviEnd = end_;
    if (segmentCount_ == 1) {
        firstSegmentFrames_ = mainFrames;
        if (options_.oldIndex && room) oldIndexWritten_ = appendWhole(BuildAviOldIndex(oldIndex_));
        oldIndex_.clear();
        oldIndex_.shrink_to_fit();
    }

    std::uint8_t size[4];
    AviSetLe32(size, Clamp32(moviEnd - (moviList_ + 8)));
    AviIoResult r = file_->writeAt(moviList_ + 4, AviBytes(size, 4));
    if (r.ok()) {
        AviSetLe32(size, Clamp32(end_ - (riffStart_ + 8)));
        r = file_->writeAt(riffStart_ + 4, AviBytes(size, 4));
    }
    if (!r.ok() && failure_.ok())
        failure_ = {AviWriterError::WriteFailed, r.error,
                    "Finishing \"" + path_.string() + "\" failed: " + std::strerror(r.error)};
    if (segmentCount_ == 1) firstRiffSize_ = Clamp32(end_ - 8);
    segmentOpen_ = false;
    segmentChunks_ = 0;
    segmentIndexBytes_ = 0;
}

void AviFileWriter::startSegment() {
    riffStart_ = end_;
    moviList_ = end_ + 12;
    AviPutLe32(buffer_, MakeFourCc("RIFF"));
    AviPutLe32(buffer_, 4 + 12);
    AviPutLe32(buffer_, MakeFourCc("AVIX"));
    AviPutLe32(buffer_, MakeFourCc("LIST"));
    AviPutLe32(buffer_, 4);
    AviPutLe32(buffer_, MakeFourCc("movi"));
    end_ += kSegmentHeaderBytes;
    segmentOpen_ = true;
    ++segmentCount_;
    segmentChunks_ = 0;
    segmentIndexBytes_ = 0;
}

AviWriterStatus AviFileWriter::rollSegment() {
    closeSegment();
    if (!failure_.ok()) return failure_;
    for (const StreamState& s : streams_) {
        if (s.superIndex.size() >= options_.superIndexEntries) {
            fail(AviWriterError::FileFull, 0, "Writing", end_);
            return failure_;
        }
    }
    // Keeping the header current costs one small write per segment and
    // leaves a crashed capture readable up to here.
    if (!writeHeader()) return failure_;
    startSegment();
    return {};
}

bool AviFileWriter::writeHeader() {
    AviHeaderValues values;
    values.riffSize = firstRiffSize_;
    values.firstSegmentFrames = firstSegmentFrames_;
    values.totalFrames = Clamp32(streams_[mainStream_].closedTicks);
    values.hasOldIndex = oldIndexWritten_;
    std::vector<AviStreamFormat> formats;
    for (const StreamState& s : streams_) {
        formats.push_back(s.format);
        values.streams.push_back({Clamp32(s.closedTicks), s.largestChunk, s.superIndex});
    }
    const std::vector<std::uint8_t> header =
        BuildAviHeader(formats, values, options_.superIndexEntries);
    const AviIoResult r = file_->writeAt(0, header);
    if (r.ok()) return true;
    if (failure_.ok())
        failure_ = {AviWriterError::WriteFailed, r.error,
                    "Finishing \"" + path_.string() + "\" failed: " + std::strerror(r.error)};
    return false;
}

AviWriterStatus AviFileWriter::close() {
    if (!file_) return {};
    closeSegment();
    writeHeader();
    const AviIoResult r = file_->close();
    if (!r.ok() && failure_.ok())
        failure_ = {IsFullDisk(r.error) ? AviWriterError::DiskFull : AviWriterError::WriteFailed,
                    r.error,
                    "Closing \"" + path_.string() + "\" failed: " + std::strerror(r.error)};
    file_.reset();
    for (StreamState& s : streams_) {
        s.segmentEntries = {};
        s.superIndex = {};
    }
    buffer_ = {};
    return failure_;
}

} // namespace talvence
