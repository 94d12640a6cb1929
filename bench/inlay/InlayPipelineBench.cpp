// The chain of a "DV type 2 (with inlay)" capture from a DV camcorder, measured against the
// ffmpeg command line doing the same work on the same clip in the same run:
//
//   virtual DV camcorder (file=clip, pace=fast) -> scene detector -> DV Splitter
//     -> DV Video Decoder -> Color Space Converter -> superposer (two lines) -> DV Video Encoder
//     -> DV Muxer (video, and the splitter's audio) -> DV Splitter -> DV header -> AVI Mux
//     (video; the second splitter's audio too) -> File Writer
//
//   taskset -c 0 ffmpeg -threads 1 -filter_threads 1 -i clip.dv
//     -vf "format=rgb24,drawtext=..,drawtext=..,format=yuv420p" -c:v dvvideo -c:a pcm_s16le
//     -f avi out.avi
//
// Our CPU is CLOCK_PROCESS_CPUTIME_ID around the graph's run (every thread of the chain shares
// the one CPU the process is pinned to); ffmpeg's is getrusage(RUSAGE_CHILDREN). The two-core
// figure runs the same graph unpinned and compares wall-clock frames per second. The clips are
// made with the ffmpeg command line (testsrc2 with a sine tone, a clean one and a noisy one) with
// a timecode and a creation time, so that they carry timecode and recording-date packs; the
// run checks that our AVI keeps them.
//
// A third figure runs the whole capture graph as the capture program builds it (preview and
// "DV type 2 (with inlay)" capture, from the graph module) on the same clip and core, against the
// bare chain: what the preview, the tees and the heard audio add.
//
// Run: build/bench/inlay/bench_inlay_pipeline [--frames N] [--dir DIR] [--runs R]
#include "bench/support/BenchCapture.h"
#include "bench/support/BenchClips.h"
#include "bench/support/BenchProcess.h"
#include "filters/dvcodes/dvcodes.h"
#include "filters/vq_DVheader/vq_DVheader.h"
#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "graph/BuiltInFilters.h"
#include "graph/graph.h"
#include "platform/devices/virtual/DvCamcorderDevice.h"
#include "platform/devices/virtual/VirtualDeviceConfig.h"
#include "platform/devices/virtual/VirtualDvCamera.h"
#include "platform/media/EventCodes.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/filters/avimux/AviMux.h"
#include "platform/media/filters/avimux/FileWriter.h"
#include "platform/media/filters/colorconv/ColorConvert.h"
#include "platform/media/filters/colorconv/ColorSpaceConverterFilter.h"
#include "platform/media/filters/dv/DvFilterIds.h"
#include "platform/media/filters/dv/DvMuxerFilter.h"
#include "platform/media/filters/dv/DvSplitterCore.h"
#include "platform/media/filters/dv/DvSplitterFilter.h"
#include "platform/media/filters/dv/DvVideoDecoderCore.h"
#include "platform/media/filters/dv/DvVideoDecoderFilter.h"
#include "platform/media/filters/dv/DvVideoEncoderCore.h"
#include "platform/media/filters/dv/DvVideoEncoderFilter.h"
#include "platform/shell/LocaleProvider.h"

#include <QGuiApplication>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace talvence {
namespace {

namespace fs = std::filesystem;
using namespace bench;

struct Options {
    int frames = 500;
    int runs = 1;
    bool flip = false; // the inlay mirrors the picture: every pixel changes
    fs::path dir = fs::temp_directory_path() / "talvence-inlay-bench";
};

// ---- clips -----------------------------------------------------------------------------------

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- our chain -------------------------------------------------------------------------------

ComPtr<IPin> NthPin(IBaseFilter* filter, PIN_DIRECTION dir, int n) {
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.put());
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (e && e->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        auto owned = ComPtr<IPin>::Attach(pin);
        PIN_DIRECTION d;
        if (SUCCEEDED(owned->QueryDirection(&d)) && d == dir && n-- == 0) return owned;
    }
    return nullptr;
}

ComPtr<IPin> FreeInput(IBaseFilter* filter) {
    for (int i = 0;; ++i) {
        ComPtr<IPin> pin = NthPin(filter, PINDIR_INPUT, i);
        if (!pin) return nullptr;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.put()))) return pin;
    }
}

struct ChainResult {
    bool ok = false;
    std::string error;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    long encoderDrops = 0, decoderDrops = 0, converterDrops = 0;
};

// yuvInlay: the converter hands the decoder's own YUV layout on and the superposer draws into
// it (only the text's area goes through RGB), so the encoder takes YUV as it codes it; without
// it the converter gives RGB24, as intelligent connection picks.
ChainResult RunOurChain(const fs::path& clip, const fs::path& out, bool yuvInlay, bool flip) {
    ChainResult r;
    DvCamcorderConfig config;
    config.mode = DvCamcorderMode::Camera;
    config.pacing = DvPacing::AsFastAsPossible;
    config.file = clip.string();
    std::string error;
    auto device = DvCamcorderDevice::Open(config, error);
    if (!device) {
        r.error = "camcorder: " + error;
        return r;
    }
    fs::remove(out);

    ComPtr<CFilterGraph> graph(new CFilterGraph);
    ComPtr<TVirtualDvCamera> camera(new TVirtualDvCamera(device, "virtual:dv:0"));
    ComPtr<Tvq_SceneDetect> scene(new Tvq_SceneDetect);
    ComPtr<TDvSplitter> splitter(new TDvSplitter);
    ComPtr<TDvVideoDecoder> decoder(new TDvVideoDecoder);
    ComPtr<TColorSpaceConverter> converter(new TColorSpaceConverter);
    ComPtr<Tvq_Superposer> superposer(new Tvq_Superposer(scene.get(), EnglishLocaleFormats(), 96));
    superposer->SetYuvInput(yuvInlay);
    superposer->SetInlayFlip(flip);
    ComPtr<TDvVideoEncoder> encoder(new TDvVideoEncoder);
    ComPtr<TDvMuxer> muxer(new TDvMuxer);
    ComPtr<TDvSplitter> splitter2(new TDvSplitter);
    ComPtr<Tvq_DVheader> header(new Tvq_DVheader(scene.get()));
    ComPtr<TAviMux> mux(new TAviMux);
    ComPtr<TFileWriter> writer(new TFileWriter);

    const std::pair<IBaseFilter*, const char*> filters[] = {
        {camera.get(), "Virtual DV Camcorder"},
        {scene.get(), "SceneDetect"},
        {splitter.get(), "DVsplitter"},
        {decoder.get(), "DVDEcoder"},
        {converter.get(), "color1"},
        {superposer.get(), "Superposer"},
        {encoder.get(), "DVencoder"},
        {muxer.get(), "DVmuxer"},
        {splitter2.get(), "DVsplitter2"},
        {header.get(), "DVheader"},
        {mux.get(), "AVI Mux"},
        {writer.get(), "File writer"},
    };
    for (const auto& [f, name] : filters)
        if (FAILED(graph->AddFilter(f, name))) {
            r.error = std::string("cannot add ") + name;
            return r;
        }
    if (FAILED(encoder->put_IFormatResolution(dvcodec::DVENCODERVIDEOFORMAT_PAL,
                                              dvcodec::DVENCODERFORMAT_DVSD,
                                              dvcodec::DVENCODERRESOLUTION_720x480, 0, nullptr))) {
        r.error = "encoder refuses PAL";
        return r;
    }
    ComPtr<IFileSinkFilter> sink = ComPtr<IBaseFilter>(writer.get()).As<IFileSinkFilter>();
    sink->SetFileName(out.string(), nullptr);

    struct Link {
        IBaseFilter* from;
        int outPin;
        IBaseFilter* to;
        const char* what;
    };
    const Link links[] = {
        {camera.get(), 0, scene.get(), "camcorder -> scene detector"},
        {scene.get(), 0, splitter.get(), "scene detector -> splitter"},
        {splitter.get(), 0, decoder.get(), "splitter video -> decoder"},
        {decoder.get(), 0, converter.get(), "decoder -> converter"},
        {converter.get(), 0, superposer.get(), "converter -> superposer"},
        {superposer.get(), 0, encoder.get(), "superposer -> encoder"},
        {encoder.get(), 0, muxer.get(), "encoder -> muxer video"},
        {splitter.get(), 1, muxer.get(), "splitter audio -> muxer audio"},
        {muxer.get(), 0, splitter2.get(), "muxer -> splitter 2"},
        {splitter2.get(), 0, header.get(), "splitter 2 video -> DV header"},
        {header.get(), 0, mux.get(), "DV header -> AVI Mux"},
        {splitter2.get(), 1, mux.get(), "splitter 2 audio -> AVI Mux"},
        {mux.get(), 0, writer.get(), "AVI Mux -> File Writer"},
    };
    for (const Link& l : links) {
        ComPtr<IPin> from = NthPin(l.from, PINDIR_OUTPUT, l.outPin);
        ComPtr<IPin> to = FreeInput(l.to);
        // The converter's input type, asked of its output: the same layout passed on.
        CMediaType same;
        const bool askSame = yuvInlay && l.from == converter.get();
        if (askSame) same = converter->InputPin()->CurrentMediaType();
        const HRESULT hr =
            from && to ? graph->ConnectDirect(from.get(), to.get(), askSame ? &same : nullptr)
                       : E_POINTER;
        if (FAILED(hr)) {
            char text[160];
            std::snprintf(text, sizeof text, "cannot connect %s (0x%08x)", l.what,
                          static_cast<unsigned>(hr));
            r.error = text;
            return r;
        }
    }

    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    if (FAILED(graph->Run())) {
        r.error = "the graph does not run";
        return r;
    }
    long code = 0;
    const HRESULT done = graph->WaitForCompletion(600000, &code);
    const double cpu1 = ProcessCpuSeconds();
    const double wall1 = WallSeconds();
    graph->Stop();
    if (done != S_OK || code != EC_COMPLETE) {
        r.error = "the run did not complete (code " + std::to_string(code) + ")";
        return r;
    }
    r.ok = true;
    r.cpuSeconds = cpu1 - cpu0;
    r.wallSeconds = wall1 - wall0;
    r.encoderDrops = encoder->FramesDropped();
    r.decoderDrops = decoder->FramesDropped();
    r.converterDrops = converter->FramesDropped();
    return r;
}

// The same work as the capture program builds it: the graph module's DV preview (scene
// detector, decoder, converters, superposer, frame grabber, preview renderer, the heard DV audio)
// with the "DV type 2 (with inlay)" capture added, fed by the virtual DV camcorder reading the
// clip as fast as it goes.
ChainResult RunCaptureGraph(const fs::path& clip, const fs::path& out, bool flip) {
    fs::remove(out);
    const CaptureRun run = RunCaptureOfClip(
        clip,
        [&](TdmCam& cam) {
            if (!cam.BuildCaptureGraph(SourceKind::skDv, cfDvType2Inlay, 0, out.string()))
                return false;
            cam.ForceDvAudio44100(0); // the capture program's default: DV audio at its own rate
            cam.Superposer().SetInlayFlip(flip);
            return true;
        },
        false);
    ChainResult r;
    r.ok = run.ok;
    r.error = run.error;
    r.cpuSeconds = run.cpuSeconds;
    r.wallSeconds = run.wallSeconds;
    return r;
}

// ---- ffmpeg's chain --------------------------------------------------------------------------

struct FfmpegResult {
    bool ok = false;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

FfmpegResult RunFfmpeg(const fs::path& clip, const fs::path& out) {
    std::vector<std::string> args = OneCoreFfmpeg(clip.string(), InlayDrawtext("format=yuv420p"));
    args.insert(args.end(), {"-c:v", "dvvideo", "-c:a", "pcm_s16le", "-f", "avi", out.string()});
    FfmpegResult r;
    const double cpu0 = ChildrenCpuSeconds();
    const double wall0 = WallSeconds();
    const int rc = RunCommand(args);
    r.wallSeconds = WallSeconds() - wall0;
    r.cpuSeconds = ChildrenCpuSeconds() - cpu0;
    r.ok = rc == 0 && fs::exists(out);
    return r;
}

// ---- checks of the output --------------------------------------------------------------------

// The video frames of an AVI file as raw DV, through the ffmpeg command line (stream copy).
std::vector<std::uint8_t> VideoFramesOf(const fs::path& avi, const fs::path& scratch) {
    fs::remove(scratch);
    if (RunCommand({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", avi.string(),
                    "-map", "0:v:0", "-c", "copy", "-f", "rawvideo", scratch.string()}) != 0)
        return {};
    return ReadAll(scratch);
}

struct PackCheck {
    std::size_t frames = 0; // whole frames in the file
    int compared = 0;       // frames whose packs were compared with the clip's
    int timecodeKept = 0;   // ... whose timecode pack equals the clip's frame's
    int recDateKept = 0;    // ... whose recording date and time equal the clip's frame's
    std::string firstTimecode;
};

std::string TimecodeText(const DvTimecode& tc) {
    if (tc.hours == 0xFF) return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", tc.hours, tc.minutes, tc.seconds,
                  tc.frames);
    return text;
}

PackCheck ComparePacks(const std::vector<std::uint8_t>& clip,
                       const std::vector<std::uint8_t>& out) {
    PackCheck c;
    c.frames = out.size() / kDvFrameBytes625;
    const std::size_t clipFrames = clip.size() / kDvFrameBytes625;
    for (std::size_t i = 0; i < c.frames && i < clipFrames; i += (c.frames / 8) + 1) {
        const std::uint8_t* a = clip.data() + i * kDvFrameBytes625;
        const std::uint8_t* b = out.data() + i * kDvFrameBytes625;
        ++c.compared;
        const DvTimecode ta = DvReadTimecode(a, 0), tb = DvReadTimecode(b, 0);
        if (c.firstTimecode.empty()) c.firstTimecode = TimecodeText(tb);
        if (tb.hours != 0xFF && TimecodeText(ta) == TimecodeText(tb)) ++c.timecodeKept;
        DvRecDateTime da, db;
        DvReadRecDateTime(a, 0, da);
        DvReadRecDateTime(b, 0, db);
        if (db.year >= 0 && da.year == db.year && da.month == db.month && da.day == db.day &&
            da.hour == db.hour && da.minute == db.minute && da.second == db.second)
            ++c.recDateKept;
    }
    return c;
}

// ---- where the time goes ---------------------------------------------------------------------

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU per frame of each stage of the chain, run one after the other on this thread with the
// cores the filters wrap. The graph's own share (samples, muxing, splitting again, the DV header,
// the AVI file) is what the whole chain costs beyond their sum.
struct Breakdown {
    double split = 0, decode = 0, toRgb = 0, composeRgb = 0, toYuvSws = 0, toYuvOwn = 0,
           composeYuv = 0, encode = 0;
    int frames = 0;
};

Breakdown MeasureStages(const std::vector<std::uint8_t>& clip) {
    using namespace dvcodec;
    Breakdown b;
    DvSplitterCore splitter;
    DvVideoDecoderCore decoder;
    DvEncoderOptions encoderOptions;
    encoderOptions.system = DvSystem::Pal625;
    DvVideoEncoderCore encoder(encoderOptions);
    SwsPictureConverter sws;
    colorconv::ColorConverter converter;
    SuperposerCore rgbInlay([] { return std::int64_t{400000}; }, EnglishLocaleFormats());
    SuperposerCore yuvInlay([] { return std::int64_t{400000}; }, EnglishLocaleFormats());
    const int w = 720, h = 576;
    const std::ptrdiff_t stride = colorconv::Rgb24Stride(w);
    std::vector<std::uint8_t> yuv(colorconv::YuvFrameSize(colorconv::YuvLayout::Yuv420p, w, h));
    std::vector<std::uint8_t> yuvOut(yuv.size()), rgb(stride * h), rgbOut(rgb.size());
    std::vector<std::uint8_t> dv(kPalFrameBytes);
    const TDateTime now = EncodeDateTime(2026, 5, 2, 10, 0, 0, 0);
    auto timed = [](double& total, auto&& work) {
        const double t0 = ThreadCpuSeconds();
        work();
        total += ThreadCpuSeconds() - t0;
    };
    for (std::size_t at = 0; at + kPalFrameBytes <= clip.size(); at += kPalFrameBytes) {
        const std::span<const std::uint8_t> frame(clip.data() + at, kPalFrameBytes);
        timed(b.split, [&] { splitter.Split(frame); });
        bool decoded = false;
        timed(b.decode, [&] { decoded = decoder.Decode(frame) == DvDecodeStatus::Ok; });
        if (!decoded) continue;
        const ConstPicture native = decoder.picture();
        colorconv::YuvFrame src;
        src.layout = colorconv::YuvLayout::Yuv420p;
        src.width = w;
        src.height = h;
        for (int p = 0; p < 3; ++p) {
            src.planes[p] = const_cast<std::uint8_t*>(native.planes[p]);
            src.strides[p] = native.strides[p];
        }
        const colorconv::Rgb24Frame rgbView = colorconv::BottomUpRgb24(rgb.data(), w, h, stride);
        timed(b.toRgb, [&] { converter.YuvToRgb24(src, rgbView); });
        InlayFrame rgbFrame{true,          rgb.data(), rgb.size(), rgbOut.data(),
                            rgbOut.size(), w,          h,          stride};
        timed(b.composeRgb, [&] { rgbInlay.Compose(rgbFrame, DvFrameInfo{}, now); });
        const colorconv::Rgb24Frame composed =
            colorconv::BottomUpRgb24(rgbOut.data(), w, h, stride);
        const auto rgbPicture =
            PictureOver(std::span<const std::uint8_t>(rgbOut), PixelLayout::Rgb24, w, h);
        const auto yuvPicture =
            PictureOver(std::span<std::uint8_t>(yuvOut), PixelLayout::Yuv420p, w, h);
        timed(b.toYuvSws, [&] { sws.Convert(*rgbPicture, *yuvPicture); });
        timed(b.toYuvOwn, [&] {
            converter.Rgb24ToYuv(composed, colorconv::YuvFrameOver(
                                               yuvOut.data(), colorconv::YuvLayout::Yuv420p, w, h));
        });
        // The YUV inlay composes from the decoder's picture, packed as the decoder filter
        // delivers it.
        const auto packed = PictureOver(std::span<std::uint8_t>(yuv), PixelLayout::Yuv420p, w, h);
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? h : h / 2, cols = p == 0 ? w : w / 2;
            for (int y = 0; y < rows; ++y)
                std::memcpy(packed->planes[p] + packed->strides[p] * y,
                            native.planes[p] + native.strides[p] * y, std::size_t(cols));
        }
        InlayFrame yuvFrame{true, yuv.data(), yuv.size(), yuvOut.data(), yuvOut.size(), w, h, 0};
        timed(b.composeYuv, [&] {
            yuvInlay.Compose(yuvFrame, colorconv::YuvLayout::Yuv420p, DvFrameInfo{}, now);
        });
        timed(b.encode, [&] {
            encoder.Encode(std::span<const std::uint8_t>(yuvOut), PixelLayout::Yuv420p, w, h, dv);
        });
        ++b.frames;
    }
    return b;
}

// ---- the run ---------------------------------------------------------------------------------

struct Row {
    std::string clip, variant;
    double oursMs = 0, ffmpegMs = 0;
    double oursFps1 = 0, oursFps2 = 0;
    PackCheck ours, theirs;
};

int Main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc)
            o.frames = std::atoi(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            o.runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            o.dir = argv[++i];
        else if (a == "--flip")
            o.flip = true;
        else {
            std::fprintf(stderr, "usage: %s [--frames N] [--runs R] [--dir DIR] [--flip]\n", argv[0]);
            return 2;
        }
    }
    fs::create_directories(o.dir);
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);

    std::vector<Row> rows;
    std::vector<std::pair<std::string, Breakdown>> breakdowns;
    // Per clip: CPU ms per frame of the whole capture graph and of the bare chain (RGB inlay),
    // and the whole graph's frames per second on one core and on two.
    struct Whole {
        std::string clip;
        double graphMs = 0, chainMs = 0, fps1 = 0, fps2 = 0;
    };
    std::vector<Whole> wholeGraph;
    for (const bool noisy : {false, true}) {
        const std::string name = noisy ? "noisy" : "clean";
        const fs::path clip = o.dir / (name + ".dv");
        if (!MakeDvClip(clip, o.frames, noisy)) {
            std::fprintf(stderr, "cannot make %s with the ffmpeg command line\n", clip.c_str());
            return 1;
        }
        const auto clipBytes = ReadAll(clip);
        const double frames = static_cast<double>(clipBytes.size() / kDvFrameBytes625);
        const fs::path theirs = o.dir / (name + "-ffmpeg.avi");

        // Best of the runs for each figure: the machine is shared, so the least disturbed run
        // tells the cost. Ours and ffmpeg's alternate, so that both see the same conditions.
        struct Best {
            double cpu = 1e30, wall1 = 1e30, wall2 = 1e30;
        } best[2];
        double ffCpu = 1e30;
        double captureCpu = 1e30, captureWall1 = 1e30, captureWall2 = 1e30;
        for (int run = 0; run < o.runs; ++run) {
            for (int variant = 0; variant < 2; ++variant) {
                const bool yuv = variant == 1;
                const fs::path ours = o.dir / (name + (yuv ? "-ours-yuv.avi" : "-ours-rgb.avi"));
                PinTo({0});
                const ChainResult one = RunOurChain(clip, ours, yuv, o.flip);
                if (!one.ok) {
                    std::fprintf(stderr, "our chain on %s: %s\n", clip.c_str(), one.error.c_str());
                    return 1;
                }
                if (one.encoderDrops + one.decoderDrops + one.converterDrops > 0)
                    std::fprintf(stderr,
                                 "warning: frames dropped (decoder %ld, converter %ld, "
                                 "encoder %ld)\n",
                                 one.decoderDrops, one.converterDrops, one.encoderDrops);
                best[variant].cpu = std::min(best[variant].cpu, one.cpuSeconds);
                best[variant].wall1 = std::min(best[variant].wall1, one.wallSeconds);
                if (cpus >= 2) {
                    PinTo({0, 1});
                    const ChainResult two = RunOurChain(clip, o.dir / "two-cores.avi", yuv, o.flip);
                    if (two.ok)
                        best[variant].wall2 = std::min(best[variant].wall2, two.wallSeconds);
                    PinTo({0});
                }
            }
            PinTo({0});
            const ChainResult whole =
                RunCaptureGraph(clip, o.dir / (name + "-capture.avi"), o.flip);
            if (!whole.ok) {
                std::fprintf(stderr, "the capture graph on %s: %s\n", clip.c_str(),
                             whole.error.c_str());
                return 1;
            }
            captureCpu = std::min(captureCpu, whole.cpuSeconds);
            captureWall1 = std::min(captureWall1, whole.wallSeconds);
            if (cpus >= 2) {
                PinTo({0, 1});
                const ChainResult two =
                    RunCaptureGraph(clip, o.dir / (name + "-capture2.avi"), o.flip);
                if (two.ok) captureWall2 = std::min(captureWall2, two.wallSeconds);
                PinTo({0});
            }
            const FfmpegResult ff = RunFfmpeg(clip, theirs);
            if (!ff.ok) {
                std::fprintf(stderr, "the ffmpeg command line failed on %s\n", clip.c_str());
                return 1;
            }
            ffCpu = std::min(ffCpu, ff.cpuSeconds);
        }
        PinTo({0});
        breakdowns.push_back({name, MeasureStages(clipBytes)});
        wholeGraph.push_back({name, captureCpu * 1000.0 / frames, best[0].cpu * 1000.0 / frames,
                              frames / captureWall1,
                              captureWall2 < 1e29 ? frames / captureWall2 : 0.0});
        const PackCheck theirPacks =
            ComparePacks(clipBytes, VideoFramesOf(theirs, o.dir / "scratch.dv"));
        for (int variant = 0; variant < 2; ++variant) {
            const bool yuv = variant == 1;
            Row row;
            row.clip = name;
            row.variant = yuv ? "YUV inlay" : "RGB inlay";
            row.oursMs = best[variant].cpu * 1000.0 / frames;
            row.ffmpegMs = ffCpu * 1000.0 / frames;
            row.oursFps1 = frames / best[variant].wall1;
            row.oursFps2 = best[variant].wall2 < 1e29 ? frames / best[variant].wall2 : 0;
            row.ours = ComparePacks(
                clipBytes, VideoFramesOf(o.dir / (name + (yuv ? "-ours-yuv.avi" : "-ours-rgb.avi")),
                                         o.dir / "scratch.dv"));
            row.theirs = theirPacks;
            rows.push_back(row);
        }
    }

    std::printf("Inlay pipeline, %d frames of 720x576 PAL DV per clip, best of %d run(s); "
                "CPU ms per frame on one core\n",
                o.frames, o.runs);
    std::printf("%-6s %-10s %8s %8s %7s %8s %8s %6s  %-24s %-24s\n", "clip", "ours", "ours",
                "ffmpeg", "ratio", "1-core", "2-core", "2c/1c", "ours: TC, date kept",
                "ffmpeg: TC, date kept");
    for (const Row& r : rows) {
        char oursPacks[48], theirPacks[48];
        std::snprintf(oursPacks, sizeof oursPacks, "%d/%d, %d/%d of %zu fr", r.ours.timecodeKept,
                      r.ours.compared, r.ours.recDateKept, r.ours.compared, r.ours.frames);
        std::snprintf(theirPacks, sizeof theirPacks, "%d/%d, %d/%d of %zu fr",
                      r.theirs.timecodeKept, r.theirs.compared, r.theirs.recDateKept,
                      r.theirs.compared, r.theirs.frames);
        std::printf("%-6s %-10s %8.2f %8.2f %7.3f %6.0f/s %6.0f/s %6.2f  %-24s %-24s\n",
                    r.clip.c_str(), r.variant.c_str(), r.oursMs, r.ffmpegMs, r.oursMs / r.ffmpegMs,
                    r.oursFps1, r.oursFps2,
                    r.oursFps1 > 0 && r.oursFps2 > 0 ? r.oursFps2 / r.oursFps1 : 0.0, oursPacks,
                    theirPacks);
    }
    std::printf("\nThe whole capture graph (preview + \"DV type 2 (with inlay)\" capture) against "
                "the bare chain (RGB inlay), CPU ms per frame on one core; the graph's frames per "
                "second on one core and on two%s\n",
                o.flip ? " (flip on)" : "");
    std::printf("%-6s %8s %8s %7s %8s %8s %6s\n", "clip", "graph", "chain", "ratio", "1-core",
                "2-core", "2c/1c");
    for (const Whole& w : wholeGraph)
        std::printf("%-6s %8.2f %8.2f %7.3f %6.0f/s %6.0f/s %6.2f\n", w.clip.c_str(), w.graphMs,
                    w.chainMs, w.graphMs / w.chainMs, w.fps1, w.fps2,
                    w.fps1 > 0 && w.fps2 > 0 ? w.fps2 / w.fps1 : 0.0);
    std::printf("\nWhere the time goes: CPU ms per frame of each stage alone, on one thread\n");
    std::printf("%-6s %7s %7s %8s %8s %9s %9s %8s %7s\n", "clip", "split", "decode", "YUV>RGB",
                "inlayRGB", "RGB>YUV", "RGB>YUV", "inlayYUV", "encode");
    std::printf("%-6s %7s %7s %8s %8s %9s %9s %8s %7s\n", "", "", "", "", "", "(swscale)", "(own)",
                "", "");
    for (const auto& [name, b] : breakdowns) {
        const double n = b.frames > 0 ? b.frames / 1000.0 : 1;
        std::printf("%-6s %7.3f %7.3f %8.3f %8.3f %9.3f %9.3f %8.3f %7.3f\n", name.c_str(),
                    b.split / n, b.decode / n, b.toRgb / n, b.composeRgb / n, b.toYuvSws / n,
                    b.toYuvOwn / n, b.composeYuv / n, b.encode / n);
    }
    return 0;
}

} // namespace
} // namespace talvence

int main(int argc, char** argv) {
    // Pinned before any thread exists, so that every thread of the one-core runs shares CPU 0.
    talvence::PinTo({0});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return talvence::Main(argc, argv);
}
