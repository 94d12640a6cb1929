#include "tests/platform/media/filters/avimux/AviGraphSupport.h"

#include "platform/media/MediaGuids.h"

#include <cstring>

namespace talvence::testing {

CMediaType PcmType() {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    const WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof wave);
    mt.SetSampleSize(4);
    return mt;
}

std::vector<Bytes> PcmBlocks(std::size_t count) {
    std::vector<Bytes> blocks;
    for (std::size_t i = 0; i < count; ++i)
        blocks.push_back(PcmForFrame(i));
    return blocks;
}

std::vector<Bytes> Pictures(std::size_t count, std::size_t bytes) {
    std::vector<Bytes> pictures;
    for (std::size_t i = 0; i < count; ++i)
        pictures.emplace_back(bytes, static_cast<std::uint8_t>(i * 7 + 1));
    return pictures;
}

AviBranch MakeAviBranch(const std::filesystem::path& file) {
    AviBranch b;
    b.graph = new CFilterGraph;
    b.mux = ComPtr<IBaseFilter>(new TAviMux);
    b.writer = ComPtr<IBaseFilter>(new TFileWriter);
    b.sink = b.writer.As<IFileSinkFilter>();
    b.control = b.writer.As<IAviFileWriterControl>();
    b.graph->AddFilter(b.mux.get(), "AVI Mux");
    b.graph->AddFilter(b.writer.get(), "File writer");
    b.graph->ConnectDirect(FreePin(b.mux.get(), PINDIR_OUTPUT).get(),
                           FreePin(b.writer.get(), PINDIR_INPUT).get(), nullptr);
    b.sink->SetFileName(file.string(), nullptr);
    return b;
}

HRESULT Feed(AviBranch& branch, TCountingSource* source, const std::string& name) {
    HRESULT hr = branch.graph->AddFilter(source, name);
    if (FAILED(hr)) return hr;
    ComPtr<IPin> input = FreePin(branch.mux.get(), PINDIR_INPUT);
    if (!input) return VFW_E_NOT_FOUND;
    return branch.graph->ConnectDirect(source->OutputPin(), input.get(), nullptr);
}

std::string Field(const std::vector<ProbedStream>& streams, std::size_t index,
                  const std::string& key) {
    if (index >= streams.size()) return "<no stream " + std::to_string(index) + ">";
    auto it = streams[index].find(key);
    return it == streams[index].end() ? "<no " + key + ">" : it->second;
}

} // namespace talvence::testing
