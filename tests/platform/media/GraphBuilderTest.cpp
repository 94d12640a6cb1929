// Intelligent connection (checked against tables of expected graphs) and the capture graph
// builder.

#include "platform/media/CaptureGraphBuilder.h"
#include "platform/media/FilterGraph.h"

#include "filters/BaseClass/CountingFilters.h"
#include "filters/BaseClass/TransformFilter.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/PinWalk.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

// Converts one video subtype into another (a copying transform that copies the bytes).
class TSubtypeConverter : public TBCTransformFilter {
public:
    TSubtypeConverter(GUID from, GUID to)
        : TBCTransformFilter("converter", nullptr, GUID_NULL), from_(from), to_(to) {}

    HRESULT CheckInputType(const CMediaType* mt) override {
        return mt->majortype == MEDIATYPE_Video && mt->subtype == from_ ? S_OK
                                                                        : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
        return in->subtype == from_ && out->subtype == to_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = InputPin()->CurrentMediaType();
        mt->SetSubtype(to_);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override {
        request->cBuffers = std::max<LONG>(request->cBuffers, 1);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, 4096);
        ALLOCATOR_PROPERTIES actual;
        return alloc->SetProperties(request, &actual);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
        BYTE *src = nullptr, *dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const long n = std::min(in->GetActualDataLength(), out->GetSize());
        std::memcpy(dst, src, static_cast<std::size_t>(n));
        return out->SetActualDataLength(n);
    }

private:
    GUID from_, to_;
};

struct Converter {
    const char* name;
    GUID from;
    GUID to;
    DWORD merit;
};

RegisteredFilter ConverterEntry(const Converter& c, int index) {
    RegisteredFilter f;
    f.clsid = MakeGuid("7A6B5C4D-0000-4000-8000-000000000000");
    f.clsid.Data4[7] = static_cast<BYTE>(index);
    f.friendlyName = c.name;
    f.merit = c.merit;
    f.pins = {{PINDIR_INPUT, {{MEDIATYPE_Video, c.from}}},
              {PINDIR_OUTPUT, {{MEDIATYPE_Video, c.to}}}};
    const GUID from = c.from, to = c.to;
    f.create = [from, to] { return ComPtr<IBaseFilter>(new TSubtypeConverter(from, to)); };
    return f;
}

// Names of the filters from the source's output to the sink, following the connections.
std::vector<std::string> ChainFrom(IPin* out) {
    std::vector<std::string> names;
    ComPtr<IPin> pin(out);
    for (int guard = 0; pin && guard < 10; ++guard) {
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.put()))) break;
        PIN_INFO info;
        peer->QueryPinInfo(&info);
        auto filter = ComPtr<IBaseFilter>::Attach(info.pFilter);
        FILTER_INFO fi;
        filter->QueryFilterInfo(&fi);
        if (fi.pGraph) fi.pGraph->Release();
        names.push_back(fi.achName);
        pin = nullptr;
        ComPtr<IEnumPins> pins;
        filter->EnumPins(pins.put());
        IPin* p = nullptr;
        ULONG n = 0;
        while (pins->Next(1, &p, &n) == S_OK) {
            auto candidate = ComPtr<IPin>::Attach(p);
            PIN_DIRECTION dir;
            candidate->QueryDirection(&dir);
            if (dir == PINDIR_OUTPUT) pin = candidate;
        }
    }
    return names;
}

struct ConnectCase {
    const char* title;
    GUID sourceSubtype;
    std::vector<Converter> registered;
    HRESULT expectedResult;
    std::vector<std::string> expectedChain; // after the source
    std::vector<Converter> inGraph = {};    // added to the graph before Connect, by name
};

void PrintTo(const ConnectCase& c, std::ostream* os) {
    *os << c.title;
}

const GUID RGB24 = MEDIASUBTYPE_RGB24;
const GUID RGB32 = MEDIASUBTYPE_RGB32;
const GUID YUY2 = MEDIASUBTYPE_YUY2;

class IntelligentConnect : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(IntelligentConnect, BuildsTheExpectedGraph) {
    // Setup: a source of the case's subtype and a sink that takes RGB24 only.
    const ConnectCase& c = GetParam();
    auto registry = std::make_shared<FilterRegistry>();
    for (std::size_t i = 0; i < c.registered.size(); ++i)
        registry->Register(CLSID_LegacyAmFilterCategory,
                           ConverterEntry(c.registered[i], static_cast<int>(i)));
    ComPtr<CFilterGraph> graph(new CFilterGraph(registry));
    ComPtr<TCountingSource> source(new TCountingSource);
    source->mediaType.SetSubtype(c.sourceSubtype);
    source->sampleLimit = 2;
    ComPtr<TCountingSink> sink(new TCountingSink);
    sink->accept = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_RGB24; };
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(sink.get(), "Sink");
    std::vector<ComPtr<TSubtypeConverter>> joined;
    for (const Converter& j : c.inGraph) {
        joined.emplace_back(new TSubtypeConverter(j.from, j.to));
        graph->AddFilter(joined.back().get(), j.name);
    }

    // Exercise
    HRESULT hr = graph->Connect(source->OutputPin(), sink->InputPin());

    // Verification
    EXPECT_EQ(hr, c.expectedResult);
    EXPECT_EQ(ChainFrom(source->OutputPin()), c.expectedChain);
    ComPtr<IEnumFilters> filters;
    graph->EnumFilters(filters.put());
    IBaseFilter* all[8] = {};
    ULONG count = 0;
    filters->Next(8, all, &count);
    for (ULONG i = 0; i < count; ++i)
        all[i]->Release();
    // Failed attempts leave nothing behind: source, sink and the chain's converters only, and the
    // joined filters, unconnected when off the chain.
    std::size_t others = c.expectedChain.empty() ? 0 : c.expectedChain.size() - 1;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (std::count(c.expectedChain.begin(), c.expectedChain.end(), c.inGraph[i].name)) continue;
        ++others;
        for (auto& pin : PinsOf(joined[i].get()))
            EXPECT_FALSE(IsConnected(pin.get())) << c.inGraph[i].name;
    }
    EXPECT_EQ(count, 2 + others);
    if (SUCCEEDED(hr)) {
        ASSERT_EQ(graph->Run(), S_OK);
        EXPECT_TRUE(sink->WaitForEndOfStream(1));
        EXPECT_EQ(sink->received, 2);
        graph->Stop();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, IntelligentConnect,
    ::testing::Values(ConnectCase{"DirectWhenTheTypesAgree",
                                  RGB24,
                                  {{"RGB32 to RGB24", RGB32, RGB24, MERIT_NORMAL}},
                                  S_OK,
                                  {"Sink"}},
                      ConnectCase{"OneConverter",
                                  RGB32,
                                  {{"RGB32 to RGB24", RGB32, RGB24, MERIT_NORMAL}},
                                  S_OK,
                                  {"RGB32 to RGB24", "Sink"}},
                      ConnectCase{"HigherMeritWins",
                                  RGB32,
                                  {{"Unlikely", RGB32, RGB24, MERIT_UNLIKELY},
                                   {"Preferred", RGB32, RGB24, MERIT_PREFERRED}},
                                  S_OK,
                                  {"Preferred", "Sink"}},
                      ConnectCase{"DoNotUseIsNeverInserted",
                                  RGB32,
                                  {{"Hidden", RGB32, RGB24, MERIT_DO_NOT_USE}},
                                  VFW_E_CANNOT_CONNECT,
                                  {}},
                      ConnectCase{"TwoConvertersInARow",
                                  YUY2,
                                  {{"RGB32 to RGB24", RGB32, RGB24, MERIT_NORMAL},
                                   {"YUY2 to RGB32", YUY2, RGB32, MERIT_NORMAL}},
                                  S_OK,
                                  {"YUY2 to RGB32", "RGB32 to RGB24", "Sink"}},
                      ConnectCase{"ADeadEndIsTakenOutAgain",
                                  YUY2,
                                  {{"YUY2 to RGB32", YUY2, RGB32, MERIT_PREFERRED},
                                   {"YUY2 to RGB24", YUY2, RGB24, MERIT_UNLIKELY}},
                                  S_OK,
                                  {"YUY2 to RGB24", "Sink"}},
                      ConnectCase{"AConverterInTheGraphComesBeforeTheRegistry",
                                  RGB32,
                                  {{"RGB32 to RGB24", RGB32, RGB24, MERIT_PREFERRED}},
                                  S_OK,
                                  {"Joined", "Sink"},
                                  {{"Joined", RGB32, RGB24, 0}}},
                      ConnectCase{"ADeadEndInTheGraphIsLeftUnconnected",
                                  YUY2,
                                  {{"YUY2 to RGB24", YUY2, RGB24, MERIT_UNLIKELY}},
                                  S_OK,
                                  {"YUY2 to RGB24", "Sink"},
                                  {{"Joined dead end", YUY2, RGB32, 0}}}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(RenderTest, AnOutputIsRenderedThroughConvertersIntoARegisteredRenderer) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    registry->Register(CLSID_LegacyAmFilterCategory,
                       ConverterEntry({"RGB32 to RGB24", RGB32, RGB24, MERIT_NORMAL}, 1));
    RegisteredFilter renderer;
    renderer.clsid = MakeGuid("7A6B5C4D-0000-4000-8000-0000000000FF");
    renderer.friendlyName = "Renderer";
    renderer.merit = MERIT_NORMAL;
    renderer.pins = {{PINDIR_INPUT, {{MEDIATYPE_Video, RGB24}}}};
    renderer.create = [] {
        auto* sink = new TCountingSink;
        sink->accept = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_RGB24; };
        return ComPtr<IBaseFilter>(sink);
    };
    registry->Register(CLSID_LegacyAmFilterCategory, renderer);
    ComPtr<CFilterGraph> graph(new CFilterGraph(registry));
    ComPtr<TCountingSource> source(new TCountingSource);
    source->mediaType.SetSubtype(RGB32);
    graph->AddFilter(source.get(), "Source");
    ComPtr<TCountingSource> audio(new TCountingSource);
    audio->mediaType = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    graph->AddFilter(audio.get(), "Audio");

    // Exercise
    HRESULT video = graph->Render(source->OutputPin());
    HRESULT sound = graph->Render(audio->OutputPin());

    // Verification
    EXPECT_EQ(video, S_OK);
    EXPECT_EQ(ChainFrom(source->OutputPin()),
              (std::vector<std::string>{"RGB32 to RGB24", "Renderer"}));
    EXPECT_EQ(sound, VFW_E_CANNOT_RENDER);
    EXPECT_EQ(graph->Render(source->OutputPin()), VFW_E_ALREADY_CONNECTED);
}

// A file writer stand-in: takes the multiplexed stream and remembers its file name.
class TFakeFileWriter : public TCountingSink, public IFileSinkFilter {
public:
    TFakeFileWriter() {
        accept = [](const CMediaType& mt) { return mt.majortype == MEDIATYPE_Stream; };
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return TCountingSink::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return TCountingSink::AddRef(); }
    ULONG Release() override { return TCountingSink::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IFileSinkFilter::iid)
            return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
        return TCountingSink::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT SetFileName(const std::string& name, const AM_MEDIA_TYPE*) override {
        file = name;
        return S_OK;
    }
    HRESULT GetCurFile(std::string* name, AM_MEDIA_TYPE*) override {
        *name = file;
        return S_OK;
    }
    std::string file;
};

class CaptureGraphBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry->Register(CLSID_LegacyAmFilterCategory,
                           ConverterEntry({"RGB32 to RGB24", RGB32, RGB24, MERIT_NORMAL}, 1));
        // A device with a capture pin (RGB32) and a preview pin (RGB24).
        source->mediaType.SetSubtype(RGB32);
        capturePin()->SetPinCategory(PIN_CATEGORY_CAPTURE);
        source->AddPin(std::make_unique<TCountingSourceStream>(source.get()));
        previewPin()->SetPinCategory(PIN_CATEGORY_PREVIEW);
        graph->AddFilter(source.get(), "Device");
        sink->accept = [](const CMediaType& mt) { return mt.subtype == MEDIASUBTYPE_RGB24; };
        graph->AddFilter(sink.get(), "Sink");
        ASSERT_EQ(builder->SetFiltergraph(graph.get()), S_OK);
    }
    TBCSourceStream* capturePin() { return static_cast<TBCSourceStream*>(source->GetPin(0)); }
    TBCSourceStream* previewPin() { return static_cast<TBCSourceStream*>(source->GetPin(1)); }

    std::shared_ptr<FilterRegistry> registry = std::make_shared<FilterRegistry>();
    ComPtr<CFilterGraph> graph{new CFilterGraph(registry)};
    ComPtr<CCaptureGraphBuilder> builder{new CCaptureGraphBuilder(registry)};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TCountingSink> sink{new TCountingSink};
};

TEST_F(CaptureGraphBuilderTest, FindPinMeetsEveryCriterionGiven) {
    // Setup
    ComPtr<IPin> preview, second, audio, input, freeCapture;

    // Exercise
    HRESULT byCategory = builder->FindPin(source.get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW,
                                          nullptr, 0, 0, preview.put());
    HRESULT byIndex = builder->FindPin(source.get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, 0, 1,
                                       second.put());
    HRESULT byType =
        builder->FindPin(source.get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, 0, 0, audio.put());
    HRESULT byDirection =
        builder->FindPin(source.get(), PINDIR_INPUT, nullptr, nullptr, 0, 0, input.put());
    graph->Connect(capturePin(), sink->InputPin());
    HRESULT unconnected = builder->FindPin(source.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE,
                                           nullptr, 1, 0, freeCapture.put());

    // Verification
    ASSERT_EQ(byCategory, S_OK);
    EXPECT_EQ(preview.get(), static_cast<IPin*>(previewPin()));
    ASSERT_EQ(byIndex, S_OK);
    EXPECT_EQ(second.get(), static_cast<IPin*>(previewPin()));
    EXPECT_EQ(byType, E_FAIL);
    EXPECT_EQ(byDirection, E_FAIL);
    EXPECT_EQ(unconnected, E_FAIL);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamConnectsTheCategorysPinThroughWhatItNeeds) {
    // Setup / Exercise
    HRESULT hr =
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                              static_cast<IBaseFilter*>(source.get()), nullptr, sink.get());
    HRESULT again =
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                              static_cast<IBaseFilter*>(source.get()), nullptr, sink.get());

    // Verification
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(ChainFrom(capturePin()), (std::vector<std::string>{"RGB32 to RGB24", "Sink"}));
    EXPECT_FALSE(previewPin()->IsConnected());
    EXPECT_TRUE(FAILED(again)); // no free capture pin left
}

TEST_F(CaptureGraphBuilderTest, FindInterfaceLooksOnPinsAndAlongTheStreamInTheDirectionAsked) {
    // Setup
    sink->audio = true; // the sink answers IBasicAudio
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr,
                                    static_cast<IBaseFilter*>(source.get()), nullptr, sink.get()),
              S_OK);
    ComPtr<IBasicAudio> downstream, notUpstream;
    ComPtr<IKsPropertySet> onPin, upstream;

    // Exercise
    HRESULT down = builder->FindInterface(nullptr, nullptr, source.get(), IBasicAudio::iid,
                                          downstream.putVoid());
    HRESULT up = builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, source.get(),
                                        IBasicAudio::iid, notUpstream.putVoid());
    HRESULT pin = builder->FindInterface(&PIN_CATEGORY_PREVIEW, nullptr, source.get(),
                                         IKsPropertySet::iid, onPin.putVoid());
    HRESULT fromSink = builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, sink.get(),
                                              IKsPropertySet::iid, upstream.putVoid());

    // Verification
    EXPECT_EQ(down, S_OK);
    EXPECT_EQ(downstream.get(), static_cast<IBasicAudio*>(sink.get()));
    EXPECT_EQ(up, E_NOINTERFACE);
    EXPECT_EQ(pin, S_OK);
    EXPECT_EQ(onPin.get(), static_cast<IKsPropertySet*>(previewPin()));
    EXPECT_EQ(fromSink, S_OK);
}

TEST_F(CaptureGraphBuilderTest, OutputFileNeedsItsRegisteredWriters) {
    // Setup
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> fileSink;

    // Exercise: nothing registered yet
    HRESULT missing =
        builder->SetOutputFileName(&MEDIASUBTYPE_Avi, "/tmp/clip.avi", mux.put(), fileSink.put());
    RegisteredFilter aviMux;
    aviMux.clsid = CLSID_AviDest;
    aviMux.friendlyName = "AVI Mux";
    aviMux.create = [] {
        auto* m = new TCountingSource; // its output carries the multiplexed stream
        m->mediaType = CMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
        m->mediaType.SetFormatType(FORMAT_None);
        return ComPtr<IBaseFilter>(m);
    };
    RegisteredFilter writer;
    writer.clsid = CLSID_FileWriter;
    writer.friendlyName = "File writer";
    writer.create = [] { return ComPtr<IBaseFilter>(new TFakeFileWriter); };
    registry->Register(CLSID_LegacyAmFilterCategory, aviMux);
    registry->Register(CLSID_LegacyAmFilterCategory, writer);
    HRESULT made =
        builder->SetOutputFileName(&MEDIASUBTYPE_Avi, "/tmp/clip.avi", mux.put(), fileSink.put());

    // Verification
    EXPECT_EQ(missing, REGDB_E_CLASSNOTREG);
    ASSERT_EQ(made, S_OK);
    ASSERT_TRUE(mux && fileSink);
    std::string file;
    fileSink->GetCurFile(&file, nullptr);
    EXPECT_EQ(file, "/tmp/clip.avi");
    ComPtr<IPin> muxOut;
    ASSERT_EQ(builder->FindPin(mux.get(), PINDIR_OUTPUT, nullptr, nullptr, 0, 0, muxOut.put()),
              S_OK);
    EXPECT_EQ(ChainFrom(muxOut.get()), (std::vector<std::string>{"File writer"}));
    EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_PCM, "x", nullptr, nullptr), E_INVALIDARG);
}

} // namespace
} // namespace talvence
