// The scene rules, the stop, the ring and its readers, on crafted DV frames.

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "filters/vq_scenedetect/SceneDetectCore.h"
#include "filters/vq_scenedetect/SeqCounter.h"
#include "platform/shell/DateTime.h"
#include "tests/support/DvTestFrames.h"

namespace talvence {
namespace {

using testing::DvFrameRecipe;
using testing::MakeDvFrame;

constexpr std::int64_t kPalFrame = kSceneFrameDuration625;

struct Scene {
    DvFrameInfo sceneStart;
    DvFrameInfo current;
    SceneCut reason;
};

DvFrameRecipe Dated(int second, int minute = 0) {
    DvFrameRecipe recipe;
    recipe.rec = {
        2024, 5, 6, 10, static_cast<std::uint8_t>(minute), static_cast<std::uint8_t>(second)};
    return recipe;
}

DvFrameRecipe Undated() {
    DvFrameRecipe recipe;
    recipe.rec.year = -1;
    return recipe;
}

// Feeds frames with contiguous 625/50 sample times unless told otherwise.
class SceneDetectTest : public ::testing::Test {
protected:
    SceneDetectTest() {
        core_->SetSceneCallback(
            [this](const DvFrameInfo& start, const DvFrameInfo& current, SceneCut reason) {
                scenes_.push_back({start, current, reason});
            });
    }

    SceneFrameResult Feed(const DvFrameRecipe& recipe) { return FeedAt(recipe, time_); }

    SceneFrameResult FeedAt(const DvFrameRecipe& recipe, std::int64_t start) {
        const auto frame = MakeDvFrame(recipe);
        const SceneFrameResult result =
            core_->ProcessFrame(frame.data(), frame.size(), start, start + kPalFrame, true);
        time_ = start + kPalFrame;
        return result;
    }

    void FeedMany(const DvFrameRecipe& recipe, int count) {
        for (int i = 0; i < count; ++i)
            Feed(recipe);
    }

    std::unique_ptr<SceneDetectCore> core_ = std::make_unique<SceneDetectCore>();
    std::vector<Scene> scenes_;
    std::int64_t time_ = 0;
};

TEST_F(SceneDetectTest, FrameRecordHoldsTheDecodedFields) {
    // Setup
    DvFrameRecipe recipe = Dated(30);
    recipe.pal = false;
    recipe.wide = true;
    recipe.rate = 32000;
    recipe.bits = 12;
    recipe.tc = {1, 2, 3, 4};

    // Exercise
    Feed(recipe);
    const DvFrameInfo first = core_->Current();
    DvFrameRecipe noTimecode = recipe;
    noTimecode.timecode = false;
    Feed(noTimecode);
    const DvFrameInfo second = core_->Current();

    // Verification
    EXPECT_EQ(first.frameCount, 1u);
    EXPECT_TRUE(first.hasRecDate);
    EXPECT_DOUBLE_EQ(first.recDateTime, EncodeDateTime(2024, 5, 6, 10, 0, 30, 0));
    EXPECT_DOUBLE_EQ(core_->CurrentRecDateTime(), first.recDateTime);
    EXPECT_TRUE(first.hasTimecode);
    EXPECT_TRUE(first.infoComplete);
    EXPECT_EQ(first.timecode.seconds, 3);
    EXPECT_TRUE(first.wideScreen);
    EXPECT_EQ(first.videoSystem, 1);
    EXPECT_EQ(first.audioSampleRate, 32000);
    EXPECT_EQ(first.audioBits, 12);
    // Without a timecode pack the last timecode stays, but the info is incomplete.
    EXPECT_FALSE(second.hasTimecode);
    EXPECT_FALSE(second.infoComplete);
    EXPECT_EQ(second.timecode.frames, 4);
}

TEST_F(SceneDetectTest, GapCutsAndMarksOnlyBeyondThreshold) {
    // Setup: the first sample after construction starts far away: prevStop is 0.
    const auto first = FeedAt(Dated(0), 50 * kSceneGapThreshold);

    // Exercise
    const auto atThreshold = FeedAt(Dated(0), time_ + kSceneGapThreshold);
    const auto beyond = FeedAt(Dated(0), time_ + kSceneGapThreshold + 1);
    const auto backwards = FeedAt(Dated(0), time_ - kSceneGapThreshold - 1);
    // A start time within one frame duration of zero never counts as a gap.
    const auto nearZero = FeedAt(Dated(0), kPalFrame);

    // Verification
    EXPECT_FALSE(first.discontinuity);
    EXPECT_FALSE(atThreshold.discontinuity);
    EXPECT_TRUE(beyond.discontinuity);
    EXPECT_EQ(beyond.cuts, 1);
    EXPECT_TRUE(backwards.discontinuity);
    EXPECT_FALSE(nearZero.discontinuity);
    ASSERT_EQ(scenes_.size(), 2u);
    EXPECT_EQ(scenes_[0].reason, SceneCut::Gap);
    EXPECT_EQ(scenes_[0].current.frameCount, 2u);
    EXPECT_EQ(scenes_[1].sceneStart.frameCount, 2u);
    EXPECT_EQ(scenes_[1].current.frameCount, 3u);
}

TEST_F(SceneDetectTest, SamplesWithoutTimesSkipTheGapRule) {
    // Setup
    Feed(Dated(0));
    const auto frame = MakeDvFrame(Dated(0));

    // Exercise: no times, then a sample that follows the last timed one.
    const auto untimed =
        core_->ProcessFrame(frame.data(), frame.size(), 0, 0, /*timesValid=*/false);
    const auto next = FeedAt(Dated(0), time_ + kPalFrame);

    // Verification
    EXPECT_TRUE(untimed.decoded);
    EXPECT_FALSE(untimed.discontinuity);
    EXPECT_FALSE(next.discontinuity);
    EXPECT_TRUE(scenes_.empty());
}

TEST_F(SceneDetectTest, FormatChangeCutsOnlyWithCompleteInfoOnBothSides) {
    // Setup
    DvFrameRecipe at48 = Dated(0);
    DvFrameRecipe at32 = Dated(0);
    at32.rate = 32000;
    DvFrameRecipe at32NoTc = at32;
    at32NoTc.timecode = false;
    DvFrameRecipe wide = Dated(0);
    wide.wide = true;

    // Exercise
    FeedMany(at48, 3);
    Feed(at32NoTc); // incomplete: no cut
    const std::size_t afterIncomplete = scenes_.size();
    Feed(at32); // complete, differs from the scene's first frame: cut
    Feed(at32); // same as the new scene start
    Feed(wide); // 48 kHz and 16:9 against the 32 kHz start: cut
    FeedMany(wide, 2);

    // Verification
    EXPECT_EQ(afterIncomplete, 0u);
    ASSERT_EQ(scenes_.size(), 2u);
    EXPECT_EQ(scenes_[0].reason, SceneCut::Format);
    EXPECT_EQ(scenes_[0].current.frameCount, 4u);
    EXPECT_EQ(scenes_[0].current.audioSampleRate, 32000);
    EXPECT_EQ(scenes_[1].sceneStart.frameCount, 4u);
    EXPECT_EQ(scenes_[1].current.frameCount, 6u);
}

TEST_F(SceneDetectTest, DateJumpRuleUsesWholeSeconds) {
    // Setup
    Feed(Dated(10));
    Feed(Dated(10)); // the jump rule has a date to compare against from here

    // Exercise
    Feed(Dated(11)); // +1 s
    Feed(Dated(13)); // +2 s exactly: not more than 2 s
    const std::size_t quiet = scenes_.size();
    Feed(Dated(16));   // +3 s
    Feed(Dated(13));   // -3 s
    Feed(Dated(0, 1)); // +47 s into the next minute

    // Verification
    EXPECT_EQ(quiet, 0u);
    ASSERT_EQ(scenes_.size(), 3u);
    for (const Scene& scene : scenes_)
        EXPECT_EQ(scene.reason, SceneCut::DateJump);
    EXPECT_EQ(scenes_[0].current.frameCount, 4u);
    EXPECT_EQ(scenes_[1].current.frameCount, 5u);
    EXPECT_EQ(scenes_[2].current.frameCount, 6u);
}

TEST_F(SceneDetectTest, StepsOfExactlyTwoSecondsNeverCut) {
    // Setup / Exercise: ten minutes of dates, each 2 s after the last; as
    // fractions of a day many of these differences round to just above 2 s.
    for (int t = 0; t < 600; t += 2)
        Feed(Dated(t % 60, t / 60));

    // Verification
    EXPECT_TRUE(scenes_.empty());
}

TEST_F(SceneDetectTest, LosingTheDateCutsButNotOnTheFirstFrame) {
    // Setup: date fields that are no calendar date count as no date.
    DvFrameRecipe badMonth = Dated(5);
    badMonth.rec.month = 13;

    // Exercise: an undated first frame, dated frames, undated again twice.
    Feed(Undated());
    const std::size_t afterFirst = scenes_.size();
    FeedMany(Dated(5), 3);
    Feed(badMonth);
    const DvFrameInfo lost = core_->Current();
    Feed(Undated());

    // Verification: the dated frames at 1..3 are close to the scene start (no
    // cut); frame 4 cuts once.
    EXPECT_EQ(afterFirst, 0u);
    EXPECT_FALSE(lost.hasRecDate);
    EXPECT_EQ(lost.recDateTime, 0.0);
    ASSERT_EQ(scenes_.size(), 1u);
    EXPECT_EQ(scenes_[0].reason, SceneCut::DateLost);
    EXPECT_EQ(scenes_[0].current.frameCount, 4u);
}

TEST_F(SceneDetectTest, AppearingDateCutsOnlyFarFromTheSceneStart) {
    // Setup: a scene opened by a gap at frame 10 (its start record holds
    // frameCount 10), undated from there.
    FeedMany(Undated(), 10);
    FeedAt(Undated(), time_ + 10 * kSceneGapThreshold);
    ASSERT_EQ(scenes_.size(), 1u);
    FeedMany(Undated(), 11); // frames 11..21

    // Exercise: a date at frame 22 is 12 frames from the start: no cut.
    Feed(Dated(0));
    const std::size_t atTwelve = scenes_.size();
    FeedMany(Undated(), 1); // frame 23 loses it again: cut (rule a)
    FeedMany(Undated(), 1); // frame 24
    Feed(Dated(0));         // frame 25, 2 frames from the start at 23: no cut
    const std::size_t close = scenes_.size();
    FeedMany(Undated(), 1); // frame 26: cut (rule a), scene starts at 26
    FeedMany(Undated(), 12);
    Feed(Dated(0)); // frame 39: 13 frames from 26: cut

    // Verification
    EXPECT_EQ(atTwelve, 1u);
    EXPECT_EQ(close, 2u);
    ASSERT_EQ(scenes_.size(), 4u);
    EXPECT_EQ(scenes_[3].reason, SceneCut::DateAppeared);
    EXPECT_EQ(scenes_[3].sceneStart.frameCount, 26u);
    EXPECT_EQ(scenes_[3].current.frameCount, 39u);
}

TEST_F(SceneDetectTest, AGapForgetsTheLastDate) {
    // Setup
    FeedMany(Dated(0), 3);

    // Exercise: after a gap the date is an hour later: only the gap cuts.
    const auto gapped = FeedAt(Dated(0, 59), time_ + 10 * kSceneGapThreshold);
    const std::size_t afterGap = scenes_.size();
    Feed(Dated(0, 59)); // the new date is now the reference
    Feed(Dated(4, 59)); // +4 s: cut again

    // Verification
    EXPECT_EQ(gapped.cuts, 1);
    EXPECT_EQ(afterGap, 1u);
    ASSERT_EQ(scenes_.size(), 2u);
    EXPECT_EQ(scenes_[1].reason, SceneCut::DateJump);
}

TEST_F(SceneDetectTest, OneFrameCanCutTwice) {
    // Setup
    FeedMany(Dated(0), 3);
    DvFrameRecipe undatedWide = Undated();
    undatedWide.wide = true;

    // Exercise: frame 3 comes after a gap and without a date; frame 7 after
    // dated frames, in another aspect and without a date.
    const auto gapAndDate = FeedAt(Undated(), time_ + 10 * kSceneGapThreshold);
    FeedMany(Dated(0), 3);
    const auto formatAndDate = Feed(undatedWide);

    // Verification: the second cut of a frame reports a scene of no frames.
    EXPECT_EQ(gapAndDate.cuts, 2);
    EXPECT_EQ(formatAndDate.cuts, 2);
    ASSERT_EQ(scenes_.size(), 4u);
    EXPECT_EQ(scenes_[0].reason, SceneCut::Gap);
    EXPECT_EQ(scenes_[1].reason, SceneCut::DateLost);
    EXPECT_EQ(scenes_[1].sceneStart.frameCount, 3u);
    EXPECT_EQ(scenes_[1].current.frameCount, 3u);
    EXPECT_EQ(scenes_[2].reason, SceneCut::Format);
    EXPECT_EQ(scenes_[2].sceneStart.frameCount, 3u);
    EXPECT_EQ(scenes_[2].current.frameCount, 7u);
    EXPECT_EQ(scenes_[3].reason, SceneCut::DateLost);
    EXPECT_EQ(scenes_[3].sceneStart.frameCount, 7u);
    EXPECT_EQ(scenes_[3].current.frameCount, 7u);
}

TEST_F(SceneDetectTest, StopReportsTheFinalSceneAndResets) {
    // Setup
    FeedMany(Dated(0), 5);
    bool frameworkStopped = false;

    // Exercise
    core_->Stop([&] {
        frameworkStopped = true;
        // The final scene is reported before the framework stops.
        EXPECT_EQ(scenes_.size(), 1u);
    });
    const DvFrameInfo afterStop = core_->Current();
    const DvFrameInfo startAfterStop = core_->SceneStart();
    // The next run: its first sample starts late, but prevStop is 0 again.
    const auto first = FeedAt(Dated(40), time_ + 100 * kSceneGapThreshold);
    core_->Stop();

    // Verification
    EXPECT_TRUE(frameworkStopped);
    ASSERT_EQ(scenes_.size(), 2u);
    EXPECT_EQ(scenes_[0].reason, SceneCut::Stop);
    EXPECT_EQ(scenes_[0].sceneStart.frameCount, 1u);
    EXPECT_EQ(scenes_[0].current.frameCount, 5u);
    EXPECT_EQ(afterStop.frameCount, 0u);
    EXPECT_TRUE(afterStop.hasRecDate);
    EXPECT_EQ(startAfterStop.frameCount, 0u);
    EXPECT_FALSE(startAfterStop.infoComplete);
    EXPECT_EQ(core_->ReadPos(), 0);
    EXPECT_FALSE(first.discontinuity);
    EXPECT_EQ(first.cuts, 0);
    EXPECT_EQ(scenes_[1].current.frameCount, 1u);
}

TEST_F(SceneDetectTest, StopWithoutFramesReportsAnEmptyScene) {
    // Exercise
    core_->Stop();

    // Verification
    ASSERT_EQ(scenes_.size(), 1u);
    EXPECT_EQ(scenes_[0].sceneStart.frameCount, 0u);
    EXPECT_EQ(scenes_[0].current.frameCount, 0u);
}

TEST_F(SceneDetectTest, DetachedCallbackIsNotCalled) {
    // Setup
    core_->SetSceneCallback({});

    // Exercise
    Feed(Dated(0));
    const auto result = FeedAt(Dated(0), time_ + 10 * kSceneGapThreshold);
    core_->Stop();

    // Verification: the cut still happens, nobody hears of it.
    EXPECT_EQ(result.cuts, 1);
    EXPECT_EQ(core_->SceneStart().frameCount, 0u); // reset by the stop
    EXPECT_TRUE(scenes_.empty());
}

TEST_F(SceneDetectTest, RingWrapsAfterAHundredFramesWithTheNewestEntry) {
    // Setup
    Feed(Dated(0));
    const int posBefore = core_->Pos();

    // Exercise
    DvFrameRecipe recipe = Dated(0);
    for (int i = 0; i < 100; ++i) {
        recipe.tc = {0, 0, static_cast<std::uint8_t>(i / 25), static_cast<std::uint8_t>(i % 25)};
        Feed(recipe);
    }
    const auto newest = MakeDvFrame(recipe);

    // Verification
    EXPECT_EQ(core_->Pos(), posBefore);
    FrameRingEntry entry;
    ASSERT_TRUE(core_->ReadEntry(core_->Pos(), entry));
    EXPECT_EQ(entry.info.frameCount, 101u);
    EXPECT_EQ(entry.info.timecode.seconds, 3);
    EXPECT_EQ(entry.info.timecode.frames, 24);
    EXPECT_EQ(entry.startTime, 100 * kPalFrame);
    for (int l = 0; l < kSceneHeaderSequences; ++l)
        for (std::size_t i = 0; i < kSceneHeaderBytesPerSequence; ++i)
            ASSERT_EQ(entry.difHeaders[l * kSceneHeaderBytesPerSequence + i],
                      newest[l * kDvSequenceBytes + i])
                << "sequence " << l << " byte " << i;
    DvFrameInfo previous;
    ASSERT_TRUE(core_->ReadInfo((core_->Pos() + kSceneRingSize - 1) % kSceneRingSize, previous));
    EXPECT_EQ(previous.frameCount, 100u);
}

TEST_F(SceneDetectTest, ReadersCannotLeaveTheRing) {
    // Setup
    FrameRingEntry entry;
    std::uint8_t headers[kSceneHeaderBytes];

    // Exercise / Verification
    EXPECT_FALSE(core_->SetReadPos(-1));
    EXPECT_FALSE(core_->SetReadPos(kSceneRingSize));
    EXPECT_TRUE(core_->SetReadPos(99));
    EXPECT_EQ(core_->ReadPos(), 99);
    EXPECT_FALSE(core_->ReadEntry(100, entry));
    EXPECT_FALSE(core_->ReadDifHeaders(-1, headers));
}

TEST_F(SceneDetectTest, ShortSamplesPassWithoutAnyEffect) {
    // Setup
    Feed(Dated(0));
    const DvFrameInfo before = core_->Current();
    const int pos = core_->Pos();
    const auto frame = MakeDvFrame(Dated(30));

    // Exercise: one byte short of 10 sequences, empty, and no buffer.
    const auto shortOne =
        core_->ProcessFrame(frame.data(), kDvMinFrameBytes - 1, time_ + 100 * kSceneGapThreshold,
                            time_ + 100 * kSceneGapThreshold + kPalFrame, true);
    const auto empty = core_->ProcessFrame(frame.data(), 0, 0, 0, true);
    const auto none = core_->ProcessFrame(nullptr, kDvFrameBytes625, 0, 0, true);

    // Verification
    EXPECT_FALSE(shortOne.decoded);
    EXPECT_FALSE(empty.decoded);
    EXPECT_FALSE(none.decoded);
    EXPECT_EQ(core_->Pos(), pos);
    EXPECT_EQ(core_->Current().frameCount, before.frameCount);
    EXPECT_TRUE(scenes_.empty());
}

TEST_F(SceneDetectTest, RandomAndOversizedSamplesAreHandled) {
    // Setup
    std::mt19937 random(99);
    std::vector<std::uint8_t> bytes(300000);

    // Exercise: random contents at sizes around the limits, with random times.
    int decoded = 0;
    for (const std::size_t size : {std::size_t{119999}, std::size_t{120000}, std::size_t{143999},
                                   std::size_t{144000}, std::size_t{144001}, bytes.size()}) {
        for (int round = 0; round < 20; ++round) {
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(random());
            const auto start = static_cast<std::int64_t>(random()) << (round % 32);
            decoded +=
                core_->ProcessFrame(bytes.data(), size, start, start + kPalFrame, true).decoded;
        }
    }
    core_->Stop();

    // Verification
    EXPECT_EQ(decoded, 5 * 20);
    const DvFrameInfo afterStop = core_->Current();
    EXPECT_EQ(afterStop.frameCount, 0u);
}

TEST(SeqCounter, ACopyOverlappingAWriteIsDiscarded) {
    // Setup
    SeqCounter counter;
    std::atomic<int> value{1};
    int copy = 0;
    auto read = [&] { copy = value.load(std::memory_order_relaxed); };

    // Exercise / Verification: while a write is open, no copy is taken.
    counter.BeginWrite();
    value.store(2, std::memory_order_relaxed);
    EXPECT_FALSE(counter.TryRead(read));
    counter.EndWrite();
    EXPECT_TRUE(counter.TryRead(read));
    EXPECT_EQ(copy, 2);

    // A whole write that happens during the copy also voids it.
    const bool overlapped = counter.TryRead([&] {
        read();
        counter.BeginWrite();
        value.store(3, std::memory_order_relaxed);
        counter.EndWrite();
    });
    EXPECT_FALSE(overlapped);
    counter.Read(read);
    EXPECT_EQ(copy, 3);
}

} // namespace
} // namespace talvence
