// The virtual webcam, analogue card and MovieBox: their options, their entries, and the pictures
// the first two give through the real V4L2 source (JPEG frames of the webcam; a picture per input
// of the card).

#include "platform/devices/virtual/VirtualV4l2.h"

#include "filters/BaseClass/CountingFilters.h"
#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/devices/virtual/VirtualDevices.h"
#include "platform/media/DeviceEnum.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MediaGuids.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

namespace talvence {
namespace {

TEST(VirtualV4l2Options, ReadsFormatsAndRefusesWhatTheKindDoesNotHave) {
    // Setup
    const auto list =
        ParseVirtualDeviceList("webcam:format=yuyv:pace=fast:unplug=9,analog:format=mjpeg");
    std::string error, analogError;

    // Exercise
    auto webcam = ParseVirtualV4l2Options(list.devices[0], error);
    auto analog = ParseVirtualV4l2Options(list.devices[1], analogError);

    // Verification
    ASSERT_TRUE(webcam);
    EXPECT_FALSE(webcam->mjpeg);
    EXPECT_TRUE(webcam->yuyv);
    EXPECT_EQ(webcam->pacing, DvPacing::AsFastAsPossible);
    EXPECT_EQ(webcam->unplugAfterFrames, 9u);
    EXPECT_FALSE(analog);
    EXPECT_NE(analogError.find("format=mjpeg"), std::string::npos);
}

TEST(VirtualV4l2Options, OnlyTheMovieBoxChoosesItsDemultiplexers) {
    const auto list = ParseVirtualDeviceList("moviebox:demux=cirrus:ids=e1,mpeg2:demux=mbx");
    std::string error, mpegError;
    auto box = ParseVirtualV4l2Options(list.devices[0], error);
    auto mpeg = ParseVirtualV4l2Options(list.devices[1], mpegError);
    ASSERT_TRUE(box) << error;
    EXPECT_EQ(box->kind, VirtualV4l2Kind::MovieBox);
    EXPECT_TRUE(box->cirrusSplitter);
    EXPECT_FALSE(box->movieBoxDemux);
    EXPECT_TRUE(box->alternateIds);
    EXPECT_FALSE(mpeg);
    EXPECT_NE(mpegError.find("demux=mbx"), std::string::npos);
}

// Binds the registered entry at `index` of the video input category.
ComPtr<TV4l2CaptureSource> Bind(const std::shared_ptr<FilterRegistry>& registry, int index) {
    ComPtr<CSystemDeviceEnum> devEnum(new CSystemDeviceEnum(registry));
    ComPtr<IEnumMoniker> monikers;
    devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
    ComPtr<IMoniker> m;
    for (int i = 0; i <= index; ++i)
        if (!monikers || monikers->Next(1, m.put(), nullptr) != S_OK) return nullptr;
    ComPtr<IBaseFilter> filter;
    m->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid());
    return ComPtr<TV4l2CaptureSource>(static_cast<TV4l2CaptureSource*>(filter.get()));
}

// The first samples `source` sends to a recording sink.
std::vector<TReceivedSample> Capture(TV4l2CaptureSource* source, long count) {
    ComPtr<CFilterGraph> graph{new CFilterGraph};
    auto sink = TCountingSink::Recording([](const CMediaType&) { return true; });
    graph->AddFilter(source, "Source");
    graph->AddFilter(sink.get(), "Sink");
    if (graph->ConnectDirect(source->OutputPin(), sink->InputPin(), nullptr) != S_OK) return {};
    graph->Run();
    sink->WaitForSamples(count);
    graph->Stop();
    return sink->Samples();
}

TEST(VirtualV4l2Devices, TheWebcamSendsMovingJpegPicturesOfItsSize) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    auto result = RegisterVirtualDevices(*registry, ParseVirtualDeviceList("webcam:pace=fast"));
    auto webcam = Bind(registry, 0);
    ASSERT_TRUE(webcam);

    // Exercise
    const auto samples = Capture(webcam.get(), 2);

    // Verification
    EXPECT_EQ(result.devicePaths, (std::vector<std::string>{"virtual:webcam:0"}));
    ASSERT_GE(samples.size(), 2u);
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, sub = 0, space = 0;
    const int header = tjDecompressHeader3(tj, samples[0].bytes.data(), samples[0].bytes.size(),
                                           &width, &height, &sub, &space);
    tjDestroy(tj);
    EXPECT_EQ(header, 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_NE(samples[0].bytes, samples[1].bytes); // the square moved
}

TEST(VirtualV4l2Devices, EachInputOfTheAnalogueCardHasItsOwnPicture) {
    // Setup
    auto registry = std::make_shared<FilterRegistry>();
    RegisterVirtualDevices(*registry, ParseVirtualDeviceList("analog:pace=fast"));
    auto card = Bind(registry, 0);
    ASSERT_TRUE(card);

    // Exercise: the first pixel pair's chroma and a luma on each input.
    std::vector<std::vector<BYTE>> firsts;
    for (int input = 0; input < 3; ++input) {
        EXPECT_EQ(card->SelectInput(input), S_OK);
        auto samples = Capture(card.get(), 1);
        ASSERT_FALSE(samples.empty());
        ASSERT_EQ(samples[0].length, 720 * 576 * 2);
        const auto& b = samples[0].bytes;
        firsts.push_back({b[0], b[1], b[3], b[2 * 720 * 300 + 400]});
    }

    // Verification
    ASSERT_EQ(card->Inputs().size(), 3u);
    for (int input = 0; input < 3; ++input) {
        const TVirtualYuv p = VirtualAnalogPixel(input, 0, 0, 0);
        EXPECT_EQ(firsts[std::size_t(input)][0], p.y) << input;
        EXPECT_EQ(firsts[std::size_t(input)][1], p.u) << input;
        EXPECT_EQ(firsts[std::size_t(input)][3], VirtualAnalogPixel(input, 200, 300, 0).y) << input;
    }
    EXPECT_NE(firsts[0], firsts[1]);
    EXPECT_NE(firsts[1], firsts[2]);
}

} // namespace
} // namespace talvence
