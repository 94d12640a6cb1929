#include "tests/platform/avimux/AviGraphSupport.h"

#include "platform/media/MediaGuids.h"

#include <chrono>
#include <cstring>

namespace talvence::testing {

CMediaType InterleavedDvType(bool pal) {
    CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_DvInfo);
    BYTE dvInfo[sizeof(DVINFO)] = {};
    if (pal) dvInfo[DVINFO_SYSTEM_BYTE] = DVINFO_50HZ_BIT;
    mt.SetFormat(dvInfo, sizeof dvInfo);
    mt.SetSampleSize(pal ? 144000 : 120000);
    return mt;
}

CMediaType DvVideoType(bool pal) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = pal ? 400000 : 333667;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 720;
    vih.bmiHeader.biHeight = pal ? 576 : 480;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = kFccDvsd;
    vih.bmiHeader.biSizeImage = pal ? 144000 : 120000;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
    return mt;
}

CMediaType PcmType() {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    const WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof wave);
    mt.SetSampleSize(4);
    return mt;
}

CMediaType Rgb24Type(LONG width, LONG height, REFERENCE_TIME frameTime) {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    vih.AvgTimePerFrame = frameTime;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = BI_RGB;
    vih.bmiHeader.biSizeImage = DibImageSize(vih.bmiHeader);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih);
    mt.SetSampleSize(vih.bmiHeader.biSizeImage);
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

HRESULT Feed(AviBranch& branch, TFrameSource* source, const std::string& name) {
    HRESULT hr = branch.graph->AddFilter(source, name);
    if (FAILED(hr)) return hr;
    ComPtr<IPin> input = FreePin(branch.mux.get(), PINDIR_INPUT);
    if (!input) return VFW_E_NOT_FOUND;
    return branch.graph->ConnectDirect(source->OutputPin(), input.get(), nullptr);
}

namespace {
std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.put());
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (e && e->Next(1, &pin, &fetched) == S_OK && fetched == 1)
        pins.push_back(ComPtr<IPin>::Attach(pin));
    return pins;
}
} // namespace

ComPtr<IPin> FreePin(IBaseFilter* filter, PIN_DIRECTION dir) {
    for (auto& pin : Pins(filter)) {
        PIN_DIRECTION d;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir && FAILED(pin->ConnectedTo(peer.put())))
            return pin;
    }
    return nullptr;
}

std::vector<std::string> PinNames(IBaseFilter* filter) {
    std::vector<std::string> names;
    for (auto& pin : Pins(filter)) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        if (info.pFilter) info.pFilter->Release();
        names.push_back(info.achName);
    }
    return names;
}

std::optional<LONG_PTR> WaitForEvent(CFilterGraph* graph, long code, long timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        long got = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (graph->GetEvent(&got, &p1, &p2, 100) != S_OK) continue;
        graph->FreeEventParams(got, p1, p2);
        if (got == code) return p1;
    }
    return std::nullopt;
}

std::string Field(const std::vector<ProbedStream>& streams, std::size_t index,
                  const std::string& key) {
    if (index >= streams.size()) return "<no stream " + std::to_string(index) + ">";
    auto it = streams[index].find(key);
    return it == streams[index].end() ? "<no " + key + ">" : it->second;
}

} // namespace talvence::testing
