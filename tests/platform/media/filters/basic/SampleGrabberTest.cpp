// The Sample Grabber as the still-image grab uses it: RGB24 with a VIDEOINFOHEADER, a copy of the
// last sample, clean failures before the first frame.

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/Waits.h"

#include "platform/media/FormatBlocks.h"
#include "platform/media/filters/basic/SampleGrabber.h"

namespace talvence::testing {
namespace {

constexpr LONG kWidth = 8, kHeight = 4;
constexpr long kImage = kWidth * kHeight * 3;

CMediaType Rgb24VideoInfo() {
    CMediaType mt(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    mt.SetFormatType(FORMAT_VideoInfo);
    return mt;
}

struct GrabberGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<TSampleGrabberFilter> grabber{new TSampleGrabberFilter};
    ComPtr<TCountingSink> sink{new TCountingSink};

    GrabberGraph() {
        source->mediaType = MakeTestVideoType(kWidth, kHeight);
        source->sampleSize = kImage;
        source->sampleLimit = 0;
        const CMediaType wanted = Rgb24VideoInfo();
        grabber->SetMediaType(&wanted);
        grabber->SetBufferSamples(1);
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(grabber.get(), "sg");
        graph->AddFilter(sink.get(), "Sink");
    }
    ~GrabberGraph() { graph->Stop(); }

    HRESULT Connect() {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(), grabber->GetPin(0), nullptr);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(grabber->GetPin(1), sink->InputPin(), nullptr);
    }
    HRESULT RunToEnd() {
        const long ends = sink->endOfStreams + 1;
        HRESULT hr = graph->Run();
        if (FAILED(hr)) return hr;
        if (!sink->WaitForEndOfStream(ends)) return E_ABORT;
        return graph->Stop();
    }
};

class BufferCallback : public ISampleGrabberCB {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == ISampleGrabberCB::iid) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; } // lives on the test's stack
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double time, BYTE* buffer, long length) override {
        times.push_back(time);
        firstBytes.push_back(length > 0 ? buffer[0] : 0);
        return S_OK;
    }

    std::atomic<ULONG> refs{0};
    std::vector<double> times;    // streaming thread until stopped
    std::vector<BYTE> firstBytes; // streaming thread until stopped
};

TEST(SampleGrabber, FailsCleanlyBeforeTheFirstFrameAndWhenNotAskedToBuffer) {
    // Setup
    GrabberGraph g;
    long size = 1234;
    BYTE byte = 0x5A;

    // Exercise / Verification: unconnected, then connected and started without a frame
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, &byte), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_EQ(g.graph->Pause(), S_OK);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(nullptr, nullptr), E_POINTER);
    g.grabber->SetBufferSamples(0);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), E_INVALIDARG);
    EXPECT_EQ(size, 1234);
    EXPECT_EQ(byte, 0x5A);
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(g.grabber->GetCurrentSample(sample.put()), E_NOTIMPL);
}

TEST(SampleGrabber, KeepsACopyOfTheLastSampleUntilTheNextStart) {
    // Setup
    GrabberGraph g;
    g.source->sampleLimit = 3;
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.RunToEnd(), S_OK);
    long needed = 0;
    HRESULT sized = g.grabber->GetCurrentBuffer(&needed, nullptr);
    std::vector<BYTE> copy(kImage, 0xEE);
    long room = kImage;
    HRESULT copied = g.grabber->GetCurrentBuffer(&room, copy.data());
    long tooSmall = kImage - 1;
    HRESULT refused = g.grabber->GetCurrentBuffer(&tooSmall, copy.data());
    g.source->sampleLimit = 0;
    ASSERT_EQ(g.RunToEnd(), S_OK);
    HRESULT afterRestart = g.grabber->GetCurrentBuffer(&needed, nullptr);

    // Verification
    EXPECT_EQ(sized, S_OK);
    EXPECT_EQ(needed, kImage);
    EXPECT_EQ(copied, S_OK);
    EXPECT_EQ(room, kImage);
    EXPECT_EQ(copy, std::vector<BYTE>(kImage, 2)); // the third sample's bytes
    EXPECT_EQ(refused, E_OUTOFMEMORY);
    EXPECT_EQ(afterRestart, VFW_E_WRONG_STATE);
    EXPECT_EQ(g.sink->received, 3); // and everything went on downstream
}

TEST(SampleGrabber, AcceptsOnlyTheTypeItWasGivenAndReportsTheStreamsType) {
    // Setup
    GrabberGraph refusing;
    refusing.source->mediaType = CMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
    refusing.source->mediaType.SetFormatType(FORMAT_VideoInfo);
    refusing.source->mediaType.SetFormat(MakeTestVideoType(kWidth, kHeight).Format(),
                                         sizeof(VIDEOINFOHEADER));
    GrabberGraph g;
    g.source->sampleLimit = 2;
    g.source->typeChangeAt = 1;
    g.source->changedType = MakeTestVideoType(4, 4);

    // Exercise
    HRESULT refused = refusing.Connect();
    ASSERT_EQ(g.Connect(), S_OK);
    AM_MEDIA_TYPE connected;
    ASSERT_EQ(g.grabber->GetConnectedMediaType(&connected), S_OK);
    ASSERT_EQ(g.RunToEnd(), S_OK);
    AM_MEDIA_TYPE afterChange;
    ASSERT_EQ(g.grabber->GetConnectedMediaType(&afterChange), S_OK);

    // Verification
    EXPECT_TRUE(FAILED(refused));
    EXPECT_TRUE(MediaTypesEqual(connected, MakeTestVideoType(kWidth, kHeight)));
    EXPECT_TRUE(MediaTypesEqual(afterChange, MakeTestVideoType(4, 4)));
    FreeMediaType(connected);
    FreeMediaType(afterChange);
}

TEST(SampleGrabber, ATooShortVideoFormatBlockIsRefused) {
    // Setup: a VIDEOINFOHEADER type whose block stops before the bitmap header
    GrabberGraph g;
    g.source->mediaType.ReallocFormatBuffer(40);

    // Exercise
    HRESULT hr = g.Connect();

    // Verification
    EXPECT_TRUE(FAILED(hr));
}

TEST(SampleGrabber, OneShotEndsTheStreamAfterTheFirstSample) {
    // Setup
    GrabberGraph g;
    g.source->sampleLimit = 5;
    g.grabber->SetOneShot(1);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_TRUE(g.sink->WaitForEndOfStream(1));
    ASSERT_TRUE(WaitUntil([&] { return g.source->lastDeliverResult != S_OK; }));
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(g.sink->received, 1);
    EXPECT_EQ(g.sink->endOfStreams, 1);
    EXPECT_EQ(g.source->lastDeliverResult, S_FALSE);
    long size = 0;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, kImage);
}

TEST(SampleGrabber, TheBufferCallbackSeesEverySampleWithItsTime) {
    // Setup
    GrabberGraph g;
    g.source->sampleLimit = 3;
    BufferCallback callback;
    ASSERT_EQ(g.grabber->SetCallback(&callback, 1), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);

    // Exercise
    ASSERT_EQ(g.RunToEnd(), S_OK);
    ASSERT_EQ(g.grabber->SetCallback(nullptr, 1), S_OK);

    // Verification
    EXPECT_EQ(callback.firstBytes, (std::vector<BYTE>{0, 1, 2}));
    EXPECT_EQ(callback.times, (std::vector<double>{0.0, 0.04, 0.08}));
    EXPECT_EQ(callback.refs, 0u);
    EXPECT_EQ(g.grabber->SetCallback(nullptr, 2), E_INVALIDARG);
}

} // namespace
} // namespace talvence::testing
