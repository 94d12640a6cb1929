// Tvq_TimeStamper in running graphs: clear, pass-through and restamp from the graph's clock
// (moved by the test), with and without the offset, and restamping without a clock.

#include "filters/vq_timestamper/vq_timestamper.h"
#include "platform/media/FakeReferenceClock.h"
#include "platform/media/MediaGuids.h"
#include "tests/support/FrameGraph.h"

#include <gtest/gtest.h>

namespace talvence {
namespace {

using testing::FrameGraph;

constexpr REFERENCE_TIME kSecond = 10'000'000;

TTestFrame Frame(REFERENCE_TIME start, REFERENCE_TIME stop) {
    TTestFrame f;
    f.bytes.assign(32, 1);
    f.start = start;
    f.stop = stop;
    return f;
}

class TimeStamperFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.source->mediaType = CMediaType(MEDIATYPE_Audio, GUID_NULL); // any type passes
        g.source->bufferSize = 32;
        ASSERT_EQ(g.Build({{stamper.get(), "tsAuto"}}), S_OK);
    }

    // Sends one frame and returns it as the sink saw it.
    TReceivedSample Send(TTestFrame frame) {
        const std::size_t before = g.sink->Samples().size();
        g.source->Push(std::move(frame));
        EXPECT_TRUE(g.sink->WaitForSamples(before + 1));
        const auto seen = g.sink->Samples();
        return seen.size() > before ? seen[before] : TReceivedSample{};
    }

    ComPtr<Tvq_TimeStamper> stamper{new Tvq_TimeStamper};
    FrameGraph g;
};

TEST_F(TimeStamperFilterTest, ClearRemovesTheTimesAndPassThroughKeepsThem) {
    // Setup
    ASSERT_EQ(g.graph->Run(), S_OK);

    // Exercise
    const auto passed = Send(Frame(123456, 523456));
    stamper->SetClearTimesMode();
    const auto cleared = Send(Frame(123456, 523456));
    const auto lastStart = stamper->Rule().LastStart(), lastStop = stamper->Rule().LastStop();
    stamper->SetPassThroughMode();
    const auto passedAgain = Send(Frame(7, 9));

    // Verification
    EXPECT_TRUE(passed.hasStop);
    EXPECT_EQ(passed.start, 123456);
    EXPECT_EQ(passed.stop, 523456);
    EXPECT_FALSE(cleared.hasTime);
    EXPECT_EQ(lastStart, 0);
    EXPECT_EQ(lastStop, 0);
    EXPECT_EQ(passedAgain.start, 7);
    EXPECT_EQ(passedAgain.stop, 9);
}

TEST_F(TimeStamperFilterTest, RestampGivesTheClocksStreamTimeLessTheOffset) {
    // Setup: the run starts at clock time 10 s (the graph starts streams 10 ms ahead of now).
    ComPtr<FakeReferenceClock> clock(new FakeReferenceClock);
    clock->SetTime(10 * kSecond - 100000);
    ASSERT_EQ(g.graph->SetSyncSource(clock.get()), S_OK);
    stamper->SetRestampMode();
    ASSERT_EQ(g.graph->Run(), S_OK);

    // Exercise
    clock->SetTime(125 * kSecond / 10);
    const auto plain = Send(Frame(0, 400000));
    stamper->SetRestampOffset(3 * 400000); // "Correction Sync" 3 at 25 frames a second
    const auto early = Send(Frame(0, 400000));
    clock->SetTime(10 * kSecond + 5 * 100000);
    const auto negative = Send(Frame(0, 400000));

    // Verification
    EXPECT_EQ(plain.start, 25 * kSecond / 10);
    EXPECT_EQ(plain.stop, 25 * kSecond / 10 + 400000);
    EXPECT_EQ(early.start, 25 * kSecond / 10 - 1200000); // 0.12 s earlier
    EXPECT_EQ(early.stop, 25 * kSecond / 10 - 800000);
    EXPECT_EQ(negative.start, 500000 - 1200000);
    EXPECT_EQ(stamper->Rule().LastStart(), -700000);
    EXPECT_EQ(stamper->Rule().LastStop(), -300000);
}

TEST_F(TimeStamperFilterTest, RestampWithoutAClockKeepsTheTimes) {
    // Setup
    ASSERT_EQ(g.graph->SetSyncSource(nullptr), S_OK);
    stamper->SetRestampMode();
    ASSERT_EQ(g.graph->Run(), S_OK);

    // Exercise
    const auto seen = Send(Frame(800000, 1200000));

    // Verification
    EXPECT_EQ(seen.start, 800000);
    EXPECT_EQ(seen.stop, 1200000);
    CLSID clsid;
    stamper->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_vq_TimeStamper);
    EXPECT_EQ(stamper->ObjectName(), "Brannock vq_Timestamper");
}

} // namespace
} // namespace talvence
