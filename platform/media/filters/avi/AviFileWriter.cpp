#include "platform/media/filters/avi/AviFileWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
// Checkpoint intervals of another stream's time that make a checkpoint when the main stream has
// written nothing meanwhile.
constexpr double kStalledMainStreamFactor = 4;

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

// Runs the in-place half of the checkpoints: sync, the unseen fields, sync,
// the counts. Jobs queued while one runs are merged, which keeps the order
// since every field only grows.
class AviFileWriter::CheckpointThread {
public:
    explicit CheckpointThread(AviOutputFile& file) : file_(file), thread_([this] { run(); }) {}
    ~CheckpointThread() { finish(); }

    void submit(Patches first, Patches second) {
        {
            std::lock_guard lock(mutex_);
            first_.insert(first_.end(), first.begin(), first.end());
            second_.insert(second_.end(), second.begin(), second.end());
            queued_ = true;
        }
        wake_.notify_one();
    }

    // Waits for the queued jobs and ends the thread; the first failure.
    AviIoResult finish() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        return failure_;
    }

    // Waits until every queued job is in the file.
    void drain() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !queued_ && !busy_; });
    }

    // The first failure so far (error 0: none).
    AviIoResult failure() {
        std::lock_guard lock(mutex_);
        return failure_;
    }

private:
    void run() {
        pthread_setname_np(pthread_self(), "avi checkpoint");
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return queued_ || stopping_; });
            if (!queued_) return;
            Patches first, second;
            first.swap(first_);
            second.swap(second_);
            queued_ = false;
            busy_ = true;
            const bool failed = !failure_.ok();
            lock.unlock();
            // After a failure the header stays at the last checkpoint that made it.
            const AviIoResult r = failed ? AviIoResult{} : apply(first, second);
            lock.lock();
            if (!r.ok() && failure_.ok()) failure_ = r;
            busy_ = false;
            idle_.notify_all();
        }
    }

    AviIoResult sync() {
        const AviIoResult r = file_.syncData();
        // A file system that cannot sync (EINVAL) still keeps the write order for a crash.
        return r.error == EINVAL ? AviIoResult{} : r;
    }

    AviIoResult write(const Patches& patches) {
        for (const Patch& p : patches) {
            std::uint8_t bytes[4];
            AviSetLe32(bytes, p.value);
            const AviIoResult r = file_.writeAt(p.offset, AviBytes(bytes, 4));
            if (!r.ok()) return r;
        }
        return {};
    }

    AviIoResult apply(const Patches& first, const Patches& second) {
        AviIoResult r = sync();
        if (r.ok()) r = write(first);
        if (r.ok() && !second.empty()) r = sync();
        if (r.ok()) r = write(second);
        return r;
    }

    AviOutputFile& file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    Patches first_, second_; // mutex_
    bool queued_ = false;    // mutex_
    bool busy_ = false;      // mutex_
    bool stopping_ = false;  // mutex_
    AviIoResult failure_;    // mutex_
    std::thread thread_;
};

std::filesystem::path AviUnfinishedMarker(const std::filesystem::path& file) {
    return file.parent_path() / ("." + file.filename().string() + ".capturing");
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
    if (!(options.checkpointSeconds >= 0))
        return refuse(AviWriterError::InvalidArgument,
                      "the checkpoint interval cannot be negative");
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
    headerOffsets_ = AviHeaderFieldOffsets(formats, options_.superIndexEntries);
    checkpointInterval_ = options_.checkpointSeconds;
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
    end_ = bufferStart_ = indexedEnd_ = headerSize_ + 12;
    segmentOpen_ = true;
    segmentCount_ = 1;
    segmentChunks_ = 0;
    segmentIndexBytes_ = options_.oldIndex ? 8 : 0;
    buffer_.reserve(kBufferBytes);
    if (options_.checkpointSeconds > 0) checkpoints_ = std::make_unique<CheckpointThread>(*file_);
    if (options_.unfinishedMarker) {
        // Without a marker the capture goes on: only the repair at the next start is lost.
        markerFd_ = ::open(AviUnfinishedMarker(path).c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (markerFd_ >= 0) ::flock(markerFd_, LOCK_EX | LOCK_NB);
    }
    return {};
}

std::uint64_t AviFileWriter::pendingTicks(const StreamState& s) const {
    return s.format.sampleSize != 0 ? s.pendingBytes / s.format.sampleSize : s.pending.size();
}

std::uint64_t AviFileWriter::streamLength(std::size_t stream) const {
    if (stream >= streams_.size()) return 0;
    return streams_[stream].indexedTicks + pendingTicks(streams_[stream]);
}

bool AviFileWriter::checkpointDue(std::size_t stream) const {
    if (!checkpoints_) return false;
    const StreamState& s = streams_[stream];
    const double seconds =
        static_cast<double>(pendingTicks(s)) * s.format.scale / static_cast<double>(s.format.rate);
    // The main stream's time sets the pace, so that the streams' own threads running ahead of
    // each other do not change where checkpoints fall; another stream steps in only when the
    // main one has stalled for a while.
    return seconds >= (stream == mainStream_ ? 1 : kStalledMainStreamFactor) * checkpointInterval_;
}

std::size_t AviFileWriter::freeSuperIndexEntries() const {
    std::size_t used = 0;
    for (const StreamState& s : streams_)
        used = std::max(used, s.superIndex.size());
    return options_.superIndexEntries > used ? options_.superIndexEntries - used : 0;
}

std::uint64_t AviFileWriter::pendingIndexBytes(std::size_t stream) const {
    std::uint64_t bytes = segmentIndexBytes_ + kAviStdIndexEntryBytes;
    if (streams_[stream].pending.empty()) bytes += 8 + kAviStdIndexHeaderBytes;
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
    if (s.pending.empty()) segmentIndexBytes_ += 8 + kAviStdIndexHeaderBytes;
    segmentIndexBytes_ += kAviStdIndexEntryBytes;
    s.pending.push_back({end_, size, keyframe});
    s.pendingBytes += size;
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
    } else {
        if (buffer_.size() + chunkBytes > kBufferBytes && !flush()) return failure_;
        buffer_.insert(buffer_.end(), header, header + 8);
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        if (size & 1) buffer_.push_back(0);
        end_ += chunkBytes;
    }
    if (checkpointDue(stream)) checkpoint();
    return failure_;
}

void AviFileWriter::takeCheckpointFailure() {
    if (!checkpoints_ || !failure_.ok()) return;
    const AviIoResult r = checkpoints_->failure();
    if (!r.ok())
        failure_ = {AviWriterError::WriteFailed, r.error,
                    "Updating the header of \"" + path_.string() + "\" failed: " +
                        std::strerror(r.error) + "; the frames written before are kept"};
}

void AviFileWriter::checkpoint() {
    takeCheckpointFailure();
    if (!failure_.ok()) return;
    // The last free entry is kept for the end of the segment.
    if (freeSuperIndexEntries() < 2) {
        checkpointInterval_ = std::numeric_limits<double>::infinity();
        return;
    }
    std::vector<std::size_t> before;
    for (const StreamState& s : streams_)
        before.push_back(s.superIndex.size());
    if (!flush() || !indexPending()) return;
    commitCheckpoint(before, end_);
    // Halving free room doubles the interval: the room lasts as long as the segments do.
    const std::size_t free = freeSuperIndexEntries();
    checkpointInterval_ = options_.checkpointSeconds;
    if (free < 2) checkpointInterval_ = std::numeric_limits<double>::infinity();
    for (std::size_t f = free; f >= 2 && f * 2 < options_.superIndexEntries; f *= 2)
        checkpointInterval_ *= 2;
}

bool AviFileWriter::indexPending() {
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        StreamState& s = streams_[i];
        if (s.pending.empty()) continue;
        const std::uint64_t at = end_;
        const std::vector<std::uint8_t> index =
            BuildAviStdIndex(AviStdIndexChunkId(i), s.chunkId, riffStart_, s.pending);
        if (!appendWhole(index)) return false;
        s.superIndex.push_back(
            {at, static_cast<std::uint32_t>(index.size()), Clamp32(pendingTicks(s))});
        s.indexedTicks += pendingTicks(s);
        s.indexedChunks += s.pending.size();
        segmentIndexBytes_ -= index.size();
        s.pending.clear();
        s.pendingBytes = 0;
    }
    indexedEnd_ = end_;
    return true;
}

void AviFileWriter::commitCheckpoint(const std::vector<std::size_t>& entriesBefore,
                                     std::uint64_t moviEnd) {
    Patches unseen, counts;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const StreamState& s = streams_[i];
        const AviHeaderOffsets::Stream& at = headerOffsets_.streams[i];
        for (std::size_t k = entriesBefore[i]; k < s.superIndex.size(); ++k) {
            const AviSuperIndexEntry& e = s.superIndex[k];
            const std::uint64_t entry =
                at.indexEntries + std::uint64_t(kAviSuperIndexEntryBytes) * k;
            unseen.push_back({entry, static_cast<std::uint32_t>(e.offset)});
            unseen.push_back({entry + 4, static_cast<std::uint32_t>(e.offset >> 32)});
            unseen.push_back({entry + 8, e.size});
            unseen.push_back({entry + 12, e.duration});
        }
        counts.push_back({at.indexInUse, static_cast<std::uint32_t>(s.superIndex.size())});
        counts.push_back({at.length, Clamp32(s.indexedTicks)});
        if (s.format.suggestedBufferSize == 0)
            counts.push_back({at.suggestedBufferSize, s.largestChunk});
    }
    unseen.push_back({moviList_ + 4, Clamp32(moviEnd - (moviList_ + 8))});
    unseen.push_back({riffStart_ + 4, Clamp32(end_ - (riffStart_ + 8))});
    const StreamState& main = streams_[mainStream_];
    if (segmentCount_ == 1)
        counts.push_back({headerOffsets_.mainTotalFrames, Clamp32(main.indexedChunks)});
    counts.push_back({headerOffsets_.extendedTotalFrames, Clamp32(main.indexedTicks)});
    commit(std::move(unseen), std::move(counts));
}

void AviFileWriter::commit(Patches first, Patches second) {
    if (checkpoints_) {
        checkpoints_->submit(std::move(first), std::move(second));
        return;
    }
    for (const Patches* patches : {&first, &second}) {
        for (const Patch& p : *patches) {
            std::uint8_t bytes[4];
            AviSetLe32(bytes, p.value);
            const AviIoResult r = file_->writeAt(p.offset, AviBytes(bytes, 4));
            if (r.ok()) continue;
            if (failure_.ok())
                failure_ = {AviWriterError::WriteFailed, r.error,
                            "Finishing \"" + path_.string() +
                                "\" failed: " + std::strerror(r.error)};
            return;
        }
    }
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

std::string AviWriteStoppedText(const std::string& what, const std::filesystem::path& path,
                                AviWriterError error, int systemError) {
    return what + " \"" + path.string() + "\" stopped: " +
           (systemError != 0 ? std::strerror(systemError) : AviWriterErrorText(error)) +
           "; the frames written before are kept";
}

void AviFileWriter::fail(AviWriterError error, int systemError, const std::string& what,
                         std::uint64_t durableEnd) {
    if (failure_.ok()) {
        failure_.error = error;
        failure_.systemError = systemError;
        failure_.message = AviWriteStoppedText(what, path_, error, systemError);
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
            s.pending.clear();
            s.pendingBytes = 0;
        }
        file_->truncate(riffStart_);
        end_ = bufferStart_ = riffStart_;
        segmentOpen_ = false;
        --segmentCount_;
        return;
    }
    for (StreamState& s : streams_) {
        while (!s.pending.empty() &&
               ChunkEnd(s.pending.back().offset, s.pending.back().size) > durableEnd) {
            s.pendingBytes -= s.pending.back().size;
            s.pending.pop_back();
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
    std::uint64_t goodEnd = std::max(moviList_ + 12, indexedEnd_);
    for (const StreamState& s : streams_)
        if (!s.pending.empty())
            goodEnd = std::max(goodEnd, ChunkEnd(s.pending.back().offset, s.pending.back().size));
    if (end_ != goodEnd) {
        file_->truncate(goodEnd);
        end_ = bufferStart_ = goodEnd;
    }

    std::vector<std::size_t> before;
    for (const StreamState& s : streams_)
        before.push_back(s.superIndex.size());
    const bool room = indexPending();
    for (StreamState& s : streams_) {
        // Chunks left without an index (no room) still count: a scan finds them.
        s.indexedTicks += pendingTicks(s);
        s.indexedChunks += s.pending.size();
        s.pending.clear();
        s.pendingBytes = 0;
    }
    const std::uint64_t moviEnd = end_;
    if (segmentCount_ == 1) {
        firstSegmentFrames_ = Clamp32(streams_[mainStream_].indexedChunks);
        if (options_.oldIndex && room) oldIndexWritten_ = appendWhole(BuildAviOldIndex(oldIndex_));
        oldIndex_.clear();
        oldIndex_.shrink_to_fit();
        firstRiffSize_ = Clamp32(end_ - 8);
    }
    commitCheckpoint(before, moviEnd);
    if (segmentCount_ == 1 && oldIndexWritten_)
        commit({},
               {{headerOffsets_.mainFlags, kAvifIsInterleaved | kAvifTrustCkType | kAvifHasIndex}});
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
    indexedEnd_ = end_;
    segmentOpen_ = true;
    ++segmentCount_;
    segmentChunks_ = 0;
    segmentIndexBytes_ = 0;
}

AviWriterStatus AviFileWriter::rollSegment() {
    closeSegment();
    takeCheckpointFailure();
    if (!failure_.ok()) return failure_;
    for (const StreamState& s : streams_) {
        if (s.superIndex.size() >= options_.superIndexEntries) {
            fail(AviWriterError::FileFull, 0, "Writing", end_);
            return failure_;
        }
    }
    // Without checkpoints the header is brought up to date here: one small
    // write per segment that leaves a crashed capture readable up to here.
    if (!checkpoints_ && !writeHeader()) return failure_;
    startSegment();
    return {};
}

bool AviFileWriter::writeHeader() {
    AviHeaderValues values;
    values.riffSize = firstRiffSize_;
    values.firstSegmentFrames = firstSegmentFrames_;
    values.totalFrames = Clamp32(streams_[mainStream_].indexedTicks);
    values.hasOldIndex = oldIndexWritten_;
    std::vector<AviStreamFormat> formats;
    for (const StreamState& s : streams_) {
        formats.push_back(s.format);
        values.streams.push_back({Clamp32(s.indexedTicks), s.largestChunk, s.superIndex});
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

void AviFileWriter::waitForCheckpoints() {
    if (checkpoints_) checkpoints_->drain();
}

AviWriterStatus AviFileWriter::close() {
    if (!file_) return {};
    const bool durable = checkpoints_ != nullptr;
    const bool failedBefore = !failure_.ok(); // then close() finishes what was written
    if (checkpoints_) {
        // The last checkpoint's fields go in before the final header does.
        takeCheckpointFailure();
        const AviIoResult r = checkpoints_->finish();
        checkpoints_.reset();
        if (!r.ok() && failure_.ok())
            failure_ = {AviWriterError::WriteFailed, r.error,
                        "Updating the header of \"" + path_.string() +
                            "\" failed: " + std::strerror(r.error)};
    }
    closeSegment();
    // Data and indexes before the header that points at them.
    if (durable) file_->syncData();
    writeHeader();
    if (durable) file_->syncData();
    const AviIoResult r = file_->close();
    if (!r.ok() && failure_.ok())
        failure_ = {IsFullDisk(r.error) ? AviWriterError::DiskFull : AviWriterError::WriteFailed,
                    r.error,
                    "Closing \"" + path_.string() + "\" failed: " + std::strerror(r.error)};
    file_.reset();
    if (markerFd_ >= 0) {
        // A file whose finishing writes failed keeps its marker for the repair.
        if (failure_.ok() || failedBefore) ::unlink(AviUnfinishedMarker(path_).c_str());
        ::close(markerFd_);
        markerFd_ = -1;
    }
    for (StreamState& s : streams_) {
        s.pending = {};
        s.superIndex = {};
    }
    buffer_ = {};
    return failure_;
}

} // namespace talvence
