// Our video segment codec against libavcodec's DV encoder and decoder.

#include "platform/media/filters/dv/DvSegmentCodec.h"
#include "platform/media/filters/dv/DvVideoDecoderCore.h"
#include "platform/media/filters/dv/DvVideoEncoderCore.h"
#include "tests/platform/media/filters/dv/DvTestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace talvence::dvcodec {
namespace {

using testing::Bytes;
using testing::ClipFrames;
using testing::Psnr;

// A picture with what camcorder pictures have: smooth shading, fine texture, hard edges and a
// little noise, in the system's own layout.
Bytes NaturalPicture(DvSystem system) {
    const PixelLayout layout = NativeLayout(system);
    const int height = FrameHeight(system);
    Bytes bytes(PictureBytes(layout, kDvWidth, height));
    const Picture p = *PictureOver(std::span(bytes), layout, kDvWidth, height);
    std::uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return int(seed >> 29) - 4;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < kDvWidth; ++x) {
            double v = 110 + 50 * std::sin(x / 41.0) * std::cos(y / 29.0) +
                       18 * std::sin((x + 2 * y) / 4.0) * (x > 360 ? 1 : 0.3);
            if ((x / 90 + y / 72) % 3 == 0) v += 40; // edges
            p.planes[0][p.strides[0] * y + x] = std::uint8_t(std::clamp(int(v) + noise(), 16, 235));
        }
    const int cw = layout == PixelLayout::Yuv420p ? kDvWidth / 2 : kDvWidth / 4;
    const int ch = layout == PixelLayout::Yuv420p ? height / 2 : height;
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
                const double v = 128 + 30 * std::sin((x + plane * 50) / 23.0) +
                                 20 * std::cos(y / (13.0 + plane));
                p.planes[plane][p.strides[plane] * y + x] = std::uint8_t(v);
            }
    return bytes;
}

Bytes Encode(DvSystem system, const Bytes& picture) {
    DvEncoderOptions o;
    o.system = system;
    DvVideoEncoderCore encoder(o);
    Bytes frame(FrameBytes(system));
    const auto r = encoder.Encode(std::span<const std::uint8_t>(picture), NativeLayout(system),
                                  kDvWidth, FrameHeight(system), std::span(frame));
    EXPECT_EQ(r.status, DvEncodeStatus::Ok);
    return frame;
}

Bytes Decode(DvSystem system, const Bytes& frame) {
    DvVideoDecoderCore decoder;
    Bytes out(PictureBytes(NativeLayout(system), kDvWidth, FrameHeight(system)));
    EXPECT_EQ(decoder.DecodeTo(std::span<const std::uint8_t>(frame), NativeLayout(system),
                               std::span(out)),
              DvDecodeStatus::Ok);
    return out;
}

class Systems : public ::testing::TestWithParam<DvSystem> {};

TEST_P(Systems, MacroblocksTileThePictureAndLieInTheirVideoBlocks) {
    const DvSystem system = GetParam();
    const int height = FrameHeight(system);
    std::vector<int> covered(std::size_t(kDvWidth * height), 0);
    const Bytes frame = Encode(system, NaturalPicture(system));
    for (int s = 0; s < VideoSegmentCount(system); ++s)
        for (int m = 0; m < kMacroblocksPerSegment; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, s, m);
            for (int y = a.y; y < a.y + a.height; ++y)
                for (int x = a.x; x < a.x + a.width; ++x)
                    ++covered[std::size_t(y * kDvWidth + x)];
            // The block's ID: video section, its sequence, its number among the sequence's
            // video blocks.
            const std::uint8_t* id = frame.data() + MacroblockBlockOffset(system, s, m);
            ASSERT_EQ(id[0] & 0xe0, 0x80) << s << "/" << m;
            ASSERT_EQ(id[1] >> 4, s / kSegmentsPerSequence);
            ASSERT_EQ(id[2], (s % kSegmentsPerSequence) * 5 + m);
        }
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), std::ptrdiff_t(covered.size()));
}

TEST_P(Systems, AFrameOfOurSegmentsDecodesAsWellAsLibavcodecsOwnFrame) {
    const DvSystem system = GetParam();
    const Bytes picture = NaturalPicture(system);
    const Bytes theirs = Encode(system, picture);
    Bytes ours = theirs;
    const ConstPicture view = *PictureOver(std::span<const std::uint8_t>(picture),
                                           NativeLayout(system), kDvWidth, FrameHeight(system));
    for (int s = 0; s < VideoSegmentCount(system); ++s)
        ASSERT_TRUE(EncodeVideoSegment(system, view, s, std::span(ours)));

    const double theirPsnr = Psnr(picture, Decode(system, theirs));
    const double ourPsnr = Psnr(picture, Decode(system, ours));
    RecordProperty("psnr_ours", std::to_string(ourPsnr));
    RecordProperty("psnr_libavcodec", std::to_string(theirPsnr));
    EXPECT_GE(ourPsnr, theirPsnr - 0.5) << theirPsnr;
    EXPECT_GE(ourPsnr, 35.0);
    // Outside the video blocks nothing changed.
    for (std::size_t block = 0; block < ours.size() / kDifBlockBytes; ++block) {
        if ((theirs[block * kDifBlockBytes] & 0xe0) == 0x80) continue;
        ASSERT_EQ(0, std::memcmp(&ours[block * kDifBlockBytes], &theirs[block * kDifBlockBytes],
                                 kDifBlockBytes));
    }
}

TEST_P(Systems, SegmentsTouchingAreThoseUnderTheAreas) {
    const DvSystem system = GetParam();
    const int height = FrameHeight(system);
    // One pixel in each corner: one segment each, the one holding the corner's macroblock.
    const PixelRect corners[] = {{0, 0, 1, 1},
                                 {kDvWidth - 1, 0, 1, 1},
                                 {0, height - 1, 1, 1},
                                 {kDvWidth - 1, height - 1, 1, 1}};
    for (const PixelRect& r : corners) {
        const std::vector<int> s = SegmentsTouching(system, std::span(&r, 1));
        ASSERT_EQ(s.size(), 1u);
        bool holds = false;
        for (int m = 0; m < kMacroblocksPerSegment; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, s[0], m);
            holds |= r.x >= a.x && r.x < a.x + a.width && r.y >= a.y && r.y < a.y + a.height;
        }
        EXPECT_TRUE(holds);
    }
    EXPECT_TRUE(SegmentsTouching(system, {}).empty());
    const PixelRect whole{0, 0, kDvWidth, height};
    EXPECT_EQ(int(SegmentsTouching(system, std::span(&whole, 1)).size()),
              VideoSegmentCount(system));
    // A text line of two macroblock rows across the picture touches far fewer than all.
    const PixelRect line{32, 32, 656, 32};
    const auto some = SegmentsTouching(system, std::span(&line, 1));
    EXPECT_GT(some.size(), 10u);
    EXPECT_LT(some.size(), std::size_t(VideoSegmentCount(system) / 3));
}

// The pixels of the macroblocks of some segments, luma and chroma.
Bytes SegmentPixels(DvSystem system, const Bytes& picture, const std::vector<int>& segments) {
    const ConstPicture p = *PictureOver(std::span<const std::uint8_t>(picture),
                                        NativeLayout(system), kDvWidth, FrameHeight(system));
    Bytes out;
    auto take = [&](int plane, int x, int y, int w, int h) {
        for (int r = y; r < y + h; ++r)
            out.insert(out.end(), p.planes[plane] + p.strides[plane] * r + x,
                       p.planes[plane] + p.strides[plane] * r + x + w);
    };
    for (const int s : segments)
        for (int m = 0; m < kMacroblocksPerSegment; ++m) {
            const MacroblockArea a = MacroblockAreaOf(system, s, m);
            take(0, a.x, a.y, a.width, a.height);
            for (int plane = 1; plane < 3; ++plane) {
                if (system == DvSystem::Pal625)
                    take(plane, a.x / 2, a.y / 2, 8, 8);
                else
                    take(plane, a.x / 4, a.y, a.width / 4, a.height);
            }
        }
    return out;
}

bool IsVideoBlock(const Bytes& frame, std::size_t block) {
    return (frame[block * kDifBlockBytes] & 0xe0) == 0x80;
}

TEST_P(Systems, AnInlaidPictureKeepsTheSourceBitsOutsideTheSegmentsItsTextTouches) {
    // Setup: a frame of a real clip, its picture, and a text-like patch in each corner.
    const DvSystem system = GetParam();
    const int height = FrameHeight(system);
    const Bytes source = ClipFrames({system == DvSystem::Pal625, 48000, 2}).at(1);
    const Bytes decoded = Decode(system, source);
    auto origin = std::make_shared<PictureOrigin>();
    origin->sourceFrame = std::make_shared<const std::vector<std::uint8_t>>(source);
    origin->width = kDvWidth;
    origin->height = height;
    DvEncoderOptions options;
    options.system = system;
    DvVideoEncoderCore segmentWise(options);
    DvVideoEncoderCore whole(options);

    for (const PixelRect text :
         {PixelRect{24, 20, 220, 50}, PixelRect{476, 20, 220, 50},
          PixelRect{24, height - 70, 220, 50}, PixelRect{476, height - 70, 220, 50}}) {
        Bytes inlaid = decoded;
        for (int y = text.y; y < text.y + text.height; ++y)
            for (int x = text.x; x < text.x + text.width; ++x)
                inlaid[std::size_t(y * kDvWidth + x)] = ((x / 3 + y / 5) % 3) ? 235 : 16;
        PictureOrigin changed = *origin;
        changed.changed = {text};

        // Exercise
        Bytes ours(FrameBytes(system)), theirs(FrameBytes(system));
        ASSERT_EQ(segmentWise
                      .Encode(std::span<const std::uint8_t>(inlaid), NativeLayout(system), kDvWidth,
                              height, std::span(ours), &changed)
                      .status,
                  DvEncodeStatus::Ok);
        ASSERT_EQ(whole
                      .Encode(std::span<const std::uint8_t>(inlaid), NativeLayout(system), kDvWidth,
                              height, std::span(theirs))
                      .status,
                  DvEncodeStatus::Ok);

        // Verification: the source's video blocks outside the text's segments, the whole-frame
        // encoder's other blocks, and the text's segments as good as a whole-frame re-encode.
        const std::vector<int> segments = SegmentsTouching(system, std::span(&text, 1));
        EXPECT_EQ(segmentWise.lastSegmentsCoded(), int(segments.size()));
        EXPECT_LT(segments.size(), std::size_t(VideoSegmentCount(system) / 4));
        std::vector<bool> coded(FrameBytes(system) / kDifBlockBytes, false);
        for (const int s : segments)
            for (int m = 0; m < kMacroblocksPerSegment; ++m)
                coded[MacroblockBlockOffset(system, s, m) / kDifBlockBytes] = true;
        for (std::size_t block = 0; block < coded.size(); ++block) {
            if (coded[block]) continue;
            const Bytes& expected = IsVideoBlock(theirs, block) ? source : theirs;
            ASSERT_EQ(0, std::memcmp(&ours[block * kDifBlockBytes],
                                     &expected[block * kDifBlockBytes], kDifBlockBytes))
                << "block " << block;
        }
        const Bytes want = SegmentPixels(system, inlaid, segments);
        const double ourPsnr = Psnr(want, SegmentPixels(system, Decode(system, ours), segments));
        const double theirPsnr =
            Psnr(want, SegmentPixels(system, Decode(system, theirs), segments));
        EXPECT_GE(ourPsnr, theirPsnr - 0.5) << text.x << "," << text.y;
        RecordProperty("psnr_" + std::to_string(text.x) + "_" + std::to_string(text.y),
                       std::to_string(ourPsnr) + " vs " + std::to_string(theirPsnr));
    }

    // A flipped picture (wholly changed) is libavcodec's whole frame; an unchanged one is the
    // source's video.
    PictureOrigin flipped = *origin;
    flipped.wholeChanged = true;
    Bytes ours(FrameBytes(system)), theirs(FrameBytes(system));
    segmentWise.Encode(std::span<const std::uint8_t>(decoded), NativeLayout(system), kDvWidth,
                       height, std::span(ours), &flipped);
    whole.Encode(std::span<const std::uint8_t>(decoded), NativeLayout(system), kDvWidth, height,
                 std::span(theirs));
    EXPECT_EQ(ours, theirs);
    segmentWise.Encode(std::span<const std::uint8_t>(decoded), NativeLayout(system), kDvWidth,
                       height, std::span(ours), origin.get());
    EXPECT_EQ(segmentWise.lastSegmentsCoded(), 0);
    for (std::size_t block = 0; block < ours.size() / kDifBlockBytes; ++block) {
        if (!IsVideoBlock(ours, block)) continue;
        ASSERT_EQ(0, std::memcmp(&ours[block * kDifBlockBytes], &source[block * kDifBlockBytes],
                                 kDifBlockBytes));
    }
}

INSTANTIATE_TEST_SUITE_P(BothSystems, Systems,
                         ::testing::Values(DvSystem::Pal625, DvSystem::Ntsc525),
                         [](const auto& info) {
                             return info.param == DvSystem::Pal625 ? std::string("Pal")
                                                                   : std::string("Ntsc");
                         });

TEST(DvSegmentCodec, RefusesPicturesAndFramesItCannotCode) {
    const Bytes picture = NaturalPicture(DvSystem::Pal625);
    const ConstPicture view =
        *PictureOver(std::span<const std::uint8_t>(picture), PixelLayout::Yuv420p, kDvWidth, 576);
    Bytes frame(kPalFrameBytes);
    EXPECT_FALSE(EncodeVideoSegment(DvSystem::Pal625, view, 324, std::span(frame)));
    EXPECT_FALSE(EncodeVideoSegment(DvSystem::Ntsc525, view, 0, std::span(frame)));
    Bytes shortFrame(kNtscFrameBytes);
    EXPECT_FALSE(EncodeVideoSegment(DvSystem::Pal625, view, 0, std::span(shortFrame)));
    EXPECT_TRUE(EncodeVideoSegment(DvSystem::Pal625, view, 323, std::span(frame)));
}

} // namespace
} // namespace talvence::dvcodec
