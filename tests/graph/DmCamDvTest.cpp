// The graph module with the virtual DV camcorder: the DV preview and the DV capture branches,
// checked on the files they write with ffprobe and the DV reader of talvence-cli.

#include "platform/devices/alsa/AlsaDevices.h"
#include "platform/devices/alsa/AlsaSystem.h"
#include "platform/devices/alsa/PcmCapture.h"
#include "platform/media/GraphLog.h"
#include "platform/media/PinWalk.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "tests/support/DmCamTestSupport.h"
#include "tests/support/TempStore.h"
#include "tools/talvence-cli/DvCommands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace talvence {
namespace {

using namespace dmcamtest;

constexpr const char* kCamcorder = "Virtual DV Camcorder";

// Every DV frame of a file (raw DV or AVI), in order.
std::vector<std::vector<std::uint8_t>> DvFrames(const std::string& path) {
    std::string error;
    auto source = cli::OpenDvFrameSource(path, error);
    std::vector<std::vector<std::uint8_t>> frames;
    if (!source) return frames;
    std::vector<std::uint8_t> frame;
    while (source->next(frame))
        frames.push_back(frame);
    return frames;
}

std::vector<std::string> DvInfoLines(const std::string& path) {
    std::vector<std::string> args{path};
    std::ostringstream out, err;
    cli::RunDvInfo(args, out, err);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("frame ", 0) == 0) lines.push_back(line);
    return lines;
}

// Frame 0 of a video file decoded to RGB24 by ffmpeg.
std::string FirstPicture(const std::string& path) {
    return RunCommand("ffmpeg -v error -i '" + path +
                      "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
}

constexpr const char* kSoundCard = "HDA Intel PCH: ALC3246 Analog";

// Registers one sound card (kSoundCard) that reads from the fake it answers; null on failure.
std::shared_ptr<TFakePcmCapture> AddSoundCard(DmCamPlatform& platform) {
    TFakeAlsaSystem alsa;
    alsa.cards = {{0, "PCH", "HDA Intel PCH"}};
    alsa.capture[0] = {{0, "ALC3246 Analog"}};
    auto capture = std::make_shared<TFakePcmCapture>();
    if (RegisterAlsaCaptureDevices(*platform.registry, alsa, capture) != 1) return nullptr;
    return capture;
}

class DmCamDvTest : public ::testing::Test {
protected:
    testing::TempStore store;
    TempDir dir;
};

TEST_F(DmCamDvTest, PreviewFollowsTheSourceSystemAndStopIsIdempotent) {
    struct Case {
        std::string tape;
        std::int64_t frameDuration;
        std::uint8_t standard;
    };
    for (const Case& c :
         {Case{"20240101T100000/50/pal", 400000, 0}, Case{"20240101T100000/50/ntsc", 333667, 1}}) {
        SCOPED_TRACE(c.tape);
        // Setup
        DmCamPlatform platform("dv:pace=fast:tape=" + c.tape);
        TdmCam& cam = *platform.cam;
        cam.Settings().standardDv = c.standard == 0 ? 1 : 0;

        // Exercise
        ASSERT_TRUE(AnalyseByName(cam, kCamcorder)) << cam.LastError();
        ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();
        cam.Superposer().SetInlayDuration(5);
        ASSERT_TRUE(cam.RunGraph());
        const bool shown = WaitUntil([&] { return platform.sink.frames >= 5; });
        cam.StopGraph();
        const TGraphState afterFirstStop = cam.GraphState();
        cam.StopGraph();

        // Verification
        EXPECT_EQ(cam.Kind(), SourceKind::skDv);
        EXPECT_TRUE(cam.PreviewReady());
        EXPECT_TRUE(shown);
        EXPECT_EQ(cam.FrameDuration(), c.frameDuration);
        EXPECT_EQ(cam.Settings().standardDv, c.standard);
        // Inlay durations count the source's own frames: 25 or 29 a second.
        EXPECT_EQ(cam.Superposer().Core().Settings()->durationFrames, c.standard == 0 ? 125 : 145);
        EXPECT_FALSE(cam.Camcorder().vcrMode);
        EXPECT_TRUE(cam.Camcorder().transportAvailable);
        EXPECT_EQ(afterFirstStop, gsStopped);
        EXPECT_EQ(cam.GraphState(), gsStopped);
    }
}

int FilterCount(TdmCam& cam) {
    ComPtr<IEnumFilters> filters;
    cam.Graph().GraphBuilder()->EnumFilters(filters.put());
    int count = 0;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK)
        ++count;
    return count;
}

TEST_F(DmCamDvTest, RebuildingThePreviewTakesTheCaptureBranchOut) {
    // Setup
    DmCamPlatform platform("dv:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const int previewFilters = FilterCount(cam);
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, dir.File("a.avi")));
    const int captureFilters = FilterCount(cam);

    // Exercise
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));

    // Verification
    EXPECT_GT(captureFilters, previewFilters);
    EXPECT_EQ(FilterCount(cam), previewFilters);
    EXPECT_EQ(cam.CaptureWriter(), nullptr);
    EXPECT_TRUE(cam.PreviewReady());
    EXPECT_FALSE(cam.SwitchOutputFile(dir.File("b.avi")));
}

TEST_F(DmCamDvTest, PreviewDecodesWithTheDecoderOfItsSlot) {
    // Setup
    DmCamPlatform platform("dv:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));

    // Exercise
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();

    // Verification: one DV video decoder, joined under the slot's name, connected both ways.
    std::vector<std::string> decoders;
    ComPtr<IEnumFilters> filters;
    cam.Graph().GraphBuilder()->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        CLSID clsid;
        if (FAILED(filter->GetClassID(&clsid)) || clsid != CLSID_DVVideoCodec) continue;
        decoders.push_back(FilterText(filter.get()));
        for (auto& pin : PinsOf(filter.get()))
            EXPECT_TRUE(IsConnected(pin.get())) << PinText(pin.get());
    }
    EXPECT_EQ(decoders, std::vector<std::string>{"DVDEcoder"});
}

TEST_F(DmCamDvTest, OtherSourceKindsAndFormatsRefuse) {
    // Setup
    DmCamPlatform platform("dv:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    TvideoSource gone;
    gone.Name = gone.FriendlyName = "Unplugged Camcorder";
    gone.DevicePath = "\\\\?\\unplugged";
    ASSERT_FALSE(cam.AnalyseSource(gone));

    // Exercise / Verification: a source no longer present leaves no source to preview.
    EXPECT_FALSE(cam.BuildPreviewGraph(SourceKind::skDv));
    EXPECT_TRUE(cam.DumpPresent());
    cam.Settings().deinterlacerOn = true; // the deinterlacer joins the DV preview
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    EXPECT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();
    EXPECT_TRUE(cam.DeinterlacerInGraph());
    cam.Settings().deinterlacerOn = false;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    // A DV source taken for a MovieBox has no demultiplexer to feed.
    cam.SetKind(SourceKind::skMovieBox);
    EXPECT_FALSE(cam.BuildPreviewGraph(SourceKind::skMovieBox));
    EXPECT_FALSE(cam.LastError().empty());
    cam.SetKind(SourceKind::skDv);
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    EXPECT_FALSE(
        cam.BuildCaptureGraph(SourceKind::skMovieBox, cfDvType2Inlay, 0, dir.File("x.avi")));
    EXPECT_FALSE(cam.BuildCaptureGraph(SourceKind::skDv, cfNative, 0, dir.File("x.avi")));
    EXPECT_FALSE(cam.SwitchOutputFile(dir.File("y.avi")));
    // What the module says it can build is what it builds.
    for (int format : {cfDvType1, cfDvType2, cfDvType2Inlay, cfWmvInlay, cfImageByImage})
        EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skDv, format)) << format;
    EXPECT_FALSE(cam.HasCaptureBuilder(SourceKind::skDv, cfNative));
    EXPECT_FALSE(cam.HasCaptureBuilder(SourceKind::skMovieBox, cfDvType1));
    EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skCapturePin, cfWmvInlay));
    EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skMpeg2Stream, cfWmvInlay));
    EXPECT_TRUE(cam.HasCaptureBuilder(SourceKind::skMovieBox, cfWmvInlay));
}

TEST_F(DmCamDvTest, IncludedAudioIsHeardAtTheForcedOrTheStreamRate) {
    struct Case {
        std::string sound;
        int force;
        unsigned heard;
    };
    for (const Case& c :
         {Case{"48k", 44100, 44100}, Case{"48k", 0, 48000}, Case{"32k", 0, 32000}}) {
        SCOPED_TRACE(c.sound + " " + std::to_string(c.force));
        // Setup
        // Played at its speed: a source read as fast as it goes is not heard.
        DmCamPlatform platform("dv:tape=20240101T100000/50/pal/4x3/" + c.sound);
        TdmCam& cam = *platform.cam;
        ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
        ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));

        // Exercise
        const bool forced = cam.ForceDvAudio44100(c.force);
        const bool again = cam.BuildAudioBranch();
        ASSERT_TRUE(cam.RunGraph());
        const bool heard = WaitUntil([&] { return !platform.playback->Written().empty(); });
        cam.StopGraph();

        // Verification
        EXPECT_TRUE(forced);
        EXPECT_FALSE(again); // the branch exists already
        EXPECT_TRUE(heard);
        EXPECT_EQ(platform.playback->LastFormat().rate, c.heard);
    }
}

TEST_F(DmCamDvTest, TheChosenSoundCardJoinsThePreviewAndAMissingOneIsReported) {
    // Setup: one sound card beside the camcorder
    DmCamPlatform platform("dv:pace=fast");
    const auto capture = AddSoundCard(platform);
    ASSERT_TRUE(capture);
    TdmCam& cam = *platform.cam;
    cam.Settings().recordSoundCard = true;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));

    // Exercise: a card that is not there, then the one that is
    const bool unknownSelected = cam.SelectAudioSource("USB PnP Sound Device");
    const bool builtWithout = cam.BuildPreviewGraph(SourceKind::skDv);
    const std::string missing = cam.LastError();
    const bool selected = cam.SelectAudioSource(kSoundCard);
    const bool builtWith = cam.BuildPreviewGraph(SourceKind::skDv);
    const std::string afterwards = cam.LastError();
    ASSERT_TRUE(cam.RunGraph());
    const bool opened = WaitUntil([&] { return !capture->OpenedDevices().empty(); }, 10);
    const bool previewed = WaitUntil([&] { return platform.sink.frames > 0; }, 10);
    cam.StopGraph();

    // Verification
    EXPECT_FALSE(unknownSelected);
    EXPECT_TRUE(builtWithout);
    EXPECT_FALSE(missing.empty());
    EXPECT_TRUE(selected);
    EXPECT_TRUE(builtWith);
    EXPECT_EQ(afterwards, "");
    EXPECT_TRUE(opened);
    EXPECT_TRUE(previewed);
    EXPECT_EQ(capture->OpenedDevices(), std::vector<std::string>{"plughw:CARD=PCH,DEV=0"});
}

TEST_F(DmCamDvTest, DvType2WithInlayRecordsTheSoundCard) {
    // Setup: a sound card that hears a loud tone, the camcorder's own sound not listened to
    DmCamPlatform platform("dv");
    const auto capture = AddSoundCard(platform);
    ASSERT_TRUE(capture);
    for (int i = 0; i < 48000 * 4; ++i) {
        const auto v = static_cast<std::int16_t>(i % 48 < 24 ? 12000 : -12000);
        for (int channel = 0; channel < 2; ++channel) {
            capture->data.push_back(static_cast<std::uint8_t>(v & 0xff));
            capture->data.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
        }
    }
    TdmCam& cam = *platform.cam;
    cam.Settings().listenIncludedAudio = false;
    cam.Settings().recordSoundCard = true;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.SelectAudioSource(kSoundCard));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("sound.avi");

    // Exercise: a live capture of about a second and a half
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, file));
    ASSERT_TRUE(cam.RunGraph());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    cam.StopGraph();

    // Verification: the tone is in the file's sound
    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].rfind("video dvvideo ", 0), 0u) << streams[0];
    EXPECT_EQ(streams[1].rfind("audio pcm_s16le ", 0), 0u) << streams[1];
    const std::string pcm =
        RunCommand("ffmpeg -v error -i '" + file + "' -map 0:a -f s16le -ac 1 - 2>/dev/null");
    int loudest = 0;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint8_t>(pcm[i]) |
                                                 (static_cast<std::uint8_t>(pcm[i + 1]) << 8));
        loudest = std::max(loudest, std::abs(static_cast<int>(v)));
    }
    EXPECT_GT(loudest, 6000);
}

TEST_F(DmCamDvTest, ListeningOffCutsTheIncludedAudioBranch) {
    // Setup
    DmCamPlatform platform("dv:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));

    // Exercise: cut, then run, stop and run again
    cam.Settings().listenIncludedAudio = false;
    const bool cut = cam.BuildAudioBranch();
    const bool cutAgain = cam.BuildAudioBranch();
    auto inGraph = [&](const char* name) {
        ComPtr<IBaseFilter> filter;
        return SUCCEEDED(cam.Graph().GraphBuilder()->FindFilterByName(name, filter.put()));
    };
    ComPtr<IBaseFilter> acm;
    ASSERT_TRUE(SUCCEEDED(cam.Graph().GraphBuilder()->FindFilterByName("acm", acm.put())));
    ComPtr<IPin> acmInput;
    ASSERT_TRUE(SUCCEEDED(cam.Graph().CaptureGraphBuilder()->FindPin(
        acm.get(), PINDIR_INPUT, nullptr, nullptr, false, 0, acmInput.put())));
    ComPtr<IPin> acmSource;
    const bool acmFed = acmInput->ConnectedTo(acmSource.put()) == S_OK;
    ASSERT_TRUE(cam.RunGraph());
    ASSERT_TRUE(WaitUntil([&] { return platform.sink.frames >= 5; }));
    cam.StopGraph();
    const long shown = platform.sink.frames;
    ASSERT_TRUE(cam.RunGraph());
    const bool runsAgain = WaitUntil([&] { return platform.sink.frames >= shown + 5; });
    cam.StopGraph();

    // Verification: the tee leaves, cutting the branch before the renderer; what follows the cut
    // stays, unfed, and holds no state change of the preview; nothing is heard.
    EXPECT_TRUE(cut);
    EXPECT_FALSE(cutAgain);
    EXPECT_FALSE(inGraph("infinite4"));
    EXPECT_TRUE(inGraph("AudioRender"));
    EXPECT_TRUE(inGraph("tsAudio"));
    EXPECT_FALSE(acmFed);
    EXPECT_TRUE(runsAgain);
    EXPECT_EQ(cam.GraphState(), gsStopped);
    EXPECT_TRUE(platform.playback->Written().empty());
}

TEST_F(DmCamDvTest, TapeWithoutSoundPreviewsWithListeningOn) {
    // Setup
    DmCamPlatform platform("dv:pace=fast:tape=20240101T100000/50/pal/4x3/none");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));

    // Exercise
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    ASSERT_TRUE(cam.RunGraph());
    const bool shown = WaitUntil([&] { return platform.sink.frames >= 5; });
    cam.StopGraph();

    // Verification
    EXPECT_TRUE(shown);
    EXPECT_TRUE(platform.playback->Written().empty());
}

TEST_F(DmCamDvTest, DvType1HoldsTheCamcorderFramesByteForByte) {
    // Setup
    const std::string source = MakeDvFile(dir, 30);
    ASSERT_FALSE(source.empty()) << "ffmpeg is needed to make the test tape";
    DmCamPlatform platform("dv:pace=fast:file=" + source);
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv)) << cam.LastError();
    const std::string file = dir.File("type1.avi");

    // Exercise
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType1, 0, file)) << cam.LastError();
    ASSERT_TRUE(RunToCompletion(cam));

    // Verification
    const auto streams = ProbeStreams(file);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0], "video dvvideo 30");
    const auto written = DvFrames(file);
    const auto expected = DvFrames(source);
    ASSERT_EQ(expected.size(), 30u);
    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(written[i] == expected[i]) << "frame " << i;
}

TEST_F(DmCamDvTest, DvType2HasDvVideoAndPcmAudioAndOneBuildPerPreview) {
    // Setup
    const std::string source = MakeDvFile(dir, 25);
    ASSERT_FALSE(source.empty());
    DmCamPlatform platform("dv:pace=fast:file=" + source);
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string first = dir.File("cut_1.avi");
    const std::string second = dir.File("cut_2.avi");

    // Exercise: a capture, a second build on the same preview, a cut to the next file.
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2, 0, first)) << cam.LastError();
    const bool secondBuild =
        cam.BuildCaptureGraph(SourceKind::skDv, cfDvType1, 0, dir.File("other.avi"));
    ASSERT_TRUE(RunToCompletion(cam));
    ASSERT_TRUE(cam.SwitchOutputFile(second));
    ASSERT_TRUE(RunToCompletion(cam));

    // Verification
    EXPECT_FALSE(secondBuild);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.avi")));
    for (const std::string& file : {first, second}) {
        SCOPED_TRACE(file);
        const auto streams = ProbeStreams(file);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0], "video dvvideo 25");
        EXPECT_EQ(streams[1].rfind("audio pcm_s16le", 0), 0u) << streams[1];
    }
}

TEST_F(DmCamDvTest, DvType2WithInlayDrawsTheTextAndKeepsTheCamcorderPacks) {
    // Setup: a tape with timecode and recording date, played in VCR mode.
    DmCamPlatform platform("dv:pace=fast:mode=vcr:tape=20240315T101500/20");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.Camcorder().vcrMode);
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("inlay.avi");
    cam.Superposer().SetInlayActive(true);
    cam.Superposer().SetInlaySource(static_cast<std::uint8_t>(InlaySource::Clock));

    // Exercise
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, file))
        << cam.LastError();
    ASSERT_TRUE(cam.RunGraph());
    cam.Camcorder().transport->put_Mode(ED_MODE_PLAY);
    ASSERT_TRUE(WaitUntil([&] { return cam.TakeCompletion(); }, 60));
    cam.StopGraph();

    // Verification
    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0], "video dvvideo 20");
    EXPECT_EQ(streams[1].rfind("audio pcm_s16le", 0), 0u) << streams[1];
    const auto lines = DvInfoLines(file);
    ASSERT_EQ(lines.size(), 20u);
    for (const std::string& line : lines) {
        EXPECT_NE(line.find("rec=2024-03-15 10:15:"), std::string::npos) << line;
        EXPECT_EQ(line.find("tc=-"), std::string::npos) << line;
    }
}

TEST_F(DmCamDvTest, DvType2WithInlayWithoutAudioOptionsHasNoAudio) {
    // Setup
    DmCamPlatform platform("dv:pace=fast:mode=vcr:tape=20240315T101500/10");
    TdmCam& cam = *platform.cam;
    cam.Settings().listenIncludedAudio = false;
    cam.Settings().recordSoundCard = false;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("silent.avi");

    // Exercise
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, file));
    ASSERT_TRUE(cam.RunGraph());
    cam.Camcorder().transport->put_Mode(ED_MODE_PLAY);
    ASSERT_TRUE(WaitUntil([&] { return cam.TakeCompletion(); }, 60));
    cam.StopGraph();

    // Verification
    EXPECT_EQ(ProbeStreams(file), std::vector<std::string>{"video dvvideo 10"});
}

TEST_F(DmCamDvTest, InlayChangesThePictureOfTheDvType2WithInlayFile) {
    // Setup: the same DV file captured twice, with and without the inlay.
    const std::string source = MakeDvFile(dir, 10);
    ASSERT_FALSE(source.empty());
    DmCamPlatform platform("dv:pace=fast:file=" + source);
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    cam.Superposer().SetInlaySource(static_cast<std::uint8_t>(InlaySource::Clock));
    std::vector<std::string> pictures;

    // Exercise
    for (bool inlay : {false, true}) {
        const std::string file = dir.File(inlay ? "with.avi" : "without.avi");
        cam.Superposer().SetInlayActive(inlay);
        ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
        ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, file));
        ASSERT_TRUE(RunToCompletion(cam));
        pictures.push_back(FirstPicture(file));
    }

    // Verification: same size, and the text changed a visible number of pixels.
    ASSERT_EQ(pictures[0].size(), 720u * 576u * 3u);
    ASSERT_EQ(pictures[1].size(), pictures[0].size());
    long changed = 0;
    for (std::size_t i = 0; i < pictures[0].size(); i += 3)
        if (std::abs(pictures[0][i] - pictures[1][i]) > 40) ++changed;
    EXPECT_GT(changed, 200);
}

// The filters of the graph of this class.
template <class T> std::vector<T*> FiltersOf(TdmCam& cam) {
    std::vector<T*> found;
    ComPtr<IEnumFilters> filters;
    cam.Graph().GraphBuilder()->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK)
        if (auto* f = dynamic_cast<T*>(filter.get())) found.push_back(f);
    return found;
}

GUID InputSubtype(IBaseFilter* filter) {
    for (auto& pin : PinsOf(filter)) {
        PIN_DIRECTION dir;
        AM_MEDIA_TYPE mt{};
        if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_INPUT ||
            FAILED(pin->ConnectionMediaType(&mt)))
            continue;
        const GUID subtype = mt.subtype;
        FreeMediaType(mt);
        return subtype;
    }
    return GUID_NULL;
}

TEST_F(DmCamDvTest, TheInlayCaptureStaysInYuvAndOnlyThePreviewConvertsToRgb) {
    // Setup
    constexpr int kFrames = 150;
    const std::string source = MakeDvFile(dir, kFrames);
    ASSERT_FALSE(source.empty());
    DmCamPlatform platform("dv:pace=fast:file=" + source);
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    cam.Superposer().SetInlaySource(static_cast<std::uint8_t>(InlaySource::Clock));
    cam.Superposer().SetInlayActive(true);
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("yuv.avi");
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, file));

    // Exercise
    ASSERT_TRUE(RunToCompletion(cam));

    // Verification: the decoder's planar 4:2:0 through the inlay to the encoder, one converter
    // to RGB (the preview's), and every frame in the file.
    EXPECT_EQ(InputSubtype(&cam.Superposer()), MEDIASUBTYPE_I420);
    IBaseFilter* encoder = nullptr;
    for (auto* f : FiltersOf<TBCTransformFilter>(cam)) {
        CLSID clsid;
        if (SUCCEEDED(f->GetClassID(&clsid)) && clsid == CLSID_DVVideoEnc) encoder = f;
    }
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(InputSubtype(encoder), MEDIASUBTYPE_I420);
    int toRgb = 0;
    for (auto* converter : FiltersOf<TColorSpaceConverter>(cam)) {
        ComPtr<IPin> out = PinsOf(converter).back();
        AM_MEDIA_TYPE mt{};
        if (SUCCEEDED(out->ConnectionMediaType(&mt))) {
            if (mt.subtype == MEDIASUBTYPE_RGB24) ++toRgb;
            FreeMediaType(mt);
        }
    }
    EXPECT_EQ(toRgb, 1);
    EXPECT_EQ(DvInfoLines(file).size(), static_cast<std::size_t>(kFrames));
}

TEST_F(DmCamDvTest, ACopyCaptureOfAFastSourceDecodesOnlyTheFramesThePreviewShows) {
    // Setup
    constexpr int kFrames = 150;
    const std::string source = MakeDvFile(dir, kFrames);
    ASSERT_FALSE(source.empty());
    DmCamPlatform platform("dv:pace=fast:file=" + source);
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("copy.avi");
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2, 0, file));

    // Exercise
    ASSERT_TRUE(RunToCompletion(cam));

    // Verification: the frames passed over before the decoder, none after it.
    const auto decoders = FiltersOf<TDvVideoDecoder>(cam);
    ASSERT_EQ(decoders.size(), 1u);
    EXPECT_GT(decoders[0]->FramesPassedOver(), kFrames / 4);
    for (auto* converter : FiltersOf<TColorSpaceConverter>(cam))
        EXPECT_EQ(converter->FramesPassedOver(), 0);
    EXPECT_EQ(DvFrames(file).size(), static_cast<std::size_t>(kFrames));
}

TEST_F(DmCamDvTest, ImageByImageWritesOneFramePerGrab) {
    // Setup
    DmCamPlatform platform("dv:pace=fast");
    TdmCam& cam = *platform.cam;
    ASSERT_TRUE(AnalyseByName(cam, kCamcorder));
    ASSERT_TRUE(cam.BuildPreviewGraph(SourceKind::skDv));
    const std::string file = dir.File("images.avi");
    ASSERT_TRUE(cam.BuildCaptureGraph(SourceKind::skDv, cfImageByImage, 0, file));

    // Exercise: three shots, each waiting until the gate has let its frame through.
    ASSERT_TRUE(cam.RunGraph());
    ASSERT_TRUE(WaitUntil([&] { return platform.sink.frames >= 3; }));
    for (int shot = 0; shot < 3; ++shot) {
        cam.ControlFilter().SetPassNext(true);
        ASSERT_TRUE(WaitUntil([&] { return !cam.ControlFilter().Gate().PassNext(); }));
    }
    const long previewBefore = platform.sink.frames;
    ASSERT_TRUE(WaitUntil([&] { return platform.sink.frames >= previewBefore + 5; }));
    cam.StopGraph();

    // Verification
    const auto streams = ProbeStreams(file);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0], "video dvvideo 3");
}

} // namespace
} // namespace talvence
