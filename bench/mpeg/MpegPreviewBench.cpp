// The preview of an MPEG-2 stream source on one core, in multiples of real time:
//
//   program stream of the virtual MPEG-2 box (720 x 576, 25 pictures a second, MPEG audio)
//     -> MPEG-2 Demultiplexer -> "MpegVideo" -> MPEG-2 video decoder [-> deinterlacer]
//     -> superposer (date and time inlaid) -> preview hand-off (a sink taking each picture)
//                             -> "MpegAudio" -> MPEG audio decoder -> sink
//
// The stream is made before the clock starts and fed in 32 KiB pieces as fast as the graph
// takes them; the process is pinned to one core and its CPU time measured around the run, so
// every streaming thread shares that core. Real time is 25 pictures a second.
//
// Run: build/bench/mpeg/bench_mpeg_preview [--pictures N]
#include "filters/BaseClass/CountingFilters.h"
#include "filters/vq_scenedetect/vq_scenedetect.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "platform/devices/virtual/MpegBoxStream.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/PinWalk.h"
#include "platform/media/filters/deinterlace/Deinterlacer.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"
#include "platform/media/filters/mpeg/Mpeg2VideoDecoder.h"
#include "platform/media/filters/mpeg/MpegAudioDecoder.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"

#include <QGuiApplication>

#include <sched.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace talvence {
namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

ComPtr<IPin> FirstOf(IBaseFilter* filter, PIN_DIRECTION dir) {
    for (const ComPtr<IPin>& pin : PinsOf(filter))
        if (HasDirection(pin.get(), dir) && !IsConnected(pin.get())) return pin;
    return nullptr;
}

// One run; the multiple of real time, or a negative number when the graph failed.
double Run(const std::vector<std::uint8_t>& stream, int pictures, bool deinterlace) {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    std::vector<std::vector<BYTE>> pieces;
    for (std::size_t at = 0; at < stream.size(); at += 32768)
        pieces.emplace_back(stream.begin() + std::ptrdiff_t(at),
                            stream.begin() + std::ptrdiff_t(std::min(stream.size(), at + 32768)));
    ComPtr<TCountingSource> source{new TCountingSource(ProgramStreamType(), pieces)};
    for (auto& piece : source->frames) piece.start.reset();
    source->bufferCount = 4;
    ComPtr<TMpeg2Demultiplexer> demux{new TMpeg2Demultiplexer};
    ComPtr<TMpeg2VideoDecoder> video{new TMpeg2VideoDecoder};
    ComPtr<TMpegAudioDecoder> audio{new TMpegAudioDecoder};
    ComPtr<TDeinterlacer> deinterlacer{new TDeinterlacer};
    ComPtr<Tvq_SceneDetect> scenes{new Tvq_SceneDetect};
    ComPtr<Tvq_Superposer> inlay{new Tvq_Superposer(scenes.get())};
    inlay->SetInlayActive(true);
    ComPtr<TCountingSink> picturesOut{new TCountingSink};
    picturesOut->accept = AcceptingAny();
    ComPtr<TCountingSink> soundOut{new TCountingSink};
    soundOut->accept = AcceptingAny();
    graph->AddFilter(source.get(), "source");
    graph->AddFilter(demux.get(), "demux");
    graph->AddFilter(video.get(), "video decoder");
    graph->AddFilter(audio.get(), "audio decoder");
    graph->AddFilter(inlay.get(), "Superposer");
    graph->AddFilter(picturesOut.get(), "preview");
    graph->AddFilter(soundOut.get(), "speakers");
    if (deinterlace) graph->AddFilter(deinterlacer.get(), "deinterlacer");
    graph->SetSyncSource(nullptr);

    bool ok = SUCCEEDED(graph->ConnectDirect(source->OutputPin(),
                                             FirstOf(demux.get(), PINDIR_INPUT).get(), nullptr));
    const CMediaType videoType = MpegVideoPinType(), audioType = MpegAudioPinType();
    ComPtr<IPin> videoPin, audioPin;
    ok = ok && SUCCEEDED(demux->CreateOutputPin(&videoType, "MpegVideo", videoPin.put())) &&
         SUCCEEDED(demux->CreateOutputPin(&audioType, "MpegAudio", audioPin.put()));
    for (auto [pin, id] : {std::pair{videoPin.get(), 0xE0u}, std::pair{audioPin.get(), 0xC0u}}) {
        ComPtr<IMPEG2StreamIdMap> map;
        ok = ok && SUCCEEDED(pin->QueryInterface(IMPEG2StreamIdMap::iid, map.putVoid())) &&
             SUCCEEDED(map->MapStreamId(id, MPEG2_PROGRAM_ELEMENTARY_STREAM, 0, 0));
    }
    auto connect = [&](IPin* out, IBaseFilter* to) {
        return SUCCEEDED(graph->Connect(out, FirstOf(to, PINDIR_INPUT).get()));
    };
    ok = ok && connect(videoPin.get(), video.get());
    if (deinterlace)
        ok = ok && connect(FirstOf(video.get(), PINDIR_OUTPUT).get(), deinterlacer.get()) &&
             connect(FirstOf(deinterlacer.get(), PINDIR_OUTPUT).get(), inlay.get());
    else
        ok = ok && connect(FirstOf(video.get(), PINDIR_OUTPUT).get(), inlay.get());
    ok = ok && connect(FirstOf(inlay.get(), PINDIR_OUTPUT).get(), picturesOut.get()) &&
         connect(audioPin.get(), audio.get()) &&
         connect(FirstOf(audio.get(), PINDIR_OUTPUT).get(), soundOut.get());
    if (!ok) return -1;

    const double before = CpuSeconds();
    if (FAILED(graph->Run())) return -1;
    if (!picturesOut->WaitForEndOfStream(1, std::chrono::minutes(5))) return -1;
    const double cpu = CpuSeconds() - before;
    graph->Stop();
    const long shown = picturesOut->received;
    if (shown < pictures - 2) {
        std::fprintf(stderr, "only %ld of %d pictures arrived\n", shown, pictures);
        return -1;
    }
    return double(shown) / 25.0 / cpu;
}

} // namespace
} // namespace talvence

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // the inlay draws its text with QtGui
    int pictures = 500;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--pictures") == 0) pictures = std::atoi(argv[i + 1]);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    const std::vector<std::uint8_t> stream = talvence::MakeMpegBoxProgram(pictures);
    const double plain = talvence::Run(stream, pictures, false);
    const double deinterlaced = talvence::Run(stream, pictures, true);
    std::printf("MPEG-2 preview, %d pictures 720x576, one core: %.1f x real time\n", pictures,
                plain);
    std::printf("MPEG-2 preview deinterlaced, one core:        %.1f x real time\n", deinterlaced);
    return plain > 0 && deinterlaced > 0 ? 0 : 1;
}
