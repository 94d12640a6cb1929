#include "tests/support/FilterContract.h"

#include "platform/media/EventCodes.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include <thread>

#include <unistd.h>

namespace talvence::testing {

namespace {

using namespace std::chrono_literals;

constexpr auto kWait = 20s; // encoding filters on a loaded machine

bool HasOutput(const TContractSubject& s) {
    return s.role == TFilterRole::Transform || s.role == TFilterRole::Tee;
}

} // namespace

void ExpectAsSent(long, const std::vector<BYTE>& sent, const TReceivedSample& sample) {
    EXPECT_EQ(sample.length, static_cast<long>(sent.size()));
    EXPECT_EQ(sample.firstByte, sent.empty() ? 0 : sent[0]);
}

void PrintTo(const TContractSubject& subject, std::ostream* os) {
    *os << subject.name;
}

std::string ContractName(const ::testing::TestParamInfo<TContractSubject>& info) {
    return info.param.name;
}

// ---------------------------------------------------------------------------------------------
// Rig

TContractRig::TContractRig(const TContractSubject& s) : subject(s) {
    source->mediaType = s.input;
    source->frameTime = s.frameTime;
    source->sampleSize = s.sampleSize;
    if (s.payload) {
        payload = s.payload();
        source->SetFrames(TimedFrames(payload, s.frameTime));
        source->repeat = true;
    }
    source->sampleLimit = 0;
    if (s.beforeEachSample)
        source->beforeDeliver = [this](long) { subject.beforeEachSample(filter.get()); };
    filter = s.make(*this);
    graph->AddFilter(source.get(), "Source");
    graph->AddFilter(filter.get(), "Filter");
    if (HasOutput(s)) {
        sink = new TCountingSink;
        sink->accept = s.output;
        graph->AddFilter(sink.get(), "Sink");
    } else {
        // The filter's own EC_COMPLETE reaches the queue, so it can be counted.
        graph->CancelDefaultHandling(EC_COMPLETE);
    }
}

TContractRig::~TContractRig() {
    graph->Stop();
    for (auto& s : otherSinks)
        s->ReleaseHeldSamples();
    if (sink) sink->ReleaseHeldSamples();
    std::error_code ec;
    for (const auto& f : files)
        std::filesystem::remove(f, ec);
}

std::filesystem::path TContractRig::TempFile(const std::string& name) {
    files.push_back(std::filesystem::temp_directory_path() /
                    ("contract-" + std::to_string(::getpid()) + "-" + subject.name + "-" + name));
    return files.back();
}

HRESULT TContractRig::Connect() {
    if (subject.finish) {
        HRESULT hr = subject.finish(*this);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = graph->ConnectDirect(source->OutputPin(), FilterIn(), nullptr);
    if (FAILED(hr) || !sink) return hr;
    return graph->ConnectDirect(FirstPin(filter.get(), PINDIR_OUTPUT).get(), sink->InputPin(),
                                nullptr);
}

IPin* TContractRig::FilterIn() {
    // The pin lives as long as the filter, which the rig holds.
    return FirstPin(filter.get(), PINDIR_INPUT).get();
}

ComPtr<IMemInputPin> TContractRig::Input() {
    return FirstPin(filter.get(), PINDIR_INPUT).As<IMemInputPin>();
}

long TContractRig::Delivered() {
    return sink ? sink->received.load() : subject.rendered(*this);
}

bool TContractRig::WaitForEndOfStream(long count) {
    if (sink) return sink->WaitForEndOfStream(count, kWait);
    long code = 0;
    return graph->WaitForCompletion(static_cast<long>(kWait / 1ms), &code) == S_OK;
}

std::vector<IMemAllocator*> TContractRig::Allocators() {
    std::vector<IMemAllocator*> out;
    for (auto& pin : Pins(filter.get())) {
        auto* base = dynamic_cast<TBCBasePin*>(pin.get());
        if (auto* in = dynamic_cast<TBCBaseInputPin*>(base); in && in->PeekAllocator())
            out.push_back(in->PeekAllocator());
        if (auto* o = dynamic_cast<TBCBaseOutputPin*>(base); o && o->Allocator())
            out.push_back(o->Allocator());
    }
    return out;
}

std::vector<BYTE> TContractRig::Sent(long index) const {
    if (!payload.empty()) return payload[static_cast<std::size_t>(index) % payload.size()];
    return std::vector<BYTE>(static_cast<std::size_t>(subject.sampleSize), BYTE(index & 0xFF));
}

void FilterContract::SetUp() {
    if (GetParam().prepare) GetParam().prepare();
    rig.emplace(GetParam());
}

const std::string* FilterContract::Skipped(TContractCase c) const {
    auto it = GetParam().skips.find(c);
    return it == GetParam().skips.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------------------------
// The cases

TEST_P(FilterContract, ReceiveWhileStoppedIsRefused) {
    if (auto why = Skipped(TContractCase::ReceiveWhileStopped)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    ASSERT_EQ(rig->Connect(), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, 0, rig->Sent(0));
    if (GetParam().beforeEachSample) GetParam().beforeEachSample(rig->filter.get());

    // Exercise
    const HRESULT hr = rig->Input()->Receive(sample.get());

    // Verification
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(rig->Delivered(), 0);
}

TEST_P(FilterContract, ReceiveDuringAFlushIsDroppedAndTheFlushTravelsDownstream) {
    if (auto why = Skipped(TContractCase::ReceiveDuringFlush)) {
        GTEST_SKIP() << *why;
    }
    // Setup: the source sends nothing, not even the end of the stream.
    rig->source->holdAtEnd = true;
    ASSERT_EQ(rig->Connect(), S_OK);
    ASSERT_EQ(GetParam().holdsWhilePaused ? rig->graph->Run() : rig->graph->Pause(), S_OK);
    ComPtr<IMemAllocator> pool;
    auto sample = MakeSample(pool, 0, rig->Sent(0));
    auto input = rig->Input();
    auto receive = [&] {
        if (GetParam().beforeEachSample) GetParam().beforeEachSample(rig->filter.get());
        return input->Receive(sample.get());
    };

    // Exercise
    ASSERT_EQ(rig->FilterIn()->BeginFlush(), S_OK);
    const HRESULT during = receive();
    ASSERT_EQ(rig->FilterIn()->EndFlush(), S_OK);
    const HRESULT after = receive();

    // Verification
    EXPECT_EQ(during, S_FALSE);
    EXPECT_EQ(after, S_OK);
    // A filter that transforms on its own thread delivers after Receive returns.
    EXPECT_TRUE(WaitUntil([&] { return rig->Delivered() == 1; }));
    EXPECT_EQ(rig->Delivered(), 1);
    if (rig->sink) {
        EXPECT_EQ(rig->sink->beginFlushes, 1);
        EXPECT_EQ(rig->sink->endFlushes, 1);
    }
}

TEST_P(FilterContract, EndOfStreamIsForwardedOnceAfterTheSamples) {
    if (auto why = Skipped(TContractCase::EndOfStream)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    rig->source->sampleLimit = 3;
    ASSERT_EQ(rig->Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig->graph->Run(), S_OK);
    ASSERT_TRUE(rig->WaitForEndOfStream());
    // Anything late would arrive while the graph still runs.
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(rig->graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(rig->Delivered(), 3);
    if (rig->sink) {
        EXPECT_EQ(rig->sink->endOfStreams, 1);
        const auto samples = rig->sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(samples[i].start, i * GetParam().frameTime);
            if (GetParam().expectOutput) GetParam().expectOutput(i, rig->Sent(i), samples[i]);
        }
    } else {
        EXPECT_EQ(CountEvents(TakeEvents(rig->graph.get()), EC_COMPLETE), 1);
    }
}

TEST_P(FilterContract, AllocatorsAreCommittedOnlyWhileTheFilterIsActive) {
    if (auto why = Skipped(TContractCase::Allocators)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    ASSERT_EQ(rig->Connect(), S_OK);
    const auto allocators = rig->Allocators();
    ASSERT_FALSE(allocators.empty());

    // Exercise / Verification
    for (IMemAllocator* a : allocators)
        EXPECT_EQ(Probe(a), VFW_E_NOT_COMMITTED) << "before the first pause";
    ASSERT_EQ(rig->graph->Pause(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_NE(Probe(a), VFW_E_NOT_COMMITTED) << "paused";
    ASSERT_EQ(rig->graph->Run(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_NE(Probe(a), VFW_E_NOT_COMMITTED) << "running";
    ASSERT_EQ(rig->graph->Stop(), S_OK);
    for (IMemAllocator* a : allocators)
        EXPECT_EQ(Probe(a), VFW_E_NOT_COMMITTED) << "stopped";
}

TEST_P(FilterContract, AnAcceptedTypeChangeMidStreamTravelsWithTheSample) {
    if (auto why = Skipped(TContractCase::AcceptedTypeChange)) {
        GTEST_SKIP() << *why;
    }
    ASSERT_TRUE(GetParam().acceptedChange) << "neither a type it accepts nor a reason to skip";
    // Setup
    rig->source->sampleLimit = 3;
    rig->source->typeChangeAt = 1;
    rig->source->changedType = *GetParam().acceptedChange;
    ASSERT_EQ(rig->Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig->graph->Run(), S_OK);
    ASSERT_TRUE(rig->WaitForEndOfStream());
    ASSERT_EQ(rig->graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(rig->Delivered(), 3);
    EXPECT_EQ(CountEvents(TakeEvents(rig->graph.get()), EC_ERRORABORT), 0);
    if (rig->sink) {
        const auto samples = rig->sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        EXPECT_FALSE(samples[0].typeChanged);
        EXPECT_EQ(samples[1].typeChanged, GetParam().announcesChange);
        for (int i = 0; i < 3 && GetParam().expectOutput; ++i)
            GetParam().expectOutput(i, rig->Sent(i), samples[i]);
    }
}

TEST_P(FilterContract, ARefusedTypeChangeEndsTheStreamAndAbortsTheGraph) {
    if (auto why = Skipped(TContractCase::RefusedTypeChange)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    rig->source->sampleLimit = 3;
    rig->source->typeChangeAt = 1;
    rig->source->changedType = GetParam().refusedChange;
    ASSERT_EQ(rig->Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig->graph->Run(), S_OK);
    ASSERT_TRUE(rig->WaitForEndOfStream());
    ASSERT_EQ(rig->graph->Stop(), S_OK); // joins the source thread

    // Verification
    EXPECT_EQ(rig->Delivered(), 1);
    EXPECT_EQ(rig->source->lastDeliverResult, VFW_E_INVALIDMEDIATYPE);
    const auto events = TakeEvents(rig->graph.get());
    ASSERT_EQ(CountEvents(events, EC_ERRORABORT), 1);
    for (const auto& e : events) {
        if (e.first == EC_ERRORABORT) {
            EXPECT_EQ(e.second, VFW_E_TYPE_NOT_ACCEPTED);
        }
    }
    if (rig->sink) {
        EXPECT_EQ(rig->sink->endOfStreams, 1);
    } else {
        // A writer whose run was aborted does not call its file complete.
        const bool completes = GetParam().role == TFilterRole::Renderer;
        EXPECT_EQ(CountEvents(events, EC_COMPLETE), completes ? 1 : 0);
    }
}

TEST_P(FilterContract, DropsAreReportedOncePerRunAndOnlyWhenTheyHappen) {
    if (auto why = Skipped(TContractCase::Drops)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    constexpr long kSamples = 6;
    rig->source->sampleLimit = kSamples;
    ASSERT_EQ(rig->Connect(), S_OK);
    const bool drops = static_cast<bool>(GetParam().makeDrops);
    if (drops) GetParam().makeDrops(*rig);

    // Exercise: two runs
    std::vector<Events> runs;
    std::vector<long> delivered;
    for (int run = 1; run <= 2; ++run) {
        const long before = rig->sink ? rig->sink->received.load() : 0;
        ASSERT_EQ(rig->graph->Run(), S_OK);
        ASSERT_TRUE(rig->WaitForEndOfStream(run));
        ASSERT_EQ(rig->graph->Stop(), S_OK);
        runs.push_back(TakeEvents(rig->graph.get()));
        delivered.push_back(rig->Delivered() - before);
        for (auto& s : rig->otherSinks)
            s->ReleaseHeldSamples();
    }

    // Verification
    for (std::size_t run = 0; run < runs.size(); ++run) {
        EXPECT_EQ(CountEvents(runs[run], EC_QUALITY_CHANGE), drops ? 1 : 0) << "run " << run;
        EXPECT_EQ(delivered[run], drops ? GetParam().deliveredWhileDropping : kSamples)
            << "run " << run;
    }
    if (GetParam().processed) {
        EXPECT_EQ(GetParam().processed(rig->filter.get()), 2 * kSamples);
    }
}

TEST_P(FilterContract, StoppingTheFilterAloneReleasesAnUpstreamThreadWaitingForABuffer) {
    if (auto why = Skipped(TContractCase::StopAlone)) {
        GTEST_SKIP() << *why;
    }
    // Setup: an endless source; with an output, the sink keeps every sample so the pools run dry
    // and the source thread blocks waiting for a buffer.
    rig->source->sampleLimit = -1;
    rig->source->bufferCount = 2;
    if (rig->sink) rig->sink->holdSamples = true;
    ASSERT_EQ(rig->Connect(), S_OK);
    ASSERT_EQ(rig->graph->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return rig->Delivered() >= 2; }, 20s));

    // Exercise: the filter alone, not the graph's downstream-first order.
    const HRESULT hr = CallWithin([&] { return rig->filter->Stop(); }, 20s);

    // Verification
    EXPECT_EQ(hr, S_OK);
    FILTER_STATE state;
    rig->filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(CallWithin([&] { return rig->graph->Stop(); }, 20s), S_OK);
    EXPECT_FALSE(static_cast<TBCSourceStream*>(rig->source->GetPin(0))->ThreadExists());
}

TEST_P(FilterContract, AControlSamplePassesUntouchedAndIsNeverRendered) {
    if (auto why = Skipped(TContractCase::ControlSample)) {
        GTEST_SKIP() << *why;
    }
    // Setup
    rig->source->sampleLimit = 3;
    rig->source->controlSampleAt = 1;
    ASSERT_EQ(rig->Connect(), S_OK);

    // Exercise
    ASSERT_EQ(rig->graph->Run(), S_OK);
    ASSERT_TRUE(rig->WaitForEndOfStream());
    ASSERT_EQ(rig->graph->Stop(), S_OK);

    // Verification
    if (rig->sink) {
        const auto samples = rig->sink->Samples();
        ASSERT_EQ(samples.size(), 3u);
        const auto sent = rig->Sent(1);
        EXPECT_EQ(samples[1].streamId, AM_STREAM_CONTROL);
        EXPECT_EQ(samples[1].length, static_cast<long>(sent.size()));
        EXPECT_EQ(samples[1].firstByte, sent.front()); // as the source wrote it
        EXPECT_EQ(samples[2].streamId, AM_STREAM_MEDIA);
        if (GetParam().expectOutput) {
            GetParam().expectOutput(0, rig->Sent(0), samples[0]);
            GetParam().expectOutput(2, rig->Sent(2), samples[2]);
        }
    } else {
        EXPECT_EQ(rig->Delivered(), 2);
    }
    if (GetParam().processed) {
        EXPECT_EQ(GetParam().processed(rig->filter.get()), 2);
    }
}

} // namespace talvence::testing
