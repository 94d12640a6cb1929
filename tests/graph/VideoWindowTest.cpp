#include "graph/VideoWindow.h"

#include "tests/graph/GraphTestSupport.h"
#include "tests/support/RecordingFrameSink.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using namespace graphtest;

class VideoWindowTest : public ::testing::Test {
protected:
    TestPlatform platform;
    testing::TRecordingFrameSink sink; // stands in for the preview widget
    TFilterGraph fg{platform.registry};
    TFilter source{"VideoSource"};
    TVideoWindow vwEcran;

    void SetUp() override {
        source.SetBaseFilter(platform.FilterMoniker(CLSID_TestSource));
        ASSERT_TRUE(vwEcran.UseDefaultRenderer(platform.devEnum.get()));
        vwEcran.SetFrameSink(&sink);
    }
    void TearDown() override {
        fg.HaltGraph();
        vwEcran.SetFrameSink(nullptr);
    }
    TVideoWindowOptions RendererOptions() {
        TVideoWindowOptions options;
        vwEcran.Query<IVideoRendererControl>()->GetWindowOptions(&options);
        return options;
    }
};

TEST_F(VideoWindowTest, OutsideTheGraphThereIsNoRendererButOptionsStillReachTheWindow) {
    // Exercise
    vwEcran.SetFullScreen(true);

    // Verification
    EXPECT_THROW(vwEcran.PreviewRenderer(), EGraphError);
    ASSERT_FALSE(sink.Options().empty());
    EXPECT_TRUE(sink.Options().back().fullScreen);
}

TEST_F(VideoWindowTest, JoiningHandsTheOptionsAndTheSinkToTheRenderer) {
    // Setup
    vwEcran.SetKeepAspectRatio(false);

    // Exercise
    vwEcran.SetFilterGraph(&fg);

    // Verification
    EXPECT_EQ(RendererOptions(), vwEcran.Options());
    EXPECT_FALSE(RendererOptions().keepAspectRatio);

    // Exercise: a change while joined goes through the renderer to the window
    vwEcran.SetFullScreen(true);

    // Verification
    EXPECT_TRUE(RendererOptions().fullScreen);
    ASSERT_FALSE(sink.Options().empty());
    EXPECT_TRUE(sink.Options().back().fullScreen);
}

TEST_F(VideoWindowTest, FramesReachTheWindowAndStopReachingItOnceItLeft) {
    // Setup
    platform.made->configureSource = [](TCountingSource& s) { s.sampleSize = 320 * 240 * 3; };
    source.SetFilterGraph(&fg);
    vwEcran.SetFilterGraph(&fg);
    ASSERT_EQ(fg.CaptureGraphBuilder()->RenderStream(nullptr, nullptr, source.Filter().get(),
                                                     nullptr, vwEcran.PreviewRenderer().get()),
              S_OK);

    // Exercise
    ASSERT_TRUE(fg.RunGraph());

    // Verification
    EXPECT_TRUE(sink.WaitForFrames(2));
    const auto frames = sink.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().length, 320 * 240 * 3);

    // Exercise: once the window left, the renderer no longer knows it
    fg.HaltGraph();
    ComPtr<IVideoRendererControl> renderer = vwEcran.Query<IVideoRendererControl>();
    vwEcran.SetFilterGraph(nullptr);
    const auto seen = sink.Options().size();
    TVideoWindowOptions options;
    options.fullScreen = true;
    renderer->SetWindowOptions(options);

    // Verification
    EXPECT_EQ(sink.Options().size(), seen);
}

} // namespace
} // namespace talvence
