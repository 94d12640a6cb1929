// Tvq_DVheader in running graphs next to the scene detector and the superposer: the camcorder's
// header bytes of the frame the superposer last worked on go back into re-encoded frames, and
// nothing else of those frames changes.

#include "filters/BaseClass/CountingFilters.h"
#include "filters/dvcodes/dvcodes.h"
#include "filters/vq_DVheader/vq_DVheader.h"
#include "filters/vq_superposer/vq_superposer.h"
#include "platform/devices/virtual/DvTapeSynthesiser.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/InlayTestSupport.h"
#include "tests/support/DvTestFrames.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talvence {
namespace {

using testing::FrameGraph;

constexpr REFERENCE_TIME kFrame = 400000;

TTestFrame Frame(std::vector<std::uint8_t> bytes, std::int64_t index) {
    TTestFrame f;
    f.bytes = std::move(bytes);
    f.start = index * kFrame;
    f.stop = f.start.value() + kFrame;
    return f;
}

// A tape recorded by a camcorder (timecode and recording date) and the same pictures as an
// encoder writes them (neither).
struct Tapes {
    DvTapeSynthesiser camcorder{Script(true)};
    DvTapeSynthesiser encoder{Script(false)};

    static DvTapeScript Script(bool packs) {
        DvRecording r;
        r.start = EncodeDateTime(2024, 5, 2, 10, 0, 0, 0);
        r.frames = 1600;
        r.recDate = packs;
        r.timecode = packs;
        return DvTapeScript{{r}};
    }
};

struct DvHeaderGraphs {
    ComPtr<Tvq_SceneDetect> detect{new Tvq_SceneDetect};
    ComPtr<Tvq_Superposer> superposer{new Tvq_Superposer(detect.get(), EnglishLocaleFormats(), 96)};
    ComPtr<Tvq_DVheader> header{new Tvq_DVheader(detect.get())};
    FrameGraph camera, inlay, capture;

    void Build() {
        camera.source->mediaType = testing::MakeDvType(true);
        ASSERT_EQ(camera.Build({{detect.get(), "SceneDetect"}}), S_OK);
        inlay.source->mediaType = MakeTestVideoType(64, 48);
        inlay.source->bufferSize = 64 * 3 * 48;
        ASSERT_EQ(inlay.Build({{superposer.get(), "Superposer"}}), S_OK);
        capture.source->mediaType = testing::MakeDvType(false);
        ASSERT_EQ(capture.Build({{header.get(), "DVheader"}}), S_OK);
        ASSERT_EQ(camera.graph->Run(), S_OK);
        ASSERT_EQ(inlay.graph->Run(), S_OK);
        ASSERT_EQ(capture.graph->Run(), S_OK);
    }
};

TEST(DVheaderFilterTest, RestoresTheCamcordersPacksOfTheFrameTheSuperposerShowed) {
    // Setup
    inlaytest::EnsureGuiApp();
    Tapes tapes;
    const std::uint64_t shown = 1553; // timecode 00:01:02:03
    std::vector<std::vector<std::uint8_t>> camera(4);
    for (std::uint64_t i = 0; i < camera.size(); ++i)
        ASSERT_TRUE(tapes.camcorder.frame(shown - 2 + i, camera[i])) << tapes.camcorder.error();
    std::vector<std::uint8_t> encoded;
    ASSERT_TRUE(tapes.encoder.frame(shown, encoded)) << tapes.encoder.error();
    DvHeaderGraphs g;
    g.Build();

    // Exercise: three camcorder frames, the superposer works on the last, one more camcorder
    // frame arrives, then the encoded frame reaches the DV header filter.
    for (std::size_t i = 0; i < 3; ++i)
        g.camera.source->Push(Frame(camera[i], static_cast<std::int64_t>(i)));
    ASSERT_TRUE(g.camera.sink->WaitForSamples(3));
    g.inlay.source->Push(Frame(std::vector<std::uint8_t>(64 * 3 * 48, 40), 0));
    ASSERT_TRUE(g.inlay.sink->WaitForSamples(1));
    g.camera.source->Push(Frame(camera[3], 3));
    ASSERT_TRUE(g.camera.sink->WaitForSamples(4));
    g.capture.source->Push(Frame(encoded, 0));
    ASSERT_TRUE(g.capture.sink->WaitForSamples(1));
    const std::vector<std::uint8_t> out = g.capture.sink->Samples()[0].bytes;

    // Verification: the packs of the shown frame in sequences 0..9.
    ASSERT_EQ(out.size(), kDvFrameBytes625);
    const DvTimecode tc = DvTapeSynthesiser::TapeTimecode(shown, DvTapeSystem::Pal625);
    ASSERT_EQ(tc.minutes, 1);
    ASSERT_EQ(tc.seconds, 2);
    ASSERT_EQ(tc.frames, 3);
    const DvRecDateTime rec = tapes.camcorder.recDateTime(shown);
    for (int s = 0; s < 10; ++s) {
        SCOPED_TRACE(s);
        const DvTimecode got = DvReadTimecode(out.data(), s);
        EXPECT_EQ(got.hours, tc.hours);
        EXPECT_EQ(got.minutes, tc.minutes);
        EXPECT_EQ(got.seconds, tc.seconds);
        EXPECT_EQ(got.frames, tc.frames);
        DvRecDateTime gotRec;
        DvReadRecDateTime(out.data(), s, gotRec);
        EXPECT_EQ(gotRec.year, rec.year);
        EXPECT_EQ(gotRec.hour, rec.hour);
        EXPECT_EQ(gotRec.minute, rec.minute);
        EXPECT_EQ(gotRec.second, rec.second);
    }
    // Byte for byte: the first 480 bytes of sequences 0..9 are the camcorder's, all the rest
    // (audio, video, sequences 10 and 11) is the encoder's.
    std::vector<std::uint8_t> expected = encoded;
    for (int s = 0; s < 10; ++s)
        std::memcpy(expected.data() + s * kDvSequenceBytes, camera[2].data() + s * kDvSequenceBytes,
                    480);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(DvReadTimecode(out.data(), 10).hours, DvReadTimecode(encoded.data(), 10).hours);
}

TEST(DVheaderFilterTest, LeavesFramesAloneWithNothingToRestoreAndRefusesOtherTypes) {
    // Setup: a scene detector that has not seen a frame yet.
    ComPtr<Tvq_SceneDetect> detect(new Tvq_SceneDetect);
    ComPtr<Tvq_DVheader> header(new Tvq_DVheader(detect.get()));
    FrameGraph g;
    g.source->mediaType = testing::MakeDvType(true);
    ASSERT_EQ(g.Build({{header.get(), "DVheader"}}), S_OK);
    std::vector<std::uint8_t> frame(kDvFrameBytes625);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 7);
    const std::vector<std::uint8_t> shortFrame(frame.begin(), frame.begin() + 100000);
    ComPtr<Tvq_DVheader> refusing(new Tvq_DVheader(detect.get()));
    FrameGraph rgb;
    rgb.source->mediaType = MakeTestVideoType();

    // Exercise
    ASSERT_EQ(g.graph->Run(), S_OK);
    g.source->Push(Frame(frame, 0));
    g.source->Push(Frame(shortFrame, 1));
    ASSERT_TRUE(g.sink->WaitForSamples(2));
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const HRESULT rgbConnect = rgb.Build({{refusing.get(), "DVheader"}});

    // Verification
    const auto seen = g.sink->Samples();
    EXPECT_EQ(seen[0].bytes, frame);
    EXPECT_EQ(seen[1].bytes, shortFrame);
    EXPECT_TRUE(FAILED(rgbConnect));
    CLSID clsid;
    header->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_vq_DVheader);
    EXPECT_EQ(header->ObjectName(), "Brannock vq_DVHeader");
    EXPECT_TRUE(header->ModifiesData());
}

} // namespace
} // namespace talvence
