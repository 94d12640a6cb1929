#pragma once
// The framework's contract, one parametrised suite run on every filter with an input pin: a
// sample received while stopped is refused; during a flush it is dropped and the flush travels
// downstream; the end of the stream is forwarded once, after the samples (a renderer reports
// EC_COMPLETE once); allocators are committed only while the filter is active; an accepted type
// change mid-stream travels with the sample; a refused one ends the stream and aborts the graph;
// drops are reported once per run and only when they happen; stopping the filter alone releases
// an upstream thread waiting for a buffer; a control sample passes untouched and is never
// rendered.
//
// Each unit's test describes its filters (TContractSubject) and instantiates the suite:
//   INSTANTIATE_TEST_SUITE_P(BasicFilters, FilterContract, ::testing::ValuesIn(Subjects()),
//                            testing::ContractName);
// The test source sends the subject's input; a test sink takes the first output of a filter that
// has one; renderers and writers say what they rendered themselves.
//
// Threads: the test thread builds and drives the graph; the subject's hooks run on the test
// thread, except beforeEachSample (the source's streaming thread, or the test thread when the
// contract calls Receive itself).

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace talvence::testing {

// What the filter under test is, for the contract.
enum class TFilterRole {
    Transform, // one output, to the test sink
    Tee,       // several outputs; the first feeds the test sink
    Renderer,  // no output; reports EC_COMPLETE at the end of the stream
    Writer,    // writes to a file through a filter of its own, which reports EC_COMPLETE (not
               // after an abort)
};

// The cases of the contract, so a description can say which do not apply to it and why.
enum class TContractCase {
    ReceiveWhileStopped,
    ReceiveDuringFlush,
    EndOfStream,
    Allocators,
    AcceptedTypeChange,
    RefusedTypeChange,
    Drops,
    StopAlone,
    ControlSample,
};

struct TContractRig;

// The filter under test as the contract drives it.
struct TContractSubject {
    std::string name; // the instantiation's name
    TFilterRole role = TFilterRole::Transform;
    // Makes the filter (rig.TempFile names a file that goes with the rig).
    std::function<ComPtr<IBaseFilter>(TContractRig&)> make;
    // Writer: adds what the filter writes through and connects it, before the input connects.
    std::function<HRESULT(TContractRig&)> finish;

    // What the source sends: samples of this type, either the counting source's own (sampleSize
    // bytes, each filled with its index) or, when given, the payload's buffers in turn (made
    // when a case runs).
    CMediaType input = MakeTestVideoType();
    long sampleSize = 1024;
    std::function<std::vector<std::vector<BYTE>>()> payload;
    REFERENCE_TIME frameTime = 400000;

    // The types the test sink takes (null: RGB24 and RGB32 video).
    TypeTest output;
    // Checks the media sample delivered for the n-th one sent (its bytes given), beyond the
    // contract's own checks.
    std::function<void(long index, const std::vector<BYTE>& sent, const TReceivedSample&)>
        expectOutput;
    // A type it takes mid-stream (none: the case is skipped, a reason given in skips), and
    // whether the output sample announces it.
    std::optional<CMediaType> acceptedChange;
    bool announcesChange = false;
    // A type it refuses mid-stream.
    CMediaType refusedChange = CMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    // Makes it drop; null: it does not drop on its own, and must report no drop.
    std::function<void(TContractRig&)> makeDrops;
    long deliveredWhileDropping = 0; // per run of the drop case
    // Samples the filter processed (null: not counted).
    std::function<long(IBaseFilter*)> processed;
    // Renderer and writer: media samples rendered or written since the run started.
    std::function<long(TContractRig&)> rendered;
    // A sample received while paused waits for the run (a renderer that holds it until then):
    // the cases that call Receive themselves run the graph instead of pausing it.
    bool holdsWhilePaused = false;
    // Before each sample reaches the filter (a gate is armed here).
    std::function<void(IBaseFilter*)> beforeEachSample;
    // Before the rig is built (an application object the filter needs).
    std::function<void()> prepare;
    // Cases that do not apply, with the reason.
    std::map<TContractCase, std::string> skips;
};

// An expectOutput for filters that pass the data on: the sample has the length and the first
// byte of the one sent.
void ExpectAsSent(long index, const std::vector<BYTE>& sent, const TReceivedSample& sample);

void PrintTo(const TContractSubject& subject, std::ostream* os);
// The instantiation's test name suffix.
std::string ContractName(const ::testing::TestParamInfo<TContractSubject>& info);

// source -> filter [-> sink] in one graph, stopped (and its files removed) when it goes.
struct TContractRig {
    explicit TContractRig(const TContractSubject& subject);
    ~TContractRig();

    // A file path in the temporary folder, removed with the rig.
    std::filesystem::path TempFile(const std::string& name);
    HRESULT Connect();
    IPin* FilterIn();
    ComPtr<IMemInputPin> Input();
    // Media samples that reached the end: the sink's, or what the filter rendered or wrote.
    long Delivered();
    // The end of the stream where it is seen: at the sink, or the renderer's completion.
    bool WaitForEndOfStream(long count = 1);
    // Every allocator the filter's pins use.
    std::vector<IMemAllocator*> Allocators();
    // The bytes of the n-th sample the source sends.
    std::vector<BYTE> Sent(long index) const;

    const TContractSubject& subject;
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source{new TCountingSource};
    ComPtr<IBaseFilter> filter;
    ComPtr<TCountingSink> sink;                    // on the first output, when there is one
    std::vector<ComPtr<TCountingSink>> otherSinks; // their held samples go after each run
    std::vector<ComPtr<IBaseFilter>> otherFilters; // what a writer writes through
    std::vector<std::filesystem::path> files;
    std::vector<std::vector<BYTE>> payload; // the subject's, made once
};

class FilterContract : public ::testing::TestWithParam<TContractSubject> {
protected:
    void SetUp() override;
    // The reason the case does not apply to this filter, or null.
    const std::string* Skipped(TContractCase c) const;

    std::optional<TContractRig> rig;
};

} // namespace talvence::testing
