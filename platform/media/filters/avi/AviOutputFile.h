#pragma once
// How the AVI writer reaches the file system: one output file written
// mostly at its end, with a few in-place patches of headers and sizes.
// Tests replace it to fail a write at a chosen byte (a full disk) or to
// refuse creating the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace talvence {

using AviBytes = std::span<const std::uint8_t>;

// Outcome of one file operation: how many bytes went to the file and the
// system error number (0 when everything asked for was done).
struct AviIoResult {
    std::size_t bytes = 0;
    int error = 0;
    bool ok() const { return error == 0; }
};

// One open output file. The writer that owns it appends, truncates and
// closes from one thread; writeAt and syncData may also come from its
// checkpoint thread at the same time as an append, for bytes below the end.
class AviOutputFile {
public:
    virtual ~AviOutputFile() = default;
    // Writes the pieces one after the other at the end of the file. A short
    // result (full disk, I/O error) has written exactly `bytes` of them.
    virtual AviIoResult append(std::span<const AviBytes> pieces) = 0;
    // Overwrites bytes that are already in the file.
    virtual AviIoResult writeAt(std::uint64_t offset, AviBytes bytes) = 0;
    // Cuts the file back to `size` bytes; later appends continue from there.
    virtual AviIoResult truncate(std::uint64_t size) = 0;
    // Waits until the bytes written so far are on the storage (fdatasync).
    virtual AviIoResult syncData() = 0;
    // Releases the file. Reports an error the system held back until now.
    virtual AviIoResult close() = 0;
};

class AviOutputFiles {
public:
    virtual ~AviOutputFiles() = default;
    // Creates the file (replacing an existing one) for writing; nullptr and
    // `error` set when it cannot be created.
    virtual std::unique_ptr<AviOutputFile> create(const std::filesystem::path& path,
                                                  int& error) = 0;
    // Removes a file that this writer made but could not make usable.
    virtual bool remove(const std::filesystem::path& path) = 0;
};

// The local file system (POSIX open/writev/pwrite/ftruncate).
AviOutputFiles& LocalAviOutputFiles();

// Real files with a simulated capacity and injectable failures: an append
// that would take the file past `capacity` bytes writes what fits and fails
// with ENOSPC, as a full disk does. Lets tests stop a capture at a chosen
// byte and then read what was left with other tools.
class CappedAviOutputFiles : public AviOutputFiles {
public:
    explicit CappedAviOutputFiles(std::uint64_t capacity = UINT64_MAX) : capacity_(capacity) {}

    void setCapacity(std::uint64_t capacity) { capacity_ = capacity; }
    // create() fails with this error number (0: creates normally).
    void setCreateError(int error) { createError_ = error; }
    // In-place writes fail with this error number (0: they work).
    void setWriteAtError(int error) { writeAtError_ = error; }
    // close() reports this error number after closing (0: none).
    void setCloseError(int error) { closeError_ = error; }

    std::uint64_t capacity() const { return capacity_; }
    int writeAtError() const { return writeAtError_; }
    int closeError() const { return closeError_; }

    std::unique_ptr<AviOutputFile> create(const std::filesystem::path& path, int& error) override;
    bool remove(const std::filesystem::path& path) override;

private:
    std::uint64_t capacity_;
    int createError_ = 0;
    int writeAtError_ = 0;
    int closeError_ = 0;
};

} // namespace talvence
