// Tvq_ControlFilter in running graphs, set up as an image-by-image capture sets it: one frame
// per arm with consecutive media times across captures, drops reported once per run, and the
// stop notification at the end of each run only.

#include "filters/vq_Controlunit/vq_Controlunit.h"
#include "platform/media/EventCodes.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using testing::FrameGraph;

TTestFrame Frame(int index) {
    TTestFrame f;
    f.bytes.assign(64, static_cast<std::uint8_t>(index));
    f.start = index * 400000;
    f.stop = f.start.value() + 400000;
    return f;
}

long QualityChanges(FrameGraph& g) {
    long n = 0;
    for (const auto& [code, param] : g.Events())
        if (code == EC_QUALITY_CHANGE) ++n;
    return n;
}

// The control filter as the image-by-image capture graph sets it up.
class ControlFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.source->mediaType = CMediaType(MEDIATYPE_Audio, GUID_NULL); // any type passes
        g.source->bufferSize = 64;
        gate->SetMarkSyncPoint(true);
        gate->SetMarkDiscontinuity(true);
        gate->SetMediaTimeStep(1);
        gate->SetMediaTimeStamping(true);
        gate->SetPassNext(false);
        gate->SetOnStop([this] {
            ++notified;
            stoppedWhenNotified = gate->IsStopped();
        });
        ASSERT_EQ(g.Build({{gate.get(), "vq_controlFilter"}}), S_OK);
    }

    // Sends frames [first, first + count) and waits until the filter has decided on each.
    void Send(int first, int count) {
        const long before = g.source->delivered;
        for (int i = first; i < first + count; ++i)
            g.source->Push(Frame(i));
        ASSERT_TRUE(g.source->WaitForDelivered(before + count));
    }

    ComPtr<Tvq_ControlFilter> gate{new Tvq_ControlFilter};
    FrameGraph g;
    int notified = 0;
    bool stoppedWhenNotified = false;
};

TEST_F(ControlFilterTest, EachArmPassesOneFrameWithTheNextMediaTimes) {
    // Exercise: a closed gate, then one arm (twice before a frame comes) and three frames.
    ASSERT_EQ(g.graph->Run(), S_OK);
    Send(0, 2);
    gate->SetPassNext(true);
    gate->SetPassNext(true);
    Send(2, 3);
    gate->SetPassNext(true);
    Send(5, 1);
    const long qualityChanges = QualityChanges(g);

    // Verification
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].bytes.front(), 2);
    EXPECT_EQ(seen[1].bytes.front(), 5);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i].hasMediaTime);
        EXPECT_EQ(seen[i].mediaStart, static_cast<LONGLONG>(i));
        EXPECT_EQ(seen[i].mediaStop, static_cast<LONGLONG>(i + 1));
        EXPECT_TRUE(seen[i].syncPoint);
        EXPECT_TRUE(seen[i].discontinuity);
    }
    EXPECT_EQ(qualityChanges, 1);
    EXPECT_FALSE(gate->Gate().PassNext());
}

TEST_F(ControlFilterTest, TheNextCaptureContinuesTheMediaTimesAndEachRunEndNotifiesOnce) {
    // Setup: a first capture of one shot.
    ASSERT_EQ(g.graph->Run(), S_OK);
    gate->SetPassNext(true);
    Send(0, 1);
    ASSERT_TRUE(g.sink->WaitForSamples(1));

    // Exercise: stop (twice, as the application may), then a second capture whose gate the stop
    // reopened, then a stop with the notification unset.
    ASSERT_EQ(g.graph->Stop(), S_OK);
    ASSERT_EQ(g.graph->Stop(), S_OK);
    const int notifiedAfterFirst = notified;
    const bool reopened = gate->Gate().PassNext();
    ASSERT_EQ(g.graph->Run(), S_OK);
    Send(1, 2);
    ASSERT_EQ(g.graph->Stop(), S_OK);
    gate->SetOnStop({});
    ASSERT_EQ(g.graph->Run(), S_OK);
    ASSERT_EQ(g.graph->Stop(), S_OK);

    // Verification
    EXPECT_EQ(notifiedAfterFirst, 1);
    EXPECT_TRUE(stoppedWhenNotified);
    EXPECT_TRUE(reopened);
    EXPECT_EQ(notified, 2);
    const auto seen = g.sink->Samples();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].bytes.front(), 1);
    EXPECT_EQ(seen[1].mediaStart, 1);
    EXPECT_EQ(seen[1].mediaStop, 2);
    EXPECT_TRUE(gate->Gate().PassNext());
    CLSID clsid;
    gate->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_vq_ControlFilter);
    EXPECT_EQ(gate->ObjectName(), "Brannock vq_ControlFilter");
}

} // namespace
} // namespace talvence
