#include "filters/BaseClass/CountingFilters.h"
#include "platform/devices/virtual/MpegBoxStream.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"
#include "platform/media/filters/mpeg/Mpeg2Demultiplexer.h"
#include "platform/media/filters/mpeg/MpegMediaTypes.h"
#include "tests/support/GraphHelpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

using testing::FirstPin;

std::vector<std::vector<BYTE>> Chunks(const std::vector<std::uint8_t>& stream, std::size_t size) {
    std::vector<std::vector<BYTE>> out;
    for (std::size_t at = 0; at < stream.size(); at += size)
        out.emplace_back(stream.begin() + std::ptrdiff_t(at),
                         stream.begin() + std::ptrdiff_t(std::min(stream.size(), at + size)));
    return out;
}

// Source (the program stream in chunks) → demultiplexer with "MpegVideo" on 0xE1 and
// "MpegAudio" on 0xC1 → one recording sink per pin.
struct DemuxGraph {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TCountingSource> source;
    ComPtr<TMpeg2Demultiplexer> demux{new TMpeg2Demultiplexer};
    ComPtr<TCountingSink> video{TCountingSink::Recording(AcceptingAny())};
    ComPtr<TCountingSink> audio{TCountingSink::Recording(AcceptingAny())};

    explicit DemuxGraph(const std::vector<std::uint8_t>& stream) {
        source = new TCountingSource(ProgramStreamType(), Chunks(stream, 5000));
        for (auto& f : source->frames) f.start.reset(); // a device's stream carries no times
        graph->AddFilter(source.get(), "Source");
        graph->AddFilter(demux.get(), "demux");
        graph->AddFilter(video.get(), "Video");
        graph->AddFilter(audio.get(), "Audio");
    }
    ~DemuxGraph() { graph->Stop(); }

    HRESULT Build(ULONG videoId = 0xE1, ULONG audioId = 0xC1) {
        HRESULT hr = graph->ConnectDirect(source->OutputPin(),
                                          FirstPin(demux.get(), PINDIR_INPUT).get(), nullptr);
        if (FAILED(hr)) return hr;
        const CMediaType videoType = MpegVideoPinType(), audioType = MpegAudioPinType();
        for (auto [type, name, id, sink] :
             {std::tuple{&videoType, "MpegVideo", videoId, video.get()},
              std::tuple{&audioType, "MpegAudio", audioId, audio.get()}}) {
            ComPtr<IPin> pin;
            if (FAILED(hr = demux->CreateOutputPin(type, name, pin.put()))) return hr;
            ComPtr<IMPEG2StreamIdMap> map;
            if (FAILED(hr = pin->QueryInterface(IMPEG2StreamIdMap::iid, map.putVoid()))) return hr;
            if (FAILED(hr = map->MapStreamId(id, MPEG2_PROGRAM_ELEMENTARY_STREAM, 0, 0))) return hr;
            if (FAILED(hr = graph->ConnectDirect(pin.get(), sink->InputPin(), nullptr))) return hr;
        }
        return S_OK;
    }
};

std::vector<BYTE> Payloads(const std::vector<std::uint8_t>& stream, std::uint8_t id) {
    std::vector<BYTE> out;
    mpeg::ProgramStreamParser parser;
    parser.Push(stream, [&](const mpeg::PesPacket& pes) {
        if (pes.streamId == id) out.insert(out.end(), pes.payload.begin(), pes.payload.end());
    });
    return out;
}

TEST(Mpeg2DemultiplexerTest, PinTypesCarryTheFormatBlocksByteForByte) {
    const CMediaType video = MpegVideoPinType();
    ASSERT_EQ(video.cbFormat, 218u);
    MPEG2VIDEOINFO info;
    std::memcpy(&info, video.pbFormat, sizeof info);
    EXPECT_EQ(info.hdr.AvgTimePerFrame, 400000);
    EXPECT_EQ(info.hdr.bmiHeader.biWidth, 720);
    EXPECT_EQ(info.cbSequenceHeader, 86u);
    const BYTE head[] = {0x00, 0x00, 0x01, 0xb3, 0x00, 0x00, 0x00, 0x00, 0x78, 0x03};
    EXPECT_EQ(std::memcmp(video.pbFormat + 132, head, sizeof head), 0);
    const BYTE extension[] = {0x00, 0x00, 0x01, 0xb5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(video.pbFormat + 208, extension, sizeof extension), 0);
    const CMediaType audio = MpegAudioPinType();
    ASSERT_EQ(audio.cbFormat, 40u);
    const auto* wave = reinterpret_cast<const MPEG1WAVEFORMAT*>(audio.pbFormat);
    EXPECT_EQ(wave->wfx.wFormatTag, 0x50);
    EXPECT_EQ(wave->wfx.nBlockAlign, 768);
    EXPECT_EQ(wave->dwHeadBitrate, 256000u);
    EXPECT_EQ(wave->fwHeadFlags, 0x1C);
}

TEST(Mpeg2DemultiplexerTest, MappedStreamsReachTheirPinsWithTimes) {
    // Setup
    const std::vector<std::uint8_t> stream = MakeMpegBoxProgram(25, true);
    DemuxGraph g(stream);
    ASSERT_EQ(g.Build(), S_OK);
    ComPtr<IPin> again;
    const CMediaType videoType = MpegVideoPinType();
    EXPECT_EQ(g.demux->CreateOutputPin(&videoType, "MpegVideo", again.put()), E_INVALIDARG);
    // Exercise
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.video.get(), g.audio.get()}));
    // Verification
    EXPECT_EQ(g.video->AllBytes(), Payloads(stream, 0xE1));
    EXPECT_EQ(g.audio->AllBytes(), Payloads(stream, 0xC1));
    const auto samples = g.audio->Samples();
    ASSERT_GT(samples.size(), 10u);
    EXPECT_TRUE(samples.front().discontinuity);
    REFERENCE_TIME last = -1;
    for (const auto& s : samples) {
        ASSERT_TRUE(s.hasTime);
        EXPECT_GT(s.start, last);
        last = s.start;
    }
    EXPECT_LT(samples.front().start, 10'000'000); // within a second of the first time stamp
    EXPECT_EQ(g.demux->DamagedCount(), 0u);
}

TEST(Mpeg2DemultiplexerTest, CommonNumberingFallsBackToTheFirstStreams) {
    const std::vector<std::uint8_t> stream = MakeMpegBoxProgram(10);
    DemuxGraph g(stream);
    ASSERT_EQ(g.Build(), S_OK);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.video.get(), g.audio.get()}));
    EXPECT_EQ(g.video->AllBytes(), Payloads(stream, 0xE0));
    EXPECT_EQ(g.audio->AllBytes(), Payloads(stream, 0xC0));
}

TEST(Mpeg2DemultiplexerTest, DamagedStreamRunsToItsEnd) {
    // Garbage, then the stream cut in the middle of a pack, then garbage again.
    std::vector<std::uint8_t> stream(3000, 0x47);
    const std::vector<std::uint8_t> program = MakeMpegBoxProgram(10);
    stream.insert(stream.end(), program.begin(), program.begin() + std::ptrdiff_t(program.size() / 2 + 777));
    stream.insert(stream.end(), {0, 0, 1, 0xE0, 0xFF});
    DemuxGraph g(stream);
    ASSERT_EQ(g.Build(), S_OK);
    ASSERT_TRUE(testing::RunToEnd(g.graph.get(), {g.video.get(), g.audio.get()}));
    EXPECT_GT(g.video->received.load(), 0);
    EXPECT_GE(g.demux->DamagedCount(), 1u);
}

TEST(Mpeg2DemultiplexerTest, PinsChangeOnlyWhileStopped) {
    DemuxGraph g(MakeMpegBoxProgram(5));
    ASSERT_EQ(g.Build(), S_OK);
    EXPECT_EQ(g.demux->DeleteOutputPin("MpegAudio"), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(g.demux->DeleteOutputPin("Nothing"), VFW_E_NOT_FOUND);
    ASSERT_EQ(g.graph->Pause(), S_OK);
    ComPtr<IPin> pin;
    const CMediaType audioType = MpegAudioPinType();
    EXPECT_EQ(g.demux->CreateOutputPin(&audioType, "Other", pin.put()), VFW_E_NOT_STOPPED);
    g.graph->Stop();
    EXPECT_EQ(g.demux->CreateOutputPin(&audioType, "Other", pin.put()), S_OK);
    EXPECT_EQ(testing::PinNames(g.demux.get()).size(), 4u);
    EXPECT_EQ(g.demux->DeleteOutputPin("Other"), S_OK);
    EXPECT_EQ(testing::PinNames(g.demux.get()).size(), 3u);
}

} // namespace
} // namespace talvence
