// A picture's origin travels through the framework only where filters declare they keep it.

#include "Chain.h"

#include "filters/BaseClass/SampleCopy.h"

namespace talvence {
namespace {

const auto kOrigin = std::make_shared<const PictureOrigin>();

// Attaches kOrigin to every sample, in place.
class TStamp : public TBCTransInPlaceFilter {
public:
    TStamp()
        : TBCTransInPlaceFilter("Stamp", nullptr, MakeGuid("0C8E2F11-3D44-4B9A-8A71-6E5F4D3C2B0A"),
                                false) {
        keepsPictureOrigin_ = true;
    }
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Transform(IMediaSample* sample) override {
        SetPictureOrigin(sample, kOrigin);
        return S_OK;
    }
};

template <typename Filter> class Keeping : public Filter {
public:
    template <typename... Args> explicit Keeping(Args... args) : Filter(args...) {
        this->keepsPictureOrigin_ = true;
    }
};

// source -> stamp -> filter -> sink; the origins the sink received.
std::vector<std::shared_ptr<const PictureOrigin>> OriginsThrough(TBCTransformFilter* filter) {
    ComPtr<TBCTransformFilter> stamp(new TStamp);
    Chain chain(filter);
    chain.source->sampleLimit = 2;
    chain.graph->AddFilter(stamp.get(), "Stamp");
    EXPECT_EQ(chain.graph->ConnectDirect(chain.source->OutputPin(), stamp->GetPin(0), nullptr),
              S_OK);
    EXPECT_EQ(chain.graph->ConnectDirect(stamp->GetPin(1), chain.FilterIn(), nullptr), S_OK);
    EXPECT_EQ(chain.graph->ConnectDirect(chain.FilterOut(), chain.sink->InputPin(), nullptr), S_OK);
    EXPECT_EQ(chain.graph->Run(), S_OK);
    EXPECT_TRUE(chain.sink->WaitForEndOfStream(1));
    chain.graph->Stop();
    std::vector<std::shared_ptr<const PictureOrigin>> origins;
    for (const auto& s : chain.sink->Samples())
        origins.push_back(s.origin);
    return origins;
}

TEST(PictureOriginTest, OnlyFiltersThatDeclareItPassTheOriginOn) {
    using Origins = std::vector<std::shared_ptr<const PictureOrigin>>;
    EXPECT_EQ(OriginsThrough(new TInvert), Origins(2, nullptr));
    EXPECT_EQ(OriginsThrough(new Keeping<TInvert>), Origins(2, kOrigin));
    EXPECT_EQ(OriginsThrough(new TPassInPlace(true)), Origins(2, nullptr));
    EXPECT_EQ(OriginsThrough(new Keeping<TPassInPlace>(true)), Origins(2, kOrigin));
}

TEST(PictureOriginTest, ACopyKeepsItAndAReusedBufferForgetsIt) {
    ComPtr<CMemAllocator> allocator(new CMemAllocator);
    ALLOCATOR_PROPERTIES request{2, 16, 1, 0}, actual;
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    ComPtr<IMediaSample> a, b;
    ASSERT_EQ(allocator->GetBuffer(a.put(), nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(b.put(), nullptr, nullptr, 0), S_OK);
    SetPictureOrigin(a.get(), kOrigin);
    AM_SAMPLE2_PROPERTIES props;
    ReadSampleProperties(a.get(), &props);
    ASSERT_EQ(CopySampleContents(a.get(), b.get(), props), S_OK);
    EXPECT_EQ(PictureOriginOf(b.get()), kOrigin);

    IMediaSample* first = a.get();
    a = nullptr;
    ComPtr<IMediaSample> again;
    ASSERT_EQ(allocator->GetBuffer(again.put(), nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(again.get(), first);
    EXPECT_EQ(PictureOriginOf(again.get()), nullptr);
    allocator->Decommit();
}

} // namespace
} // namespace talvence
