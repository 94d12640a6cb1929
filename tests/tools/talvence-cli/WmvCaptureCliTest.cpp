// talvence-cli capture in "Wmv (with inlay)" from the virtual DV camcorder reading a clip that
// ffmpeg made: what each profile writes, read back by ffprobe.

#include "graph/WindowsMediaProfiles.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/TempStore.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cmath>
#include <map>
#include <regex>
#include <sstream>

namespace talvence {
namespace {

using testing::Quote;
using testing::RunTool;

using Fields = std::map<std::string, std::string>;
struct Probed {
    Fields format;
    std::vector<Fields> streams;
};

Probed ProbeFile(const std::string& file) {
    const auto run =
        RunTool("ffprobe -v error -show_entries format=format_name,duration,bit_rate:stream="
                "codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels,duration "
                "-of flat " +
                Quote(file));
    Probed p;
    const std::regex line(R"re((format|streams\.stream\.(\d+))\.(\w+)="?([^"]*)"?)re");
    std::istringstream lines(run.out);
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) continue;
        if (m[2].matched) {
            const auto i = std::stoul(m[2]);
            if (p.streams.size() <= i) p.streams.resize(i + 1);
            p.streams[i][m[3]] = m[4];
        } else {
            p.format[m[3]] = m[4];
        }
    }
    return p;
}

const Fields* StreamOf(const Probed& p, const std::string& type) {
    for (const Fields& s : p.streams)
        if (s.at("codec_type") == type) return &s;
    return nullptr;
}

class WmvCaptureCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        clips_ = new testing::TempDir;
        for (const auto& [name, seconds] : {std::pair{"long.dv", "8"}, std::pair{"short.dv", "1"}})
            RunTool("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                    "sine=frequency=440:sample_rate=48000 -t " +
                    std::string(seconds) + " -target pal-dv " + Quote(*clips_ / name));
    }
    static void TearDownTestSuite() { delete clips_; }

    // Captures the clip to its end with these preference lines in the store; the file written
    // and the frames the capture counted. The camcorder reads the clip as fast as it goes, or at
    // its own rate with pace "real".
    // Without a clip the virtual webcam is the source.
    std::pair<std::string, long> Capture(const std::string& clip, const std::string& store,
                                         const std::string& arguments = "",
                                         const std::string& pace = "fast") {
        testing::TempStore::Write(this->store.UserHive(),
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Talvence]\n"
                                  "\"Video Date\"=dword:00000000\n"
                                  "\"Video Racine\"=\"Wmv\"\n"
                                  "\"Ecouter Audio inclus\"=dword:00000001\n" +
                                      store);
        const std::string devices = clip.empty() ? std::string("TALVENCE_VIRTUAL_DEVICES=webcam ")
                                                 : "TALVENCE_VIRTUAL_DEVICES='dv:pace=" + pace +
                                                       ":file=" + (*clips_ / clip).string() + "' ";
        const auto run = RunTool(
            devices + "timeout 120 " TALVENCE_CLI_PATH " capture --format 'Wmv (with inlay)' --inlay "
            "--yes --folder " +
            Quote(this->store.Dir() / "v") + " " + arguments + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        std::smatch m;
        long frames = -1;
        const std::regex counted("frames (\\d+)");
        for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), counted);
             it != std::sregex_iterator(); ++it)
            frames = std::stol((*it)[1]);
        std::regex_search(run.out, m, std::regex("wrote (.*)"));
        return {m.empty() ? std::string() : std::string(m[1]), frames};
    }

    static testing::TempDir* clips_;
    testing::TempStore store;
};
testing::TempDir* WmvCaptureCliTest::clips_ = nullptr;

class DefaultProfileCliTest : public WmvCaptureCliTest,
                              public ::testing::WithParamInterface<int> {};

TEST_P(DefaultProfileCliTest, WritesTheProfilesStreamsForTheCapturesDurationAndBitRate) {
    // Setup
    const int index = GetParam();
    const TWmProfile profile = *TWmProfileManager::DefaultProfile(DefaultProfileId(index));
    const TWmStreamConfig& video = *profile.FirstOfType(MEDIATYPE_Video);
    const TWmStreamConfig& audio = *profile.FirstOfType(MEDIATYPE_Audio);

    // Exercise
    const auto [file, frames] =
        Capture("long.dv", "\"Profile wmv\"=dword:0000000" + std::to_string(index) + "\n");

    // Verification
    ASSERT_EQ(frames, 200);
    const Probed p = ProbeFile(file);
    EXPECT_EQ(p.format.at("format_name"), "asf");
    ASSERT_EQ(p.streams.size(), 2u) << file;
    const Fields& v = *StreamOf(p, "video");
    EXPECT_EQ(v.at("codec_name"), "wmv2");
    EXPECT_EQ(v.at("width"), std::to_string(video.width));
    EXPECT_EQ(v.at("height"), std::to_string(video.height));
    EXPECT_EQ(v.at("r_frame_rate"),
              video.frameRateDen == 1
                  ? std::to_string(video.frameRateNum) + "/1"
                  : std::to_string(video.frameRateNum) + "/" + std::to_string(video.frameRateDen));
    const double framePeriod = double(video.frameRateDen) / video.frameRateNum;
    EXPECT_LE(std::fabs(std::stod(v.at("duration")) - frames / 25.0), framePeriod);
    const Fields& a = *StreamOf(p, "audio");
    EXPECT_EQ(a.at("codec_name"), "wmav2");
    EXPECT_EQ(a.at("sample_rate"), std::to_string(audio.sampleRate));
    EXPECT_EQ(a.at("channels"), std::to_string(audio.channels));
    const double rate = std::stod(p.format.at("bit_rate"));
    EXPECT_NEAR(rate, profile.TotalBitRate(), 0.2 * profile.TotalBitRate());
}

INSTANTIATE_TEST_SUITE_P(HighMediumLowInternet, DefaultProfileCliTest, ::testing::Range(0, 4));

TEST_F(WmvCaptureCliTest, NoAudioWritesNoAudioStreamAndCutsGiveCompleteFiles) {
    // Exercise / Verification: the stored format keeps the stored audio choice (a DV format
    // would choose the DV sound).
    const auto [silent, frames] =
        Capture("short.dv", "\"Capture Format\"=dword:00000004\n\"Audio Type\"=\"No Audio\"\n");
    const Probed p = ProbeFile(silent);
    ASSERT_EQ(p.streams.size(), 1u) << silent;
    EXPECT_EQ(p.streams[0].at("codec_type"), "video");

    // Exercise / Verification: each file of a cut capture is whole. The clip goes at its own
    // rate, so that the second lasts two cuts however fast the machine codes.
    const auto [first, counted] = Capture("long.dv", "", "--cut-every 0.3 --seconds 1", "real");
    ASSERT_FALSE(first.empty());
    for (int cut = 0; cut < 2; ++cut) {
        const std::string file = store.Dir() / "v" / ("Wmv_" + std::to_string(cut) + ".wmv");
        EXPECT_EQ(ProbeFile(file).streams.size(), 2u) << file;
    }
}

TEST_F(WmvCaptureCliTest, TheInlaidTextIsInThePicture) {
    // Setup: frame 12 of the same clip, with and without the inlay, as grey levels.
    auto frame = [&](const std::string& inlay) {
        const auto [file, frames] = Capture("short.dv", "\"Profile wmv\"=dword:00000000\n", inlay);
        const auto raw = store.Dir() / ("frame" + inlay + ".raw");
        RunTool("ffmpeg -v error -y -i " + Quote(file) +
                " -vf 'select=eq(n\\,12),format=gray' -frames:v 1 -f rawvideo " + Quote(raw));
        return testing::ReadBytes(raw);
    };

    // Exercise
    const auto with = frame("--inlay");
    const auto without = frame("--no-inlay");

    // Verification: the text lies in the lowest fifth of the 640x480 picture, above its last
    // rows.
    ASSERT_EQ(with.size(), 640u * 480u);
    ASSERT_EQ(without.size(), with.size());
    auto difference = [&](int top, int bottom) {
        double sum = 0;
        for (std::size_t i = std::size_t(top) * 640; i < std::size_t(bottom) * 640; ++i)
            sum += std::abs(int(with[i]) - int(without[i]));
        return sum / ((bottom - top) * 640);
    };
    EXPECT_GT(difference(360, 440), 1.0);
    EXPECT_LT(difference(0, 320), difference(360, 440) / 10);
}

TEST_F(WmvCaptureCliTest, AWebcamCapturesToTheProfilesPictureWithTheInlay) {
    // Exercise: the virtual webcam's MJPEG 640x480 at 30 frames a second, into "Medium".
    const auto [file, frames] =
        Capture("", "\"Profile wmv\"=dword:00000001\n\"Audio Type\"=\"No Audio\"\n",
                "--source 'Virtual Webcam' --seconds 1");

    // Verification
    const TWmProfile profile = *TWmProfileManager::DefaultProfile(DefaultProfileId(1));
    const TWmStreamConfig& video = *profile.FirstOfType(MEDIATYPE_Video);
    ASSERT_GT(frames, 0);
    const Probed p = ProbeFile(file);
    EXPECT_EQ(p.format.at("format_name"), "asf");
    ASSERT_EQ(p.streams.size(), 1u) << file;
    EXPECT_EQ(p.streams[0].at("codec_name"), "wmv2");
    EXPECT_EQ(p.streams[0].at("width"), std::to_string(video.width));
    EXPECT_EQ(p.streams[0].at("height"), std::to_string(video.height));
}

// Every system profile of every version, chosen as the settings panel leaves it in the store.
struct SystemProfile {
    int version;
    int entry;
    std::string name;
};
void PrintTo(const SystemProfile& p, std::ostream* os) {
    *os << "version " << p.version << " entry " << p.entry << " \"" << p.name << "\"";
}
std::vector<SystemProfile> SystemProfiles() {
    std::vector<SystemProfile> all;
    auto manager = TWmProfileManager::Create();
    for (int version = 0; version < 3; ++version) {
        const auto entries = ListWindowsMediaProfiles(manager.get(), version);
        for (int entry = 1; entry < static_cast<int>(entries.size()); ++entry)
            all.push_back({version, entry, entries[static_cast<std::size_t>(entry)]});
    }
    return all;
}

// The name ffprobe gives the stream of an encoder ("msmpeg4v3" for "msmpeg4").
std::string CodecName(WmCodec codec) {
    return avcodec_get_name(avcodec_find_encoder_by_name(WmCodecEncoderName(codec))->id);
}

class SystemProfileCliTest : public WmvCaptureCliTest,
                             public ::testing::WithParamInterface<SystemProfile> {};

TEST_P(SystemProfileCliTest, WritesAReadableFileWithItsGenerationsCodecs) {
    // Setup
    const SystemProfile& chosen = GetParam();
    auto manager = TWmProfileManager::Create();
    const TWmProfile profile = *ChosenSystemProfile(*manager, chosen.version, chosen.entry);
    const TWmStreamConfig* video = profile.FirstOfType(MEDIATYPE_Video);

    // Exercise
    const auto [file, frames] =
        Capture("short.dv", "\"Version wmv\"=dword:0000000" + std::to_string(chosen.version) +
                                "\n\"Profil wmv favori\"=\"" + chosen.name + "\"\n");

    // Verification
    const Probed p = ProbeFile(file);
    ASSERT_EQ(p.streams.size(), video ? 2u : 1u) << file;
    if (video) EXPECT_EQ(StreamOf(p, "video")->at("codec_name"), CodecName(video->codec));
    ASSERT_NE(StreamOf(p, "audio"), nullptr);
    EXPECT_EQ(StreamOf(p, "audio")->at("codec_name"),
              CodecName(profile.FirstOfType(MEDIATYPE_Audio)->codec));
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, SystemProfileCliTest, ::testing::ValuesIn(SystemProfiles()),
                         [](const auto& info) {
                             return "v" + std::to_string(info.param.version) + "_" +
                                    std::to_string(info.param.entry);
                         });

} // namespace
} // namespace talvence
