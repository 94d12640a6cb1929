#include "graph/VideoWindow.h"

#include "tests/graph/GraphTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace talvence {
namespace {

using namespace graphtest;

// Stands in for the preview widget: records the options it is given and counts frames.
class TRecordingSink : public IVideoFrameSink {
public:
    void RenderFrame(const TVideoFrame& frame) override {
        std::lock_guard lock(mutex_);
        ++frames_;
        lastLength_ = frame.length;
        arrived_.notify_all();
    }
    void ApplyWindowOptions(const TVideoWindowOptions& options) override {
        std::lock_guard lock(mutex_);
        options_.push_back(options);
    }
    bool WaitForFrames(long count) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return frames_ >= count; });
    }
    std::vector<TVideoWindowOptions> Options() const {
        std::lock_guard lock(mutex_);
        return options_;
    }
    long LastLength() const {
        std::lock_guard lock(mutex_);
        return lastLength_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    long frames_ = 0;
    long lastLength_ = 0;
    std::vector<TVideoWindowOptions> options_;
};

class VideoWindowTest : public ::testing::Test {
protected:
    TestPlatform platform;
    TRecordingSink sink;
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
    EXPECT_EQ(sink.LastLength(), 320 * 240 * 3);

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
