// The ASF writer in a graph of counting sources: sample times kept in the file, the inputs
// following the profile, and a full disk.

#include "platform/media/filters/asf/AsfWriter.h"
#include "filters/BaseClass/CountingFilters.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/AviWriterTestSupport.h"
#include "tests/support/GraphHelpers.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <random>

namespace talvence {
namespace {

using namespace testing;

constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);

TWmProfile SmallProfile(bool withAudio) {
    std::vector<TWmStreamConfig> streams;
    TWmStreamConfig video;
    video.streamType = MEDIATYPE_Video;
    video.streamNumber = 2;
    video.codec = WmCodec::Wmv2;
    video.bitRate = 2000000;
    video.width = 320;
    video.height = 240;
    video.frameRateNum = 25;
    video.keyFrameMs = 1000;
    streams.push_back(video);
    if (withAudio) {
        TWmStreamConfig audio;
        audio.streamType = MEDIATYPE_Audio;
        audio.streamNumber = 1;
        audio.codec = WmCodec::Wmav2;
        audio.bitRate = 64000;
        audio.sampleRate = 44100;
        audio.channels = 2;
        streams.push_back(audio);
    }
    return TWmProfile("test", std::move(streams));
}

CMediaType Pcm48k() {
    CMediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    mt.SetFormatType(FORMAT_WaveFormatEx);
    const WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof wave);
    return mt;
}

// Noise, so that every picture costs the encoder its full share of the bit rate.
std::vector<TTestFrame> NoisyPictures(const std::vector<int>& frameNumbers) {
    std::mt19937 random(7);
    std::vector<TTestFrame> frames;
    for (int n : frameNumbers) {
        TTestFrame f;
        f.bytes.resize(320 * 240 * 3);
        for (auto& b : f.bytes)
            b = static_cast<BYTE>(random());
        f.start = n * 400000LL;
        f.stop = (n + 1) * 400000LL;
        frames.push_back(std::move(f));
    }
    return frames;
}

struct Branch {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    ComPtr<TAsfWriter> writer{new TAsfWriter};
    ComPtr<TCountingSource> video{new TCountingSource};
    ComPtr<TCountingSource> audio{new TCountingSource};

    Branch(const std::filesystem::path& file, const TWmProfile& profile,
           const std::vector<int>& frameNumbers) {
        writer->ConfigureFilterUsingProfile(profile);
        writer->SetFileName(file.string(), nullptr);
        graph->AddFilter(writer.get(), "WM ASF Writer");
        video->feed = TCountingSource::Feed::List;
        video->SetFrames(NoisyPictures(frameNumbers));
        audio->feed = TCountingSource::Feed::List;
        audio->mediaType = Pcm48k();
        audio->frames = TimedFrames(PcmBlocksOf(frameNumbers.back() + 1));
        graph->AddFilter(video.get(), "video");
        graph->AddFilter(audio.get(), "audio");
    }
    static std::vector<std::vector<BYTE>> PcmBlocksOf(int count) {
        std::vector<std::vector<BYTE>> blocks;
        for (int i = 0; i < count; ++i)
            blocks.push_back(PcmForFrame(static_cast<std::size_t>(i)));
        return blocks;
    }
    HRESULT Connect(TCountingSource* source) {
        return graph->ConnectDirect(source->OutputPin(), FreePin(writer.get(), PINDIR_INPUT).get(),
                                    nullptr);
    }
};

std::vector<std::string> VideoPacketTimes(const std::filesystem::path& file) {
    const ToolRun run = RunTool("ffprobe -v error -select_streams v -show_entries packet=pts_time "
                                "-of csv=p=0 " +
                                Quote(file));
    std::vector<std::string> times;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        times.push_back(line);
    return times;
}

class AsfWriterTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(AsfWriterTest, ADroppedFrameLeavesAGapInTimeAndTheSoundIsKept) {
    // Setup: frame 3 never arrives.
    const auto file = dir_ / "gap.wmv";
    Branch b(file, SmallProfile(true), {0, 1, 2, 4, 5});
    ASSERT_EQ(b.writer->GetPinCount(), 2);
    ASSERT_EQ(b.Connect(b.video.get()), S_OK);
    ASSERT_EQ(b.Connect(b.audio.get()), S_OK);

    // Exercise
    ASSERT_EQ(b.graph->Run(), S_OK);
    const auto completed = WaitForEvent(b.graph.get(), EC_COMPLETE, 20000);
    ASSERT_EQ(b.graph->Stop(), S_OK);

    // Verification
    ASSERT_TRUE(completed.has_value());
    EXPECT_EQ(VideoPacketTimes(file), (std::vector<std::string>{"0.000000", "0.040000", "0.080000",
                                                                "0.160000", "0.200000"}));
    const auto streams = Probe(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), "wmv2");
    EXPECT_EQ(streams[0].at("width"), "320");
    EXPECT_EQ(streams[1].at("codec_name"), "wmav2");
    EXPECT_EQ(streams[1].at("sample_rate"), "44100");
    std::vector<std::uint64_t> lengths;
    b.writer->GetStreamLengths(&lengths);
    EXPECT_EQ(lengths, (std::vector<std::uint64_t>{5, 6}));
}

TEST_F(AsfWriterTest, AProfileWithoutSoundTakesTheConnectedAudioInputAway) {
    // Setup
    const auto file = dir_ / "silent.wmv";
    Branch b(file, SmallProfile(true), {0, 1, 2});
    ASSERT_EQ(b.Connect(b.video.get()), S_OK);
    ASSERT_EQ(b.Connect(b.audio.get()), S_OK);
    IPin* videoInput = b.writer->GetPin(0);

    // Exercise
    ASSERT_EQ(b.writer->ConfigureFilterUsingProfile(SmallProfile(false)), S_OK);
    ASSERT_EQ(b.graph->Run(), S_OK);
    ASSERT_TRUE(WaitForEvent(b.graph.get(), EC_COMPLETE, 20000).has_value());
    ASSERT_EQ(b.graph->Stop(), S_OK);

    // Verification: the video input stayed connected, the audio source lost its peer.
    EXPECT_EQ(b.writer->GetPinCount(), 1);
    EXPECT_EQ(b.writer->GetPin(0), videoInput);
    ComPtr<IPin> peer;
    EXPECT_EQ(b.audio->OutputPin()->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
    const auto streams = Probe(file);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("nb_read_frames"), "3");
}

TEST_F(AsfWriterTest, AFullDiskEndsTheFileAtItsLastPacketAndReportsTheFailure) {
    // Setup: room for the header and a few pictures of sixty.
    const auto file = dir_ / "full.wmv";
    CappedAviOutputFiles files(200 * 1000);
    std::vector<int> numbers(60);
    for (int i = 0; i < 60; ++i)
        numbers[static_cast<std::size_t>(i)] = i;
    Branch b(file, SmallProfile(false), numbers);
    ASSERT_EQ(b.writer->SetOutputFiles(&files), S_OK);
    ASSERT_EQ(b.Connect(b.video.get()), S_OK);

    // Exercise
    ASSERT_EQ(b.graph->Run(), S_OK);
    const auto aborted = WaitForEvent(b.graph.get(), EC_ERRORABORT, 20000);
    // The source learns of it at its next delivery.
    WaitUntil([&] { return b.video->lastDeliverResult.load() != S_OK; });
    b.graph->Stop();

    // Verification
    ASSERT_TRUE(aborted.has_value());
    EXPECT_EQ(static_cast<HRESULT>(*aborted), kDiskFull);
    HRESULT code = S_OK;
    std::string message;
    b.writer->GetLastError(&code, &message);
    EXPECT_EQ(code, kDiskFull);
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_EQ(b.video->lastDeliverResult.load(), kDiskFull);
    const ToolRun check = RunTool("ffprobe -v error -count_frames -show_entries "
                                  "stream=codec_name,nb_read_frames -of csv=p=0 " +
                                  Quote(file) + " 2>&1");
    EXPECT_EQ(check.status, 0);
    const std::size_t comma = check.out.find(',');
    ASSERT_NE(comma, std::string::npos) << check.out;
    EXPECT_EQ(check.out.substr(0, comma), "wmv2") << check.out;
    const int read = std::stoi(check.out.substr(comma + 1));
    EXPECT_GT(read, 0);
    EXPECT_LT(read, 60);
}

} // namespace
} // namespace talvence
