// The engine's per-sample cost: a source of 144000-byte DV frames (stamped at 25 fps, pushed as
// fast as the chain takes them) through Smart Tee -> Infinite Pin Tee -> three in-place filters ->
// Null Renderer. Reports microseconds per sample for the whole chain and per filter, and fails
// the run if any filter copied a frame: the in-place filters count samples that are not the one
// they received, the tees count their copies, and the last filter checks that every frame it sees
// lies in one of the source's own buffers.

#include "filters/BaseClass/SourceFilter.h"
#include "filters/BaseClass/TransInPlaceFilter.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/FormatBlocks.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/basic/InfTee.h"
#include "platform/media/filters/basic/NullRenderer.h"
#include "platform/media/filters/basic/SmartTee.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <vector>

namespace talvence {
namespace {

constexpr long kFrameBytes = 144000;
constexpr REFERENCE_TIME kFrameTime = 400000; // 25 fps
constexpr long kSamplesPerRun = 20000;
constexpr int kBuffers = 4;

CMediaType DvType() {
    CMediaType mt(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    mt.SetFormatType(FORMAT_DvInfo);
    DVINFO info;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    mt.SetSampleSize(kFrameBytes);
    return mt;
}

class TBenchSource;

// Stamps and sizes each buffer without touching its bytes, as a capture device's pool would
// hand over frames the hardware already wrote.
class TBenchStream : public TBCSourceStream {
public:
    explicit TBenchStream(TBenchSource* source);

    HRESULT CheckMediaType(const CMediaType* mt) override {
        return *mt == DvType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = DvType();
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        request->cBuffers = std::max<LONG>(request->cBuffers, kBuffers);
        request->cbBuffer = std::max<LONG>(request->cbBuffer, kFrameBytes);
        ALLOCATOR_PROPERTIES actual;
        HRESULT hr = allocator->SetProperties(request, &actual);
        if (FAILED(hr)) return hr;
        return actual.cbBuffer >= kFrameBytes ? S_OK : E_FAIL;
    }
    HRESULT OnThreadCreate() override;
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    TBenchSource* source_;
    long filled_ = 0; // streaming thread
};

class TBenchSource : public TBCSource {
public:
    TBenchSource() : TBCSource("Bench source", nullptr, GUID_NULL) {
        AddPin(std::make_unique<TBenchStream>(this));
    }
    IPin* OutputPin() { return GetPin(0); }

    long limit = kSamplesPerRun;
    // Every buffer of this run's pool. Written and read on the streaming thread only: the whole
    // chain delivers synchronously on it.
    std::set<const BYTE*> buffers;
};

TBenchStream::TBenchStream(TBenchSource* source)
    : TBCSourceStream("Bench source pin", source, "Out"), source_(source) {}

HRESULT TBenchStream::OnThreadCreate() {
    filled_ = 0;
    source_->buffers.clear(); // a new commit may have placed the pool elsewhere
    return S_OK;
}

HRESULT TBenchStream::FillBuffer(IMediaSample* sample) {
    if (filled_ >= source_->limit) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    // The pool cycles through a handful of buffers: the first rounds name them all.
    if (filled_ < kBuffers * 2) source_->buffers.insert(data);
    sample->SetActualDataLength(kFrameBytes);
    REFERENCE_TIME start = filled_ * kFrameTime, stop = start + kFrameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(1);
    ++filled_;
    return S_OK;
}

// A pass-through in-place filter that does what the own pass-through filters do per sample
// beyond the framework: a look at the sample's properties.
class TBenchPass : public TBCTransInPlaceFilter {
public:
    explicit TBenchPass(const std::set<const BYTE*>* sourceBuffers = nullptr)
        : TBCTransInPlaceFilter("Bench pass", nullptr, GUID_NULL, false),
          sourceBuffers_(sourceBuffers) {}

    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT Receive(IMediaSample* sample) override {
        received_ = sample;
        return TBCTransInPlaceFilter::Receive(sample);
    }
    HRESULT Transform(IMediaSample* sample) override {
        if (sample != received_) ++copies;
        if (sample->IsSyncPoint() != S_OK) ++notSync;
        if (sourceBuffers_) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            if (!sourceBuffers_->count(data)) ++foreignBuffers;
        }
        return S_OK;
    }

    std::atomic<long> copies{0};
    std::atomic<long> notSync{0};
    std::atomic<long> foreignBuffers{0};

private:
    IMediaSample* received_ = nullptr;           // receive lock; identity only
    const std::set<const BYTE*>* sourceBuffers_; // the source's streaming thread
};

struct Chain {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TBenchSource> source{new TBenchSource};
    ComPtr<TSmartTee> smartTee;
    ComPtr<TInfTee> infTee;
    std::vector<ComPtr<TBenchPass>> passes;
    ComPtr<TNullRenderer> renderer{new TNullRenderer};
    int filters = 1; // the renderer

    explicit Chain(bool full) {
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(renderer.get(), "Null Renderer");
        if (!full) {
            graph->ConnectDirect(source->OutputPin(), renderer->GetPin(0), nullptr);
            return;
        }
        smartTee = new TSmartTee;
        infTee = new TInfTee;
        graph->AddFilter(smartTee.get(), "Smart Tee");
        graph->AddFilter(infTee.get(), "Infinite");
        for (int i = 0; i < 3; ++i) {
            passes.emplace_back(new TBenchPass(i == 2 ? &source->buffers : nullptr));
            graph->AddFilter(passes.back().get(), "Pass" + std::to_string(i + 1));
        }
        filters += 5;
        graph->ConnectDirect(source->OutputPin(), smartTee->GetPin(0), nullptr);
        graph->ConnectDirect(smartTee->GetPin(1), infTee->GetPin(0), nullptr);
        IPin* out = infTee->GetPin(1);
        for (auto& p : passes) {
            graph->ConnectDirect(out, p->GetPin(0), nullptr);
            out = p->GetPin(1);
        }
        graph->ConnectDirect(out, renderer->GetPin(0), nullptr);
    }
    ~Chain() { graph->Stop(); }

    // One run of kSamplesPerRun samples; false when it did not complete.
    bool RunOnce() {
        if (FAILED(graph->Run())) return false;
        long code = 0;
        const bool done = graph->WaitForCompletion(60000, &code) == S_OK && code == EC_COMPLETE;
        graph->Stop();
        return done && renderer->SamplesRendered() == source->limit;
    }

    // Copies made anywhere along the chain.
    long Copies() const {
        long n = 0;
        for (auto& p : passes)
            n += p->copies + p->foreignBuffers + (p->UsingDifferentAllocators() ? 1 : 0);
        if (smartTee) n += smartTee->CapturePin()->Copies();
        if (infTee) n += infTee->Output(0)->Copies();
        return n;
    }
};

void Report(benchmark::State& state, std::chrono::nanoseconds elapsed, long samples, int filters) {
    const double usPerSample = std::chrono::duration<double, std::micro>(elapsed).count() / samples;
    state.counters["us_per_sample"] = usPerSample;
    state.counters["us_per_sample_per_filter"] = usPerSample / filters;
    state.counters["filters"] = filters;
    state.SetItemsProcessed(samples);
}

void BM_EngineChain(benchmark::State& state) {
    Chain chain(true);
    std::chrono::nanoseconds elapsed{0};
    long samples = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!chain.RunOnce()) {
            state.SkipWithError("the run did not complete");
            return;
        }
        elapsed += std::chrono::steady_clock::now() - start;
        samples += chain.source->limit;
    }
    if (chain.Copies() != 0) {
        state.SkipWithError("a frame was copied on the in-place path");
        return;
    }
    if (!chain.smartTee->CapturePin()->SharesInputAllocator() ||
        !chain.infTee->Output(0)->SharesInputAllocator()) {
        state.SkipWithError("a tee does not pass the source's buffers on");
        return;
    }
    Report(state, elapsed, samples, chain.filters);
    state.counters["copies"] = chain.Copies();
}
BENCHMARK(BM_EngineChain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same source straight into the renderer: what the chain adds over it is the filters' own
// cost.
void BM_SourceToRenderer(benchmark::State& state) {
    Chain chain(false);
    std::chrono::nanoseconds elapsed{0};
    long samples = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!chain.RunOnce()) {
            state.SkipWithError("the run did not complete");
            return;
        }
        elapsed += std::chrono::steady_clock::now() - start;
        samples += chain.source->limit;
    }
    Report(state, elapsed, samples, chain.filters);
}
BENCHMARK(BM_SourceToRenderer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace
} // namespace talvence

BENCHMARK_MAIN();
