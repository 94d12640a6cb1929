// Intelligent connection with the DV filters and the Color Space Converter registered: the
// graphs it builds between a source and a sink, checked against a table.

#include "platform/media/DeviceEnum.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvAudio.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvFilters.h"
#include "platform/media/filters/dv/DvMediaTypes.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"
#include "tests/support/GraphHelpers.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using dvcodec::DvSystem;
using dvcodec::PixelLayout;

std::shared_ptr<FilterRegistry> Registry() {
    auto registry = std::make_shared<FilterRegistry>();
    RegisterDvFilters(*registry);
    RegisterColorSpaceConverter(*registry);
    return registry;
}

struct GraphCase {
    const char* name;
    CMediaType source;
    GUID sinkMajor;
    GUID sinkSubtype;
    HRESULT result;
    std::vector<std::string> between; // filters inserted, upstream first
};

void PrintTo(const GraphCase& c, std::ostream* os) {
    *os << c.name;
}

// The names of the filters from the source's output to the sink, following connections.
std::vector<std::string> Path(IPin* sourceOut, IBaseFilter* sink) {
    std::vector<std::string> names;
    ComPtr<IPin> out(sourceOut);
    for (int guard = 0; guard < 8; ++guard) {
        ComPtr<IPin> peer;
        if (FAILED(out->ConnectedTo(peer.put()))) break;
        PIN_INFO info;
        peer->QueryPinInfo(&info);
        ComPtr<IBaseFilter> next = ComPtr<IBaseFilter>::Attach(info.pFilter);
        if (next == ComPtr<IBaseFilter>(sink)) break;
        names.push_back(testing::FilterNameOf(peer.get()));
        // The connected output of the filter leads on.
        ComPtr<IEnumPins> pins;
        next->EnumPins(pins.put());
        IPin* pin = nullptr;
        ULONG fetched = 0;
        out = nullptr;
        while (pins->Next(1, &pin, &fetched) == S_OK) {
            ComPtr<IPin> p = ComPtr<IPin>::Attach(pin);
            PIN_DIRECTION dir;
            ComPtr<IPin> connected;
            p->QueryDirection(&dir);
            if (dir == PINDIR_OUTPUT && SUCCEEDED(p->ConnectedTo(connected.put()))) out = p;
        }
        if (!out) break;
    }
    return names;
}

long FilterCount(CFilterGraph* graph) {
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.put());
    long n = 0;
    IBaseFilter* f = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &f, &fetched) == S_OK) {
        f->Release();
        ++n;
    }
    return n;
}

class IntelligentConnection : public ::testing::TestWithParam<GraphCase> {};

TEST_P(IntelligentConnection, BuildsTheExpectedGraph) {
    // Setup
    const GraphCase& c = GetParam();
    ComPtr<CFilterGraph> graph{new CFilterGraph(Registry())};
    ComPtr<TCountingSource> source{new TCountingSource(c.source, {})};
    ComPtr<TCountingSink> sink{TCountingSink::Recording(Accepting(c.sinkMajor, c.sinkSubtype))};
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");

    // Exercise
    const HRESULT hr = graph->Connect(source->OutputPin(), sink->InputPin());

    // Verification
    EXPECT_EQ(hr, c.result);
    if (SUCCEEDED(c.result)) {
        EXPECT_EQ(Path(source->OutputPin(), sink.get()), c.between);
    } else {
        EXPECT_EQ(FilterCount(graph.get()), 2); // a failed attempt leaves nothing behind
    }
}

CMediaType Interleaved(DvSystem system) {
    return dvcodec::InterleavedDvType(dvcodec::MakeDvInfo(system, 48000));
}

const std::vector<std::string> kSplitDecode = {"DV Splitter", "DV Video Decoder"};

INSTANTIATE_TEST_SUITE_P(
    Table, IntelligentConnection,
    ::testing::Values(GraphCase{"DvToRgb24Renderer", Interleaved(DvSystem::Pal625), MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24, S_OK, kSplitDecode},
                      GraphCase{"NtscDvToYuy2Sink", Interleaved(DvSystem::Ntsc525), MEDIATYPE_Video,
                                MEDIASUBTYPE_YUY2, S_OK, kSplitDecode},
                      GraphCase{"DvToPlanarSink", Interleaved(DvSystem::Pal625), MEDIATYPE_Video,
                                MEDIASUBTYPE_I420, S_OK, kSplitDecode},
                      GraphCase{"DvToAudioSink",
                                Interleaved(DvSystem::Pal625),
                                MEDIATYPE_Audio,
                                MEDIASUBTYPE_PCM,
                                S_OK,
                                {"DV Splitter"}},
                      GraphCase{"DvsdVideoToRgb24",
                                dvcodec::DvsdVideoType(DvSystem::Pal625),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24,
                                S_OK,
                                {"DV Video Decoder"}},
                      GraphCase{"Rgb24ToYuy2Sink",
                                dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Rgb24),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_YUY2,
                                S_OK,
                                {"Color Space Converter"}},
                      GraphCase{"Yuy2ToRgb24Sink",
                                dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Yuy2),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24,
                                S_OK,
                                {"Color Space Converter"}},
                      GraphCase{"Y41bToRgb24Sink",
                                dvcodec::PictureType(DvSystem::Ntsc525, PixelLayout::Yuv411p),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24,
                                S_OK,
                                {"Color Space Converter"}},
                      GraphCase{"Rgb24ToRgb24Directly",
                                dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Rgb24),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24,
                                S_OK,
                                {}},
                      GraphCase{"NoCompressorIsInserted",
                                dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Rgb24),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_dvsd,
                                VFW_E_CANNOT_CONNECT,
                                {}},
                      GraphCase{"PcmNeverReachesAPictureSink",
                                dvcodec::PcmType(dvcodec::PcmWaveFormat(48000, 2)),
                                MEDIATYPE_Video,
                                MEDIASUBTYPE_RGB24,
                                VFW_E_CANNOT_CONNECT,
                                {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IntelligentConnectionRun, APictureGraphItBuiltShowsEveryFrame) {
    // Setup
    const auto frames = dvcodec::testing::ClipFrames({.pal = true, .frames = 3});
    ASSERT_EQ(frames.size(), 3u) << "ffmpeg could not make the clip";
    ComPtr<CFilterGraph> graph{new CFilterGraph(Registry())};
    ComPtr<TCountingSource> source{new TCountingSource(Interleaved(DvSystem::Pal625), frames)};
    ComPtr<TCountingSink> sink{
        TCountingSink::Recording(Accepting(MEDIATYPE_Video, MEDIASUBTYPE_RGB24))};
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    ASSERT_EQ(graph->Connect(source->OutputPin(), sink->InputPin()), S_OK);

    // Exercise
    const bool ended = testing::RunToEnd(graph.get(), {sink.get()});

    // Verification
    EXPECT_TRUE(ended);
    const auto records = sink->Samples();
    ASSERT_EQ(records.size(), 3u);
    for (const auto& r : records)
        EXPECT_EQ(r.bytes.size(), std::size_t(720 * 576 * 3));
    graph->Stop();
}

TEST(Registration, EveryFilterIsFoundWhereTheRecipesLookAndMadeByItsClassId) {
    // Setup
    auto registry = Registry();

    // Exercise
    const auto filters = registry->Entries(CLSID_LegacyAmFilterCategory);
    const auto compressors = registry->Entries(CLSID_VideoCompressorCategory);

    // Verification
    struct Expected {
        CLSID clsid;
        const char* name;
        DWORD merit;
    };
    for (const Expected& e : {Expected{CLSID_DVSplitter, "DV Splitter", MERIT_NORMAL},
                              Expected{CLSID_DVVideoCodec, "DV Video Decoder", MERIT_NORMAL},
                              Expected{CLSID_DVMux, "DV Muxer", MERIT_DO_NOT_USE},
                              Expected{CLSID_DVVideoEnc, "DV Video Encoder", MERIT_DO_NOT_USE},
                              Expected{CLSID_Colour, "Color Space Converter", MERIT_UNLIKELY}}) {
        auto it = std::find_if(filters.begin(), filters.end(),
                               [&](const RegisteredFilter& f) { return f.clsid == e.clsid; });
        ASSERT_NE(it, filters.end()) << e.name;
        EXPECT_EQ(it->friendlyName, e.name);
        EXPECT_EQ(it->merit, e.merit) << e.name;
        ComPtr<IBaseFilter> made = it->create();
        ASSERT_TRUE(made) << e.name;
        CLSID clsid;
        made->GetClassID(&clsid);
        EXPECT_EQ(clsid, e.clsid) << e.name;
    }
    ASSERT_EQ(compressors.size(), 1u);
    EXPECT_EQ(compressors[0].friendlyName, "DV Video Encoder");
    EXPECT_TRUE(compressors[0].create().As<IDVEnc>());
}

} // namespace
} // namespace talvence

namespace talvence {
namespace {

TEST(ColourConverterOffers, RgbInputKeepsRgb24FirstSoATeeDownstreamStaysOnIt) {
    // Setup
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{
        new TCountingSource(dvcodec::PictureType(DvSystem::Pal625, PixelLayout::Rgb24), {})};
    ComPtr<TColorSpaceConverter> csc{new TColorSpaceConverter};
    ComPtr<TCountingSink> anything{TCountingSink::Recording(AcceptingAny())};
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(csc.get(), "Converter");
    graph->AddFilter(anything.get(), "Tee");
    ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), csc->GetPin(0), nullptr), S_OK);

    // Exercise
    ASSERT_EQ(graph->ConnectDirect(csc->GetPin(1), anything->InputPin(), nullptr), S_OK);

    // Verification
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(anything->InputPin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    FreeMediaType(mt);
}

} // namespace
} // namespace talvence
