// The AVI Mux and the File Writer in running graphs: the files of each capture format as ffprobe
// and the frame-rate walker see them, the cut into the next file, and failures (a full disk, a
// file that cannot be created).

#include <cerrno>

#include <gtest/gtest.h>

#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/CaptureGraphBuilder.h"
#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "postproc/fpsunit.h"
#include "tests/platform/media/filters/avimux/AviGraphSupport.h"

namespace talvence {
namespace {

using namespace talvence::testing;

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);

ComPtr<TCountingSource> Source(CMediaType type, std::vector<Bytes> frames) {
    return ComPtr<TCountingSource>(new TCountingSource(std::move(type), std::move(frames)));
}

std::vector<Bytes> PalFrames(std::size_t count) {
    return {PalDvFrames().begin(), PalDvFrames().begin() + static_cast<std::ptrdiff_t>(count)};
}

class AviMuxGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg not found on PATH";
        ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe not found on PATH";
    }

    // Runs the graph until the File Writer reports the end, then stops it.
    static void RunToCompletion(CFilterGraph* graph) {
        ASSERT_EQ(graph->Run(), S_OK);
        long code = 0;
        ASSERT_EQ(graph->WaitForCompletion(20000, &code), S_OK) << "the run never completed";
        EXPECT_EQ(code, EC_COMPLETE);
        ASSERT_EQ(graph->Stop(), S_OK);
    }

    // dwScale and dwRate of the video stream header the walker finds.
    static std::optional<AviRate> WalkerRate(const std::filesystem::path& path) {
        const AviScanResult scan = AviScanStreams(path);
        if (!scan.scalePos) return std::nullopt;
        const Bytes file = ReadBytes(path);
        return AviRate{Le32At(file, *scan.scalePos), Le32At(file, *scan.scalePos + 4)};
    }

    TempDir dir_;
};

TEST_F(AviMuxGraphTest, DvTypeOneFileHoldsTheInterleavedFramesAsReceived) {
    // Setup
    const auto path = dir_ / "type1.avi";
    AviBranch branch = MakeAviBranch(path);
    auto dv = Source(MakeDvType(true), PalFrames(50));
    ASSERT_EQ(Feed(branch, dv.get(), "DV camcorder"), S_OK);

    // Exercise
    RunToCompletion(branch.graph.get());

    // Verification
    EXPECT_EQ(PinNames(branch.mux.get()),
              (std::vector<std::string>{"AVI Out", "Input 01", "Input 02"}));
    const auto streams = Probe(path);
    EXPECT_EQ(Field(streams, 0, "codec_name"), "dvvideo");
    EXPECT_EQ(Field(streams, 0, "r_frame_rate"), "25/1");
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), "50");
    // The sound is inside the DV frames, where ffmpeg finds it.
    EXPECT_EQ(Field(streams, 1, "codec_type"), "audio");
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 50));
    const auto top = ReadRiff(ReadBytes(path));
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(top[0].findAll("strh").size(), 1u);
    const Chunk* movi = top[0].find("movi");
    ASSERT_TRUE(movi && !movi->children.empty());
    EXPECT_EQ(movi->children.front().id, "00dc");
    EXPECT_EQ(top[0].find("idx1"), nullptr); // not asked for
    EXPECT_EQ(WalkerRate(path), (AviRate{1, 25}));
}

TEST_F(AviMuxGraphTest, DvTypeTwoThroughSetOutputFileNameWithTheLegacyIndex) {
    // Setup: the writer frame of the capture recipes.
    const auto path = dir_ / "type2.avi";
    auto registry = std::make_shared<FilterRegistry>();
    RegisterAviFilters(*registry);
    ComPtr<CFilterGraph> graph(new CFilterGraph(registry));
    ComPtr<ICaptureGraphBuilder2> builder(new CCaptureGraphBuilder(registry));
    builder->SetFiltergraph(graph.get());
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, path.string(), mux.put(), sink.put()),
              S_OK);
    ASSERT_EQ(mux.As<IConfigAviMux>()->SetOutputCompatibilityIndex(1), S_OK);
    ASSERT_EQ(mux.As<IConfigInterleaving>()->put_Mode(INTERLEAVE_NONE), S_OK);
    auto video = Source(MakeDvType(false), PalFrames(50));
    auto audio = Source(PcmType(), PcmBlocks(50));
    graph->AddFilter(video.get(), "DV video");
    graph->AddFilter(audio.get(), "DV audio");
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(video.get()),
                                    nullptr, mux.get()),
              S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(audio.get()),
                                    nullptr, mux.get()),
              S_OK);

    // Exercise
    RunToCompletion(graph.get());

    // Verification
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(Field(streams, 0, "codec_name"), "dvvideo");
    EXPECT_EQ(Field(streams, 0, "r_frame_rate"), "25/1");
    EXPECT_EQ(Field(streams, 0, "nb_frames"), "50");
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), "50");
    EXPECT_EQ(Field(streams, 1, "codec_name"), "pcm_s16le");
    EXPECT_EQ(Field(streams, 1, "sample_rate"), "48000");
    EXPECT_EQ(Field(streams, 1, "channels"), "2");
    EXPECT_EQ(Field(streams, 1, "nb_frames"), std::to_string(50 * 1920));
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 50));
    const auto top = ReadRiff(ReadBytes(path));
    ASSERT_EQ(top.size(), 1u);
    const Chunk* idx1 = top[0].find("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->size, 100u * 16); // one entry per chunk, video and sound
    EXPECT_EQ(WalkerRate(path), (AviRate{1, 25}));
}

TEST_F(AviMuxGraphTest, OpenDmlFileContinuesPastTheLoweredSegmentLimit) {
    // Setup: about seven frames with sound per 1 MB segment.
    const auto path = dir_ / "odml.avi";
    AviBranch branch = MakeAviBranch(path);
    ASSERT_EQ(branch.control->SetSegmentLimit(1000 * 1000, 256), S_OK);
    auto video = Source(MakeDvType(false), PalFrames(50));
    auto audio = Source(PcmType(), PcmBlocks(50));
    ASSERT_EQ(Feed(branch, video.get(), "DV video"), S_OK);
    ASSERT_EQ(Feed(branch, audio.get(), "DV audio"), S_OK);

    // Exercise
    RunToCompletion(branch.graph.get());

    // Verification
    const auto top = ReadRiff(ReadBytes(path));
    ASSERT_GE(top.size(), 5u);
    EXPECT_EQ(top[0].listType, "AVI ");
    for (std::size_t i = 1; i < top.size(); ++i)
        EXPECT_EQ(top[i].listType, "AVIX") << "segment " << i;
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(Field(streams, 0, "nb_frames"), "50");
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), "50");
    EXPECT_EQ(Field(streams, 1, "nb_frames"), std::to_string(50 * 1920));
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 50));
    EXPECT_EQ(WalkerRate(path), (AviRate{1, 25}));
}

TEST_F(AviMuxGraphTest, FullDiskAbortsTheRunAndKeepsEveryFrameWrittenBefore) {
    // Setup: the disk fills after about twenty frames with their sound.
    const auto path = dir_ / "full.avi";
    CappedAviOutputFiles files(3 * 1000 * 1000);
    AviBranch branch = MakeAviBranch(path);
    ASSERT_EQ(branch.control->SetOutputFiles(&files), S_OK);
    auto video = Source(MakeDvType(false), PalFrames(50));
    auto audio = Source(PcmType(), PcmBlocks(50));
    ASSERT_EQ(Feed(branch, video.get(), "DV video"), S_OK);
    ASSERT_EQ(Feed(branch, audio.get(), "DV audio"), S_OK);

    // Exercise
    ASSERT_EQ(branch.graph->Run(), S_OK);
    const auto aborted = WaitForEvent(branch.graph.get(), EC_ERRORABORT);
    ASSERT_EQ(branch.graph->Stop(), S_OK);

    // Verification: the failure is reported once, with its reason.
    ASSERT_TRUE(aborted.has_value()) << "no EC_ERRORABORT";
    EXPECT_EQ(static_cast<HRESULT>(*aborted), kDiskFull);
    HRESULT code = S_OK;
    std::string message;
    branch.control->GetLastError(&code, &message);
    EXPECT_EQ(code, kDiskFull);
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    // The video source was refused from the failure on; what it had delivered is in the file.
    EXPECT_EQ(video->lastDeliverResult.load(), kDiskFull);
    std::vector<std::uint64_t> lengths;
    branch.control->GetStreamLengths(&lengths);
    ASSERT_EQ(lengths.size(), 2u);
    const auto written = static_cast<std::size_t>(lengths[0]);
    EXPECT_EQ(written, static_cast<std::size_t>(video->delivered.load()));
    EXPECT_GT(written, 5u);
    EXPECT_LT(written, 50u);
    const auto streams = Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(Field(streams, 0, "nb_frames"), std::to_string(written));
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), std::to_string(written));
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), written));
    bool malformed = true;
    ReadRiff(ReadBytes(path), &malformed);
    EXPECT_FALSE(malformed);
    EXPECT_EQ(WalkerRate(path), (AviRate{1, 25}));
}

TEST_F(AviMuxGraphTest, FileThatCannotBeCreatedFailsTheRunWithNoFileLeft) {
    // Setup
    const auto missing = dir_ / "no-such-folder" / "clip.avi";
    const auto denied = dir_ / "denied.avi";
    const auto good = dir_ / "good.avi";
    AviBranch branch = MakeAviBranch(missing);
    auto dv = Source(MakeDvType(true), PalFrames(3));
    ASSERT_EQ(Feed(branch, dv.get(), "DV camcorder"), S_OK);
    CappedAviOutputFiles refusing;
    refusing.setCreateError(EACCES);

    // Exercise
    const HRESULT missingRun = branch.graph->Run();
    HRESULT missingCode = S_OK;
    std::string missingText;
    branch.control->GetLastError(&missingCode, &missingText);
    OAFilterState afterMissing = -1;
    branch.graph->GetState(0, &afterMissing);

    branch.control->SetOutputFiles(&refusing);
    branch.sink->SetFileName(denied.string(), nullptr);
    const HRESULT deniedPause = branch.graph->Pause();
    branch.graph->Stop();

    branch.control->SetOutputFiles(&LocalAviOutputFiles());
    branch.sink->SetFileName(good.string(), nullptr);
    RunToCompletion(branch.graph.get());

    // Verification
    EXPECT_EQ(missingRun, kPathNotFound);
    EXPECT_EQ(missingCode, kPathNotFound);
    EXPECT_NE(missingText.find(missing.string()), std::string::npos) << missingText;
    EXPECT_EQ(afterMissing, State_Stopped);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(deniedPause, kAccessDenied);
    EXPECT_FALSE(std::filesystem::exists(denied));
    // The failure leaves the branch usable: the next run with a good name writes its file.
    EXPECT_EQ(Field(Probe(good), 0, "nb_read_frames"), "3");
}

TEST_F(AviMuxGraphTest, FormatChangeMidStreamAbortsTheRunWithoutCompleting) {
    // Setup: the camcorder switches from 625/50 to 525/60 at the sixth frame.
    const auto path = dir_ / "switch.avi";
    AviBranch branch = MakeAviBranch(path);
    auto dv = Source(MakeDvType(true), PalFrames(10));
    dv->typeChangeAt = 5;
    dv->changedType = MakeDvType(true, false);
    ASSERT_EQ(Feed(branch, dv.get(), "DV camcorder"), S_OK);

    // Exercise
    ASSERT_EQ(branch.graph->Run(), S_OK);
    long code = 0;
    const HRESULT waited = branch.graph->WaitForCompletion(10000, &code);
    const auto aborted = WaitForEvent(branch.graph.get(), EC_ERRORABORT);
    ASSERT_EQ(branch.graph->Stop(), S_OK);

    // Verification: the frames before the change make a complete file.
    ASSERT_EQ(waited, S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    ASSERT_TRUE(aborted.has_value());
    EXPECT_EQ(static_cast<HRESULT>(*aborted), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(dv->lastDeliverResult.load(), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(Field(Probe(path), 0, "nb_read_frames"), "5");
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 5));
}

TEST_F(AviMuxGraphTest, NewFileNameIsUsedFromTheNextRun) {
    // Setup: a live source that never ends by itself; the capture is stopped.
    const auto first = dir_ / "first.avi";
    const auto second = dir_ / "second.avi";
    AviBranch branch = MakeAviBranch(first);
    auto dv = Source(MakeDvType(true), PalFrames(20));
    dv->holdAtEnd = true;
    ASSERT_EQ(Feed(branch, dv.get(), "DV camcorder"), S_OK);

    // Exercise: the cut names the next file during the first run.
    ASSERT_EQ(branch.graph->Run(), S_OK);
    ASSERT_TRUE(dv->WaitForDelivered(20));
    ASSERT_EQ(branch.sink->SetFileName(second.string(), nullptr), S_OK);
    std::string named;
    branch.sink->GetCurFile(&named, nullptr);
    ASSERT_EQ(branch.graph->Stop(), S_OK);
    const bool secondBeforeNextRun = std::filesystem::exists(second);
    const Bytes firstAfterStop = ReadBytes(first);

    auto rest = PalFrames(30);
    rest.erase(rest.begin(), rest.begin() + 20);
    dv->SetFrames(TimedFrames(rest));
    ASSERT_EQ(branch.graph->Run(), S_OK);
    ASSERT_TRUE(dv->WaitForDelivered(10));
    ASSERT_EQ(branch.graph->Stop(), S_OK);

    // Verification: each run's file is complete, and the first is left alone by the second.
    EXPECT_EQ(named, second.string());
    EXPECT_FALSE(secondBeforeNextRun);
    EXPECT_EQ(ReadBytes(first), firstAfterStop);
    EXPECT_EQ(Field(Probe(first), 0, "nb_read_frames"), "20");
    EXPECT_EQ(ExtractRawVideo(first), Concat(PalDvFrames(), 20));
    const auto secondFrames = PalFrames(30);
    EXPECT_EQ(Field(Probe(second), 0, "nb_read_frames"), "10");
    EXPECT_EQ(ExtractRawVideo(second), Concat({secondFrames.begin() + 20, secondFrames.end()}, 10));
}

TEST_F(AviMuxGraphTest, StopWhileFramesPourInLeavesACompleteFile) {
    for (int round = 0; round < 3; ++round) {
        // Setup: a source that pushes DV video and sound as fast as it can until stopped.
        const auto path = dir_ / ("busy" + std::to_string(round) + ".avi");
        AviBranch branch = MakeAviBranch(path);
        auto video = Source(MakeDvType(false), PalFrames(10));
        auto audio = Source(PcmType(), PcmBlocks(10));
        video->repeat = audio->repeat = true;
        ASSERT_EQ(Feed(branch, video.get(), "DV video"), S_OK);
        ASSERT_EQ(Feed(branch, audio.get(), "DV audio"), S_OK);

        // Exercise
        ASSERT_EQ(branch.graph->Run(), S_OK);
        ASSERT_TRUE(video->WaitForDelivered(20 + 10 * round));
        ASSERT_EQ(branch.graph->Stop(), S_OK);

        // Verification: every frame the mux accepted is in the file, and nothing else.
        std::vector<std::uint64_t> lengths;
        branch.control->GetStreamLengths(&lengths);
        ASSERT_EQ(lengths.size(), 2u);
        EXPECT_EQ(lengths[0], static_cast<std::uint64_t>(video->delivered.load()));
        EXPECT_EQ(lengths[1], 1920u * static_cast<std::uint64_t>(audio->delivered.load()));
        const auto streams = Probe(path);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(Field(streams, 0, "nb_read_frames"), std::to_string(lengths[0]));
        EXPECT_EQ(ExtractRawVideo(path).size(), lengths[0] * 144000);
        bool malformed = true;
        ReadRiff(ReadBytes(path), &malformed);
        EXPECT_FALSE(malformed);
        EXPECT_EQ(WalkerRate(path), (AviRate{1, 25}));
    }
}

TEST_F(AviMuxGraphTest, ImageByImageGetsOneFramePerPassedSampleAndTheRateRewriteHolds) {
    // Setup: frames stamped with consecutive media times, ten seconds apart in stream time, as
    // the frame gate passes them; the frame rate is rewritten when the gate stops, as the
    // image-by-image capture does.
    const auto path = dir_ / "shots.avi";
    AviBranch branch = MakeAviBranch(path);
    ASSERT_EQ(branch.mux.As<IConfigInterleaving>()->put_Mode(INTERLEAVE_NONE), S_OK);
    auto gate = Source(MakeDvType(false), {});
    std::vector<TTestFrame> shots = TimedFrames(PalFrames(7));
    for (std::size_t i = 0; i < shots.size(); ++i) {
        shots[i].start = REFERENCE_TIME(i) * 10 * 10'000'000LL;
        shots[i].stop = *shots[i].start + 400000;
        shots[i].mediaTimes = {LONGLONG(i), LONGLONG(i + 1)};
        shots[i].discontinuity = true;
    }
    gate->SetFrames(std::move(shots));
    gate->holdAtEnd = true;
    AviRateOutcome rewrite = AviRateOutcome::NoVideoHeader;
    gate->afterStop = [&] { rewrite = AviSetFrameRate(path, 2.0).outcome; };
    ASSERT_EQ(Feed(branch, gate.get(), "vq_controlFilter"), S_OK);

    // Exercise
    ASSERT_EQ(branch.graph->Run(), S_OK);
    ASSERT_TRUE(gate->WaitForDelivered(7));
    ASSERT_EQ(branch.graph->Stop(), S_OK);

    // Verification: the File Writer had finished before the gate's stop, so the rewrite stays.
    EXPECT_EQ(rewrite, AviRateOutcome::Written);
    const auto streams = Probe(path);
    EXPECT_EQ(Field(streams, 0, "nb_frames"), "7");
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), "7");
    EXPECT_EQ(Field(streams, 0, "r_frame_rate"), "2/1");
    EXPECT_EQ(ExtractRawVideo(path), Concat(PalDvFrames(), 7));
    EXPECT_EQ(WalkerRate(path), (AviRate{500000, 1000000}));
}

TEST_F(AviMuxGraphTest, UncompressedPicturesAreStoredAsBitmapChunks) {
    // Setup
    const auto path = dir_ / "rgb.avi";
    const CMediaType type = MakeTestVideoType(320, 240, 666667);
    AviBranch branch = MakeAviBranch(path);
    auto camera = Source(type, Pictures(5, 320 * 240 * 3));
    ASSERT_EQ(Feed(branch, camera.get(), "Webcam"), S_OK);

    // Exercise
    RunToCompletion(branch.graph.get());

    // Verification
    const auto streams = Probe(path);
    EXPECT_EQ(Field(streams, 0, "codec_name"), "rawvideo");
    EXPECT_EQ(Field(streams, 0, "width"), "320");
    EXPECT_EQ(Field(streams, 0, "height"), "240");
    EXPECT_EQ(Field(streams, 0, "r_frame_rate"), "15/1");
    EXPECT_EQ(Field(streams, 0, "nb_read_frames"), "5");
    EXPECT_EQ(ExtractRawVideo(path), Concat(Pictures(5, 320 * 240 * 3), 5));
    const auto top = ReadRiff(ReadBytes(path));
    ASSERT_EQ(top.size(), 1u);
    const Chunk* movi = top[0].find("movi");
    ASSERT_TRUE(movi && !movi->children.empty());
    EXPECT_EQ(movi->children.front().id, "00db");
    EXPECT_EQ(WalkerRate(path), (AviRate{1, 15}));
}

TEST_F(AviMuxGraphTest, ConnectionsAndSettingsFollowTheFilterRules) {
    // Setup
    AviBranch branch = MakeAviBranch(dir_ / "rules.avi");
    ComPtr<IBaseFilter> loneMux(new TAviMux);
    ComPtr<IBaseFilter> plainSink(new TCountingSink);
    branch.graph->AddFilter(loneMux.get(), "Second mux");
    branch.graph->AddFilter(plainSink.get(), "Plain sink");
    CMediaType mpeg2(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    mpeg2.SetFormatType(FORMAT_MPEG2Video);
    MPEG2VIDEOINFO m2;
    mpeg2.SetFormat(reinterpret_cast<const BYTE*>(&m2), sizeof m2);
    auto mpegSource = Source(mpeg2, {Bytes(100)});
    auto dv = Source(MakeDvType(true), PalFrames(2));
    branch.graph->AddFilter(mpegSource.get(), "MPEG-2");
    auto config = branch.mux.As<IConfigAviMux>();
    auto interleaving = branch.mux.As<IConfigInterleaving>();

    // Exercise
    const HRESULT mpegIn = branch.graph->ConnectDirect(
        mpegSource->OutputPin(), FreePin(branch.mux.get(), PINDIR_INPUT).get(), nullptr);
    const HRESULT toPlainSink =
        branch.graph->ConnectDirect(FreePin(loneMux.get(), PINDIR_OUTPUT).get(),
                                    FreePin(plainSink.get(), PINDIR_INPUT).get(), nullptr);
    const HRESULT badMode = interleaving->put_Mode(static_cast<InterleavingMode>(7));
    const HRESULT badMaster = config->SetMasterStream(5);
    ASSERT_EQ(Feed(branch, dv.get(), "DV camcorder"), S_OK);
    ASSERT_EQ(branch.graph->Run(), S_OK);
    const HRESULT indexWhileRunning = config->SetOutputCompatibilityIndex(1);
    const HRESULT limitWhileRunning = branch.control->SetSegmentLimit(1 << 20, 16);
    long code = 0;
    branch.graph->WaitForCompletion(10000, &code);
    branch.graph->Stop();

    // Verification
    EXPECT_TRUE(FAILED(mpegIn));
    EXPECT_TRUE(FAILED(toPlainSink)); // only a File Writer can take the mux's output
    EXPECT_EQ(badMode, E_INVALIDARG);
    EXPECT_EQ(badMaster, E_INVALIDARG);
    EXPECT_EQ(indexWhileRunning, VFW_E_NOT_STOPPED);
    EXPECT_EQ(limitWhileRunning, VFW_E_NOT_STOPPED);
    BOOL oldIndex = 1;
    config->GetOutputCompatibilityIndex(&oldIndex);
    EXPECT_EQ(oldIndex, 0);
    EXPECT_EQ(code, EC_COMPLETE);
}

} // namespace
} // namespace talvence
