#pragma once
// Repair of an AVI file left unfinished (a crash, kill -9, a power cut, or a
// writer whose header lies): the chunks of every 'movi' list are walked one
// after the other, whatever the RIFF and LIST sizes and indexes claim, and
// every whole data chunk of a stream the header describes is kept. A chunk
// cut short at the end, and anything after the first bytes that are not a
// chunk, is dropped. The kept chunks are written again by the AVI writer
// into "FILE.repairing", which is synced and then renamed over FILE: the
// original stays untouched until the repaired file is complete on the
// storage, so a second crash during the repair loses nothing (the next
// repair starts again from the original).
//
// Key frames: chunks listed with the delta-frame bit in an ix## chunk met on
// the way stay delta frames; all other chunks are written as key frames.
//
// A capture is known unfinished by the marker its writer keeps beside it
// (AviWriterOptions::unfinishedMarker); RepairUnfinishedCaptures finds and
// repairs those that no running writer holds.
//
// Thread: any; the functions keep no state.

#include "platform/media/filters/avi/AviLayout.h"
#include "postproc/fpsunit.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace talvence {

struct AviFoundChunk {
    std::size_t stream = 0;
    std::uint64_t offset = 0; // of the chunk header
    std::uint32_t size = 0;   // data bytes
    bool keyframe = true;
};

struct AviChunkScan {
    std::vector<AviStreamFormat> streams; // as the header describes them
    std::vector<AviFoundChunk> chunks;    // every whole data chunk, in file order
    std::uint64_t droppedBytes = 0;       // at the end: a chunk cut short, or not chunks
    std::string dropped;                  // what they were, for the user; empty when none
    std::string problem; // why the file cannot be repaired (no usable header); empty when it can
    std::vector<std::uint64_t> chunksPerStream() const;
};

// The walk alone, over any bytes; never reads outside the source.
AviChunkScan ScanAviChunks(AviSource& source);

struct AviRepairResult {
    bool ok = false;
    std::string error; // why the file was left as it was
    AviChunkScan scan;
    std::string sceneFile;  // the scene file beside it, ended at its frames; empty when none
    std::string sceneError; // why that scene file could not be ended
};

// Rewrites `path` with the whole chunks the scan finds and complete indexes.
// The scene file beside it (same name, ".scn") is ended at the frames of its
// first stream (ScnEndAt), so that both agree again.
AviRepairResult RepairAviFile(const std::filesystem::path& path);

// One line for the user: the chunks kept per stream and what was dropped.
std::string AviRepairSummary(const AviRepairResult& result);

struct AviUnfinishedCapture {
    std::filesystem::path file;
    AviRepairResult repair; // ok with nothing scanned when the file itself is gone
};

// The captures a crash left unfinished in `folder`: each marker
// (AviUnfinishedMarker) that no running writer holds locked. Each file is
// repaired; its marker goes once the repair succeeded or the file is gone.
std::vector<AviUnfinishedCapture> RepairUnfinishedCaptures(const std::filesystem::path& folder);

} // namespace talvence
