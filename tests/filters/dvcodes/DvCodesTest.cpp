// The DV pack readers on crafted frames, and the pack writers read back.

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "filters/dvcodes/DvPackWriter.h"
#include "filters/dvcodes/dvcodes.h"
#include "tests/support/DvTestFrames.h"

namespace talvence {
namespace {

using testing::DvFrameRecipe;
using testing::MakeDvFrame;

std::vector<std::uint8_t> Blank() {
    return std::vector<std::uint8_t>(kDvFrameBytes625, 0xFF);
}

std::uint8_t* Seq(std::vector<std::uint8_t>& f, int s) {
    return f.data() + s * kDvSequenceBytes;
}

void Put(std::uint8_t* at, std::uint8_t h, std::uint8_t a, std::uint8_t b, std::uint8_t c,
         std::uint8_t d) {
    at[0] = h;
    at[1] = a;
    at[2] = b;
    at[3] = c;
    at[4] = d;
}

TEST(DvReadTimecode, FindsThePackInAnySyncBlockOfSequenceS) {
    // Setup: the pack only in sync block 5 of the second subcode block of
    // sequence 2, with every flag bit set.
    auto frame = Blank();
    Put(Seq(frame, 2) + 160 + 6 + 8 * 5, 0x13, 0xC0 | 0x24, 0x80 | 0x59, 0x80 | 0x07, 0xC0 | 0x23);

    // Exercise
    const DvTimecode found = DvReadTimecode(frame.data(), 2);
    const DvTimecode elsewhere = DvReadTimecode(frame.data(), 1);

    // Verification: flags ignored; other sequences are not searched.
    EXPECT_EQ(found.hours, 23);
    EXPECT_EQ(found.minutes, 7);
    EXPECT_EQ(found.seconds, 59);
    EXPECT_EQ(found.frames, 24);
    EXPECT_EQ(elsewhere.hours, 0xFF);
}

TEST(DvReadRecDateTime, DecodesBothPacksAndNeedsBoth) {
    // Setup: sequence 0 has both packs (year 39, week-day bits in the month
    // byte, reserved bits set); sequence 1 year 40; sequence 2 the date only;
    // sequence 3 unchecked digits.
    auto frame = Blank();
    Put(Seq(frame, 0) + 458, 0x62, 0xFF, 0xC0 | 0x31, 0xE0 | 0x12, 0x39);
    Put(Seq(frame, 0) + 463, 0x63, 0xFF, 0x80 | 0x59, 0x80 | 0x30, 0xC0 | 0x23);
    Put(Seq(frame, 1) + 458, 0x62, 0xFF, 0x01, 0x01, 0x40);
    Put(Seq(frame, 1) + 463, 0x63, 0xFF, 0x00, 0x00, 0x00);
    Put(Seq(frame, 2) + 458, 0x62, 0xFF, 0x01, 0x01, 0x40);
    Put(Seq(frame, 3) + 458, 0x62, 0xFF, 0x3A, 0x1F, 0x99);
    Put(Seq(frame, 3) + 463, 0x63, 0xFF, 0x00, 0x00, 0x00);

    // Exercise
    DvRecDateTime s0, s1, s2, s3, s4;
    DvReadRecDateTime(frame.data(), 0, s0);
    DvReadRecDateTime(frame.data(), 1, s1);
    DvReadRecDateTime(frame.data(), 2, s2);
    DvReadRecDateTime(frame.data(), 3, s3);
    DvReadRecDateTime(frame.data(), 4, s4);

    // Verification
    EXPECT_EQ(s0.year, 2039);
    EXPECT_EQ(s0.month, 12);
    EXPECT_EQ(s0.day, 31);
    EXPECT_EQ(s0.hour, 23);
    EXPECT_EQ(s0.minute, 30);
    EXPECT_EQ(s0.second, 59);
    EXPECT_EQ(s1.year, 1940);
    EXPECT_EQ(s2.year, -1);
    EXPECT_EQ(s3.day, 40);   // no range check here
    EXPECT_EQ(s3.month, 25); // units nibble 0xF added as it is
    EXPECT_EQ(s3.year, 1999);
    EXPECT_EQ(s4.year, -1);
}

TEST(DvFrameDecoders, SystemAudioAndSourceControl) {
    // Setup
    auto frame = Blank();
    std::uint8_t* s0 = Seq(frame, 0);

    // Exercise / Verification: video system byte.
    s0[3] = 0xBF;
    EXPECT_EQ(DvVideoSystem(frame.data()), 0);
    s0[3] = 0x3F;
    EXPECT_EQ(DvVideoSystem(frame.data()), 1);
    s0[3] = 0x1F;
    EXPECT_EQ(DvVideoSystem(frame.data()), 2);

    // Audio source pack codes.
    EXPECT_EQ(DvAudioSampleRate(frame.data()), -1);
    s0[4323] = 0x50;
    s0[4327] = 0x08;
    EXPECT_EQ(DvAudioSampleRate(frame.data()), 44100);
    EXPECT_EQ(DvAudioQuantization(frame.data()), 16);
    s0[4327] = 0x11;
    EXPECT_EQ(DvAudioSampleRate(frame.data()), 32000);
    EXPECT_EQ(DvAudioQuantization(frame.data()), 12);
    s0[4327] = 0x80 | (3 << 3) | 2;
    EXPECT_EQ(DvAudioSampleRate(frame.data()), 0);
    EXPECT_EQ(DvAudioQuantization(frame.data()), 0);
    s0[4323] = 0x51;
    EXPECT_EQ(DvAudioSampleRate(frame.data()), -1);
    EXPECT_EQ(DvAudioQuantization(frame.data()), -1);

    // Source control only counts in slot 10 of sequence 0.
    EXPECT_FALSE(DvHasSourceControl(frame.data()));
    Seq(frame, 1)[453] = 0x61;
    EXPECT_FALSE(DvHasSourceControl(frame.data()));
    s0[453] = 0x61;
    EXPECT_TRUE(DvHasSourceControl(frame.data()));
}

TEST(DvIsWideScreen, UsesTheFirstSourceControlPackAndItsSequencesHeader) {
    // Setup: no pack anywhere, then one in sequence 3 only.
    auto frame = Blank();
    const bool none = DvIsWideScreen(frame.data());
    std::uint8_t* s3 = Seq(frame, 3);
    s3[453] = 0x61;

    // Exercise / Verification
    EXPECT_FALSE(none);
    s3[455] = 0xC8 | 7;
    s3[7] = 0xF8; // AP3 = 0
    EXPECT_TRUE(DvIsWideScreen(frame.data()));
    Seq(frame, 0)[7] = 0xF8;
    s3[7] = 0xF9; // AP3 = 1: display select 7 means nothing then
    EXPECT_FALSE(DvIsWideScreen(frame.data()));
    s3[455] = 0xC8 | 2;
    EXPECT_TRUE(DvIsWideScreen(frame.data()));
    s3[455] = 0xC8;
    EXPECT_FALSE(DvIsWideScreen(frame.data()));
    // A pack in sequence 10 is beyond the scan.
    s3[453] = 0xFF;
    Seq(frame, 10)[453] = 0x61;
    Seq(frame, 10)[455] = 0xCA;
    EXPECT_FALSE(DvIsWideScreen(frame.data()));
}

TEST(DvPackWriters, WhatIsWrittenReadsBack) {
    // Setup: values at the edges of each field, both systems.
    const std::vector<DvFrameRecipe> recipes = {
        {true, true, {0, 0, 0, 0}, true, false, true, 48000, 16, {1940, 1, 1, 0, 0, 0}},
        {true, true, {23, 59, 59, 24}, true, true, true, 32000, 12, {2039, 12, 31, 23, 59, 59}},
        {false, true, {12, 34, 56, 29}, true, true, true, 44100, 16, {1999, 2, 28, 12, 0, 1}},
        {false, false, {}, false, false, false, 48000, 16, {-1, 0, 0, 0, 0, 0}},
    };
    for (const DvFrameRecipe& recipe : recipes) {
        // Exercise
        const auto frame = MakeDvFrame(recipe);

        // Verification: every sequence carries the packs.
        const int sequences = recipe.pal ? 12 : 10;
        for (int s = 0; s < sequences; ++s) {
            const DvTimecode tc = DvReadTimecode(frame.data(), s);
            DvRecDateTime rec;
            DvReadRecDateTime(frame.data(), s, rec);
            if (recipe.timecode) {
                EXPECT_EQ(tc.hours, recipe.tc.hours);
                EXPECT_EQ(tc.minutes, recipe.tc.minutes);
                EXPECT_EQ(tc.seconds, recipe.tc.seconds);
                EXPECT_EQ(tc.frames, recipe.tc.frames);
            } else {
                EXPECT_EQ(tc.hours, 0xFF);
            }
            EXPECT_EQ(rec.year, recipe.rec.year) << "sequence " << s;
            if (recipe.rec.year >= 0) {
                EXPECT_EQ(rec.month, recipe.rec.month);
                EXPECT_EQ(rec.day, recipe.rec.day);
                EXPECT_EQ(rec.hour, recipe.rec.hour);
                EXPECT_EQ(rec.minute, recipe.rec.minute);
                EXPECT_EQ(rec.second, recipe.rec.second);
            }
        }
        EXPECT_EQ(DvVideoSystem(frame.data()), recipe.pal ? 0 : 1);
        EXPECT_EQ(DvHasSourceControl(frame.data()), recipe.sourceControl);
        EXPECT_EQ(DvIsWideScreen(frame.data()), recipe.wide);
        EXPECT_EQ(DvAudioSampleRate(frame.data()), recipe.audioPack ? recipe.rate : -1);
        EXPECT_EQ(DvAudioQuantization(frame.data()), recipe.audioPack ? recipe.bits : -1);
    }
}

} // namespace
} // namespace talvence
