#pragma once

// The interfaces of the AVI Mux and the File Writer: the two configuration interfaces the capture
// recipes call on the mux (with the platform's ids), and the engine's own link between the two
// filters. The mux does not produce a byte stream: its "AVI Out" pin hands the File Writer the
// streams of the file when the graph pauses and then each sample as it arrives, and the File
// Writer keeps the file (its name, creation, indexes, closing) through the AVI writer core.

#include "platform/media/CaptureGraphBuilder.h"
#include "platform/media/Interfaces.h"
#include "platform/media/filters/avi/AviFileWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace talvence {

// Class ids CLSID_AviDest and CLSID_FileWriter come with the capture graph builder.

// IConfigInterleaving modes.
enum InterleavingMode : long {
    INTERLEAVE_NONE = 0,
    INTERLEAVE_CAPTURE = 1,
    INTERLEAVE_FULL = 2,
    INTERLEAVE_NONE_BUFFERED = 3,
};

struct IConfigAviMux : IUnknown {
    static constexpr GUID iid = MakeGuid("5ACD6AA0-F482-11CE-8B67-00AA00A3F1A6");
    // Application thread, while stopped. Index of a connected input or -1 (none). Stored and
    // reported only: no stream's timing is adjusted to the master's.
    virtual HRESULT SetMasterStream(LONG stream) = 0;
    virtual HRESULT GetMasterStream(LONG* stream) = 0;
    // Application thread, while stopped: TRUE adds the legacy 'idx1' index after the first RIFF
    // segment of the next file.
    virtual HRESULT SetOutputCompatibilityIndex(BOOL oldIndex) = 0;
    virtual HRESULT GetOutputCompatibilityIndex(BOOL* oldIndex) = 0;
};

struct IConfigInterleaving : IUnknown {
    static constexpr GUID iid = MakeGuid("BEE3D220-157B-11D0-BD23-00A0C911CE86");
    // Application thread, while stopped. Every mode writes each sample as it arrives (what
    // INTERLEAVE_NONE and INTERLEAVE_CAPTURE ask for); the modes that interleave by time are
    // accepted and remembered, but not acted upon.
    virtual HRESULT put_Mode(InterleavingMode mode) = 0;
    virtual HRESULT get_Mode(InterleavingMode* mode) = 0;
    // Application thread. Stored and reported (100 ns units; null leaves a value unchanged).
    virtual HRESULT put_Interleaving(const REFERENCE_TIME* leaving,
                                     const REFERENCE_TIME* preroll) = 0;
    virtual HRESULT get_Interleaving(REFERENCE_TIME* leaving, REFERENCE_TIME* preroll) = 0;
};

// Answered by the File Writer's input pin; the mux's output pin is its only caller.
struct IAviFileSink : IUnknown {
    static constexpr GUID iid = MakeGuid("39A7A82F-9BD6-4C63-BBF9-01A27BAC5011");
    // Application thread (the mux pausing from stopped; the File Writer is already paused):
    // creates the file under the name current at this moment, with these streams. A failure
    // leaves no file behind and its text is kept for LastError.
    virtual HRESULT BeginFile(std::vector<AviStreamFormat> streams, bool oldIndex) = 0;
    // Streaming threads (serialised by the File Writer): one sample as one chunk of the stream.
    // VFW_E_WRONG_STATE when no file is being written (the File Writer stopped or the file was
    // finished); a write failure finishes the file, posts EC_ERRORABORT and is returned, as it
    // is for every later sample.
    virtual HRESULT WriteSample(std::size_t stream, AviBytes data, bool keyframe) = 0;
};

// Settings and state of the File Writer beyond IFileSinkFilter (application thread).
struct IAviFileWriterControl : IUnknown {
    static constexpr GUID iid = MakeGuid("210EEAEE-616B-4BB5-85F9-833D08FC238B");
    // While stopped: where files are created (the local file system by default; tests give a
    // capped one to fill the disk at a chosen byte). The object must outlive the File Writer.
    virtual HRESULT SetOutputFiles(AviOutputFiles* files) = 0;
    // While stopped: RIFF segment size (about 1 GiB by default; tests lower it) and the
    // super-index room per stream for the next file.
    virtual HRESULT SetSegmentLimit(std::uint64_t bytes, std::uint32_t superIndexEntries) = 0;
    // The last failure (creating, writing or finishing a file) in English; empty when the last
    // file was written without one.
    virtual HRESULT GetLastError(HRESULT* code, std::string* message) = 0;
    // Chunks of each stream in the file being written or last written.
    virtual HRESULT GetStreamLengths(std::vector<std::uint64_t>* lengths) = 0;
};

// The result code for a failure of the AVI writer core (the platform's codes for the usual
// file-system errors, so logs read as they always did).
HRESULT AviWriterStatusToHResult(const AviWriterStatus& status);

} // namespace talvence
