#pragma once
// Graph plumbing for the AVI filter tests: the media types of the capture formats, an AVI branch
// (mux and File Writer) built by hand, and sources fed into it.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/filters/avimux/AviMux.h"
#include "platform/media/filters/avimux/FileWriter.h"
#include "tests/support/AviWriterTestSupport.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/GraphHelpers.h"

#include <filesystem>

namespace talvence::testing {

CMediaType PcmType(); // 48 kHz, stereo, 16 bits

// PCM blocks that go with the first `count` PAL frames.
std::vector<Bytes> PcmBlocks(std::size_t count);
// `count` RGB24 pictures, each filled with its index.
std::vector<Bytes> Pictures(std::size_t count, std::size_t bytes);

// Mux and File Writer in a graph, the mux's output connected to the writer, the file named.
struct AviBranch {
    ComPtr<CFilterGraph> graph;
    ComPtr<IBaseFilter> mux;
    ComPtr<IBaseFilter> writer;
    ComPtr<IFileSinkFilter> sink;
    ComPtr<IAviFileWriterControl> control;
};
AviBranch MakeAviBranch(const std::filesystem::path& file);

// Adds the source to the graph and connects it to the mux's first free input.
HRESULT Feed(AviBranch& branch, TCountingSource* source, const std::string& name);

// ffprobe's view of the streams, failing loudly when there is none.
std::string Field(const std::vector<ProbedStream>& streams, std::size_t index,
                  const std::string& key);

} // namespace talvence::testing
