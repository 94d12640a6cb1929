// The VCR transport of the virtual camcorder: what each mode does to the tape, period by period.

#include <vector>

#include <gtest/gtest.h>

#include "platform/devices/virtual/DvTransport.h"

namespace talvence {
namespace {

using Step = DvTransport::Step;

// The frames sent over n periods (Idle periods send nothing).
std::vector<std::uint64_t> Periods(DvTransport& t, int periods, int* ends = nullptr) {
    std::vector<std::uint64_t> frames;
    for (int i = 0; i < periods; ++i) {
        const Step s = t.Advance();
        if (s.kind == Step::Frame) frames.push_back(s.frame);
        if (s.kind == Step::EndOfTape && ends) ++*ends;
    }
    return frames;
}

TEST(DvTransport, StartsStoppedAtTheBeginningAndSendsNothing) {
    // Setup
    DvTransport t(100);

    // Exercise
    const auto frames = Periods(t, 5);

    // Verification
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(t.Position(), 0u);
}

TEST(DvTransport, PlayFreezeAndThawMoveTheTapeFrameByFrame) {
    // Setup
    DvTransport t(100);

    // Exercise / Verification
    ASSERT_TRUE(t.SetMode(ED_MODE_PLAY));
    EXPECT_EQ(Periods(t, 3), (std::vector<std::uint64_t>{0, 1, 2}));
    ASSERT_TRUE(t.SetMode(ED_MODE_FREEZE));
    EXPECT_EQ(Periods(t, 2), (std::vector<std::uint64_t>{3, 3})); // the picture stands still
    EXPECT_EQ(t.Position(), 3u);
    ASSERT_TRUE(t.SetMode(ED_MODE_THAW));
    EXPECT_EQ(t.Mode(), ED_MODE_PLAY);
    EXPECT_EQ(Periods(t, 2), (std::vector<std::uint64_t>{3, 4}));
    ASSERT_TRUE(t.SetMode(ED_MODE_STOP));
    EXPECT_TRUE(Periods(t, 3).empty());
    EXPECT_EQ(t.Position(), 5u);
}

TEST(DvTransport, SlowAndFastSpeedsMoveByTheirShareOfAFrame) {
    // Setup
    DvTransport t(1000);
    t.SetMode(ED_MODE_PLAY_SLOWEST_FWD);

    // Exercise / Verification: a tenth of a frame per period forward
    std::vector<std::uint64_t> slow(10, 0);
    slow.insert(slow.end(), 10, 1);
    EXPECT_EQ(Periods(t, 20), slow);
    EXPECT_EQ(t.Position(), 2u);
    t.SetMode(ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ(Periods(t, 3), (std::vector<std::uint64_t>{2, 12, 22}));
    EXPECT_EQ(t.Position(), 32u);
    t.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(Periods(t, 2), (std::vector<std::uint64_t>{32, 22}));
    t.SetMode(ED_MODE_PLAY_SLOWEST_REV);
    Periods(t, 10);
    EXPECT_EQ(t.Position(), 11u);
}

TEST(DvTransport, WindingSendsNoPictureAndStopsAtEitherEnd) {
    // Setup
    DvTransport t(100);

    // Exercise / Verification
    t.SetMode(ED_MODE_FF);
    EXPECT_TRUE(Periods(t, 2).empty());
    EXPECT_EQ(t.Position(), 40u);
    Periods(t, 10);
    EXPECT_EQ(t.Position(), 99u); // the last frame
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
    t.SetMode(ED_MODE_REW);
    Periods(t, 1);
    EXPECT_EQ(t.Position(), 79u);
    Periods(t, 10);
    EXPECT_EQ(t.Position(), 0u);
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
}

TEST(DvTransport, PlayingOffTheEndEndsTheTapeOnceAndRewindingPlayStopsAtTheStart) {
    // Setup
    DvTransport t(3);
    int ends = 0;

    // Exercise
    t.SetMode(ED_MODE_PLAY);
    const auto frames = Periods(t, 6, &ends);

    // Verification
    EXPECT_EQ(frames, (std::vector<std::uint64_t>{0, 1, 2}));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
    EXPECT_EQ(t.Position(), 2u);
    t.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ(Periods(t, 3), (std::vector<std::uint64_t>{2}));
    EXPECT_EQ(t.Position(), 0u);
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
}

TEST(DvTransport, RefusesUnknownModesAndAnEmptyTapeEndsAtOnce) {
    // Setup
    DvTransport t(0);
    int ends = 0;

    // Exercise / Verification
    EXPECT_FALSE(t.SetMode(ED_MODE_STOP + 50));
    EXPECT_EQ(t.Mode(), ED_MODE_STOP);
    t.SetMode(ED_MODE_PLAY);
    EXPECT_TRUE(Periods(t, 1, &ends).empty());
    EXPECT_EQ(ends, 1);
}

} // namespace
} // namespace talvence
