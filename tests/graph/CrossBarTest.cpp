// TCrossbar over the crossbar the virtual analogue card puts in front of its V4L2 capture
// filter, alone and with a second crossbar chained in front of its composite input (audio,
// related audio and unroutable inputs).

#include "graph/CrossBar.h"

#include "platform/devices/v4l2/V4l2CaptureSource.h"
#include "platform/devices/virtual/VirtualV4l2.h"
#include "platform/media/FilterGraph.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

struct CardRig {
    CardRig() {
        VirtualV4l2Config config;
        config.kind = VirtualV4l2Kind::Analog;
        device = std::make_shared<TFakeV4l2Device>(MakeVirtualV4l2Device(config));
        system->Add("/dev/video0", device);
        card = TV4l2CaptureSource::Create(system, "/dev/video0", "Card");
        graph->AddFilter(card.get(), "Card");
    }
    std::vector<std::string> Names(const TCrossbar& crossbar) {
        std::vector<std::string> out;
        for (int i = 0; i < crossbar.RouteCount(); ++i) {
            std::string name;
            crossbar.RouteName(i, &name);
            out.push_back(name);
        }
        return out;
    }
    std::shared_ptr<TFakeV4l2System> system = std::make_shared<TFakeV4l2System>();
    std::shared_ptr<TFakeV4l2Device> device;
    ComPtr<TV4l2CaptureSource> card;
    ComPtr<CFilterGraph> graph{new CFilterGraph};
};

TEST(CrossBar, TheAnalogueCardsInputsAreRoutesThatSwitchItsDevice) {
    // Setup
    CardRig rig;
    ASSERT_EQ(
        ComPtr<IBaseFilter>(rig.card.get()).As<IAMUpstreamCrossbars>()->AddUpstreamCrossbars(),
        S_OK);

    // Exercise
    auto crossbar = CrossbarOfSource(rig.card.get());
    ASSERT_TRUE(crossbar);
    const HRESULT selected = crossbar->SelectRoute(2);
    const HRESULT outOfRange = crossbar->SelectRoute(3);

    // Verification
    EXPECT_EQ(rig.Names(*crossbar),
              (std::vector<std::string>{"Video Tuner", "Video Composite", "Video SVideo"}));
    EXPECT_EQ(crossbar->DefaultRoute(), 0);
    EXPECT_EQ(selected, S_OK);
    EXPECT_EQ(rig.device->CurrentInput(), 2);
    EXPECT_EQ(outOfRange, E_FAIL);
}

TEST(CrossBar, AChainedCrossbarGivesWholeRoutesAndSwitchesItsRelatedAudio) {
    // Setup: a far crossbar on the card's composite input: composite (its audio at input 2),
    // S-Video (no audio), a line-in audio input and a composite it cannot route.
    CardRig rig;
    rig.card->AddUpstreamCrossbars();
    ComPtr<IBaseFilter> near;
    rig.graph->FindFilterByName("Crossbar", near.put());
    ASSERT_TRUE(near);
    std::vector<std::pair<long, long>> farRoutes;
    TCrossbarConfig config;
    config.inputs = {{PhysConn_Video_Composite, 2, "In0"},
                     {PhysConn_Video_SVideo, -1, "In1"},
                     {4097, 0, "In2"},
                     {PhysConn_Video_Composite, -1, "In3"}};
    config.outputs = {{PhysConn_Video_VideoDecoder, 1, "Out0"}, {4105, 0, "Out1"}};
    config.canRoute = [](long out, long in) { return (out == 0) == (in < 2) ? S_OK : S_FALSE; };
    config.route = [&](long out, long in) {
        farRoutes.emplace_back(out, in);
        return S_OK;
    };
    ComPtr<TCrossbarFilter> far(new TCrossbarFilter("Far", config));
    rig.graph->AddFilter(far.get(), "Far");
    IPin* composite = static_cast<TCrossbarFilter*>(near.get())->InputPin(1);
    ASSERT_EQ(rig.graph->ConnectDirect(far->OutputPin(0), composite, nullptr), S_OK);

    // Exercise
    auto crossbar = CrossbarOfSource(rig.card.get());
    ASSERT_TRUE(crossbar);
    crossbar->SelectRoute(1);
    const auto withAudio = farRoutes;
    farRoutes.clear();
    crossbar->SelectRoute(2);

    // Verification: the tuner, the far crossbar's two video inputs (two elements each, the
    // card's crossbar last, routing the card to composite), the card's S-Video.
    EXPECT_EQ(rig.Names(*crossbar), (std::vector<std::string>{"Video Tuner", "Video Composite",
                                                              "Video SVideo", "Video SVideo"}));
    ASSERT_EQ(crossbar->Routes()[1].size(), 2u);
    EXPECT_EQ(crossbar->Routes()[2].size(), 2u);
    EXPECT_EQ(crossbar->Routes()[3].size(), 1u);
    EXPECT_EQ(crossbar->Routes()[1][1].Depth, 0);
    EXPECT_EQ(crossbar->Routes()[1][1].VideoInput, 1);
    EXPECT_EQ(withAudio, (std::vector<std::pair<long, long>>{{0, 0}, {1, 2}}));
    EXPECT_EQ(farRoutes, (std::vector<std::pair<long, long>>{{0, 1}}));
    EXPECT_EQ(rig.device->CurrentInput(), 1);
}

TEST(CrossBar, ASourceWithoutAnAnalogueInputHasNoCrossbar) {
    // Setup: a webcam.
    auto system = std::make_shared<TFakeV4l2System>();
    system->Add("/dev/video0", std::make_shared<TFakeV4l2Device>(MakeVirtualV4l2Device({})));
    auto webcam = TV4l2CaptureSource::Create(system, "/dev/video0", "Webcam");

    // Exercise / Verification
    EXPECT_FALSE(CrossbarOfSource(webcam.get()));
    EXPECT_EQ(webcam->AddUpstreamCrossbars(), S_FALSE);
}

} // namespace
} // namespace talvence
